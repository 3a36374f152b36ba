// The palette refinement: the same result as a plain Lloyd formulation (every point
// against every centre, straight iterations) and as its own unpruned mode; every entry
// used when there are enough points; fewer points than entries; the greedy seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "image/reduce/KvPaletteRefine.h"

namespace kv {
namespace {

TKvColorPoint point(uint64_t W, double R, double G, double B) {
  // Integer sums, as the gatherings make them: W pixels whose values add up to W x colour.
  return TKvColorPoint{
      W,
      {static_cast<uint64_t>(std::llround(W * R)), static_cast<uint64_t>(std::llround(W * G)),
       static_cast<uint64_t>(std::llround(W * B))},
      0};
}

TKvColorF position(const TKvColorPoint& P) {
  return {static_cast<double>(P.Sum[0]) / P.Weight, static_cast<double>(P.Sum[1]) / P.Weight,
          static_cast<double>(P.Sum[2]) / P.Weight};
}

// The plain formulation: assign every point to its nearest centre (lowest index of
// equals), move every centre to its points' mean, until nothing moves; then round and
// assign once more.
TKvRefinedPalette plain_lloyd(const std::vector<TKvColorPoint>& Points, std::vector<TKvColorF> C,
                              int Iterations) {
  std::vector<uint8_t> A(Points.size(), 0);
  auto assign = [&] {
    bool Changed = false;
    for (size_t I = 0; I < Points.size(); ++I) {
      const uint8_t N = static_cast<uint8_t>(NearestExhaustive(C, position(Points[I])).Index);
      Changed = Changed || N != A[I];
      A[I] = N;
    }
    return Changed;
  };
  assign();
  for (int It = 0; It < Iterations; ++It) {
    for (size_t J = 0; J < C.size(); ++J) {
      uint64_t W = 0, S[3] = {0, 0, 0};
      for (size_t I = 0; I < Points.size(); ++I)
        if (A[I] == J) {
          W += Points[I].Weight;
          for (int K = 0; K < 3; ++K) S[K] += Points[I].Sum[static_cast<size_t>(K)];
        }
      for (int K = 0; K < 3; ++K)
        C[J][static_cast<size_t>(K)] = static_cast<double>(S[K]) / static_cast<double>(W);
    }
    if (!assign()) break;
  }
  for (TKvColorF& X : C)
    for (double& V : X) V = std::round(V);
  assign();
  TKvRefinedPalette Out;
  Out.Palette.Count = static_cast<int32_t>(C.size());
  for (size_t J = 0; J < C.size(); ++J)
    Out.Palette.Colors[J] = RGBQUAD{static_cast<uint8_t>(C[J][2]), static_cast<uint8_t>(C[J][1]),
                                    static_cast<uint8_t>(C[J][0]), 0};
  Out.Assignment = A;
  return Out;
}

void expect_same(const TKvRefinedPalette& A, const TKvRefinedPalette& B) {
  ASSERT_EQ(A.Palette.Count, B.Palette.Count);
  for (int32_t I = 0; I < A.Palette.Count; ++I) {
    const RGBQUAD &X = A.Palette.Colors[static_cast<size_t>(I)],
                  &Y = B.Palette.Colors[static_cast<size_t>(I)];
    EXPECT_TRUE(X.rgbRed == Y.rgbRed && X.rgbGreen == Y.rgbGreen && X.rgbBlue == Y.rgbBlue) << "entry " << I;
  }
  EXPECT_EQ(A.Assignment, B.Assignment);
}

// Clusters around K well-apart centres, with a seed near each: no cluster ever empties.
std::vector<TKvColorPoint> clusters(std::mt19937& Rng, int K, int PerCluster, std::vector<TKvColorF>& Seeds) {
  std::vector<TKvColorPoint> P;
  std::uniform_real_distribution<double> Noise(-9, 9);
  std::uniform_int_distribution<int> Weight(1, 50);
  Seeds.clear();
  for (int C = 0; C < K; ++C) {
    const TKvColorF Centre{20.0 + 50 * (C % 5), 20.0 + 50 * ((C / 5) % 5), 20.0 + 50 * (C / 25)};
    Seeds.push_back({Centre[0] + 3, Centre[1] - 2, Centre[2] + 1});
    for (int I = 0; I < PerCluster; ++I)
      P.push_back(point(static_cast<uint64_t>(Weight(Rng)), Centre[0] + Noise(Rng), Centre[1] + Noise(Rng),
                        Centre[2] + Noise(Rng)));
  }
  return P;
}

TEST(QuantizeRefine, EqualsThePlainLloydFormulation) {
  std::mt19937 Rng(5);
  for (int K : {1, 2, 9, 40}) {
    for (int Iterations : {0, 1, 3, 20}) {
      SCOPED_TRACE(testing::Message() << K << " clusters, " << Iterations << " iterations");
      std::vector<TKvColorF> Seeds;
      const std::vector<TKvColorPoint> Points = clusters(Rng, K, 30, Seeds);
      const TKvRefinedPalette Want = plain_lloyd(Points, Seeds, Iterations);
      for (bool Pruned : {true, false}) {
        TKvRefineSettings S;
        S.Colors = K;
        S.Iterations = Iterations;
        S.Pruned = Pruned;
        expect_same(RefinePalette(Points, Seeds, {}, S, nullptr), Want);
      }
    }
  }
}

TEST(QuantizeRefine, PrunedAndPlainModesAgreeWhereEntriesMustBeSplit) {
  // Random points, seeds too few and partly far from every point: splitting and pinning
  // take part; the pruned searches must not change a single decision.
  std::mt19937 Rng(9);
  std::uniform_int_distribution<int> V(0, 255), W(1, 9);
  for (int Trial = 0; Trial < 12; ++Trial) {
    std::vector<TKvColorPoint> Points;
    const int N = 50 + 40 * Trial;
    for (int I = 0; I < N; ++I)
      Points.push_back(point(static_cast<uint64_t>(W(Rng)), V(Rng) / 2, V(Rng), V(Rng) % 7));
    std::vector<TKvColorF> Seeds{{0, 0, 0}, {255, 255, 255}, {10, 200, 3}};
    TKvRefineSettings S;
    S.Colors = Trial % 2 ? 256 : 16;
    S.Iterations = 6;
    S.Pruned = true;
    const TKvRefinedPalette A = RefinePalette(Points, Seeds, {}, S, nullptr);
    S.Pruned = false;
    const TKvRefinedPalette B = RefinePalette(Points, Seeds, {}, S, nullptr);
    SCOPED_TRACE(testing::Message() << "trial " << Trial);
    expect_same(A, B);
  }
}

// Every entry of a result is used, and as many as asked whenever there are enough points.
void expect_all_used(const std::vector<TKvColorPoint>& Points, const TKvRefinedPalette& R, int32_t Colors) {
  std::set<uint8_t> Used(R.Assignment.begin(), R.Assignment.end());
  EXPECT_EQ(static_cast<int32_t>(Used.size()), R.Palette.Count);
  EXPECT_EQ(R.Palette.Count, std::min<int32_t>(Colors, static_cast<int32_t>(Points.size())));
  for (uint8_t A : R.Assignment) EXPECT_LT(A, R.Palette.Count);
}

TEST(QuantizeRefine, EveryEntryIsUsedWhenThereAreEnoughPoints) {
  std::mt19937 Rng(21);
  std::uniform_int_distribution<int> V(0, 255);
  for (int32_t Colors : {2, 3, 16, 100, 256}) {
    for (int Extra : {0, 1, 500}) {
      SCOPED_TRACE(testing::Message() << Colors << " colours, " << Extra << " points more");
      // Distinct integer colours, one heavy group close together and a few far ones.
      std::set<uint32_t> Seen;
      std::vector<TKvColorPoint> Points;
      while (Points.size() < static_cast<size_t>(Colors + Extra)) {
        const bool Near = Points.size() % 4 != 0;
        const uint32_t R = Near ? 100 + V(Rng) % 12 : V(Rng), G = Near ? 100 + V(Rng) % 12 : V(Rng),
                       B = Near ? 100 + V(Rng) % 12 : V(Rng);
        if (!Seen.insert(R << 16 | G << 8 | B).second) continue;
        Points.push_back(point(Near ? 1000 : 1, R, G, B));
      }
      for (bool Greedy : {false, true}) {
        std::vector<uint8_t> SeedOf;
        const std::vector<TKvColorF> Seeds =
            Greedy ? GreedySeeds(Points, Colors, SeedOf) : std::vector<TKvColorF>{{0, 0, 0}};
        TKvRefineSettings S;
        S.Colors = Colors;
        S.Iterations = 4;
        expect_all_used(Points, RefinePalette(Points, Seeds, SeedOf, S, nullptr), Colors);
      }
    }
  }
}

TEST(QuantizeRefine, FewerPointsThanEntriesKeepTheirColoursExactly) {
  const std::vector<TKvColorPoint> Points = {point(5, 10, 20, 30), point(1, 10, 20, 31), point(7, 200, 0, 0)};
  for (int32_t Colors : {3, 4, 256}) {
    TKvRefineSettings S;
    S.Colors = Colors;
    std::vector<uint8_t> SeedOf;
    const TKvRefinedPalette R =
        RefinePalette(Points, GreedySeeds(Points, Colors, SeedOf), SeedOf, S, nullptr);
    expect_all_used(Points, R, Colors);
    for (size_t I = 0; I < Points.size(); ++I) {
      const RGBQUAD& Q = R.Palette.Colors[R.Assignment[I]];
      const TKvColorF P = position(Points[I]);
      EXPECT_EQ(TKvColorF({1.0 * Q.rgbRed, 1.0 * Q.rgbGreen, 1.0 * Q.rgbBlue}), P) << "point " << I;
    }
  }
  // One colour: one entry, exactly it.
  TKvRefineSettings S;
  const TKvRefinedPalette One =
      RefinePalette(std::vector<TKvColorPoint>{point(9, 1, 2, 3)}, {}, {}, S, nullptr);
  ASSERT_EQ(One.Palette.Count, 1);
  EXPECT_EQ(One.Palette.Colors[0].rgbRed, 1);
  EXPECT_EQ(One.Palette.Colors[0].rgbGreen, 2);
  EXPECT_EQ(One.Palette.Colors[0].rgbBlue, 3);
}

TEST(QuantizeRefine, TiesGoToTheLowestIndex) {
  // Two seeds equally far from the middle point: it belongs to the first.
  const std::vector<TKvColorPoint> Points = {point(1, 0, 0, 0), point(1, 10, 0, 0), point(1, 20, 0, 0)};
  const std::vector<TKvColorF> Seeds = {{0, 0, 0}, {20, 0, 0}};
  TKvRefineSettings S;
  S.Colors = 2;
  S.Iterations = 0;
  const TKvRefinedPalette R = RefinePalette(Points, Seeds, {}, S, nullptr);
  EXPECT_EQ(R.Assignment, (std::vector<uint8_t>{0, 0, 1}));
  EXPECT_EQ(plain_lloyd(Points, Seeds, 0).Assignment, R.Assignment);
}

TEST(QuantizeRefine, GreedySeedsSplitTheLargestErrorFirst) {
  // Two tight groups far apart and one spread-out group: three seeds, one per group,
  // each the exact mean of its group.
  const std::vector<TKvColorPoint> Points = {point(4, 0, 0, 0),     point(4, 2, 0, 0),
                                             point(1, 250, 0, 0),   point(1, 250, 100, 0),
                                             point(1, 250, 200, 0), point(3, 0, 0, 250)};
  std::vector<uint8_t> SeedOf;
  const std::vector<TKvColorF> Seeds = GreedySeeds(Points, 3, SeedOf);
  ASSERT_EQ(Seeds.size(), 3u);
  std::multiset<std::vector<double>> Got, Want{{1, 0, 0}, {250, 100, 0}, {0, 0, 250}};
  for (const TKvColorF& C : Seeds) Got.insert({C[0], C[1], C[2]});
  EXPECT_EQ(Got, Want);
  EXPECT_EQ(SeedOf[0], SeedOf[1]);
  EXPECT_EQ(SeedOf[2], SeedOf[4]);
  EXPECT_NE(SeedOf[0], SeedOf[5]);
}

}  // namespace
}  // namespace kv
