#include "frontend/KvRender.h"

#include "image/interchange/KvDIBCanvas.h"
#include "platform/core/Exceptions.h"

namespace kv::frontend {

void RenderImage(const TKvDIB& Source, int32_t Width, int32_t Height, uint8_t HalftoneMode, TKvDIB& Out) {
  if (Width <= 0 || Height <= 0) throw EKvDIBInvalidDIBPara("RenderImage: Invalid Size");
  if (HalftoneMode > 2) throw EInvalidGraphic("RenderImage: Invalid Halftone Mode");
  // Drawing may cache the source's palette, but never changes its pixels: a sharing copy
  // is drawn, so Source stays as it is.
  TKvDIB Shown;
  Shown.Assign(&Source);
  Shown.HalftoneMode = HalftoneMode;

  TKvDIB Rendered;
  Rendered.SetBitCount(24);
  Rendered.SetWidth(Width);
  Rendered.SetHeight(Height);
  {
    TKvDIBCanvas Canvas(Rendered);
    Canvas.StretchDraw(TRect{0, 0, Width, Height}, &Shown);
  }
  Out.Assign(&Rendered);  // Rendered goes next: Out holds the only reference
}

}  // namespace kv::frontend
