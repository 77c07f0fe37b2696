#include "receiver/analysis/duration_groups.h"

#include <bit>
#include <cstring>

namespace orbisk {

void CollectLengths(const std::uint8_t* d, int n, LengthValues* out) {
    // Cleared whole, and both kinds in one walk: wide stores cost less than
    // a walk that clears only the values that occur.
    for (int kind = 0; kind < 2; ++kind) {
        for (int w = 0; w < 4; ++w) out[kind].present[w] = 0;
        std::memset(out[kind].count, 0, sizeof out[kind].count);
    }
    for (int i = 0; i < n; ++i) {
        LengthValues& values = out[i & 1];
        values.present[d[i] >> 6] |= std::uint64_t{1} << (d[i] & 63);
        ++values.count[d[i]];
    }
}

namespace {

// groupOf[v] for every value v that occurs, from the groups' ranges.
void AssignGroups(const LengthValues& values, const LengthGroups& g, std::uint8_t* groupOf) {
    int group = 0;
    ForEachValue(values, [&](int v) {
        while (group + 1 < g.count && v >= g.low[group + 1]) ++group;
        groupOf[v] = static_cast<std::uint8_t>(group);
    });
}

}  // namespace

bool GroupLengths(const LengthValues& values, LengthGroups& out, std::uint8_t* groupOf, double gap,
                  double spread) {
    const double halfGap = gap / 2, halfSpread = spread / 2;
    out = LengthGroups{};
    int previous = -1;
    bool fits = true;
    ForEachValue(values, [&](int v) {
        if (previous < 0 || v - previous - 1 > halfGap * (v + previous)) {
            if (out.count == MostLengths) {
                fits = false;
                return;
            }
            out.low[out.count++] = static_cast<std::uint8_t>(v);
        }
        const int g = out.count - 1;
        out.high[g] = static_cast<std::uint8_t>(v);
        out.members[g] = static_cast<std::uint8_t>(out.members[g] + values.count[v]);
        out.sum[g] = static_cast<std::uint16_t>(out.sum[g] + v * values.count[v]);
        groupOf[v] = static_cast<std::uint8_t>(g);
        previous = v;
    });
    if (!fits || out.count == 0) return false;
    for (int g = 0; g < out.count; ++g)
        if (out.high[g] - out.low[g] - 1 > halfSpread * (out.high[g] + out.low[g])) return false;
    return true;
}

bool SplitWide(const LengthValues& values, LengthGroups& g, std::uint8_t* groupOf, double spread) {
    const double halfSpread = spread / 2;
    for (int i = 0; i < g.count;) {
        if (g.high[i] - g.low[i] - 1 <= halfSpread * (g.high[i] + g.low[i])) {
            ++i;
            continue;
        }
        if (g.count == MostLengths) return false;
        // The widest gap, as a share of its ends, is where the two lengths meet.
        int previous = -1, cut = -1;
        double widest = -1;
        ForEachValue(values, [&](int v) {
            if (v < g.low[i] || v > g.high[i]) return;
            if (previous >= 0 && static_cast<double>(v - previous) / (v + previous) > widest) {
                widest = static_cast<double>(v - previous) / (v + previous);
                cut = v;
            }
            previous = v;
        });
        for (int k = g.count; k > i + 1; --k) {
            g.low[k] = g.low[k - 1];
            g.high[k] = g.high[k - 1];
            g.members[k] = g.members[k - 1];
            g.sum[k] = g.sum[k - 1];
        }
        ++g.count;
        g.low[i + 1] = static_cast<std::uint8_t>(cut);
        g.high[i + 1] = g.high[i];
        g.members[i + 1] = 0;
        g.sum[i + 1] = 0;
        ForEachValue(values, [&](int v) {
            if (v < g.low[i] || v > g.high[i + 1]) return;
            if (v < cut) {
                g.high[i] = static_cast<std::uint8_t>(v);
                return;
            }
            g.members[i + 1] = static_cast<std::uint8_t>(g.members[i + 1] + values.count[v]);
            g.sum[i + 1] = static_cast<std::uint16_t>(g.sum[i + 1] + v * values.count[v]);
        });
        g.members[i] = static_cast<std::uint8_t>(g.members[i] - g.members[i + 1]);
        g.sum[i] = static_cast<std::uint16_t>(g.sum[i] - g.sum[i + 1]);
    }
    AssignGroups(values, g, groupOf);
    return true;
}

void MergeClose(const LengthValues& values, LengthGroups& g, std::uint8_t* groupOf, double apart, double keepApart,
                double keepBelow) {
    for (;;) {
        // The neighbours whose means lie closest, as a share of their mean,
        // less one unit of rounding.
        int closest = -1;
        double least = apart;
        for (int i = 0; i + 1 < g.count; ++i) {
            const double a = static_cast<double>(g.sum[i]) / g.members[i];
            const double b = static_cast<double>(g.sum[i + 1]) / g.members[i + 1];
            if (b - a >= keepApart && b < keepBelow) continue;
            if (2 * (b - a - 1) <= least * (a + b)) {
                least = 2 * (b - a - 1) / (a + b);
                closest = i;
            }
        }
        if (closest < 0) break;
        g.high[closest] = g.high[closest + 1];
        g.members[closest] = static_cast<std::uint8_t>(g.members[closest] + g.members[closest + 1]);
        g.sum[closest] = static_cast<std::uint16_t>(g.sum[closest] + g.sum[closest + 1]);
        for (int k = closest + 1; k + 1 < g.count; ++k) {
            g.low[k] = g.low[k + 1];
            g.high[k] = g.high[k + 1];
            g.members[k] = g.members[k + 1];
            g.sum[k] = g.sum[k + 1];
        }
        --g.count;
    }
    AssignGroups(values, g, groupOf);
}

double MeanSquareDeviation(const LengthValues& values, const LengthGroups& groups, int g) {
    const double mean = static_cast<double>(groups.sum[g]) / groups.members[g];
    double total = 0;
    ForEachValue(values, [&](int v) {
        if (v >= groups.low[g] && v <= groups.high[g]) total += values.count[v] * (v - mean) * (v - mean);
    });
    return total / groups.members[g];
}

}  // namespace orbisk
