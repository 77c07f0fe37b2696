#pragma once
// The lengths a remote meant.  A receiver's marks and spaces of one length
// wander with jitter and by a bias that lengthens every mark and shortens
// every space, so the marks and the spaces of a burst are grouped apart,
// each by ratios alone: sorted, and cut where two neighbouring values lie
// further apart than jitter moves one length.  Fixed buffers only.
#include <bit>
#include <cstdint>

#include "receiver/analysis/tolerance.h"

namespace orbisk {

inline constexpr int MostLengths = 8;

// The lengths of one kind of duration, shortest first.
struct LengthGroups {
    int count = 0;
    std::uint8_t low[MostLengths] = {};
    std::uint8_t high[MostLengths] = {};
    std::uint8_t members[MostLengths] = {};
    std::uint16_t sum[MostLengths] = {};
};

// How far apart two neighbouring values of one length may lie: their
// distance less one unit of rounding, as a share of their mean.  Without a
// measure of the burst's jitter, three tenths: lengths a remote keeps apart
// lie at least half as long again as their neighbours.
inline constexpr double DefaultLengthGap = 0.3;

// The values of one kind of duration: which occur, as a bit set that keeps
// them sorted, and how often.  count is meaningful only for values that occur.
struct LengthValues {
    std::uint64_t present[4] = {};
    std::uint8_t count[256];
};
// out[0] the marks d[0], d[2], ..., out[1] the spaces d[1], d[3], ... below n.
void CollectLengths(const std::uint8_t* d, int n, LengthValues* out);

// Calls f(v) for every value that occurs, in ascending order.
template <typename F>
void ForEachValue(const LengthValues& values, F&& f) {
    for (int word = 0; word < 4; ++word)
        for (std::uint64_t bits = values.present[word]; bits != 0; bits &= bits - 1)
            f(word * 64 + std::countr_zero(bits));
}

// Calls f(v) for every value from low to high that occurs, in ascending
// order, walking only the words of the bit set that hold them.
template <typename F>
void ForEachValueIn(const LengthValues& values, int low, int high, F&& f) {
    for (int word = low >> 6; word <= high >> 6; ++word) {
        std::uint64_t bits = values.present[word];
        if (word == low >> 6) bits &= ~std::uint64_t{0} << (low & 63);
        if (word == high >> 6) bits &= ~std::uint64_t{0} >> (63 - (high & 63));
        for (; bits != 0; bits &= bits - 1) f(word * 64 + std::countr_zero(bits));
    }
}

// Builds the lengths of a kind from ascending values, each length a run of
// neighbouring values.  The run in progress is summed in registers and
// stored when it ends: a sum kept in memory would make every value wait for
// the last one's store.
class LengthRuns {
public:
    explicit LengthRuns(LengthGroups& out) : out_(out) { out_ = LengthGroups{}; }
    // The last value added, -1 before any.
    int Last() const { return last_; }
    // Starts a new length at the next value; false past MostLengths.
    bool Start(int v) {
        if (out_.count == MostLengths) return false;
        Finish();
        out_.low[out_.count++] = static_cast<std::uint8_t>(v);
        members_ = sum_ = 0;
        return true;
    }
    // Adds value v, which occurs `count` times, to the length in progress.
    void Add(int v, int count, std::uint8_t* groupOf) {
        members_ += count;
        sum_ += v * count;
        groupOf[v] = static_cast<std::uint8_t>(out_.count - 1);
        last_ = v;
    }
    // Stores the length in progress.
    void Finish() {
        if (out_.count == 0) return;
        out_.high[out_.count - 1] = static_cast<std::uint8_t>(last_);
        out_.members[out_.count - 1] = static_cast<std::uint8_t>(members_);
        out_.sum[out_.count - 1] = static_cast<std::uint16_t>(sum_);
    }

private:
    LengthGroups& out_;
    int last_ = -1, members_ = 0, sum_ = 0;
};

// Groups the values, cutting between neighbours further apart than `gap`;
// a group may spread over `spread` of its mean (both less one unit of
// rounding).  groupOf[v] is then the group of every value v that occurs
// (other entries are left as they were).  False when the values fall into
// more than MostLengths lengths or a group spreads wider.
bool GroupLengths(const LengthValues& values, LengthGroups& out, std::uint8_t* groupOf,
                  double gap = DefaultLengthGap, double spread = 0.4);

// Length i of `from` written as length j of `to` (count left as it is).
inline void CopyLength(const LengthGroups& from, int i, LengthGroups& to, int j) {
    to.low[j] = from.low[i];
    to.high[j] = from.high[i];
    to.members[j] = from.members[i];
    to.sum[j] = from.sum[i];
}

// groupOf[v] for every value v that occurs, from the groups' ranges.
void AssignGroups(const LengthValues& values, const LengthGroups& g, std::uint8_t* groupOf);

// Joins lengths first to last into one, at first; the later lengths move
// down.  groupOf is left to the caller.
void JoinLengths(LengthGroups& g, int first, int last);

// Splits a group at its widest gap where it spreads over `spread` of its
// mean (less one unit of rounding) or where the means on either side of
// the gap lie `apart` (MeansApart, as MergeClose keeps lengths apart), until
// none is split: two lengths a remote keeps apart, which jitter let run
// into each other or which a wide gap limit joined (a lone 600 us space
// among spaces of 450), are told apart wherever the gaps between them fall.  False past MostLengths lengths.
// groupOf, as GroupLengths left it, is kept up to date.
bool SplitWide(const LengthValues& values, LengthGroups& groups, std::uint8_t* groupOf, double spread,
               double apart);

// Joins neighbouring groups whose means lie within `apart` of their mean
// (less one unit of rounding), closest first: durations of one length that
// a wide gap cut apart (a header or a gap beside its length, jitter far
// out) are told from another length by where they centre, which jitter
// moves far less than their ends.  Neighbours whose means lie keepApart or
// more apart, the longer under keepBelow, stay apart (both in receiver
// units; 0 for none).  groupOf, as GroupLengths left it, is kept up to
// date.
void MergeClose(const LengthValues& values, LengthGroups& groups, std::uint8_t* groupOf, double apart,
                double keepApart = 0, double keepBelow = 0);

// The mean square distance of group g's values from their mean.
double MeanSquareDeviation(const LengthValues& values, const LengthGroups& groups, int g);

}  // namespace orbisk
