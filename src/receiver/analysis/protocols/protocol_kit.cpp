#include "receiver/analysis/protocols/protocol_kit.h"

#include <algorithm>
#include <cmath>

namespace orbisk {

bool Measure(const Signal& s, Scale scale, Measured& m) {
    if (!(scale.unit > 0)) return false;
    int total = 0;
    for (int i = 0; i < s.n; ++i) {
        const double t = MeasuredTicks(s, scale, i);
        if (!(t >= 0.5 && t < 250.0)) return false;
        m.ticks[i] = t;
        m.rounded[i] = static_cast<std::uint8_t>(t + 0.5);
        total += m.rounded[i];
    }
    m.total = total;
    return true;
}

bool ToCells(const Measured& m, int from, int n, Cells& cells, int fixed, int fixedTicks) {
    for (int i = from; i < n; ++i) {
        const int ticks = i == fixed ? fixedTicks : m.rounded[i];
        if (ticks > kMostCells - cells.count) return false;
        std::fill_n(cells.mark + cells.count, ticks, (i & 1) == 0);
        cells.count += ticks;
    }
    // The space that ends the last bit is not seen.
    if (cells.count % 2 != 0) {
        if (cells.count == kMostCells) return false;
        cells.mark[cells.count++] = false;
    }
    return true;
}

bool ReadCellBits(const Cells& cells, int first, int count, bool markFirstIsOne, std::uint32_t& bits) {
    bits = 0;
    for (int i = 0; i < count; ++i) {
        const bool a = cells.mark[first + 2 * i], b = cells.mark[first + 2 * i + 1];
        if (a == b) return false;
        bits = bits << 1 | (a == markFirstIsOne ? 1u : 0u);
    }
    return true;
}

int CellCount(int count, const Measured& m, int from, int fixed, int fixedTicks) {
    count += m.total;
    for (int i = 0; i < from; ++i) count -= m.rounded[i];
    if (fixed >= 0) count += fixedTicks - m.rounded[fixed];
    return count + (count & 1);
}

namespace {

// Their short durations are few receiver units long and lose much to
// rounding, so the symbols are read from whole periods (a mark and its
// space: base to base + 3 steps ticks, whatever the bias), with the unit
// taken again from all periods as read.  The header gives a first unit;
// rounding its two durations can miss by 8 %, so a few units near it are
// tried in turn.  A reading with a period too far off its symbol may be
// another one misread, and is refused.

// A period's symbol under the unit, in steps above the base.  It grows
// with the period, as each operation in it does.
double SymbolOf(const PeriodCode& code, double unit, int period) {
    return (period / unit - code.baseTicks) / code.stepTicks;
}

// The ticks of the header and the symbols read under the unit.  As the
// symbol grows with the period, the shortest periods read as 1, 2 and 3
// (found by a few readings near where the unit puts them) read every
// period without a division of its own.
int PeriodTicks(const Signal& s, const PeriodCode& code, int symbols, double unit) {
    int least[3];  // periods are at most 510: 512 reads as none
    for (int k = 0; k < 3; ++k) {
        const double half = k + 0.5;
        const double guess = (code.baseTicks + half * code.stepTicks) * unit;
        int p = guess < 0 ? 0 : guess > 511 ? 512 : static_cast<int>(guess) + 1;  // mostly the one
        while (p > 0 && SymbolOf(code, unit, p - 1) >= half) --p;
        while (p < 512 && SymbolOf(code, unit, p) < half) ++p;
        least[k] = p;
    }
    int ticks = code.headerTicks;
    for (int i = 0; i < symbols; ++i) {
        const int period = s.d[2 + 2 * i] + s.d[3 + 2 * i];
        ticks += code.baseTicks + code.stepTicks * ((period >= least[0]) + (period >= least[1]) + (period >= least[2]));
    }
    return ticks;
}

// The symbols under the unit; false where one lies code.margin or more off.
bool ReadSymbols(const Signal& s, const PeriodCode& code, int symbols, double unit, std::uint32_t& bits,
                 Doubt* doubts) {
    bits = 0;
    if (doubts != nullptr) doubts[0] = doubts[1] = Doubt{};
    for (int i = 0; i < symbols; ++i) {
        const double symbol = SymbolOf(code, unit, s.d[2 + 2 * i] + s.d[3 + 2 * i]);
        const std::uint32_t k = symbol < 0.5 ? 0 : symbol < 1.5 ? 1 : symbol < 2.5 ? 2 : 3;
        const double off = std::fabs(symbol - k);
        if (!(off < code.margin)) return false;
        bits = bits << 2 | k;
        if (doubts != nullptr && off > doubts[1].off && (symbol > k ? k < 3 : k > 0)) {
            const Doubt d{off, 2 * (symbols - 1 - i), symbol > k ? k + 1 : k - 1};
            doubts[1] = off > doubts[0].off ? doubts[0] : d;
            if (off > doubts[0].off) doubts[0] = d;
        }
    }
    return true;
}

}  // namespace

// From each first unit, two passes take the unit again as the burst's
// length over the ticks they read, and a third reads the symbols.  What
// follows a pass depends on its ticks alone: a start whose pass reads the
// ticks the same pass of an earlier start read ends as that one did, and
// is left.  This runs on every burst of a symbol count these protocols have.
bool ReadPeriods(const Signal& s, const PeriodCode& code, int symbols, std::uint32_t& bits,
                 Doubt* doubts) {
    int total = s.d[0] + s.d[1];
    for (int i = 0; i < symbols; ++i) total += s.d[2 + 2 * i] + s.d[3 + 2 * i];
    int read[2][5] = {};  // the ticks each start's first and second pass read (never 0)
    int starts = 0;
    for (const double factor : {1.0, 0.96, 1.04, 0.92, 1.08}) {
        double unit = factor * (s.d[0] + s.d[1]) / code.headerTicks;
        bool before = false;
        for (int pass = 0; pass < 2 && !before; ++pass) {
            const int ticks = PeriodTicks(s, code, symbols, unit);
            before = std::find(read[pass], read[pass] + starts, ticks) != read[pass] + starts;
            read[pass][starts] = ticks;
            unit = static_cast<double>(total) / ticks;
        }
        ++starts;
        if (!before && ReadSymbols(s, code, symbols, unit, bits, doubts)) return true;
    }
    return false;
}

}  // namespace orbisk
