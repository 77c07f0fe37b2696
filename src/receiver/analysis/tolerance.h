#pragma once
// When durations a receiver reports count as the lengths a remote meant:
// the rules the recogniser, its repeat frames and the level reading share.
//
// A receiver rounds every duration to its own unit, jitters it by a few
// percent and lengthens every mark and shortens every space by a constant
// bias; only ratios count.  Durations here are in receiver units or in a
// protocol's ticks, as each rule says.
#include <algorithm>
#include <cmath>

namespace orbisk {

// A burst starts and ends with a mark, so it has an odd number of
// durations: an even one carries one byte before its first mark, which is
// left out.  The index of the first mark.
constexpr int SignalStart(int length) { return length % 2 == 0 ? 1 : 0; }

// The bias a frame may carry, in protocol units.  Real remotes' short
// marks come out up to a unit short or long: a tighter limit took such a
// frame for its protocol at some presses only, and every press must give
// one code.
inline constexpr double kMostBias = 1.0;

// Whether a bias fits a fit of `unit` receiver units a tick, where the
// protocol's unit (or, if shorter, its shortest mark) is `limitTicks`.
inline bool BiasFits(double bias, double limitTicks, double unit) {
    return !(std::fabs(bias) > kMostBias * limitTicks * unit);
}

// How far a duration of `ticks` may lie from where the fit puts it: half a
// protocol unit (unitTicks ticks), and a fifth of its length from three
// units on, as jitter grows with the duration.
inline double DurationTolerance(int ticks, int unitTicks, double unit) {
    return ticks < 3 * unitTicks ? unitTicks * unit / 2 : ticks * (unit * 0.2);
}

// A demodulating receiver moves each edge by a carrier cycle or two
// whatever the duration: up to this much either way.  Short marks feel it
// most (Sharp's 320 us come out 250 to 450 us).
inline constexpr double kEdgeMicros = 60.0;

// A duration's tolerance in a fit: its own (DurationTolerance), at most
// half a step where symbols are read from periods a step apart (halfStep,
// 0: none), and never less than the receiver's edge error (`moved`, in its
// units as the fit gives them) and rounding.
inline double FitTolerance(double own, double halfStep, double moved) {
    return std::max(halfStep > 0 ? std::min(own, halfStep) : own, moved + 0.5);
}

// A header's duration, read in ticks before any fit: within a quarter of
// its nominal length.
inline bool Near(double ticks, double nominal) { return std::fabs(ticks - nominal) <= nominal / 4; }

// Whether values from low to high, less one unit of rounding, spread over
// at most `share` of their mean: they can be one length.  Length groups
// keep to it, and neighbouring values further apart are two lengths.
inline bool SpreadWithin(double low, double high, double share) {
    return high - low - 1 <= share / 2 * (high + low);
}

// Whether lengths of mean a and b (a the shorter) lie further apart than
// `apart` of their mean, less what rounding can move two means.
inline constexpr double MeansRounding = 1.0;
constexpr bool MeansApart(double a, double b, double apart) {
    return 2 * (b - a - MeansRounding) > apart * (a + b);
}

// One length of a recognised frame: its durations, the bias taken out,
// spread over two fifths of their mean at most; or, where the receiver may
// move each by up to `moved` whatever its length, over a fifth of it once
// that is taken out.
inline bool OneLength(double low, double high, double moved = 0) {
    return SpreadWithin(low, high, 0.4) || SpreadWithin(low + moved, high - moved, 0.2);
}

// The level reading's unit fit: a duration of k units (t measured) may lie
// 0.3 + 0.05 (k - 1) of a unit off, as jitter grows with the length.
inline bool NearUnits(double t, int k) { return !(std::fabs(t - k) > 0.3 + 0.05 * (k - 1)); }

}  // namespace orbisk
