// Normal ("Low") true-colour reduction to 256 or 16 colours. Every pixel is counted into a
// fixed histogram of 65,536 colour cells (5 bits red, 6 green, 5 blue) together with the
// sums of the bits the cell drops; each occupied cell is represented by its lowest colour
// plus the truncated mean of those bits; the cells are divided by the weighted-variance
// rule (DivideColorEntries); a 65,536-byte table maps each cell to its palette index and
// every pixel goes through that table. No dithering, no nearest-colour search.
#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "image/reduce/KvColorEntry.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceCommon.h"
#include "image/reduce/KvReduceStages.h"

namespace kv {

using namespace reduce_detail;

namespace {

// Per-channel parts of a histogram word: the cell number in bits 0-15 and the dropped
// bits in the sum fields (blue at 16, green at 32, red at 48).
struct THistogramParts {
  std::array<uint64_t, 256> Red{}, Green{}, Blue{};
};
constexpr THistogramParts make_histogram_parts() {
  THistogramParts P;
  for (uint64_t V = 0; V < 256; ++V) {
    P.Red[V] = (V >> 3) << 11 | (V & 7) << 48;
    P.Green[V] = (V >> 2) << 5 | (V & 3) << 32;
    P.Blue[V] = V >> 3 | (V & 7) << 16;
  }
  return P;
}
constexpr THistogramParts kHistogramParts = make_histogram_parts();

// Exact per-cell totals, wide enough for any image that fits in memory.
struct TCellTotals {
  uint64_t Count = 0;
  uint64_t Red = 0;  // sums of the dropped bits: red and 7, green and 3, blue and 7
  uint64_t Green = 0;
  uint64_t Blue = 0;
};

// The histogram keeps one 64-bit word per cell with four 16-bit fields (count, and the
// dropped-bit sums of blue, green, red), so counting a pixel is one add. A word is set
// aside (spilled) when its count reaches kSpillCount, before any field can overflow
// (kSpillCount * 7 < 65,536), and added in at the end with 64-bit totals. Even and odd
// pixels of a row count into two separate sets of words: neighbouring pixels often share
// a cell, and separate words let their adds proceed side by side.
class TCellHistogram {
 public:
  static constexpr uint64_t kSpillCount = 9362;

  TCellHistogram() : m_Packed(2 * kColorCells, 0) {}

  void AddRow(const uint8_t* Row, int64_t Width) {
    uint64_t* const Even = m_Packed.data();
    uint64_t* const Odd = Even + kColorCells;
    const uint8_t* P = Row;
    for (int64_t X = 0; X + 2 <= Width; X += 2, P += 6) {
      Count(Even, P);
      Count(Odd, P + 3);
    }
    if (Width % 2 != 0) Count(Even, P);
  }

  // Calls Fn(Cell, Totals) for every occupied cell, in increasing cell order.
  template <class TFn>
  void ForEachCell(TFn&& Fn) {
    std::sort(m_Spilled.begin(), m_Spilled.end());
    size_t S = 0;
    for (uint32_t Cell = 0; Cell < kColorCells; ++Cell) {
      TCellTotals T;
      Add(T, m_Packed[Cell]);
      Add(T, m_Packed[kColorCells + Cell]);
      for (; S < m_Spilled.size() && m_Spilled[S].first == Cell; ++S) Add(T, m_Spilled[S].second);
      if (T.Count != 0) Fn(Cell, T);
    }
  }

 private:
  void Count(uint64_t* Words, const uint8_t* P) {
    // Per-channel lookups give the cell in bits 0-15 and the increment's three sum fields
    // above it; the cell bits are then replaced by a count of 1.
    const uint64_t Parts =
        kHistogramParts.Red[P[2]] + kHistogramParts.Green[P[1]] + kHistogramParts.Blue[P[0]];
    const uint32_t Cell = static_cast<uint32_t>(Parts) & 0xFFFF;
    const uint64_t Word = Words[Cell] + (Parts - Cell + 1);
    Words[Cell] = Word;
    if ((Word & 0xFFFF) == kSpillCount) [[unlikely]]
      Spill(Words, Cell);
  }
  static void Add(TCellTotals& T, uint64_t Word) {
    T.Count += Word & 0xFFFF;
    T.Blue += (Word >> 16) & 0xFFFF;
    T.Green += (Word >> 32) & 0xFFFF;
    T.Red += Word >> 48;
  }
  [[gnu::noinline]] void Spill(uint64_t* Words, uint32_t Cell) {
    m_Spilled.emplace_back(Cell, Words[Cell]);
    Words[Cell] = 0;
  }

