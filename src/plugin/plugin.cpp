#include "plugin/plugin.h"

#include <system_error>
#include <utility>

#include "common/tick_clock.h"
#include "settings/ini_file.h"
#include "platform/host_messenger.h"
#include "platform/serial_device.h"
#include "platform/system_services.h"
#include "receiver/receiver_thread.h"
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
    dialogServices_.reset(new DialogServices{settings_, settingsPath_, [this] { StartNow(); },
                                             [this] { StopNow(); }});
    dialogServices_->frameOf = [this](std::uint64_t code) { return ShownFrame(code); };
    dialogServices_->olderCodesOf = [this](std::uint64_t code) { return ShownOlderCodes(code); };
    dialogServices_->burstOf = [this](std::uint64_t code) { return keyBursts_.Get(code); };
}

// One start of the engine: its thread, its state and its own stop flag, so
// that an engine the host still holds in a key message can never be told to
// go on by a later start.
struct Plugin::EngineRun {
    EngineControl control;
    std::unique_ptr<KeyEngine> engine;
    std::thread thread;
    std::thread::id id;  // fixed once started, read by the host's thread
    // A run stopped from inside its own key message: this run's thread waits
    // for it to end before it touches the record.  Owned here so that the
    // host's thread never destroys it while that thread may wait for it.
    std::unique_ptr<EngineRun> previous;
};

IrFrame Plugin::ShownFrame(std::uint64_t code) const {
    // Asked on the host's thread, which alone starts and stops engine runs.
    return ShownFrameFor(run_ != nullptr ? run_->control.ShownFrame.load(std::memory_order_acquire) : 0, code);
}

OlderCodes Plugin::ShownOlderCodes(std::uint64_t code) const {
    if (run_ == nullptr) return {};
    return {ShownCodeFor(run_->control.ShownOlderCode.load(std::memory_order_acquire), code),
            ShownCodeFor(run_->control.ShownShapeCode.load(std::memory_order_acquire), code)};
}

Plugin::~Plugin() {
    StopNow();
    JoinRetired();
    // Destroyed on an engine thread (a host that exits from inside a key
    // message): threads that cannot be waited for are left to the exit.
    for (EngineRun* run = retired_.get(); run != nullptr; run = run->previous.get())
        if (run->thread.joinable()) run->thread.detach();
    SetDialog(nullptr);
}

const char* Plugin::Open(const char* name, OrbiskHostWindow* window, const void* hostInfo,
                         std::string libraryPath) {
    JoinRetired();
    // Inside a Start, Stop or Setup of this thread the parts they use cannot
    // be replaced: the Open changes nothing.
    if (Busy()) return ORBISK_DESCRIPTION;
    // Opened again while running: the engine must not keep writing into a
    // record being set up anew, nor the receiver use ports being replaced.
    // It runs again afterwards when the new host is accepted.
    const bool wasRunning = running_;
    StopNow();

    hostWindow_ = window;
    libraryPath_ = std::move(libraryPath);
    const SettingsPlace place = platform_.place ? platform_.place(libraryPath_) : BesideLibrary(libraryPath_);
    settingsPath_ = place.settingsPath;
    placeProblem_ = place.problem;
    if (!placeProblem_.empty()) {
        platform_.system->LogError(placeProblem_);
        // Nor is a command kept from an earlier reading run: it came from a
        // place that is not trusted now.
        settings_.ExecOnError.clear();
    }
    dialogServices_->settingsPath = settingsPath_;
    dialogServices_->hostWindow = window;
    InitKeyEventRecord(record_, name);

    // One reading of the file for both steps: the settings and key table,
    // then the wait times.
    const IniDocument file = ReadSettingsFile();
    receiver_.reset();
    link_.reset();
    ports_ = platform_.makePorts(place.portFolder);
    link_ = std::make_unique<SerialLink>(*ports_, *platform_.system);
    receiver_ = std::make_unique<Receiver>(*link_, *platform_.system, settings_, published_, *wake_, &keyBursts_);
    keys_ = std::make_unique<KeyTable>();
    LoadSettingsAndKeys(file);
    ReadWaitSettingsFrom(file, settings_);

    // Each Open decides for the host it names: a refused one never runs.
    versionAccepted_ = hostInfo != nullptr && HostVersionAccepted(OrbiskHostVersion(hostInfo));
    if (wasRunning && versionAccepted_) StartNow();
    FinishPending();
    return ORBISK_DESCRIPTION;
}

