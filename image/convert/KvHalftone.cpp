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
//
// Speed: the left error makes each pixel wait for the one before it, so the work on that
// path is kept short. The above and above-behind terms are formed off it; the level
// choice and the new error come from one lookup per channel (a table of level part and
// level - value for every corrected value); each walking direction has its own loop.
// Every row writes all of its W error entries before the next row reads them, so the two
// rows swap roles instead of being copied. Black-and-white bits are gathered in a byte
// and stored when the byte is done: the block starts zero-filled and each bit is written
// once, so this is the same as setting and clearing them one by one.
//
// Range: in the colour halftone every error lies within -32..32 (an error of at most
// 32 in magnitude gives a correction of at most 29, and every level choice then leaves an
// error of at most 32), so corrected values lie within -29..284, well inside the tables.
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

// Channel values after error correction, or the errors of one pixel while they are being
// worked with (in registers; they are stored 16 bits each, field by field, which keeps
// the compiler from passing them through memory).
struct TCorrected {
  int32_t Red;
  int32_t Green;
  int32_t Blue;
};
using TErrors = TCorrected;

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

// For every corrected value v of a channel (offset by -kHalftoneLevelMin): the channel's
// part of the palette index (35 i for red, 5 j for green, k for blue) and the error
// level - v. The table is a power of two long and indexed under a mask, which keeps any
// index inside it; only the first kHalftoneLevelSpan entries are ever reached (see Range).
struct TLevelStep {
  int16_t Error;
  uint8_t Part;
};
constexpr size_t kStepTableSize = 1024;
static_assert(kStepTableSize >= kHalftoneLevelSpan);
using TStepTable = std::array<TLevelStep, kStepTableSize>;

template <size_t N>
constexpr TStepTable make_step_table(const THalftoneLevelTable& Choice, const uint8_t (&Levels)[N],
                                     int Weight) {
  TStepTable T{};
  for (size_t I = 0; I < kStepTableSize; ++I) {
    const int V = static_cast<int>(std::min<size_t>(I, kHalftoneLevelSpan - 1)) + kHalftoneLevelMin;
    const uint8_t Level = Choice[static_cast<size_t>(V - kHalftoneLevelMin)];
    T[I] = TLevelStep{static_cast<int16_t>(Levels[Level] - V), static_cast<uint8_t>(Weight * Level)};
  }
  return T;
}
constexpr TStepTable kRedSteps = make_step_table(HalftoneRedLevelTable, HalftoneRedLevels, 35);
constexpr TStepTable kGreenSteps = make_step_table(HalftoneGreenLevelTable, HalftoneGreenLevels, 5);
constexpr TStepTable kBlueSteps = make_step_table(HalftoneBlueLevelTable, HalftoneBlueLevels, 1);

inline const TLevelStep& step(const TStepTable& T, int32_t V) {
  return T[static_cast<size_t>(V - kHalftoneLevelMin) & (kStepTableSize - 1)];
}

// Colour halftone: one palette index per byte.
struct TColorPolicy {
  static constexpr int kDstBits = 8;
  static std::span<const RGBQUAD> Palette() { return HalftonePalette; }

  explicit TColorPolicy(uint8_t* Row) : m_Row(Row) {}
  TErrors Decide(int32_t X, TCorrected V) {
    const TLevelStep& R = step(kRedSteps, V.Red);
    const TLevelStep& G = step(kGreenSteps, V.Green);
    const TLevelStep& B = step(kBlueSteps, V.Blue);
    m_Row[X] = static_cast<uint8_t>(R.Part + G.Part + B.Part);
    return TErrors{R.Error, G.Error, B.Error};
  }
  template <bool Forward>
  void Finish(int32_t) {}

 private:
  uint8_t* m_Row;
};

// Black and white: white when the corrected channels add up to 384 or more. The bits of
// one byte are gathered and the byte stored once it is done (see Speed).
struct TMonoPolicy {
  static constexpr int kDstBits = 1;
  static std::span<const RGBQUAD> Palette() { return MonoPalette; }

