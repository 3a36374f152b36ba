// Nearest-entry search: exhaustive, and pruned along the widest channel.
#include "image/reduce/KvNearestColor.h"

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

// Keeps the two best (distance, index) pairs; a tie in distance goes to the lower index.
struct TBestTwo {
  TKvNearest N;
  void Offer(double D, int32_t Index) {
    if (D < N.Distance || (D == N.Distance && Index < N.Index)) {
      N.SecondDistance = N.Distance;
      N.Distance = D;
      N.Index = Index;
    } else if (D < N.SecondDistance) {
      N.SecondDistance = D;
    }
  }
};

}  // namespace

TKvNearest NearestExhaustive(std::span<const TKvColorF> Entries, const TKvColorF& Query) {
  TBestTwo Best;
  for (size_t I = 0; I < Entries.size(); ++I)
    Best.Offer(SquaredDistance(Entries[I], Query), static_cast<int32_t>(I));
  return Best.N;
}

void TKvNearestSearch::Reset(std::span<const TKvColorF> Entries) {
  m_Colors.assign(Entries.begin(), Entries.end());
  m_Entries.clear();
  for (size_t I = 0; I < Entries.size(); ++I)
    m_Entries.push_back(TEntry{Entries[I], static_cast<int32_t>(I)});
  m_Nodes.clear();
  if (!m_Entries.empty()) Build(0, static_cast<uint32_t>(m_Entries.size()));
  // The distance to the nearest other entry: the square root of the least squared
  // distance, which is the least of the square roots (the root rounds monotonically).
  const size_t K = Entries.size();
  m_Nearest.assign(K, std::numeric_limits<double>::infinity());
  for (size_t A = 0; A < K; ++A)
    for (size_t B = A + 1; B < K; ++B) {
      const double D = SquaredDistance(Entries[A], Entries[B]);
      m_Nearest[A] = std::min(m_Nearest[A], D);
      m_Nearest[B] = std::min(m_Nearest[B], D);
    }
  for (double& D : m_Nearest) D = std::sqrt(D);
  // The neighbour rows wait until enough guessed searches have shown they pay.
  m_Neighbours.clear();
  m_Sorted = 0;
  m_RowsBuilt = false;
  m_GuessedBefore = m_Guessed;
  m_Guessed = 0;
}

void TKvNearestSearch::BuildRows() const {
  // Each entry's row of the others: the nearest kSortedNeighbours by increasing distance,
  // then the rest, none of them nearer than the last of the sorted ones.
  const size_t K = m_Colors.size();
  const size_t Others = K == 0 ? 0 : K - 1;
  m_Neighbours.resize(K * Others);
  for (size_t A = 0; A < K; ++A)
    for (size_t B = A + 1; B < K; ++B) {
      const double D = std::sqrt(SquaredDistance(m_Colors[A], m_Colors[B]));
      m_Neighbours[A * Others + B - 1] = TNeighbour{D, static_cast<int32_t>(B)};
      m_Neighbours[B * Others + A] = TNeighbour{D, static_cast<int32_t>(A)};
    }
  const auto Nearer = [](const TNeighbour& X, const TNeighbour& Y) {
    return X.Distance < Y.Distance || (X.Distance == Y.Distance && X.Index < Y.Index);
  };
  m_Sorted = std::min(Others, kSortedNeighbours);
  for (size_t A = 0; A < K && Others > 0; ++A) {
    const auto Row = m_Neighbours.begin() + static_cast<ptrdiff_t>(A * Others);
    const auto Cut = Row + static_cast<ptrdiff_t>(m_Sorted);
    if (m_Sorted < Others) std::nth_element(Row, Cut, Row + static_cast<ptrdiff_t>(Others), Nearer);
    std::sort(Row, Cut, Nearer);
  }
  m_RowsBuilt = true;
}

int32_t TKvNearestSearch::Build(uint32_t Lo, uint32_t Hi) {
  const int32_t Node = static_cast<int32_t>(m_Nodes.size());
  m_Nodes.push_back(TNode{-1, 0, Lo, Lo, Hi, -1, -1});
  if (Hi - Lo <= kLeafSize) return Node;
  // The channel of the largest range; ties to red, then green.
  double Min[3], Max[3];
  for (int C = 0; C < 3; ++C) {
    Min[C] = std::numeric_limits<double>::infinity();
    Max[C] = -Min[C];
  }
  for (uint32_t I = Lo; I < Hi; ++I)
    for (size_t C = 0; C < 3; ++C) {
      Min[C] = std::min(Min[C], m_Entries[I].Color[C]);
      Max[C] = std::max(Max[C], m_Entries[I].Color[C]);
    }
  int Axis = 0;
  for (int C = 1; C < 3; ++C)
    if (Max[C] - Min[C] > Max[Axis] - Min[Axis]) Axis = C;
  const uint32_t Mid = Lo + (Hi - Lo) / 2;
  const size_t A = static_cast<size_t>(Axis);
  std::nth_element(m_Entries.begin() + Lo, m_Entries.begin() + Mid, m_Entries.begin() + Hi,
                   [A](const TEntry& X, const TEntry& Y) {
                     return X.Color[A] < Y.Color[A] || (X.Color[A] == Y.Color[A] && X.Index < Y.Index);
                   });
  const double Split = m_Entries[Mid].Color[A];
  const int32_t Low = Build(Lo, Mid);
  const int32_t High = Build(Mid, Hi);
  m_Nodes[static_cast<size_t>(Node)] = TNode{Axis, Split, Lo, Mid, Hi, Low, High};
  return Node;
}

