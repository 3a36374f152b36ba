// Serpentine Floyd-Steinberg error diffusion.
#include "image/reduce/KvDither.h"

#include <algorithm>
#include <vector>

#include "image/reduce/KvNearestColor.h"

namespace kv {

namespace {

// One row in one direction (Step +1 or -1). Here holds the errors carried down to this
// row, Below receives those for the next; both have one pixel of margin each side and
// three channels (red, green, blue) per pixel, in sixteenths. The error carried ahead
// stays in registers, and each entry of Below is written once, when complete: it collects
// 1/16 from the pixel before it, 5/16 from the one above and 3/16 from the one after.
template <int Step>
void dither_row(const uint8_t* S, size_t W, const int32_t* Here, int32_t* Below, const RGBQUAD* Palette,
                const TKvPaletteLookup& Lookup, uint8_t* Index) {
  int32_t AheadR = 0, AheadG = 0, AheadB = 0;  // 7/16 of the last error
  int32_t PendR = 0, PendG = 0, PendB = 0;     // Below[x - Step] so far
  int32_t NextR = 0, NextG = 0, NextB = 0;     // Below[x] so far
  size_t X = Step > 0 ? 0 : W - 1;
  for (size_t N = 0; N < W; ++N, X += static_cast<size_t>(Step)) {
    const int32_t* E = Here + 3 * (X + 1);
    const uint8_t* P = S + 3 * X;
    const int32_t R = std::clamp(P[2] + ((E[0] + AheadR + 8) >> 4), 0, 255);
    const int32_t G = std::clamp(P[1] + ((E[1] + AheadG + 8) >> 4), 0, 255);
    const int32_t B = std::clamp(P[0] + ((E[2] + AheadB + 8) >> 4), 0, 255);
    const uint8_t I =
        Lookup.Nearest(static_cast<uint32_t>(R), static_cast<uint32_t>(G), static_cast<uint32_t>(B));
    Index[X] = I;
    const int32_t DR = R - Palette[I].rgbRed;
    const int32_t DG = G - Palette[I].rgbGreen;
    const int32_t DB = B - Palette[I].rgbBlue;
    int32_t* const Done = Below + 3 * (X + 1 - Step);
    Done[0] = PendR + 3 * DR;
    Done[1] = PendG + 3 * DG;
    Done[2] = PendB + 3 * DB;
    PendR = NextR + 5 * DR;
    PendG = NextG + 5 * DG;
    PendB = NextB + 5 * DB;
    NextR = DR;
    NextG = DG;
    NextB = DB;
    AheadR = 7 * DR;
    AheadG = 7 * DG;
    AheadB = 7 * DB;
  }
  int32_t* const Last = Below + 3 * (X + 1 - Step);  // the pixel beyond the row's last
  Last[0] = PendR;
  Last[1] = PendG;
  Last[2] = PendB;
  // NextR.. would go to the margin beyond, which no pixel reads.
}

}  // namespace

void DitherFloydSteinberg(const TKvDIBInfo& Src, const TKvRowGeometry& G, const TKvPaletteBuffer& Palette,
                          uint8_t* Bits, int DstBits, const std::function<void()>& Row) {
  const TKvPaletteLookup Lookup(Palette);
  const size_t W = static_cast<size_t>(G.Width);
  // Errors in sixteenths for the current row and the next, one pixel of margin each side.
  std::vector<int32_t> Here(3 * (W + 2), 0), Below(3 * (W + 2), 0);
  std::vector<uint8_t> Index(W);
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* S = G.SrcRow(Src, Y);
    uint8_t* D = G.DstRow(Bits, Y);
    uint8_t* const Out = DstBits == 8 ? D : Index.data();
    if (Y % 2 == 0)
      dither_row<1>(S, W, Here.data(), Below.data(), Palette.Colors.data(), Lookup, Out);
    else
      dither_row<-1>(S, W, Here.data(), Below.data(), Palette.Colors.data(), Lookup, Out);
    if (DstBits != 8)
      PackNibbleRow(D, G.Width, [&Index](int64_t X) { return Index[static_cast<size_t>(X)]; });
    std::swap(Here, Below);
    if (Row) Row();
  }
}

}  // namespace kv
