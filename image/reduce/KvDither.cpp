// Serpentine Floyd-Steinberg error diffusion.
#include "image/reduce/KvDither.h"

#include <algorithm>
#include <vector>

#include "image/reduce/KvNearestColor.h"

namespace kv {

using namespace reduce_detail;

void DitherFloydSteinberg(const TKvDIBInfo& Src, const TGeometry& G, const TKvPaletteBuffer& Palette, uint8_t* Bits,
                          int DstBits, const std::function<void()>& Row) {
  TKvPaletteLookup Lookup(Palette);
  const size_t W = static_cast<size_t>(G.Width);
  // Errors in sixteenths for the current row and the next, one pixel of margin each side.
  std::vector<int32_t> Here(3 * (W + 2), 0), Below(3 * (W + 2), 0);
  std::vector<uint8_t> Index(W);
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* S = SourceRow(Src, G, Y);
    const bool Forward = Y % 2 == 0;
    const ptrdiff_t Step = Forward ? 1 : -1;
    for (size_t N = 0; N < W; ++N) {
      const size_t X = Forward ? N : W - 1 - N;
      int32_t* const E = Here.data() + 3 * (X + 1);
      int32_t* const B = Below.data() + 3 * (X + 1);
      int32_t V[3];
      for (int C = 0; C < 3; ++C)  // red, green, blue; the pixel is stored blue first
        V[C] = std::clamp(static_cast<int32_t>(S[3 * X + 2 - static_cast<size_t>(C)]) + ((E[C] + 8) >> 4), 0, 255);
      const uint8_t I = Lookup.Nearest(static_cast<uint32_t>(V[0]), static_cast<uint32_t>(V[1]),
                                       static_cast<uint32_t>(V[2]));
      Index[X] = I;
      const RGBQUAD& Q = Palette.Colors[I];
      const int32_t P[3] = {Q.rgbRed, Q.rgbGreen, Q.rgbBlue};
      for (int C = 0; C < 3; ++C) {
        const int32_t D = V[C] - P[C];
        E[3 * Step + C] += 7 * D;
        B[-3 * Step + C] += 3 * D;
        B[C] += 5 * D;
        B[3 * Step + C] += D;
      }
    }
    uint8_t* D = DestRow(Bits, G, Y);
    if (DstBits == 8)
      std::copy(Index.begin(), Index.end(), D);
    else
      WriteNibbleRow(D, G.Width, [&Index](int64_t X) { return Index[static_cast<size_t>(X)]; });
    std::swap(Here, Below);
    std::fill(Below.begin(), Below.end(), 0);
    if (Row) Row();
  }
}

}  // namespace kv
