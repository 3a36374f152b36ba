// TCanvas: the drawing surface of the runtime's graphic framework, over a device context
// that its owner gives it (a bitmap's memory context, an image's DIB section context).
// Pen and brush are plain settings; the canvas makes the matching pen and brush objects
// when it draws and selects them into its context. Shapes are rasterised as Raster.h
// describes; text is not drawn.
#pragma once

#include <cstdint>

#include "platform/framework/Graphic.h"
#include "platform/framework/Persistent.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/graphics/GdiTypes.h"

namespace kv {

constexpr TColor kClRed = 0x000000FF;
constexpr TColor kClLime = 0x0000FF00;
constexpr TColor kClBlue = 0x00FF0000;

enum TPenStyle : uint8_t { psSolid, psClear };
enum TBrushStyle : uint8_t { bsSolid, bsClear };

struct TPen {
  TColor Color = kClBlack;
  int32_t Width = 1;
  TPenStyle Style = psSolid;
};

struct TBrush {
  TColor Color = kClWhite;
  TBrushStyle Style = bsSolid;
};

// Copy modes: the raster operation of CopyRect and of drawing graphics.
constexpr uint32_t cmSrcCopy = kSrcCopy;

class TCanvas : public TPersistent {
 public:
  TCanvas() = default;
  ~TCanvas() override;

  // The device context drawn on; the canvas does not own it. Setting a new one (or
  // nullptr) first selects the stock pen and brush back into the old one.
  HDC Handle() const { return m_Handle; }
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return m_Handle != nullptr; }

  TPen Pen;
  TBrush Brush;
  uint32_t CopyMode = cmSrcCopy;

  // Drawing without a device context raises EInvalidOperation "Canvas does not allow drawing".
  TColor GetPixel(int32_t X, int32_t Y);  // -1 outside the surface
  void SetPixel(int32_t X, int32_t Y, TColor Color);
  TPoint PenPos() const { return m_PenPos; }
  void SetPenPos(TPoint Value) { MoveTo(Value.X, Value.Y); }
  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);  // the end point is not drawn
  void Rectangle(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void FillRect(const TRect& R);  // with the brush, no outline
  void Ellipse(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }

  // Draws Graphic stretched into Rect (its PaintTo), or at its own size from (X, Y).
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);
  void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
  // Copies Source of Canvas stretched into Dest with CopyMode.
  void CopyRect(const TRect& Dest, TCanvas& Canvas, const TRect& Source);

 private:
  HDC required_handle() const;
  // Selects pen and brush objects matching Pen and Brush into the context.
  void realize_tools();
  void deselect_tools();

  HDC m_Handle = nullptr;
  TPoint m_PenPos;
  TGdiObjectOwner<HPEN> m_PenObject;
  TGdiObjectOwner<HBRUSH> m_BrushObject;
  TPen m_RealizedPen;
  TBrush m_RealizedBrush;
};

}  // namespace kv