TKvNearest TKvNearestSearch::Find(const TKvColorF& Query, int32_t Guess, double Reach) const {
  int Measured = 0;
  return Find(Query, Guess, Reach, Measured);
}

TKvNearest TKvNearestSearch::Find(const TKvColorF& Query, int32_t Guess, double Reach, int& Measured) const {
  if (Guess >= 0) {
    const size_t Pays = kTreeGuessesPerEntry * m_Colors.size();
    ++m_Guessed;
    if (!m_RowsBuilt && (m_Guessed > Pays || m_GuessedBefore > Pays)) BuildRows();
    if (m_RowsBuilt) return FindAround(Query, Guess, Reach, Measured);
  }
  TBestTwo Best;
  if (Guess >= 0) {
    ++Measured;
    Best.Offer(SquaredDistance(m_Colors[static_cast<size_t>(Guess)], Query), Guess);
  }
  // Far sides waiting, with the squared distance to their plane.
  struct TPending {
    int32_t Node;
    double Gap2;
  };
  TPending Stack[64];
  int Top = 0;
  double Skipped = std::numeric_limits<double>::infinity();  // least bound of a side left out
  if (!m_Nodes.empty()) Stack[Top++] = TPending{0, 0};
  while (Top > 0) {
    const TPending P = Stack[--Top];
    if (P.Gap2 > Best.N.SecondDistance) continue;
    if (P.Gap2 > Reach * Best.N.Distance) {
      Skipped = std::min(Skipped, P.Gap2);
      continue;
    }
    int32_t N = P.Node;
    // Down to a leaf on the near side, leaving each far side on the stack.
    while (m_Nodes[static_cast<size_t>(N)].Axis >= 0) {
      const TNode& Nd = m_Nodes[static_cast<size_t>(N)];
      const double D = Query[static_cast<size_t>(Nd.Axis)] - Nd.Split;
      const bool Below = D < 0;
      Stack[Top++] = TPending{Below ? Nd.High : Nd.Low, D * D};
      N = Below ? Nd.Low : Nd.High;
    }
    const TNode& Leaf = m_Nodes[static_cast<size_t>(N)];
    for (uint32_t I = Leaf.Lo; I < Leaf.Hi; ++I) {
      const TEntry& E = m_Entries[I];
      if (E.Index == Guess) continue;
      ++Measured;
      Best.Offer(SquaredDistance(E.Color, Query), E.Index);
    }
  }
  Best.N.SecondDistance = std::min(Best.N.SecondDistance, Skipped);
  return Best.N;
}

TKvNearest TKvNearestSearch::FindAround(const TKvColorF& Query, int32_t Guess, double Reach,
                                        int& Measured) const {
  TKvNearest N;
  N.Index = Guess;
  N.Distance = SquaredDistance(m_Colors[static_cast<size_t>(Guess)], Query);
  const double Own = std::sqrt(N.Distance);
  const size_t Others = m_Colors.size() - 1;
  const TNeighbour* const Row = m_Neighbours.data() + static_cast<size_t>(Guess) * Others;
  // An entry D from the guess is at least D - Own from the query: it is left out once that
  // clears the second distance, or the best by the reach, by the margin; Limit is the D
  // beyond which that holds.
  double Limit = 0;
  auto Renew = [&] {
    const double Best = std::sqrt(N.Distance);
    // An infinite reach at distance 0 (a NaN product) goes everywhere, as in the tree.
    const double Reached = Reach * N.Distance;
    const double ByReach = std::isnan(Reached) ? std::numeric_limits<double>::infinity()
                                               : std::max(Best + kSearchMargin, std::sqrt(Reached));
    Limit = Own + std::min(std::sqrt(N.SecondDistance) + kSearchMargin, ByReach);
  };
  Renew();
  int Count = 1;
  auto Measure = [&](const TNeighbour& E) {
    ++Count;
    const double D = SquaredDistance(m_Colors[static_cast<size_t>(E.Index)], Query);
    if (D < N.Distance || (D == N.Distance && E.Index < N.Index)) {
      N.SecondDistance = N.Distance;
      N.Distance = D;
      N.Index = E.Index;
      Renew();
    } else if (D < N.SecondDistance) {
      N.SecondDistance = D;
      Renew();
    }
  };
  double Skipped = std::numeric_limits<double>::infinity();  // least distance of an entry left out
  size_t J = 0;
  for (; J < m_Sorted; ++J) {
    if (Row[J].Distance > Limit) {
      Skipped = Row[J].Distance;  // and every entry after it is as far at least
      break;
    }
    Measure(Row[J]);
  }
  if (J == m_Sorted) {
    for (J = m_Sorted; J < Others; ++J) {
      if (Row[J].Distance > Limit)
        Skipped = std::min(Skipped, Row[J].Distance);
      else
        Measure(Row[J]);
    }
  }
  Measured += Count;
  // Below any rounding of the bound.
  const double Lower = Skipped - Own - kSearchMargin / 2;
  if (Lower < std::sqrt(N.SecondDistance)) N.SecondDistance = Lower > 0 ? Lower * Lower : 0;
  return N;
}

