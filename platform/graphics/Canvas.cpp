#include "platform/graphics/Canvas.h"

#include "platform/core/Exceptions.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/Draw.h"
#include "platform/graphics/StretchDIBits.h"

namespace kv {

namespace {

bool same_pen(const TPen& A, const TPen& B) {
  return A.Color == B.Color && A.Width == B.Width && A.Style == B.Style;
}
bool same_brush(const TBrush& A, const TBrush& B) { return A.Color == B.Color && A.Style == B.Style; }

}  // namespace

TCanvas::~TCanvas() { deselect_tools(); }

void TCanvas::SetHandle(HDC Value) {
  if (Value == m_Handle) return;
  deselect_tools();
  m_Handle = Value;
  if (m_Handle != nullptr) {
    POINT P{};
    MoveToEx(m_Handle, 0, 0, &P);  // take over the context's pen position
    MoveToEx(m_Handle, P.x, P.y, nullptr);
    m_PenPos = TPoint{P.x, P.y};
  }
}

HDC TCanvas::required_handle() const {
  if (m_Handle == nullptr) throw EInvalidOperation("Canvas does not allow drawing");
  return m_Handle;
}

void TCanvas::realize_tools() {
  const HDC Dc = required_handle();
  if (m_PenObject.IsEmpty() || !same_pen(Pen, m_RealizedPen)) {
    TGdiObjectOwner<HPEN> New(
        CreatePen(Pen.Style == psClear ? kPsNull : kPsSolid, Pen.Width, ColorToRGB(Pen.Color)));
    if (New.IsEmpty()) throw EOutOfResources("Out of system resources");
    SelectObject(Dc, New.get());
    m_PenObject = std::move(New);  // the previous pen is no longer selected: deleted
    m_RealizedPen = Pen;
  }
  if (m_BrushObject.IsEmpty() || !same_brush(Brush, m_RealizedBrush)) {
    TGdiObjectOwner<HBRUSH> New(CreateSolidBrush(ColorToRGB(Brush.Color)));
    if (New.IsEmpty()) throw EOutOfResources("Out of system resources");
    SelectObject(Dc, Brush.Style == bsClear ? GetStockObject(kNullBrush) : New.get());
    m_BrushObject = std::move(New);
    m_RealizedBrush = Brush;
  }
}

void TCanvas::deselect_tools() {
  if (m_Handle != nullptr) {
    SelectObject(m_Handle, GetStockObject(kBlackPen));
    SelectObject(m_Handle, GetStockObject(kWhiteBrush));
  }
  m_PenObject.reset();
  m_BrushObject.reset();
}

TColor TCanvas::GetPixel(int32_t X, int32_t Y) {
  return static_cast<TColor>(kv::GetPixel(required_handle(), X, Y));
}

void TCanvas::SetPixel(int32_t X, int32_t Y, TColor Color) {
  kv::SetPixel(required_handle(), X, Y, ColorToRGB(Color));
}

void TCanvas::MoveTo(int32_t X, int32_t Y) {
  MoveToEx(required_handle(), X, Y, nullptr);
  m_PenPos = TPoint{X, Y};
}

void TCanvas::LineTo(int32_t X, int32_t Y) {
  realize_tools();
  MoveToEx(m_Handle, m_PenPos.X, m_PenPos.Y, nullptr);
  kv::LineTo(m_Handle, X, Y);
  m_PenPos = TPoint{X, Y};
}

void TCanvas::Rectangle(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  realize_tools();
  kv::Rectangle(m_Handle, Left, Top, Right, Bottom);
}

void TCanvas::FillRect(const TRect& R) {
  realize_tools();
  if (Brush.Style != bsClear)
    kv::FillRect(m_Handle, RECT{R.Left, R.Top, R.Right, R.Bottom}, m_BrushObject.get());
}

void TCanvas::Ellipse(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  realize_tools();
  kv::Ellipse(m_Handle, Left, Top, Right, Bottom);
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  required_handle();
  if (Graphic != nullptr) Graphic->PaintTo(*this, Rect);
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
  if (Graphic == nullptr) return;
  StretchDraw(TRect{X, Y, X + Graphic->GetWidth(), Y + Graphic->GetHeight()}, Graphic);
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas& Canvas, const TRect& Source) {
  StretchBlt(required_handle(), Dest.Left, Dest.Top, Dest.Right - Dest.Left, Dest.Bottom - Dest.Top,
             Canvas.required_handle(), Source.Left, Source.Top, Source.Right - Source.Left,
             Source.Bottom - Source.Top, CopyMode);
}

}  // namespace kv
