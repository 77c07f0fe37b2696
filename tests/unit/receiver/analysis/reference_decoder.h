#pragma once
// The decoding rules written out step by step, with a cell list, a packed
// byte list and a table-free hash.  Slow, but each step can be checked by
// eye, so the optimised decoder is compared with it.  Shared by the decoder
// tests and the decoder fuzzer.
#include <cstdint>
#include <vector>

namespace orbisk::reference {

inline std::uint32_t HashTableEntry(std::uint32_t index) {
    std::uint32_t c = index;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    return c;
}

inline std::uint32_t Hash(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> all = bytes;
    all.insert(all.end(), 4, 0);
    std::uint32_t r = 0xFFFFFFFFu;
    for (std::uint8_t b : all) r = ((r << 8) | b) ^ HashTableEntry(r >> 24);
    return r;
}

inline std::vector<std::uint8_t> Cells(const std::uint8_t* burst, int length, int skipBegin) {
    if (skipBegin < 0) skipBegin = 0;
    const int first = (length % 2 == 0) ? 1 : 0;
    int unit = 255;
    for (int i = first; i < length; ++i)
        if (burst[i] < unit && burst[i] >= 2) unit = burst[i];
    std::vector<std::uint8_t> cells;
    std::uint8_t level = 1;
    for (long long i = static_cast<long long>(first) + skipBegin; i < length; ++i) {
        cells.insert(cells.end(), static_cast<std::size_t>(burst[i] / unit + 1), level);
        level ^= 1;
    }
    return cells;
}

inline std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& cells) {
    std::vector<std::uint8_t> packed(cells.size() / 7 + 1, 0);
    for (std::size_t c = 0; c < cells.size(); ++c)
        if (cells[c]) packed[c / 7] |= static_cast<std::uint8_t>(1u << (c % 7));
    return packed;
}

inline std::uint32_t Decode(const std::uint8_t* burst, int length, int skipBegin) {
    return Hash(Pack(Cells(burst, length, skipBegin)));
}

}  // namespace orbisk::reference
