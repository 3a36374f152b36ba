// The inner stages of the colour reductions, declared for the routines in this folder and
// for the tests: the palette and cell table of the Normal method, the palette and index
// table of the 256-to-16 reduction, and the decision tree of the Fine method together
// with the ways it can be built and applied.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "image/KvDIBInfo.h"
#include "image/reduce/KvColorEntry.h"
#include "image/reduce/KvReduceCommon.h"

namespace kv {

// Normal method: counts the 24-bit pixels of Src into the 65,536 colour cells, divides the
// occupied cells and writes each cell's palette index into Table (0 for unused cells).
void MakeLowPaletteTable(const TKvDIBInfo& Src, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                         int MaxDepth, std::span<uint8_t, kColorCells> Table);

// 256 to 16 colours: divides the colour-table entries of the 8-bit image Src, weighted by
// their pixel counts, and writes each old index's new index into Table.
void Make4BitPaletteTable(const TKvDIBInfo& Src, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                          std::span<uint8_t, 256> Table);

// One node of the Fine method's decision tree.
constexpr uint8_t kDivideRed = 0;
constexpr uint8_t kDivideGreen = 1;
constexpr uint8_t kDivideBlue = 2;
constexpr uint8_t kDivideLeaf = 3;
constexpr uint8_t kDivideUnused = 0xFF;  // a node index handed to an empty part, never written

struct TKvDivideNode {
  uint8_t DivideID = kDivideUnused;
  long double Threshold = 0;  // channel mean, unrounded; values at or below it go low
  uint8_t ColorIndex = 0;     // palette index of a leaf
  int32_t LowChild = 0;
  int32_t HighChild = 0;
};

// Nodes numbered depth first, the high side first; the root is node 0 and Counter is the
// next free index. A division of depth 8 uses at most 511 nodes.
struct TKvDivideTree {
  int32_t Counter = 1;
  std::array<TKvDivideNode, 512> Nodes{};
};

// How the Fine method's tree is built. Packed divides a packed copy of the pixels;
// Distinct first gathers the distinct colours with their pixel counts into the same
// memory and divides those (same sets, same sums, so the same tree), falling back to
// Packed when they do not fit; Cube counts every colour of the 24-bit cube and divides
// boxes of it. Auto picks.
enum class TKvHighBuild { Auto, Packed, Distinct, Cube };
// How pixels are mapped through the tree. Walk compares channel values node by node;
// Grid turns the tree into a table over the ranks of the channel values among the
// thresholds, placed in the packed copy's memory when it fits. Auto picks.
enum class TKvHighMapping { Auto, Walk, Grid };

namespace reduce_detail {
// Sums over a run of colour counts Row[B0..B1) (B1 <= 256), as the Fine method's colour
// cube takes them: the count, the sum of count x value and of count x value^2, value
// being the position in the row. Plain asks for the portable loop even where a vector
// one exists; both give the same sums.
struct TRunSums {
  uint64_t N = 0;
  uint64_t S = 0;
  uint64_t Q = 0;
};
TRunSums RunSums(const uint8_t* Row, uint32_t B0, uint32_t B1, bool Plain);
}  // namespace reduce_detail

// Fine method: builds the palette and the decision tree of Src (24 bits per pixel).
void MakeHighPaletteTree(const TKvDIBInfo& Src, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                         int MaxDepth, TKvDivideTree& Tree, TKvHighBuild Build = TKvHighBuild::Auto);

// The Fine routines with a chosen build and mapping (the public routines use Auto).
void ConvertTrueColorHigh(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress,
                          int MaxDepth, TKvHighBuild Build, TKvHighMapping Mapping);

}  // namespace kv
