// The Normal (cell histogram) reduction and the shared division DivideColorEntries:
// agreement with the literal formulation on many images, the worked examples, the
// variance near-tie, weights beyond 32 bits, refusals and clean failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "image/reduce/KvColorEntry.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceStages.h"
#include "tests/KvTestSupport.h"
#include "tests/reduce_support.h"

namespace kv {
namespace {

using test::Quad;
using test::TOwnedDIB;
using test::TRgb;

using TRoutine = test::TReduction;

struct TNormal {
  TRoutine Routine;
  int BitCount;
  int MaxDepth;
  const char* Name;
};
const TNormal kNormal[] = {{ConvertTrueColorTo8BitRGBLow, 8, 8, "ConvertTrueColorTo8BitRGBLow"},
                           {ConvertTrueColorTo4BitRGBLow, 4, 4, "ConvertTrueColorTo4BitRGBLow"}};

test::TReduced Reduce(const TNormal& M, const TOwnedDIB& Src, int* Calls = nullptr) {
  TOwnedDIB Dst;
  int N = 0;
  M.Routine(Src.Info(), Dst.Info(), [&N] { ++N; });
  test::ExpectReducedShape(Src.Info(), Dst.Info(), M.BitCount);
  if (Calls) *Calls = N;
  return test::ReadReduced(Dst.Info());
}

TEST(ReduceNormal, MatchesTheLiteralFormulation) {
  for (const test::TImageCase& Case : test::TrueColorCases()) {
    const TOwnedDIB Src = Case.Make();
    const std::vector<uint8_t> Before = Src.Bytes();
    for (const TNormal& M : kNormal) {
      SCOPED_TRACE(Case.Name + " / " + M.Name);
      int Calls = 0;
      const test::TReduced Got = Reduce(M, Src, &Calls);
      test::ExpectSameReduction(Got, test::ref::Low(Src.Info(), M.MaxDepth));
      EXPECT_EQ(Calls, 1 << M.MaxDepth);
    }
    EXPECT_EQ(Src.Bytes(), Before) << Case.Name << ": the source changed";
  }
}

TEST(ReduceNormal, ColoursOfOneCellShareAnIndex) {
  for (const test::TImageCase& Case : test::TrueColorCases()) {
    const TOwnedDIB Src = Case.Make();
    const test::TReduced Got = Reduce(kNormal[0], Src);
    std::vector<int> IndexOfCell(kColorCells, -1);
    size_t I = 0;
    for (int32_t Y = 0; Y < Src.Height(); ++Y)
      for (int32_t X = 0; X < Src.Width(); ++X, ++I) {
        const uint8_t* P = Src.Row(Y) + 3 * X;
        int& Seen = IndexOfCell[ColorCell(P[2], P[1], P[0])];
        if (Seen < 0) Seen = Got.Index[I];
        ASSERT_EQ(Seen, Got.Index[I]) << Case.Name << " pixel " << I;
      }
  }
}

TEST(ReduceNormal, WorkedExamples) {
  struct Case {
    const char* Name;
    int W, H;
    std::vector<TRgb> Colours;  // pixel X has colour X mod the count
    std::vector<RGBQUAD> Palette;
  };
  const Case Cases[] = {
      // One colour: its cell representative is exact.
      {"one colour", 5, 3, {{91, 7, 203}}, {Quad(91, 7, 203)}},
      // Red 8 and 15 share a cell: 8 + (0 + 7) div 2 = 11.
      {"red 8 and 15", 4, 2, {{8, 40, 40}, {15, 40, 40}}, {Quad(11, 40, 40)}},
      // Red 8 and 9: the dropped bits 0 and 1 average to 0.
      {"red 8 and 9", 4, 2, {{8, 40, 40}, {9, 40, 40}}, {Quad(8, 40, 40)}},
      // Black and blue: divided on blue, the high side numbered first.
      {"black and blue", 4, 2, {{0, 0, 0}, {0, 0, 255}}, {Quad(0, 0, 255), Quad(0, 0, 0)}},
  };
  for (const Case& C : Cases) {
    auto Colour = [&C](int X) { return C.Colours[static_cast<size_t>(X) % C.Colours.size()]; };
    const TOwnedDIB Src = test::TrueColor(C.W, C.H, [&](int X, int) { return Colour(X); });
    for (const TNormal& M : kNormal) {
      SCOPED_TRACE(std::string(C.Name) + " / " + M.Name);
      int Calls = 0;
      const test::TReduced Got = Reduce(M, Src, &Calls);
      EXPECT_EQ(Calls, 1 << M.MaxDepth);
      ASSERT_EQ(Got.Palette.size(), C.Palette.size());
      for (size_t I = 0; I < C.Palette.size(); ++I)
        EXPECT_TRUE(test::SameColor(Got.Palette[I], C.Palette[I]));
      // Every pixel gets the palette entry of its own colour.
      for (size_t I = 0; I < Got.Index.size(); ++I) {
        const bool Second = C.Palette.size() == 2 && Colour(static_cast<int>(I) % C.W).B == 0;
        EXPECT_EQ(Got.Index[I], Second ? 1 : 0);
      }
    }
  }
}

TEST(ReduceNormal, TopDownSourceKeepsItsRowOrder) {
  const TOwnedDIB Src = test::TrueColor(3, -2, [](int, int Y) {
    return Y == 0 ? TRgb{255, 0, 0} : TRgb{0, 0, 0};
  });
  TOwnedDIB Dst;
  ConvertTrueColorTo8BitRGBLow(Src.Info(), Dst.Info(), nullptr);
  EXPECT_EQ(Dst.Info().Header.biHeight, -2);
  const test::TReduced Got = test::ReadReduced(Dst.Info());
  ASSERT_EQ(Got.Palette.size(), 2u);
  EXPECT_TRUE(test::SameColor(Got.Palette[Got.Index[0]], Quad(255, 0, 0)));  // storage row 0
  EXPECT_TRUE(test::SameColor(Got.Palette[Got.Index[3]], Quad(0, 0, 0)));
}

TEST(ReduceNormal, CompressionOfATrueColourSourceIsNotExamined) {
  TOwnedDIB Src = test::TrueColor(5, 5, [](int X, int Y) {
    return TRgb{uint8_t(X * 50), uint8_t(Y * 50), 9};
  });
  const test::ref::Reduction Want = test::ref::Low(Src.Info(), 8);
  Src.Info().Header.biCompression = kBiRLE8;
  TOwnedDIB Dst;
  ConvertTrueColorTo8BitRGBLow(Src.Info(), Dst.Info(), nullptr);
  test::ExpectSameReduction(test::ReadReduced(Dst.Info()), Want);
  EXPECT_EQ(Dst.Info().Header.biCompression, kBiRGB);
}

TEST(ReduceNormal, OtherBitCountsAreRefusedBeforeAnything) {
  const std::pair<uint16_t, uint32_t> Formats[] = {
      {1, kBiRGB}, {4, kBiRGB}, {4, kBiRLE4}, {8, kBiRGB}, {8, kBiRLE8}};
  for (const TNormal& M : kNormal)
    for (const auto& [Bits, Compression] : Formats)
      test::ExpectRefusedBeforeAnything(M.Routine, Bits, Compression,
                                        std::string(M.Name) + ": Invalid Bitcount");
}

TEST(ReduceNormal, ASourceBlockShorterThanItsRowsIsRefused) {
  TOwnedDIB Src = test::TrueColor(4, 4, [](int, int) { return TRgb{1, 2, 3}; });
  Src.Info().Header.biHeight = 5;
  TKvDIBInfo Dst{};
  test::ExpectThrowMessage<EKvDIBAssert>([&] { ConvertTrueColorTo8BitRGBLow(Src.Info(), Dst, nullptr); },
                                         "ConvertTrueColorTo8BitRGBLow: Pixel Block Too Small");
  EXPECT_EQ(Dst.Bits, nullptr);
}

TEST(ReduceNormal, ACancelInsideTheProgressReleasesEverything) {
  const TOwnedDIB Src = test::TrueColor(40, 30, [](int X, int Y) {
    return TRgb{uint8_t(X * 6), uint8_t(Y * 8), 77};
  });
  const std::vector<uint8_t> Before = Src.Bytes();
  for (const TNormal& M : kNormal)
    for (int CancelAt : {1, 2, (1 << M.MaxDepth)})
      test::ExpectCancelReleasesEverything(
          [&](TKvDIBInfo& Dst, const TKvProgressProc& P) { M.Routine(Src.Info(), Dst, P); }, CancelAt);
  EXPECT_EQ(Src.Bytes(), Before);
}

TEST(ReduceNormal, CellTableOfUnusedCellsIsZero) {
  const TOwnedDIB Src = test::TrueColor(2, 1, [](int X, int) {
    return X ? TRgb{255, 255, 255} : TRgb{0, 0, 0};
  });
  std::vector<uint8_t> Table(kColorCells, 0xAB);
  TKvPaletteBuffer Palette;
  MakeLowPaletteTable(Src.Info(), Palette, nullptr, 8,
                      std::span<uint8_t, kColorCells>(Table.data(), kColorCells));
  ASSERT_EQ(Palette.Count, 2);
  EXPECT_EQ(Table[ColorCell(255, 255, 255)], 0);  // the high side first
  EXPECT_EQ(Table[ColorCell(0, 0, 0)], 1);
  size_t Nonzero = 0;
  for (uint8_t V : Table) Nonzero += V != 0;
  EXPECT_EQ(Nonzero, 1u);
}

// DivideColorEntries on its own.

std::vector<TKvColorEntry> Entries(const std::vector<std::array<int64_t, 4>>& RGBCount) {
  std::vector<TKvColorEntry> E;
  for (size_t I = 0; I < RGBCount.size(); ++I) {
    TKvColorEntry C;
    C.Red = static_cast<int32_t>(RGBCount[I][0]);
    C.Green = static_cast<int32_t>(RGBCount[I][1]);
    C.Blue = static_cast<int32_t>(RGBCount[I][2]);
    C.Count = RGBCount[I][3];
    C.Key = static_cast<int32_t>(I);
    E.push_back(C);
  }
  return E;
}

TEST(DivideColorEntries, AnExactVarianceTieIsDecidedByExtendedRounding) {
  // Red 18, 108, 128 and green 197, 132, 232: 3 x VR = 4 x VG = 20600 / 3 exactly.
  const int64_t R[3] = {18, 108, 128}, G[3] = {197, 132, 232};
  int64_t SR = 0, SG = 0, QR = 0, QG = 0;
  for (int I = 0; I < 3; ++I) {
    SR += R[I], SG += G[I], QR += R[I] * R[I], QG += G[I] * G[I];
  }
  ASSERT_EQ(3 * (3 * QR - SR * SR), 4 * (3 * QG - SG * SG));
  // In double precision red would win the tie.
  const double MRd = SR / 3.0, MGd = SG / 3.0;
  ASSERT_GE(3 * (QR / 3.0 - MRd * MRd), 4 * (QG / 3.0 - MGd * MGd));

  std::vector<TKvColorEntry> E = Entries({{18, 197, 60, 1}, {108, 132, 60, 1}, {128, 232, 60, 1}});
  TKvPaletteBuffer Palette;
  int Calls = 0;
  DivideColorEntries(0, E.size(), 0, 1, E.data(), Palette, [&] { ++Calls; });
  EXPECT_EQ(Calls, 2);
  ASSERT_EQ(Palette.Count, 2);
  // Divided on green at 187: the high side holds the first and third colour.
  EXPECT_TRUE(test::SameColor(Palette.Colors[0], Quad(73, 214, 60)));  // 214.5 rounds to even
  EXPECT_TRUE(test::SameColor(Palette.Colors[1], Quad(108, 132, 60)));
  for (const TKvColorEntry& C : E) EXPECT_EQ(C.Count, C.Key == 1 ? 1 : 0);
}

TEST(DivideColorEntries, WeightsBeyond32Bits) {
  // 3e9 pixels of red 0 and 5e9 of red 255: the mean 159.375 needs the full counts.
  std::vector<TKvColorEntry> E = Entries({{0, 10, 10, 3000000000}, {255, 10, 10, 5000000000}});
  TKvPaletteBuffer Palette;
  DivideColorEntries(0, E.size(), 0, 0, E.data(), Palette, nullptr);
  ASSERT_EQ(Palette.Count, 1);
  EXPECT_TRUE(test::SameColor(Palette.Colors[0], Quad(159, 10, 10)));

  // One level down the two colours part; the heavy entries weigh the variances.
  E = Entries({{0, 0, 0, 4000000000}, {0, 200, 0, 1}, {255, 0, 0, 4000000000}});
  Palette = TKvPaletteBuffer{};
  DivideColorEntries(0, E.size(), 0, 1, E.data(), Palette, nullptr);
  ASSERT_EQ(Palette.Count, 2);
  EXPECT_TRUE(test::SameColor(Palette.Colors[0], Quad(255, 0, 0)));
  EXPECT_TRUE(test::SameColor(Palette.Colors[1], Quad(0, 0, 0)));  // 200 / 4e9 rounds to 0
}

TEST(DivideColorEntries, EmptyRangesStillReportTheirBoxes) {
  for (int MaxDepth = 0; MaxDepth <= 8; ++MaxDepth) {
    std::vector<TKvColorEntry> E = Entries({{5, 5, 5, 3}});
    TKvPaletteBuffer Palette;
    int Calls = 0;
    DivideColorEntries(0, 1, 0, MaxDepth, E.data(), Palette, [&] { ++Calls; });
    EXPECT_EQ(Calls, 1 << MaxDepth);
    EXPECT_EQ(Palette.Count, 1);
    Calls = 0;
    DivideColorEntries(0, 0, 0, MaxDepth, E.data(), Palette, [&] { ++Calls; });
    EXPECT_EQ(Calls, 1 << MaxDepth);
  }
}

TEST(DivideColorEntries, EntriesWithoutPixelsAreRefused) {
  std::vector<TKvColorEntry> E = Entries({{1, 2, 3, 0}, {4, 5, 6, 0}});
  TKvPaletteBuffer Palette;
  test::ExpectThrowMessage<EKvDIBAssert>(
      [&] { DivideColorEntries(0, E.size(), 0, 4, E.data(), Palette, nullptr); },
      "DivideColorEntries: Entries Without Pixels");
}

TEST(DivideColorEntries, RandomEntriesMatchTheLiteralFormulation) {
  std::mt19937 Rng(12345);
  for (int Round = 0; Round < 200; ++Round) {
    const int K = 1 + static_cast<int>(Rng() % 300);
    const int MaxDepth = static_cast<int>(Rng() % 9);
    const int64_t Spread = 1 + static_cast<int64_t>(Rng() % 256);  // small spreads make ties
    auto Pick = [&Rng](int64_t Below) { return static_cast<int64_t>(Rng() % static_cast<uint64_t>(Below)); };
    std::vector<std::array<int64_t, 4>> Raw;
    for (int I = 0; I < K; ++I) Raw.push_back({Pick(Spread), Pick(Spread), Pick(Spread), 1 + Pick(1000)});
    std::vector<TKvColorEntry> E = Entries(Raw);
    std::vector<test::ref::Entry> RefE;
    for (size_t I = 0; I < Raw.size(); ++I)
      RefE.push_back({Raw[I][0], Raw[I][1], Raw[I][2], Raw[I][3], static_cast<int64_t>(I)});
    TKvPaletteBuffer Palette;
    int Calls = 0;
    DivideColorEntries(0, E.size(), 0, MaxDepth, E.data(), Palette, [&] { ++Calls; });
    std::vector<RGBQUAD> RefPal;
    int RefCalls = 0;
    test::ref::DivideEntries(0, RefE.size(), 0, MaxDepth, RefE, RefPal, RefCalls);
    ASSERT_EQ(Palette.Count, static_cast<int32_t>(RefPal.size())) << "round " << Round;
    for (size_t I = 0; I < RefPal.size(); ++I) EXPECT_TRUE(test::SameColor(Palette.Colors[I], RefPal[I]));
    EXPECT_EQ(Calls, RefCalls);
    std::vector<int64_t> Got(Raw.size()), Want(Raw.size());
    for (const TKvColorEntry& C : E) Got[static_cast<size_t>(C.Key)] = C.Count;
    for (const test::ref::Entry& C : RefE) Want[static_cast<size_t>(C.Key)] = C.Count;
    EXPECT_EQ(Got, Want) << "round " << Round;
  }
}

}  // namespace
}  // namespace kv
