// Weighted Lloyd iterations with Hamerly's bounds, splitting of empty entries, and the
// final rounding in which every entry keeps a point.
#include "image/reduce/KvPaletteRefine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace kv {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// A point keeps its centre without being measured only when its bounds clear the test by
// this much: far more than the rounding the bounds can collect, so skipping never
// changes an assignment.
constexpr double kBoundMargin = 1e-7;
// Rounds of splitting in a row before the iterations go on regardless.
constexpr int kMaxSplitRounds = 8;
// Up to this many new centres at once, points are measured against the new ones only.
constexpr size_t kMaxIncrementalSplits = 32;

class TLloyd {
 public:
  TLloyd(std::span<const TKvColorPoint> Points, int32_t Colors, bool Pruned)
      : m_Points(Points), m_K(static_cast<size_t>(Colors)), m_Pruned(Pruned) {
    m_Pos.resize(Points.size());
    for (size_t I = 0; I < Points.size(); ++I)
      for (size_t C = 0; C < 3; ++C)
        m_Pos[I][C] = static_cast<double>(Points[I].Sum[C]) / static_cast<double>(Points[I].Weight);
    m_Centre.assign(m_K, TKvColorF{});
    m_Live.assign(m_K, false);
    m_Assign.assign(Points.size(), 0);
    m_Upper.assign(Points.size(), kInfinity);
    m_Lower.assign(Points.size(), 0);
  }

  void Seed(std::span<const TKvColorF> Seeds, std::span<const uint8_t> SeedOf) {
    for (size_t J = 0; J < Seeds.size() && J < m_K; ++J) {
      m_Centre[J] = Seeds[J];
      m_Live[J] = true;
    }
    const bool Guess = SeedOf.size() == m_Points.size();
    for (size_t I = 0; Guess && I < m_Points.size(); ++I)
      m_Assign[I] = SeedOf[I] < Seeds.size() ? SeedOf[I] : 0;
    AssignAll(Guess);
    SplitEmpty();
  }

  // One Lloyd iteration; false once no point changed its centre (a fixed point).
  bool Iterate() {
    std::vector<double> Moved(m_K, 0);
    for (size_t J = 0; J < m_K; ++J) {
      if (m_Live[J] && m_Weight[J] == 0) m_Live[J] = false;  // no point left to spare for it
      if (!m_Live[J]) continue;
      const TKvColorF New = MeanOf(J);
      Moved[J] = std::sqrt(SquaredDistance(New, m_Centre[J]));
      m_Centre[J] = New;
    }
    size_t Changes = 0;
    if (m_Pruned) {
      Changes = HamerlyStep(Moved);
    } else {
      const std::vector<uint16_t> Before = m_Assign;
      AssignAll(true);
      for (size_t I = 0; I < Before.size(); ++I) Changes += Before[I] != m_Assign[I];
    }
    return SplitEmpty() || Changes != 0;
  }

  TKvRefinedPalette Finish() {
    // Round every live centre; the entries are measured as the colours they will be.
    std::vector<double> Moved(m_K, 0);
    for (size_t J = 0; J < m_K; ++J) {
      if (!m_Live[J]) continue;
      TKvColorF R;
      for (size_t C = 0; C < 3; ++C) R[C] = std::clamp(std::round(m_Centre[J][C]), 0.0, 255.0);
      Moved[J] = std::sqrt(SquaredDistance(R, m_Centre[J]));
      m_Centre[J] = R;
    }
    if (m_Pruned) {
      HamerlyStep(Moved);
    } else {
      AssignAll(true);
    }
    PinEmpty();

    TKvRefinedPalette Out;
    std::vector<int32_t> NewIndex(m_K, -1);
    for (size_t J = 0; J < m_K; ++J) {
      if (m_Count[J] == 0) continue;
      NewIndex[J] = Out.Palette.Count;
      const TKvColorF& C = m_Centre[J];
      Out.Palette.Colors[static_cast<size_t>(Out.Palette.Count++)] =
          RGBQUAD{static_cast<uint8_t>(C[2]), static_cast<uint8_t>(C[1]), static_cast<uint8_t>(C[0]), 0};
    }
    Out.Assignment.resize(m_Points.size());
    for (size_t I = 0; I < m_Points.size(); ++I)
      Out.Assignment[I] = static_cast<uint8_t>(NewIndex[m_Assign[I]]);
    return Out;
  }

