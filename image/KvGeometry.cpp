#include "image/KvGeometry.h"

namespace kv {

bool DIBStride(int32_t Width, int32_t BitCount, int32_t& Stride) {
  if (Width <= 0 || BitCount <= 0) return false;
  const int64_t S = RowStride(Width, BitCount);
  if (S > kMaxBlockBytes) return false;
  Stride = static_cast<int32_t>(S);
  return true;
}

bool DIBBlockSize(int32_t Width, int32_t Height, int32_t BitCount, int32_t& Size) {
  if (Width <= 0 || BitCount <= 0) return false;
  const int64_t Stride = RowStride(Width, BitCount);
  const int64_t Rows = RowCount(Height);
  if (!FitsBlock(Stride, Rows)) return false;
  Size = static_cast<int32_t>(Stride * Rows);
  return true;
}

int32_t DIBStride(const BITMAPINFOHEADER& Header) {
  return static_cast<int32_t>(RowStride(Header.biWidth, Header.biBitCount));
}

int32_t CheckedBlockSize(int64_t Stride, int64_t Rows) {
  if (!FitsBlock(Stride, Rows)) throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  return static_cast<int32_t>(Stride * Rows);
}

}  // namespace kv
