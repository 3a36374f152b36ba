// Halftones: worked examples (uniform colours, level boundaries, a hand-computed 2 x 2
// serpentine walk, truncation toward zero), the palettes and descriptors, sources of every
// bit count against a plain per-pixel model, and refusals.
#include <gtest/gtest.h>

#include "image/convert/KvHalftone.h"
#include "image/convert/KvHalftonePalette.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

using TBytes = std::vector<uint8_t>;

TOwnedDIB true_color(int32_t Width, int32_t Height, std::initializer_list<TKvRGB> Pixels) {
  TOwnedDIB D(Width, Height, 24);
  auto It = Pixels.begin();
  for (int32_t R = 0; R < D.Height(); ++R)
    for (int32_t X = 0; X < Width && It != Pixels.end(); ++X) SetPixel24(D.Row(R), X, *It++);
  return D;
}

TOwnedDIB uniform(int32_t Width, int32_t Height, TKvRGB C) {
  TOwnedDIB D(Width, Height, 24);
  for (int32_t R = 0; R < D.Height(); ++R)
    for (int32_t X = 0; X < Width; ++X) SetPixel24(D.Row(R), X, C);
  return D;
}

TOwnedDIB halftone(const TOwnedDIB& Src) {
  TOwnedDIB Dst;
  ConvertToHalfTone(Src.Info(), Dst.Info());
  return Dst;
}

TOwnedDIB halftone_bw(const TOwnedDIB& Src) {
  TOwnedDIB Dst;
  ConvertToHalfToneBW(Src.Info(), Dst.Info());
  return Dst;
}

TEST(Halftone, UniformColoursHitTheirGridEntry) {
  struct TCase {
    TKvRGB Colour;
    uint8_t Index;
  };
  const TCase Cases[] = {{{51, 43, 64}, 41}, {{255, 255, 255}, 209}, {{0, 0, 0}, 0}, {{102, 128, 192}, 88}};
  for (const TCase& C : Cases) {
    const TOwnedDIB Dst = halftone(uniform(9, 5, C.Colour));
    bool All = true;
    for (int32_t R = 0; R < 5; ++R)
      for (int32_t X = 0; X < 9; ++X) All &= Dst.Row(R)[X] == C.Index;
    EXPECT_TRUE(All) << int(C.Index);
  }
}

TEST(Halftone, LevelBoundariesOfTheFirstPixel) {
  // The first pixel carries no error, so its level comes straight from the ranges.
  struct TCase {
    TKvRGB Colour;
    int I, J, K;
  };
  const TCase Cases[] = {
      {{25, 21, 31}, 0, 0, 0},    {{26, 22, 32}, 1, 1, 1},    {{76, 63, 95}, 1, 1, 1},
      {{77, 64, 96}, 2, 2, 2},    {{127, 106, 159}, 2, 2, 2}, {{128, 107, 160}, 3, 3, 3},
      {{178, 149, 223}, 3, 3, 3}, {{179, 150, 224}, 4, 4, 4}, {{230, 192, 255}, 4, 4, 4},
      {{231, 193, 0}, 5, 5, 0},   {{255, 233, 0}, 5, 5, 0},   {{0, 234, 0}, 0, 6, 0},
  };
  for (const TCase& C : Cases) {
    const TOwnedDIB Dst = halftone(true_color(1, 1, {C.Colour}));
    EXPECT_EQ(Dst.Row(0)[0], 35 * C.I + 5 * C.J + C.K)
        << int(C.Colour.Red) << "," << int(C.Colour.Green) << "," << int(C.Colour.Blue);
  }
}

TEST(Halftone, LevelTablesFollowTheRanges) {
  auto at = [](const THalftoneLevelTable& T, int V) { return T[static_cast<size_t>(V + 256)]; };
  EXPECT_EQ(HalftoneRedLevelTable.size(), 769u);
  EXPECT_EQ(at(HalftoneRedLevelTable, -256), 0);
  EXPECT_EQ(at(HalftoneRedLevelTable, 230), 4);
  EXPECT_EQ(at(HalftoneRedLevelTable, 231), 5);
  EXPECT_EQ(at(HalftoneRedLevelTable, 512), 5);
  EXPECT_EQ(at(HalftoneGreenLevelTable, 233), 5);
  EXPECT_EQ(at(HalftoneGreenLevelTable, 234), 6);
  EXPECT_EQ(at(HalftoneGreenLevelTable, 512), 6);
  EXPECT_EQ(at(HalftoneBlueLevelTable, 223), 3);
  EXPECT_EQ(at(HalftoneBlueLevelTable, 224), 4);
  EXPECT_EQ(at(HalftoneBlueLevelTable, 512), 4);
}