  explicit TMonoPolicy(uint8_t* Row) : m_Row(Row) {}
  TErrors Decide(int32_t X, TCorrected V) {
    // Arithmetic rather than branches: the decision follows no pattern a branch
    // predictor could learn.
    const auto White = static_cast<uint32_t>(V.Red + V.Green + V.Blue >= 384);
    m_Bits = static_cast<uint8_t>(m_Bits | (White << 7 >> (X & 7)));
    const auto Level = static_cast<int32_t>(0u - White) & 255;
    return TErrors{static_cast<int16_t>(Level - V.Red), static_cast<int16_t>(Level - V.Green),
                   static_cast<int16_t>(Level - V.Blue)};
  }
  // Called after each pixel: stores the byte when X was its last pixel in walking order.
  template <bool Forward>
  void Finish(int32_t X) {
    if ((X & 7) == (Forward ? 7 : 0)) {
      m_Row[X >> 3] = m_Bits;
      m_Bits = 0;
    }
  }
  // The partial byte at the end of a forward row.
  void Flush(int32_t LastX) {
    if ((LastX & 7) != 7) m_Row[LastX >> 3] = m_Bits;
  }

 private:
  uint8_t* m_Row;
  uint8_t m_Bits = 0;
};

inline int32_t corrected(int32_t Value, int32_t Above, int32_t AboveBehind, int32_t Left) {
  return Value - (12 * (Above + Left) + 5 * AboveBehind) / 32;
}

// One row in walking order. Previous and Current are error rows of W + 2 entries; error
// entry E = X + 1, and above-behind is entry X (forward) or X + 2 (backward), which is
// the entry above the pixel handled just before (the border entry for the first pixel),
// so it is carried over from one pixel to the next instead of being read again.
template <typename TPolicy, int Bits, bool Forward>
void diffuse_row(const uint8_t* SrcRow, uint8_t* DstRow, int32_t W, const TError* Previous, TError* Current,
                 const std::array<TKvRGB, 256>& Palette) {
  TPolicy Out(DstRow);
  int32_t LeftRed = 0, LeftGreen = 0, LeftBlue = 0;
  const TError& Border = Previous[Forward ? 0 : W + 1];
  int32_t BehindRed = Border.Red, BehindGreen = Border.Green, BehindBlue = Border.Blue;
  for (int32_t N = 0; N < W; ++N) {
    const int32_t X = Forward ? N : W - 1 - N;
    const TKvRGB C = fetch<Bits>(SrcRow, X, Palette);
    const TError& Above = Previous[X + 1];
    const int32_t AboveRed = Above.Red, AboveGreen = Above.Green, AboveBlue = Above.Blue;
    const TCorrected V{corrected(C.Red, AboveRed, BehindRed, LeftRed),
                       corrected(C.Green, AboveGreen, BehindGreen, LeftGreen),
                       corrected(C.Blue, AboveBlue, BehindBlue, LeftBlue)};
    // The errors as stored: 16-bit values.
    const TErrors E = Out.Decide(X, V);
    TError& Here = Current[X + 1];
    Here.Red = static_cast<int16_t>(E.Red);
    Here.Green = static_cast<int16_t>(E.Green);
    Here.Blue = static_cast<int16_t>(E.Blue);
    LeftRed = static_cast<int16_t>(E.Red);
    LeftGreen = static_cast<int16_t>(E.Green);
    LeftBlue = static_cast<int16_t>(E.Blue);
    BehindRed = AboveRed;
    BehindGreen = AboveGreen;
    BehindBlue = AboveBlue;
    Out.template Finish<Forward>(X);
  }
  if constexpr (Forward && TPolicy::kDstBits == 1) Out.Flush(W - 1);
}

template <typename TPolicy, int Bits>
void diffuse(const TKvDIBInfo& Src, uint8_t* Dst, const TKvRowGeometry& G) {
  std::array<TKvRGB, 256> Palette{};
  for (size_t I = 0; I < Palette.size(); ++I) Palette[I] = ColorOf(Src.Colors[I]);

  const int32_t W = static_cast<int32_t>(G.Width);
  std::vector<TError> RowA(static_cast<size_t>(W) + 2, TError{0, 0, 0});
  std::vector<TError> RowB(static_cast<size_t>(W) + 2, TError{0, 0, 0});
  TError* Current = RowA.data();
  TError* Previous = RowB.data();
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    std::swap(Current, Previous);  // last row's errors are now the ones above
    if ((Y & 1) == 0)
      diffuse_row<TPolicy, Bits, true>(G.SrcRow(Src, Y), G.DstRow(Dst, Y), W, Previous, Current, Palette);
    else
      diffuse_row<TPolicy, Bits, false>(G.SrcRow(Src, Y), G.DstRow(Dst, Y), W, Previous, Current, Palette);
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
