// Drawing on a device context: pens and brushes, pixels, lines, rectangles and ellipses,
// rasterised as Raster.h describes. Colours are COLORREF values (the top byte 0x01 names an
// entry of the context's palette, PaletteIndex); on an indexed surface a colour is drawn as
// the nearest entry of the surface's colour table.
#pragma once

#include <cstdint>

#include "platform/graphics/GdiTypes.h"

namespace kv {

struct POINT {
  int32_t x;
  int32_t y;
};

struct RECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// A pen of kPsSolid or kPsNull style, Width pixels wide (0 counts as 1); nullptr on failure.
HPEN CreatePen(uint32_t Style, int32_t Width, COLORREF Color);
HBRUSH CreateSolidBrush(COLORREF Color);

// Sets one pixel and returns the colour it now shows; kClrInvalid outside the surface or
// for an invalid context.
COLORREF SetPixel(HDC Dc, int32_t X, int32_t Y, COLORREF Color);
// The colour of one pixel; kClrInvalid outside the surface or for an invalid context.
COLORREF GetPixel(HDC Dc, int32_t X, int32_t Y);

// Moves the pen position (Old, when given, receives the previous one).
bool MoveToEx(HDC Dc, int32_t X, int32_t Y, POINT* Old);
// Draws with the selected pen from the pen position to (X, Y), that point excluded, and
// moves the pen position there.
bool LineTo(HDC Dc, int32_t X, int32_t Y);
// Outlines with the selected pen and fills with the selected brush.
bool Rectangle(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
bool Ellipse(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// Fills Rect (right and bottom edges excluded; nothing when they do not lie beyond left and
// top) with Brush, without a pen.
bool FillRect(HDC Dc, const RECT& Rect, HBRUSH Brush);

}  // namespace kv
