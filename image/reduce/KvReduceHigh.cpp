// Fine ("High") true-colour reduction to 256 or 16 colours. The weighted-variance rule of
// DivideColorEntries is applied to the image's own pixels instead of a cell histogram,
// and every division is recorded as a node of a decision tree; each pixel is then mapped
// by the comparisons of that tree, down to a leaf holding its palette index.
//
// The division of a set of pixels depends only on the multiset of their colours: the
// statistics are sums, and the two parts are "channel value at or below the mean" and
// "above it". So the tree can be built from the distinct colours weighted by their pixel
// counts instead of from every pixel, with the same nodes, numbering, palette and progress
// calls. Both ways work inside one block of 3 x W x H + 4 bytes (the size of a packed
// copy of the pixels); the distinct colours are gathered by bucketing the pixels on their
// colour cell, which leaves one byte per pixel (the bits the cell drops) to count within
// each cell. When the distinct colours do not fit in that block, the packed pixels are
// divided instead.
//
// Mapping: a pixel goes low at a node exactly when its channel value is at most the
// floor of the node's threshold. Ranking each channel value among the floors used for
// that channel turns the tree into a table over rank triples, which is small for real
// trees (at most 256^3 entries) and is placed in the same block once the tree is built;
// when it does not fit there, pixels walk the tree.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/reduce/KvColorEntry.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceCommon.h"
#include "image/reduce/KvReduceStages.h"

namespace kv {

using namespace reduce_detail;

namespace {

constexpr const char* kInvalidDivideID = "ConvertTrueColorTo8BitRGBHigh: Invalid DivideID";
// Below this many pixels the packed division is cheaper than gathering distinct colours.
constexpr size_t kDistinctMinPixels = size_t{1} << 14;

// Pixels packed three bytes each (blue, green, red), each of weight 1.
class TPackedPixels {
 public:
  explicit TPackedPixels(uint8_t* Bytes) : m_P(Bytes) {}

  TRangeStats Stats(size_t Lo, size_t Hi) const {
    uint64_t S[3] = {0, 0, 0};
    uint64_t Q[3] = {0, 0, 0};
    for (const uint8_t *P = m_P + 3 * Lo, *End = m_P + 3 * Hi; P != End; P += 3) {
      const uint32_t B = P[0];
      const uint32_t G = P[1];
      const uint32_t R = P[2];
      S[kRed] += R;
      S[kGreen] += G;
      S[kBlue] += B;
      Q[kRed] += R * R;
      Q[kGreen] += G * G;
      Q[kBlue] += B * B;
    }
    TRangeStats St;
    St.Weight = Hi - Lo;
    for (int C = 0; C < 3; ++C) {
      St.Sum[C] = S[C];
      St.SumSq[C] = Q[C];
    }
    return St;
  }

  // Values at or below Cut to the front; returns the split point. Only the two sets
  // matter, not the order within them, so the partition runs without branches: every
  // pixel is swapped with the first pixel of the high part, which grows by one exactly
  // when the pixel is high.
  size_t Partition(size_t Lo, size_t Hi, int Channel, uint32_t Cut) {
    uint8_t* const P = m_P;
    const size_t Offset = static_cast<size_t>(2 - Channel);  // red is the third byte
    size_t Split = Lo;
    for (size_t I = Lo; I < Hi; ++I) {
      uint8_t Pixel[3];
      std::memcpy(Pixel, P + 3 * I, 3);
      std::memcpy(P + 3 * I, P + 3 * Split, 3);
      std::memcpy(P + 3 * Split, Pixel, 3);
      Split += Pixel[Offset] <= Cut;
    }
    return Split;
  }

 private:
  uint8_t* m_P;
};

// Distinct colours with their pixel counts, one word each: blue in bits 0-7, green 8-15,
// red 16-23, count 24-31. A colour of more than 255 pixels takes several words; words of
// one colour always fall on the same side, so this changes no sum and no division.
class TWeightedColors {
 public:
  explicit TWeightedColors(uint32_t* Words) : m_W(Words) {}

  static constexpr uint32_t Word(uint32_t R, uint32_t G, uint32_t B, uint32_t Count) {
    return Count << 24 | R << 16 | G << 8 | B;
  }

