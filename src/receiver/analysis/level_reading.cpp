#include "receiver/analysis/level_reading.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "receiver/analysis/duration_groups.h"

namespace orbisk {
namespace {

constexpr int kFewestDurations = 9;
// A burst this short has few ranks to tell it by: noise read as one length
// of marks and two of spaces often ranks as a remote's frame does.  Its code
// also tells whether the shortest mark is far shorter than the shortest
// space, far longer, or neither: remotes keep clear of the two edges (set by
// the captures, the bias of the receiver taken in), noise crosses them.
constexpr int kFewRanksBelow = 11;

// The first grouping cuts finely: it only has to find lengths with many
// durations, whose spread shows how far this burst's durations wander.
constexpr double kFineGap = 0.1;
constexpr double kNoSpreadLimit = 100.0;
// A length with this many durations, this long in receiver units, shows the
// wander; rounding hides the wander of shorter ones.
constexpr int kFewestToMeasure = 6;
constexpr int kShortestToMeasure = 12;
// The gap allowed within one length: the wander measured (two durations of
// a length with few durations may lie as far apart as the whole spread of a
// length with many), a fifth where nothing could be measured, and never
// under 12 %: a careless remote's own lengths wander that far (the wider
// cuts between them are joined again by their means, below).
constexpr double kGapPerWander = 1.0;
constexpr double kUnmeasuredGap = 0.2;
constexpr double kLeastGap = 0.12;
// Groups whose means lie within this share of their mean are one length:
// single-linkage cuts a length's few far durations (a header beside the
// data's spaces, a duration jitter moved far) from it at some presses and
// not at others; lengths a remote keeps apart lie further.
constexpr double kOneLengthMeans = 0.18;
// The widest one length may spread: a chain of durations wider than this is
// two lengths (a header space a fifth longer than the data's, steps of a
// pulse position), told apart at the widest gap rather than given up on.
// 10 % jitter spreads one length over a fifth of its mean; a wider limit
// let a chain of close lengths (700 and 780 us) swallow one a third shorter
// (480 us), and two keys that differ in it got one code.
constexpr double kWidestLength = 0.3;

// How far this burst's durations of one length wander, as a share of
// their mean: the least, over the lengths with enough durations to show it
// (a length that is really two would only be wider), of the whole spread of
// an even jitter with their deviation, rounding taken out.  The deviation
// of every duration, not the distance of the outermost: a few durations
// far out or a sparse middle moved that from press to press.  `least` when
// no length of this kind shows it.
double Wander(const LengthValues& values, const LengthGroups& g, double least) {
    for (int i = 0; i < g.count; ++i) {
        if (g.members[i] < kFewestToMeasure || g.sum[i] < kShortestToMeasure * g.members[i]) continue;
        // An even jitter of +-w has a mean square of w * w / 3; rounding adds 1/12.
        const double square = MeanSquareDeviation(values, g, i) - 1.0 / 12;
        const double wander = square > 0 ? 2 * std::sqrt(3 * square) * g.members[i] / g.sum[i] : 0.0;
        if (least < 0 || wander < least) least = wander;
    }
    return least;
}

bool Regroup(const LengthValues& values, LengthGroups& g, std::uint8_t* groupOf, double wander) {
    double gap = wander < 0 ? kUnmeasuredGap : kGapPerWander * wander;
    gap = gap < kLeastGap ? kLeastGap : gap > DefaultLengthGap ? DefaultLengthGap : gap;
    if (!GroupLengths(values, g, groupOf, gap, kNoSpreadLimit)) return false;
    MergeClose(values, g, groupOf, kOneLengthMeans);
    return SplitWide(values, g, groupOf, kWidestLength, kOneLengthMeans);
}

// Lengths of more than kMostUnits units, the unit known: cut finely and
// joined again by their means, as Regroup does, except that two lengths
// kUnitsApart units apart or more, under kUnitsKept units, stay apart: 5 %
// jitter moves such a length by 0.6 of a unit at most, so their means lie
// that far apart only where the remote meant two lengths (Zenith's spaces
// of 8 and 10 units, which the ratio alone joins at some presses).
constexpr double kUnitsApart = 1.5, kUnitsKept = 12;
bool RegroupLong(const LengthValues& values, LengthGroups& g, std::uint8_t* groupOf, double unit) {
    if (!GroupLengths(values, g, groupOf, kFineGap, kNoSpreadLimit)) return false;
    MergeClose(values, g, groupOf, kOneLengthMeans, kUnitsApart * unit, kUnitsKept * unit);
    return SplitWide(values, g, groupOf, kWidestLength, kOneLengthMeans);
}

// The first length of a kind with two durations or more: its mean.
double ShortestCommon(const LengthGroups& g) {
    for (int i = 0; i < g.count; ++i)
        if (g.members[i] >= 2) return static_cast<double>(g.sum[i]) / g.members[i];
    return g.count > 0 ? static_cast<double>(g.sum[0]) / g.members[0] : 0;
}

// Most remotes build their lengths from one unit.  Where every duration up
// to three units lies near a whole number of a unit and a bias (marks
// longer, spaces shorter by it), those are the lengths 1, 2 and 3 units,
// and the longer durations are grouped by ratio among themselves: the unit
// is measured over all the short durations, so a header or a gap a unit
// longer than the data's longest stays apart at every press, where its one
// duration and the data's few would run together at some.  A duration of k
// units must be near k (NearUnits); the unit must be 6 receiver units or
// more, where rounding does not hide a unit's fraction, and the bias under
// half of it; three fifths of the durations at least must be short.
constexpr int kMostUnits = 3;
constexpr double kLeastUnit = 6, kMostUnitBias = 0.5, kShortShare = 0.6;
// A duration this many units long or more is long, both when fitting the
// unit and when cutting the lengths it gives.
constexpr double kFirstLongUnits = kMostUnits + 0.5;

struct UnitFit {
    double unit = 0, bias = 0;
};

// The least-squares sums over the short values: of k * k, s * k, 1, k * v
// and s * v for a value v of k units, s +1 for a mark and -1 for a space,
// each as often as the value occurs.  Whole numbers, exact.
struct UnitSums {
    int kk = 0, ks = 0, count = 0, kd = 0, sd = 0;
    bool operator==(const UnitSums&) const = default;
};

// Whether every short duration (under kMostUnits and a half) lies near a
// whole number of units, and they are enough; `refined` is the least-squares
// unit and bias over them.  Taken over the values that occur, each as often
// as it does: a burst has far fewer values than durations.  `sums` gives
// refined: the same sums give the same unit and bias.
bool FitsUnits(const LengthValues* values, int n, const UnitFit& fit, UnitFit& refined, UnitSums& sums) {
    if (fit.unit < kLeastUnit || std::fabs(fit.bias) > kMostUnitBias * fit.unit) return false;
    const double perUnit = 1.0 / fit.unit;
    int kk = 0, ks = 0, count = 0, kd = 0, sd = 0;
    const auto fitsKind = [&](const LengthValues& kind, int sign) {
        const double bias = sign * fit.bias;
        // Ascending values: the first long one ends the short ones.
        for (int word = 0; word < 4; ++word)
            for (std::uint64_t bits = kind.present[word]; bits != 0; bits &= bits - 1) {
                const int v = word * 64 + std::countr_zero(bits);
                const double t = (v - bias) * perUnit;
                if (t >= kFirstLongUnits) return true;
                const int k = static_cast<int>(t + 0.5);  // t >= 0 wherever k >= 1
                if (k < 1 || !NearUnits(t, k)) return false;
                const int c = kind.count[v];
                kk += c * k * k;
                ks += c * sign * k;
                count += c;
                kd += c * k * v;
                sd += c * sign * v;
            }
        return true;
    };
    if (!fitsKind(values[0], 1) || !fitsKind(values[1], -1)) return false;
    const double dkk = kk, dks = ks, dcount = count, dkd = kd, dsd = sd;
    const double det = dkk * dcount - dks * dks;
    if (dcount < kShortShare * n || det <= 0) return false;
    refined.unit = (dkd * dcount - dks * dsd) / det;
    refined.bias = (dkk * dsd - dks * dkd) / det;
    sums = {kk, ks, count, kd, sd};
    return true;
}

// The lengths of one kind for a unit: 1 to kMostUnits units, then the
// longer values grouped by ratio.
bool UnitLengths(const LengthValues& values, const UnitFit& fit, double sign, LengthGroups& out,
                 std::uint8_t* groupOf) {
    const double firstLong = kFirstLongUnits * fit.unit + sign * fit.bias;
    LengthValues longOnes;
    for (std::uint64_t& word : longOnes.present) word = 0;
    // Ascending values have ascending unit counts: a length is a run of
    // values, and the first long value ends the short ones.
    LengthRuns runs(out);
    int k = -1;
    bool anyLong = false;
    for (int word = 0; word < 4 && !anyLong; ++word)
        for (std::uint64_t bits = values.present[word]; bits != 0; bits &= bits - 1) {
            const int v = word * 64 + std::countr_zero(bits);
            if (v >= firstLong) {
                longOnes.present[word] = bits;
                for (int w = word + 1; w < 4; ++w) longOnes.present[w] = values.present[w];
                ForEachValue(longOnes, [&](int x) { longOnes.count[x] = values.count[x]; });
                anyLong = true;
                break;
            }
            const int units = std::clamp(static_cast<int>((v - sign * fit.bias) / fit.unit + 0.5), 0, kMostUnits);
            if (units != k) {
                k = units;
                runs.Start(v);  // at most kMostUnits + 1 lengths
            }
            runs.Add(v, values.count[v], groupOf);
        }
    runs.Finish();
    if (!anyLong) return true;
    LengthGroups longGroups;
    std::uint8_t longOf[256];
    if (!RegroupLong(longOnes, longGroups, longOf, fit.unit) || out.count + longGroups.count > MostLengths)
        return false;
    for (int g = 0; g < longGroups.count; ++g) CopyLength(longGroups, g, out, out.count + g);
    ForEachValue(longOnes, [&](int v) { groupOf[v] = static_cast<std::uint8_t>(out.count + longOf[v]); });
    out.count += longGroups.count;
    return true;
}

// The shortest marks and spaces taken as 1 and 1, 1 and 2, ... units in
// turn; the first unit that fits, measured again twice, gives the lengths.
bool ReadUnits(int n, const LengthValues* values, LengthGroups* groups, std::uint8_t (*groupOf)[256]) {
    const double mark = ShortestCommon(groups[0]), space = ShortestCommon(groups[1]);
    constexpr int kTaken[][2] = {{1, 1}, {1, 2}, {2, 1}, {1, 3}, {3, 1}};
    for (const auto& taken : kTaken) {
        UnitFit fit;
        fit.unit = (mark + space) / (taken[0] + taken[1]);
        fit.bias = mark - taken[0] * fit.unit;
        // Refined twice.  Where the first refinement reads every value as the
        // fit before it did, it gave that fit again and fits as it did.
        UnitFit refined;
        UnitSums first, second, third;
        if (!FitsUnits(values, n, fit, refined, first) || !FitsUnits(values, n, refined, fit, second) ||
            (second != first && !FitsUnits(values, n, fit, refined, third)))
            continue;
        LengthGroups found[2];
        if (!UnitLengths(values[0], fit, 1.0, found[0], groupOf[0]) ||
            !UnitLengths(values[1], fit, -1.0, found[1], groupOf[1]))
            return false;
        groups[0] = found[0];
        groups[1] = found[1];
        return true;
    }
    return false;
}

// The spaces between the frames of a burst that repeats its frame wander
// far more than the frame's own lengths (a fan's 7.1, 8.2 and 9.1 ms in one
// burst), so jitter cuts them apart at some presses.  They lie far above
// every length of the frame: above the widest step between neighbouring
// space lengths, where that is kGapStep or more and the length above it
// kGapStep times the longest mark or more (a header's space is shorter than
// its mark, and a bias can stretch the step between a frame's own spaces
// past kGapStep), the lengths within kOneGap of the first are one, the gap.
// Gaps are few: lengths that hold over a kFewGaps-th of the spaces are the
// frame's own.
constexpr double kGapStep = 4.0, kOneGap = 1.4;
constexpr int kFewGaps = 4;
void JoinGaps(const LengthValues& values, LengthGroups& g, std::uint8_t* groupOf, const LengthGroups& marks) {
    // Means compared as sums times the other's members: no division.
    const auto ratio = [&g](int high, int low) {
        return static_cast<double>(g.sum[high]) * g.members[low] / (static_cast<double>(g.sum[low]) * g.members[high]);
    };
    int gap = -1;
    double widest = kGapStep;
    for (int i = 1; i < g.count; ++i) {
        if (ratio(i, i - 1) >= widest) {
            widest = ratio(i, i - 1);
            gap = i;
        }
    }
    const int top = marks.count - 1;
    if (gap < 0 || static_cast<double>(g.sum[gap]) * marks.members[top] < kGapStep * marks.sum[top] * g.members[gap])
        return;
    int last = gap;
    while (last + 1 < g.count && ratio(last + 1, gap) < kOneGap) ++last;
    int joined = 0, all = 0;
    for (int i = 0; i < g.count; ++i) {
        all += g.members[i];
        joined += i >= gap && i <= last ? g.members[i] : 0;
    }
    if (last == gap || kFewGaps * joined > all) return;
    JoinLengths(g, gap, last);
    AssignGroups(values, g, groupOf);
}

// The most and the second most common lengths of a kind.
struct Commonest {
    int first = 0, second = -1;
};
Commonest FindCommonest(const LengthGroups& g) {
    Commonest c;
    for (int i = 1; i < g.count; ++i)
        if (g.members[i] > g.members[c.first]) c.first = i;
    for (int i = 0; i < g.count; ++i)
        if (i != c.first && (c.second < 0 || g.members[i] > g.members[c.second])) c.second = i;
    return c;
}

// Whether all but at most two durations of the kind (a header, a gap) are of
// the given lengths.
bool Covers(const LengthGroups& g, int a, int b) {
    int total = 0;
    for (int i = 0; i < g.count; ++i) total += g.members[i];
    return total - g.members[a] - (b >= 0 ? g.members[b] : 0) <= 2;
}

// Bits from the durations of one kind in the two lengths a (0) and b (1),
// in order of arrival, least significant first.
void ReadBits(const std::uint8_t* d, int n, int first, const std::uint8_t* groupOf, int a, int b,
              IrFrame& frame) {
    std::uint32_t bits = 0;
    int count = 0;
    for (int i = first; i < n; i += 2) {
        const int g = groupOf[d[i]];
        if (g != a && g != b) continue;
        if (count < 32 && g == b) bits |= 1u << count;
        ++count;
    }
    frame.scancode = bits;
    frame.bits = static_cast<std::uint8_t>(count);
}

// Halves of one length (group 0) and of two (group 1) in both kinds, after
// at most a header mark and space: Manchester bits, a mark then a space 1,
// read from the first half or, as when the first half is a space that is
// not seen, from one before it.
bool ReadBiPhase(const std::uint8_t* d, int n, const std::uint8_t (*groupOf)[256], const LengthGroups& marks,
                 const LengthGroups& spaces, IrFrame& frame) {
    if (marks.count < 2 || spaces.count < 2 || marks.count > 3 || spaces.count > 3) return false;
    const auto twice = [](const LengthGroups& g) {
        // The mean of the second length near twice the first's.
        const int a = g.sum[0] * g.members[1], b = g.sum[1] * g.members[0];
        return 3 * a <= 2 * b && 2 * b <= 5 * a;
    };
    if (!twice(marks) || !twice(spaces)) return false;
    const int from = (marks.count == 3 || spaces.count == 3) ? 2 : 0;  // a header of its own lengths
    for (int i = from; i < n; ++i)
        if (groupOf[i & 1][d[i]] > 1) return false;
    // Cells: 0 a space half, 1 a mark half.
    std::uint8_t cells[2 * MaxBurstLength];
    int count = 0;
    for (int i = from; i < n; ++i) {
        const std::uint8_t mark = (i & 1) == 0 ? 1 : 0;
        cells[count++] = mark;
        if (groupOf[i & 1][d[i]] == 1) cells[count++] = mark;
    }
    for (int lead = 0; lead < 2; ++lead) {
        const int total = count + lead;
        std::uint32_t bits = 0;
        int read = 0;
        bool ok = true;
        for (int c = 0; c < total && ok; c += 2) {
            const int a = c - lead, b = c + 1 - lead;
            const int firstHalf = a < 0 ? 0 : cells[a], secondHalf = b >= count ? 0 : cells[b];
            ok = firstHalf != secondHalf;
            if (read < 32 && firstHalf == 1) bits |= 1u << read;
            ++read;
        }
        if (ok) {
            frame.scancode = bits;
            frame.bits = static_cast<std::uint8_t>(read > 127 ? 127 : read);
            return true;
        }
    }
    return false;
}

}  // namespace

bool ReadLevels(const std::uint8_t* burst, int length, LevelReading& out) {
    if (burst == nullptr || length < 0 || length > MaxBurstLength) return false;
    const int first = SignalStart(length);
    const std::uint8_t* d = burst + first;
    const int n = length - first;
    if (n < kFewestDurations) return false;
    // Marks (0) and spaces (1).
    LengthValues values[2];
    CollectLengths(d, n, values);
    // Only the entries of values present are written and read.
    std::uint8_t groupOf[2][256];
    LengthGroups groups[2];
    LengthGroups& marks = groups[0];
    LengthGroups& spaces = groups[1];
    if (!GroupLengths(values[0], marks, groupOf[0], kFineGap, kNoSpreadLimit) ||
        !GroupLengths(values[1], spaces, groupOf[1], kFineGap, kNoSpreadLimit))
        return false;
    if (!ReadUnits(n, values, groups, groupOf)) {
        const double wander = Wander(values[1], spaces, Wander(values[0], marks, -1));
        if (!Regroup(values[0], marks, groupOf[0], wander) || !Regroup(values[1], spaces, groupOf[1], wander))
            return false;
    }
    JoinGaps(values[1], spaces, groupOf[1], marks);

    // The ranks, three bits each, 21 to a word.
    std::uint64_t h = MixBits(0x4C6576656C73ull ^ static_cast<std::uint64_t>(n) << 16 ^
                          static_cast<std::uint64_t>(marks.count) << 8 ^ static_cast<std::uint64_t>(spaces.count));
    for (int i = 0; i < n; i += 21) {
        std::uint64_t word = 0;
        const int end = i + 21 < n ? i + 21 : n;
        for (int k = i; k < end; ++k) word = word << 3 | groupOf[k & 1][d[k]];
        h = MixBits(h ^ word);
    }
    if (n < kFewRanksBelow) {
        // The two means, each times the other's count: under 0.3 or over 2.5 times.
        const int mark = marks.sum[0] * spaces.members[0], space = spaces.sum[0] * marks.members[0];
        h = MixBits(h ^ (10 * mark < 3 * space ? 1u : 2 * mark > 5 * space ? 2u : 3u));
    }
    const auto code = static_cast<KeyCode>(h ^ h >> 32);

    IrFrame frame;
    const Commonest m = FindCommonest(marks), s = FindCommonest(spaces);
    const auto ordered = [](Commonest c) {
        return c.second >= 0 && c.second < c.first ? Commonest{c.second, c.first} : c;
    };
    if (Covers(marks, m.first, -1) && spaces.count >= 2 && Covers(spaces, s.first, s.second)) {
        const Commonest o = ordered(s);
        frame.protocol = IrProtocol::PulseDistance;
        ReadBits(d, n, 1, groupOf[1], o.first, o.second, frame);
    } else if (Covers(spaces, s.first, -1) && marks.count >= 2 && Covers(marks, m.first, m.second)) {
        const Commonest o = ordered(m);
        frame.protocol = IrProtocol::PulseWidth;
        ReadBits(d, n, 0, groupOf[0], o.first, o.second, frame);
    } else if (ReadBiPhase(d, n, groupOf, marks, spaces, frame)) {
        frame.protocol = IrProtocol::BiPhase;
    } else {
        frame.protocol = IrProtocol::Levels;
        frame.scancode = static_cast<std::uint32_t>(n) | static_cast<std::uint32_t>(marks.count) << 8 |
                         static_cast<std::uint32_t>(spaces.count) << 12;
    }
    out.frame = frame;
    out.code = code != 0 ? code : 1;
    return true;
}

}  // namespace orbisk
