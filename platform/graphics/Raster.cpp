#include "platform/graphics/Raster.h"

#include <algorithm>
#include <utility>

namespace kv::gdi_detail {

namespace {

struct TSpan {
  int64_t A = 0, B = -1;  // pixels A .. B; empty when B < A
  bool Empty() const { return B < A; }
};

int64_t floor_half(int64_t V) { return V >= 0 ? V / 2 : -((1 - V) / 2); }

void span(TPixelSurface& S, int64_t Y, int64_t X0, int64_t X1, uint32_t Value) {  // X0 .. X1 inclusive
  if (Y < 0 || Y >= S.Height) return;
  X0 = std::max<int64_t>(X0, 0);
  X1 = std::min<int64_t>(X1, S.Width - 1);
  if (X0 <= X1)
    FillPixelValues(S.Row(static_cast<int32_t>(Y)), static_cast<int32_t>(X0), static_cast<int32_t>(X1 + 1),
                    S.BitCount, Value);
}

// The ellipse inscribed in the box [L, R) x [T, B), in coordinates doubled about its
// centre so that pixel centres are whole numbers.
class TEllipse {
 public:
  TEllipse(int64_t L, int64_t T, int64_t R, int64_t B) : m_L(L), m_T(T), m_R(R), m_B(B) {}
  bool Empty() const { return m_R <= m_L || m_B <= m_T; }

  // The pixels of row Y inside the ellipse: one run, symmetric about the centre.
  TSpan Row(int64_t Y) const {
    if (Empty() || Y < m_T || Y >= m_B) return {};
    const int64_t Centre = floor_half(m_L + m_R - 1);  // the column nearest the centre
    if (!inside(Centre, Y)) return {};
    int64_t Lo = Centre, Hi = m_R - 1;  // inside(Lo) holds; find the last inside column
    while (Lo < Hi) {
      const int64_t Mid = Lo + (Hi - Lo + 1) / 2;
      if (inside(Mid, Y))
        Lo = Mid;
      else
        Hi = Mid - 1;
    }
    return {m_L + m_R - 1 - Lo, Lo};
  }

  // The pixels of row Y inside the ellipse whose four neighbours are inside too.
  TSpan Interior(int64_t Y) const {
    const TSpan Here = Row(Y), Up = Row(Y - 1), Down = Row(Y + 1);
    if (Here.Empty() || Up.Empty() || Down.Empty()) return {};
    return {std::max({Here.A + 1, Up.A, Down.A}), std::min({Here.B - 1, Up.B, Down.B})};
  }

 private:
  bool inside(int64_t X, int64_t Y) const {
    const int64_t DX = 2 * X + 1 - (m_L + m_R), DY = 2 * Y + 1 - (m_T + m_B);
    const int64_t A = m_R - m_L, B = m_B - m_T;  // the axes, doubled like the coordinates
    if (A <= (1 << 14) && B <= (1 << 14)) return DX * DX * B * B + DY * DY * A * A <= A * A * B * B;
    const double X2 = static_cast<double>(DX) / static_cast<double>(A),
                 Y2 = static_cast<double>(DY) / static_cast<double>(B);
    return X2 * X2 + Y2 * Y2 <= 1.0;
  }

