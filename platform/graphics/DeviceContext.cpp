#include "platform/graphics/DeviceContext.h"

#include <algorithm>

#include "platform/graphics/GdiTable.h"
#include "platform/graphics/Screen.h"

namespace kv {

using namespace gdi_detail;

namespace {

using TLock = TSpinGuard;

void select_into(void* Handle, int32_t Delta) {
  if (const auto O = FindObject(Handle)) O->Selections += Delta;
}

// A new context holding the stock pen, brush and palette and Bitmap.
HDC make_dc(bool Screen, HBITMAP Bitmap) {
  auto Dc = std::make_shared<TDCObject>();
  Dc->Screen = Screen;
  Dc->Bitmap = Bitmap;
  Dc->Palette = static_cast<HPALETTE>(StockObject(kDefaultPalette));
  Dc->Pen = static_cast<HPEN>(StockObject(kBlackPen));
  Dc->Brush = static_cast<HBRUSH>(StockObject(kWhiteBrush));
  TLock Lock(GdiMutex());
  HDC Handle = static_cast<HDC>(AddObject(Dc));
  if (Handle == nullptr) return nullptr;
  for (void* O : {static_cast<void*>(Dc->Bitmap), static_cast<void*>(Dc->Palette),
                  static_cast<void*>(Dc->Pen), static_cast<void*>(Dc->Brush)})
    select_into(O, +1);
  return Handle;
}

void remove_dc(HDC Handle, TDCObject& Dc) {
  for (void* O : {static_cast<void*>(Dc.Bitmap), static_cast<void*>(Dc.Palette), static_cast<void*>(Dc.Pen),
                  static_cast<void*>(Dc.Brush)})
    select_into(O, -1);
  RemoveObject(Handle);
}

// Replaces the handle in Slot by Object and returns the previous one.
template <class H>
H swap_selection(H& Slot, H Object) {
  const H Old = Slot;
  if (Old != Object) {
    select_into(Object, +1);
    select_into(Old, -1);
    Slot = Object;
  }
  return Old;
}

}  // namespace

namespace gdi_detail {

bool ResolveTarget(HDC Dc, TDrawTarget& Target) {
  TLock Lock(GdiMutex());
  Target.DC = Find<TDCObject>(Dc);
  if (!Target.DC) return false;
  const auto Bmp = Find<TBitmapObject>(Target.DC->Bitmap);
  if (!Bmp || !Bmp->Surface) return false;
  Target.Surface = Bmp->Surface;
  if (const auto Pal = Find<TPaletteObject>(Target.DC->Palette)) Target.Palette = Pal->Entries;
  if (const auto Pen = Find<TPenObject>(Target.DC->Pen)) Target.Pen = Pen->State;
  if (const auto Brush = Find<TBrushObject>(Target.DC->Brush)) Target.Brush = Brush->State;
  return true;
}

}  // namespace gdi_detail

HDC CreateCompatibleDC(HDC Dc) {
  if (Dc != nullptr) {
    TLock Lock(GdiMutex());
    if (!Find<TDCObject>(Dc)) return nullptr;
  }
  return make_dc(false, StockBitmap());
}

bool DeleteDC(HDC Dc) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (!D || D->Screen) return false;
  remove_dc(Dc, *D);
  return true;
}

HDC GetDC(HWND Window) {
  if (Window != nullptr) return nullptr;
  return make_dc(true, GetScreenBitmap());
}

int32_t ReleaseDC(HWND Window, HDC Dc) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (Window != nullptr || !D || !D->Screen) return 0;
  remove_dc(Dc, *D);
  return 1;
}

HGDIOBJ SelectObject(HDC Dc, HGDIOBJ Object) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  const auto O = FindObject(Object);
  if (!D || !O) return nullptr;
  switch (O->Kind) {
    case TObjectKind::Bitmap: {
      if (D->Screen) return nullptr;
      const bool Elsewhere = !O->Stock && O->Selections > 0 && D->Bitmap != Object;
      if (Elsewhere) return nullptr;
      return swap_selection(D->Bitmap, static_cast<HBITMAP>(Object));
    }
    case TObjectKind::Pen: return swap_selection(D->Pen, static_cast<HPEN>(Object));
    case TObjectKind::Brush: return swap_selection(D->Brush, static_cast<HBRUSH>(Object));
    default: return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC Dc, uint32_t Type) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (!D) return nullptr;
  switch (Type) {
    case kObjBitmap: return D->Bitmap;
    case kObjPal: return D->Palette;
    case kObjPen: return D->Pen;
    case kObjBrush: return D->Brush;
    default: return nullptr;
  }
}

HPALETTE SelectPalette(HDC Dc, HPALETTE Palette, bool ForceBackground) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (!D || !Find<TPaletteObject>(Palette)) return nullptr;
  const HPALETTE Old = swap_selection(D->Palette, Palette);
  ++D->History.Selections;
  D->History.LastSelected = Palette;
  D->History.LastForcedBackground = ForceBackground;
  return Old;
}

uint32_t RealizePalette(HDC Dc) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (!D) return kGdiError;
  const auto Pal = Find<TPaletteObject>(D->Palette);
  if (!Pal) return kGdiError;
  uint32_t Mapped = static_cast<uint32_t>(Pal->Entries.size());
  const auto Bmp = Find<TBitmapObject>(D->Bitmap);
  if (D->Screen && Bmp && Bmp->Surface->Indexed()) {
    // A palette device: the realized palette becomes the screen's colour table.
    TPixelSurface& S = *Bmp->Surface;
    const size_t Limit = size_t{1} << S.BitCount;
    if (S.Colors.size() < Limit) S.Colors.resize(Limit, RGBQUAD{0, 0, 0, 0});
    Mapped = static_cast<uint32_t>(std::min(Limit, Pal->Entries.size()));
    for (uint32_t I = 0; I < Mapped; ++I) {
      const PALETTEENTRY& E = Pal->Entries[I];
      S.Colors[I] = RGBQUAD{E.peBlue, E.peGreen, E.peRed, 0};
    }
  }
  ++D->History.Realizations;
  D->History.LastRealized = D->Palette;
  return Mapped;
}

bool GetDCPaletteHistory(HDC Dc, TDCPaletteHistory& History) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (!D) return false;
  History = D->History;
  return true;
}

int32_t SetStretchBltMode(HDC Dc, int32_t Mode) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (!D || Mode < kBlackOnWhite || Mode > kHalftoneMode) return 0;
  return std::exchange(D->StretchMode, Mode);
}

int32_t GetStretchBltMode(HDC Dc) {
  TLock Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  return D ? D->StretchMode : 0;
}

int32_t GetDeviceCaps(HDC Dc, int32_t Index) {
  TDrawTarget T;
  if (!ResolveTarget(Dc, T)) return 0;
  const TPixelSurface& S = *T.Surface;
  const bool PaletteDevice = T.DC->Screen && S.Indexed();
  switch (Index) {
    case kHorzRes: return S.Width;
    case kVertRes: return S.Height;
    case kBitsPixel: return S.BitCount;
    case kPlanes: return 1;
    case kNumColors: return S.Indexed() ? static_cast<int32_t>(S.Colors.size()) : -1;
    case kRasterCaps: return PaletteDevice ? kRcPalette : 0;
    case kSizePalette: return PaletteDevice ? 1 << S.BitCount : 0;
    default: return 0;
  }
}

}  // namespace kv
