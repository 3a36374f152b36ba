// The graphics layer's handles, records and constants, laid out and numbered as the
// platform's graphics interface has them, so that code written against them can call the
// platform itself one day. Constants carry k names because the platform's own headers
// define the usual spellings as macros.
#pragma once

#include <cstdint>

#include "platform/core/WinTypes.h"

namespace kv {

// Handles. Every kind of object has a pointer type of its own; the value is a number that
// names an object of the graphics layer and is never dereferenced, so a deleted or made-up
// handle names nothing and every call given one fails as the platform's would.
struct HDC__;
struct HBITMAP__;
struct HPALETTE__;
struct HPEN__;
struct HBRUSH__;
struct HWND__;
using HDC = HDC__*;
using HBITMAP = HBITMAP__*;
using HPALETTE = HPALETTE__*;
using HPEN = HPEN__*;
using HBRUSH = HBRUSH__*;
using HWND = HWND__*;   // there are no windows here: only nullptr, the whole screen
using HGDIOBJ = void*;  // a bitmap, palette, pen or brush
using HANDLE = void*;
using HGLOBAL = HANDLE;  // a global memory block (GlobalMemory.h)

// A header followed by its colour table (or its three bit-field masks and then the table).
// The table runs on past the declared single entry, as far as the header says.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// What GetObjectA tells about a bitmap: 24 bytes on a 32-bit platform.
struct BITMAP {
  int32_t bmType;  // 0
  int32_t bmWidth;
  int32_t bmHeight;      // rows, always positive
  int32_t bmWidthBytes;  // bytes per row
  uint16_t bmPlanes;     // 1
  uint16_t bmBitsPixel;  // 1, 4, 8, 16, 24 or 32
  void* bmBits;          // the pixels of a DIB section, else nullptr
};

// A palette description for CreatePalette: the entries run on past the declared one, as
// far as palNumEntries says (TLogPalette in Palette.h allocates one of the right size).
struct LOGPALETTE {
  uint16_t palVersion;  // kPaletteVersion
  uint16_t palNumEntries;
  PALETTEENTRY palPalEntry[1];
};

constexpr uint16_t kPaletteVersion = 0x300;

// Raster operation of StretchDIBits and StretchBlt; the only one drawn.
constexpr uint32_t kSrcCopy = 0x00CC0020;

// Stretch modes (SetStretchBltMode). Every mode samples the nearest source pixel.
constexpr int32_t kBlackOnWhite = 1;  // the mode of a new device context
constexpr int32_t kWhiteOnBlack = 2;
constexpr int32_t kColorOnColor = 3;
constexpr int32_t kHalftoneMode = 4;

// How a colour table is to be read: RGBQUAD entries, or 16-bit indices into the palette
// selected in the device context.
constexpr uint32_t kDibRgbColors = 0;
constexpr uint32_t kDibPalColors = 1;

// Stock objects (GetStockObject).
constexpr int32_t kWhiteBrush = 0;
constexpr int32_t kBlackBrush = 4;
constexpr int32_t kNullBrush = 5;
constexpr int32_t kWhitePen = 6;
constexpr int32_t kBlackPen = 7;
constexpr int32_t kNullPen = 8;
constexpr int32_t kDefaultPalette = 15;

// Object types (GetObjectType, GetCurrentObject).
constexpr uint32_t kObjPen = 1;
constexpr uint32_t kObjBrush = 2;
constexpr uint32_t kObjDC = 3;
constexpr uint32_t kObjPal = 5;
constexpr uint32_t kObjBitmap = 7;
constexpr uint32_t kObjMemDC = 10;

// Pen and brush styles.
constexpr uint32_t kPsSolid = 0;
constexpr uint32_t kPsNull = 5;
constexpr uint32_t kBsSolid = 0;
constexpr uint32_t kBsNull = 1;

// GetDeviceCaps indices.
constexpr int32_t kHorzRes = 8;
constexpr int32_t kVertRes = 10;
constexpr int32_t kBitsPixel = 12;
constexpr int32_t kPlanes = 14;
constexpr int32_t kNumColors = 24;
constexpr int32_t kRasterCaps = 38;
constexpr int32_t kSizePalette = 104;
constexpr int32_t kRcPalette = 0x0100;  // kRasterCaps bit: a palette device

// Clipboard formats beside kCF_DIB.
constexpr uint16_t kCF_Bitmap = 2;
constexpr uint16_t kCF_Palette = 9;

constexpr COLORREF kClrInvalid = 0xFFFFFFFF;

// A colour that names entry Index of the palette selected in the device context.
constexpr COLORREF PaletteIndex(uint16_t Index) { return 0x01000000u | Index; }

}  // namespace kv
