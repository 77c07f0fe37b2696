#include "receiver/analysis/ir_recognizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "receiver/analysis/duration_groups.h"
#include "receiver/analysis/protocols/protocol_kit.h"
#include "receiver/analysis/tolerance.h"

namespace orbisk {
namespace {

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

// Fits the burst to the frame's durations T by least squares,
// d = T * unit +- bias (+ for marks), and accepts it when the bias is
// plausible and every duration lies within its tolerance of the fit
// (FitTolerance), within half a step where the symbols are stepTicks apart
// (0: none).  Only durations under four units take part in the fit: jitter grows with
// the duration, and a header a tenth short must not drag the unit of every
// bit with it.  The sums are integers, without branches.
bool Fits(const Signal& s, const IrDurations& frame, int unitTicks, double tickMicros, int stepTicks) {
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
    const double moved = kEdgeMicros / tickMicros * unit;
    const double halfStep = stepTicks * unit / 2;
    const double signedBias[2] = {bias, -bias};
    for (int kind = 0; kind < 2; ++kind) {
        for (int ticks = 0; ticks <= longest[kind]; ++ticks) {
            const int low = std::min(least[kind][ticks], least[kind + 2][ticks]);
            const int high = std::max(most[kind][ticks], most[kind + 2][ticks]);
            if (high == 0) continue;  // no such duration: a burst's are 1 or more
            const double tolerance = FitTolerance(DurationTolerance(ticks, unitTicks, unit), halfStep, moved);
            const double expected = ticks * unit + signedBias[kind];
            if (std::fabs(low - expected) > tolerance || std::fabs(high - expected) > tolerance) return false;
            // A unit and bias can sit between two lengths of the burst and take
            // both for one of the protocol's: the group must be one length of
            // the burst too.
            if (!OneLength(low - signedBias[kind], high - signedBias[kind], moved)) return false;
        }
    }
    return true;
}

// Where the candidate's encoding is its ideal form (toggle clear, the
// frame itself), it is kept in ideal; otherwise ideal is left with no
// durations.
bool Accept(const Signal& s, const Candidate& c, IrFrame& out, IrDurations* ideal) {
    IrDurations encoded;
    const IrProtocolInfo& info = ProtocolInfo(c.frame.protocol);
    if (!EncodeIrFrame(c.frame, encoded, c.form) || !Fits(s, encoded, info.unitTicks, info.tickMicros, c.stepTicks))
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
    BurstView view;
    Signal& s = view.s;
    s.d = burst + first;
    s.n = length - first;
    // The shortest frames known here are RC-5's, of at least 14 durations.
    if (s.n < 13 || !FindShorts(s)) return false;
    view.scale = ScaleFor(s, 1, 1);
    if (!(view.scale.unit > 0)) return false;
    for (const IrProtocolFamily* family : ReadingOrder()) {
        Candidate c;
        if (family->read(view, c) && Accept(s, c, out, idealForm)) return true;
    }
    return false;
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
