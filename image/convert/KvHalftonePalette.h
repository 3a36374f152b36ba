// The fixed palettes of the halftones, shared with the drawing code: the black-and-white
// MonoPalette, and the 215-colour halftone palette (a 6 x 7 x 5 red-green-blue grid of
// output levels plus five extra colours), together with the level-choice lookup tables
// that map an error-corrected channel value to the index of its output level.
#pragma once

#include <array>
#include <cstdint>

#include "platform/core/WinTypes.h"

namespace kv {

// Entry 0 black, entry 1 white.
inline constexpr RGBQUAD MonoPalette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};

inline constexpr uint8_t HalftoneRedLevels[6] = {0, 51, 102, 153, 204, 255};
inline constexpr uint8_t HalftoneGreenLevels[7] = {0, 43, 85, 128, 171, 214, 255};
inline constexpr uint8_t HalftoneBlueLevels[5] = {0, 64, 128, 192, 255};

struct THalftoneExtraColor {
  uint8_t Red;
  uint8_t Green;
  uint8_t Blue;
};

// Palette entries 210..214, after the 210 grid colours.
inline constexpr THalftoneExtraColor HalftoneExtraColors[5] = {
    {128, 0, 0}, {128, 128, 0}, {128, 0, 128}, {192, 192, 192}, {128, 128, 128}};

inline constexpr int kHalftoneGridColors = 6 * 7 * 5;  // 210
inline constexpr int kHalftoneColorCount = kHalftoneGridColors + 5;

// Palette index of grid colour (red level I, green level J, blue level K).
constexpr int HalftoneIndex(int I, int J, int K) { return 35 * I + 5 * J + K; }

// Entry Index (0..214) of the halftone palette as a colour-table entry.
constexpr RGBQUAD HalftonePaletteEntry(int Index) {
  if (Index >= kHalftoneGridColors) {
    const THalftoneExtraColor& C = HalftoneExtraColors[Index - kHalftoneGridColors];
    return RGBQUAD{C.Blue, C.Green, C.Red, 0};
  }
  return RGBQUAD{HalftoneBlueLevels[Index % 5], HalftoneGreenLevels[(Index / 5) % 7],
                 HalftoneRedLevels[Index / 35], 0};
}

// The whole halftone palette as a colour table.
constexpr std::array<RGBQUAD, kHalftoneColorCount> MakeHalftonePalette() {
  std::array<RGBQUAD, kHalftoneColorCount> P{};
  for (int I = 0; I < kHalftoneColorCount; ++I) P[static_cast<size_t>(I)] = HalftonePaletteEntry(I);
  return P;
}
inline constexpr std::array<RGBQUAD, kHalftoneColorCount> HalftonePalette = MakeHalftonePalette();

// Level choice for a corrected channel value v in -256..512: Table[v + 256] is the index
// of the output level. The thresholds are fixed ranges, not nearest-level searches
// (red 230 still goes to level 204, green 234 already to 255).
inline constexpr int kHalftoneLevelMin = -256;
inline constexpr int kHalftoneLevelMax = 512;
inline constexpr int kHalftoneLevelSpan = kHalftoneLevelMax - kHalftoneLevelMin + 1;  // 769

using THalftoneLevelTable = std::array<uint8_t, kHalftoneLevelSpan>;

// Index I of a table with upper bounds Bounds[0..N-2]: the first I whose bound is >= v;
// the last level takes everything above.
template <size_t N>
constexpr THalftoneLevelTable MakeHalftoneLevelTable(const int (&UpperBounds)[N]) {
  THalftoneLevelTable T{};
  for (int V = kHalftoneLevelMin; V <= kHalftoneLevelMax; ++V) {
    uint8_t I = 0;
    while (I < N && V > UpperBounds[I]) ++I;
    T[static_cast<size_t>(V - kHalftoneLevelMin)] = I;
  }
  return T;
}

// Upper bounds of levels 0..n-2 of each channel.
inline constexpr int kHalftoneRedBounds[5] = {25, 76, 127, 178, 230};
inline constexpr int kHalftoneGreenBounds[6] = {21, 63, 106, 149, 192, 233};
inline constexpr int kHalftoneBlueBounds[4] = {31, 95, 159, 223};

inline constexpr THalftoneLevelTable HalftoneRedLevelTable = MakeHalftoneLevelTable(kHalftoneRedBounds);
inline constexpr THalftoneLevelTable HalftoneGreenLevelTable = MakeHalftoneLevelTable(kHalftoneGreenBounds);
inline constexpr THalftoneLevelTable HalftoneBlueLevelTable = MakeHalftoneLevelTable(kHalftoneBlueBounds);

}  // namespace kv
