#pragma once
// The receiver: the serial link plus the receiver thread that polls the
// port, cuts bursts and classifies them into the published state.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "receiver/published_state.h"
#include "receiver/serial_link.h"

namespace orbisk {

inline constexpr char MsgCannotCreateThread[] = "Can't create thread";
inline constexpr int PollDelayMs = 50;
inline constexpr int ReadRequestBytes = 255;
// Within a burst the line is never quiet for longer than one duration, at
// most 0xFD units of 50 us (12.65 ms), and a byte at 1200 baud takes 8.3 ms
// more.  A burst still unfinished this long after its latest byte lost its
// terminator, to line noise or a receiver reset, and is dropped rather than
// glued to the next key.
inline constexpr int FragmentSilenceMs = 26;
// How often a lost or missing port is tried again.
inline constexpr int ReopenDelayMs = 1000;

// The reports of a lost port and of its return, and of the arrival of a
// port missing at start (Start has reported it missing), for the system log.
std::string PortLostText(int number);
std::string PortBackText(int number);
std::string PortFoundText(int number);

// The latest burst that gave a key code, as the receiver sent it: the setup
// dialog keeps it with a key learned from a press it does not recognise.
// Written on the reader thread, read on the host's.
class KeyBurstStore {
public:
    void Put(std::uint64_t code, const std::uint8_t* burst, int length);
    // The burst of the latest key, when its code is this one; empty otherwise.
    std::vector<std::uint8_t> Get(std::uint64_t code) const;

private:
    mutable std::mutex mutex_;
    std::uint64_t code_ = 0;
    std::array<std::uint8_t, 256> burst_{};  // nothing allocated on the reader thread
    int length_ = 0;
};

class Receiver {
public:
    Receiver(SerialLink& link, SystemServices& system, const Settings& settings,
             PublishedState& published, WakeUp& wake, KeyBurstStore* keyBursts = nullptr);
    ~Receiver();

    // Opens the port under the error policy and starts the reader thread.
    // A port missing under the default policy is reported as the policy
    // says, and the reader watches for it and opens it once it appears.
    bool StartReceiver();
    // Ends the reader thread (promptly: a blocked read is woken, a wait to
    // reopen a lost port cut short) and closes the port; true when a port
    // was held.
    bool StopReceiver();
    bool Running() const { return thread_.joinable(); }

private:
    void ThreadBody();
    bool SleepUnlessStopped(int ms);
    // After a hang-up, or without a port from the start: reports a loss,
    // closes the port and tries to open it every ReopenDelayMs until it is
    // there or the receiver stops.
    void Reconnect(bool lost);

    SerialLink& link_;
    SystemServices& system_;
    const Settings& settings_;
    PublishedState& published_;
    WakeUp& wake_;
    KeyBurstStore* keyBursts_;
    // The port as it was started; a lost port comes back the same way.
    int port_ = 0;
    int rate_ = 0;
    int interval_ = 0;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    // Guards the stop request, and on the reader thread every change of the
    // port, so that StopReceiver's cancel reaches the port the reader uses.
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
};

}  // namespace orbisk
