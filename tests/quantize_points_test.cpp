// The quantizer's passes over the pixels against plain formulations: the grid gathering
// (coarse grids and the finer ones with their narrower words, both spilling when a cell
// collects many pixels) and the serpentine error diffusion (clamping, every entry index,
// both bit depths).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "image/reduce/KvColorPoints.h"
#include "image/reduce/KvDither.h"
#include "image/reduce/KvNearestColor.h"
#include "tests/reduce_support.h"

namespace kv {
namespace {

using test::TOwnedDIB;
using test::TRgb;

// Random colours, with long runs of one colour (so that cells spill) and saturated
// values (so that the diffusion clamps).
TOwnedDIB photo_like(int32_t W, int32_t H, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::vector<TRgb> Pixels(static_cast<size_t>(W) * static_cast<size_t>(H));
  TRgb Run{0, 0, 0};
  for (size_t I = 0; I < Pixels.size(); ++I) {
    const uint32_t Kind = Rng() % 8;
    if (Kind < 3) {
      Pixels[I] = Run;  // the run goes on
    } else if (Kind < 5) {
      Pixels[I] = TRgb{static_cast<uint8_t>(Rng() % 2 * 255), static_cast<uint8_t>(Rng() % 2 * 255),
                       static_cast<uint8_t>(Rng())};
    } else {
      Pixels[I] = TRgb{static_cast<uint8_t>(Rng()), static_cast<uint8_t>(Rng()), static_cast<uint8_t>(Rng())};
    }
    if (Kind == 7) Run = Pixels[I];
  }
  return test::TrueColor(W, H, [&](int X, int Y) { return Pixels[static_cast<size_t>(Y * W + X)]; });
}

TEST(QuantizePoints, GridGatheringEqualsAPlainCount) {
  const TOwnedDIB Flat = test::TrueColor(300, 40, [](int X, int) {  // one colour: spills at once
    return X < 290 ? TRgb{201, 77, 13} : TRgb{255, 255, 255};
  });
  const TOwnedDIB Photo = photo_like(123, 77, 5);
  for (const TOwnedDIB* Src : {&Flat, &Photo})
    for (const TKvGridBits Bits :
         {TKvGridBits{5, 6, 5}, TKvGridBits{1, 8, 1}, TKvGridBits{6, 6, 4}, TKvGridBits{6, 6, 5},
          TKvGridBits{6, 7, 6}, TKvGridBits{7, 7, 7}, TKvGridBits{8, 8, 5}, TKvGridBits{3, 8, 8}}) {
      SCOPED_TRACE(testing::Message() << "grid " << Bits.Red << Bits.Green << Bits.Blue);
      const TKvColorPoints Got = GatherGridPoints(Src->Info(), Bits);
      const int Keep[3] = {Bits.Red, Bits.Green, Bits.Blue};
      std::map<uint32_t, TKvColorPoint> Want;
      for (int32_t Y = 0; Y < Src->Height(); ++Y)
        for (int32_t X = 0; X < Src->Width(); ++X) {
          const uint8_t* P = Src->Row(Y) + 3 * X;
          const uint32_t V[3] = {P[2], P[1], P[0]};
          uint32_t Key = 0;
          for (int C = 0; C < 3; ++C) Key = Key << Keep[C] | V[C] >> (8 - Keep[C]);
          ASSERT_EQ(Got.Keys.GridKey(P), Key);
          TKvColorPoint& W = Want[Key];
          W.Key = Key;
          ++W.Weight;
          for (size_t C = 0; C < 3; ++C) W.Sum[C] += V[C];
        }
      EXPECT_EQ(Got.Keys.KeyCount, 1u << (Bits.Red + Bits.Green + Bits.Blue));
      EXPECT_FALSE(Got.Distinct);
      ASSERT_EQ(Got.Points.size(), Want.size());
      size_t I = 0;
      for (const auto& [Key, W] : Want) {
        const TKvColorPoint& G = Got.Points[I++];
        ASSERT_EQ(G.Key, Key);
        ASSERT_EQ(G.Weight, W.Weight) << "cell " << Key;
        ASSERT_EQ(G.Sum, W.Sum) << "cell " << Key;
      }
    }
}

// The plain serpentine diffusion: clamp, look up, carry 7/16, 3/16, 5/16 and 1/16 of each
// channel's difference in sixteenths, each pixel's share rounded to the nearest.
std::vector<uint8_t> plain_dither(const TOwnedDIB& Src, const TKvPaletteBuffer& Palette) {
  const TKvPaletteLookup Lookup(Palette);
  const size_t W = static_cast<size_t>(Src.Width());
  std::vector<int32_t> Here(3 * (W + 2), 0), Below(3 * (W + 2), 0);
  std::vector<uint8_t> Out;
  for (int32_t Y = 0; Y < Src.Height(); ++Y) {
    std::vector<uint8_t> Row(W);
    std::fill(Below.begin(), Below.end(), 0);
    const int Step = Y % 2 == 0 ? 1 : -1;
    int32_t Ahead[3] = {0, 0, 0};
    for (size_t N = 0; N < W; ++N) {
      const size_t X = Step > 0 ? N : W - 1 - N;
      const uint8_t* P = Src.Row(Y) + 3 * X;
      const int32_t Pixel[3] = {P[2], P[1], P[0]};
      int32_t V[3];
      for (size_t C = 0; C < 3; ++C)
        V[C] = std::clamp(Pixel[C] + ((Here[3 * (X + 1) + C] + Ahead[C] + 8) >> 4), 0, 255);
      const uint8_t I = Lookup.Nearest(static_cast<uint32_t>(V[0]), static_cast<uint32_t>(V[1]),
                                       static_cast<uint32_t>(V[2]));
      Row[X] = I;
      const RGBQUAD& E = Palette.Colors[I];
      const int32_t Entry[3] = {E.rgbRed, E.rgbGreen, E.rgbBlue};
      for (size_t C = 0; C < 3; ++C) {
        const int32_t D = V[C] - Entry[C];
        Ahead[C] = 7 * D;
        Below[3 * (X + 1 - Step) + C] += 3 * D;
        Below[3 * (X + 1) + C] += 5 * D;
        Below[3 * (X + 1 + Step) + C] += D;
      }
    }
    std::swap(Here, Below);
    Out.insert(Out.end(), Row.begin(), Row.end());
  }
  return Out;
}

TEST(QuantizePoints, DiffusionEqualsThePlainFormulation) {
  std::mt19937 Rng(21);
  const TOwnedDIB Photo = photo_like(97, 31, 8);
  const TOwnedDIB Smooth = test::TrueColor(64, 48, [](int X, int Y) {
    return TRgb{static_cast<uint8_t>(4 * X), static_cast<uint8_t>(5 * Y), static_cast<uint8_t>(2 * (X + Y))};
  });
  for (int32_t K : {1, 2, 16, 200, 256})
    for (const TOwnedDIB* Src : {&Photo, &Smooth})
      for (int DstBits : {8, 4}) {
        if (DstBits == 4 && K > 16) continue;
        SCOPED_TRACE(testing::Message() << K << " entries, " << DstBits << " bits");
        TKvPaletteBuffer Palette;
        Palette.Count = K;
        for (int32_t I = 0; I < K; ++I)  // a few dark entries only, so that errors pile up
          Palette.Colors[static_cast<size_t>(I)] =
              I % 7 == 3 ? RGBQUAD{10, 10, 10, 0}
                         : RGBQUAD{static_cast<uint8_t>(Rng()), static_cast<uint8_t>(Rng()),
                                   static_cast<uint8_t>(Rng()), 0};
        int32_t DstSize = 0;
        const TKvRowGeometry G = CheckedReduction(Src->Info(), 24, DstBits, "test", DstSize);
        std::vector<uint8_t> Bits(static_cast<size_t>(DstSize), 0);
        int Rows = 0;
        DitherFloydSteinberg(Src->Info(), G, Palette, Bits.data(), DstBits, [&Rows] { ++Rows; });
        EXPECT_EQ(Rows, Src->Height());
        const std::vector<uint8_t> Want = plain_dither(*Src, Palette);
        const size_t W = static_cast<size_t>(Src->Width());
        for (int64_t Y = 0; Y < G.Height; ++Y) {
          const uint8_t* D = G.DstRow(Bits.data(), Y);
          for (size_t X = 0; X < W; ++X) {
            const uint8_t Got = DstBits == 8 ? D[X] : (X % 2 == 0 ? D[X / 2] >> 4 : D[X / 2] & 15);
            ASSERT_EQ(Got, Want[static_cast<size_t>(Y) * W + X]) << "pixel " << X << ", row " << Y;
          }
        }
      }
}

}  // namespace
}  // namespace kv