 private:
  TKvColorF MeanOf(size_t J) const {
    TKvColorF M;
    for (size_t C = 0; C < 3; ++C) M[C] = static_cast<double>(m_Sum[J][C]) / static_cast<double>(m_Weight[J]);
    return M;
  }

  // The live centres in index order, and the search over them.
  void IndexLive() {
    m_LiveList.clear();
    m_LiveColors.clear();
    m_LiveIndex.assign(m_K, -1);
    for (size_t J = 0; J < m_K; ++J)
      if (m_Live[J]) {
        m_LiveIndex[J] = static_cast<int32_t>(m_LiveList.size());
        m_LiveList.push_back(static_cast<uint16_t>(J));
        m_LiveColors.push_back(m_Centre[J]);
      }
    m_Search.Reset(m_LiveColors);
  }

  // The nearest live centre; Guess (a centre index, or -1) is measured first.
  TKvNearest Nearest(const TKvColorF& P, int32_t Guess) const {
    TKvNearest N = m_Pruned ? m_Search.Find(P, Guess < 0 ? -1 : m_LiveIndex[static_cast<size_t>(Guess)])
                            : NearestExhaustive(m_LiveColors, P);
    N.Index = m_LiveList[static_cast<size_t>(N.Index)];
    return N;
  }

  // Every point to its nearest live centre (its current one measured first when Guess);
  // sums, weights and counts from scratch.
  void AssignAll(bool Guess) {
    IndexLive();
    for (size_t I = 0; I < m_Points.size(); ++I) {
      const int32_t G = Guess && m_Live[m_Assign[I]] ? m_Assign[I] : -1;
      if (G >= 0 && m_Pruned) {
        // Nearer to the guess than half its distance to any other centre: the guess is
        // the nearest, and every other centre is at least that distance less this one away.
        const double Half = 0.5 * m_Search.NearestOther(m_LiveIndex[static_cast<size_t>(G)]);
        const double Own = std::sqrt(SquaredDistance(m_Pos[I], m_Centre[static_cast<size_t>(G)]));
        if (Own < Half - kBoundMargin) {
          m_Upper[I] = Own;
          m_Lower[I] = 2 * Half - Own - kBoundMargin;
          continue;
        }
      }
      const TKvNearest N = Nearest(m_Pos[I], G);
      m_Assign[I] = static_cast<uint16_t>(N.Index);
      m_Upper[I] = std::sqrt(N.Distance);
      m_Lower[I] = std::sqrt(N.SecondDistance);
    }
    Recount();
  }

  void Recount() {
    m_Sum.assign(m_K, std::array<uint64_t, 3>{});
    m_Weight.assign(m_K, 0);
    m_Count.assign(m_K, 0);
    for (size_t I = 0; I < m_Points.size(); ++I) Add(I, m_Assign[I]);
  }
  void Add(size_t I, size_t J) {
    for (size_t C = 0; C < 3; ++C) m_Sum[J][C] += m_Points[I].Sum[C];
    m_Weight[J] += m_Points[I].Weight;
    ++m_Count[J];
  }
  void Remove(size_t I, size_t J) {
    for (size_t C = 0; C < 3; ++C) m_Sum[J][C] -= m_Points[I].Sum[C];
    m_Weight[J] -= m_Points[I].Weight;
    --m_Count[J];
  }
  void Move(size_t I, size_t To) {
    Remove(I, m_Assign[I]);
    Add(I, To);
    m_Assign[I] = static_cast<uint16_t>(To);
  }

