#include "platform/graphics/GdiBitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/graphics/DIBFormat.h"
#include "platform/graphics/GdiTable.h"

namespace kv {

using namespace gdi_detail;

namespace {

using TLock = TSpinGuard;

HBITMAP add_bitmap(std::shared_ptr<TPixelSurface> Surface, bool DIBSection) {
  auto Bmp = std::make_shared<TBitmapObject>();
  Bmp->Surface = std::move(Surface);
  Bmp->DIBSection = DIBSection;
  TLock Lock(GdiMutex());
  return static_cast<HBITMAP>(AddObject(std::move(Bmp)));
}

std::shared_ptr<TPixelSurface> selected_surface(HDC Dc) {
  TDrawTarget Target;
  return ResolveTarget(Dc, Target) ? Target.Surface : nullptr;
}

}  // namespace

HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitsPerPixel,
                     const void* Bits) {
  if (Width == 0 || Height == 0) return StockBitmap();
  const uint32_t Depth = Planes * BitsPerPixel;
  auto S = std::make_shared<TPixelSurface>();
  if (Planes != 1 || Depth > 32 ||
      !ShapeSurface(*S, Width, Height, static_cast<uint16_t>(Depth), false, true) || !S->AllocateOwned())
    return nullptr;
  if (Bits != nullptr) {
    const int64_t RowBytes = (static_cast<int64_t>(Width) * Depth + 15) / 16 * 2;  // rows padded to 2 bytes
    const int64_t Copy = std::min<int64_t>(RowBytes, S->Stride);
    for (int32_t Y = 0; Y < Height; ++Y)
      std::memcpy(S->Row(Y), static_cast<const uint8_t*>(Bits) + RowBytes * Y, static_cast<size_t>(Copy));
  }
  return add_bitmap(std::move(S), false);
}

HBITMAP CreateCompatibleBitmap(HDC Dc, int32_t Width, int32_t Height) {
  const std::shared_ptr<TPixelSurface> Like = selected_surface(Dc);
  if (!Like) return nullptr;
  if (Width == 0 || Height == 0) return StockBitmap();
  auto S = std::make_shared<TPixelSurface>();
  if (!ShapeSurface(*S, Width, Height, Like->BitCount, Like->Green6, true, Like->Colors) ||
      !S->AllocateOwned())
    return nullptr;
  return add_bitmap(std::move(S), false);
}

HBITMAP CreateDIBSection(HDC Dc, const BITMAPINFO* Info, uint32_t Usage, void** Bits, TMapHandle Section,
                         uint32_t Offset) {
  if (Bits != nullptr) *Bits = nullptr;
  TDrawTarget Target;
  if (Dc != nullptr && !ResolveTarget(Dc, Target)) return nullptr;
  TDIBFormat F;
  if (!ParseDIBFormat(Info, Usage, Target.Palette, F) || F.Compressed()) return nullptr;
  if (F.Compression == kBiBitFields && !F.StandardMasks()) return nullptr;
  auto S = std::make_shared<TPixelSurface>();
  if (!ShapeSurface(*S, F.Width, F.Height, F.BitCount, F.Green6(), F.TopDown, F.Colors)) return nullptr;
  if (Section == kNoMapHandle) {
    if (!S->AllocateOwned()) return nullptr;
  } else {
    TFileMapView View;
    if (Offset % 4 != 0 || !OpenFileMapView(Section, View)) return nullptr;
    if (View.Size < static_cast<int64_t>(Offset) + S->Bytes()) {
      CloseFileMapView(View);
      return nullptr;
    }
    S->AdoptView(View, Offset);
  }
  uint8_t* Pixels = S->Bits;
  const HBITMAP Bmp = add_bitmap(std::move(S), true);
  if (Bmp != nullptr && Bits != nullptr) *Bits = Pixels;
  return Bmp;
}

uint32_t GetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, RGBQUAD* Colors) {
  const std::shared_ptr<TPixelSurface> S = selected_surface(Dc);
  if (!S || !S->Indexed() || Colors == nullptr || Start >= S->Colors.size()) return 0;
  const auto N = static_cast<uint32_t>(std::min<size_t>(Count, S->Colors.size() - Start));
  std::memcpy(Colors, S->Colors.data() + Start, N * sizeof(RGBQUAD));
  return N;
}

uint32_t SetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, const RGBQUAD* Colors) {
  const std::shared_ptr<TPixelSurface> S = selected_surface(Dc);
  if (!S || !S->Indexed() || Colors == nullptr) return 0;
  const uint32_t Limit = 1u << S->BitCount;
  if (Start >= Limit) return 0;
  const uint32_t N = std::min(Count, Limit - Start);
  TLock Lock(GdiMutex());
  if (S->Colors.size() < Start + N) S->Colors.resize(Start + N, RGBQUAD{0, 0, 0, 0});
  std::memcpy(S->Colors.data() + Start, Colors, N * sizeof(RGBQUAD));
  return N;
}

}  // namespace kv
