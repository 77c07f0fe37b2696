#include "receiver/analysis/shape_code.h"

#include <array>

#include "receiver/analysis/tolerance.h"

namespace orbisk {
namespace {

// The reflected CRC-32 table (generator 0x04C11DB7 bit-reversed).  The hash
// below indexes it with the top byte of a left-shifting register, so the
// result matches no published CRC-32; learned codes depend on exactly this.
constexpr std::array<std::uint32_t, 256> MakeHashTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kHashTable = MakeHashTable();

// One step of the register with a zero byte coming in.
constexpr std::uint32_t ShiftZero(std::uint32_t r) { return (r << 8) ^ kHashTable[r >> 24]; }

// Long marks and spaces of short units pack into runs of whole bytes that
// are all 0x00 or all 0x7F (seven equal cells), up to 18 of them for one
// duration.  Each register step is linear over GF(2) (the table is), so k
// steps of zero bytes are a linear map of the register, kept here as one
// 256-entry table per register byte, and a run of 0x7F bytes adds a
// constant on top.  A whole duration then costs one step, not nineteen.
struct RegisterJump {
    std::array<std::array<std::uint32_t, 256>, 4> byByte{};
    std::uint32_t fullCells = 0;  // what k bytes of 0x7F add

    constexpr std::uint32_t Apply(std::uint32_t r) const {
        return byByte[0][r & 0xFF] ^ byByte[1][(r >> 8) & 0xFF] ^ byByte[2][(r >> 16) & 0xFF] ^
               byByte[3][r >> 24];
    }
};

// Whole bytes that one duration can fill: the most cells a duration gives
// is 255 / 2 + 1 = 128, of which at least one tops up the byte in progress.
constexpr unsigned kLongestRun = 18;
static_assert((255 / 2 + 1 - 1) / 7 == kLongestRun);

// Jumps of 0 to kLongestRun + 1 steps, indexed by their length.
constexpr std::array<RegisterJump, kLongestRun + 2> MakeRegisterJumps() {
    std::array<RegisterJump, kLongestRun + 2> jumps{};
    for (std::size_t i = 0; i < 4; ++i)
        for (std::uint32_t n = 0; n < 256; ++n) jumps[0].byByte[i][n] = n << (8 * i);
    for (std::size_t k = 1; k < jumps.size(); ++k) {
        for (std::size_t i = 0; i < 4; ++i)
            for (std::size_t n = 0; n < 256; ++n)
                jumps[k].byByte[i][n] = ShiftZero(jumps[k - 1].byByte[i][n]);
        jumps[k].fullCells = ShiftZero(jumps[k - 1].fullCells) ^ 0x7Fu;
    }
    return jumps;
}

constexpr std::array<RegisterJump, kLongestRun + 2> kRegisterJumps = MakeRegisterJumps();

class HashRegister {
public:
    void Add(std::uint8_t byte) { value_ = ShiftZero(value_) ^ byte; }

    // first, then run (at most kLongestRun) bytes that are all 0x7F (cells)
    // or all 0x00.  After first and k more bytes the register is
    //   S^(k+1)(value) ^ S^k(first) ^ (k bytes of 0x7F on a zero register).
    void AddThenRun(std::uint8_t first, unsigned run, bool cells) {
        if (run == 0) {
            Add(first);
            return;
        }
        const RegisterJump& tail = kRegisterJumps[run];
        value_ = kRegisterJumps[run + 1].Apply(value_) ^ tail.byByte[0][first] ^
                 (cells ? tail.fullCells : 0u);
    }

    // Four zero bytes push the last data byte through the register.
    KeyCode Finish() {
        for (int i = 0; i < 4; ++i) Add(0);
        return value_;
    }

private:
    std::uint32_t value_ = 0xFFFFFFFFu;
};

// Packs level cells seven to a byte (cell c is bit c % 7 of byte c / 7) and
// feeds every completed byte straight into the hash.  A burst can give up
// to 128 cells per duration byte, over 32000 in all, so nothing is
// buffered beyond one word and no burst can outgrow the decoder.
class CellPacker {
public:
    // count cells of one duration: 1 to 128.  Cells gather in a word and
    // are hashed seven at a time only when the word is full: most
    // durations cost a shift and an or.
    void Append(unsigned count, bool level) {
        if (used_ + count > 64) Flush();
        if (count > kWordCells) {
            AppendLong(count, level);
            return;
        }
        const std::uint64_t cells = (std::uint64_t{1} << count) - 1u;
        bits_ |= (cells & (0 - static_cast<std::uint64_t>(level))) << used_;
        used_ += count;
    }