  TRangeStats Stats(size_t Lo, size_t Hi) const {
    uint64_t N = 0;
    uint64_t S[3] = {0, 0, 0};
    uint64_t Q[3] = {0, 0, 0};
    for (size_t I = Lo; I < Hi; ++I) {
      const uint32_t E = m_W[I];
      const uint32_t W = E >> 24;
      const uint32_t R = (E >> 16) & 255;
      const uint32_t G = (E >> 8) & 255;
      const uint32_t B = E & 255;
      N += W;
      S[kRed] += W * R;
      S[kGreen] += W * G;
      S[kBlue] += W * B;
      Q[kRed] += W * R * R;  // at most 255^3: no overflow in 32 bits
      Q[kGreen] += W * G * G;
      Q[kBlue] += W * B * B;
    }
    TRangeStats St;
    St.Weight = N;
    for (int C = 0; C < 3; ++C) {
      St.Sum[C] = S[C];
      St.SumSq[C] = Q[C];
    }
    return St;
  }

  // As TPackedPixels::Partition, one word at a time.
  size_t Partition(size_t Lo, size_t Hi, int Channel, uint32_t Cut) {
    uint32_t* const W = m_W;
    const unsigned Shift = static_cast<unsigned>(2 - Channel) * 8;
    size_t Split = Lo;
    for (size_t I = Lo; I < Hi; ++I) {
      const uint32_t Word = W[I];
      W[I] = W[Split];
      W[Split] = Word;
      Split += ((Word >> Shift) & 255) <= Cut;
    }
    return Split;
  }

 private:
  uint32_t* m_W;
};

// The recursive division with its tree: nodes numbered depth first, the high side first,
// palette indices given in the same order.
template <class TElems>
class TTreeDivider {
 public:
  TTreeDivider(TElems& Elems, int MaxDepth, TKvDivideTree& Tree, TKvPaletteBuffer& Palette,
               const TKvProgressProc& Progress)
      : m_Elems(Elems), m_MaxDepth(MaxDepth), m_Tree(Tree), m_Palette(Palette), m_Progress(Progress) {}

  void DividePixels(size_t Lo, size_t Hi, int Depth, int32_t NodeIndex) {
    if (Lo == Hi) {
      // No node and no colour, but the boxes below still count as progress.
      ProgressEmptyRange(Depth, m_MaxDepth, m_Progress);
      return;
    }
    const TRangeStats S = m_Elems.Stats(Lo, Hi);
    TKvDivideNode& Node = m_Tree.Nodes[static_cast<size_t>(NodeIndex)];
    if (Depth == m_MaxDepth) {
      const int32_t Index = m_Palette.Count;
      m_Palette.Colors[static_cast<size_t>(Index)] = MeanColor(S);
      Node = TKvDivideNode{kDivideLeaf, 0, static_cast<uint8_t>(Index), 0, 0};
      ++m_Palette.Count;
      ProgressStep(m_Progress);
      return;
    }
    const TDivision D = ChooseDivision(S);
    Node.DivideID = static_cast<uint8_t>(D.Channel);
    Node.Threshold = D.Mean;
    const size_t Split = m_Elems.Partition(Lo, Hi, D.Channel, D.Cut);
    Node.ColorIndex = 0;
    Node.HighChild = next_node();
    DividePixels(Split, Hi, Depth + 1, Node.HighChild);
    Node.LowChild = next_node();
    DividePixels(Lo, Split, Depth + 1, Node.LowChild);
  }

 private:
  int32_t next_node() {
    AssertDIB(m_Tree.Counter < static_cast<int32_t>(m_Tree.Nodes.size()), "DividePixels: Tree Full");
    return m_Tree.Counter++;
  }

