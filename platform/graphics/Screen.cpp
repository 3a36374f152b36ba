#include "platform/graphics/Screen.h"

#include "platform/graphics/GdiTable.h"

namespace kv {

using namespace gdi_detail;

namespace {

std::shared_ptr<TPixelSurface> make_screen(int32_t Width, int32_t Height, uint16_t BitCount) {
  auto S = std::make_shared<TPixelSurface>();
  if (!ShapeSurface(*S, Width, Height, BitCount, false, true) || !S->AllocateOwned()) return nullptr;
  return S;
}

}  // namespace

HBITMAP GetScreenBitmap() {
  TSpinGuard Lock(GdiMutex());
  static const HBITMAP Screen = [] {
    auto Bmp = std::make_shared<TBitmapObject>();
    Bmp->Surface = make_screen(1024, 768, 24);
    Bmp->Stock = true;
    return static_cast<HBITMAP>(AddObject(std::move(Bmp)));
  }();
  return Screen;
}

bool ResetScreen(int32_t Width, int32_t Height, uint16_t BitCount) {
  const HBITMAP Screen = GetScreenBitmap();
  std::shared_ptr<TPixelSurface> S = make_screen(Width, Height, BitCount);
  if (!S) return false;
  TSpinGuard Lock(GdiMutex());
  Find<TBitmapObject>(Screen)->Surface = std::move(S);
  return true;
}

}  // namespace kv