void Plugin::Start() {
    JoinRetired();
    if (inSetup_) {
        runAfterSetup_ = true;
        return;
    }
    StartNow();
    FinishPending();
}

void Plugin::Stop() {
    JoinRetired();
    if (inSetup_) {
        runAfterSetup_ = false;
        return;
    }
    StopNow();
    FinishPending();
}

void Plugin::Close() {
    JoinRetired();
    if (Busy()) {
        closePending_ = true;
        return;
    }
    CloseNow();
}

void Plugin::StartNow() {
    // A port error box runs a message loop on this thread: a Start from in
    // there (the dialog's Reset, a host's timer) would start a second
    // receiver over the first.  The outer Start decides.
    if (starting_) {
        stopAfterStart_ = false;  // Stop, then Start: the last call counts
        return;
    }
    if (running_ || stopping_) return;
    if (!versionAccepted_ || receiver_ == nullptr) {
        platform_.system->ShowError(MsgIncorrectVersion);
        return;
    }
    if (keys_ == nullptr) {
        // Started again after Close: the key table comes back from the file.
        keys_ = std::make_unique<KeyTable>();
        keys_->Rebuild(ReadSettingsFile());
    }
    // A burst the last engine left untaken is no press of this start.
    // LastCode stays, so a repeat burst still repeats it.
    published_.UpdatePending.store(false, std::memory_order_relaxed);
    published_.SignalPresent.store(false, std::memory_order_relaxed);
    starting_ = true;
    const bool receiving = receiver_->StartReceiver();
    starting_ = false;
    if (!receiving) return;
    if (!StartEngine(record_)) {
        receiver_->StopReceiver();
        return;
    }
    if (libraryHold_ == nullptr && platform_.keepLoaded) libraryHold_ = platform_.keepLoaded();
    running_ = true;
}

bool Plugin::StartEngine(OrbiskKeyEventRecord& record) {
    codeEvent_.Reset();
    auto run = std::make_unique<EngineRun>();
    run->control.SetupActive.store(setupActive_, std::memory_order_relaxed);
    // An engine with a record of its own need not wait for the retired one.
    const bool sharesRecord = &record == &record_;
    if (sharesRecord) run->previous = std::move(retired_);
    try {
        run->engine = std::make_unique<KeyEngine>(published_, codeEvent_, *platform_.clock, settings_, *keys_,
                                                  record, run->control, *engineOutput_);
        run->thread = std::thread([run = run.get()] {
            // The host is still inside the previous engine's key message:
            // nothing of the record changes before it has returned.
            if (run->previous != nullptr) run->previous->thread.join();
            run->engine->Run();
        });
    } catch (const std::system_error&) {
        if (sharesRecord) retired_ = std::move(run->previous);
        return false;
    }
    run->id = run->thread.get_id();
    run_ = std::move(run);
    return true;
}

void Plugin::StopNow() {
    if (starting_) {
        stopAfterStart_ = true;
        return;
    }
    if (!running_ || stopping_) return;
    stopping_ = true;
    StopEngine();
    receiver_->StopReceiver();
    running_ = false;
    stopping_ = false;
    if (retired_ == nullptr) libraryHold_.reset();
}

void Plugin::StopEngine() {
    // From here on the engine starts no key message, so a host that calls
    // Stop cannot be left waiting on a send in progress for long.  Sequential
    // consistency with the engine's mark of its send: either ServedRun sees
    // the mark, or the engine sees this request before it sends.
    run_->control.EngineStopRequested.store(1, std::memory_order_seq_cst);
    codeEvent_.Set();
    if (ServedRun(*run_) != nullptr)
        retired_ = std::move(run_);
    else
        Join(*run_);
}

void Plugin::CloseNow() {
    StopNow();
    keys_.reset();
}

void Plugin::FinishPending() {
    if (Busy()) return;
    if (std::exchange(stopAfterStart_, false)) StopNow();
    if (std::exchange(closePending_, false)) CloseNow();
}

Plugin::EngineRun* Plugin::ServedRun(EngineRun& run) const {
    for (EngineRun* r = &run; r != nullptr; r = r->previous.get()) {
        // Only the engine's own message counts: a Stop inside another
        // thread's message must still wait for an engine that may be looking
        // a key up in the table Close frees.
        if (!r->control.InSend.load(std::memory_order_seq_cst)) continue;
        const bool serving = platform_.messenger != nullptr ? platform_.messenger->ServesSendOf(r->id)
                                                            : std::this_thread::get_id() == r->id;
        if (serving) return r;
    }
    return nullptr;
}

