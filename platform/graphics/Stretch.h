// The stretch engine behind StretchDIBits, StretchBlt and GetDIBits: copies a rectangle of
// a source image, scaled to a rectangle of a destination surface, by nearest-pixel
// sampling. Only the layer's own sources include this.
//
// Geometry. Each axis is mapped on its own. The destination rectangle runs from its origin
// over |extent| pixels, rightwards (downwards) for a positive extent and leftwards
// (upwards) for a negative one; the source rectangle likewise, in a source whose y counts
// from the top of the image (a bottom-up DIB's origin is its bottom-left corner, so its
// rectangle is turned into those coordinates first). Destination step k (k = 0 at the
// origin) shows source step j = floor((2k + 1) * |source extent| / (2 * |dest extent|)):
// the source pixel under the centre of the destination pixel. So the image is mirrored
// along an axis when the two extents along it differ in sign. Destination pixels outside
// the surface, and those whose source pixel lies outside the source image, are not drawn.
//
// Colours. A destination of 16, 24 or 32 bits takes the source colour (16 bits: its top
// bits). An indexed destination takes the nearest entry of its own colour table (see
// ColorMatch.h); from an indexed source, an index whose colour sits at the same index of
// the destination's table keeps its index, so equal tables copy indices unchanged.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics/DIBFormat.h"
#include "platform/graphics/Surface.h"

namespace kv::gdi_detail {

struct TStretchSource {
  TDIBFormat Format;              // after RLE expansion: 8 bits per pixel, uncompressed
  const uint8_t* Bits = nullptr;  // block row 0
  std::vector<uint8_t> Owned;     // expanded RLE data or a snapshot of a surface

  const uint8_t* Row(int32_t Y) const {  // Y counted from the top
    return Bits + static_cast<int64_t>(Format.Stride) * (Format.TopDown ? Y : Format.Height - 1 - Y);
  }
};

// A DIB given as BITMAPINFO and pixel data. RLE data is expanded here and read no further
// than biSizeImage bytes (which must then be set). False for what ParseDIBFormat refuses,
// null pointers, and RLE data whose expansion does not fit in memory.
bool SourceFromDIB(const BITMAPINFO* Info, const void* Bits, uint32_t Usage,
                   const std::vector<PALETTEENTRY>& DCPalette, TStretchSource& Src);
// A surface read as a DIB; Snapshot copies its rows first (for drawing a surface onto itself).
bool SourceFromSurface(const TPixelSurface& Surface, bool Snapshot, TStretchSource& Src);

// Draws and returns the number of destination rows written (0 when nothing was drawn).
// Coordinates and extents beyond +-kMaxCoordinate, and zero extents, draw nothing.
int32_t StretchToSurface(TPixelSurface& Dst, int32_t XDest, int32_t YDest, int32_t DestWidth,
                         int32_t DestHeight, const TStretchSource& Src, int32_t XSrc, int32_t YSrc,
                         int32_t SrcWidth, int32_t SrcHeight);

}  // namespace kv::gdi_detail
