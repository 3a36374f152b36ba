// ConvertMaskedToTrueColor: 16- and 32-bit pixels with red, green and blue bit fields
// turned into 24-bit rows while they are read. The library holds no 16- or 32-bit images,
// so both the BMP stream reader and the clipboard reader go through here.
#include <cstring>
#include <limits>

#include "image/interchange/KvDIBStream.h"

namespace kv {

namespace {

constexpr char kInvalidMasks[] = "TKvInternalDIB.LoadFromStream: Invalid Masks";
constexpr char kTooLarge[] = "TKvInternalDIB.LoadFromStream: Image Too Large";

// One colour field: its mask and the shift that brings the field's top bit to bit 7.
struct TField {
  uint32_t Mask;
  int32_t Shift;

  uint8_t Extract(uint32_t Pixel) const {
    const uint32_t V = Pixel & Mask;
    // MaskShift makes Mask >> Shift (or Mask << -Shift) fall into 128..255, so the
    // masked value always fits a byte.
    return static_cast<uint8_t>(Shift >= 0 ? V >> Shift : V << -Shift);
  }
};

inline uint32_t load16(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8);
}

inline uint32_t load32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}

uint32_t color_entry_as_mask(const RGBQUAD& Q) {
  uint8_t B[4];
  std::memcpy(B, &Q, 4);
  return load32(B);
}

template <int kBytes>
void convert_row(const uint8_t* Src, uint8_t* Dst, int32_t Width, const TField& R, const TField& G,
                 const TField& B) {
  for (int32_t X = 0; X < Width; ++X, Src += kBytes, Dst += 3) {
    const uint32_t P = kBytes == 2 ? load16(Src) : load32(Src);
    Dst[0] = B.Extract(P);
    Dst[1] = G.Extract(P);
    Dst[2] = R.Extract(P);
  }
}

}  // namespace

bool MaskedStride(int32_t Width, int32_t BitCount, int32_t& Stride) {
  if (Width <= 0) return false;
  int64_t S = 0;
  if (BitCount == 16)
    S = ((2 * static_cast<int64_t>(Width) + 3) / 4) * 4;
  else if (BitCount == 32)
    S = 4 * static_cast<int64_t>(Width);
  else
    return false;
  if (S > std::numeric_limits<int32_t>::max()) return false;
  Stride = static_cast<int32_t>(S);
  return true;
}

void ConvertMaskedToTrueColor(TKvDIBInfo& Info, const TKvMaskedRowSource& Rows) {
  BITMAPINFOHEADER& H = Info.Header;
  const int32_t Width = H.biWidth;
  const int32_t BitCount = H.biBitCount;

  // Strides and the block size are checked before anything is allocated.
  int32_t SrcStride = 0;
  int32_t BitsSize = 0;
  if (!MaskedStride(Width, BitCount, SrcStride) || !DIBBlockSize(Width, H.biHeight, 24, BitsSize))
    throw EKvDIBInvalidDIB(kTooLarge);
  const int32_t Height = H.biHeight < 0 ? -H.biHeight : H.biHeight;
  const int32_t DstStride = BitsSize / Height;

  TFileMapBlock Block(BitsSize);  // zero-filled

  uint32_t Masks[3];
  if (H.biCompression == kBiRGB) {
    if (BitCount == 16) {
      Masks[0] = 0x7C00, Masks[1] = 0x03E0, Masks[2] = 0x001F;
    } else {
      Masks[0] = 0x00FF0000, Masks[1] = 0x0000FF00, Masks[2] = 0x000000FF;
    }
  } else {
    // BI_BITFIELDS puts the masks in front of the colour table; for any other
    // compression the first three entries stand in (zero when the file gave none).
    for (int I = 0; I < 3; ++I) Masks[I] = color_entry_as_mask(Info.Colors[I]);
  }
  if (Masks[0] == 0 || Masks[1] == 0 || Masks[2] == 0) throw EKvDIBInvalidDIB(kInvalidMasks);
  const TField R{Masks[0], MaskShift(Masks[0])};
  const TField G{Masks[1], MaskShift(Masks[1])};
  const TField B{Masks[2], MaskShift(Masks[2])};

  for (int32_t Row = 0; Row < Height; ++Row) {
    const uint8_t* Src = Rows(Row, SrcStride);
    uint8_t* Dst = Block.Bits() + static_cast<size_t>(Row) * static_cast<size_t>(DstStride);
    std::memset(Dst + DstStride - 4, 0, 4);  // the row's padding, whatever the width
    if (BitCount == 16)
      convert_row<2>(Src, Dst, Width, R, G, B);
    else
      convert_row<4>(Src, Dst, Width, R, G, B);
  }

  // Everything read; now the descriptor changes.
  if (H.biCompression == kBiBitFields) {
    std::memmove(&Info.Colors[0], &Info.Colors[3], 256 * sizeof(RGBQUAD));
    std::memset(&Info.Colors[256], 0, (kDIBColorSlots - 256) * sizeof(RGBQUAD));
  }
  H.biCompression = kBiRGB;
  H.biBitCount = 24;
  H.biSizeImage = 0;
  HandOver(Block, Info);
}

}  // namespace kv