  size_t HamerlyStep(const std::vector<double>& Moved) {
    // The largest and second largest move, for the lower bounds.
    size_t First = 0;
    for (size_t J = 1; J < m_K; ++J)
      if (Moved[J] > Moved[First]) First = J;
    double Second = 0;
    for (size_t J = 0; J < m_K; ++J)
      if (J != First) Second = std::max(Second, Moved[J]);
    // Half the distance from each centre to the nearest other one.
    IndexLive();
    std::vector<double> Half(m_K, kInfinity);
    for (size_t L = 0; L < m_LiveList.size(); ++L)
      Half[m_LiveList[L]] = 0.5 * m_Search.NearestOther(static_cast<int32_t>(L));
    size_t Changes = 0;
    for (size_t I = 0; I < m_Points.size(); ++I) {
      const size_t A = m_Assign[I];
      m_Upper[I] += Moved[A];
      m_Lower[I] -= A == First ? Second : Moved[First];
      const double Bound = std::max(m_Lower[I], Half[A]) - kBoundMargin;
      if (m_Upper[I] < Bound) continue;
      m_Upper[I] = std::sqrt(SquaredDistance(m_Pos[I], m_Centre[A]));
      if (m_Upper[I] < Bound) continue;
      const TKvNearest N = Nearest(m_Pos[I], static_cast<int32_t>(A));
      m_Upper[I] = std::sqrt(N.Distance);
      m_Lower[I] = std::sqrt(N.SecondDistance);
      if (static_cast<size_t>(N.Index) != A) {
        Move(I, static_cast<size_t>(N.Index));
        ++Changes;
      }
    }
    return Changes;
  }

  // Weighted squared error of each point against its centre.
  double ErrorOf(size_t I) const {
    return static_cast<double>(m_Points[I].Weight) * SquaredDistance(m_Pos[I], m_Centre[m_Assign[I]]);
  }

  // Gives every centre without points the point of largest error from a cluster that can
  // spare one, one point per cluster and round; then every point moves to a new centre
  // that is nearer than its own. True when anything was split.
  bool SplitEmpty() {
    bool Split = false;
    for (int Round = 0; Round < kMaxSplitRounds; ++Round) {
      std::vector<size_t> Empty;
      for (size_t J = 0; J < m_K; ++J)
        if (m_Count[J] == 0) Empty.push_back(J);
      if (Empty.empty()) break;
      // The exact distances, which also tighten the upper bounds.
      std::vector<std::pair<double, size_t>> Candidates;
      for (size_t I = 0; I < m_Points.size(); ++I) {
        const double D = SquaredDistance(m_Pos[I], m_Centre[m_Assign[I]]);
        m_Upper[I] = std::sqrt(D);
        const double E = static_cast<double>(m_Points[I].Weight) * D;
        if (E > 0 && m_Count[m_Assign[I]] >= 2) Candidates.emplace_back(-E, I);
      }
      if (Candidates.empty()) break;
      const size_t Take = std::min(Candidates.size(), Empty.size() * 4);
      std::partial_sort(Candidates.begin(), Candidates.begin() + static_cast<ptrdiff_t>(Take),
                        Candidates.end());
      std::vector<bool> Donated(m_K, false);
      std::vector<size_t> New;
      for (size_t C = 0; C < Take && New.size() < Empty.size(); ++C) {
        const size_t I = Candidates[C].second;
        if (Donated[m_Assign[I]]) continue;
        Donated[m_Assign[I]] = true;
        const size_t J = Empty[New.size()];
        New.push_back(J);
        m_Centre[J] = m_Pos[I];
        m_Live[J] = true;
      }
      if (New.size() > kMaxIncrementalSplits) {
        AssignAll(true);
      } else {
        for (size_t I = 0; I < m_Points.size(); ++I) {
          double Own = m_Upper[I] * m_Upper[I];
          size_t To = m_Assign[I];
          double Lower = m_Lower[I] * m_Lower[I];
          for (size_t J : New) {
            const double D = SquaredDistance(m_Pos[I], m_Centre[J]);
            if (D < Own || (D == Own && J < To)) {
              Lower = std::min(Lower, Own);
              Own = D;
              To = J;
            } else {
              Lower = std::min(Lower, D);
            }
          }
          if (To != m_Assign[I]) {
            Move(I, To);
            m_Upper[I] = std::sqrt(Own);
          }
          m_Lower[I] = std::sqrt(std::max(Lower, 0.0));
        }
        IndexLive();
      }
      Split = true;
    }
    return Split;
  }

