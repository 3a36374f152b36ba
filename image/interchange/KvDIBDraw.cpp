// TKvDIB.PaintTo: drawing an image stretched into a rectangle of a canvas. HalftoneMode 0
// hands the stored pixels (RLE data as held) to the platform's StretchDIBits with the
// image's palette realised; modes 1 and 2 draw the image first into a temporary image of
// the destination's size, halftone that (colour or black and white) and draw it 1:1, so
// the halftone is made of exactly the pixels that are shown.
#include <cstdlib>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBCanvas.h"
#include "image/interchange/KvDIBDrawInfo.h"
#include "image/interchange/KvDIBPalette.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/StretchDIBits.h"

namespace kv {

namespace {

// Sets a byte to Value for a scope and restores what it held on every exit path.
class TByteOverride {
 public:
  TByteOverride(uint8_t& Field, uint8_t Value) : m_Field(Field), m_Saved(Field) { m_Field = Value; }
  ~TByteOverride() { m_Field = m_Saved; }
  TByteOverride(const TByteOverride&) = delete;
  TByteOverride& operator=(const TByteOverride&) = delete;

 private:
  uint8_t& m_Field;
  uint8_t m_Saved;
};

}  // namespace

void TKvDIB::PaintTo(TCanvas& Canvas, const TRect& Rect) {
  if (m_Storage.get() == nullptr) return;
  if (HalftoneMode == 1 || HalftoneMode == 2) {
    PaintHalftone(Canvas, Rect);
    return;
  }
  if (HalftoneMode != 0) return;

  const HDC Dc = Canvas.Handle();
  const HPALETTE Palette = GetDIBPalette();
  HPALETTE Previous = nullptr;
  if (Palette != nullptr) {
    Previous = SelectPalette(Dc, Palette, true);
    RealizePalette(Dc);
  }
  const int32_t PreviousMode = SetStretchBltMode(Dc, kColorOnColor);
  const TKvDIBInfo& Info = m_Storage->Info;
  const TKvDrawInfo DrawInfo(Info);
  // What cannot be drawn is not drawn; there is nothing to report.
  StretchDIBits(Dc, Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top, 0, 0,
                m_Storage->Width, m_Storage->Height, Info.Bits, DrawInfo.get(), kDibRgbColors,
                Canvas.CopyMode);
  if (PreviousMode != 0) SetStretchBltMode(Dc, PreviousMode);
  if (Palette != nullptr && Previous != nullptr) SelectPalette(Dc, Previous, true);
}

void TKvDIB::PaintHalftone(TCanvas& Canvas, const TRect& Rect) {
  if (Rect.Right == Rect.Left || Rect.Top == Rect.Bottom) return;
  // The extents in 64 bits: a rectangle from INT32_MIN to INT32_MAX has no 32-bit width.
  const int64_t Width = std::llabs(int64_t{Rect.Right} - Rect.Left);
  const int64_t Height = std::llabs(int64_t{Rect.Bottom} - Rect.Top);
  if (Width > INT32_MAX || Height > INT32_MAX) return;

  const uint8_t Mode = HalftoneMode;
  TKvDIB Shown;  // the image as the rectangle shows it; its HalftoneMode is 0
  {
    // Drawn through the direct path, with the image's own palette.
    const TByteOverride Direct(HalftoneMode, 0);
    Shown.SetWidth(static_cast<int32_t>(Width));
    Shown.SetHeight(static_cast<int32_t>(Height));
    Shown.SetBitCount(GetBitCount());
    Shown.SetPalette(CopyOfPalette(GetDIBPalette(), "TKvDIB.PaintTo: Cannot Copy Palette").release());
    TKvDIBCanvas ShownCanvas(Shown);
    // Unmirrored: a mirrored rectangle mirrors the halftone when it is drawn below, which
    // shows every pixel where the direct path would.
    ShownCanvas.StretchDraw(TRect{0, 0, static_cast<int32_t>(Width), static_cast<int32_t>(Height)}, this);
  }
  Shown.SetPixelFormat(Mode == 1 ? kvPfHalfTone : kvPfHalfToneBW);
  Shown.PaintTo(Canvas, Rect);
}

}  // namespace kv
