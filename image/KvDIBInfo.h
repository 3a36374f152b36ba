// The DIB descriptor every conversion reads and writes, the pixel-format enumeration, and
// the small helpers around them: strides and block sizes (checked against overflow),
// default colour counts, bit-field mask shifts and the old-style header rewrite.
//
// Conversion routines share one shape, (const TKvDIBInfo& Src, TKvDIBInfo& Dst[, extra]):
// they never change Src, and on success Dst is a copy of Src with a pixel block of its own
// and its own bit count, compression, image size, colour count and colour table. On
// failure they release what they obtained and raise; Dst is then ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/core/Exceptions.h"
#include "platform/memory/FileMap.h"
#include "platform/core/WinTypes.h"

namespace kv {

enum TKvPixelFormat : uint8_t {
  kvPf1Bit = 0,
  kvPf4Bit = 1,
  kvPf4BitRLE = 2,
  kvPf8Bit = 3,
  kvPf8BitRLE = 4,
  kvPf24Bit = 5,
  kvPfHalfTone = 6,    // conversion target only
  kvPfHalfToneBW = 7,  // conversion target only
};

// Colour-table entries in a descriptor: 256 proper entries plus room for the three
// bit-field masks that the loaders read in front of a full table.
constexpr int kDIBColorSlots = 260;

struct TKvDIBInfo {
  int32_t BitsSize = 0;
  TMapHandle MapHandle = kNoMapHandle;
  uint8_t* Bits = nullptr;
  BITMAPINFOHEADER Header{};
  RGBQUAD Colors[kDIBColorSlots]{};

  // Header followed by Colors is a platform BITMAPINFO.
  const void* BitmapInfo() const { return &Header; }
};
static_assert(offsetof(TKvDIBInfo, Colors) - offsetof(TKvDIBInfo, Header) == sizeof(BITMAPINFOHEADER),
              "Header and Colors must be contiguous");

// Called once per step of a colour reduction.
using TKvProgressProc = std::function<void()>;

// Row stride of an uncompressed image: ((Width * BitCount + 31) div 32) * 4. Returns false
// when Width or BitCount is not positive or the stride does not fit a signed 32-bit value.
bool DIBStride(int32_t Width, int32_t BitCount, int32_t& Stride);
// Stride * |Height|; false when the size does not fit a signed 32-bit BitsSize.
bool DIBBlockSize(int32_t Width, int32_t Height, int32_t BitCount, int32_t& Size);
// Stride of a descriptor's uncompressed rows (its header is trusted to be valid).
int32_t DIBStride(const BITMAPINFOHEADER& Header);

// 1 -> 2, 4 -> 16, 8 -> 256, anything else -> 0.
int32_t DefaultColorCount(int32_t BitCount);

// Number of single-bit shifts that bring a non-zero mask into 128..255 (positive: right).
int32_t MaskShift(uint32_t Value);

// Rewrites a descriptor whose Header area holds a 12-byte core header followed by
// three-byte colour entries into the normal 40-byte form.
void ConvertCoreInfo(TKvDIBInfo& Info);

// Gives the block to Dst: BitsSize, MapHandle and Bits.
inline void HandOver(TFileMapBlock& Block, TKvDIBInfo& Dst) {
  Dst.BitsSize = Block.Size();
  Dst.MapHandle = Block.Handle();
  Dst.Bits = Block.Bits();
  Block.Detach();
}

// Releases a descriptor's block, if it has one, and clears its fields.
void ReleaseDIBInfoBits(TKvDIBInfo& Info);

}  // namespace kv