TEST(Halftone, TwoByTwoSerpentineByHand) {
  // Row 0 left to right: (100,100,100) -> levels 2,2,2 (82), errors (2,-15,28); then with
  // the left error: green 105, blue 90 -> 2,2,1 (81), errors (2,-20,-26). Row 1 right to
  // left: x = 1 sees above (2,-20,-26) and the border behind -> 2,3,2 (87), errors
  // (2,21,19); x = 0 sees above (2,-15,28), behind (2,-20,-26), left (2,21,19) -> 81.
  const TOwnedDIB Dst = halftone(uniform(2, 2, {100, 100, 100}));
  EXPECT_EQ(Dst.Bytes(), (TBytes{82, 81, 0, 0, 81, 87, 0, 0}));
}

TEST(Halftone, ErrorQuotientTruncatesTowardZero) {
  // Pixel 0: green 45 -> level 43, error -2. Pixel 1: green 21 - trunc(12 * -2 / 32) =
  // 21 - 0 = 21 -> level 0 (flooring would give 22 -> level 1).
  const TOwnedDIB Dst = halftone(true_color(2, 1, {{0, 45, 0}, {0, 21, 0}}));
  EXPECT_EQ(Dst.Row(0)[0], 5);
  EXPECT_EQ(Dst.Row(0)[1], 0);
}

TEST(Halftone, PaletteAndDescriptor) {
  TOwnedDIB Src = uniform(5, -3, {1, 2, 3});
  Src.Info().Colors[215] = RGBQUAD{9, 8, 7, 6};
  Src.Info().Colors[255] = RGBQUAD{1, 1, 1, 1};
  const TOwnedDIB Dst = halftone(Src);
  const BITMAPINFOHEADER& H = Dst.Info().Header;
  EXPECT_EQ(H.biClrUsed, 215u);
  EXPECT_EQ(H.biBitCount, 8);
  EXPECT_EQ(H.biCompression, kBiRGB);
  EXPECT_EQ(H.biSizeImage, 0u);
  EXPECT_EQ(H.biHeight, -3);
  EXPECT_EQ(Dst.Info().BitsSize, 8 * 3);
  auto colour = [&Dst](int I) { return ColorOf(Dst.Info().Colors[I]); };
  EXPECT_EQ(colour(41), (TKvRGB{51, 43, 64}));
  EXPECT_EQ(colour(209), (TKvRGB{255, 255, 255}));
  EXPECT_EQ(colour(210), (TKvRGB{128, 0, 0}));
  EXPECT_EQ(colour(211), (TKvRGB{128, 128, 0}));
  EXPECT_EQ(colour(212), (TKvRGB{128, 0, 128}));
  EXPECT_EQ(colour(213), (TKvRGB{192, 192, 192}));
  EXPECT_EQ(colour(214), (TKvRGB{128, 128, 128}));
  for (int I = 0; I < 210; ++I) {
    EXPECT_EQ(colour(I),
              (TKvRGB{HalftoneRedLevels[I / 35], HalftoneGreenLevels[I / 5 % 7], HalftoneBlueLevels[I % 5]}));
    EXPECT_EQ(Dst.Info().Colors[I].rgbReserved, 0);
  }
  EXPECT_EQ(Dst.Info().Colors[215].rgbReserved, 6);  // beyond 214 the source's entries stay
  EXPECT_EQ(Dst.Info().Colors[255].rgbBlue, 1);
}

TEST(HalftoneBW, WorkedExamples) {
  const TOwnedDIB White = halftone_bw(uniform(11, 3, {255, 255, 255}));
  const TOwnedDIB Black = halftone_bw(uniform(11, 3, {0, 0, 0}));
  EXPECT_EQ(White.Bytes(), (TBytes{0xFF, 0xE0, 0, 0, 0xFF, 0xE0, 0, 0, 0xFF, 0xE0, 0, 0}));
  EXPECT_EQ(Black.Bytes(), TBytes(12, 0));
  EXPECT_EQ(halftone_bw(true_color(1, 1, {{128, 128, 128}})).Row(0)[0], 0x80);  // sum 384: white
  EXPECT_EQ(halftone_bw(true_color(1, 1, {{128, 128, 127}})).Row(0)[0], 0x00);  // sum 383: black
}

