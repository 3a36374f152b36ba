// Reading a BITMAPINFO: the geometry, pixel format, bit-field masks and colour table that
// StretchDIBits, CreateDIBSection and GetDIBits are given. Only the layer's own sources
// include this.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics/GdiTypes.h"

namespace kv::gdi_detail {

// One colour channel of a 16- or 32-bit pixel: Bits contiguous bits from Shift up.
struct TMaskField {
  uint32_t Shift = 0;
  uint32_t Bits = 0;
};

struct TDIBFormat {
  int32_t Width = 0;
  int32_t Height = 0;             // |biHeight|
  bool TopDown = false;           // biHeight < 0
  uint16_t BitCount = 0;          // 1, 4, 8, 16, 24 or 32
  uint32_t Compression = kBiRGB;  // kBiRGB, kBiRLE8, kBiRLE4 or kBiBitFields
  uint32_t SizeImage = 0;
  int32_t Stride = 0;  // of uncompressed rows
  // 16 and 32 bits: the red, green and blue fields (the defaults of kBiRGB: 5-5-5 and 8-8-8).
  uint32_t Masks[3] = {};
  TMaskField Fields[3];
  // 1, 4 and 8 bits: biClrUsed entries (or all 2^BitCount when it is 0), at most 2^BitCount.
  std::vector<RGBQUAD> Colors;

  bool Compressed() const { return Compression == kBiRLE8 || Compression == kBiRLE4; }
  // 16 bits with the masks of 5-6-5 or 5-5-5; 32 bits with those of 8-8-8.
  bool StandardMasks() const;
  bool Green6() const { return BitCount == 16 && Masks[1] == 0x07E0; }
};

// Parses Info. Colour tables of kDibPalColors hold 16-bit indices into DCPalette (the
// palette selected in the device context); an index beyond it gives black. False for a
// header this layer cannot draw from: a size other than 40, 108 or 124, a width or height
// of 0 or beyond 2^27, an unknown depth or compression, masks that are 0 or not one run of
// bits, an RLE depth that does not match its compression.
bool ParseDIBFormat(const BITMAPINFO* Info, uint32_t Usage, const std::vector<PALETTEENTRY>& DCPalette,
                    TDIBFormat& Format);

// Largest coordinate and extent the layer draws with (the platform's 28-bit space).
constexpr int32_t kMaxCoordinate = (1 << 27) - 1;

}  // namespace kv::gdi_detail
