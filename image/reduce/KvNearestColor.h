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
// TKvPaletteLookup gives the nearest entry of a rounded palette for any 24-bit colour, in
// integers, exactly. Each cell of 4 x 4 x 4 colours keeps the list of entries that can be
// nearest to some colour in it: an entry whose least squared
// distance to the box exceeds the smallest greatest distance of any entry never is (the
// locally sorted search of J. Heckbert's median-cut paper, 1982, in its box form). Most
// cells keep one entry; a colour is measured against the few of its cell otherwise. The
// lists are made when a cell is first asked for, from the list of its 16 x 16 x 16 parent
// box, so a lookup costs a table read in the common case.
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
  double Distance = std::numeric_limits<double>::infinity();        // squared
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

 private:
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

  std::vector<TEntry> m_Entries;  // in tree order
  std::vector<TNode> m_Nodes;     // the root first
  std::vector<TKvColorF> m_Colors;  // by index, for the guess
  std::vector<double> m_Nearest;
};

// The plain formulation in integers: lowest index of the least squared distance.
uint8_t NearestEntryExhaustive(const TKvPaletteBuffer& Palette, uint32_t R, uint32_t G, uint32_t B);

class TKvPaletteLookup {
 public:
  // Palette.Count must be at least 1.
  explicit TKvPaletteLookup(const TKvPaletteBuffer& Palette);

  uint8_t Nearest(uint32_t R, uint32_t G, uint32_t B) {
    const uint32_t Cell = (R >> 2) << 12 | (G >> 2) << 6 | B >> 2;
    uint32_t S = m_Cell[Cell];
    if (S == kUnbuilt) [[unlikely]]
      S = BuildCell(Cell);
    if ((S >> 24) == 0) return static_cast<uint8_t>(S);
    const TCandidate* C = m_Pool.data() + m_Start[Cell];
    const TCandidate* const End = C + (S >> 24) + 1;
    int32_t Best = std::numeric_limits<int32_t>::max();
    uint8_t Index = 0;
    for (; C != End; ++C) {
      const int32_t DR = static_cast<int32_t>(R) - C->R;
      const int32_t DG = static_cast<int32_t>(G) - C->G;
      const int32_t DB = static_cast<int32_t>(B) - C->B;
      const int32_t D = DR * DR + DG * DG + DB * DB;
      if (D < Best) {
        Best = D;
        Index = C->Index;
      }
    }
    return Index;
  }

 private:
  struct TCandidate {
    int16_t R, G, B;
    uint8_t Index;
  };
  // A cell's state: kUnbuilt, or the candidate count less one in bits 24-31 and, for one
  // candidate, its index in bits 0-7 (a longer list starts at m_Start of the cell).
  static constexpr uint32_t kUnbuilt = 0xFFFFFFFF;

  uint32_t BuildCell(uint32_t Cell);
  // Appends the entries of From (in index order) that can be nearest inside the box Lo..Hi
  // (inclusive, red, green, blue) to To.
  static void Candidates(const std::vector<TCandidate>& From, const int32_t Lo[3], const int32_t Hi[3],
                         std::vector<TCandidate>& To);

  std::vector<TCandidate> m_Entries;
  static constexpr uint32_t kCells = 1u << 18;     // 6 bits of each channel
  static constexpr uint32_t kParents = 1u << 12;   // 4 bits of each channel
  std::vector<uint32_t> m_Cell;                     // kCells states
  std::vector<uint32_t> m_Start;                    // where each cell's list starts in the pool
  std::vector<TCandidate> m_Pool;                   // the cells' lists
  std::vector<std::vector<TCandidate>> m_Parent;    // parent lists, made on demand
  std::vector<bool> m_ParentBuilt;
};

}  // namespace kv
