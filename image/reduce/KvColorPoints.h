// The weighted colour points a palette is refined on, gathered from a 24-bit image in one
// pass, and the key that leads from a pixel back to its point.
//
// Two gatherings. A regular grid keeps the top Bits.Red / Green / Blue bits of each
// channel; each occupied cell becomes a point at the exact mean of its pixels (integer
// sums), and a pixel's key is its cell. Distinct colours keep all 24 bits, but only
// inside at most kMaxDistinctCells occupied 5-6-5 cells (each a box of 8 x 4 x 8
// colours): for images whose colours are too few for a grid to give every palette entry a
// cell of its own. A pixel's key is then its cell's slot times 256 plus the bits the cell
// drops.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "image/KvDIBInfo.h"
#include "image/reduce/KvReduceCommon.h"

namespace kv {

// A colour point: Weight pixels whose channel values add up to Sum (red, green, blue).
struct TKvColorPoint {
  uint64_t Weight = 0;
  std::array<uint64_t, 3> Sum{};
  uint32_t Key = 0;  // where the point came from: its cell, or its distinct-colour key
};

// Bits kept per channel by a grid; each in 1..8, together at most 21.
struct TKvGridBits {
  int Red = 5;
  int Green = 6;
  int Blue = 5;
};

// Per-channel lookups that give a pixel's key as the sum of three table entries.
struct TKvPointKeys {
  std::array<uint32_t, 256> Red{}, Green{}, Blue{};
  uint32_t KeyCount = 0;  // keys lie in 0..KeyCount-1
  // Distinct colours: slot (plus one) of each 5-6-5 cell, 0 for cells without pixels.
  std::vector<uint16_t> CellSlot;

  // The key of a grid's pixel.
  uint32_t GridKey(const uint8_t* P) const { return Red[P[2]] + Green[P[1]] + Blue[P[0]]; }
  // The key of a pixel among distinct colours: Red + Green + Blue holds the cell in bits
  // 8-23 and the dropped bits in 0-7.
  uint32_t DistinctKey(const uint8_t* P) const {
    const uint32_t K = GridKey(P);
    return static_cast<uint32_t>(CellSlot[K >> 8] - 1) << 8 | (K & 255);
  }
  uint32_t KeyOf(const uint8_t* P) const { return CellSlot.empty() ? GridKey(P) : DistinctKey(P); }
};

struct TKvColorPoints {
  std::vector<TKvColorPoint> Points;  // in increasing key order
  TKvPointKeys Keys;
  bool Distinct = false;
};

// The colour a point stands for in the weighted-variance division: its truncated mean.
// For a grid cell that is the cell's lowest colour plus the truncated mean of the bits it
// drops, so on a 5-6-5 grid exactly the Normal method's cell representative.
inline uint32_t TruncatedMean(const TKvColorPoint& P, int Channel) {
  return static_cast<uint32_t>(P.Sum[static_cast<size_t>(Channel)] / P.Weight);
}

// Up to this many occupied 5-6-5 cells, distinct colours can be gathered.
constexpr size_t kMaxDistinctCells = 1024;

// The occupied cells of Src (24 bits per pixel) on a grid.
TKvColorPoints GatherGridPoints(const TKvDIBInfo& Src, TKvGridBits Bits);
// The distinct colours of Src; false (Points unusable) when Src occupies more than
// kMaxDistinctCells 5-6-5 cells.
bool GatherDistinctPoints(const TKvDIBInfo& Src, TKvColorPoints& Points);

}  // namespace kv
