// RC-5 and RC-5X: halves of 889 us, a tick each; bi-phase, most significant
// first, 1 a space then a mark: a start bit (1), the field bit (command bit
// 6 inverted), the toggle, 5 address bits and 6 command bits.  RC-5X has a
// space of 4 ticks after the address, then 6 command and 6 more bits.  The
// kernel's scancodes: address << 8 | command; RC-5X address << 16 |
// command << 8 | the 6 more bits.
#include "receiver/analysis/protocols/protocol_kit.h"

#include <algorithm>

namespace orbisk {
namespace {

constexpr int kHalf = 1, kRc5xGap = 4;
// Rounding RC-5X's gap can miss by a unit under jitter: 4 to 6 ticks are tried.
constexpr int kLongestGap = 6;

bool Encode(const IrFrame& f, IrForm form, TickWriter& w) {
    if (form != IrForm::Frame) return false;
    const std::uint32_t s = f.scancode;
    const bool x = f.protocol == IrProtocol::Rc5x20;
    const std::uint32_t command = x ? s >> 8 & 0x7F : s & 0x7F;
    const std::uint32_t address = x ? s >> 16 & 0x1F : s >> 8 & 0x1F;
    const std::uint32_t head = 1u << 7 | ((command & 0x40) ? 0u : 1u) << 6 | (f.toggle ? 1u : 0u) << 5 | address;
    BiPhase(w, head, 8, kHalf, false);
    if (x) {
        w.Add(false, kRc5xGap);
        BiPhase(w, (command & 0x3F) << 6 | (s & 0x3F), 12, kHalf, false);
    } else {
        BiPhase(w, command & 0x3F, 6, kHalf, false);
    }
    return true;
}

bool FromCells(const Cells& cells, Candidate& c) {
    std::uint32_t head = 0, tail = 0;
    if (!ReadCellBits(cells, 0, 8, false, head) || (head & 0x80) == 0) return false;
    const std::uint32_t address = head & 0x1F;
    const std::uint32_t field = head & 0x40 ? 0u : 0x40u;
    c.frame.toggle = (head & 0x20) != 0;
    if (cells.count == 28) {
        if (!ReadCellBits(cells, 16, 6, false, tail)) return false;
        c.frame.protocol = IrProtocol::Rc5;
        c.frame.scancode = address << 8 | field | tail;
        return true;
    }
    if (cells.count != 44 || cells.mark[16] || cells.mark[17] || cells.mark[18] || cells.mark[19] ||
        !ReadCellBits(cells, 20, 12, false, tail))
        return false;
    c.frame.protocol = IrProtocol::Rc5x20;
    c.frame.scancode = address << 16 | (field | tail >> 6) << 8 | (tail & 0x3F);
    return true;
}

// RC-5's 14 or 22 bits are at most 43 durations of 1 or 2 ticks but for
// one space, its gap (any other mark or space of 3 ticks or more would
// leave a bit of two equal halves in its cells).  Ticks grow with the
// duration: the longest mark and the second longest space tell, before
// every duration is measured.
bool Read(const BurstView& b, Candidate& c) {
    const Signal& s = b.s;
    if (s.n > 43) return false;
    int longestSpace = 0, secondSpace = 0;
    for (int i = 1; i < s.n; i += 2) {
        secondSpace = std::max(secondSpace, std::min<int>(longestSpace, s.d[i]));
        longestSpace = std::max<int>(longestSpace, s.d[i]);
    }
    if (!(MeasuredTicks(s.longestMark, 0, b.scale) + 0.5 < 3 && MeasuredTicks(secondSpace, 1, b.scale) + 0.5 < 3))
        return false;
    Measured m;
    if (!Measure(s, b.scale, m)) return false;
    int gap = -1;
    for (int i = 1; i < s.n; i += 2)
        if (m.rounded[i] >= 3 && (gap < 0 || m.rounded[i] > m.rounded[gap])) gap = i;
    for (int gapTicks = gap < 0 ? 0 : kRc5xGap; gapTicks <= (gap < 0 ? 0 : kLongestGap); ++gapTicks) {
        // 14 bits of RC-5 or 22 of RC-5X, the start bit's first half included.
        const int count = CellCount(1, m, 0, gap, gapTicks);
        if (count != 28 && count != 44) continue;
        Cells cells;
        cells.mark[cells.count++] = false;  // the start bit's first half
        if (ToCells(m, 0, s.n, cells, gap, gapTicks) && FromCells(cells, c)) return true;
    }
    return false;
}

}  // namespace

extern const IrProtocolFamily kRc5Family{Encode, Read};

}  // namespace orbisk
