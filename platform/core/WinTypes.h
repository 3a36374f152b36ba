// The platform's bitmap records in their standard byte layout, and colour values.
// They mirror the Windows GDI structures so that a header followed by its colour
// table is a BITMAPINFO that files, clipboard blocks and drawing calls accept as is.
#pragma once

#include <cstdint>

namespace kv {

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  uint16_t bfType;  // 'BM'
  uint32_t bfSize;  // file size in bytes
  uint16_t bfReserved1;
  uint16_t bfReserved2;
  uint32_t bfOffBits;  // offset of the pixel data from the start of the file
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
  uint32_t biSize;  // 40
  int32_t biWidth;
  int32_t biHeight;        // > 0: rows bottom-up, < 0: top-down
  uint16_t biPlanes;       // 1
  uint16_t biBitCount;     // 1, 4, 8, 24 (16 and 32 in files only)
  uint32_t biCompression;  // kBiRGB, kBiRLE8, kBiRLE4, kBiBitFields
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;  // valid colour-table entries
  uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct BITMAPCOREHEADER {
  uint32_t bcSize;  // 12
  uint16_t bcWidth;
  uint16_t bcHeight;
  uint16_t bcPlanes;
  uint16_t bcBitCount;
};
static_assert(sizeof(BITMAPCOREHEADER) == 12);

struct RGBQUAD {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

struct RGBTRIPLE {
  uint8_t rgbtBlue;
  uint8_t rgbtGreen;
  uint8_t rgbtRed;
};
static_assert(sizeof(RGBTRIPLE) == 3);

struct PALETTEENTRY {
  uint8_t peRed;
  uint8_t peGreen;
  uint8_t peBlue;
  uint8_t peFlags;
};

// Compression ids of biCompression.
constexpr uint32_t kBiRGB = 0;
constexpr uint32_t kBiRLE8 = 1;
constexpr uint32_t kBiRLE4 = 2;
constexpr uint32_t kBiBitFields = 3;

constexpr uint16_t kBitmapFileType = 0x4D42;  // 'BM' little-endian
constexpr uint32_t kCF_DIB = 8;               // clipboard format number of a packed DIB

// A colour value: red in the lowest byte, then green, then blue. Values with the top
// byte 0x80 (negative as signed) name a system colour by its index in the low byte.
using TColor = int32_t;
using COLORREF = uint32_t;

constexpr TColor kClWhite = 0x00FFFFFF;
constexpr TColor kClBlack = 0x00000000;

constexpr COLORREF MakeRGB(uint8_t R, uint8_t G, uint8_t B) {
  return static_cast<COLORREF>(R) | (static_cast<COLORREF>(G) << 8) | (static_cast<COLORREF>(B) << 16);
}

// Resolves a system-colour reference to its current RGB value; plain colours pass through.
COLORREF ColorToRGB(TColor Color);

}  // namespace kv
