#pragma once
// The receiver: the serial link plus the reader thread that polls the port,
// cuts bursts and runs the decoder on them.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "receiver/decoder.h"
#include "receiver/serial_link.h"

namespace orbisk {

inline constexpr char MsgCannotCreateThread[] = "Can't create thread";
inline constexpr int PollDelayMs = 50;
inline constexpr int ReadRequestBytes = 255;

class Receiver {
public:
    Receiver(SerialLink& link, SystemServices& system, const Settings& settings,
             PublishedState& published, WakeUp& wake);
    ~Receiver();

    // Opens the port under the error policy and starts the reader thread.
    bool StartReceiver();
    // Ends the reader thread (promptly: a blocked read is woken) and closes
    // the port; true when a port was held.
    bool StopReceiver();
    bool Running() const { return thread_.joinable(); }

private:
    void ThreadBody();
    bool SleepUnlessStopped(int ms);

    SerialLink& link_;
    SystemServices& system_;
    const Settings& settings_;
    PublishedState& published_;
    WakeUp& wake_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
};

}  // namespace orbisk
