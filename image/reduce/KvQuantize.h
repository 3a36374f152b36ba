// The library's own quantizer: true colour to any number of colours from 2 to 256, by one
// of four methods, with or without error diffusion.
//
//   normal  the Normal method (5-6-5 cell histogram, weighted-variance division), exactly
//   fine    the Fine method (the same division on the pixels themselves), exactly
//   refine  the Normal method's 5-6-5 cell histogram, kept with exact sums: the cells at
//           their exact means are seeded by the variance-greedy division and refined by
//           Lloyd iterations (1 for more than 16 colours, 4 otherwise); pixels are mapped
//           through the cell table, as the Normal method maps them
//   best    the same on a finer grid of cells (7-7-7 bits for more than 16 colours with
//           4 iterations, 6-7-6 with 32 otherwise), mapped through that grid's table
//
// The recipes were chosen on eight photographs (bench/quality.sh): refine is the cheapest
// that beats Wu's quantizer at 256 and at 16 colours, best the cheapest found that reaches
// libimagequant's slowest setting at both. A grid with fewer occupied cells than entries
// wanted falls back to the image's distinct colours when they lie in few cells, so that
// every entry can be used.
//
// Without dithering, normal and fine with 256 or 16 colours give exactly the described
// routines' results. For other counts they make the palette of the next larger depth
// (256 or 16 entries) and merge it down by Ward's criterion (KvPaletteMerge.h), each old
// index going to the entry its colour was merged into. Dithering (serpentine
// Floyd-Steinberg, KvDither.h) maps every pixel onto the method's palette instead.
//
// The destination follows the conversion-routine contract: a copy of Src with a pixel
// block of its own, 4 bits per pixel for up to 16 colours and 8 otherwise, biClrUsed =
// the number of entries made. Every entry is used by some pixel whenever the image has at
// least as many distinct colours (refine and best). The same input always gives the same
// result. Progress is called exactly QuantizeProgressTotal times, as by the described
// routines (256 for an 8-bit destination, 16 for a 4-bit one), so a TKvDIB's progress
// handler fits.
#pragma once

#include <cstdint>
#include <string_view>

#include "image/KvDIBInfo.h"

namespace kv {

enum TKvQuantizeMethod : uint8_t {
  kvQmNormal = 0,
  kvQmFine = 1,
  kvQmRefine = 2,
  kvQmBest = 3,
};

enum TKvDitherMode : uint8_t {
  kvDmNone = 0,
  kvDmFloydSteinberg = 1,
};

struct TKvQuantizeOptions {
  int32_t Colors = 256;  // 2..256
  TKvQuantizeMethod Method = kvQmNormal;
  TKvDitherMode Dither = kvDmNone;
};

constexpr int32_t kMinQuantizeColors = 2;
constexpr int32_t kMaxQuantizeColors = 256;

// "normal", "fine", "refine", "best" (as typed by users; exact, lower case).
bool ParseQuantizeMethod(std::string_view Name, TKvQuantizeMethod& Method);
const char* QuantizeMethodName(TKvQuantizeMethod Method);

// 4 for up to 16 colours, else 8.
int QuantizeBitCount(int32_t Colors);
// Progress calls of QuantizeTrueColor: 16 for a 4-bit destination, 256 for an 8-bit one.
int32_t QuantizeProgressTotal(const TKvQuantizeOptions& Options);

// Src: 24 bits per pixel, read only. Refuses another bit count with EKvDIBBadDIBType
// "QuantizeTrueColor: Invalid Bitcount", a count outside 2..256 with EKvDIBInvalidDIBPara
// "QuantizeTrueColor: Invalid Color Count", an unknown method or dither mode with
// EKvDIBInvalidDIBPara "QuantizeTrueColor: Invalid Method" or "... Invalid Dither Mode",
// all before anything is allocated.
void QuantizeTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvQuantizeOptions& Options,
                       const TKvProgressProc& Progress);

// What refine and best are made of, for the tests and for tuning: the grid of the cells
// (bits kept of red, green, blue), the Lloyd iterations at most, and whether the
// refinement prunes its searches (the result is the same either way).
struct TKvRefineRecipe {
  int GridRed = 5, GridGreen = 6, GridBlue = 5;
  int Iterations = 8;
  bool Pruned = true;
  // Seeds from the variance-greedy division instead of the Normal method's division.
  bool Greedy = false;
};
TKvRefineRecipe QuantizeRecipe(TKvQuantizeMethod Method, int32_t Colors);
// refine and best with an explicit recipe; Options.Method is not looked at.
void QuantizeRefined(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvQuantizeOptions& Options,
                     const TKvRefineRecipe& Recipe, const TKvProgressProc& Progress);

}  // namespace kv
