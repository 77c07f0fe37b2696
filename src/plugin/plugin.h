#pragma once
// The plug-in's module state and its entry points: which parts exist when,
// in which order they come up and go down, and how a failed start unwinds.
// Everything platform-specific arrives through Platform, so tests can run a
// whole lifecycle with fake ports, fake message boxes and a fake dialog.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/code_event.h"
#include "dialog/setup_dialog.h"
#include "engine/key_engine.h"
#include "engine/key_table.h"
#include "orbisk/host.h"
#include "plugin/settings_place.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "receiver/published_state.h"
#include "receiver/receiver_thread.h"

namespace orbisk {

class HostMessenger;
class Receiver;
class SerialLink;
class SerialPorts;
class SystemServices;
class TickClock;

inline constexpr char MsgIncorrectVersion[] = "Incorrect core version.";

// 2.7.12 and every later 2.7.x; the low byte is ignored.
bool HostVersionAccepted(std::uint32_t version);

class Plugin {
public:
    struct Platform {
        // Makes the serial ports whose links live in this folder.
        std::function<std::unique_ptr<SerialPorts>(const std::string& portFolder)> makePorts;
        SystemServices* system = nullptr;
        TickClock* clock = nullptr;
        SetupDialogFactory* dialogs = nullptr;  // null: Setup runs without a dialog
        void** setupFormSlot = nullptr;         // the exported _SetupForm, if any
        HostMessenger* messenger = nullptr;     // null: key messages go nowhere
        // Keeps this library loaded until the result is released; null where
        // unloading cannot end a running thread.
        std::function<std::shared_ptr<void>()> keepLoaded;
        // Where a library at this path keeps its settings file and port
        // links; unset: beside it.
        std::function<SettingsPlace(const std::string& libraryPath)> place;
    };

    explicit Plugin(Platform platform);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const char* Open(const char* name, OrbiskHostWindow* window, const void* hostInfo,
                     std::string libraryPath);
    void Start();
    void Stop();
    void Setup();
    void Close();

    bool Running() const { return running_; }
    bool VersionAccepted() const { return versionAccepted_; }
    bool SetupActive() const { return setupActive_; }
    Settings& CurrentSettings() { return settings_; }
    const KeyTable* Keys() const { return keys_.get(); }
    const OrbiskKeyEventRecord& Record() const { return record_; }
    const std::string& SettingsFilePath() const { return settingsPath_; }
    // The decoder side, for tests that publish bursts without a port.
    PublishedState& Published() { return published_; }
    CodeEvent& Event() { return codeEvent_; }

private:
    class EngineOutput;
    class EventWake;
    struct EngineRun;
    // The frame the running engine last showed the dialog for this code.
    IrFrame ShownFrame(std::uint64_t code) const;
    OlderCodes ShownOlderCodes(std::uint64_t code) const;

    // The work of Start and Stop, also for the dialog's Reset.  The entry
    // points themselves add what a call made while another one runs further
    // down this thread's stack (from a message box, the dialog or the host's
    // handling of a key message) means.
    void StartNow();
    void StopNow();
    void CloseNow();
    bool Busy() const { return starting_ || stopping_ || inSetup_; }
    void FinishPending();
    void SetSetupActive(bool active);
    // The run of this chain whose key message this thread is handling (the
    // run would then wait for this thread), or null.
    EngineRun* ServedRun(EngineRun& run) const;
    // Starts an engine over the running receiver, writing into this record.
    bool StartEngine(OrbiskKeyEventRecord& record);
    // Ends the engine: joined, or retired when it waits for this thread.
    void StopEngine();
    // Setup on a running plug-in: the key the host holds is released before
    // the dialog shows, and an engine that can post to the dialog runs.
    void HandOverToDialog();
    void WaitUntil(const std::function<bool()>& done);
    void Join(EngineRun& run);
    void JoinRetired();

    void SetDialog(std::unique_ptr<SetupDialog> dialog);
    // Tells the user when the settings file cannot be read whole, or a save
    // fails, each reason once until the file reads whole again.
    // Reads the settings file once, reporting a file that cannot be read
    // whole; the settings and the key table then load from that one document.
    IniDocument ReadSettingsFile();
    void LoadSettingsAndKeys(const IniDocument& file);
    void ReportSettingsProblem(const std::string& reason, const std::string& message);

    Platform platform_;

    // Written by Open before any engine thread exists; the thread's start
    // orders these writes before its reads.
    OrbiskHostWindow* hostWindow_ = nullptr;
    OrbiskKeyEventRecord record_{};
    // The record of an engine run for the dialog while the host still reads
    // record_ inside a retired engine's key message.
    OrbiskKeyEventRecord dialogRecord_{};
    std::string libraryPath_;
    std::string settingsPath_;
    std::string reportedReason_;  // the settings-file problem last reported
    std::string placeProblem_;    // why there is no settings file to use; empty when there is

    std::unique_ptr<KeyTable> keys_;
    Settings settings_;
    bool versionAccepted_ = false;
    bool running_ = false;
    bool starting_ = false;         // StartNow is bringing the receiver up
    bool stopping_ = false;         // StopNow is waiting for the engine
    bool inSetup_ = false;          // the dialog is up
    bool setupActive_ = false;
    bool stopAfterStart_ = false;   // Stop came while Start ran
    bool closePending_ = false;     // Close came while another call ran
    bool runAfterSetup_ = false;    // what the host asked for while Setup ran

    // The code event outlives every start: "creating" it at Start means
    // resetting it, so the decoder never signals an event that is gone.
    StdCodeEvent codeEvent_;
    PublishedState published_;
    KeyBurstStore keyBursts_;  // for keys learned in the dialog
    std::unique_ptr<EventWake> wake_;

    std::unique_ptr<SerialPorts> ports_;
    std::unique_ptr<SerialLink> link_;
    std::unique_ptr<Receiver> receiver_;

    std::unique_ptr<EngineOutput> engineOutput_;
    // Kept after Stop so that the record's text pointers stay valid until the
    // next Start replaces the engine.
    std::unique_ptr<EngineRun> run_;
    // An engine stopped from inside the host's handling of its own key
    // message: it ends when the host returns, and is joined by the next call
    // (or by the next engine, before it begins).
    std::unique_ptr<EngineRun> retired_;
    // Keeps the library loaded while any of its threads may run.
    std::shared_ptr<void> libraryHold_;

    std::unique_ptr<DialogServices> dialogServices_;
    std::unique_ptr<SetupDialog> dialog_;
    // The dialog the engine posts its notices to; set before the engine can
    // see SetupActive and cleared only after the engine has stopped.
    std::atomic<SetupDialog*> noticeTarget_{nullptr};
};

}  // namespace orbisk
