#include "platform/graphics/StretchDIBits.h"

#include "platform/graphics/GdiTable.h"
#include "platform/graphics/Stretch.h"

namespace kv {

using namespace gdi_detail;

int32_t StretchDIBits(HDC Dc, int32_t XDest, int32_t YDest, int32_t DestWidth, int32_t DestHeight,
                      int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, const void* Bits,
                      const BITMAPINFO* Info, uint32_t Usage, uint32_t Rop) {
  if (Rop != kSrcCopy) return 0;
  TDrawTarget Target;
  TStretchSource Src;
  if (!ResolveTarget(Dc, Target) || !SourceFromDIB(Info, Bits, Usage, Target.Palette, Src)) return 0;
  return StretchToSurface(*Target.Surface, XDest, YDest, DestWidth, DestHeight, Src, XSrc, YSrc, SrcWidth,
                          SrcHeight);
}

bool StretchBlt(HDC Dc, int32_t XDest, int32_t YDest, int32_t DestWidth, int32_t DestHeight, HDC Src,
                int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop) {
  if (Rop != kSrcCopy) return false;
  TDrawTarget Target, From;
  if (!ResolveTarget(Dc, Target) || !ResolveTarget(Src, From)) return false;
  TStretchSource Source;
  if (!SourceFromSurface(*From.Surface, From.Surface == Target.Surface, Source)) return false;
  // Device coordinates count from the top; the engine takes a bottom-up image's rectangle
  // from its bottom edge.
  const int64_t Y = Source.Format.TopDown ? YSrc : int64_t{Source.Format.Height} - YSrc - SrcHeight;
  if (Y < -kMaxCoordinate || Y > kMaxCoordinate) return false;
  return StretchToSurface(*Target.Surface, XDest, YDest, DestWidth, DestHeight, Source, XSrc,
                          static_cast<int32_t>(Y), SrcWidth, SrcHeight) > 0;
}

bool BitBlt(HDC Dc, int32_t XDest, int32_t YDest, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
            int32_t YSrc, uint32_t Rop) {
  return StretchBlt(Dc, XDest, YDest, Width, Height, Src, XSrc, YSrc, Width, Height, Rop);
}

}  // namespace kv
