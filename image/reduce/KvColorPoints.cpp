// Gathering colour points: a grid histogram with exact sums, and distinct colours inside a
// few 5-6-5 cells.
#include "image/reduce/KvColorPoints.h"

#include <algorithm>
#include <utility>

namespace kv {

namespace {

// The histogram of the grids of up to 19 bits. A word holds the pixel count in bits 0-20
// and the sums of the bits the cell drops in three 14-bit fields (blue at 21, green at 35,
// red at 49). Per-channel lookups give the cell number in bits 0-20 and the increment of
// the sum fields above it, so counting a pixel is three lookups and one add, as in the
// Normal method's histogram. A word is set aside (spilled) before any field can
// overflow. Even and odd pixels count into two sets of words, so that neighbouring pixels
// of one cell do not wait for each other's word.
constexpr int kCountBits = 21;
constexpr uint64_t kCountMask = (uint64_t{1} << kCountBits) - 1;
constexpr int kSumBits = 14;
constexpr int kSumShift[3] = {kCountBits + 2 * kSumBits, kCountBits + kSumBits, kCountBits};  // R, G, B

// A cell's point has the sums of the bits its pixels drop; the bits the cell keeps go to
// every pixel's sum alike, so they are added once per cell, times the pixel count.
class TCellBase {
 public:
  explicit TCellBase(TKvGridBits Bits)
      : m_Keep{Bits.Red, Bits.Green, Bits.Blue}, m_Shift{Bits.Green + Bits.Blue, Bits.Blue, 0} {}
  void AddTo(TKvColorPoint& P, uint32_t Cell) const {
    for (size_t C = 0; C < 3; ++C) {
      const uint64_t Low = ((Cell >> m_Shift[C]) & ((1u << m_Keep[C]) - 1)) << (8 - m_Keep[C]);
      P.Sum[C] += P.Weight * Low;
    }
    P.Key = Cell;
  }

 private:
  int m_Keep[3];
  int m_Shift[3];
};

class TGridHistogram {
 public:
  explicit TGridHistogram(TKvGridBits Bits) : m_Bits(Bits) {
    const int Shift[3] = {Bits.Green + Bits.Blue, Bits.Blue, 0};
    const int Keep[3] = {Bits.Red, Bits.Green, Bits.Blue};
    int MaxDropped = 0;
    for (int C = 0; C < 3; ++C) {
      const uint32_t Mask = (1u << (8 - Keep[C])) - 1;
      MaxDropped = std::max<int>(MaxDropped, static_cast<int>(Mask));
      for (uint32_t V = 0; V < 256; ++V)
        m_Parts[C][V] = static_cast<uint64_t>(V >> (8 - Keep[C])) << Shift[C] |
                        static_cast<uint64_t>(V & Mask) << kSumShift[C];
    }
    m_Cells = uint32_t{1} << (Bits.Red + Bits.Green + Bits.Blue);
    m_Spill =
        MaxDropped == 0 ? kCountMask : ((uint64_t{1} << kSumBits) - 1) / static_cast<uint64_t>(MaxDropped);
    m_Words.assign(2 * static_cast<size_t>(m_Cells), 0);
  }

  void AddRow(const uint8_t* Row, int64_t Width) {
    uint64_t* const Even = m_Words.data();
    uint64_t* const Odd = Even + m_Cells;
    // Locals, so that the stores into the words cannot make the compiler read them again.
    const uint64_t* const R = m_Parts[0].data();
    const uint64_t* const G = m_Parts[1].data();
    const uint64_t* const B = m_Parts[2].data();
    const uint64_t Limit = m_Spill;
    auto Count = [R, G, B, Limit, this](uint64_t* Words, const uint8_t* P) {
      const uint64_t Parts = R[P[2]] + G[P[1]] + B[P[0]];
      const uint32_t Cell = static_cast<uint32_t>(Parts & kCountMask);
      const uint64_t Word = Words[Cell] + (Parts - Cell + 1);
      Words[Cell] = Word;
      if ((Word & kCountMask) == Limit) [[unlikely]]
        Spill(Words, Cell);
    };
    const uint8_t* P = Row;
    for (int64_t X = 0; X + 2 <= Width; X += 2, P += 6) {
      Count(Even, P);
      Count(Odd, P + 3);
    }
    if (Width % 2 != 0) Count(Even, P);
  }

  // The occupied cells as points at their exact sums, in increasing cell order.
  std::vector<TKvColorPoint> Points() {
    std::sort(m_Spilled.begin(), m_Spilled.end());
    std::vector<TKvColorPoint> Out;
    const TCellBase Base(m_Bits);
    size_t S = 0;
    for (uint32_t Cell = 0; Cell < m_Cells; ++Cell) {
      TKvColorPoint P;
      Add(P, m_Words[Cell]);
      Add(P, m_Words[m_Cells + Cell]);
      for (; S < m_Spilled.size() && m_Spilled[S].first == Cell; ++S) Add(P, m_Spilled[S].second);
      if (P.Weight == 0) continue;
      Base.AddTo(P, Cell);
      Out.push_back(P);
    }
    return Out;
  }

