// Device contexts: a drawing state over one pixel surface. A memory context draws on the
// bitmap selected into it (a new one holds a 1 x 1 monochrome bitmap); a screen context
// (GetDC) draws on the screen surface (Screen.h). Each context holds a pen, a brush, a
// palette, a stretch mode and a pen position.
#pragma once

#include <cstdint>

#include "platform/graphics/GdiTypes.h"
#include "platform/graphics/HandleOwner.h"

namespace kv {

// A memory device context compatible with Dc (nullptr: the screen); nullptr when Dc is
// invalid or no object can be made.
HDC CreateCompatibleDC(HDC Dc);
// Deletes a memory device context; the objects selected into it are free again. False for
// an invalid handle and for a screen context (ReleaseDC gives those back).
bool DeleteDC(HDC Dc);

// A device context on the screen; Window must be nullptr (the whole screen), else nullptr.
HDC GetDC(HWND Window);
// Gives back a context from GetDC: 1 when released, 0 otherwise.
int32_t ReleaseDC(HWND Window, HDC Dc);

// Selects a bitmap (memory contexts only; a bitmap is in one context at a time), a pen or
// a brush and returns the object of that kind selected before; nullptr on failure.
// Palettes are selected with SelectPalette.
HGDIOBJ SelectObject(HDC Dc, HGDIOBJ Object);
// The object of type kObjBitmap, kObjPal, kObjPen or kObjBrush selected into Dc.
HGDIOBJ GetCurrentObject(HDC Dc, uint32_t Type);

// Selects a palette and returns the one selected before (the stock default palette in a
// new context); nullptr on failure. ForceBackground is recorded and otherwise ignored.
HPALETTE SelectPalette(HDC Dc, HPALETTE Palette, bool ForceBackground);
// Maps the selected palette's entries for drawing and returns how many were mapped. A
// screen of 8 bits or fewer takes them as its colour table (entry i of the palette becomes
// entry i of the screen's table); other surfaces keep their own tables. kGdiError for an
// invalid context.
constexpr uint32_t kGdiError = 0xFFFFFFFF;
uint32_t RealizePalette(HDC Dc);

// What a device context has done with palettes, for checking the order of selections.
struct TDCPaletteHistory {
  uint32_t Selections = 0;            // successful SelectPalette calls
  uint32_t Realizations = 0;          // successful RealizePalette calls
  HPALETTE LastSelected = nullptr;    // the palette of the last SelectPalette
  bool LastForcedBackground = false;  // its ForceBackground
  HPALETTE LastRealized = nullptr;    // the palette selected at the last RealizePalette
};
bool GetDCPaletteHistory(HDC Dc, TDCPaletteHistory& History);

// Sets the stretch mode (kBlackOnWhite .. kHalftoneMode) and returns the previous one; 0
// for an invalid context or mode.
int32_t SetStretchBltMode(HDC Dc, int32_t Mode);
int32_t GetStretchBltMode(HDC Dc);

// kHorzRes, kVertRes (the surface's size), kBitsPixel, kPlanes (1), kNumColors (entries of
// an indexed surface's table, -1 otherwise), kRasterCaps (kRcPalette for an indexed
// screen), kSizePalette (table entries of an indexed screen, 0 otherwise); 0 otherwise.
int32_t GetDeviceCaps(HDC Dc, int32_t Index);

// Owns a memory device context (CreateCompatibleDC) and deletes it.
using TMemoryDC = THandleOwner<HDC, &DeleteDC>;

// Holds a screen device context (GetDC) and gives it back (ReleaseDC).
class TScreenDC {
 public:
  TScreenDC() : m_Dc(GetDC(nullptr)) {}
  ~TScreenDC() {
    if (m_Dc != nullptr) ReleaseDC(nullptr, m_Dc);
  }
  TScreenDC(const TScreenDC&) = delete;
  TScreenDC& operator=(const TScreenDC&) = delete;

  HDC get() const { return m_Dc; }
  explicit operator bool() const { return m_Dc != nullptr; }

 private:
  HDC m_Dc;
};

}  // namespace kv
