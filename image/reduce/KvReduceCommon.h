// Plumbing shared by the colour reductions: the palette buffer they build, the source
// geometry with its checked sizes, the 5-6-5 colour cell, nibble packing, and the final
// filling of the destination descriptor.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "image/KvDIBInfo.h"
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

namespace reduce_detail {

// Geometry of a conversion, in 64 bits so that nothing computed from a header overflows
// before it is compared with a limit.
struct TGeometry {
  int64_t Width;      // biWidth
  int64_t Height;     // |biHeight|
  int64_t SrcStride;  // bytes per source row
  int64_t DstStride;  // bytes per destination row
  int32_t DstSize;    // DstStride * Height, a valid pixel-block size
};

inline int64_t RowStride(int64_t Width, int BitCount) { return ((Width * BitCount + 31) / 32) * 4; }

// Checks what the routine is about to read and write. A destination size that no pixel
// block can have is refused as the memory facility refuses it; a source block shorter
// than the rows its header describes breaks the storage invariant.
inline TGeometry CheckedGeometry(const TKvDIBInfo& Src, int SrcBits, int DstBits, const char* Routine) {
  const int64_t H = Src.Header.biHeight;
  TGeometry G{};
  G.Width = Src.Header.biWidth;
  G.Height = H < 0 ? -H : H;
  if (G.Width <= 0 || G.Height <= 0) throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  G.SrcStride = RowStride(G.Width, SrcBits);
  G.DstStride = RowStride(G.Width, DstBits);
  const int64_t DstSize = G.DstStride * G.Height;
  if (DstSize > std::numeric_limits<int32_t>::max())
    throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  G.DstSize = static_cast<int32_t>(DstSize);
  const bool SourceHoldsRows = Src.Bits != nullptr && Src.BitsSize >= 0 &&
                               G.SrcStride <= static_cast<int64_t>(Src.BitsSize) / G.Height;
  AssertDIB(SourceHoldsRows, (std::string(Routine) + ": Pixel Block Too Small").c_str());
  return G;
}

inline const uint8_t* SourceRow(const TKvDIBInfo& Src, const TGeometry& G, int64_t Y) {
  return Src.Bits + static_cast<ptrdiff_t>(Y * G.SrcStride);
}
inline uint8_t* DestRow(uint8_t* Bits, const TGeometry& G, int64_t Y) {
  return Bits + static_cast<ptrdiff_t>(Y * G.DstStride);
}

// Dst := Src with the new block, the palette and the new format fields; the block is
// handed over last, after everything that could fail. Colour-table entries beyond the
// palette keep what Src held.
inline void FillReducedDestination(const TKvDIBInfo& Src, TKvDIBInfo& Dst, TFileMapBlock& Block,
                                   uint16_t BitCount, const TKvPaletteBuffer& Palette) {
  Dst = Src;
  Dst.Header.biClrUsed = static_cast<uint32_t>(Palette.Count);
  for (int32_t I = 0; I < Palette.Count; ++I) Dst.Colors[I] = Palette.Colors[static_cast<size_t>(I)];
  Dst.Header.biBitCount = BitCount;
  Dst.Header.biCompression = kBiRGB;
  Dst.Header.biSizeImage = 0;
  HandOver(Block, Dst);
}

// Writes palette indices Index[0..Width) as a 4-bit row: the left pixel of each pair in
// the high nibble; with an odd width the last byte keeps a zero low nibble.
template <class TIndexOf>
inline void WriteNibbleRow(uint8_t* Row, int64_t Width, TIndexOf&& IndexOf) {
  int64_t X = 0;
  for (; X + 2 <= Width; X += 2)
    Row[X >> 1] = static_cast<uint8_t>((IndexOf(X) & 15) << 4 | (IndexOf(X + 1) & 15));
  if (X < Width) Row[X >> 1] = static_cast<uint8_t>((IndexOf(X) & 15) << 4);
}

}  // namespace reduce_detail
}  // namespace kv
