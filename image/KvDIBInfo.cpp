#include "image/KvDIBInfo.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace kv {

bool DIBStride(int32_t Width, int32_t BitCount, int32_t& Stride) {
  if (Width <= 0 || BitCount <= 0) return false;
  const int64_t S = ((static_cast<int64_t>(Width) * BitCount + 31) / 32) * 4;
  if (S > std::numeric_limits<int32_t>::max()) return false;
  Stride = static_cast<int32_t>(S);
  return true;
}

bool DIBBlockSize(int32_t Width, int32_t Height, int32_t BitCount, int32_t& Size) {
  int32_t Stride = 0;
  if (Height == 0 || Height == std::numeric_limits<int32_t>::min()) return false;
  if (!DIBStride(Width, BitCount, Stride)) return false;
  const int64_t S = static_cast<int64_t>(Stride) * std::abs(Height);
  if (S > std::numeric_limits<int32_t>::max()) return false;
  Size = static_cast<int32_t>(S);
  return true;
}

int32_t DIBStride(const BITMAPINFOHEADER& Header) {
  return static_cast<int32_t>(((static_cast<int64_t>(Header.biWidth) * Header.biBitCount + 31) / 32) * 4);
}

int32_t DefaultColorCount(int32_t BitCount) {
  switch (BitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

int32_t MaskShift(uint32_t Value) {
  int32_t Count = 0;
  while (Value >= 256) {
    Value >>= 1;
    ++Count;
  }
  while (Value != 0 && Value < 128) {
    Value <<= 1;
    --Count;
  }
  return Count;
}

void ConvertCoreInfo(TKvDIBInfo& Info) {
  // Work from a full copy: the three-byte source entries overlap the four-byte targets.
  const TKvDIBInfo Old = Info;
  BITMAPCOREHEADER Core;
  std::memcpy(&Core, &Old.Header, sizeof(Core));
  const auto* Triples = reinterpret_cast<const uint8_t*>(&Old.Header) + sizeof(BITMAPCOREHEADER);

  BITMAPINFOHEADER& H = Info.Header;
  H.biSize = sizeof(BITMAPINFOHEADER);
  H.biWidth = Core.bcWidth;
  H.biHeight = Core.bcHeight;
  H.biPlanes = Core.bcPlanes;
  H.biBitCount = Core.bcBitCount;
  H.biCompression = kBiRGB;
  H.biSizeImage = 0;
  H.biXPelsPerMeter = 0;
  H.biYPelsPerMeter = 0;
  H.biClrUsed = static_cast<uint32_t>(DefaultColorCount(Core.bcBitCount));
  H.biClrImportant = 0;
  for (uint32_t I = 0; I < H.biClrUsed; ++I) {
    const uint8_t* T = Triples + 3 * I;
    Info.Colors[I] = RGBQUAD{T[0], T[1], T[2], 0};
  }
}

void ReleaseDIBInfoBits(TKvDIBInfo& Info) {
  if (Info.Bits) ReleaseFileMap(Info.MapHandle, Info.Bits);
  Info.BitsSize = 0;
  Info.MapHandle = kNoMapHandle;
  Info.Bits = nullptr;
}

}  // namespace kv