void Plugin::Join(EngineRun& run) {
    if (!run.thread.joinable()) return;
    if (platform_.messenger != nullptr)
        platform_.messenger->Join(run.thread);
    else
        run.thread.join();
}

void Plugin::JoinRetired() {
    if (retired_ == nullptr || ServedRun(*retired_) != nullptr) return;
    Join(*retired_);
    retired_.reset();
    if (!running_) libraryHold_.reset();
}

void Plugin::SetSetupActive(bool active) {
    setupActive_ = active;
    // Ordered with the engine's mark of a send, as the stop request is.
    if (run_ != nullptr) run_->control.SetupActive.store(active, std::memory_order_seq_cst);
}

void Plugin::SetDialog(std::unique_ptr<SetupDialog> dialog) {
    noticeTarget_.store(dialog.get(), std::memory_order_release);
    dialog_ = std::move(dialog);
    if (platform_.setupFormSlot != nullptr)
        *platform_.setupFormSlot = dialog_ ? dialog_->Handle() : nullptr;
}

void Plugin::Setup() {
    JoinRetired();
    if (Busy()) return;
    inSetup_ = true;
    runAfterSetup_ = running_;
    // What the user changes from here on is saved; what they leave alone
    // keeps the file's text (a limit applied on reading included).
    const SettingsValues before = ValuesOf(settings_);
    // No place for the settings, or no dialog to be had (the factory has said
    // why): a Setup the user never sees changes nothing, _SetupForm included.
    std::unique_ptr<SetupDialog> dialog;
    if (placeProblem_.empty() && platform_.dialogs != nullptr) dialog = platform_.dialogs->Create(*dialogServices_);
    if (!placeProblem_.empty() || (platform_.dialogs != nullptr && dialog == nullptr)) {
        if (!placeProblem_.empty()) platform_.system->ShowError(placeProblem_);
        inSetup_ = false;
        FinishPending();
        return;
    }
    if (dialog != nullptr) SetDialog(std::move(dialog));

    SetSetupActive(true);
    if (running_)
        HandOverToDialog();
    else
        StartNow();
    if (versionAccepted_ && dialog_ != nullptr) dialog_->ShowModal();
    StopNow();
    SetSetupActive(false);
    SetDialog(nullptr);

    if (keys_ != nullptr) {
        // Changes the user chose to discard are not half saved: the wait
        // times come back from the file with everything else.
        const bool discarded = std::exchange(dialogServices_->changesDiscarded, false);
        bool saved = false;
        if (!discarded) {
            const IniWriteResult result = SaveWaitSettings(settingsPath_, settings_, before);
            ReportSettingsProblem(result.failure, SaveFailedText(settingsPath_, result.failure));
            saved = result.Ok();
        }
        const IniDocument file = ReadSettingsFile();
        LoadSettingsAndKeys(file);
        // The wait times come back from the file too: those the user left
        // alone may have been changed there meanwhile.  Only a save that
        // failed leaves them as the user chose.
        if (saved || discarded) ReadWaitSettingsFrom(file, settings_);
    }
    inSetup_ = false;
    if (runAfterSetup_ && !closePending_) StartNow();
    FinishPending();
}

void Plugin::HandOverToDialog() {
    EngineRun* served = ServedRun(*run_);
    if (served == nullptr) {
        // The engine releases the key at once when it sees SetupActive; this
        // thread serves that message meanwhile.  The mark of a send is read
        // before the held flag, which the engine sets while marked.
        EngineControl& control = run_->control;
        codeEvent_.Set();
        WaitUntil([&control] {
            return !control.InSend.load(std::memory_order_seq_cst) &&
                   !control.HostHeld.load(std::memory_order_seq_cst);
        });
        return;
    }
    // The host opened the dialog from inside this engine's key message, in
    // which that engine stays until the host returns, after the dialog.  The
    // key is released from here, the engine retired, and one that posts to
    // the dialog runs meanwhile, in a record of its own: the host may still
    // read record_ when the dialog has closed.
    const bool held = served->control.HostHeld.exchange(false, std::memory_order_seq_cst);
    StopEngine();
    if (held) engineOutput_->SendKey(ORBISK_KEY_RELEASE);
    dialogRecord_ = record_;
    if (!StartEngine(dialogRecord_)) {
        receiver_->StopReceiver();
        running_ = false;
    }
}

void Plugin::WaitUntil(const std::function<bool()>& done) {
    if (platform_.messenger != nullptr)
        platform_.messenger->WaitUntil(done);
    else
        HostMessenger::Poll(done);
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

}  // namespace orbisk
