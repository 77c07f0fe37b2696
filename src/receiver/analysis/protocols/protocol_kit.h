#pragma once
// What every protocol file under protocols/ builds on: writing a frame's
// ideal form in ticks, reading a burst roughly (a unit and bias from its
// short durations, bits from long and short ones, bi-phase cells, symbols
// as periods), and the family record a protocol registers in the protocol
// table (protocol_table.cpp).  A reader only proposes a frame: the recogniser
// encodes it again and accepts it when the burst fits (ir_recognizer.cpp).
#include <cstddef>
#include <cstdint>
#include <span>

#include "receiver/analysis/protocol_table.h"
#include "receiver/analysis/shape_code.h"
#include "receiver/analysis/tolerance.h"

namespace orbisk {

// Appends levels to a frame: equal neighbours merge into one duration, and
// the spaces before the first mark and after the last one are never seen.
class TickWriter {
public:
    explicit TickWriter(IrDurations& out) : out_(out), ticks_(out.ticks.data()) {}

    void Add(bool mark, int ticks) {
        if (count_ == 0 && !mark) return;
        if (count_ > 0 && mark == lastMark_) {
            ticks_[count_ - 1] = static_cast<std::uint8_t>(ticks_[count_ - 1] + ticks);
            return;
        }
        if (count_ == out_.ticks.size()) return;  // no protocol comes near
        ticks_[count_++] = static_cast<std::uint8_t>(ticks);
        lastMark_ = mark;
    }
    void Pair(int mark, int space) {
        Add(true, mark);
        Add(false, space);
    }
    // count marks of mark ticks, each followed by space(i): after a space,
    // or at the start, nothing merges, and they are written straight.
    template <typename SpaceOf>
    void Pairs(int count, int mark, SpaceOf&& space) {
        if ((count_ > 0 && lastMark_) || count_ + 2 * static_cast<std::size_t>(count) > out_.ticks.size()) {
            for (int i = 0; i < count; ++i) Pair(mark, space(i));
            return;
        }
        // Indexed from a local, as count_ too would be read again after every tick (see Finish).
        std::uint8_t* at = ticks_ + count_;
        for (int i = 0; i < count; ++i) {
            at[2 * i] = static_cast<std::uint8_t>(mark);
            at[2 * i + 1] = static_cast<std::uint8_t>(space(i));
        }
        count_ += 2 * static_cast<std::size_t>(count);
        if (count > 0) lastMark_ = false;
    }
    // The count is kept here and stored once: the compiler must assume a
    // store through the byte pointer may change out's count, so a count
    // kept there would be read again after every tick.
    bool Finish() {
        if (count_ > 0 && !lastMark_) --count_;
        out_.count = static_cast<int>(count_);
        return count_ > 0;
    }

private:
    IrDurations& out_;
    std::uint8_t* ticks_;
    std::size_t count_ = 0;
    bool lastMark_ = false;
};

// Pulse distance, least significant bit first: a mark, then a short or long space.
inline void PulseDistance(TickWriter& w, std::uint32_t bits, int count, int mark, int zero, int one) {
    w.Pairs(count, mark, [&](int i) { return (bits >> i) & 1 ? one : zero; });
}

// Pulse distance, most significant bit first.
inline void PulseDistanceMsb(TickWriter& w, std::uint32_t bits, int count, int mark, int zero, int one) {
    for (int i = count - 1; i >= 0; --i) w.Pair(mark, (bits >> i) & 1 ? one : zero);
}

// Bi-phase, most significant bit first, halves of the given length.  RC-5
// writes 1 as space then mark, RC-6 as mark then space.
inline void BiPhase(TickWriter& w, std::uint32_t bits, int count, int half, bool oneMarkFirst) {
    for (int i = count - 1; i >= 0; --i) {
        const bool markFirst = (((bits >> i) & 1) != 0) == oneMarkFirst;
        w.Add(markFirst, half);
        w.Add(!markFirst, half);
    }
}

// Receiver units per tick, and what the receiver adds to every mark and
// takes from every space.
struct Scale {
    double unit = 0;
    double bias = 0;
};

// A burst from its first mark: marks at even positions, spaces at odd ones.
struct Signal {
    const std::uint8_t* d = nullptr;
    int n = 0;
    double shortMark = 0;   // mean of the short marks
    double shortSpace = 0;  // mean of the short spaces
    int longestMark = 0;
};

// The scale that makes the short marks and spaces markTicks and spaceTicks long.
inline Scale ScaleFor(const Signal& s, int markTicks, int spaceTicks) {
    Scale scale;
    scale.unit = (s.shortMark + s.shortSpace) / (markTicks + spaceTicks);
    scale.bias = s.shortMark - markTicks * scale.unit;
    return scale;
}

// A duration in ticks, the bias taken out: a mark (kind 0) or a space.
inline double MeasuredTicks(int duration, int kind, Scale scale) {
    return (duration + (kind ? scale.bias : -scale.bias)) * (1.0 / scale.unit);
}
inline double MeasuredTicks(const Signal& s, Scale scale, int i) { return MeasuredTicks(s.d[i], i & 1, scale); }

// Duration i in ticks, the bias taken out.
inline double Ticks(const Signal& s, const Scale& scale, int i) {
    return (s.d[i] + ((i & 1) ? scale.bias : -scale.bias)) / scale.unit;
}

// Durations from `first` on, every second one, longer than `ticks`: bits,
// least significant first.  Compared in the receiver's units, with no
// division per duration.
inline std::uint32_t LongBits(const Signal& s, const Scale& scale, int first, int count, double ticks) {
    const double limit = ticks * scale.unit + ((first & 1) ? -scale.bias : scale.bias);
    std::uint32_t bits = 0;
    for (int i = 0; i < count; ++i)
        if (s.d[first + 2 * i] > limit) bits |= 1u << i;
    return bits;
}

// Bits read most significant first, as LongBits reads them.
inline std::uint32_t LongBitsMsb(const Signal& s, const Scale& scale, int first, int count, double ticks) {
    const std::uint32_t lsb = LongBits(s, scale, first, count, ticks);
    std::uint32_t bits = 0;
    for (int i = 0; i < count; ++i) bits |= (lsb >> i & 1) << (count - 1 - i);
    return bits;
}

// The durations in ticks, bias taken out, and rounded.
struct Measured {
    double ticks[MaxBurstLength];
    std::uint8_t rounded[MaxBurstLength];
    int total = 0;  // of rounded
};
bool Measure(const Signal& s, Scale scale, Measured& m);

// Half-bit cells of a bi-phase frame: a mark or space of k ticks is k cells.
inline constexpr int kMostCells = 96;
struct Cells {
    bool mark[kMostCells] = {};
    int count = 0;
};
// The durations from `from` on as cells; duration `fixed`, when not -1, as
// fixedTicks cells instead of its rounded length.
bool ToCells(const Measured& m, int from, int n, Cells& cells, int fixed = -1, int fixedTicks = 0);
// count bits of half-bit cells from cell first on, most significant first;
// markFirstIsOne as in RC-6.  False when a bit's halves do not differ.
bool ReadCellBits(const Cells& cells, int first, int count, bool markFirstIsOne, std::uint32_t& bits);
// What ToCells makes of `count` cells and the durations from `from` on:
// the count a frame's cells must have, known before any cell is written.
int CellCount(int count, const Measured& m, int from, int fixed = -1, int fixedTicks = 0);

// Two bits a symbol as a mark and one of four spaces, after a header of a
// mark and a space (RC-MM's and Xiaomi's): the header's ticks, a symbol's
// period (a mark and its space) at its least and its step, and how far from
// its symbol, in steps, a period may lie.
struct PeriodCode {
    int headerTicks, baseTicks, stepTicks;
    double margin;
};
// The two symbols read with the least certainty, each with the neighbour
// it lies towards: where a check over the bits finds a misread, those are
// the symbols jitter most likely moved.
struct Doubt {
    double off = -1;
    int shift = 0;  // of the symbol's two bits
    std::uint32_t other = 0;
};
// The symbols, most significant first; false where none of a few units
// near the header's reads them all within code.margin.
bool ReadPeriods(const Signal& s, const PeriodCode& code, int symbols, std::uint32_t& bits, Doubt* doubts = nullptr);

// A frame read from a burst, accepted when its encoding fits.  Where the
// reader took its symbols from periods a step apart (stepTicks), a misread
// symbol that passed the frame's check lies a step off: no duration may lie
// half a step off the encoding, whatever the unit's tolerance.  XMP's steps
// are left out: captured frames lie further off theirs, and would lose
// their code.
struct Candidate {
    IrFrame frame;
    IrForm form = IrForm::Frame;
    int stepTicks = 0;
};

// A burst as the readers see it: the signal and the scale that makes its
// short marks and spaces one tick each.
struct BurstView {
    Signal s;
    Scale scale;
};

// What a protocol file registers in the protocol table: how to write its
// frames and how to read them.
struct IrProtocolFamily {
    // Writes the frame in the form asked for (the scancode fits the mask);
    // false for a form the protocol does not have.
    bool (*encode)(const IrFrame& frame, IrForm form, TickWriter& w);
    // Proposes a frame of the family for the burst; false where the burst
    // is none of its frames.
    bool (*read)(const BurstView& burst, Candidate& c);
    // Whether the protocol carries the scancode beyond its mask; nullptr: any.
    bool (*carries)(const IrFrame& frame) = nullptr;
};

// The families' readers in the order they are tried: a burst both could be
// goes to the first.
std::span<const IrProtocolFamily* const> ReadingOrder();

}  // namespace orbisk