TEST(HalftoneBW, PaletteAndDescriptor) {
  TOwnedDIB Src = uniform(33, 2, {200, 200, 200});
  Src.Info().Colors[2] = RGBQUAD{5, 6, 7, 8};
  const TOwnedDIB Dst = halftone_bw(Src);
  const BITMAPINFOHEADER& H = Dst.Info().Header;
  EXPECT_EQ(H.biClrUsed, 2u);
  EXPECT_EQ(H.biBitCount, 1);
  EXPECT_EQ(H.biCompression, kBiRGB);
  EXPECT_EQ(H.biHeight, 2);
  EXPECT_EQ(Dst.Info().BitsSize, 8 * 2);
  EXPECT_EQ(0, std::memcmp(&Dst.Info().Colors[0], &MonoPalette[0], 2 * sizeof(RGBQUAD)));
  EXPECT_EQ(Dst.Info().Colors[2].rgbReserved, 8);
}

TEST(Halftone, OneBitSourceGoesThroughItsColourTable) {
  TOwnedDIB Src(10, 2, 1, 2);
  Src.SetColor(0, 255, 255, 255);
  Src.SetColor(1, 0, 0, 0);
  for (int32_t X = 0; X < 10; ++X) Src.SetIndex(X, 1, 1);  // row 1 all bit 1 = black
  const TOwnedDIB Colour = halftone(Src);
  const TOwnedDIB Mono = halftone_bw(Src);
  for (int32_t X = 0; X < 10; ++X) {
    EXPECT_EQ(Colour.Row(0)[X], 209);
    EXPECT_EQ(Colour.Row(1)[X], 0);
    EXPECT_EQ(Mono.Index(X, 0), 1);
    EXPECT_EQ(Mono.Index(X, 1), 0);
  }
}

// ---------------------------------------------------------------------------------------
// A plain model of both routines: the serpentine walk written out with a moving output
// position, the level choice by range comparisons.

int level_index(int V, std::initializer_list<int> Bounds) {
  int I = 0;
  for (int B : Bounds) {
    if (V <= B) return I;
    ++I;
  }
  return I;
}

TBytes model(const TOwnedDIB& Src, bool Mono) {
  const int32_t W = Src.Width(), H = Src.Height();
  const int Bits = Src.Info().Header.biBitCount;
  const int32_t Stride = Mono ? (W + 31) / 32 * 4 : (W * 8 + 31) / 32 * 4;
  TBytes Out(static_cast<size_t>(Stride) * H, 0);
  std::vector<std::array<int16_t, 3>> Cur(W + 2, {0, 0, 0}), Prev(W + 2);
  for (int32_t Y = 0; Y < H; ++Y) {
    Prev = Cur;
    const bool Even = Y % 2 == 0;
    int Left[3] = {0, 0, 0};
    size_t Pos = static_cast<size_t>(Y) * Stride + (Mono ? (Even ? 0 : (W - 1) / 8) : (Even ? 0 : W - 1));
    for (int32_t N = 0; N < W; ++N) {
      const int32_t X = Even ? N : W - 1 - N;
      const TKvRGB C = GetPixelColor(Src.Info(), Src.Row(Y), X, Bits);
      const int Value[3] = {C.Red, C.Green, C.Blue};
      int V[3];
      for (int K = 0; K < 3; ++K) {
        const int Sum = 12 * Prev[X + 1][K] + 12 * Left[K] + 5 * Prev[Even ? X : X + 2][K];
        V[K] = Value[K] - Sum / 32;
      }
      int Err[3];
      if (Mono) {
        const bool White = V[0] + V[1] + V[2] >= 384;
        for (int K = 0; K < 3; ++K) Err[K] = (White ? 255 : 0) - V[K];
        const uint8_t Mask = static_cast<uint8_t>(0x80 >> (X % 8));
        Out.at(Pos) = White ? (Out.at(Pos) | Mask) : (Out.at(Pos) & ~Mask);
        if (Even && X % 8 == 7) ++Pos;
        if (!Even && X % 8 == 0) --Pos;
      } else {
        const int I = level_index(V[0], {25, 76, 127, 178, 230});
        const int J = level_index(V[1], {21, 63, 106, 149, 192, 233});
        const int K = level_index(V[2], {31, 95, 159, 223});
        Err[0] = HalftoneRedLevels[I] - V[0];
        Err[1] = HalftoneGreenLevels[J] - V[1];
        Err[2] = HalftoneBlueLevels[K] - V[2];
        Out.at(Pos) = static_cast<uint8_t>(35 * I + 5 * J + K);
        Pos += Even ? 1 : -1;
      }
      for (int K = 0; K < 3; ++K) {
        Cur[X + 1][K] = static_cast<int16_t>(Err[K]);
        Left[K] = Cur[X + 1][K];
      }
    }
  }
  return Out;
}