  // After rounding: an entry without points takes the point of largest error from a
  // cluster of two or more whose rounded position is no entry yet, pinned to it; points
  // nearer to the new entry follow it.
  void PinEmpty() {
    std::vector<bool> Pinned(m_Points.size(), false);
    auto Key = [](const TKvColorF& C) {
      return static_cast<uint32_t>(C[0]) << 16 | static_cast<uint32_t>(C[1]) << 8 |
             static_cast<uint32_t>(C[2]);
    };
    for (;;) {
      size_t J = m_K;
      for (size_t E = 0; E < m_K && J == m_K; ++E)
        if (m_Count[E] == 0) J = E;
      if (J == m_K) return;
      std::vector<uint32_t> Taken;
      for (size_t E = 0; E < m_K; ++E)
        if (m_Count[E] != 0) Taken.push_back(Key(m_Centre[E]));
      std::sort(Taken.begin(), Taken.end());
      size_t Best = m_Points.size();
      double BestError = 0;
      TKvColorF BestColor{};
      for (size_t I = 0; I < m_Points.size(); ++I) {
        if (Pinned[I] || m_Count[m_Assign[I]] < 2) continue;
        const double E = ErrorOf(I);
        if (!(E > BestError)) continue;
        TKvColorF R;
        for (size_t C = 0; C < 3; ++C) R[C] = std::clamp(std::round(m_Pos[I][C]), 0.0, 255.0);
        if (std::binary_search(Taken.begin(), Taken.end(), Key(R))) continue;
        Best = I;
        BestError = E;
        BestColor = R;
      }
      if (Best == m_Points.size()) return;
      m_Centre[J] = BestColor;
      m_Live[J] = true;
      Pinned[Best] = true;
      Move(Best, J);
      for (size_t I = 0; I < m_Points.size(); ++I) {
        if (Pinned[I]) continue;
        const size_t A = m_Assign[I];
        const double Now = SquaredDistance(m_Pos[I], m_Centre[A]);
        const double New = SquaredDistance(m_Pos[I], m_Centre[J]);
        if (New < Now || (New == Now && J < A)) Move(I, J);
      }
    }
  }

  std::span<const TKvColorPoint> m_Points;
  size_t m_K;
  bool m_Pruned;
  std::vector<TKvColorF> m_Pos;
  std::vector<TKvColorF> m_Centre;
  std::vector<bool> m_Live;
  std::vector<std::array<uint64_t, 3>> m_Sum;
  std::vector<uint64_t> m_Weight;
  std::vector<uint32_t> m_Count;
  std::vector<uint16_t> m_Assign;
  std::vector<double> m_Upper, m_Lower;
  std::vector<uint16_t> m_LiveList;
  std::vector<int32_t> m_LiveIndex;  // centre -> position in m_LiveList, -1 when not live
  std::vector<TKvColorF> m_LiveColors;
  TKvNearestSearch m_Search;
};

// A point of the greedy division, moved as a whole so that every box is one run of
// memory: its position, weight, weight times squared position (summed over channels),
// and where it came from.
struct TItem {
  TKvColorF Pos;
  double Weight;
  TKvColorF Square;
  uint32_t Index;
};

// A box of the greedy division: items Lo..Hi-1, with their sums.
struct TBox {
  size_t Lo, Hi;
  double Weight;
  double Sum[3];
  double Square[3];
  double Spread(size_t C) const { return Square[C] - Sum[C] * Sum[C] / Weight; }
  double Error() const { return Spread(0) + Spread(1) + Spread(2); }
};

TBox box_of(const std::vector<TItem>& Items, size_t Lo, size_t Hi) {
  TBox B{Lo, Hi, 0, {0, 0, 0}, {0, 0, 0}};
  for (size_t I = Lo; I < Hi; ++I) {
    const TItem& T = Items[I];
    B.Weight += T.Weight;
    for (size_t C = 0; C < 3; ++C) {
      B.Sum[C] += T.Weight * T.Pos[C];
      B.Square[C] += T.Square[C];
    }
  }
  return B;
}

// The other part of Whole once Part is known: Whole's sums less Part's.
TBox rest_of(const TBox& Whole, const TBox& Part, size_t Lo, size_t Hi) {
  TBox B{Lo, Hi, Whole.Weight - Part.Weight, {0, 0, 0}, {0, 0, 0}};
  for (size_t C = 0; C < 3; ++C) {
    B.Sum[C] = Whole.Sum[C] - Part.Sum[C];
    B.Square[C] = Whole.Square[C] - Part.Square[C];
  }
  return B;
}

}  // namespace

