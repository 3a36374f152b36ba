// Nearest-entry searches of the quantizer: the k-d tree search against the exhaustive one
// (ties, repeated entries, guesses, reaches), and the error-diffusion lookup table against
// an exhaustive search at every cell centre.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "image/reduce/KvNearestColor.h"

namespace kv {
namespace {

// Palettes that stress the search: integer colours on a coarse lattice (many exact ties),
// repeated entries, one entry, and real-valued centres.
std::vector<std::vector<TKvColorF>> search_palettes() {
  std::mt19937 Rng(15);
  std::vector<std::vector<TKvColorF>> P;
  P.push_back({{10, 20, 30}});
  for (int K : {2, 5, 16, 64, 256}) {
    std::vector<TKvColorF> Lattice, Real, Repeats;
    std::uniform_int_distribution<int> Coarse(0, 5);
    std::uniform_real_distribution<double> Any(0, 255);
    for (int I = 0; I < K; ++I) {
      Lattice.push_back({50.0 * Coarse(Rng), 50.0 * Coarse(Rng), 50.0 * Coarse(Rng)});
      Real.push_back({Any(Rng), Any(Rng), Any(Rng)});
      Repeats.push_back(I % 3 == 0 || Repeats.empty() ? TKvColorF{Any(Rng), 40, 40} : Repeats.back());
    }
    P.push_back(Lattice);
    P.push_back(Real);
    P.push_back(Repeats);
  }
  return P;
}

TEST(QuantizeSearch, PrunedSearchFindsTheExhaustiveNearestWithItsTies) {
  std::mt19937 Rng(7);
  std::uniform_int_distribution<int> Coarse(0, 10);
  std::uniform_real_distribution<double> Any(-10, 265);
  for (const std::vector<TKvColorF>& Entries : search_palettes()) {
    const TKvNearestSearch Search(Entries);
    for (int Q = 0; Q < 400; ++Q) {
      // Lattice queries fall exactly between lattice entries; the others anywhere.
      const TKvColorF Query = Q % 2 ? TKvColorF{25.0 * Coarse(Rng), 25.0 * Coarse(Rng), 25.0 * Coarse(Rng)}
                                    : TKvColorF{Any(Rng), Any(Rng), Any(Rng)};
      const TKvNearest Want = NearestExhaustive(Entries, Query);
      for (int32_t Guess : {-1, 0, static_cast<int32_t>(Entries.size() - 1), Want.Index})
        for (double Reach : {1.0, 2.0, std::numeric_limits<double>::infinity()}) {
          SCOPED_TRACE(testing::Message()
                       << Entries.size() << " entries, guess " << Guess << ", reach " << Reach);
          int Measured = 0;
          const TKvNearest Got = Search.Find(Query, Guess, Reach, Measured);
          ASSERT_EQ(Got.Index, Want.Index);
          ASSERT_EQ(Got.Distance, Want.Distance);
          // The second distance is a lower bound, and exact when the search may go anywhere.
          ASSERT_LE(Got.SecondDistance, Want.SecondDistance);
          if (std::isinf(Reach)) {
            ASSERT_EQ(Got.SecondDistance, Want.SecondDistance);
          }
          ASSERT_LE(Measured, static_cast<int>(Entries.size()));
        }
    }
    for (size_t I = 0; I < Entries.size(); ++I) {
      double Nearest = std::numeric_limits<double>::infinity();
      for (size_t J = 0; J < Entries.size(); ++J)
        if (J != I) Nearest = std::min(Nearest, std::sqrt(SquaredDistance(Entries[I], Entries[J])));
      EXPECT_EQ(Search.NearestOther(static_cast<int32_t>(I)), Nearest);
    }
  }
}

// Guessed searches go down the tree until the neighbour rows pay, then walk the rows; after
// a Reset that follows many guessed searches the rows are made at the first one. Every one
// of them finds the exhaustive nearest entry and distance.
TEST(QuantizeSearch, GuessedSearchesAgreeOnTheTreeAndOnTheNeighbourRows) {
  std::mt19937 Rng(21);
  std::uniform_real_distribution<double> Any(-10, 265);
  std::uniform_int_distribution<int> Coarse(0, 10);
  for (const std::vector<TKvColorF>& Entries : search_palettes()) {
    const size_t Pays = TKvNearestSearch::kTreeGuessesPerEntry * Entries.size();
    TKvNearestSearch Search(Entries);
    for (int Round = 0; Round < 2; ++Round) {
      if (Round == 1) Search.Reset(Entries);  // now predicted to pay from the first search
      for (size_t Q = 0; Q < Pays + 200; ++Q) {
        const TKvColorF Query = Q % 2 ? TKvColorF{25.0 * Coarse(Rng), 25.0 * Coarse(Rng), 25.0 * Coarse(Rng)}
                                      : TKvColorF{Any(Rng), Any(Rng), Any(Rng)};
        const TKvNearest Want = NearestExhaustive(Entries, Query);
        const int32_t Guess = static_cast<int32_t>(Q % Entries.size());
        int Measured = 0;
        const TKvNearest Got = Search.Find(Query, Guess, std::numeric_limits<double>::infinity(), Measured);
        ASSERT_EQ(Got.Index, Want.Index) << Entries.size() << " entries, round " << Round << ", search " << Q;
        ASSERT_EQ(Got.Distance, Want.Distance);
        ASSERT_EQ(Got.SecondDistance, Want.SecondDistance);
        ASSERT_LE(Measured, static_cast<int>(Entries.size()));
      }
    }
  }
}

TEST(QuantizeSearch, PrunedSearchMeasuresFewEntriesOfAPhotoLikePalette) {
  // 256 entries along a curved band, as photographs' palettes are; a guess near the answer.
  std::vector<TKvColorF> Entries;
  for (int I = 0; I < 256; ++I)
    Entries.push_back({static_cast<double>(I), 128 + 60 * std::sin(I / 40.0), 255.0 - I * 0.8});
  const TKvNearestSearch Search(Entries);
  std::mt19937 Rng(3);
  std::uniform_real_distribution<double> Noise(-6, 6);
  int64_t Measured = 0;
  for (int Q = 0; Q < 1000; ++Q) {
    const TKvColorF& E = Entries[static_cast<size_t>(Q % 256)];
    const TKvColorF Query{E[0] + Noise(Rng), E[1] + Noise(Rng), E[2] + Noise(Rng)};
    int M = 0;
    Search.Find(Query, Q % 256, 2.0, M);
    Measured += M;
  }
  EXPECT_LT(Measured / 1000.0, 40.0) << "the search hardly prunes";
}

TEST(QuantizeSearch, LookupGivesTheNearestEntryOfEveryCellCentre) {
  std::mt19937 Rng(11);
  for (int K : {1, 2, 7, 16, 100, 256}) {
    TKvPaletteBuffer Palette;
    Palette.Count = K;
    for (int I = 0; I < K; ++I) {
      // Some repeated colours, some on the cell grid's planes (ties between cells).
      const uint8_t V = static_cast<uint8_t>(Rng());
      Palette.Colors[static_cast<size_t>(I)] =
          I % 5 == 4 ? Palette.Colors[static_cast<size_t>(I - 1)]
                     : RGBQUAD{V, static_cast<uint8_t>(Rng() & ~7u), static_cast<uint8_t>(Rng()), 0};
    }
    std::vector<TKvColorF> Entries;
    for (int I = 0; I < K; ++I) {
      const RGBQUAD& Q = Palette.Colors[static_cast<size_t>(I)];
      Entries.push_back(
          {static_cast<double>(Q.rgbRed), static_cast<double>(Q.rgbGreen), static_cast<double>(Q.rgbBlue)});
    }
    const TKvPaletteLookup Lookup(Palette);
    for (uint32_t R = 0; R < 256; R += 8)
      for (uint32_t G = 0; G < 256; G += 8)
        for (uint32_t B = 0; B < 256; B += 8) {
          const uint32_t C[3] = {R + (G & 7), G + (B & 7), B + 5};  // any colour of the cell
          const TKvNearest Want = NearestExhaustive(Entries, TKvPaletteLookup::CellCentre(C[0], C[1], C[2]));
          ASSERT_EQ(Lookup.Nearest(C[0], C[1], C[2]), Want.Index)
              << K << " entries, colour " << R << "," << G << "," << B;
        }
  }
}

TEST(QuantizeSearch, IntegerExhaustiveSearchTakesTheLowestIndexOfEquals) {
  TKvPaletteBuffer Palette;
  Palette.Count = 3;
  Palette.Colors[0] = RGBQUAD{0, 0, 10, 0};                 // red 10
  Palette.Colors[1] = RGBQUAD{0, 0, 30, 0};                 // red 30
  Palette.Colors[2] = RGBQUAD{0, 0, 30, 0};                 // the same again
  EXPECT_EQ(NearestEntryExhaustive(Palette, 20, 0, 0), 0);  // equally far from 10 and 30
  EXPECT_EQ(NearestEntryExhaustive(Palette, 21, 0, 0), 1);
  EXPECT_EQ(NearestEntryExhaustive(Palette, 200, 0, 0), 1);
}

}  // namespace
}  // namespace kv
