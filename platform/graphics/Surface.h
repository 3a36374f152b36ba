// Pixel surfaces: the memory a bitmap object draws into. Rows are laid out as in a DIB
// (padded to 4 bytes, blue-green-red, the left pixel in the high bits of a byte), top-down
// or bottom-up, so that a surface can be read as a DIB and a DIB's memory can be a surface.
// A surface owns its bytes, borrows a view of a pixel block (a DIB section over an image)
// or lays itself over memory its caller owns (GetDIBits).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/WinTypes.h"
#include "platform/memory/FileMap.h"

namespace kv::gdi_detail {

struct TPixelSurface {
  int32_t Width = 0;
  int32_t Height = 0;
  uint16_t BitCount = 0;  // 1, 4, 8, 16, 24 or 32
  bool Green6 = false;    // 16 bits: 5-6-5 instead of 5-5-5
  bool TopDown = false;   // block row 0 is the top row
  int32_t Stride = 0;
  uint8_t* Bits = nullptr;      // block row 0
  std::vector<RGBQUAD> Colors;  // indexed surfaces: 1 .. 2^BitCount entries

  TPixelSurface() = default;
  ~TPixelSurface() { CloseFileMapView(m_View); }
  TPixelSurface(const TPixelSurface&) = delete;
  TPixelSurface& operator=(const TPixelSurface&) = delete;

  bool Indexed() const { return BitCount <= 8; }
  uint8_t* Row(int32_t Y) const {  // Y counted from the top
    return Bits + static_cast<int64_t>(Stride) * (TopDown ? Y : Height - 1 - Y);
  }
  int64_t Bytes() const { return static_cast<int64_t>(Stride) * Height; }

  // Memory. AllocateOwned zero-fills; AdoptView takes over an open view of a pixel block.
  bool AllocateOwned();
  void AdoptView(TFileMapView& View, int64_t Offset);

 private:
  std::vector<uint8_t> m_Owned;
  TFileMapView m_View;
};

// Row stride of Width pixels of BitCount bits: ((Width * BitCount + 31) div 32) * 4;
// 0 when it does not fit a signed 32-bit value or the arguments are not positive.
int32_t SurfaceStride(int32_t Width, int32_t BitCount);

// Sets the geometry and format fields and the colour table of a surface (Colors empty:
// the default table of the depth); false for a geometry that cannot be held.
bool ShapeSurface(TPixelSurface& S, int32_t Width, int32_t Height, uint16_t BitCount, bool Green6,
                  bool TopDown, std::vector<RGBQUAD> Colors = {});

// The colour tables a new indexed surface starts with: black and white; the sixteen
// standard colours; those sixteen, a 6 x 6 x 6 colour cube and 24 greys.
std::vector<RGBQUAD> DefaultColorTable(uint16_t BitCount);

// Pixel values: a palette index, or the packed 16-, 24- or 32-bit value (24 and 32 bits:
// blue in the low byte). Colours are COLORREF values (red in the low byte).
uint32_t GetPixelValue(const uint8_t* Row, int32_t X, uint16_t BitCount);
void PutPixelValue(uint8_t* Row, int32_t X, uint16_t BitCount, uint32_t Value);
// Value for pixels X0 .. X1 - 1 of one row.
void FillPixelValues(uint8_t* Row, int32_t X0, int32_t X1, uint16_t BitCount, uint32_t Value);

// The value a colour takes on a surface (indexed: the nearest colour-table entry) and the
// colour a value shows.
uint32_t SurfaceValueOf(const TPixelSurface& S, COLORREF Color);
COLORREF SurfaceColorOf(const TPixelSurface& S, uint32_t Value);

// The colour of a 16-bit value, its fields widened to 8 bits by repeating their top bits.
COLORREF Color16(uint32_t Value, bool Green6);
uint32_t Pack16(uint8_t R, uint8_t G, uint8_t B, bool Green6);

}  // namespace kv::gdi_detail
