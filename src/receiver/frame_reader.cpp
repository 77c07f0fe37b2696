#include "receiver/frame_reader.h"

#include <chrono>
#include <system_error>

#include "platform/system_services.h"
#include "settings/settings.h"
#include "receiver/frame_cutter.h"

namespace orbisk {

Receiver::Receiver(SerialLink& link, SystemServices& system, const Settings& settings,
                   PublishedState& published, WakeUp& wake)
    : link_(link), system_(system), settings_(settings), published_(published), wake_(wake) {}

Receiver::~Receiver() {
    if (Running()) StopReceiver();
}

bool Receiver::StartReceiver() {
    if (Running()) return true;
    if (!link_.OpenReceiverPort(settings_.COM.load(std::memory_order_relaxed), settings_)) return false;
    link_.SetReadTimeouts(settings_.Interval.load(std::memory_order_relaxed));
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopRequested_.store(false, std::memory_order_relaxed);
    }
    try {
        thread_ = std::thread(&Receiver::ThreadBody, this);
    } catch (const std::system_error&) {
        system_.ShowError(MsgCannotCreateThread);
        link_.ClosePortIfOpen();
        return false;
    }
    return true;
}

bool Receiver::StopReceiver() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(stopMutex_);
            stopRequested_.store(true, std::memory_order_relaxed);
        }
        stopSignal_.notify_all();
        // A read with nothing arriving would otherwise hold the stop for up
        // to 255 * 10 ms plus the interval.  The cancel stays pending in the
        // device, so a reader that checked the flag just before it was set
        // and is only now entering the read returns at once as well.
        link_.CancelRead();
        thread_.join();
    }
    return link_.ClosePortIfOpen();
}

bool Receiver::SleepUnlessStopped(int ms) {
    std::unique_lock<std::mutex> lock(stopMutex_);
    stopSignal_.wait_for(lock, std::chrono::milliseconds(ms),
                         [this] { return stopRequested_.load(std::memory_order_relaxed); });
    return !stopRequested_.load(std::memory_order_relaxed);
}

void Receiver::ThreadBody() {
    // Fixed buffers on this thread's stack: nothing is allocated per read or
    // per burst.
    FrameCutter cutter;
    std::uint8_t buffer[ReadRequestBytes] = {};
    const auto deliver = [this](const std::uint8_t* burst, int length) {
        ClassifyBurst(burst, length, settings_.RepeatLength.load(std::memory_order_relaxed),
                      settings_.SkipBegin.load(std::memory_order_relaxed), published_, wake_);
    };
    // The poll delay keeps a reader without a port, whose reads fail at
    // once, from spinning.  After a read that brought bytes the next read
    // starts at once instead: a receiver sends a burst's durations as it
    // measures them, and a gap inside the burst ends a read, so a delay
    // there would hold the rest of the burst, and the key, for up to a
    // poll delay.
    bool idle = true;
    while (idle ? SleepUnlessStopped(PollDelayMs) : !stopRequested_.load(std::memory_order_relaxed)) {
        int count = ReadRequestBytes;
        idle = !link_.ReadPort(buffer, count) || count <= 0;
        if (!idle) cutter.Feed(buffer, count, deliver);
    }
}

}  // namespace orbisk
