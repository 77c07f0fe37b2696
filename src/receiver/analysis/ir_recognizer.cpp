#include "receiver/analysis/ir_recognizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "receiver/analysis/duration_groups.h"
#include "receiver/analysis/tolerance.h"

namespace orbisk {
namespace {

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

// The means of the short marks and of the short spaces, and the longest
// mark.  A short duration is one below 1.45 times the shortest of its kind:
// above the longest short one and below the shortest long one even when a
// bias of a third of a unit and 10 % jitter squeeze them together.
// Integers, marks and spaces in one pass, without branches: this runs on
// every burst.
bool FindShorts(Signal& s) {
    // Byte-wide extremes, which run on vectors.  Started from constants: a
    // vector of the last mark's would be stored and loaded again.
    std::uint8_t leastMark = 255, leastSpace = 255, mostMark = 0;
    for (int i = 0; i + 1 < s.n; i += 2) {
        leastMark = s.d[i] < leastMark ? s.d[i] : leastMark;
        leastSpace = s.d[i + 1] < leastSpace ? s.d[i + 1] : leastSpace;
        mostMark = s.d[i] > mostMark ? s.d[i] : mostMark;
    }
    const std::uint8_t lastMark = s.d[s.n - 1];  // n is odd: the last is a mark
    leastMark = lastMark < leastMark ? lastMark : leastMark;
    s.longestMark = lastMark > mostMark ? lastMark : mostMark;
    const int least[2] = {leastMark, leastSpace};
    if (least[0] == 0 || least[1] == 0) return false;
    // d < 1.45 * least, as 20 * d < 29 * least.
    const int limit[2] = {29 * least[0], 29 * least[1]};
    int markSum = 0, markCount = 0, spaceSum = 0, spaceCount = 0;
    for (int i = 0; i + 1 < s.n; i += 2) {
        const int mark = s.d[i], space = s.d[i + 1];
        const int markShort = 20 * mark < limit[0], spaceShort = 20 * space < limit[1];
        markSum += markShort * mark;
        markCount += markShort;
        spaceSum += spaceShort * space;
        spaceCount += spaceShort;
    }
    const int last = s.d[s.n - 1], lastShort = 20 * last < limit[0];
    markSum += lastShort * last;
    markCount += lastShort;
    s.shortMark = static_cast<double>(markSum) / markCount;
    s.shortSpace = static_cast<double>(spaceSum) / spaceCount;
    return true;
}

// The scale that makes the short marks and spaces markTicks and spaceTicks long.
Scale ScaleFor(const Signal& s, int markTicks, int spaceTicks) {
    Scale scale;
    scale.unit = (s.shortMark + s.shortSpace) / (markTicks + spaceTicks);
    scale.bias = s.shortMark - markTicks * scale.unit;
    return scale;
}

// The durations in ticks, bias taken out, and rounded.
struct Measured {
    double ticks[MaxBurstLength];
    std::uint8_t rounded[MaxBurstLength];
    int total = 0;  // of rounded
};

// A duration in ticks, as Measure takes it: a mark (kind 0) or a space.
double MeasuredTicks(int duration, int kind, Scale scale) {
    return (duration + (kind ? scale.bias : -scale.bias)) * (1.0 / scale.unit);
}
double MeasuredTicks(const Signal& s, Scale scale, int i) { return MeasuredTicks(s.d[i], i & 1, scale); }

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

// Fits the burst to the frame's durations T by least squares,
// d = T * unit +- bias (+ for marks), and accepts it when the bias is
// plausible and every duration lies within its tolerance of the fit.
// Only durations under four units take part in the fit: jitter grows with
// the duration, and a header a tenth short must not drag the unit of every
// bit with it.  The sums are integers, without branches.
bool Fits(const Signal& s, const IrDurations& frame, int unitTicks) {
    if (frame.count != s.n) return false;
    const std::uint8_t* t = frame.ticks.data();
    const int fitLimit = 4 * unitTicks;
    int sumTT = 0, sumTS = 0, sumSS = 0, sumTD = 0, sumSD = 0;  // S: the sign, D: the duration
    int shortestMark = t[s.n - 1], longest[2] = {t[s.n - 1], 0};  // of marks and of spaces
    // Marks (sign +1) and spaces (-1) in pairs; n is odd, the last is a mark.
    const auto sum = [&](int i, int sign) {
        const int in = t[i] < fitLimit;
        const int ti = in * t[i], di = in * s.d[i];
        sumTT += ti * ti;
        sumTS += sign * ti;
        sumSS += in;
        sumTD += ti * di;
        sumSD += sign * di;
    };
    for (int i = 0; i + 1 < s.n; i += 2) {
        sum(i, 1);
        sum(i + 1, -1);
        shortestMark = t[i] < shortestMark ? t[i] : shortestMark;
        longest[0] = t[i] > longest[0] ? t[i] : longest[0];
        longest[1] = t[i + 1] > longest[1] ? t[i + 1] : longest[1];
    }
    sum(s.n - 1, 1);
    const double tt = sumTT, ts = sumTS, ss = sumSS, td = sumTD, sd = sumSD;
    const double det = tt * ss - ts * ts;
    if (det <= 1e-9 * tt * ss) return false;
    const double unit = (td * ss - ts * sd) / det;
    const double bias = (tt * sd - ts * td) / det;
    // No mark loses or gains more than its own length: where a protocol's
    // marks are shorter than its unit (XMP's), a bias of a whole unit would
    // let the fit take spaces for marks and read another frame.
    const int biasTicks = shortestMark < unitTicks ? shortestMark : unitTicks;
    if (!(unit > 0) || !BiasFits(bias, biasTicks, unit)) return false;
    // Durations the frame gives one tick count (marks and spaces apart) are
    // one group: its least and most duration stand for all of it, as every
    // check below passes a range of durations.  Each kind has two tables,
    // for alternate pairs of durations: a group's durations mostly follow
    // one another, and each would wait for the one before it to be stored.
    // Only the counts up to the kind's longest are cleared, in blocks that
    // take a few wide stores.
    std::uint8_t least[4][256], most[4][256];  // table: kind, + 2 for odd pairs
    for (int table = 0; table < 4; ++table) {
        for (int ticks = 0; ticks <= longest[table & 1]; ticks += 32) {
            std::memset(&least[table][ticks], 255, 32);
            std::memset(&most[table][ticks], 0, 32);
        }
    }
    const auto extend = [&](int i, int table) {
        std::uint8_t& l = least[table][t[i]];
        std::uint8_t& m = most[table][t[i]];
        l = s.d[i] < l ? s.d[i] : l;
        m = s.d[i] > m ? s.d[i] : m;
    };
    int i = 0;
    for (; i + 3 < s.n; i += 4) {
        extend(i, 0);
        extend(i + 1, 1);
        extend(i + 2, 2);
        extend(i + 3, 3);
    }
    for (; i < s.n; ++i) extend(i, i & 1);
    const double signedBias[2] = {bias, -bias};
    for (int kind = 0; kind < 2; ++kind) {
        for (int ticks = 0; ticks <= longest[kind]; ++ticks) {
            const int low = std::min(least[kind][ticks], least[kind + 2][ticks]);
            const int high = std::max(most[kind][ticks], most[kind + 2][ticks]);
            if (high == 0) continue;  // no such duration: a burst's are 1 or more
            const double tolerance = DurationTolerance(ticks, unitTicks, unit);
            const double expected = ticks * unit + signedBias[kind];
            if (std::fabs(low - expected) > tolerance || std::fabs(high - expected) > tolerance) return false;
            // A unit and bias can sit between two lengths of the burst and take
            // both for one of the protocol's: the group must be one length of
            // the burst too.
            if (!OneLength(low - signedBias[kind], high - signedBias[kind])) return false;
        }
    }
    return true;
}

// A candidate read from the burst, accepted when its encoding fits.
struct Candidate {
    IrFrame frame;
    IrForm form = IrForm::Frame;
};

// Where the candidate's encoding is its ideal form (toggle clear, the
// frame itself), it is kept in ideal; otherwise ideal is left with no
// durations.
bool Accept(const Signal& s, const Candidate& c, IrFrame& out, IrDurations* ideal) {
    IrDurations encoded;
    if (!EncodeIrFrame(c.frame, encoded, c.form) ||
        !Fits(s, encoded, ProtocolInfo(c.frame.protocol).unitTicks))
        return false;
    out = c.frame;
    if (ideal != nullptr) {
        if (c.form == IrForm::Frame && !c.frame.toggle)
            *ideal = encoded;
        else
            ideal->count = 0;
    }
    return true;
}

// Duration i in ticks, the bias taken out.
double Ticks(const Signal& s, const Scale& scale, int i) {
    return (s.d[i] + ((i & 1) ? scale.bias : -scale.bias)) / scale.unit;
}

// Durations from `first` on, every second one, longer than `ticks`: bits,
// least significant first.  Compared in the receiver's units, with no
// division per duration.
std::uint32_t LongBits(const Signal& s, const Scale& scale, int first, int count, double ticks) {
    const double limit = ticks * scale.unit + ((first & 1) ? -scale.bias : scale.bias);
    std::uint32_t bits = 0;
    for (int i = 0; i < count; ++i)
        if (s.d[first + 2 * i] > limit) bits |= 1u << i;
    return bits;
}

bool NecFamily(const Signal& s, const Scale& scale, Candidate& c) {
    if (s.n != 67 && s.n != 35 && s.n != 33) return false;
    const double head[2] = {Ticks(s, scale, 0), Ticks(s, scale, 1)};
    if (s.n == 67) {
        const std::uint32_t bits = LongBits(s, scale, 3, 32, 2.0);
        const std::uint32_t b0 = bits & 0xFF, b1 = bits >> 8 & 0xFF, b2 = bits >> 16 & 0xFF,
                            b3 = bits >> 24;
        if (Near(head[0], 16) && Near(head[1], 8)) {
            if ((b2 ^ b3) != 0xFF) {
                c.frame = {IrProtocol::Nec32, b1 << 24 | b0 << 16 | b3 << 8 | b2, false};
            } else if ((b0 ^ b1) != 0xFF) {
                c.frame = {IrProtocol::Necx, b0 << 16 | b1 << 8 | b2, false};
            } else {
                c.frame = {IrProtocol::Nec, b0 << 8 | b2, false};
            }
            return true;
        }
        if (Near(head[0], 8) && Near(head[1], 8) && b0 == b1 && (b2 ^ b3) == 0xFF) {
            c.frame = {IrProtocol::Samsung32, b0 << 8 | b2, false};
            return true;
        }
        return false;
    }
    // JVC, with its header on a key's first frame and without on the rest.
    const bool header = s.n == 35 && Near(head[0], 16) && Near(head[1], 8);
    if (!header && s.n != 33) return false;
    const std::uint32_t bits = LongBits(s, scale, header ? 3 : 1, 16, 2.0);
    c.frame = {IrProtocol::Jvc, (bits & 0xFF) << 8 | bits >> 8, false};
    c.form = header ? IrForm::Frame : IrForm::FollowUp;
    return true;
}

bool Sony(const Signal& s, const Scale& scale, Candidate& c) {
    const int bitCount = (s.n - 1) / 2;
    if ((bitCount != 12 && bitCount != 15 && bitCount != 20) || !Near(Ticks(s, scale, 0), 4)) return false;
    const std::uint32_t bits = LongBits(s, scale, 2, bitCount, 1.5);
    const std::uint32_t command = bits & 0x7F;
    switch (bitCount) {
    case 12:
        c.frame = {IrProtocol::Sony12, (bits >> 7 & 0x1F) << 16 | command, false};
        break;
    case 15:
        c.frame = {IrProtocol::Sony15, (bits >> 7 & 0xFF) << 16 | command, false};
        break;
    default:
        c.frame = {IrProtocol::Sony20, (bits >> 7 & 0x1F) << 16 | (bits >> 12 & 0xFF) << 8 | command, false};
        break;
    }
    return true;
}

bool Sharp(const Signal& s, const Scale& scale, Candidate& c) {
    if (s.n != 31) return false;
    // Spaces of 17 or 42 ticks; Sharp's expansion and check bits are 1, 0
    // in the frame and 0, 1 in its echo, whose command is inverted.
    const std::uint32_t bits = LongBits(s, scale, 1, 15, 29.5);
    const std::uint32_t address = bits & 0x1F;
    std::uint32_t command = bits >> 5 & 0xFF;
    // Denon's are 0, 0 in the frame and 1, 1 in the echo.
    const std::uint32_t check = bits >> 13;
    const bool echo = check == 2 || check == 3;
    if (echo) command ^= 0xFF;
    c.form = echo ? IrForm::FollowUp : IrForm::Frame;
    c.frame = {check == 1 || check == 2 ? IrProtocol::Sharp : IrProtocol::Denon, address << 8 | command, false};
    return true;
}

// Half-bit cells of a bi-phase frame: a mark or space of k ticks is k cells.
constexpr int kMostCells = 96;
struct Cells {
    bool mark[kMostCells] = {};
    int count = 0;
};

// The durations from `from` on as cells; duration `fixed`, when not -1, as
// fixedTicks cells instead of its rounded length.
bool ToCells(const Measured& m, int from, int n, Cells& cells, int fixed = -1, int fixedTicks = 0) {
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

// count bits of half-bit cells from cell first on, most significant first;
// markFirstIsOne as in RC-6.  False when a bit's halves do not differ.
bool ReadBiPhase(const Cells& cells, int first, int count, bool markFirstIsOne, std::uint32_t& bits) {
    bits = 0;
    for (int i = 0; i < count; ++i) {
        const bool a = cells.mark[first + 2 * i], b = cells.mark[first + 2 * i + 1];
        if (a == b) return false;
        bits = bits << 1 | (a == markFirstIsOne ? 1u : 0u);
    }
    return true;
}

bool Rc5Cells(const Cells& cells, Candidate& c) {
    std::uint32_t head = 0, tail = 0;
    if (!ReadBiPhase(cells, 0, 8, false, head) || (head & 0x80) == 0) return false;
    const std::uint32_t address = head & 0x1F;
    const std::uint32_t field = head & 0x40 ? 0u : 0x40u;
    c.frame.toggle = (head & 0x20) != 0;
    if (cells.count == 28) {
        if (!ReadBiPhase(cells, 16, 6, false, tail)) return false;
        c.frame.protocol = IrProtocol::Rc5;
        c.frame.scancode = address << 8 | field | tail;
        return true;
    }
    // RC-5X: four units of space after the eighth bit, then 12 more bits.
    if (cells.count != 44 || cells.mark[16] || cells.mark[17] || cells.mark[18] || cells.mark[19] ||
        !ReadBiPhase(cells, 20, 12, false, tail))
        return false;
    c.frame.protocol = IrProtocol::Rc5x20;
    c.frame.scancode = address << 16 | (field | tail >> 6) << 8 | (tail & 0x3F);
    return true;
}

// What ToCells makes of `count` cells and the durations from `from` on:
// the count a frame's cells must have, known before any cell is written.
int CellCount(int count, const Measured& m, int from, int fixed = -1, int fixedTicks = 0) {
    count += m.total;
    for (int i = 0; i < from; ++i) count -= m.rounded[i];
    if (fixed >= 0) count += fixedTicks - m.rounded[fixed];
    return count + (count & 1);
}

bool Rc5(const Measured& m, int n, Candidate& c) {
    // RC-5X's gap of 4 to 6 units is the one long duration; rounding it can
    // miss by a unit under jitter, so each of its lengths is tried and the
    // fit decides.
    int gap = -1;
    for (int i = 1; i < n; i += 2)
        if (m.rounded[i] >= 3 && (gap < 0 || m.rounded[i] > m.rounded[gap])) gap = i;
    for (int gapTicks = gap < 0 ? 0 : 4; gapTicks <= (gap < 0 ? 0 : 6); ++gapTicks) {
        // 14 bits of RC-5 or 22 of RC-5X, the start bit's first half included.
        const int count = CellCount(1, m, 0, gap, gapTicks);
        if (count != 28 && count != 44) continue;
        Cells cells;
        cells.mark[cells.count++] = false;  // the start bit's first half
        if (ToCells(m, 0, n, cells, gap, gapTicks) && Rc5Cells(cells, c)) return true;
    }
    return false;
}

// RC-6's header: a mark of 6 ticks and a space of 2.
bool Rc6Header(double mark, double space) { return Near(mark, 6) && std::fabs(space - 2) <= 0.6; }

bool Rc6(const Measured& m, int n, Candidate& c) {
    if (n < 3 || !Rc6Header(m.ticks[0], m.ticks[1])) return false;
    // The header's 12 cells and 16, 20, 24 or 32 data bits.
    const int count = CellCount(0, m, 2);
    if (count != 44 && count != 52 && count != 60 && count != 76) return false;
    Cells cells;
    if (!ToCells(m, 2, n, cells) || cells.count < 12) return false;
    std::uint32_t head = 0, data = 0;
    // Start bit (1) and three mode bits, then the trailer bit of double length.
    if (!ReadBiPhase(cells, 0, 4, true, head) || (head & 0x8) == 0) return false;
    const bool t0 = cells.mark[8], t1 = cells.mark[10];
    if (t0 != cells.mark[9] || t1 != cells.mark[11] || t0 == t1) return false;
    const int dataBits = (cells.count - 12) / 2;
    if (!ReadBiPhase(cells, 12, dataBits, true, data)) return false;
    const std::uint32_t mode = head & 0x7;
    if (mode == 0 && dataBits == 16) {
        c.frame = {IrProtocol::Rc6_0, data, t0};
        return true;
    }
    if (mode != 6) return false;
    c.form = t0 ? IrForm::Rc6Trailer : IrForm::Frame;
    switch (dataBits) {
    case 20:
        c.frame = {IrProtocol::Rc6_6a20, data, false};
        return true;
    case 24:
        c.frame = {IrProtocol::Rc6_6a24, data, false};
        return true;
    case 32:
        if ((data & 0xFFFF0000u) == 0x800F0000u)
            c.frame = {IrProtocol::Rc6Mce, data & ~0x8000u, (data & 0x8000u) != 0};
        else
            c.frame = {IrProtocol::Rc6_6a32, data, false};
        return true;
    default:
        return false;
    }
}

// Bits read most significant first, as LongBits reads them.
std::uint32_t LongBitsMsb(const Signal& s, const Scale& scale, int first, int count, double ticks) {
    const std::uint32_t lsb = LongBits(s, scale, first, count, ticks);
    std::uint32_t bits = 0;
    for (int i = 0; i < count; ++i) bits |= (lsb >> i & 1) << (count - 1 - i);
    return bits;
}

// Frames of NEC's bits with headers other than NEC's 32-bit frame's:
// Kaseikyo, NEC-48, NEC42, Samsung36 and NEC-16.  Their check bits are
// left to the encoding: a frame whose parity or inverted bytes are not
// what its scancode gives does not fit.
bool LongFrames(const Signal& s, const Scale& scale, Candidate& c) {
    if (s.n != 99 && s.n != 87 && s.n != 77 && s.n != 37) return false;
    const double head[2] = {Ticks(s, scale, 0), Ticks(s, scale, 1)};
    const bool nec = Near(head[0], 16) && Near(head[1], 8);
    switch (s.n) {
    case 99: {
        const std::uint32_t low = LongBits(s, scale, 3, 32, 2.0), high = LongBits(s, scale, 67, 16, 2.0);
        if (nec) {
            c.frame = {IrProtocol::Nec48, (low & 0xFF) << 24 | (low >> 8 & 0xFF) << 16 | (low >> 16 & 0xFF) << 8 |
                                              (high & 0xFF), false};
            return true;
        }
        if (!Near(head[0], 8) || !Near(head[1], 4)) return false;
        static constexpr std::pair<std::uint32_t, IrProtocol> kVendors[] = {
            {0x2002, IrProtocol::Panasonic}, {0x3254, IrProtocol::DenonK},
            {0x0103, IrProtocol::Jvc48},     {0x5AAA, IrProtocol::SharpK}};
        for (const auto& [vendor, protocol] : kVendors) {
            if ((low & 0xFFFF) != vendor) continue;
            std::uint32_t scancode = (low >> 20 & 0xF) << 16 | (low >> 24) << 8 | (high & 0xFF);
            if (protocol == IrProtocol::SharpK) scancode |= (high >> 8 & 0xF) << 20;
            c.frame = {protocol, scancode, false};
            return true;
        }
        return false;
    }
    case 87:  // NEC42: 13 address bits, their inverse, the command and its inverse
        if (!nec) return false;
        c.frame = {IrProtocol::Sanyo, LongBits(s, scale, 3, 13, 2.0) << 8 | LongBits(s, scale, 55, 8, 2.0), false};
        return true;
    case 77: {  // Samsung36: 16 bits, a separator, 4 bits, the command and its inverse
        if (!Near(head[0], 9) || !Near(head[1], 9)) return false;
        const std::uint32_t tail = LongBits(s, scale, 37, 12, 2.0);
        c.frame = {IrProtocol::Samsung36, LongBits(s, scale, 3, 16, 2.0) << 16 | (tail & 0xF) << 8 | tail >> 4, false};
        return true;
    }
    case 37:  // NEC-16: two halves of 8 bits, 8 units apart
        if (!nec) return false;
        c.frame = {IrProtocol::Nec16, LongBits(s, scale, 3, 8, 2.0) | LongBits(s, scale, 21, 8, 2.0) << 8, false};
        return true;
    default:
        return false;
    }
}

// GI Cable: marks of 2 ticks, spaces of 9 or 18.
bool GiCable(const Signal& s, Candidate& c) {
    const Scale scale = ScaleFor(s, 2, 9);
    if (s.n != 35 || !(scale.unit > 0) || !Near(Ticks(s, scale, 0), 36) || !Near(Ticks(s, scale, 1), 18))
        return false;
    c.frame = {IrProtocol::GiCable, LongBits(s, scale, 3, 12, 13.5), false};
    return true;
}

// RCA: spaces of 2 or 4 units after marks of 1, most significant first.
bool Rca(const Signal& s, Candidate& c) {
    const Scale scale = ScaleFor(s, 1, 2);
    if (s.n != 51 || !(scale.unit > 0) || !Near(Ticks(s, scale, 0), 8) || !Near(Ticks(s, scale, 1), 8))
        return false;
    c.frame = {IrProtocol::Rca, LongBitsMsb(s, scale, 3, 12, 3.0), false};
    return true;
}

// Two bits a symbol as a mark and one of four spaces, after a header of a
// mark and a space: RC-MM's and Xiaomi's.  Their short durations are few
// receiver units long and lose much to rounding, so the symbols are read
// from whole periods (a mark and its space: base to base + 3 steps ticks,
// whatever the bias), with the unit taken again from all periods as read.
// The header gives a first unit; rounding its two durations can miss by
// 8 %, so a few units near it are tried in turn.  A reading with a period
// too far off its symbol may be another one misread, and is refused.
struct PeriodCode {
    int headerTicks, baseTicks, stepTicks;
    double margin;  // how far from its symbol, in steps, a period may lie
};
// The two symbols read with the least certainty, each with the neighbour
// it lies towards: where a check over the bits finds a misread, those are
// the symbols jitter most likely moved.
struct Doubt {
    double off = -1;
    int shift = 0;  // of the symbol's two bits
    std::uint32_t other = 0;
};
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

// From each first unit, two passes take the unit again as the burst's
// length over the ticks they read, and a third reads the symbols.  What
// follows a pass depends on its ticks alone: a start whose pass reads the
// ticks the same pass of an earlier start read ends as that one did, and
// is left.  This runs on every burst of a symbol count these protocols have.
bool ReadPeriods(const Signal& s, const PeriodCode& code, int symbols, std::uint32_t& bits,
                 Doubt* doubts = nullptr) {
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

// RC-MM: marks of 6 ticks, each symbol's space 10, 16, 22 or 28 ticks, a
// header of 25; a period may lie a third of a step off.
bool Rcmm(const Signal& s, Candidate& c) {
    const int symbols = (s.n - 3) / 2;
    const IrProtocol protocol = symbols == 6    ? IrProtocol::Rcmm12
                                : symbols == 12 ? IrProtocol::Rcmm24
                                : symbols == 16 ? IrProtocol::Rcmm32
                                                : IrProtocol::None;
    std::uint32_t bits = 0;
    if (protocol == IrProtocol::None || !ReadPeriods(s, {25, 16, 6, 1.0 / 3}, symbols, bits)) return false;
    c.frame = {protocol, bits, false};
    return true;
}

// Xiaomi: marks of 4 ticks, spaces of 4, 6, 8 or 10, a header of 11; ten
// symbols: an 8-bit device, an 8-bit command and a check nibble, the
// exclusive or of the four nibbles before it (so in every captured frame).
// Its periods reach 14 ticks, so 5 % jitter alone moves one by a third of a
// step, and rounding by more: a reading the check refuses is read again
// with its one or two least certain symbols moved to the neighbour they lie
// towards, where a misread symbol lies.
bool XiaomiChecks(std::uint32_t bits) {
    return ((bits >> 16 ^ bits >> 12 ^ bits >> 8 ^ bits >> 4 ^ bits) & 0xF) == 0;
}
bool Xiaomi(const Signal& s, Candidate& c) {
    std::uint32_t bits = 0;
    Doubt doubts[2];
    if (s.n != 23 || !ReadPeriods(s, {11, 8, 2, 0.5}, 10, bits, doubts)) return false;
    // Only a symbol a quarter of a step off or more is in doubt.
    const auto moved = [&](std::uint32_t b, const Doubt& d) {
        return d.off < 0.25 ? b : (b & ~(3u << d.shift)) | d.other << d.shift;
    };
    const std::uint32_t tries[] = {bits, moved(bits, doubts[0]), moved(bits, doubts[1]),
                                   moved(moved(bits, doubts[0]), doubts[1])};
    for (const std::uint32_t t : tries) {
        if (XiaomiChecks(t)) {
            c.frame = {IrProtocol::Xiaomi, t, false};
            return true;
        }
    }
    return false;
}

// Half an XMP frame: 8 nibbles, each a mark of 6 ticks and a space of 22
// ticks and 4 a step.  Without a header the unit comes from the periods
// (a mark and its space, 28 to 88 ticks, whatever the bias): the shortest
// is taken for nibble 0 to 3 in turn and the unit taken again from all
// periods as read.  A step is 136 us, under three receiver units, so a
// period may lie half a step off; the nibbles must sum to 0 (mod 16).
bool XmpHalf(const Signal& s, Candidate& c) {
    if (s.n != 17) return false;
    int shortest = 512;
    for (int i = 0; i < 8; ++i) shortest = std::min(shortest, s.d[2 * i] + s.d[2 * i + 1]);
    // As in ReadPeriods, a guess whose first pass reads the ticks of an
    // earlier one's reads the nibbles that one read.
    int firstTicks[4];
    for (int guess = 0; guess < 4; ++guess) {
        double unit = shortest / (28.0 + 4 * guess);
        std::uint32_t nibbles = 0;
        bool again = false;
        for (int pass = 0; pass < 2 && !again; ++pass) {
            nibbles = 0;
            int ticks = 0, total = 0;
            for (int i = 0; i < 8; ++i) {
                const int period = s.d[2 * i] + s.d[2 * i + 1];
                const double step = (period / unit - 28) / 4;
                const int n = step < 0 ? 0 : step > 15 ? 15 : static_cast<int>(step + 0.5);
                nibbles = nibbles << 4 | static_cast<std::uint32_t>(n);
                ticks += 28 + 4 * n;
                total += period;
            }
            if (pass == 0) {
                again = std::find(firstTicks, firstTicks + guess, ticks) != firstTicks + guess;
                firstTicks[guess] = ticks;
            }
            unit = static_cast<double>(total) / ticks;
        }
        if (again) continue;
        std::uint32_t sum = 0;
        for (int i = 0; i < 8; ++i) sum += nibbles >> (4 * i) & 0xF;
        if (sum % 16 == 0) {
            c.frame = {IrProtocol::XmpHalf, (nibbles & 0xF0000000u) >> 4 | (nibbles & 0xFFFFFF), false};
            return true;
        }
    }
    return false;
}

// What a held key sends between its frames instead of the frame, in
// units: NEC's repeat frame, Samsung's and Dyson's.
struct RepeatShape {
    int n;
    std::uint8_t units[5];
};
constexpr RepeatShape kRepeatShapes[] = {{3, {16, 4, 1}}, {3, {8, 8, 1}}, {5, {3, 1, 1, 2, 1}}};

// The unit and bias from the first and last marks, then every duration
// within its tolerance (DurationTolerance) of its shape.
bool FitsRepeat(const Signal& s, const RepeatShape& shape) {
    const int last = s.n - 1;
    const double unit = (s.d[0] - s.d[last]) / static_cast<double>(shape.units[0] - shape.units[last]);
    const double bias = s.d[last] - shape.units[last] * unit;
    if (!(unit > 0) || !BiasFits(bias, 1, unit)) return false;
    for (int i = 0; i < s.n; ++i) {
        const double nominal = shape.units[i] * unit;
        const double tolerance = DurationTolerance(shape.units[i], 1, unit);
        if (std::fabs(s.d[i] - (nominal + ((i & 1) ? -bias : bias))) > tolerance) return false;
    }
    return true;
}

}  // namespace

bool RecognizeBurst(const std::uint8_t* burst, int length, IrFrame& out, IrDurations* idealForm) {
    if (burst == nullptr || length < 0 || length > MaxBurstLength) return false;
    const int first = SignalStart(length);
    Signal s;
    s.d = burst + first;
    s.n = length - first;
    // The shortest frames known here are RC-5's, of at least 14 durations.
    if (s.n < 13 || !FindShorts(s)) return false;

    Candidate c;
    // Sharp's and Denon's marks are 8 ticks and their short spaces 17; the
    // protocols read with the next scale have short marks and spaces of one.
    if (s.n == 31 && Sharp(s, ScaleFor(s, 8, 17), c) && Accept(s, c, out, idealForm)) return true;
    const Scale scale = ScaleFor(s, 1, 1);
    if (!(scale.unit > 0)) return false;
    c = Candidate{};
    if (NecFamily(s, scale, c) && Accept(s, c, out, idealForm)) return true;
    c = Candidate{};
    if (Sony(s, scale, c) && Accept(s, c, out, idealForm)) return true;
    // The bi-phase protocols read every duration in whole ticks: RC-6 has
    // its header, and RC-5's 14 or 22 bits are at most 43 durations of 1 or
    // 2 ticks but for one space, its gap (any other mark or space of 3 ticks
    // or more would leave a bit of two equal halves in its cells).  Ticks
    // grow with the duration: the longest mark and the second longest space
    // tell, without the reading of every duration.
    const auto rc5Lengths = [&] {
        int longestSpace = 0, secondSpace = 0;
        for (int i = 1; i < s.n; i += 2) {
            secondSpace = std::max(secondSpace, std::min<int>(longestSpace, s.d[i]));
            longestSpace = std::max<int>(longestSpace, s.d[i]);
        }
        return MeasuredTicks(s.longestMark, 0, scale) + 0.5 < 3 && MeasuredTicks(secondSpace, 1, scale) + 0.5 < 3;
    };
    Measured m;
    if ((Rc6Header(MeasuredTicks(s, scale, 0), MeasuredTicks(s, scale, 1)) || (s.n <= 43 && rc5Lengths())) &&
        Measure(s, scale, m)) {
        c = Candidate{};
        if (Rc6(m, s.n, c) && Accept(s, c, out, idealForm)) return true;
        c = Candidate{};
        if (Rc5(m, s.n, c) && Accept(s, c, out, idealForm)) return true;
    }
    // The others read their own scale.
    c = Candidate{};
    if (LongFrames(s, scale, c) && Accept(s, c, out, idealForm)) return true;
    c = Candidate{};
    if (GiCable(s, c) && Accept(s, c, out, idealForm)) return true;
    c = Candidate{};
    if (Rca(s, c) && Accept(s, c, out, idealForm)) return true;
    c = Candidate{};
    if (Rcmm(s, c) && Accept(s, c, out, idealForm)) return true;
    c = Candidate{};
    if (Xiaomi(s, c) && Accept(s, c, out, idealForm)) return true;
    c = Candidate{};
    return XmpHalf(s, c) && Accept(s, c, out, idealForm);
}

bool RecognizeRepeatFrame(const std::uint8_t* burst, int length) {
    if (burst == nullptr || length < 0 || length > MaxBurstLength) return false;
    const int first = SignalStart(length);
    Signal s;
    s.d = burst + first;
    s.n = length - first;
    for (const RepeatShape& shape : kRepeatShapes)
        if (shape.n == s.n && FitsRepeat(s, shape)) return true;
    return false;
}

}  // namespace orbisk
