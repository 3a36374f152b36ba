// ConvertMaskedToTrueColor: the masks, their shifts and the per-row conversion.
#include "image/interchange/KvMaskedDIB.h"

#include <cstring>

#include "image/KvGeometry.h"
#include "image/interchange/KvDIBHeader.h"
#include "platform/core/ByteOrder.h"

namespace kv {

namespace {

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

uint32_t color_entry_as_mask(const RGBQUAD& Q) {
  uint8_t B[4];
  std::memcpy(B, &Q, 4);
  return LoadLE32(B);
}

template <int kBytes>
void convert_row(const uint8_t* Src, uint8_t* Dst, int32_t Width, const TField& R, const TField& G,
                 const TField& B) {
  for (int32_t X = 0; X < Width; ++X, Src += kBytes, Dst += 3) {
    const uint32_t P = kBytes == 2 ? LoadLE16(Src) : LoadLE32(Src);
    Dst[0] = B.Extract(P);
    Dst[1] = G.Extract(P);
    Dst[2] = R.Extract(P);
  }
}

}  // namespace

void ConvertMaskedToTrueColor(TKvDIBInfo& Info, const TKvMaskedRowSource& Rows) {
  BITMAPINFOHEADER& H = Info.Header;
  const int32_t Width = H.biWidth;
  const int32_t BitCount = H.biBitCount;

  // Strides and the block size are checked before anything is allocated.
  const int64_t SrcStride = MaskedRowStride(Width, BitCount);
  const int64_t DstStride = RowStride(Width, 24);
  const int64_t Height = RowCount(H.biHeight);
  if (Width <= 0 || SrcStride <= 0 || SrcStride > kMaxBlockBytes || !FitsBlock(DstStride, Height))
    throw EKvDIBInvalidDIB(kMsgImageTooLarge);
  const auto BitsSize = static_cast<int32_t>(DstStride * Height);

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
  if (Masks[0] == 0 || Masks[1] == 0 || Masks[2] == 0) throw EKvDIBInvalidDIB(kMsgInvalidMasks);
  const TField R{Masks[0], MaskShift(Masks[0])};
  const TField G{Masks[1], MaskShift(Masks[1])};
  const TField B{Masks[2], MaskShift(Masks[2])};

  for (int32_t Row = 0; Row < Height; ++Row) {
    const uint8_t* Src = Rows(Row, static_cast<int32_t>(SrcStride));
    uint8_t* Dst = Block.Bits() + Row * DstStride;
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
