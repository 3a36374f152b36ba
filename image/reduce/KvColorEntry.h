// The weighted-variance division shared by every reduction: colour entries with their
// weights, the statistics of a range, the choice of the dividing channel and the leaf
// colour, and DivideColorEntries, which divides an array of entries recursively.
//
// The method: a range of colours is split at the mean of one channel, chosen as the
// largest of 3 x the red, 4 x the green and 2 x the blue variance (ties to red, then
// green); values at or below the mean go low, the rest high. Each range at the depth
// limit becomes one palette colour, the weighted mean of its colours rounded half to
// even. The high side is numbered first.
//
// Exactness: the channel choice and the leaf colours are made in x87 extended precision
// (64-bit significand), in the order mean = S / N, variance = Q / N - mean^2, weight x
// variance, from sums that are exact 64-bit integers converted without loss. Comparing
// a channel value v with the extended mean fl(S / N) is done as v <= floor(S / N) in
// integers: for N < 2^57 the rounded quotient never reaches the next integer above the
// exact one, so both comparisons agree for every integer v.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "image/KvDIBInfo.h"
#include "image/reduce/KvReduceCommon.h"

namespace kv {

// One colour and its weight. Count is the number of pixels of the colour until the
// division writes the entry's palette index into it; Key says where the entry came from
// (a colour cell, or an old palette index). Count is 64-bit so that no image that fits in
// memory can overflow it.
struct TKvColorEntry {
  int32_t Red = 0;
  int32_t Green = 0;
  int32_t Blue = 0;
  int64_t Count = 0;
  int32_t Key = 0;
};

// Divides Entries[Lo, Hi) at depth Depth (0 at the top) down to MaxDepth (at most 8):
// appends the palette colours of the range to Palette, writes each entry's palette index
// into its Count, and calls Progress once per box at the depth limit, empty boxes
// included, so a whole division makes exactly 2^MaxDepth calls. Entries are reordered.
void DivideColorEntries(size_t Lo, size_t Hi, int Depth, int MaxDepth, TKvColorEntry* Entries,
                        TKvPaletteBuffer& Palette, const TKvProgressProc& Progress);

// The whole division of a reduction: Palette gets the colours of all Entries divided to
// MaxDepth, and Table[Key] the palette index of each entry (0 where no entry has the key).
void DivideIntoTable(std::vector<TKvColorEntry>& Entries, int MaxDepth, TKvPaletteBuffer& Palette,
                     const TKvProgressProc& Progress, std::span<uint8_t> Table);

namespace reduce_detail {

constexpr int kRed = 0;
constexpr int kGreen = 1;
constexpr int kBlue = 2;

// Exact weighted sums of a range; channel 0 red, 1 green, 2 blue.
struct TRangeStats {
  uint64_t Weight = 0;
  uint64_t Sum[3] = {0, 0, 0};
  uint64_t SumSq[3] = {0, 0, 0};
};

// A division of a range: the channel, its unrounded extended mean, and the largest value
// that goes to the low side (floor of the exact mean).
struct TDivision {
  int Channel;
  long double Mean;
  uint32_t Cut;
};

// Chooses the channel of a non-empty range.
TDivision ChooseDivision(const TRangeStats& S);
// The weighted mean colour of a non-empty range, each channel rounded half to even.
RGBQUAD MeanColor(const TRangeStats& S);
// An empty range at Depth still stands for 2^(MaxDepth - Depth) boxes of progress.
void ProgressEmptyRange(int Depth, int MaxDepth, const TKvProgressProc& Progress);
inline void ProgressStep(const TKvProgressProc& Progress) {
  if (Progress) Progress();
}

// The partition of a range in place: entries with Value(i) <= Cut in front, the others
// behind; returns the split point. Two cursors move towards each other and swap the
// first misplaced pair each meets.
template <class TValueOf, class TSwap>
size_t PartitionRange(size_t Lo, size_t Hi, uint32_t Cut, TValueOf&& Value, TSwap&& Swap) {
  size_t I = Lo;
  size_t J = Hi;
  for (;;) {
    while (I < J && Value(I) <= Cut) ++I;
    while (J > I && Value(J - 1) > Cut) --J;
    if (I >= J) return I;
    Swap(I, J - 1);
  }
}

}  // namespace reduce_detail
}  // namespace kv