  uint32_t Key(int C, uint32_t V) const {
    return static_cast<uint32_t>(m_Parts[static_cast<size_t>(C)][V] & kCountMask);
  }
  uint32_t Cells() const { return m_Cells; }

 private:
  static void Add(TKvColorPoint& P, uint64_t Word) {
    P.Weight += Word & kCountMask;
    for (int C = 0; C < 3; ++C)
      P.Sum[static_cast<size_t>(C)] += (Word >> kSumShift[C]) & ((uint64_t{1} << kSumBits) - 1);
  }
  [[gnu::noinline]] void Spill(uint64_t* Words, uint32_t Cell) {
    m_Spilled.emplace_back(Cell, Words[Cell]);
    Words[Cell] = 0;
  }

  TKvGridBits m_Bits;
  std::array<std::array<uint64_t, 256>, 3> m_Parts{};  // red, green, blue
  uint32_t m_Cells = 0;
  uint64_t m_Spill = 0;
  std::vector<uint64_t> m_Words;  // even pixels' words, then odd pixels'
  std::vector<std::pair<uint32_t, uint64_t>> m_Spilled;
};

// The histogram of the finest grids (20 or 21 bits), whose words are far too many to stay
// in the cache: half as wide, so that the pixels reach half the memory. (With two dropped
// bits in a channel a word would spill every 85 pixels of a cell, which costs more than
// the memory saved on 19 bits.) A word holds the
// count in bits 0-7 and the sums of the dropped bits of blue, green and red in the bytes
// above it; per-channel lookups give the cell in bits 32-52 and the increment of the
// word below it (the count's 1 with blue's part), and a word is spilled before a field
// can overflow.
class TFineHistogram {
 public:
  explicit TFineHistogram(TKvGridBits Bits) : m_Bits(Bits) {
    const int Shift[3] = {Bits.Green + Bits.Blue, Bits.Blue, 0};
    const int Keep[3] = {Bits.Red, Bits.Green, Bits.Blue};
    const int Field[3] = {24, 16, 8};
    uint32_t MaxDropped = 1;
    for (int C = 0; C < 3; ++C) {
      const uint32_t Mask = (1u << (8 - Keep[C])) - 1;
      MaxDropped = std::max(MaxDropped, Mask);
      for (uint32_t V = 0; V < 256; ++V)
        m_Parts[C][V] = static_cast<uint64_t>(V >> (8 - Keep[C])) << (32 + Shift[C]) |
                        static_cast<uint64_t>(V & Mask) << Field[C] | (C == 2 ? 1 : 0);
    }
    m_Cells = uint32_t{1} << (Bits.Red + Bits.Green + Bits.Blue);
    m_Spill = 255 / MaxDropped;
    m_Words.assign(m_Cells, 0);
  }

  void AddRow(const uint8_t* Row, int64_t Width) {
    uint32_t* const Words = m_Words.data();
    const uint64_t* const R = m_Parts[0].data();
    const uint64_t* const G = m_Parts[1].data();
    const uint64_t* const B = m_Parts[2].data();
    const uint32_t Limit = m_Spill;
    const uint8_t* P = Row;
    for (int64_t X = 0; X < Width; ++X, P += 3) {
      const uint64_t Parts = R[P[2]] + G[P[1]] + B[P[0]];
      const uint32_t Cell = static_cast<uint32_t>(Parts >> 32);
      const uint32_t Word = Words[Cell] + static_cast<uint32_t>(Parts);
      Words[Cell] = Word;
      if ((Word & 255) == Limit) [[unlikely]]
        Spill(Words, Cell);
    }
  }

  std::vector<TKvColorPoint> Points() {
    std::sort(m_Spilled.begin(), m_Spilled.end());
    std::vector<TKvColorPoint> Out;
    const TCellBase Base(m_Bits);
    size_t S = 0;
    for (uint32_t Cell = 0; Cell < m_Cells; ++Cell) {
      const bool Spilled = S < m_Spilled.size() && m_Spilled[S].first == Cell;
      if (m_Words[Cell] == 0 && !Spilled) continue;
      TKvColorPoint P;
      Add(P, m_Words[Cell]);
      for (; S < m_Spilled.size() && m_Spilled[S].first == Cell; ++S) Add(P, m_Spilled[S].second);
      Base.AddTo(P, Cell);
      Out.push_back(P);
    }
    return Out;
  }

  // The key parts of a channel's values.
  uint32_t Key(int C, uint32_t V) const {
    return static_cast<uint32_t>(m_Parts[static_cast<size_t>(C)][V] >> 32);
  }
  uint32_t Cells() const { return m_Cells; }

