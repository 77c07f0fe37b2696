#include "receiver/analysis/ir_recognizer.h"

#include <array>
#include <cmath>

#include "receiver/analysis/duration_groups.h"

namespace orbisk {
namespace {

// A short duration is one below 1.45 times the shortest of its kind:
// above the longest short one and below the shortest long one even when a
// bias of a third of a unit and 10 % jitter squeeze them together.

// The bias the fit accepts, in protocol units: a receiver's constant
// lengthening of marks and shortening of spaces.
constexpr double kMostBias = 0.6;

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
};

// The means of the short marks and of the short spaces: those below
// kShortLimit times the shortest of their kind.  Integers, marks and spaces
// in one pass, without branches: this runs on every burst.
bool FindShorts(Signal& s) {
    int least[2] = {256, 256};
    for (int i = 0; i + 1 < s.n; i += 2) {
        least[0] = s.d[i] < least[0] ? s.d[i] : least[0];
        least[1] = s.d[i + 1] < least[1] ? s.d[i + 1] : least[1];
    }
    least[0] = s.d[s.n - 1] < least[0] ? s.d[s.n - 1] : least[0];  // n is odd: the last is a mark
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
};

bool Measure(const Signal& s, Scale scale, Measured& m) {
    if (!(scale.unit > 0)) return false;
    const double perUnit = 1.0 / scale.unit;
    for (int i = 0; i < s.n; ++i) {
        const double t = (s.d[i] + ((i & 1) ? scale.bias : -scale.bias)) * perUnit;
        if (!(t >= 0.5 && t < 250.0)) return false;
        m.ticks[i] = t;
        m.rounded[i] = static_cast<std::uint8_t>(t + 0.5);
    }
    return true;
}

bool Near(double ticks, double nominal) { return std::fabs(ticks - nominal) <= nominal / 4; }

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
    for (int i = 0; i < s.n; ++i) {
        const int in = t[i] < fitLimit;
        const int sign = 1 - 2 * (i & 1);
        const int ti = in * t[i], di = in * s.d[i];
        sumTT += ti * ti;
        sumTS += ti * sign;
        sumSS += in;
        sumTD += ti * di;
        sumSD += sign * di;
    }
    const double tt = sumTT, ts = sumTS, ss = sumSS, td = sumTD, sd = sumSD;
    const double det = tt * ss - ts * ts;
    if (det <= 1e-9 * tt * ss) return false;
    const double unit = (td * ss - ts * sd) / det;
    const double bias = (tt * sd - ts * td) / det;
    const double protocolUnit = unitTicks * unit;
    if (!(unit > 0) || std::fabs(bias) > kMostBias * protocolUnit) return false;
    const double halfUnit = protocolUnit / 2;
    const double fifthUnit = unit * 0.2;
    const int longTicks = 3 * unitTicks;
    for (int i = 0; i < s.n; ++i) {
        const double tolerance = t[i] < longTicks ? halfUnit : t[i] * fifthUnit;
        if (std::fabs(s.d[i] - (t[i] * unit + ((i & 1) ? -bias : bias))) > tolerance) return false;
    }
    // A unit and bias can sit between two lengths of the burst and take
    // both for one of the protocol's: the durations the protocol gives one
    // length must be one length of the burst too.
    return LengthsHold(s.d, t, s.n, bias);
}

// A candidate read from the burst, accepted when its encoding fits.
struct Candidate {
    IrFrame frame;
    IrForm form = IrForm::Frame;
};

bool Accept(const Signal& s, const Candidate& c, IrFrame& out) {
    IrDurations encoded;
    if (!EncodeIrFrame(c.frame, encoded, c.form) ||
        !Fits(s, encoded, ProtocolInfo(c.frame.protocol).unitTicks))
        return false;
    out = c.frame;
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
    // Spaces of 17 or 42 ticks; the expansion and check bits are 1, 0 in
    // the frame and 0, 1 in its echo, whose command is inverted.
    const std::uint32_t bits = LongBits(s, scale, 1, 15, 29.5);
    const std::uint32_t address = bits & 0x1F;
    std::uint32_t command = bits >> 5 & 0xFF;
    const std::uint32_t check = bits >> 13;
    if (check == 2) {
        command ^= 0xFF;
        c.form = IrForm::FollowUp;
    } else if (check != 1) {
        return false;
    }
    c.frame = {IrProtocol::Sharp, address << 8 | command, false};
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
        for (int k = 0; k < ticks; ++k) {
            if (cells.count == kMostCells) return false;
            cells.mark[cells.count++] = (i & 1) == 0;
        }
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

bool Rc5(const Measured& m, int n, Candidate& c) {
    // RC-5X's gap of 4 to 6 units is the one long duration; rounding it can
    // miss by a unit under jitter, so each of its lengths is tried and the
    // fit decides.
    int gap = -1;
    for (int i = 1; i < n; i += 2)
        if (m.rounded[i] >= 3 && (gap < 0 || m.rounded[i] > m.rounded[gap])) gap = i;
    for (int gapTicks = gap < 0 ? 0 : 4; gapTicks <= (gap < 0 ? 0 : 6); ++gapTicks) {
        Cells cells;
        cells.mark[cells.count++] = false;  // the start bit's first half
        if (ToCells(m, 0, n, cells, gap, gapTicks) && Rc5Cells(cells, c)) return true;
    }
    return false;
}

bool Rc6(const Measured& m, int n, Candidate& c) {
    if (n < 3 || !Near(m.ticks[0], 6) || std::fabs(m.ticks[1] - 2) > 0.6) return false;
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

}  // namespace

bool RecognizeBurst(const std::uint8_t* burst, int length, IrFrame& out) {
    if (burst == nullptr || length < 0 || length > MaxBurstLength) return false;
    const int first = (length % 2 == 0) ? 1 : 0;
    Signal s;
    s.d = burst + first;
    s.n = length - first;
    // The shortest frames known here are RC-5's, of at least 14 durations.
    if (s.n < 13 || !FindShorts(s)) return false;

    Candidate c;
    // Sharp's marks are 8 ticks and its short spaces 17; every other
    // protocol's short marks and spaces are one tick.
    if (s.n == 31 && Sharp(s, ScaleFor(s, 8, 17), c) && Accept(s, c, out)) return true;
    const Scale scale = ScaleFor(s, 1, 1);
    if (!(scale.unit > 0)) return false;
    c = Candidate{};
    if (NecFamily(s, scale, c) && Accept(s, c, out)) return true;
    c = Candidate{};
    if (Sony(s, scale, c) && Accept(s, c, out)) return true;
    // The bi-phase protocols read every duration in whole ticks.
    Measured m;
    if (!Measure(s, scale, m)) return false;
    c = Candidate{};
    if (Rc6(m, s.n, c) && Accept(s, c, out)) return true;
    c = Candidate{};
    return Rc5(m, s.n, c) && Accept(s, c, out);
}

}  // namespace orbisk
