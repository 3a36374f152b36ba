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
  for (size_t I = 0; I < Entries.size(); ++I) Best.Offer(SquaredDistance(Entries[I], Query), static_cast<int32_t>(I));
  return Best.N;
}

void TKvNearestSearch::Reset(std::span<const TKvColorF> Entries) {
  m_Colors.assign(Entries.begin(), Entries.end());
  m_Entries.clear();
  for (size_t I = 0; I < Entries.size(); ++I) m_Entries.push_back(TEntry{Entries[I], static_cast<int32_t>(I)});
  m_Nodes.clear();
  if (!m_Entries.empty()) Build(0, static_cast<uint32_t>(m_Entries.size()));
  const size_t K = Entries.size();
  m_Nearest.assign(K, std::numeric_limits<double>::infinity());
  for (size_t A = 0; A < K; ++A)
    for (size_t B = A + 1; B < K; ++B) {
      const double D = SquaredDistance(Entries[A], Entries[B]);
      m_Nearest[A] = std::min(m_Nearest[A], D);
      m_Nearest[B] = std::min(m_Nearest[B], D);
    }
  for (double& D : m_Nearest) D = std::sqrt(D);
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

TKvPaletteLookup::TKvPaletteLookup(const TKvPaletteBuffer& Palette)
    : m_Cell(kCells, kUnbuilt), m_Start(kCells, 0), m_Parent(kParents), m_ParentBuilt(kParents, false) {
  AssertDIB(Palette.Count >= 1 && Palette.Count <= 256, "TKvPaletteLookup: Empty Palette");
  // An entry repeating an earlier colour never wins (the lower index does): left out.
  std::vector<uint32_t> Seen;
  for (int32_t I = 0; I < Palette.Count; ++I) {
    const RGBQUAD& Q = Palette.Colors[static_cast<size_t>(I)];
    const uint32_t Key = static_cast<uint32_t>(Q.rgbRed) << 16 | Q.rgbGreen << 8 | Q.rgbBlue;
    if (std::find(Seen.begin(), Seen.end(), Key) != Seen.end()) continue;
    Seen.push_back(Key);
    m_Entries.push_back(TCandidate{Q.rgbRed, Q.rgbGreen, Q.rgbBlue, static_cast<uint8_t>(I)});
  }
}

void TKvPaletteLookup::Candidates(const std::vector<TCandidate>& From, const int32_t Lo[3], const int32_t Hi[3],
                                  std::vector<TCandidate>& To) {
  // The smallest greatest distance first; every colour of the box has an entry that near.
  int32_t Limit = std::numeric_limits<int32_t>::max();
  for (const TCandidate& E : From) {
    const int32_t V[3] = {E.R, E.G, E.B};
    int32_t Far = 0;
    for (int C = 0; C < 3; ++C) {
      const int32_t D = std::max(V[C] - Lo[C], Hi[C] - V[C]);
      Far += D * D;
    }
    Limit = std::min(Limit, Far);
  }
  for (const TCandidate& E : From) {
    const int32_t V[3] = {E.R, E.G, E.B};
    int32_t Near = 0;
    for (int C = 0; C < 3; ++C) {
      const int32_t D = V[C] < Lo[C] ? Lo[C] - V[C] : V[C] > Hi[C] ? V[C] - Hi[C] : 0;
      Near += D * D;
    }
    if (Near <= Limit) To.push_back(E);
  }
}

uint32_t TKvPaletteLookup::BuildCell(uint32_t Cell) {
  const int32_t R0 = static_cast<int32_t>(Cell >> 12) << 2;
  const int32_t G0 = static_cast<int32_t>((Cell >> 6) & 63) << 2;
  const int32_t B0 = static_cast<int32_t>(Cell & 63) << 2;
  const size_t Parent = static_cast<size_t>((R0 >> 4) << 8 | (G0 >> 4) << 4 | (B0 >> 4));
  if (!m_ParentBuilt[Parent]) {
    const int32_t Lo[3] = {R0 & ~15, G0 & ~15, B0 & ~15};
    const int32_t Hi[3] = {Lo[0] + 15, Lo[1] + 15, Lo[2] + 15};
    Candidates(m_Entries, Lo, Hi, m_Parent[Parent]);
    m_ParentBuilt[Parent] = true;
  }
  const int32_t Lo[3] = {R0, G0, B0};
  const int32_t Hi[3] = {R0 + 3, G0 + 3, B0 + 3};
  const size_t Start = m_Pool.size();
  Candidates(m_Parent[Parent], Lo, Hi, m_Pool);
  const size_t Count = m_Pool.size() - Start;
  uint32_t State;
  if (Count == 1) {
    State = m_Pool[Start].Index;
    m_Pool.resize(Start);
  } else {
    State = static_cast<uint32_t>(Count - 1) << 24;
    m_Start[Cell] = static_cast<uint32_t>(Start);
  }
  m_Cell[Cell] = State;
  return State;
}

}  // namespace kv
