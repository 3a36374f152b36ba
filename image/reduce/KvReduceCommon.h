// Plumbing shared by the colour reductions: the palette buffer they build, the 5-6-5
// colour cell, their geometry checks and the final filling of the destination descriptor.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/KvDIBInfo.h"
#include "image/KvGeometry.h"
#include "image/KvPixels.h"
#include "platform/core/Exceptions.h"
#include "platform/memory/FileMap.h"

namespace kv {

// Palette of a reduction: Count meaningful entries (blue, green, red, reserved 0).
struct TKvPaletteBuffer {
  std::array<RGBQUAD, 256> Colors{};
  int32_t Count = 0;
};

// Depth limits of a division: 2^MaxDepth colours at most.
constexpr int kMaxDepth256 = 8;
constexpr int kMaxDepth16 = 4;

// The 16-bit cell of a colour: 5 bits of red (bits 11-15), 6 of green (5-10), 5 of blue (0-4).
constexpr uint32_t ColorCell(uint32_t R, uint32_t G, uint32_t B) {
  return (R >> 3) << 11 | (G >> 2) << 5 | B >> 3;
}
constexpr uint32_t kColorCells = 65536;

// Per-channel parts of a pixel's cell number (bits 0-15) and of the bits the cell drops
// (bits 16-23: red and 7 in bits 21-23, green and 3 in 19-20, blue and 7 in 16-18). The
// parts occupy disjoint bits, so Red[R] + Green[G] + Blue[B] gives both with three
// lookups instead of a dozen shifts and masks.
struct TCellParts {
  std::array<uint32_t, 256> Red{}, Green{}, Blue{};
};
constexpr TCellParts MakeCellParts() {
  TCellParts P;
  for (uint32_t V = 0; V < 256; ++V) {
    P.Red[V] = (V >> 3) << 11 | (V & 7) << 21;
    P.Green[V] = (V >> 2) << 5 | (V & 3) << 19;
    P.Blue[V] = V >> 3 | (V & 7) << 16;
  }
  return P;
}
inline constexpr TCellParts kCellParts = MakeCellParts();

// Cell number (low 16 bits) and dropped bits (bits 16-23) of the pixel at P (blue, green, red).
inline uint32_t CellAndDropped(const uint8_t* P) {
  return kCellParts.Red[P[2]] + kCellParts.Green[P[1]] + kCellParts.Blue[P[0]];
}

// The palette becomes Dst's colour table; entries beyond it keep what Src held.
inline void FillReducedDestination(const TKvDIBInfo& Src, TKvDIBInfo& Dst, TFileMapBlock& Block,
                                   uint16_t BitCount, const TKvPaletteBuffer& Palette) {
  FillDestination(Src, Dst, Block, BitCount, kBiRGB, 0,
                  std::span<const RGBQUAD>(Palette.Colors.data(), static_cast<size_t>(Palette.Count)));
}

// The geometry checks of a reduction routine, destination first; the source message is
// "<Routine>: Pixel Block Too Small".
inline TKvRowGeometry CheckedReduction(const TKvDIBInfo& Src, int SrcBits, int DstBits, const char* Routine,
                                       int32_t& DstSize) {
  const std::string BadBlock = std::string(Routine) + ": Pixel Block Too Small";
  return CheckedRowGeometry(Src, SrcBits, DstBits, BadBlock.c_str(), DstSize);
}

// Writes IndexOf(pixel) of every 24-bit pixel of Src into Bits as rows of DstBits (8 or 4)
// bits; AfterRow() runs after each row (the caller's progress, or nothing).
template <class TIndexOf, class TAfterRow>
void MapTrueColorRows(const TKvDIBInfo& Src, const TKvRowGeometry& G, uint8_t* Bits, int DstBits,
                      TIndexOf&& IndexOf, TAfterRow&& AfterRow) {
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* S = G.SrcRow(Src, Y);
    uint8_t* D = G.DstRow(Bits, Y);
    if (DstBits == 8) {
      for (int64_t X = 0; X < G.Width; ++X) D[X] = IndexOf(S + 3 * X);
    } else {
      PackNibbleRow(D, G.Width, [S, &IndexOf](int64_t X) { return IndexOf(S + 3 * X); });
    }
    AfterRow();
  }
}

}  // namespace kv