  int64_t m_L, m_T, m_R, m_B;
};

void normalise(int64_t& Left, int64_t& Top, int64_t& Right, int64_t& Bottom) {
  if (Left > Right) std::swap(Left, Right);
  if (Top > Bottom) std::swap(Top, Bottom);
}

}  // namespace

void RasterPixel(TPixelSurface& S, int32_t X, int32_t Y, uint32_t Value) {
  if (X >= 0 && Y >= 0 && X < S.Width && Y < S.Height) PutPixelValue(S.Row(Y), X, S.BitCount, Value);
}

void RasterFill(TPixelSurface& S, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom, uint32_t Value) {
  for (int64_t Y = std::max<int64_t>(Top, 0); Y < std::min<int64_t>(Bottom, S.Height); ++Y)
    span(S, Y, Left, Right - 1, Value);
}

void RasterLine(TPixelSurface& S, int64_t X0, int64_t Y0, int64_t X1, int64_t Y1, int32_t Width,
                uint32_t Value) {
  const int64_t DX = X1 > X0 ? X1 - X0 : X0 - X1, SX = X0 < X1 ? 1 : -1;
  const int64_t DY = Y1 > Y0 ? Y0 - Y1 : Y1 - Y0, SY = Y0 < Y1 ? 1 : -1;  // DY <= 0
  const int64_t Before = (std::max(Width, 1) - 1) / 2, Size = std::max(Width, 1);
  int64_t Err = DX + DY, X = X0, Y = Y0;
  while (X != X1 || Y != Y1) {
    if (Size == 1) {
      if (X >= 0 && Y >= 0 && X < S.Width && Y < S.Height)
        PutPixelValue(S.Row(static_cast<int32_t>(Y)), static_cast<int32_t>(X), S.BitCount, Value);
    } else {
      RasterFill(S, X - Before, Y - Before, X - Before + Size, Y - Before + Size, Value);
    }
    const int64_t E2 = 2 * Err;
    if (E2 >= DY) {
      Err += DY;
      X += SX;
    }
    if (E2 <= DX) {
      Err += DX;
      Y += SY;
    }
  }
}

void RasterRectangle(TPixelSurface& S, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom,
                     const TShapeValues& V) {
  normalise(Left, Top, Right, Bottom);
  if (Right <= Left || Bottom <= Top) return;
  if (!V.Pen) {
    if (V.Brush) RasterFill(S, Left, Top, Right, Bottom, *V.Brush);
    return;
  }
  const int64_t W = std::max(V.PenWidth, 1);
  const int64_t InL = Left + W, InT = Top + W, InR = Right - W, InB = Bottom - W;
  if (V.Brush && InL < InR && InT < InB) RasterFill(S, InL, InT, InR, InB, *V.Brush);
  const int64_t BandT = std::min(InT, Bottom), BandB = std::max(InB, BandT);
  RasterFill(S, Left, Top, Right, BandT, *V.Pen);                                   // top rows
  RasterFill(S, Left, BandB, Right, Bottom, *V.Pen);                                // bottom rows
  RasterFill(S, Left, BandT, std::min(InL, Right), BandB, *V.Pen);                  // left columns
  RasterFill(S, std::max(InR, std::min(InL, Right)), BandT, Right, BandB, *V.Pen);  // right columns
}

void RasterEllipse(TPixelSurface& S, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom,
                   const TShapeValues& V) {
  normalise(Left, Top, Right, Bottom);
  const TEllipse Outer(Left, Top, Right, Bottom);
  if (Outer.Empty()) return;
  const int64_t Inset = std::max(V.PenWidth, 1) - 1;
  const TEllipse Inner(Left + Inset, Top + Inset, Right - Inset, Bottom - Inset);
  for (int64_t Y = std::max<int64_t>(Top, 0); Y < std::min<int64_t>(Bottom, S.Height); ++Y) {
    const TSpan Full = Outer.Row(Y);
    if (Full.Empty()) continue;
    if (!V.Pen) {
      if (V.Brush) span(S, Y, Full.A, Full.B, *V.Brush);
      continue;
    }
    TSpan In = Inner.Empty() ? TSpan{} : Inner.Interior(Y);
    In.A = std::max(In.A, Full.A + 1);
    In.B = std::min(In.B, Full.B - 1);
    if (In.Empty()) {
      span(S, Y, Full.A, Full.B, *V.Pen);
      continue;
    }
    if (V.Brush) span(S, Y, In.A, In.B, *V.Brush);
    span(S, Y, Full.A, In.A - 1, *V.Pen);
    span(S, Y, In.B + 1, Full.B, *V.Pen);
  }
}

}  // namespace kv::gdi_detail