uint8_t NearestEntryExhaustive(const TKvPaletteBuffer& Palette, uint32_t R, uint32_t G, uint32_t B) {
  int32_t Best = std::numeric_limits<int32_t>::max();
  uint8_t Index = 0;
  for (int32_t I = 0; I < Palette.Count; ++I) {
    const RGBQUAD& Q = Palette.Colors[static_cast<size_t>(I)];
    const int32_t DR = static_cast<int32_t>(R) - Q.rgbRed;
    const int32_t DG = static_cast<int32_t>(G) - Q.rgbGreen;
    const int32_t DB = static_cast<int32_t>(B) - Q.rgbBlue;
    const int32_t D = DR * DR + DG * DG + DB * DB;
    if (D < Best) {
      Best = D;
      Index = static_cast<uint8_t>(I);
    }
  }
  return Index;
}

TKvPaletteLookup::TKvPaletteLookup(const TKvPaletteBuffer& Palette) : m_Cell(kSide * kSide * kSide, 0) {
  AssertDIB(Palette.Count >= 1 && Palette.Count <= 256, "TKvPaletteLookup: Empty Palette");
  // An entry repeating an earlier colour never wins (the lower index does): left out.
  std::vector<uint8_t> All;
  for (int32_t I = 0; I < Palette.Count; ++I) {
    const RGBQUAD& Q = Palette.Colors[static_cast<size_t>(I)];
    const TKvColorF C{static_cast<double>(Q.rgbRed), static_cast<double>(Q.rgbGreen),
                      static_cast<double>(Q.rgbBlue)};
    m_Entries[static_cast<size_t>(I)] = C;
    bool Repeat = false;
    for (uint8_t J : All) Repeat = Repeat || m_Entries[J] == C;
    if (!Repeat) All.push_back(static_cast<uint8_t>(I));
  }
  const uint32_t Lo[3] = {0, 0, 0};
  Fill(Lo, kSide, All.data(), All.size());
}

void TKvPaletteLookup::Fill(const uint32_t Lo[3], uint32_t Size, const uint8_t* From, size_t Count) {
  // The centres of the box's cells span Low..High in each channel.
  double Low[3], High[3];
  for (int C = 0; C < 3; ++C) {
    const double Step = 1u << kShift;
    Low[C] = Step * Lo[C] + (Step - 1) / 2;
    High[C] = Step * (Lo[C] + Size - 1) + (Step - 1) / 2;
  }
  if (Size == 1) {
    const TKvColorF Centre{Low[0], Low[1], Low[2]};
    uint8_t Best = From[0];
    double BestD = SquaredDistance(m_Entries[Best], Centre);
    for (size_t I = 1; I < Count; ++I) {
      const double D = SquaredDistance(m_Entries[From[I]], Centre);
      if (D < BestD) {
        BestD = D;
        Best = From[I];
      }
    }
    m_Cell[(Lo[0] * kSide + Lo[1]) * kSide + Lo[2]] = Best;
    return;
  }
  double Limit = std::numeric_limits<double>::infinity();
  for (size_t I = 0; I < Count; ++I) {
    const uint8_t E = From[I];
    double Far = 0;
    for (size_t C = 0; C < 3; ++C) {
      const double D = std::max(m_Entries[E][C] - Low[C], High[C] - m_Entries[E][C]);
      Far += D * D;
    }
    Limit = std::min(Limit, Far);
  }
  uint8_t Kept[256];
  size_t Keep = 0;
  for (size_t I = 0; I < Count; ++I) {
    const uint8_t E = From[I];
    double Near = 0;
    for (size_t C = 0; C < 3; ++C) {
      const double V = m_Entries[E][C];
      const double D = V < Low[C] ? Low[C] - V : V > High[C] ? V - High[C] : 0;
      Near += D * D;
    }
    if (Near <= Limit) Kept[Keep++] = E;
  }
  if (Keep == 1) {
    for (uint32_t R = Lo[0]; R < Lo[0] + Size; ++R)
      for (uint32_t G = Lo[1]; G < Lo[1] + Size; ++G)
        std::fill_n(m_Cell.begin() + static_cast<ptrdiff_t>((R * kSide + G) * kSide + Lo[2]), Size, Kept[0]);
    return;
  }
  const uint32_t Half = Size / 2;
  for (uint32_t Part = 0; Part < 8; ++Part) {
    const uint32_t Sub[3] = {Lo[0] + (Part >> 2 & 1) * Half, Lo[1] + (Part >> 1 & 1) * Half,
                             Lo[2] + (Part & 1) * Half};
    Fill(Sub, Half, Kept, Keep);
  }
}

}  // namespace kv
