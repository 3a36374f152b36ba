// Drawing images onto a device context: a DIB given as BITMAPINFO and pixel data
// (StretchDIBits), or the surface of another device context (StretchBlt, BitBlt), copied
// into a rectangle by nearest-pixel sampling, mirrored where source and destination
// extents differ in sign, clipped to the destination surface. Stretch.h describes the
// geometry and colour rules; every stretch mode samples the same way.
#pragma once

#include <cstdint>

#include "platform/graphics/GdiTypes.h"

namespace kv {

// Source DIBs of 1, 4, 8, 16, 24 or 32 bits, bottom-up or top-down, with 40-, 108- or
// 124-byte headers; RLE8 and RLE4 data is expanded (and read no further than biSizeImage,
// which must be set). (XSrc, YSrc) is the source rectangle's origin in the DIB: its
// bottom-left corner in a bottom-up DIB, its top-left corner in a top-down one. Usage is
// kDibRgbColors or kDibPalColors (table entries are indices into the palette selected in
// Dc). Returns the number of destination rows drawn; 0 when nothing was drawn: an invalid
// context or header, a raster operation other than kSrcCopy, a zero extent, or a rectangle
// wholly outside the surface or the image.
int32_t StretchDIBits(HDC Dc, int32_t XDest, int32_t YDest, int32_t DestWidth, int32_t DestHeight,
                      int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, const void* Bits,
                      const BITMAPINFO* Info, uint32_t Usage, uint32_t Rop);

// Copies from the surface of Src, in its coordinates (y from the top). Src may be Dc
// itself. True when anything was drawn.
bool StretchBlt(HDC Dc, int32_t XDest, int32_t YDest, int32_t DestWidth, int32_t DestHeight, HDC Src,
                int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop);
bool BitBlt(HDC Dc, int32_t XDest, int32_t YDest, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
            int32_t YSrc, uint32_t Rop);

}  // namespace kv