  TElems& m_Elems;
  int m_MaxDepth;
  TKvDivideTree& m_Tree;
  TKvPaletteBuffer& m_Palette;
  const TKvProgressProc& m_Progress;
};

// The work block: 3 x W x H + 4 bytes, as 32-bit words so that it can hold both packed
// pixels (as bytes) and weighted colours (as words). W x H is at most a third of a pixel
// block's size, so the byte count fits a size_t even on 32-bit targets.
struct TWorkBlock {
  explicit TWorkBlock(size_t Pixels)
      : Bytes(3 * Pixels + 4), Words(std::make_unique_for_overwrite<uint32_t[]>((Bytes + 3) / 4)) {}
  uint8_t* Data() const { return reinterpret_cast<uint8_t*>(Words.get()); }
  size_t Bytes;
  std::unique_ptr<uint32_t[]> Words;
};

// The packed copy: rows one after another without padding.
void pack_pixels(const TKvDIBInfo& Src, const TKvRowGeometry& G, uint8_t* Out) {
  const size_t RowBytes = static_cast<size_t>(3 * G.Width);
  for (int64_t Y = 0; Y < G.Height; ++Y)
    std::memcpy(Out + static_cast<size_t>(Y) * RowBytes, G.SrcRow(Src, Y), RowBytes);
}

// Gathers the distinct colours of Src with their pixel counts into the front of the work
// block as weighted words; Count receives their number. Returns false, leaving the block
// in no useful state, when they would overtake the pixel bytes not yet counted.
bool gather_distinct(const TKvDIBInfo& Src, const TKvRowGeometry& G, TWorkBlock& Work, size_t& Count) {
  const size_t N = static_cast<size_t>(G.Width * G.Height);
  uint8_t* const Bytes = Work.Data();
  const size_t LowStart = Work.Bytes - N;  // the dropped bits live at the end of the block
  uint8_t* const Low = Bytes + LowStart;

  // Bucket the pixels by cell: count, turn counts into starts, then place each pixel's
  // dropped bits; afterwards Cursor[c] is the end of cell c's bucket.
  std::vector<size_t> Cursor(kColorCells, 0);
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* P = G.SrcRow(Src, Y);
    for (int64_t X = 0; X < G.Width; ++X, P += 3) ++Cursor[CellAndDropped(P) & 0xFFFF];
  }
  size_t Sum = 0;
  for (size_t& C : Cursor) {
    const size_t N0 = C;
    C = Sum;
    Sum += N0;
  }
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* P = G.SrcRow(Src, Y);
    for (int64_t X = 0; X < G.Width; ++X, P += 3) {
      const uint32_t Parts = CellAndDropped(P);
      Low[Cursor[Parts & 0xFFFF]++] = static_cast<uint8_t>(Parts >> 16);
    }
  }

  // Count within each cell and write the words, front to back. The words may overwrite
  // the bytes of cells already counted, never those still to come.
  uint32_t* const Words = Work.Words.get();
  std::array<uint32_t, 256> Hist{};
  std::array<uint8_t, 256> Seen{};
  size_t K = 0;
  size_t Start = 0;
  for (uint32_t Cell = 0; Cell < kColorCells; ++Cell) {
    const size_t End = Cursor[Cell];
    if (End == Start) continue;
    size_t Distinct = 0;
    for (size_t I = Start; I < End; ++I) {
      const uint8_t V = Low[I];
      if (Hist[V]++ == 0) Seen[Distinct++] = V;
    }
    size_t Needed = 0;
    for (size_t D = 0; D < Distinct; ++D) Needed += (Hist[Seen[D]] + 254) / 255;
    if ((K + Needed) * 4 > LowStart + End) return false;
    const uint32_t R0 = (Cell >> 11) << 3;
    const uint32_t G0 = ((Cell >> 5) & 63) << 2;
    const uint32_t B0 = (Cell & 31) << 3;
    for (size_t D = 0; D < Distinct; ++D) {
      const uint8_t V = Seen[D];
      uint32_t H = Hist[V];
      Hist[V] = 0;
      const uint32_t R = R0 | V >> 5;
      const uint32_t Gr = G0 | ((V >> 3) & 3);
      const uint32_t B = B0 | (V & 7);
      for (; H > 255; H -= 255) Words[K++] = TWeightedColors::Word(R, Gr, B, 255);
      Words[K++] = TWeightedColors::Word(R, Gr, B, H);
    }
    Start = End;
  }
  Count = K;
  return true;
}

void build_tree(const TKvDIBInfo& Src, const TKvRowGeometry& G, TWorkBlock& Work, int MaxDepth,
                TKvDivideTree& Tree, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                TKvHighBuild Build) {
  AssertDIB(MaxDepth >= 0 && MaxDepth <= 8, "DividePixels: Invalid Depth");
  Tree = TKvDivideTree{};
  Palette.Count = 0;
  const size_t N = static_cast<size_t>(G.Width * G.Height);
  if (Build == TKvHighBuild::Auto)
    Build = N >= kDistinctMinPixels ? TKvHighBuild::Distinct : TKvHighBuild::Packed;
  size_t K = 0;
  if (Build == TKvHighBuild::Distinct && gather_distinct(Src, G, Work, K)) {
    TWeightedColors Colors(Work.Words.get());
    TTreeDivider<TWeightedColors>(Colors, MaxDepth, Tree, Palette, Progress).DividePixels(0, K, 0, 0);
    return;
  }
  pack_pixels(Src, G, Work.Data());
  TPackedPixels Pixels(Work.Data());
  TTreeDivider<TPackedPixels>(Pixels, MaxDepth, Tree, Palette, Progress).DividePixels(0, N, 0, 0);
}

