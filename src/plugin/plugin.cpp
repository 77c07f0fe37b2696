#include "plugin/plugin.h"

#include <system_error>
#include <utility>

#include "common/tick_clock.h"
#include "settings/ini_file.h"
#include "platform/host_messenger.h"
#include "platform/serial_device.h"
#include "platform/system_services.h"
#include "receiver/frame_reader.h"
#include "receiver/serial_link.h"

namespace orbisk {

bool HostVersionAccepted(std::uint32_t version) {
    return (version >> 16) == 0x0207 && ((version >> 8) & 0xFF) >= 12;
}

// Key messages go to the host window as one synchronous call; notices go to
// the dialog's queue, never to its widgets.
class Plugin::EngineOutput final : public KeyEngineOutput {
public:
    explicit EngineOutput(Plugin& plugin) : plugin_(plugin) {}

    void SendKey(std::intptr_t value) override {
        OrbiskHostWindow* window = plugin_.hostWindow_;
        HostMessenger* messenger = plugin_.platform_.messenger;
        if (window == nullptr || messenger == nullptr) return;
        messenger->Send(window, ORBISK_KEY_MESSAGE,
                        reinterpret_cast<std::uintptr_t>(&plugin_.record_), value);
    }

    bool PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) override {
        SetupDialog* dialog = plugin_.noticeTarget_.load(std::memory_order_acquire);
        if (dialog == nullptr) return false;
        dialog->PostNotice(message, wparam, lparam);
        return true;
    }

private:
    Plugin& plugin_;
};

class Plugin::EventWake final : public WakeUp {
public:
    explicit EventWake(CodeEvent& event) : event_(event) {}
    void Set() override { event_.Set(); }

private:
    CodeEvent& event_;
};

Plugin::Plugin(Platform platform)
    : platform_(std::move(platform)),
      wake_(std::make_unique<EventWake>(codeEvent_)),
      engineOutput_(std::make_unique<EngineOutput>(*this)) {
    dialogServices_.reset(new DialogServices{settings_, settingsPath_, [this] { Start(); },
                                             [this] { Stop(); }});
}

Plugin::~Plugin() {
    Stop();
    SetDialog(nullptr);
}

const char* Plugin::Open(const char* name, OrbiskHostWindow* window, const void* hostInfo,
                         std::string libraryPath) {
    hostWindow_ = window;
    libraryPath_ = std::move(libraryPath);
    settingsPath_ = SettingsPath(libraryPath_);
    dialogServices_->settingsPath = settingsPath_;
    dialogServices_->hostWindow = window;
    InitKeyEventRecord(record_, name);

    // One reading of the file for both steps: the settings and key table,
    // then the wait times.
    const IniDocument file = ReadSettingsFile();
    if (!running_) {
        // The port objects follow the library's folder; they are replaced
        // only while no receiver uses them.
        receiver_.reset();
        link_.reset();
        ports_ = platform_.makePorts(libraryPath_);
        link_ = std::make_unique<SerialLink>(*ports_, *platform_.system);
        receiver_ = std::make_unique<Receiver>(*link_, *platform_.system, settings_, published_, *wake_);
        keys_ = std::make_unique<KeyTable>();
        LoadSettingsAndKeys(file);
    }
    ReadWaitSettingsFrom(file, settings_);

    if (hostInfo != nullptr && HostVersionAccepted(OrbiskHostVersion(hostInfo))) versionAccepted_ = true;
    return ORBISK_DESCRIPTION;
}

void Plugin::Start() {
    if (running_) return;
    if (!versionAccepted_ || receiver_ == nullptr || keys_ == nullptr) {
        platform_.system->ShowError(MsgIncorrectVersion);
        return;
    }
    if (!receiver_->StartReceiver()) return;

    codeEvent_.Reset();
    control_.EngineStopRequested.store(0, std::memory_order_relaxed);
    try {
        engine_ = std::make_unique<KeyEngine>(published_, codeEvent_, *platform_.clock, settings_,
                                              *keys_, record_, control_, *engineOutput_);
        engineThread_ = std::thread([engine = engine_.get()] { engine->Run(); });
    } catch (const std::system_error&) {
        receiver_->StopReceiver();
        return;
    }
    running_ = true;
}

void Plugin::Stop() {
    if (!running_) return;
    if (engineThread_.joinable()) {
        // Release: the engine must see the request once the event wakes it,
        // and from then on it starts no key message, so a host that calls
        // Stop cannot be left waiting on a send in progress for long.
        control_.EngineStopRequested.store(1, std::memory_order_release);
        codeEvent_.Set();
        if (platform_.messenger != nullptr)
            platform_.messenger->Join(engineThread_);
        else
            engineThread_.join();
    }
    receiver_->StopReceiver();
    running_ = false;
}

void Plugin::SetDialog(std::unique_ptr<SetupDialog> dialog) {
    noticeTarget_.store(dialog.get(), std::memory_order_release);
    dialog_ = std::move(dialog);
    if (platform_.setupFormSlot != nullptr)
        *platform_.setupFormSlot = dialog_ ? dialog_->Handle() : nullptr;
}

void Plugin::Setup() {
    const bool wasRunning = running_;
    if (dialog_ == nullptr && platform_.dialogs != nullptr)
        SetDialog(platform_.dialogs->Create(*dialogServices_));

    control_.SetupActive.store(true, std::memory_order_release);
    Start();
    if (versionAccepted_ && dialog_ != nullptr) dialog_->ShowModal();
    Stop();
    control_.SetupActive.store(false, std::memory_order_release);
    SetDialog(nullptr);

    if (keys_ != nullptr) {
        // Changes the user chose to discard are not half saved: the wait
        // times come back from the file with everything else.
        const bool discarded = std::exchange(dialogServices_->changesDiscarded, false);
        if (!discarded) {
            const IniWriteResult saved = SaveWaitSettings(settingsPath_, settings_);
            ReportSettingsProblem(saved.failure, SaveFailedText(settingsPath_, saved.failure));
        }
        const IniDocument file = ReadSettingsFile();
        LoadSettingsAndKeys(file);
        if (discarded) ReadWaitSettingsFrom(file, settings_);
    }
    if (wasRunning) Start();
}

IniDocument Plugin::ReadSettingsFile() {
    IniRead read = IniFile(settingsPath_).Read();
    if (read.problem.empty())
        reportedReason_.clear();
    else
        ReportSettingsProblem(read.problem, UnreadableSettingsText(settingsPath_, read.problem));
    return std::move(read.document);
}

void Plugin::LoadSettingsAndKeys(const IniDocument& file) {
    LoadSettingsFrom(file, settings_);
    keys_->Rebuild(file);
}

void Plugin::ReportSettingsProblem(const std::string& reason, const std::string& message) {
    // Each reason once, on standard error (or in a box) and in the system
    // log: the file is read at every Open and Setup, and a file that cannot
    // be read whole fails every save for that same reason.
    if (reason.empty() || (!reportedReason_.empty() && reason.starts_with(reportedReason_))) return;
    reportedReason_ = reason;
    platform_.system->ShowError(message);
    platform_.system->LogError(message);
}

void Plugin::Close() {
    Stop();
    keys_.reset();
}

}  // namespace orbisk