    // The byte in progress is always hashed, even when it holds no cell:
    // n cells hash (n / 7) + 1 bytes, and no cells hash one zero byte.
    KeyCode Finish() {
        Flush();
        hash_.Add(static_cast<std::uint8_t>(bits_));
        return hash_.Finish();
    }

private:
    // The most cells a duration adds to the word: after a flush it holds
    // at most 6.
    static constexpr unsigned kWordCells = 64 - 6;

    // Hashes the word's whole bytes, leaving at most 6 cells in it.
    void Flush() {
        for (; used_ >= 7; used_ -= 7) {
            hash_.Add(static_cast<std::uint8_t>(bits_ & 0x7F));
            bits_ >>= 7;
        }
    }

    // Completes the byte in progress, hashes it with the whole bytes that
    // follow at once, and starts the next byte with what is left.
    void AppendLong(unsigned count, bool level) {
        Flush();
        std::uint32_t first = static_cast<std::uint32_t>(bits_);
        if (level) first |= 0x80u - (1u << used_);
        const unsigned total = used_ + count;
        hash_.AddThenRun(static_cast<std::uint8_t>(first), (total - 7) / 7, level);
        used_ = total % 7;
        bits_ = level ? (1u << used_) - 1u : 0u;
    }

    HashRegister hash_;
    std::uint64_t bits_ = 0;  // cells not yet hashed, the first in bit 0
    unsigned used_ = 0;       // cells in bits_
};

// d / unit for d in 0..255 and unit in 2..255 by one multiplication: with
// m = ceil(2^16 / unit) the error d * (m - 2^16 / unit) / 2^16 stays below
// 1 / unit, too small to carry the quotient over.  Checked for every pair
// below.
constexpr std::uint32_t UnitReciprocal(std::uint32_t unit) { return (65536u + unit - 1u) / unit; }
constexpr std::uint32_t DivideByUnit(std::uint32_t d, std::uint32_t reciprocal) {
    return (d * reciprocal) >> 16;
}

constexpr bool ReciprocalDivisionExact() {
    for (std::uint32_t unit = 2; unit < 256; ++unit) {
        const std::uint32_t m = UnitReciprocal(unit);
        for (std::uint32_t d = 0; d < 256; ++d)
            if (DivideByUnit(d, m) != d / unit) return false;
    }
    return true;
}
static_assert(ReciprocalDivisionExact());

}  // namespace

KeyCode CodeHash(const std::uint8_t* bytes, std::size_t count) {
    HashRegister hash;
    for (std::size_t i = 0; i < count; ++i) hash.Add(bytes[i]);
    return hash.Finish();
}

std::uint64_t DecodeBurst(const std::uint8_t* burst, int length, int skipBegin) {
    if (length < 0) length = 0;
    // Only a hand-edited settings file can hold a negative skip; it skips
    // nothing rather than reading before the burst.
    if (skipBegin < 0) skipBegin = 0;

    const int first = SignalStart(length);

    // The unit is the shortest duration of at least 2, searched over the
    // skipped bytes too; 0 and 1 are glitches and never set it.
    // As the least of d - 2 in bytes, where 0 and 1 wrap round to 254 and
    // 255 above any d - 2 of a real duration: a loop that runs on vectors.
    std::uint8_t least = 255;
    for (int i = first; i < length; ++i) {
        const auto d = static_cast<std::uint8_t>(burst[i] - 2);
        least = d < least ? d : least;
    }
    const std::uint32_t unit = least < 254 ? least + 2u : 255u;
    const std::uint32_t reciprocal = UnitReciprocal(unit);

    CellPacker packer;
    if (skipBegin < length - first) {
        // Set and clear cells in turn, in pairs: each Append knows its level.
        const auto cells = [&](int i) { return DivideByUnit(burst[i], reciprocal) + 1; };
        int i = first + skipBegin;
        for (; i + 1 < length; i += 2) {
            packer.Append(cells(i), true);
            packer.Append(cells(i + 1), false);
        }
        if (i < length) packer.Append(cells(i), true);
    }
    return packer.Finish();
}

}  // namespace orbisk