// A channel value v goes low at a node exactly when v <= floor(Threshold).
uint32_t node_cut(const TKvDivideNode& Node) { return static_cast<uint32_t>(std::floor(Node.Threshold)); }

inline uint32_t pixel_word(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16;
}

// Mapping by walking the tree. Every leaf lies at the depth limit, so a walk is exactly
// MaxDepth steps; nodes that are not inner nodes keep the walk where it is, and the end
// must be a leaf.
class TTreeWalk {
 public:
  TTreeWalk(const TKvDivideTree& Tree, int MaxDepth) : m_MaxDepth(MaxDepth) {
    for (size_t K = 0; K < Tree.Nodes.size(); ++K) {
      const TKvDivideNode& N = Tree.Nodes[K];
      TStep& S = m_Steps[K];
      S.IsLeaf = N.DivideID == kDivideLeaf;
      S.ColorIndex = N.ColorIndex;
      if (N.DivideID <= kDivideBlue) {
        S.Shift = static_cast<uint8_t>((2 - N.DivideID) * 8);
        S.Cut = static_cast<uint8_t>(std::min<uint32_t>(node_cut(N), 255));
        S.Low = static_cast<uint16_t>(N.LowChild);
        S.High = static_cast<uint16_t>(N.HighChild);
      } else {
        S.Shift = 0;
        S.Cut = 255;
        S.Low = S.High = static_cast<uint16_t>(K);
      }
    }
  }

  uint8_t IndexOf(uint32_t Pixel) const {
    uint32_t K = 0;
    for (int D = 0; D < m_MaxDepth; ++D) {
      const TStep& S = m_Steps[K];
      K = ((Pixel >> S.Shift) & 255) > S.Cut ? S.High : S.Low;
    }
    AssertDIB(m_Steps[K].IsLeaf, kInvalidDivideID);
    return m_Steps[K].ColorIndex;
  }

 private:
  struct TStep {
    uint8_t Shift;
    uint8_t Cut;
    uint16_t Low;
    uint16_t High;
    uint8_t ColorIndex;
    bool IsLeaf;
  };
  int m_MaxDepth;
  std::array<TStep, 512> m_Steps{};
};

// Mapping through a table over rank triples: rank(v) in channel c is the number of floors
// of channel-c thresholds below v, so v <= floor t_j exactly when rank(v) <= j.
class TTreeGrid {
 public:
  // Builds the table in Space; false when it does not fit.
  bool Build(const TKvDivideTree& Tree, uint8_t* Space, size_t SpaceBytes) {
    std::array<std::array<bool, 256>, 3> IsCut{};
    for (const TKvDivideNode& N : Tree.Nodes)
      if (N.DivideID <= kDivideBlue) IsCut[N.DivideID][std::min<uint32_t>(node_cut(N), 255)] = true;
    std::array<uint32_t, 3> Dim{};
    for (int C = 0; C < 3; ++C) {
      uint32_t Rank = 0;
      for (int V = 0; V < 256; ++V) {
        m_Rank[C][V] = Rank;
        Rank += IsCut[C][V];
      }
      Dim[C] = Rank + 1;
    }
    m_Stride = {Dim[kGreen] * Dim[kBlue], Dim[kBlue], 1};
    const size_t Size = static_cast<size_t>(Dim[kRed]) * Dim[kGreen] * Dim[kBlue];
    if (Size > SpaceBytes) return false;
    for (int C = 0; C < 3; ++C)
      for (int V = 0; V < 256; ++V) m_Offset[C][V] = m_Rank[C][V] * m_Stride[C];
    m_Grid = Space;
    m_Tree = &Tree;
    Fill(0, {0, 0, 0}, Dim, 0);
    return true;
  }

  uint8_t IndexOf(const uint8_t* P) const {
    return m_Grid[m_Offset[kRed][P[2]] + m_Offset[kGreen][P[1]] + m_Offset[kBlue][P[0]]];
  }

 private:
  using TBox = std::array<uint32_t, 3>;