 private:
  static void Add(TKvColorPoint& P, uint32_t Word) {
    P.Weight += Word & 255;
    P.Sum[2] += Word >> 8 & 255;
    P.Sum[1] += Word >> 16 & 255;
    P.Sum[0] += Word >> 24;
  }
  [[gnu::noinline]] void Spill(uint32_t* Words, uint32_t Cell) {
    m_Spilled.emplace_back(Cell, Words[Cell]);
    Words[Cell] = 0;
  }

  TKvGridBits m_Bits;
  std::array<std::array<uint64_t, 256>, 3> m_Parts{};  // red, green, blue
  uint32_t m_Cells = 0;
  uint32_t m_Spill = 0;
  std::vector<uint32_t> m_Words;
  std::vector<std::pair<uint32_t, uint32_t>> m_Spilled;
};

template <class THistogram>
TKvColorPoints gather_with(const TKvDIBInfo& Src, const TKvRowGeometry& G, THistogram& Histogram) {
  for (int64_t Y = 0; Y < G.Height; ++Y) Histogram.AddRow(G.SrcRow(Src, Y), G.Width);
  TKvColorPoints Out;
  Out.Points = Histogram.Points();
  for (uint32_t V = 0; V < 256; ++V) {
    Out.Keys.Red[V] = Histogram.Key(0, V);
    Out.Keys.Green[V] = Histogram.Key(1, V);
    Out.Keys.Blue[V] = Histogram.Key(2, V);
  }
  Out.Keys.KeyCount = Histogram.Cells();
  return Out;
}

}  // namespace

TKvColorPoints GatherGridPoints(const TKvDIBInfo& Src, TKvGridBits Bits) {
  AssertDIB(Bits.Red >= 1 && Bits.Red <= 8 && Bits.Green >= 1 && Bits.Green <= 8 && Bits.Blue >= 1 &&
                Bits.Blue <= 8 && Bits.Red + Bits.Green + Bits.Blue <= kCountBits,
            "GatherGridPoints: Invalid Grid");
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, 8, "GatherGridPoints", DstSize);
  if (Bits.Red + Bits.Green + Bits.Blue > 19) {
    TFineHistogram Histogram(Bits);
    return gather_with(Src, G, Histogram);
  }
  TGridHistogram Histogram(Bits);
  return gather_with(Src, G, Histogram);
}

bool GatherDistinctPoints(const TKvDIBInfo& Src, TKvColorPoints& Out) {
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, 8, "GatherDistinctPoints", DstSize);
  TKvPointKeys Keys;
  for (uint32_t V = 0; V < 256; ++V) {
    Keys.Red[V] = (V >> 3) << 19 | (V & 7) << 5;
    Keys.Green[V] = (V >> 2) << 13 | (V & 3) << 3;
    Keys.Blue[V] = (V >> 3) << 8 | (V & 7);
  }
  // Which cells are occupied, then a slot for each, in increasing cell order.
  std::vector<uint16_t> Slot(kColorCells, 0);
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* P = G.SrcRow(Src, Y);
    for (int64_t X = 0; X < G.Width; ++X, P += 3) Slot[CellAndDropped(P) & 0xFFFF] = 1;
  }
  uint32_t Slots = 0;
  for (uint16_t& S : Slot) {
    if (S == 0) continue;
    if (Slots == kMaxDistinctCells) return false;
    S = static_cast<uint16_t>(++Slots);
  }
  Keys.CellSlot = std::move(Slot);
  Keys.KeyCount = Slots << 8;
  std::vector<uint64_t> Count(Keys.KeyCount, 0);
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* P = G.SrcRow(Src, Y);
    for (int64_t X = 0; X < G.Width; ++X, P += 3) ++Count[Keys.KeyOf(P)];
  }
  Out.Points.clear();
  for (uint32_t Cell = 0; Cell < kColorCells; ++Cell) {
    const uint16_t S = Keys.CellSlot[Cell];
    if (S == 0) continue;
    for (uint32_t Low = 0; Low < 256; ++Low) {
      const uint32_t Key = static_cast<uint32_t>(S - 1) << 8 | Low;
      if (Count[Key] == 0) continue;
      const uint64_t Rgb[3] = {(Cell >> 11) << 3 | Low >> 5, ((Cell >> 5) & 63) << 2 | ((Low >> 3) & 3),
                               (Cell & 31) << 3 | (Low & 7)};
      TKvColorPoint P;
      P.Weight = Count[Key];
      for (size_t C = 0; C < 3; ++C) P.Sum[C] = P.Weight * Rgb[C];
      P.Key = Key;
      Out.Points.push_back(P);
    }
  }
  Out.Keys = std::move(Keys);
  Out.Distinct = true;
  return true;
}

}  // namespace kv
