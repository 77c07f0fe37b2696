#pragma once
// The manual-reset event through which the decoder wakes the key engine.
// The engine only sees this interface, so tests can drive it with a scripted
// event and a fake clock.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace orbisk {

class CodeEvent {
public:
    enum class WaitResult { Signalled, TimedOut };
    virtual ~CodeEvent() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    // Waits until the event is set or timeoutMs have passed; no timeout
    // waits without a limit.  A set event stays set until Reset.
    virtual WaitResult Wait(std::optional<std::uint32_t> timeoutMs) = 0;
};

class StdCodeEvent final : public CodeEvent {
public:
    void Set() override;
    void Reset() override;
    WaitResult Wait(std::optional<std::uint32_t> timeoutMs) override;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

}  // namespace orbisk