  void Fill(int32_t NodeIndex, TBox Lo, TBox Hi, int Depth) {
    for (int C = 0; C < 3; ++C)
      if (Lo[C] >= Hi[C]) return;
    const TKvDivideNode& N = m_Tree->Nodes[static_cast<size_t>(NodeIndex)];
    if (N.DivideID == kDivideLeaf || N.DivideID > kDivideBlue || Depth > 8) {
      // A node handed to an empty part is reached by no pixel of the image: any value.
      Paint(Lo, Hi, N.DivideID == kDivideLeaf ? N.ColorIndex : 0);
      return;
    }
    const int C = N.DivideID;
    const uint32_t Cut = std::min<uint32_t>(node_cut(N), 255);
    const uint32_t LowEnd = m_Rank[C][Cut] + 1;  // ranks below LowEnd go low
    TBox HiLow = Hi;
    HiLow[C] = std::min(Hi[C], LowEnd);
    TBox LoHigh = Lo;
    LoHigh[C] = std::max(Lo[C], LowEnd);
    Fill(N.LowChild, Lo, HiLow, Depth + 1);
    Fill(N.HighChild, LoHigh, Hi, Depth + 1);
  }

  void Paint(const TBox& Lo, const TBox& Hi, uint8_t Value) {
    for (uint32_t R = Lo[kRed]; R < Hi[kRed]; ++R)
      for (uint32_t G = Lo[kGreen]; G < Hi[kGreen]; ++G)
        std::memset(m_Grid + R * m_Stride[kRed] + G * m_Stride[kGreen] + Lo[kBlue], Value,
                    Hi[kBlue] - Lo[kBlue]);
  }

  std::array<std::array<uint32_t, 256>, 3> m_Rank{};
  std::array<std::array<uint32_t, 256>, 3> m_Offset{};
  std::array<uint32_t, 3> m_Stride{};
  uint8_t* m_Grid = nullptr;
  const TKvDivideTree* m_Tree = nullptr;
};

const char* high_routine(int MaxDepth) {
  return MaxDepth == kMaxDepth256 ? "ConvertTrueColorTo8BitRGBHigh" : "ConvertTrueColorTo4BitRGBHigh";
}

}  // namespace

void MakeHighPaletteTree(const TKvDIBInfo& Src, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                         int MaxDepth, TKvDivideTree& Tree, TKvHighBuild Build) {
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, 8, "MakeHighPaletteTree", DstSize);
  TWorkBlock Work(static_cast<size_t>(G.Width * G.Height));
  build_tree(Src, G, Work, MaxDepth, Tree, Palette, Progress, Build);
}

void ConvertTrueColorHigh(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress,
                          int MaxDepth, TKvHighBuild Build, TKvHighMapping Mapping) {
  AssertDIB(MaxDepth == kMaxDepth256 || MaxDepth == kMaxDepth16, "ConvertTrueColorHigh: Invalid Depth");
  const char* Routine = high_routine(MaxDepth);
  if (Src.Header.biBitCount != 24) throw EKvDIBBadDIBType(std::string(Routine) + ": Invalid Bitcount");
  const int DstBits = MaxDepth == kMaxDepth256 ? 8 : 4;
  int32_t DstSize = 0;
  const TKvRowGeometry G = CheckedReduction(Src, 24, DstBits, Routine, DstSize);
  TFileMapBlock Block(DstSize);  // zero-filled: row padding stays 0

  TWorkBlock Work(static_cast<size_t>(G.Width * G.Height));
  TKvDivideTree Tree;
  TKvPaletteBuffer Palette;
  build_tree(Src, G, Work, MaxDepth, Tree, Palette, Progress, Build);

  // The work block is free again: the grid goes there when it fits.
  TTreeGrid Grid;
  if (Mapping != TKvHighMapping::Walk && Grid.Build(Tree, Work.Data(), Work.Bytes)) {
    MapTrueColorRows(
        Src, G, Block.Bits(), DstBits, [&Grid](const uint8_t* P) { return Grid.IndexOf(P); }, [] {});
  } else {
    const TTreeWalk Walk(Tree, MaxDepth);
    MapTrueColorRows(
        Src, G, Block.Bits(), DstBits, [&Walk](const uint8_t* P) { return Walk.IndexOf(pixel_word(P)); },
        [] {});
  }
  FillReducedDestination(Src, Dst, Block, static_cast<uint16_t>(DstBits), Palette);
}

void ConvertTrueColorTo8BitRGBHigh(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress) {
  ConvertTrueColorHigh(Src, Dst, Progress, kMaxDepth256, TKvHighBuild::Auto, TKvHighMapping::Auto);
}

void ConvertTrueColorTo4BitRGBHigh(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress) {
  ConvertTrueColorHigh(Src, Dst, Progress, kMaxDepth16, TKvHighBuild::Auto, TKvHighMapping::Auto);
}

}  // namespace kv
