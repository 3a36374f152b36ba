// The 256-colour to 16-colour reduction: agreement with the literal formulation on random
// and structured images, the worked examples, refusals and clean failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include "image/reduce/KvReduce.h"
#include "tests/KvTestSupport.h"
#include "tests/reduce_support.h"

namespace kv {
namespace {

using test::Quad;
using test::TOwnedDIB;

test::TReduced Reduce(const TOwnedDIB& Src, int* Calls = nullptr) {
  TOwnedDIB Dst;
  int N = 0;
  Convert8BitRGBTo4BitRGB(Src.Info(), Dst.Info(), [&N] { ++N; });
  test::ExpectReducedShape(Src.Info(), Dst.Info(), 4);
  if (Calls) *Calls = N;
  return test::ReadReduced(Dst.Info());
}

// An 8-bit image whose row Y, pixel X has index Pixels(X, Y).
TOwnedDIB Indexed(int32_t W, int32_t H, const std::vector<RGBQUAD>& Colors,
                  const std::function<uint8_t(int, int)>& Pixels) {
  TOwnedDIB D(W, H, 8, static_cast<uint32_t>(Colors.size()));
  for (size_t I = 0; I < Colors.size(); ++I) D.Info().Colors[I] = Colors[I];
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int32_t X = 0; X < W; ++X) D.Row(Y)[X] = Pixels(X, Y);
  return D;
}

TEST(Reduce8To4, MatchesTheLiteralFormulation) {
  std::mt19937 Rng(777);
  struct Shape {
    int32_t W, H;
    int Colors;
  };
  const Shape Shapes[] = {{1, 1, 1},   {1, -1, 256}, {2, 3, 2},    {3, 5, 16}, {5, 4, 17},    {7, -3, 40},
                          {16, 16, 3}, {33, 9, 256}, {64, 64, 90}, {99, 7, 5}, {128, 80, 256}};
  for (const Shape& S : Shapes)
    for (int Round = 0; Round < 4; ++Round) {
      SCOPED_TRACE(std::to_string(S.W) + "x" + std::to_string(S.H) + " colours " + std::to_string(S.Colors));
      const TOwnedDIB Src = test::RandomIndexed(Rng, S.W, S.H, 8, S.Colors);
      const std::vector<uint8_t> Before = Src.Bytes();
      int Calls = 0;
      test::ExpectSameReduction(Reduce(Src, &Calls), test::ref::EightToFour(Src.Info()));
      EXPECT_EQ(Calls, 16);
      EXPECT_EQ(Src.Bytes(), Before);
    }
}

TEST(Reduce8To4, PalettesWithTiesMatchTheLiteralFormulation) {
  // Colours drawn from few values, so that channel values often equal a mean.
  std::mt19937 Rng(99);
  for (int Round = 0; Round < 40; ++Round) {
    std::vector<RGBQUAD> Colors;
    const uint32_t Spread = 2 + Rng() % 6;
    for (int I = 0; I < 256; ++I)
      Colors.push_back(
          Quad(uint8_t(Rng() % Spread * 40), uint8_t(Rng() % Spread * 40), uint8_t(Rng() % Spread)));
    const uint32_t Used = 1 + Rng() % 256;
    const TOwnedDIB Src =
        Indexed(21, 13, Colors, [&](int, int) { return static_cast<uint8_t>(Rng() % Used); });
    test::ExpectSameReduction(Reduce(Src), test::ref::EightToFour(Src.Info()));
  }
}

TEST(Reduce8To4, WorkedExamples) {
  // Two colours used: exactly those two, each in its own leaf.
  {
    const TOwnedDIB Src = Indexed(5, 3, {Quad(1, 2, 3), Quad(200, 100, 50), Quad(9, 9, 9)},
                                  [](int X, int) { return static_cast<uint8_t>(X % 2); });
    int Calls = 0;
    const test::TReduced Got = Reduce(Src, &Calls);
    EXPECT_EQ(Calls, 16);
    ASSERT_EQ(Got.Palette.size(), 2u);
    EXPECT_TRUE(test::SameColor(Got.Palette[0], Quad(200, 100, 50)));
    EXPECT_TRUE(test::SameColor(Got.Palette[1], Quad(1, 2, 3)));
  }
  // Two entries of one colour cannot be told apart; an unused entry takes no part.
  {
    const TOwnedDIB Src =
        Indexed(6, 2, {Quad(10, 20, 30), Quad(250, 0, 0), Quad(10, 20, 30), Quad(0, 255, 0)},
                [](int X, int) { return static_cast<uint8_t>(X % 3); });
    const test::TReduced Got = Reduce(Src);
    ASSERT_EQ(Got.Palette.size(), 2u);
    EXPECT_EQ(Got.Index[0], Got.Index[2]);
    EXPECT_NE(Got.Index[0], Got.Index[1]);
    for (const RGBQUAD& Q : Got.Palette) EXPECT_FALSE(test::SameColor(Q, Quad(0, 255, 0)));
  }
  // A pixel value at or above biClrUsed takes the colour of its colour-table entry.
  {
    TOwnedDIB Src =
        Indexed(2, 1, {Quad(0, 0, 0)}, [](int X, int) { return static_cast<uint8_t>(X ? 200 : 0); });
    Src.Info().Colors[200] = Quad(255, 255, 255);
    const test::TReduced Got = Reduce(Src);
    ASSERT_EQ(Got.Palette.size(), 2u);
    EXPECT_TRUE(test::SameColor(Got.Palette[0], Quad(255, 255, 255)));
    EXPECT_EQ(Got.Index, (std::vector<uint8_t>{1, 0}));
  }
  // Sixteen colours red 0..14 and 255 in equal numbers give 9 colours: the pairs 0/1 ...
  // 12/13 merge and their means x.5 round to the even neighbour.
  {
    std::vector<RGBQUAD> Colors;
    for (int I = 0; I < 15; ++I) Colors.push_back(Quad(static_cast<uint8_t>(I), 0, 0));
    Colors.push_back(Quad(255, 0, 0));
    const TOwnedDIB Src = Indexed(16, 4, Colors, [](int X, int) { return static_cast<uint8_t>(X); });
    const test::TReduced Got = Reduce(Src);
    const uint8_t Want[9] = {255, 14, 12, 10, 8, 6, 4, 2, 0};
    ASSERT_EQ(Got.Palette.size(), 9u);
    for (size_t I = 0; I < 9; ++I) EXPECT_TRUE(test::SameColor(Got.Palette[I], Quad(Want[I], 0, 0))) << I;
  }
  // The variance near-tie of Red 18, 108, 128 / green 197, 132, 232 goes to green.
  {
    const TOwnedDIB Src = Indexed(3, 1, {Quad(18, 197, 60), Quad(108, 132, 60), Quad(128, 232, 60)},
                                  [](int X, int) { return static_cast<uint8_t>(X); });
    const test::TReduced Got = Reduce(Src);
    ASSERT_EQ(Got.Palette.size(), 3u);
    EXPECT_TRUE(test::SameColor(Got.Palette[0], Quad(128, 232, 60)));
    EXPECT_TRUE(test::SameColor(Got.Palette[1], Quad(18, 197, 60)));
    EXPECT_TRUE(test::SameColor(Got.Palette[2], Quad(108, 132, 60)));
  }
}

TEST(Reduce8To4, OtherFormatsAreRefusedBeforeAnything) {
  const std::pair<uint16_t, uint32_t> Formats[] = {
      {8, kBiRLE8}, {8, kBiRLE4}, {4, kBiRGB}, {1, kBiRGB}, {24, kBiRGB}};
  for (const auto& [Bits, Compression] : Formats)
    test::ExpectRefusedBeforeAnything(Convert8BitRGBTo4BitRGB, Bits, Compression,
                                      "Convert8BitRGBTo4BitRGB: Invalid Bitcount or Compression");
}

TEST(Reduce8To4, ACancelInsideTheProgressReleasesEverything) {
  std::mt19937 Rng(5);
  const TOwnedDIB Src = test::RandomIndexed(Rng, 31, 17, 8, 256);
  for (int CancelAt : {1, 8, 16})
    test::ExpectCancelReleasesEverything(
        [&](TKvDIBInfo& Dst, const TKvProgressProc& P) { Convert8BitRGBTo4BitRGB(Src.Info(), Dst, P); },
        CancelAt);
}

}  // namespace
}  // namespace kv
