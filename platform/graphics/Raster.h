// Rasterising the drawing primitives onto a surface, clipped to it. Only the layer's own
// sources include this.
//
// Conventions (the platform's, where it has one):
//   - A line from (X0, Y0) to (X1, Y1) sets the pixels a Bresenham walk visits from the
//     first point up to, but not including, the last; a pen of width w > 1 sets the w x w
//     square around each of them (centred, rounding up and left).
//   - A rectangle or ellipse given by (Left, Top, Right, Bottom) occupies the pixels
//     Left .. Right - 1 and Top .. Bottom - 1 (corners taken in either order). Its outline
//     lies inside that box; the interior is what the outline encloses.
//   - A rectangle's outline of width w is the w outermost rows and columns of the box.
//   - An ellipse's pixels are those whose centre lies inside (or on) the ellipse inscribed
//     in the box. Its outline of width 1 is the pixels of the ellipse with a horizontal or
//     vertical neighbour outside it; of width w, the pixels of the ellipse outside the
//     interior of the ellipse inset by w - 1 on every side.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/graphics/Surface.h"

namespace kv::gdi_detail {

// Values to draw with; nullopt draws nothing (a null pen or brush).
struct TShapeValues {
  std::optional<uint32_t> Pen;
  int32_t PenWidth = 1;
  std::optional<uint32_t> Brush;
};

void RasterPixel(TPixelSurface& S, int32_t X, int32_t Y, uint32_t Value);
void RasterFill(TPixelSurface& S, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom, uint32_t Value);
void RasterLine(TPixelSurface& S, int64_t X0, int64_t Y0, int64_t X1, int64_t Y1, int32_t Width,
                uint32_t Value);
void RasterRectangle(TPixelSurface& S, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom,
                     const TShapeValues& V);
void RasterEllipse(TPixelSurface& S, int64_t Left, int64_t Top, int64_t Right, int64_t Bottom,
                   const TShapeValues& V);

}  // namespace kv::gdi_detail
