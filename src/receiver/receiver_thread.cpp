#include "receiver/receiver_thread.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "platform/system_services.h"
#include "settings/settings.h"
#include "receiver/frame_cutter.h"

namespace orbisk {

std::string PortLostText(int number) {
    return "Lost the IR receiver on COM" + std::to_string(number) + "; reopening it every second";
}

std::string PortBackText(int number) { return "The IR receiver on COM" + std::to_string(number) + " is back"; }

std::string PortFoundText(int number) { return "The IR receiver on COM" + std::to_string(number) + " has appeared"; }

Receiver::Receiver(SerialLink& link, SystemServices& system, const Settings& settings,
                   PublishedState& published, WakeUp& wake, KeyBurstStore* keyBursts)
    : link_(link), system_(system), settings_(settings), published_(published), wake_(wake),
      keyBursts_(keyBursts) {}

void KeyBurstStore::Put(std::uint64_t code, const std::uint8_t* burst, int length) {
    const std::lock_guard<std::mutex> lock(mutex_);
    code_ = code;
    length_ = std::min(length, static_cast<int>(burst_.size()));
    std::copy(burst, burst + length_, burst_.begin());
}

std::vector<std::uint8_t> KeyBurstStore::Get(std::uint64_t code) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (code != code_) return {};
    return {burst_.begin(), burst_.begin() + length_};
}

Receiver::~Receiver() {
    if (Running()) StopReceiver();
}

bool Receiver::StartReceiver() {
    if (Running()) return true;
    port_ = settings_.COM.load(std::memory_order_relaxed);
    rate_ = settings_.COMRate.load(std::memory_order_relaxed);
    interval_ = settings_.Interval.load(std::memory_order_relaxed);
    if (!link_.OpenReceiverPort(port_, settings_)) return false;
    link_.SetReadTimeouts(interval_);
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
    StableCodeMemo memo;
    std::uint8_t buffer[ReadRequestBytes] = {};
    const auto deliver = [this, &memo](const std::uint8_t* burst, int length) {
        const BurstKind kind =
            ClassifyBurst(burst, length, settings_.RepeatLength.load(std::memory_order_relaxed),
                          settings_.SkipBegin.load(std::memory_order_relaxed), published_, wake_,
                          settings_.Recognize.load(std::memory_order_relaxed), &memo);
        if (kind == BurstKind::Key && keyBursts_ != nullptr)
            keyBursts_->Put(published_.LastCode.load(std::memory_order_relaxed), burst, length);
    };
    // While a burst is unfinished the reads give up once the line has been
    // quiet for the fragment silence since the burst's latest byte, so that
    // an empty one proves the silence (a read that brings bytes cannot tell
    // when its first one came).  The device counts the silence from the
    // latest byte itself, whatever time passed between the reads.  Zero:
    // the reads of a line between bursts.
    int silenceReadMs = 0;
    // The poll delay keeps a reader without a port, whose reads fail at
    // once, from spinning.  After a read that brought bytes the next read
    // starts at once instead: a receiver sends a burst's durations as it
    // measures them, and a gap inside the burst ends a read, so a delay
    // there would hold the rest of the burst, and the key, for up to a
    // poll delay.
    bool idle = true;
    // A port missing at start, under the policy that runs the receiver
    // anyway, is watched for like a lost one; Start has reported it.
    if (!link_.IsOpen()) Reconnect(false);
    while (idle ? SleepUnlessStopped(PollDelayMs) : !stopRequested_.load(std::memory_order_relaxed)) {
        const int silenceMs = cutter.PendingLength() > 0 ? FragmentSilenceMs : 0;
        if (silenceMs != silenceReadMs) {
            silenceReadMs = silenceMs;
            if (silenceMs > 0) link_.SetSilenceTimeouts(silenceMs);
            else link_.SetReadTimeouts(interval_);
        }
        int count = ReadRequestBytes;
        const bool read = link_.ReadPort(buffer, count);
        idle = !read || count <= 0;
        if (!idle) {
            cutter.Feed(buffer, count, deliver);
            continue;
        }
        if (read && silenceMs > 0) cutter.Clear();  // the silence has passed
        if (!read && link_.IsOpen()) {
            // A held port whose read fails has hung up: the receiver was
            // unplugged.  Whatever it was sending is gone with it.
            cutter.Clear();
            Reconnect(true);
            silenceReadMs = 0;  // a port opened again reads as between bursts
        }
    }
}

void Receiver::Reconnect(bool lost) {
    if (lost) system_.LogError(PortLostText(port_));
    {
        // Port changes happen under the stop lock and never after a stop
        // request, so that StopReceiver's cancel finds the port in use.
        std::lock_guard<std::mutex> lock(stopMutex_);
        if (stopRequested_.load(std::memory_order_relaxed)) return;
        link_.ClosePort();
    }
    while (SleepUnlessStopped(ReopenDelayMs)) {
        {
            std::lock_guard<std::mutex> lock(stopMutex_);
            if (stopRequested_.load(std::memory_order_relaxed)) return;
            if (!link_.ReopenPort(port_, rate_, interval_)) continue;
        }
        system_.LogError(lost ? PortBackText(port_) : PortFoundText(port_));
        return;
    }
}

}  // namespace orbisk
