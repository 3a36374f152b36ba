#include "platform/graphics/DIBFormat.h"

#include <cstring>

#include "platform/graphics/Surface.h"

namespace kv::gdi_detail {

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV4HeaderSize = 108;
constexpr uint32_t kV5HeaderSize = 124;
constexpr size_t kV4MasksOffset = 40;  // red, green, blue masks inside the larger headers

bool mask_field(uint32_t Mask, TMaskField& Field) {
  if (Mask == 0) return false;
  uint32_t Shift = 0;
  while (((Mask >> Shift) & 1u) == 0) ++Shift;
  const uint32_t Run = Mask >> Shift;
  if ((Run & (Run + 1)) != 0) return false;  // not one run of bits
  uint32_t Bits = 0;
  while (Bits < 32 && ((Run >> Bits) & 1u) != 0) ++Bits;
  Field = TMaskField{Shift, Bits};
  return true;
}

uint32_t read32(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return V;
}

}  // namespace

bool TDIBFormat::StandardMasks() const {
  if (BitCount == 16)
    return Masks[2] == 0x001F &&
           ((Masks[0] == 0xF800 && Masks[1] == 0x07E0) || (Masks[0] == 0x7C00 && Masks[1] == 0x03E0));
  return BitCount == 32 && Masks[0] == 0x00FF0000 && Masks[1] == 0x0000FF00 && Masks[2] == 0x000000FF;
}

bool ParseDIBFormat(const BITMAPINFO* Info, uint32_t Usage, const std::vector<PALETTEENTRY>& DCPalette,
                    TDIBFormat& F) {
  if (Info == nullptr) return false;
  BITMAPINFOHEADER H;
  std::memcpy(&H, Info, sizeof(H));
  if (H.biSize != kInfoHeaderSize && H.biSize != kV4HeaderSize && H.biSize != kV5HeaderSize) return false;
  if (H.biWidth <= 0 || H.biWidth > kMaxCoordinate || H.biHeight == 0 || H.biHeight > kMaxCoordinate ||
      H.biHeight < -kMaxCoordinate)
    return false;
  F = TDIBFormat{};
  F.Width = H.biWidth;
  F.Height = H.biHeight < 0 ? -H.biHeight : H.biHeight;
  F.TopDown = H.biHeight < 0;
  F.BitCount = H.biBitCount;
  F.Compression = H.biCompression;
  F.SizeImage = H.biSizeImage;
  switch (F.BitCount) {
    case 1:
      if (F.Compression != kBiRGB) return false;
      break;
    case 4:
      if (F.Compression != kBiRGB && F.Compression != kBiRLE4) return false;
      break;
    case 8:
      if (F.Compression != kBiRGB && F.Compression != kBiRLE8) return false;
      break;
    case 24:
      if (F.Compression != kBiRGB) return false;
      break;
    case 16:
    case 32:
      if (F.Compression != kBiRGB && F.Compression != kBiBitFields) return false;
      break;
    default: return false;
  }
  F.Stride = SurfaceStride(F.Width, F.BitCount);
  const uint8_t* Base = reinterpret_cast<const uint8_t*>(Info);
  const uint8_t* Table = Base + H.biSize;

  if (F.BitCount == 16 || F.BitCount == 32) {
    if (F.Compression == kBiBitFields) {
      // The masks follow a 40-byte header and sit inside the larger ones.
      const uint8_t* M = H.biSize == kInfoHeaderSize ? Table : Base + kV4MasksOffset;
      for (int I = 0; I < 3; ++I) F.Masks[I] = read32(M + 4 * I);
    } else {
      const bool Sixteen = F.BitCount == 16;
      F.Masks[0] = Sixteen ? 0x7C00 : 0x00FF0000;
      F.Masks[1] = Sixteen ? 0x03E0 : 0x0000FF00;
      F.Masks[2] = Sixteen ? 0x001F : 0x000000FF;
    }
    for (int I = 0; I < 3; ++I)
      if (!mask_field(F.Masks[I], F.Fields[I]) || F.Fields[I].Shift + F.Fields[I].Bits > F.BitCount)
        return false;
  }

  if (F.BitCount <= 8) {
    const uint32_t Limit = 1u << F.BitCount;
    const uint32_t N = H.biClrUsed == 0 || H.biClrUsed > Limit ? Limit : H.biClrUsed;
    F.Colors.resize(N);
    if (Usage == kDibRgbColors) {
      std::memcpy(F.Colors.data(), Table, N * sizeof(RGBQUAD));
    } else if (Usage == kDibPalColors) {
      for (uint32_t I = 0; I < N; ++I) {
        uint16_t Index;
        std::memcpy(&Index, Table + 2 * I, 2);
        const PALETTEENTRY E = Index < DCPalette.size() ? DCPalette[Index] : PALETTEENTRY{0, 0, 0, 0};
        F.Colors[I] = RGBQUAD{E.peBlue, E.peGreen, E.peRed, 0};
      }
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace kv::gdi_detail
