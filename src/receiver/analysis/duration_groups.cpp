#include "receiver/analysis/duration_groups.h"

#include <bit>

namespace orbisk {

void CollectLengths(const std::uint8_t* d, int n, LengthValues* out) {
    // Both kinds in one walk, a mark and a space at a time; only the counts
    // of values that occur are cleared, cheaper than clearing them all.
    LengthValues& marks = out[0];
    LengthValues& spaces = out[1];
    for (int w = 0; w < 4; ++w) marks.present[w] = spaces.present[w] = 0;
    int i = 0;
    for (; i + 1 < n; i += 2) {
        marks.count[d[i]] = 0;
        spaces.count[d[i + 1]] = 0;
    }
    if (i < n) marks.count[d[i]] = 0;
    for (i = 0; i + 1 < n; i += 2) {
        marks.present[d[i] >> 6] |= std::uint64_t{1} << (d[i] & 63);
        ++marks.count[d[i]];
        spaces.present[d[i + 1] >> 6] |= std::uint64_t{1} << (d[i + 1] & 63);
        ++spaces.count[d[i + 1]];
    }
    if (i < n) {
        marks.present[d[i] >> 6] |= std::uint64_t{1} << (d[i] & 63);
        ++marks.count[d[i]];
    }
}

void AssignGroups(const LengthValues& values, const LengthGroups& g, std::uint8_t* groupOf) {
    int group = 0;
    ForEachValue(values, [&](int v) {
        while (group + 1 < g.count && v >= g.low[group + 1]) ++group;
        groupOf[v] = static_cast<std::uint8_t>(group);
    });
}

bool GroupLengths(const LengthValues& values, LengthGroups& out, std::uint8_t* groupOf, double gap,
                  double spread) {
    LengthRuns runs(out);
    for (int word = 0; word < 4; ++word)
        for (std::uint64_t bits = values.present[word]; bits != 0; bits &= bits - 1) {
            const int v = word * 64 + std::countr_zero(bits);
            const int previous = runs.Last();
            if ((previous < 0 || !SpreadWithin(previous, v, gap)) && !runs.Start(v)) return false;
            runs.Add(v, values.count[v], groupOf);
        }
    if (out.count == 0) return false;
    runs.Finish();
    for (int g = 0; g < out.count; ++g)
        if (!SpreadWithin(out.low[g], out.high[g], spread)) return false;
    return true;
}

void JoinLengths(LengthGroups& g, int first, int last) {
    for (int i = first + 1; i <= last; ++i) {
        g.members[first] = static_cast<std::uint8_t>(g.members[first] + g.members[i]);
        g.sum[first] = static_cast<std::uint16_t>(g.sum[first] + g.sum[i]);
    }
    g.high[first] = g.high[last];
    const int removed = last - first;
    for (int i = last + 1; i < g.count; ++i) CopyLength(g, i, g, i - removed);
    g.count -= removed;
}

bool SplitWide(const LengthValues& values, LengthGroups& g, std::uint8_t* groupOf, double spread,
               double apart) {
    bool split = false;
    for (int i = 0; i < g.count;) {
        if (g.high[i] == g.low[i]) {
            ++i;
            continue;
        }
        // The widest gap, as a share of its ends, is where two lengths meet.
        int previous = -1, cut = -1;
        double widest = -1;
        ForEachValueIn(values, g.low[i], g.high[i], [&](int v) {
            if (previous >= 0 && static_cast<double>(v - previous) / (v + previous) > widest) {
                widest = static_cast<double>(v - previous) / (v + previous);
                cut = v;
            }
            previous = v;
        });
        // The durations from the cut on, and the last value below it.
        int members = 0, sum = 0, below = 0;
        ForEachValueIn(values, g.low[i], g.high[i], [&](int v) {
            if (v < cut) {
                below = v;
                return;
            }
            members += values.count[v];
            sum += v * values.count[v];
        });
        const bool wide = !SpreadWithin(g.low[i], g.high[i], spread);
        const double lowMean = static_cast<double>(g.sum[i] - sum) / (g.members[i] - members);
        if (!wide && !MeansApart(lowMean, static_cast<double>(sum) / members, apart)) {
            ++i;
            continue;
        }
        if (g.count == MostLengths) return false;
        split = true;
        for (int k = g.count; k > i + 1; --k) CopyLength(g, k - 1, g, k);
        ++g.count;
        g.low[i + 1] = static_cast<std::uint8_t>(cut);
        g.high[i + 1] = g.high[i];
        g.high[i] = static_cast<std::uint8_t>(below);
        g.members[i + 1] = static_cast<std::uint8_t>(members);
        g.sum[i + 1] = static_cast<std::uint16_t>(sum);
        g.members[i] = static_cast<std::uint8_t>(g.members[i] - members);
        g.sum[i] = static_cast<std::uint16_t>(g.sum[i] - sum);
    }
    if (split) AssignGroups(values, g, groupOf);
    return true;
}

void MergeClose(const LengthValues& values, LengthGroups& g, std::uint8_t* groupOf, double apart, double keepApart,
                double keepBelow) {
    bool merged = false;
    for (;;) {
        // The neighbours whose means lie closest, as a share of their mean,
        // less one unit of rounding.
        int closest = -1;
        double least = apart;
        for (int i = 0; i + 1 < g.count; ++i) {
            const double a = static_cast<double>(g.sum[i]) / g.members[i];
            const double b = static_cast<double>(g.sum[i + 1]) / g.members[i + 1];
            if (b - a >= keepApart && b < keepBelow) continue;
            if (!MeansApart(a, b, least)) {
                least = 2 * (b - a - MeansRounding) / (a + b);
                closest = i;
            }
        }
        if (closest < 0) break;
        merged = true;
        JoinLengths(g, closest, closest + 1);
    }
    if (merged) AssignGroups(values, g, groupOf);
}

double MeanSquareDeviation(const LengthValues& values, const LengthGroups& groups, int g) {
    const double mean = static_cast<double>(groups.sum[g]) / groups.members[g];
    double total = 0;
    ForEachValueIn(values, groups.low[g], groups.high[g],
                   [&](int v) { total += values.count[v] * (v - mean) * (v - mean); });
    return total / groups.members[g];
}

}  // namespace orbisk
