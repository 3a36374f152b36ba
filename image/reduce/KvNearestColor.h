// Nearest-entry search among at most 256 colours (palette entries or cluster centres), by
// squared Euclidean distance in RGB; of entries at the same distance the lowest index wins.
//
// TKvNearestSearch keeps the entries in a k-d tree (J. L. Bentley, "Multidimensional
// binary search trees used for associative searching", 1975): each node splits its
// entries at the median of the channel along which they spread most, down to leaves of a
// few entries. A query descends to the near side first and visits a far side only while
// the squared distance to its splitting plane (a lower bound of the distance of every
// entry there, computed with the same roundings) does not exceed the bound: the second-
// best distance found, and at most Reach times the best. A guess (an entry that is
// probably near, such as the point's centre before it moved) is measured first, so the
// bound is tight from the start. So the nearest entry and its distance are exactly those
// of NearestExhaustive, ties included; the second distance is exact or, when a side was
// left out for Reach, a lower bound, which is what the refinement's bounds need.
//
// TKvPaletteLookup maps a 24-bit colour to a palette entry for error diffusion: the entry
// nearest to the centre of the colour's cell of 8 x 8 x 8 colours (lowest index of
// equals), from a table made at once for all 32,768 cells, so a lookup is one read from a
// table that stays in the first-level cache (error diffusion waits for every lookup
// before it can go on to the next pixel). The table is filled box by box (the locally sorted
// search of P. Heckbert's "Color image quantization for frame buffer display", 1982): an
// entry whose least distance to a box's centres exceeds the greatest distance of some
// other entry cannot be nearest to any of them, and a box left with one candidate is
// filled whole; others are split into eight. The answer is within a cell's half
// diagonal of the nearest entry's distance; the diffusion carries the difference on like
// any other error.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "image/reduce/KvReduceCommon.h"

namespace kv {

using TKvColorF = std::array<double, 3>;  // red, green, blue

inline double SquaredDistance(const TKvColorF& A, const TKvColorF& B) {
  const double R = A[0] - B[0];
  const double G = A[1] - B[1];
  const double Bl = A[2] - B[2];
  return R * R + G * G + Bl * Bl;
}

struct TKvNearest {
  int32_t Index = -1;
  double Distance = std::numeric_limits<double>::infinity();  // squared
  // Squared; infinite for one entry. A lower bound of the second-nearest distance (exact
  // from NearestExhaustive).
  double SecondDistance = std::numeric_limits<double>::infinity();
};

// The plain formulation: every entry is measured.
TKvNearest NearestExhaustive(std::span<const TKvColorF> Entries, const TKvColorF& Query);

class TKvNearestSearch {
 public:
  TKvNearestSearch() = default;
  explicit TKvNearestSearch(std::span<const TKvColorF> Entries) { Reset(Entries); }
  void Reset(std::span<const TKvColorF> Entries);

  // Guess: an entry index to measure first, or -1. Reach: how far beyond the best
  // distance (as a factor of the squared distance) the search goes to tighten the second.
  TKvNearest Find(const TKvColorF& Query, int32_t Guess = -1, double Reach = kDefaultReach) const;
  // Find, also counting the entries measured (for tests and tuning).
  TKvNearest Find(const TKvColorF& Query, int32_t Guess, double Reach, int& Measured) const;

  // Distance from entry I to the nearest other entry (infinite for one entry).
  double NearestOther(int32_t I) const { return m_Nearest[static_cast<size_t>(I)]; }

  static constexpr double kDefaultReach = 2.0;
  static constexpr size_t kLeafSize = 4;
  // Neighbours of each entry kept in order of distance; the others are looked through.
  static constexpr size_t kSortedNeighbours = 32;
  // A guessed search walks the guess's row of neighbours, nearest first, once the rows pay
  // for themselves: when the entries before the last Reset had more than this many guessed
  // searches per entry (refinements search about as often from one round to the next), or
  // once these have had as many (the rows cost about as much as that many searches down
  // the tree). Otherwise it measures the guess and then goes down the tree. Both give the
  // same nearest entry and distance.
  static constexpr size_t kTreeGuessesPerEntry = 32;

 private:
  // Leaves out what lies beyond a bound only when it clears it by this much: far more
  // than the roundings of the distances the bound is made of.
  static constexpr double kSearchMargin = 1e-6;
  struct TNeighbour {
    double Distance;  // from the entry whose row it is in
    int32_t Index;
  };
  TKvNearest FindAround(const TKvColorF& Query, int32_t Guess, double Reach, int& Measured) const;
  void BuildRows() const;
  struct TEntry {
    TKvColorF Color;
    int32_t Index;
  };
  // An inner node splits at Split on Axis: entries Lo..Mid-1 lie at or below it, Mid..Hi-1
  // at or above. A leaf (Axis < 0) holds Lo..Hi-1.
  struct TNode {
    int32_t Axis;
    double Split;
    uint32_t Lo, Mid, Hi;
    int32_t Low, High;  // child nodes
  };
  int32_t Build(uint32_t Lo, uint32_t Hi);

  std::vector<TEntry> m_Entries;    // in tree order
  std::vector<TNode> m_Nodes;       // the root first
  std::vector<TKvColorF> m_Colors;  // by index, for the guess
  std::vector<double> m_Nearest;
  // Made on demand by the const searches (one search object serves one thread).
  mutable std::vector<TNeighbour> m_Neighbours;  // a row of Count - 1 for each entry
  mutable size_t m_Sorted = 0;                   // the sorted part of every row
  mutable bool m_RowsBuilt = false;
  mutable size_t m_Guessed = 0;  // guessed searches since the last Reset
  size_t m_GuessedBefore = 0;    // and between the two Resets before
};

// The plain formulation in integers: lowest index of the least squared distance.
uint8_t NearestEntryExhaustive(const TKvPaletteBuffer& Palette, uint32_t R, uint32_t G, uint32_t B);

class TKvPaletteLookup {
 public:
  // Palette.Count must be at least 1.
  explicit TKvPaletteLookup(const TKvPaletteBuffer& Palette);

  uint8_t Nearest(uint32_t R, uint32_t G, uint32_t B) const {
    return m_Cell[(R >> kShift) << (2 * kBits) | (G >> kShift) << kBits | B >> kShift];
  }
  // The entry of cell Cell = (R >> 3) << 10 | (G >> 3) << 5 | B >> 3.
  uint8_t CellEntry(uint32_t Cell) const { return m_Cell[Cell]; }
  static constexpr uint32_t kCells = 32768;
  // The centre of the cell of a colour.
  static TKvColorF CellCentre(uint32_t R, uint32_t G, uint32_t B) {
    constexpr uint32_t Mask = ~((1u << kShift) - 1);
    constexpr double Half = ((1u << kShift) - 1) / 2.0;
    return TKvColorF{static_cast<double>(R & Mask) + Half, static_cast<double>(G & Mask) + Half,
                     static_cast<double>(B & Mask) + Half};
  }

 private:
  static constexpr uint32_t kBits = 5;  // bits kept of each channel
  static constexpr uint32_t kShift = 8 - kBits;
  static constexpr uint32_t kSide = 1u << kBits;  // cells per channel
  void Fill(const uint32_t Lo[3], uint32_t Size, const uint8_t* From, size_t Count);

  std::array<TKvColorF, 256> m_Entries{};
  std::vector<uint8_t> m_Cell;  // the entry of each cell: red part, then green, then blue
};

}  // namespace kv
