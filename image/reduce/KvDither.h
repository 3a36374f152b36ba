// Error diffusion onto an adaptive palette: Floyd-Steinberg (R. W. Floyd and L.
// Steinberg, "An adaptive algorithm for spatial greyscale", 1976) in serpentine order,
// rows in memory order, even rows left to right and odd rows right to left, so that the
// error does not drift to one side. Each pixel's value plus the error carried to it is
// clamped to 0..255 and mapped to the palette entry nearest to the centre of its
// 8 x 8 x 8 cell (TKvPaletteLookup); the difference goes on 7/16 ahead, 3/16 behind
// below, 5/16 below and 1/16 ahead below, in integer sixteenths (the carried error
// rounded to the nearest integer, halves upwards), so the result is the same on every
// machine.
#pragma once

#include <cstdint>
#include <functional>

#include "image/KvDIBInfo.h"
#include "image/reduce/KvReduceCommon.h"

namespace kv {

// Writes the dithered indices of Src (24 bits per pixel, geometry G) into Bits as 8- or
// 4-bit rows; Row is called once after each row.
void DitherFloydSteinberg(const TKvDIBInfo& Src, const TKvRowGeometry& G, const TKvPaletteBuffer& Palette,
                          uint8_t* Bits, int DstBits, const std::function<void()>& Row);

}  // namespace kv
