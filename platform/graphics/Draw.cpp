#include "platform/graphics/Draw.h"

#include "platform/graphics/DIBFormat.h"
#include "platform/graphics/GdiTable.h"
#include "platform/graphics/Raster.h"

namespace kv {

using namespace gdi_detail;

namespace {

// The value Color takes on the target's surface.
uint32_t value_of(const TDrawTarget& T, COLORREF Color) {
  if ((Color >> 24) == 0x01) {  // an entry of the context's palette
    const uint32_t Index = Color & 0xFFFF;
    const PALETTEENTRY E = Index < T.Palette.size() ? T.Palette[Index] : PALETTEENTRY{0, 0, 0, 0};
    Color = MakeRGB(E.peRed, E.peGreen, E.peBlue);
  }
  return SurfaceValueOf(*T.Surface, Color & 0x00FFFFFF);
}

TShapeValues shape_values(const TDrawTarget& T) {
  TShapeValues V;
  if (T.Pen.Style != kPsNull) V.Pen = value_of(T, T.Pen.Color);
  V.PenWidth = T.Pen.Width;
  if (T.Brush.Style != kBsNull) V.Brush = value_of(T, T.Brush.Color);
  return V;
}

bool within_coordinates(int32_t A, int32_t B, int32_t C, int32_t D) {
  for (const int32_t V : {A, B, C, D})
    if (V < -kMaxCoordinate || V > kMaxCoordinate) return false;
  return true;
}

}  // namespace

HPEN CreatePen(uint32_t Style, int32_t Width, COLORREF Color) {
  if ((Style != kPsSolid && Style != kPsNull) || Width < 0 || Width > 1024) return nullptr;
  auto P = std::make_shared<TPenObject>();
  P->State = TPenState{Style, Width == 0 ? 1 : Width, Color};
  TSpinGuard Lock(GdiMutex());
  return static_cast<HPEN>(AddObject(std::move(P)));
}

HBRUSH CreateSolidBrush(COLORREF Color) {
  auto B = std::make_shared<TBrushObject>();
  B->State = TBrushState{kBsSolid, Color};
  TSpinGuard Lock(GdiMutex());
  return static_cast<HBRUSH>(AddObject(std::move(B)));
}

COLORREF SetPixel(HDC Dc, int32_t X, int32_t Y, COLORREF Color) {
  TDrawTarget T;
  if (!ResolveTarget(Dc, T) || X < 0 || Y < 0 || X >= T.Surface->Width || Y >= T.Surface->Height)
    return kClrInvalid;
  const uint32_t Value = value_of(T, Color);
  RasterPixel(*T.Surface, X, Y, Value);
  return SurfaceColorOf(*T.Surface, Value);
}

COLORREF GetPixel(HDC Dc, int32_t X, int32_t Y) {
  TDrawTarget T;
  if (!ResolveTarget(Dc, T) || X < 0 || Y < 0 || X >= T.Surface->Width || Y >= T.Surface->Height)
    return kClrInvalid;
  const TPixelSurface& S = *T.Surface;
  return SurfaceColorOf(S, GetPixelValue(S.Row(Y), X, S.BitCount));
}

bool MoveToEx(HDC Dc, int32_t X, int32_t Y, POINT* Old) {
  TSpinGuard Lock(GdiMutex());
  const auto D = Find<TDCObject>(Dc);
  if (!D) return false;
  if (Old != nullptr) *Old = POINT{D->PenX, D->PenY};
  D->PenX = X;
  D->PenY = Y;
  return true;
}

bool LineTo(HDC Dc, int32_t X, int32_t Y) {
  TDrawTarget T;
  if (!ResolveTarget(Dc, T)) return false;
  int32_t X0, Y0;
  {
    TSpinGuard Lock(GdiMutex());
    X0 = T.DC->PenX;
    Y0 = T.DC->PenY;
    T.DC->PenX = X;
    T.DC->PenY = Y;
  }
  if (!within_coordinates(X0, Y0, X, Y)) return false;
  if (T.Pen.Style != kPsNull) RasterLine(*T.Surface, X0, Y0, X, Y, T.Pen.Width, value_of(T, T.Pen.Color));
  return true;
}

bool Rectangle(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  TDrawTarget T;
  if (!ResolveTarget(Dc, T)) return false;
  RasterRectangle(*T.Surface, Left, Top, Right, Bottom, shape_values(T));
  return true;
}

bool Ellipse(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  TDrawTarget T;
  if (!ResolveTarget(Dc, T) || !within_coordinates(Left, Top, Right, Bottom)) return false;
  RasterEllipse(*T.Surface, Left, Top, Right, Bottom, shape_values(T));
  return true;
}

bool FillRect(HDC Dc, const RECT& Rect, HBRUSH Brush) {
  TDrawTarget T;
  if (!ResolveTarget(Dc, T)) return false;
  TBrushState State;
  {
    TSpinGuard Lock(GdiMutex());
    const auto B = Find<TBrushObject>(Brush);
    if (!B) return false;
    State = B->State;
  }
  if (State.Style != kBsNull)
    RasterFill(*T.Surface, Rect.left, Rect.top, Rect.right, Rect.bottom, value_of(T, State.Color));
  return true;
}

}  // namespace kv
