// Error-diffusion halftones of uncompressed 1-, 4-, 8- and 24-bit images: to 8 bits over
// the fixed 215-colour halftone palette (ConvertToHalfTone) and to black and white
// (ConvertToHalfToneBW).
//
// Method: serpentine error diffusion with three neighbours. Even rows are walked left to
// right, odd rows right to left. Each pixel's channel value is corrected by
// (12 * above + 12 * left + 5 * above-behind) / 32 of the errors already made (quotient
// truncated toward zero; the weights add up to 29/32, so the correction stays bounded),
// the output level is chosen, and level minus corrected value becomes the pixel's error.
// "Left" is the pixel handled just before in the same row, "above-behind" the pixel of
// the previous row one step back in walking order. The error state is two rows of W + 2
// entries; entries 0 and W + 1 are borders that stay 0.
#include "image/convert/KvHalftone.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "image/KvGeometry.h"
#include "image/KvPixels.h"
#include "image/convert/KvHalftonePalette.h"

namespace kv {

namespace {

struct TError {
  int16_t Red;
  int16_t Green;
  int16_t Blue;
};

// Channel values after error correction.
struct TCorrected {
  int32_t Red;
  int32_t Green;
  int32_t Blue;
};

inline int32_t corrected(int32_t Value, int32_t Above, int32_t Left, int32_t AboveBehind) {
  return Value - (12 * Above + 12 * Left + 5 * AboveBehind) / 32;
}

// Source pixel X of a row as red, green, blue, through the colour table for paletted rows.
template <int Bits>
inline TKvRGB fetch(const uint8_t* Row, int64_t X, const std::array<TKvRGB, 256>& Palette) {
  if constexpr (Bits == 24)
    return GetPixel24(Row, X);
  else if constexpr (Bits == 8)
    return Palette[GetPixel8(Row, X)];
  else if constexpr (Bits == 4)
    return Palette[GetPixel4(Row, X)];
  else
    return Palette[GetPixel1(Row, X)];
}

// Colour halftone: level indices from the lookup tables, one palette index per byte.
struct TColorPolicy {
  static constexpr int kDstBits = 8;
  static std::span<const RGBQUAD> Palette() { return HalftonePalette; }
  static TError decide(uint8_t* DstRow, int64_t X, TCorrected V) {
    // The corrected values stay well inside the tables' range; the clamp only makes that
    // independent of the argument above.
    auto slot = [](int32_t C) {
      return static_cast<size_t>(std::clamp(C, kHalftoneLevelMin, kHalftoneLevelMax) - kHalftoneLevelMin);
    };
    const uint8_t I = HalftoneRedLevelTable[slot(V.Red)];
    const uint8_t J = HalftoneGreenLevelTable[slot(V.Green)];
    const uint8_t K = HalftoneBlueLevelTable[slot(V.Blue)];
    DstRow[X] = static_cast<uint8_t>(HalftoneIndex(I, J, K));
    return TError{static_cast<int16_t>(HalftoneRedLevels[I] - V.Red),
                  static_cast<int16_t>(HalftoneGreenLevels[J] - V.Green),
                  static_cast<int16_t>(HalftoneBlueLevels[K] - V.Blue)};
  }
};

// Black and white: white when the corrected channels add up to 384 or more.
struct TMonoPolicy {
  static constexpr int kDstBits = 1;
  static std::span<const RGBQUAD> Palette() { return MonoPalette; }
  static TError decide(uint8_t* DstRow, int64_t X, TCorrected V) {
    const bool White = V.Red + V.Green + V.Blue >= 384;
    SetPixel1(DstRow, X, White);
    const int32_t Level = White ? 255 : 0;
    return TError{static_cast<int16_t>(Level - V.Red), static_cast<int16_t>(Level - V.Green),
                  static_cast<int16_t>(Level - V.Blue)};
  }
};

template <typename TPolicy, int Bits>
void diffuse(const TKvDIBInfo& Src, uint8_t* Dst, const TKvRowGeometry& G) {
  std::array<TKvRGB, 256> Palette{};
  for (size_t I = 0; I < Palette.size(); ++I) Palette[I] = ColorOf(Src.Colors[I]);

  const int32_t W = static_cast<int32_t>(G.Width);
  std::vector<TError> Current(static_cast<size_t>(W) + 2, TError{0, 0, 0});
  std::vector<TError> Previous(static_cast<size_t>(W) + 2);

  for (int64_t Y = 0; Y < G.Height; ++Y) {
    Previous = Current;
    const uint8_t* SrcRow = G.SrcRow(Src, Y);
    uint8_t* DstRow = G.DstRow(Dst, Y);
    const bool Forward = (Y & 1) == 0;
    // Error entry E = X + 1; above-behind is entry X (forward) or X + 2 (backward).
    const int32_t Behind = Forward ? -1 : 1;
    const int32_t Step = Forward ? 1 : -1;
    TError Left{0, 0, 0};
    for (int32_t X = Forward ? 0 : W - 1; X >= 0 && X < W; X += Step) {
      const TKvRGB C = fetch<Bits>(SrcRow, X, Palette);
      const TError& Above = Previous[static_cast<size_t>(X) + 1];
      const TError& AboveBehind = Previous[static_cast<size_t>(X + 1 + Behind)];
      const TCorrected V{corrected(C.Red, Above.Red, Left.Red, AboveBehind.Red),
                         corrected(C.Green, Above.Green, Left.Green, AboveBehind.Green),
                         corrected(C.Blue, Above.Blue, Left.Blue, AboveBehind.Blue)};
      Left = TPolicy::decide(DstRow, X, V);
      Current[static_cast<size_t>(X) + 1] = Left;
    }
  }
}

template <typename TPolicy>
void halftone(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const char* BadFormat, const char* BadBitCount,
              const char* BadBlock) {
  AssertDIB(Src.Header.biCompression == kBiRGB, BadFormat);
  const int Bits = Src.Header.biBitCount;
  const TKvRowGeometry G = RowGeometryOf(Src, Bits, TPolicy::kDstBits);
  TFileMapBlock Block(CheckedBlockSize(G.DstStride, G.Height));

  // The bit count is refused at the first pixel, so only after the block exists.
  AssertDIB(Bits == 1 || Bits == 4 || Bits == 8 || Bits == 24, BadBitCount);
  CheckSourceRows(Src, G.SrcStride, G.Height, BadBlock);
  switch (Bits) {
    case 1: diffuse<TPolicy, 1>(Src, Block.Bits(), G); break;
    case 4: diffuse<TPolicy, 4>(Src, Block.Bits(), G); break;
    case 8: diffuse<TPolicy, 8>(Src, Block.Bits(), G); break;
    default: diffuse<TPolicy, 24>(Src, Block.Bits(), G); break;
  }
  // Entries beyond the palette keep the source's values.
  FillDestination(Src, Dst, Block, static_cast<uint16_t>(TPolicy::kDstBits), kBiRGB, 0, TPolicy::Palette());
}

}  // namespace

void ConvertToHalfTone(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  halftone<TColorPolicy>(Src, Dst, "ConvertToHalfTone: Invalid DIB Format",
                         "ConvertToHalfTone: Invalid Bit Count", "ConvertToHalfTone: Pixel Block Too Small");
}

void ConvertToHalfToneBW(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  halftone<TMonoPolicy>(Src, Dst, "ConvertToHalfToneBW: Invalid DIB Format",
                        "ConvertToHalfToneBW: Invalid Bit Count",
                        "ConvertToHalfToneBW: Pixel Block Too Small");
}

}  // namespace kv
