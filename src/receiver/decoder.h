#pragma once
// Turns one burst of duration bytes into a 32-bit key code and publishes it
// for the key engine.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orbisk {

using KeyCode = std::uint32_t;

inline constexpr int MaxBurstLength = 254;

// What the decoder hands to the engine.  Written in this order for every
// burst: LastCode, SignalPresent, UpdatePending (release stores), then the
// wake-up; the engine reads UpdatePending first (acquire).
struct PublishedState {
    std::atomic<std::uint64_t> LastCode{0};
    std::atomic<bool> SignalPresent{false};
    std::atomic<bool> UpdatePending{false};
};

// Whatever wakes the engine after a publication (the code event).
class WakeUp {
public:
    virtual ~WakeUp() = default;
    virtual void Set() = 0;
};

KeyCode CodeHash(const std::uint8_t* bytes, std::size_t count);

// The code of a fresh key signal: the high 32 bits are 0.  length is 0 to
// MaxBurstLength; a negative skipBegin counts as 0.
std::uint64_t DecodeBurst(const std::uint8_t* burst, int length, int skipBegin);

// Sorts a burst by its length against repeatLength and publishes the result:
// longer is a fresh code, equal repeats the previous code, shorter is 0.
void ClassifyBurst(const std::uint8_t* burst, int length, int repeatLength, int skipBegin,
                   PublishedState& state, WakeUp& wake);

}  // namespace orbisk