TEST(Halftone, EveryBitCountAgainstTheModel) {
  std::mt19937 Rng(31);
  for (uint16_t Bits : {1, 4, 8, 24}) {
    for (int32_t Width = 1; Width <= 41; Width += 4) {
      SCOPED_TRACE(std::to_string(Bits) + " bits, width " + std::to_string(Width));
      const int32_t Height = 1 + static_cast<int32_t>(Rng() % 7);
      TOwnedDIB Src =
          Bits == 24 ? TOwnedDIB(Width, Height, 24) : RandomIndexed(Rng, Width, Height, Bits, 1 << Bits);
      if (Bits == 24)
        for (int32_t R = 0; R < Height; ++R)
          for (int32_t B = 0; B < Width * 3; ++B) Src.Row(R)[B] = static_cast<uint8_t>(Rng());
      EXPECT_EQ(halftone(Src).Bytes(), model(Src, false));
      EXPECT_EQ(halftone_bw(Src).Bytes(), model(Src, true));
    }
  }
}

// Every width from 1 to 40 (so every position of a row's last pixel in its 1-bit byte,
// and rows walked both ways), bottom-up and top-down, on pixels of the extreme values
// that make the largest errors, and on random ones.
TEST(Halftone, EveryWidthAndOrientationAgainstTheModel) {
  std::mt19937 Rng(7);
  for (int32_t Width = 1; Width <= 40; ++Width)
    for (const bool TopDown : {false, true})
      for (const bool Extremes : {false, true}) {
        SCOPED_TRACE("width " + std::to_string(Width) + (TopDown ? " top-down" : " bottom-up") +
                     (Extremes ? " extremes" : " random"));
        const int32_t Height = 3 + static_cast<int32_t>(Rng() % 4);
        TOwnedDIB Src(Width, TopDown ? -Height : Height, 24);
        for (int32_t R = 0; R < Height; ++R)
          for (int32_t B = 0; B < Width * 3; ++B) {
            const uint32_t V = Rng();
            Src.Row(R)[B] = Extremes ? static_cast<uint8_t>(V & 1 ? 255 - (V >> 8) % 3 : (V >> 8) % 3)
                                     : static_cast<uint8_t>(V);
          }
        EXPECT_EQ(halftone(Src).Bytes(), model(Src, false));
        EXPECT_EQ(halftone_bw(Src).Bytes(), model(Src, true));
      }
}

TEST(Halftone, Refusals) {
  TOwnedDIB Dst;
  TOwnedDIB Rle(4, 4, 8, 256);
  Rle.Info().Header.biCompression = kBiRLE8;
  ExpectThrowMessage<EKvDIBAssert>([&] { ConvertToHalfTone(Rle.Info(), Dst.Info()); },
                                   "ConvertToHalfTone: Invalid DIB Format");
  ExpectThrowMessage<EKvDIBAssert>([&] { ConvertToHalfToneBW(Rle.Info(), Dst.Info()); },
                                   "ConvertToHalfToneBW: Invalid DIB Format");
  TOwnedDIB Sixteen(4, 4, 16);
  ExpectThrowMessage<EKvDIBAssert>([&] { ConvertToHalfTone(Sixteen.Info(), Dst.Info()); },
                                   "ConvertToHalfTone: Invalid Bit Count");
  ExpectThrowMessage<EKvDIBAssert>([&] { ConvertToHalfToneBW(Sixteen.Info(), Dst.Info()); },
                                   "ConvertToHalfToneBW: Invalid Bit Count");
  EXPECT_EQ(Dst.Info().Bits, nullptr);
}

}  // namespace
}  // namespace kv::test
