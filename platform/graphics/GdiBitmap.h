// Bitmap objects: pixel surfaces that a memory device context draws on once the bitmap is
// selected into it. A DIB section is laid out exactly as its BITMAPINFO says and can be
// made over an existing pixel block, whose bytes it then draws into directly.
#pragma once

#include <cstdint>

#include "platform/graphics/GdiTypes.h"
#include "platform/memory/FileMap.h"

namespace kv {

// A bitmap of Planes x BitsPerPixel bits per pixel (1, 4, 8, 16 (5-5-5), 24 or 32), rows
// top-down; Bits, when given, holds the initial rows, each padded to an even number of
// bytes. The indexed depths get the default colour table of their depth. A width or
// height of 0 gives the stock 1 x 1 monochrome bitmap; nullptr on failure.
HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitsPerPixel, const void* Bits);

// A zero-filled bitmap of the format of the surface Dc draws on (a new memory context's
// surface is monochrome, as the platform's is); nullptr on failure.
HBITMAP CreateCompatibleBitmap(HDC Dc, int32_t Width, int32_t Height);

// A DIB section for the uncompressed format Info describes (1, 4, 8, 16, 24 or 32 bits;
// bit fields only with the 5-5-5, 5-6-5 or 8-8-8 masks) with the colour table of Info
// (kDibRgbColors, or kDibPalColors read through the palette selected in Dc). With Section
// kNoMapHandle the section has zero-filled memory of its own; otherwise its pixels are the
// bytes of that pixel block from Offset (a multiple of 4) on, which must hold the whole
// image; the block's memory stays valid while the section lives. *Bits receives the
// address of the pixels. Returns nullptr (and *Bits nullptr) on failure, including for
// compressed formats.
HBITMAP CreateDIBSection(HDC Dc, const BITMAPINFO* Info, uint32_t Usage, void** Bits, TMapHandle Section,
                         uint32_t Offset);

// The colour table of the indexed bitmap selected into Dc: copies (sets) up to Count
// entries from Start on and returns how many; 0 for a bitmap of more than 8 bits.
uint32_t GetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, RGBQUAD* Colors);
uint32_t SetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, const RGBQUAD* Colors);

}  // namespace kv
