#include "platform/graphics/DIBits.h"

#include <algorithm>
#include <cstring>

#include "platform/graphics/GdiTable.h"
#include "platform/graphics/Stretch.h"

namespace kv {

using namespace gdi_detail;

namespace {

// The colour table of an indexed DIB read from Surface (see GetDIBits).
std::vector<RGBQUAD> output_table(const TPixelSurface& Surface, uint16_t BitCount, const TDrawTarget& Dc,
                                  bool DefaultPalette) {
  const size_t Limit = size_t{1} << BitCount;
  std::vector<RGBQUAD> T;
  if (Surface.Indexed() && Surface.BitCount == BitCount) {
    T = Surface.Colors;
  } else if (BitCount > 1 && !DefaultPalette) {
    for (const PALETTEENTRY& E : Dc.Palette) T.push_back(RGBQUAD{E.peBlue, E.peGreen, E.peRed, 0});
  } else {
    T = DefaultColorTable(BitCount);
  }
  if (T.size() > Limit) T.resize(Limit);
  return T;
}

void write_table(BITMAPINFO* Info, const std::vector<RGBQUAD>& Table, uint16_t BitCount) {
  uint8_t* Dst = reinterpret_cast<uint8_t*>(Info) + Info->bmiHeader.biSize;
  const size_t Limit = size_t{1} << BitCount;
  std::memset(Dst, 0, Limit * sizeof(RGBQUAD));
  if (!Table.empty()) std::memcpy(Dst, Table.data(), Table.size() * sizeof(RGBQUAD));
}

}  // namespace

int32_t GetDIBits(HDC Dc, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits, BITMAPINFO* Info,
                  uint32_t Usage) {
  TDrawTarget Target;
  if (Info == nullptr || !ResolveTarget(Dc, Target)) return 0;
  std::shared_ptr<TPixelSurface> Surface;
  const HGDIOBJ Default = StockObject(kDefaultPalette);
  bool DefaultPalette = false;
  {
    TSpinGuard Lock(GdiMutex());
    const auto Bmp = Find<TBitmapObject>(Bitmap);
    if (!Bmp) return 0;
    Surface = Bmp->Surface;
    DefaultPalette = Target.DC->Palette == Default;
  }
  const TPixelSurface& S = *Surface;
  BITMAPINFOHEADER& H = Info->bmiHeader;
  if (H.biSize != 40 && H.biSize != 108 && H.biSize != 124) return 0;

  if (Bits == nullptr && H.biBitCount == 0) {
    H.biWidth = S.Width;
    H.biHeight = S.Height;
    H.biPlanes = 1;
    H.biBitCount = S.BitCount;
    H.biCompression = S.Green6 ? kBiBitFields : kBiRGB;
    H.biSizeImage = static_cast<uint32_t>(S.Bytes());
    if (S.Green6) {
      const uint32_t Masks[3] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(reinterpret_cast<uint8_t*>(Info) + H.biSize, Masks, sizeof(Masks));
    }
    return S.Height;
  }

  const uint16_t BitCount = H.biBitCount;
  const bool KnownDepth =
      BitCount == 1 || BitCount == 4 || BitCount == 8 || BitCount == 16 || BitCount == 24 || BitCount == 32;
  if (!KnownDepth || H.biCompression != kBiRGB || H.biWidth <= 0 || H.biHeight == 0 ||
      H.biWidth > kMaxCoordinate || H.biHeight > kMaxCoordinate || H.biHeight < -kMaxCoordinate)
    return 0;
  if (BitCount <= 8 && Usage != kDibRgbColors) return 0;
  const bool TopDown = H.biHeight < 0;
  const int32_t Rows = TopDown ? -H.biHeight : H.biHeight;
  const std::vector<RGBQUAD> Table =
      BitCount <= 8 ? output_table(S, BitCount, Target, DefaultPalette) : std::vector<RGBQUAD>{};
  if (Bits == nullptr) {
    H.biSizeImage = static_cast<uint32_t>(static_cast<int64_t>(SurfaceStride(H.biWidth, BitCount)) * Rows);
    if (BitCount <= 8) write_table(Info, Table, BitCount);
    return S.Height;
  }

  // Scan line s of the DIB is row s of the bitmap counted from the same edge.
  const int64_t End = std::min<int64_t>({int64_t{Start} + Lines, Rows, S.Height});
  if (End <= Start) return 0;
  const auto Count = static_cast<int32_t>(End - Start);
  TPixelSurface Out;  // laid over the caller's memory, holding the requested lines only
  if (!ShapeSurface(Out, H.biWidth, Count, BitCount, false, TopDown, Table)) return 0;
  Out.Bits = static_cast<uint8_t*>(Bits);
  TStretchSource Src;
  if (!SourceFromSurface(S, false, Src)) return 0;
  const int64_t TopRow = TopDown ? int64_t{Start} : int64_t{S.Height} - Start - Count;  // from the top
  const int64_t SrcY = S.TopDown ? TopRow : int64_t{S.Height} - TopRow - Count;
  const int32_t Width = std::min(H.biWidth, S.Width);
  StretchToSurface(Out, 0, 0, Width, Count, Src, 0, static_cast<int32_t>(SrcY), Width, Count);
  if (BitCount <= 8) write_table(Info, Table, BitCount);
  return Count;
}

}  // namespace kv
