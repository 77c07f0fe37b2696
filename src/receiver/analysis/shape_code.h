#pragma once
// The shape code: a burst quantised in units of its shortest duration into
// level cells, packed seven to a byte and hashed.  Learned codes in existing
// settings files are values of exactly this computation.
#include <cstddef>
#include <cstdint>

namespace orbisk {

using KeyCode = std::uint32_t;

inline constexpr int MaxBurstLength = 254;

KeyCode CodeHash(const std::uint8_t* bytes, std::size_t count);

// One step of a 64-bit mix (the finaliser of SplitMix64): a bijection in
// which every bit of the word reaches every bit of the result.
constexpr std::uint64_t MixBits(std::uint64_t h) {
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBull;
    return h ^ (h >> 31);
}

// The code of a fresh key signal: the high 32 bits are 0.  length is 0 to
// MaxBurstLength; a negative skipBegin counts as 0.
std::uint64_t DecodeBurst(const std::uint8_t* burst, int length, int skipBegin);

}  // namespace orbisk
