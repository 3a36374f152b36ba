// Image geometry and every size computed from it: row strides, row counts, pixel-block
// sizes, and the two checks a routine makes before it reads rows or allocates a block.
//
// Sizes are computed in 64 bits from the 32-bit header fields. Each predicate below says
// in two lines why its arithmetic cannot overflow before the result is compared with a
// limit; no allocation size in the library is computed anywhere else.
#pragma once

#include <cstdint>
#include <limits>

#include "image/KvDIBInfo.h"

namespace kv {

// A pixel block's size is the signed 32-bit BitsSize.
constexpr int64_t kMaxBlockBytes = std::numeric_limits<int32_t>::max();

// ((Width * BitCount + 31) div 32) * 4: the padded row of an uncompressed image.
// Width < 2^31 and BitCount < 2^16, so Width * BitCount < 2^47: exact in 64 bits.
constexpr int64_t RowStride(int64_t Width, int BitCount) { return ((Width * BitCount + 31) / 32) * 4; }

// A row of 16- or 32-bit masked pixels as BMP data stores it: ((2W + 3) div 4) * 4 for 16
// bits, 4W for 32. W < 2^31, so both stay below 2^34: exact in 64 bits. 0 for other depths.
constexpr int64_t MaskedRowStride(int64_t Width, int BitCount) {
  return BitCount == 16 ? ((2 * Width + 3) / 4) * 4 : BitCount == 32 ? 4 * Width : 0;
}

// |biHeight| in 64 bits, so that INT32_MIN has a row count too (2^31, which no block holds).
constexpr int64_t RowCount(int32_t Height) { return Height < 0 ? -static_cast<int64_t>(Height) : Height; }

// Rows of Stride bytes make a valid pixel block: positive, and within kMaxBlockBytes.
// Rows is compared with the quotient instead of forming the product, which for a stride
// near 2^47 and 2^31 rows would not fit even 64 bits.
constexpr bool FitsBlock(int64_t Stride, int64_t Rows) {
  return Stride > 0 && Rows > 0 && Stride <= kMaxBlockBytes && Rows <= kMaxBlockBytes / Stride;
}

// The stride of Width pixels of BitCount bits, when both are positive and it fits a signed
// 32-bit value (RowStride is exact, see above).
bool DIBStride(int32_t Width, int32_t BitCount, int32_t& Stride);
// Stride * |Height| as a pixel-block size, when FitsBlock holds.
bool DIBBlockSize(int32_t Width, int32_t Height, int32_t BitCount, int32_t& Size);
// The stride of a descriptor's uncompressed rows; its header is trusted to be valid.
int32_t DIBStride(const BITMAPINFOHEADER& Header);

// Width and rows of a descriptor, and the order its rows are stored in.
struct TKvGeometry {
  int64_t Width = 0;      // biWidth
  int64_t Height = 0;     // |biHeight|
  bool BottomUp = false;  // biHeight > 0: stored row 0 is the bottom picture row
};

inline TKvGeometry GeometryOf(const BITMAPINFOHEADER& H) {
  return TKvGeometry{H.biWidth, RowCount(H.biHeight), H.biHeight > 0};
}
inline TKvGeometry GeometryOf(const TKvDIBInfo& Info) { return GeometryOf(Info.Header); }

// The block of a descriptor holds Rows rows of Stride bytes (and the descriptor has rows at
// all). BitsSize is compared with the quotient, so no product is formed.
inline bool HoldsRows(const TKvDIBInfo& Info, int64_t Stride, int64_t Rows) {
  return Info.Header.biWidth > 0 && Rows > 0 && Stride > 0 && Info.Bits != nullptr && Info.BitsSize >= 0 &&
         Stride <= Info.BitsSize / Rows;
}

// Before a routine reads Rows rows of Stride bytes: a source block shorter than the rows
// its header describes breaks the storage invariant (EKvDIBAssert with Message).
inline void CheckSourceRows(const TKvDIBInfo& Src, int64_t Stride, int64_t Rows, const char* Message) {
  AssertDIB(HoldsRows(Src, Stride, Rows), Message);
}

// Before a routine allocates Rows rows of Stride bytes: a size no pixel block can have is
// refused exactly as the memory facility refuses it.
int32_t CheckedBlockSize(int64_t Stride, int64_t Rows);
// The same for a block of Bytes bytes (an RLE stream, say).
inline int32_t CheckedBlockSize(int64_t Bytes) { return CheckedBlockSize(Bytes, 1); }

// The geometry of a routine that turns rows of SrcBits into rows of DstBits (strides from
// the header, unchecked; the routine checks them in its own order with the two checks
// above).
struct TKvRowGeometry : TKvGeometry {
  int64_t SrcStride = 0;
  int64_t DstStride = 0;

  const uint8_t* SrcRow(const TKvDIBInfo& Src, int64_t R) const {
    return Src.Bits + static_cast<ptrdiff_t>(R * SrcStride);
  }
  uint8_t* DstRow(uint8_t* Bits, int64_t R) const { return Bits + static_cast<ptrdiff_t>(R * DstStride); }
};

inline TKvRowGeometry RowGeometryOf(const TKvDIBInfo& Src, int SrcBits, int DstBits) {
  TKvRowGeometry G;
  static_cast<TKvGeometry&>(G) = GeometryOf(Src);
  G.SrcStride = RowStride(G.Width, SrcBits);
  G.DstStride = RowStride(G.Width, DstBits);
  return G;
}

// Both checks, destination first (the order of the colour reductions): the size of the
// destination block, then the source rows. DstSize receives the block size.
inline TKvRowGeometry CheckedRowGeometry(const TKvDIBInfo& Src, int SrcBits, int DstBits,
                                         const char* BadBlock, int32_t& DstSize) {
  const TKvRowGeometry G = RowGeometryOf(Src, SrcBits, DstBits);
  DstSize = CheckedBlockSize(G.DstStride, G.Height);
  CheckSourceRows(Src, G.SrcStride, G.Height, BadBlock);
  return G;
}

}  // namespace kv
