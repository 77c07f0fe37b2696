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

// The code of a fresh key signal: the high 32 bits are 0.  length is 0 to
// MaxBurstLength; a negative skipBegin counts as 0.
std::uint64_t DecodeBurst(const std::uint8_t* burst, int length, int skipBegin);

}  // namespace orbisk
