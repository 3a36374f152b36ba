#include "image/KvDIBInfo.h"

#include <cstring>

namespace kv {

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

}  // namespace kv
