// Shared plumbing of the conversion routines in this folder: image geometry with checked
// sizes, the destination block, the check that a source block really holds its rows, and
// the final filling of the destination descriptor.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "image/KvDIBInfo.h"
#include "platform/core/Exceptions.h"
#include "platform/memory/FileMap.h"

namespace kv::convert_detail {

// Width and row count of a descriptor, as 64-bit values so that no size computed from a
// header can overflow before it is compared with a limit.
struct TGeometry {
  int64_t Width;   // biWidth
  int64_t Height;  // |biHeight|
};

inline TGeometry GeometryOf(const TKvDIBInfo& Info) {
  const int64_t H = Info.Header.biHeight;
  return TGeometry{Info.Header.biWidth, H < 0 ? -H : H};
}

// ((W * BitCount + 31) div 32) * 4, in 64 bits.
inline int64_t RowStride(int64_t Width, int BitCount) { return ((Width * BitCount + 31) / 32) * 4; }

// A new zero-filled pixel block of Size bytes. A size that a block cannot have (not
// positive, or beyond a signed 32-bit BitsSize) is refused exactly as the memory
// facility refuses it.
inline int32_t CheckedBlockSize(int64_t Size) {
  if (Size <= 0 || Size > std::numeric_limits<int32_t>::max())
    throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  return static_cast<int32_t>(Size);
}

// The rows a routine is about to read must lie inside the source block; a descriptor
// whose block is shorter than its header claims breaks the storage invariant.
inline void CheckSourceRows(const TKvDIBInfo& Src, int64_t Stride, int64_t Height, const char* Message) {
  AssertDIB(Src.Header.biWidth > 0 && Height > 0 && Src.Bits != nullptr && Src.BitsSize >= 0 &&
                Stride * Height <= Src.BitsSize,
            Message);
}

// Dst := Src with the new block and the new format fields. The block is handed over
// last, after everything that could fail.
inline void FillDestination(const TKvDIBInfo& Src, TKvDIBInfo& Dst, TFileMapBlock& Block, uint16_t BitCount,
                            uint32_t Compression, uint32_t SizeImage) {
  Dst = Src;
  Dst.Header.biBitCount = BitCount;
  Dst.Header.biCompression = Compression;
  Dst.Header.biSizeImage = SizeImage;
  HandOver(Block, Dst);
}

}  // namespace kv::convert_detail