std::vector<TKvColorF> GreedySeeds(std::span<const TKvColorPoint> Points, int32_t Colors,
                                   std::vector<uint8_t>& SeedOf) {
  std::vector<TItem> Items(Points.size());
  for (size_t I = 0; I < Points.size(); ++I) {
    TItem& T = Items[I];
    T.Weight = static_cast<double>(Points[I].Weight);
    for (size_t C = 0; C < 3; ++C) {
      T.Pos[C] = static_cast<double>(Points[I].Sum[C]) / T.Weight;
      T.Square[C] = T.Weight * T.Pos[C] * T.Pos[C];
    }
    T.Index = static_cast<uint32_t>(I);
  }
  std::vector<TBox> Boxes{box_of(Items, 0, Items.size())};
  std::vector<bool> Final{false};  // boxes that cannot be split
  while (Boxes.size() < static_cast<size_t>(Colors)) {
    // The box of the largest error (the first of equals) that can be split.
    size_t Worst = Boxes.size();
    double WorstError = 0;
    for (size_t B = 0; B < Boxes.size(); ++B) {
      const double E = Boxes[B].Error();
      if (!Final[B] && Boxes[B].Hi - Boxes[B].Lo >= 2 && E > WorstError) {
        Worst = B;
        WorstError = E;
      }
    }
    if (Worst == Boxes.size()) break;
    const TBox Box = Boxes[Worst];
    // The channel of the largest spread about the mean (ties to red, then green).
    size_t Channel = 0;
    for (size_t C = 1; C < 3; ++C)
      if (Box.Spread(C) > Box.Spread(Channel)) Channel = C;
    const double Mean = Box.Sum[Channel] / Box.Weight;
    const auto Mid = std::partition(Items.begin() + static_cast<ptrdiff_t>(Box.Lo),
                                    Items.begin() + static_cast<ptrdiff_t>(Box.Hi),
                                    [Channel, Mean](const TItem& T) { return T.Pos[Channel] <= Mean; });
    const size_t Split = static_cast<size_t>(Mid - Items.begin());
    if (Split == Box.Lo || Split == Box.Hi) {
      Final[Worst] = true;  // every point on one side: nothing to split
      continue;
    }
    // The smaller part is summed, the larger one is what remains.
    if (Split - Box.Lo <= Box.Hi - Split) {
      Boxes[Worst] = box_of(Items, Box.Lo, Split);
      Boxes.push_back(rest_of(Box, Boxes[Worst], Split, Box.Hi));
    } else {
      const TBox High = box_of(Items, Split, Box.Hi);
      Boxes[Worst] = rest_of(Box, High, Box.Lo, Split);
      Boxes.push_back(High);
    }
    Final.push_back(false);
  }
  std::vector<TKvColorF> Seeds;
  SeedOf.assign(Points.size(), 0);
  for (size_t B = 0; B < Boxes.size(); ++B) {
    TKvColorF M;
    for (size_t C = 0; C < 3; ++C) M[C] = Boxes[B].Sum[C] / Boxes[B].Weight;
    Seeds.push_back(M);
    for (size_t I = Boxes[B].Lo; I < Boxes[B].Hi; ++I) SeedOf[Items[I].Index] = static_cast<uint8_t>(B);
  }
  return Seeds;
}

TKvRefinedPalette RefinePalette(std::span<const TKvColorPoint> Points, std::span<const TKvColorF> Seeds,
                                std::span<const uint8_t> SeedOf, const TKvRefineSettings& Settings,
                                const std::function<void()>& Step) {
  AssertDIB(Settings.Colors >= 1 && Settings.Colors <= 256, "RefinePalette: Invalid Color Count");
  AssertDIB(!Points.empty(), "RefinePalette: No Points");
  TLloyd Lloyd(Points, Settings.Colors, Settings.Pruned);
  TKvColorF First{};
  if (Seeds.empty()) {
    // Without seeds the first centre is the first point; splitting makes the rest.
    for (size_t C = 0; C < 3; ++C)
      First[C] = static_cast<double>(Points[0].Sum[C]) / static_cast<double>(Points[0].Weight);
    Seeds = std::span<const TKvColorF>(&First, 1);
    SeedOf = {};
  }
  Lloyd.Seed(Seeds, SeedOf);
  int Done = 0;
  while (Done < Settings.Iterations) {
    const bool Changed = Lloyd.Iterate();
    ++Done;
    if (Step) Step();
    if (!Changed) break;
  }
  TKvRefinedPalette Out = Lloyd.Finish();
  Out.Iterations = Done;
  return Out;
}

}  // namespace kv