  std::vector<uint64_t> m_Packed;                        // even pixels' words, then odd pixels'
  std::vector<std::pair<uint32_t, uint64_t>> m_Spilled;  // full words set aside, by cell
};

inline uint8_t cell_index(const uint8_t* P, const uint8_t* Table) {
  return Table[CellAndDropped(P) & 0xFFFF];
}

void map_row_8(const uint8_t* S, uint8_t* D, int64_t Width, const uint8_t* Table) {
  for (int64_t X = 0; X < Width; ++X, S += 3) D[X] = cell_index(S, Table);
}

void map_row_4(const uint8_t* S, uint8_t* D, int64_t Width, const uint8_t* Table) {
  PackNibbleRow(D, Width, [S, Table](int64_t X) { return cell_index(S + 3 * X, Table); });
}

void convert_low(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress, int DstBits,
                 const char* Routine) {
  if (Src.Header.biBitCount != 24) throw EKvDIBBadDIBType(std::string(Routine) + ": Invalid Bitcount");
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, DstBits, Routine, DstSize);
  TFileMapBlock Block(DstSize);  // zero-filled: row padding stays 0
  std::vector<uint8_t> Table(kColorCells);
  TKvPaletteBuffer Palette;
  MakeLowPaletteTable(Src, Palette, Progress, DstBits == 8 ? kMaxDepth256 : kMaxDepth16,
                      std::span<uint8_t, kColorCells>(Table.data(), kColorCells));
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    if (DstBits == 8)
      map_row_8(G.SrcRow(Src, Y), G.DstRow(Block.Bits(), Y), G.Width, Table.data());
    else
      map_row_4(G.SrcRow(Src, Y), G.DstRow(Block.Bits(), Y), G.Width, Table.data());
  }
  FillReducedDestination(Src, Dst, Block, static_cast<uint16_t>(DstBits), Palette);
}

}  // namespace

void MakeLowPaletteTable(const TKvDIBInfo& Src, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                         int MaxDepth, std::span<uint8_t, kColorCells> Table) {
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, 8, "MakeLowPaletteTable", DstSize);
  TCellHistogram Histogram;
  for (int64_t Y = 0; Y < G.Height; ++Y) Histogram.AddRow(G.SrcRow(Src, Y), G.Width);

  // Occupied cells in increasing cell order, each represented by its lowest colour plus
  // the truncated mean of the dropped bits, so the representative stays inside the cell.
  std::vector<TKvColorEntry> Entries;
  Histogram.ForEachCell([&Entries](uint32_t Cell, const TCellTotals& T) {
    TKvColorEntry E;
    E.Red = static_cast<int32_t>(T.Red / T.Count + (Cell >> 11) * 8);
    E.Green = static_cast<int32_t>(T.Green / T.Count + ((Cell >> 5) & 63) * 4);
    E.Blue = static_cast<int32_t>(T.Blue / T.Count + (Cell & 31) * 8);
    E.Count = static_cast<int64_t>(T.Count);
    E.Key = static_cast<int32_t>(Cell);
    Entries.push_back(E);
  });

  DivideIntoTable(Entries, MaxDepth, Palette, Progress, Table);
}

void ConvertTrueColorTo8BitRGBLow(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress) {
  convert_low(Src, Dst, Progress, 8, "ConvertTrueColorTo8BitRGBLow");
}

void ConvertTrueColorTo4BitRGBLow(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress) {
  convert_low(Src, Dst, Progress, 4, "ConvertTrueColorTo4BitRGBLow");
}

}  // namespace kv
