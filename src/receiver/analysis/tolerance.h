#pragma once
// When durations a receiver reports count as the lengths a remote meant:
// the rules the recogniser, its repeat frames and the level reading share.
//
// A receiver rounds every duration to its own unit, jitters it by a few
// percent and lengthens every mark and shortens every space by a constant
// bias; only ratios count.  Durations here are in receiver units or in a
// protocol's ticks, as each rule says.
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
// spread over two fifths of their mean at most.
inline bool OneLength(double low, double high) { return SpreadWithin(low, high, 0.4); }

// The level reading's unit fit: a duration of k units (t measured) may lie
// 0.3 + 0.05 (k - 1) of a unit off, as jitter grows with the length.
inline bool NearUnits(double t, int k) { return !(std::fabs(t - k) > 0.3 + 0.05 * (k - 1)); }

}  // namespace orbisk
