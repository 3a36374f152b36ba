// The Fine (decision tree) reduction: every way of building and applying the tree against
// the literal formulation, the tree itself node by node, the worked examples, the
// variance near-tie, refusals and clean failure.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceStages.h"
#include "tests/KvTestSupport.h"
#include "tests/reduce_support.h"

namespace kv {
namespace {

using test::Quad;
using test::TOwnedDIB;
using test::TRgb;

const TKvHighBuild kBuilds[] = {TKvHighBuild::Auto, TKvHighBuild::Packed, TKvHighBuild::Distinct,
                                TKvHighBuild::Cube};
const TKvHighMapping kMappings[] = {TKvHighMapping::Auto, TKvHighMapping::Walk, TKvHighMapping::Grid};

std::string WayName(int MaxDepth, TKvHighBuild B, TKvHighMapping M) {
  return "depth " + std::to_string(MaxDepth) + " build " + std::to_string(static_cast<int>(B)) + " mapping " +
         std::to_string(static_cast<int>(M));
}

test::TReduced Reduce(const TOwnedDIB& Src, int MaxDepth, TKvHighBuild B, TKvHighMapping M, int* Calls) {
  TOwnedDIB Dst;
  int N = 0;
  ConvertTrueColorHigh(
      Src.Info(), Dst.Info(), [&N] { ++N; }, MaxDepth, B, M);
  test::ExpectReducedShape(Src.Info(), Dst.Info(), MaxDepth == 8 ? 8 : 4);
  *Calls = N;
  return test::ReadReduced(Dst.Info());
}

TEST(ReduceFine, EveryWayMatchesTheLiteralFormulation) {
  for (const test::TImageCase& Case : test::TrueColorCases()) {
    const TOwnedDIB Src = Case.Make();
    const std::vector<uint8_t> Before = Src.Bytes();
    for (int MaxDepth : {8, 4}) {
      const test::ref::Reduction Want = test::ref::High(Src.Info(), MaxDepth);
      for (TKvHighBuild B : kBuilds)
        for (TKvHighMapping M : kMappings) {
          // The mappings do not depend on the build; the cube's is the slow one to repeat.
          if (B == TKvHighBuild::Cube && M != TKvHighMapping::Auto) continue;
          SCOPED_TRACE(Case.Name + " / " + WayName(MaxDepth, B, M));
          int Calls = 0;
          test::ExpectSameReduction(Reduce(Src, MaxDepth, B, M, &Calls), Want);
          EXPECT_EQ(Calls, 1 << MaxDepth);
        }
    }
    EXPECT_EQ(Src.Bytes(), Before) << Case.Name << ": the source changed";
  }
}

TEST(ReduceFine, PublicRoutinesAreTheAutomaticWay) {
  const TOwnedDIB Src = test::TrueColorCases().back().Make();
  for (int MaxDepth : {8, 4}) {
    TOwnedDIB Dst;
    int Calls = 0;
    (MaxDepth == 8 ? ConvertTrueColorTo8BitRGBHigh : ConvertTrueColorTo4BitRGBHigh)(Src.Info(), Dst.Info(),
                                                                                    [&] { ++Calls; });
    EXPECT_EQ(Calls, 1 << MaxDepth);
    test::ExpectSameReduction(test::ReadReduced(Dst.Info()), test::ref::High(Src.Info(), MaxDepth));
  }
}

TEST(ReduceFine, TheTreeIsTheLiteralTree) {
  for (const test::TImageCase& Case : test::TrueColorCases()) {
    const TOwnedDIB Src = Case.Make();
    for (int MaxDepth : {8, 4}) {
      test::ref::Tree Want;
      const test::ref::Reduction WantColors = test::ref::High(Src.Info(), MaxDepth, &Want);
      for (TKvHighBuild B : kBuilds) {
        SCOPED_TRACE(Case.Name + " / " + WayName(MaxDepth, B, TKvHighMapping::Auto));
        TKvDivideTree Tree;
        TKvPaletteBuffer Palette;
        MakeHighPaletteTree(Src.Info(), Palette, nullptr, MaxDepth, Tree, B);
        EXPECT_EQ(Palette.Count, static_cast<int32_t>(WantColors.Palette.size()));
        ASSERT_EQ(Tree.Counter, Want.Counter);
        for (int K = 0; K < Tree.Counter; ++K) {
          const TKvDivideNode& N = Tree.Nodes[static_cast<size_t>(K)];
          const test::ref::Node& R = Want.Nodes[static_cast<size_t>(K)];
          if (R.DivideID < 0) {
            EXPECT_EQ(N.DivideID, kDivideUnused) << "node " << K;
            continue;
          }
          EXPECT_EQ(N.DivideID, R.DivideID) << "node " << K;
          EXPECT_EQ(N.Threshold, R.Threshold) << "node " << K;
          EXPECT_EQ(N.ColorIndex, R.ColorIndex) << "node " << K;
          EXPECT_EQ(N.LowChild, R.LowChild) << "node " << K;
          EXPECT_EQ(N.HighChild, R.HighChild) << "node " << K;
        }
      }
    }
  }
}

TEST(ReduceFine, OneColourIsAChainDividingOnRed) {
  const TOwnedDIB Src = test::TrueColor(7, 5, [](int, int) { return TRgb{91, 7, 203}; });
  for (TKvHighBuild B : kBuilds) {
    TKvDivideTree Tree;
    TKvPaletteBuffer Palette;
    int Calls = 0;
    MakeHighPaletteTree(
        Src.Info(), Palette, [&] { ++Calls; }, 8, Tree, B);
    EXPECT_EQ(Calls, 256);
    ASSERT_EQ(Palette.Count, 1);
    EXPECT_TRUE(test::SameColor(Palette.Colors[0], Quad(91, 7, 203)));
    EXPECT_EQ(Tree.Counter, 17);
    int K = 0;
    for (int Depth = 0; Depth < 8; ++Depth) {
      const TKvDivideNode& N = Tree.Nodes[static_cast<size_t>(K)];
      EXPECT_EQ(N.DivideID, kDivideRed);
      EXPECT_EQ(N.Threshold, 91.0L);
      EXPECT_EQ(N.HighChild, 2 * Depth + 1);
      EXPECT_EQ(Tree.Nodes[static_cast<size_t>(N.HighChild)].DivideID, kDivideUnused);  // the empty side
      K = N.LowChild;
    }
    EXPECT_EQ(K, 16);
    EXPECT_EQ(Tree.Nodes[16].DivideID, kDivideLeaf);
    EXPECT_EQ(Tree.Nodes[16].ColorIndex, 0);
  }
}

TEST(ReduceFine, WorkedExamples) {
  struct Case {
    const char* Name;
    std::vector<TRgb> Row;  // a 1-row image
    uint8_t RootID;
    long double RootThreshold;
    std::vector<RGBQUAD> Palette;
    std::vector<uint8_t> Index;
  };
  const Case Cases[] = {
      // Black and blue: divided on blue at 127.5, blue numbered first.
      {"black and blue",
       {{0, 0, 0}, {0, 0, 255}, {0, 0, 0}, {0, 0, 255}},
       kDivideBlue,
       127.5L,
       {Quad(0, 0, 255), Quad(0, 0, 0)},
       {1, 0, 1, 0}},
      // Red 8 and 9 stay apart (the Normal method merges them).
      {"red 8 and 9",
       {{8, 40, 40}, {9, 40, 40}},
       kDivideRed,
       8.5L,
       {Quad(9, 40, 40), Quad(8, 40, 40)},
       {1, 0}},
      // A value equal to the threshold goes low: red 20 is the mean of 10, 20, 30.
      {"value at the threshold",
       {{10, 0, 0}, {20, 0, 0}, {30, 0, 0}},
       kDivideRed,
       20.0L,
       {Quad(30, 0, 0), Quad(20, 0, 0), Quad(10, 0, 0)},
       {2, 1, 0}},
      // The near-tie: green wins in extended precision (red in exact arithmetic or double).
      {"variance tie",
       {{18, 197, 60}, {108, 132, 60}, {128, 232, 60}},
       kDivideGreen,
       187.0L,
       {Quad(128, 232, 60), Quad(18, 197, 60), Quad(108, 132, 60)},
       {1, 2, 0}},
  };
  for (const Case& C : Cases) {
    const TOwnedDIB Src = test::TrueColor(static_cast<int>(C.Row.size()), 1,
                                          [&C](int X, int) { return C.Row[static_cast<size_t>(X)]; });
    for (TKvHighBuild B : kBuilds) {
      SCOPED_TRACE(std::string(C.Name) + " / build " + std::to_string(static_cast<int>(B)));
      TKvDivideTree Tree;
      TKvPaletteBuffer Palette;
      MakeHighPaletteTree(Src.Info(), Palette, nullptr, 8, Tree, B);
      EXPECT_EQ(Tree.Nodes[0].DivideID, C.RootID);
      EXPECT_EQ(Tree.Nodes[0].Threshold, C.RootThreshold);
      for (TKvHighMapping M : kMappings) {
        int Calls = 0;
        const test::TReduced Got = Reduce(Src, 8, B, M, &Calls);
        ASSERT_EQ(Got.Palette.size(), C.Palette.size());
        for (size_t I = 0; I < C.Palette.size(); ++I)
          EXPECT_TRUE(test::SameColor(Got.Palette[I], C.Palette[I]));
        EXPECT_EQ(Got.Index, C.Index);
      }
    }
  }
}

// The cube's row sums: the vector loop against the portable one and against plain
// arithmetic, on every run of full rows of the largest counts (the bound of the 32-bit
// lanes) and of random counts.
TEST(ReduceFine, CubeRowSumsAreExact) {
  std::array<uint8_t, 256> Full{}, Random{};
  Full.fill(255);
  uint32_t X = 12345;
  for (uint8_t& C : Random) {
    X = X * 1103515245u + 12345u;
    C = static_cast<uint8_t>(X >> 24);
  }
  for (const auto* Row : {&Full, &Random})
    for (uint32_t B0 = 0; B0 <= 256; B0 += 1 + B0 / 8)
      for (uint32_t B1 = B0; B1 <= 256; B1 += 1 + (B1 - B0) / 5) {
        uint64_t N = 0, S = 0, Q = 0;
        for (uint32_t B = B0; B < B1; ++B) {
          N += (*Row)[B];
          S += uint64_t{(*Row)[B]} * B;
          Q += uint64_t{(*Row)[B]} * B * B;
        }
        for (const bool Plain : {false, true}) {
          const reduce_detail::TRunSums R = reduce_detail::RunSums(Row->data(), B0, B1, Plain);
          EXPECT_EQ(R.N, N) << B0 << ".." << B1;
          EXPECT_EQ(R.S, S) << B0 << ".." << B1;
          EXPECT_EQ(R.Q, Q) << B0 << ".." << B1;
        }
      }
}

TEST(ReduceFine, OtherBitCountsAreRefusedBeforeAnything) {
  const std::pair<uint16_t, uint32_t> Formats[] = {
      {1, kBiRGB}, {4, kBiRGB}, {4, kBiRLE4}, {8, kBiRGB}, {8, kBiRLE8}};
  const std::pair<test::TReduction, const char*> Routines[] = {
      {ConvertTrueColorTo8BitRGBHigh, "ConvertTrueColorTo8BitRGBHigh: Invalid Bitcount"},
      {ConvertTrueColorTo4BitRGBHigh, "ConvertTrueColorTo4BitRGBHigh: Invalid Bitcount"}};
  for (const auto& [Routine, Message] : Routines)
    for (const auto& [Bits, Compression] : Formats)
      test::ExpectRefusedBeforeAnything(Routine, Bits, Compression, Message);
}

TEST(ReduceFine, ACancelInsideTheProgressReleasesEverything) {
  const TOwnedDIB Src = test::TrueColorCases().back().Make();
  const std::vector<uint8_t> Before = Src.Bytes();
  for (int MaxDepth : {8, 4})
    for (TKvHighBuild B : kBuilds)
      for (int CancelAt : {1, 3, 1 << MaxDepth})
        test::ExpectCancelReleasesEverything(
            [&](TKvDIBInfo& Dst, const TKvProgressProc& P) {
              ConvertTrueColorHigh(Src.Info(), Dst, P, MaxDepth, B, TKvHighMapping::Auto);
            },
            CancelAt);
  EXPECT_EQ(Src.Bytes(), Before);
}

}  // namespace
}  // namespace kv
