// Fine ("High") true-colour reduction to 256 or 16 colours. The weighted-variance rule of
// DivideColorEntries is applied to the image's own pixels instead of a cell histogram,
// and every division is recorded as a node of a decision tree; each pixel is then mapped
// by the comparisons of that tree, down to a leaf holding its palette index.
//
// The division of a set of pixels depends only on the multiset of their colours: the
// statistics are sums, and the two parts are "channel value at or below the mean" and
// "above it". So the tree can be built from any representation of that multiset, with the
// same nodes, numbering, palette and progress calls. Three are used, all inside one work
// block of 3 x W x H + 4 bytes (the size of a packed copy of the pixels):
// - Distinct colours weighted by their pixel counts, gathered by bucketing the pixels on
//   their colour cell, which leaves one byte per pixel (the bits the cell drops) to count
//   within each cell. Used when an upper bound from the cell counts says the colours
//   fit or, when the cube does not fit the block, whenever they turn out to fit.
// - The colour cube: a count for every one of the 2^24 colours (one byte each, the
//   multiples of 256 kept aside). Every node's pixels are exactly those whose colour lies
//   in a box of the cube (each division cuts a box in two), so a division moves no data:
//   the statistics of a box are sums over its rows of counts. For images with very many
//   distinct colours, when the cube fits the block.
// - The packed pixels themselves, for small images and as the last resort.
// A division computes the statistics of only the smaller of its two parts; the other is
// the whole minus that part, in exact integers.
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
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/reduce/KvColorEntry.h"
#include "image/reduce/KvReduce.h"
#include "image/reduce/KvReduceCommon.h"
#include "image/reduce/KvReduceStages.h"

namespace kv {

namespace reduce_detail {

#if defined(__SSE2__)
// Position - 128 and its square, as 16-bit factors for the multiply-adds below: both fit
// a signed 16-bit value, where the position and its square would not.
struct TOffsetTables {
  alignas(16) std::array<int16_t, 256> Offset{};
  alignas(16) std::array<int16_t, 256> OffsetSq{};
};
constexpr TOffsetTables make_offset_tables() {
  TOffsetTables T;
  for (int V = 0; V < 256; ++V) {
    T.Offset[static_cast<size_t>(V)] = static_cast<int16_t>(V - 128);
    T.OffsetSq[static_cast<size_t>(V)] = static_cast<int16_t>((V - 128) * (V - 128));
  }
  return T;
}
constexpr TOffsetTables kOffsets = make_offset_tables();
#endif

// Counts Row[B0..B1) (B1 <= 256). With SSE2 (unless Plain), sixteen counts at a time: the sums are taken
// around 128 (c x (v - 128) and c x (v - 128)^2 fit 32-bit lanes for a whole run: at most
// 32 x 2 x 255 x 16,384 < 2^31) and moved back exactly; every step is an integer one, so
// both ways give the same sums.
TRunSums RunSums(const uint8_t* Row, uint32_t B0, uint32_t B1, bool Plain) {
  TRunSums R;
  uint32_t B = B0;
#if defined(__SSE2__)
  if (!Plain && B1 - B0 >= 16) {
    const __m128i Zero = _mm_setzero_si128();
    __m128i N = Zero, S = Zero, Q = Zero;
    for (; B + 16 <= B1; B += 16) {
      const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + B));
      N = _mm_add_epi64(N, _mm_sad_epu8(V, Zero));
      const __m128i Lo = _mm_unpacklo_epi8(V, Zero);
      const __m128i Hi = _mm_unpackhi_epi8(V, Zero);
      const auto* O = reinterpret_cast<const __m128i*>(kOffsets.Offset.data() + B);
      const auto* O2 = reinterpret_cast<const __m128i*>(kOffsets.OffsetSq.data() + B);
      S = _mm_add_epi32(S, _mm_add_epi32(_mm_madd_epi16(Lo, _mm_loadu_si128(O)),
                                         _mm_madd_epi16(Hi, _mm_loadu_si128(O + 1))));
      Q = _mm_add_epi32(Q, _mm_add_epi32(_mm_madd_epi16(Lo, _mm_loadu_si128(O2)),
                                         _mm_madd_epi16(Hi, _mm_loadu_si128(O2 + 1))));
    }
    alignas(16) int64_t N2[2];
    alignas(16) int32_t S4[4], Q4[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(N2), N);
    _mm_store_si128(reinterpret_cast<__m128i*>(S4), S);
    _mm_store_si128(reinterpret_cast<__m128i*>(Q4), Q);
    const int64_t Count = N2[0] + N2[1];
    const int64_t SumOff = int64_t{S4[0]} + S4[1] + S4[2] + S4[3];
    const int64_t SumOffSq = int64_t{Q4[0]} + Q4[1] + Q4[2] + Q4[3];
    // sum c v = sum c (v - 128) + 128 sum c; sum c v^2 = sum c (v - 128)^2 + 256 sum c (v - 128) + 16384 sum
    // c
    R.N = static_cast<uint64_t>(Count);
    R.S = static_cast<uint64_t>(SumOff + 128 * Count);
    R.Q = static_cast<uint64_t>(SumOffSq + 256 * SumOff + 16384 * Count);
  }
#else
  (void)Plain;
#endif
  for (; B < B1; ++B) {
    const uint64_t C = Row[B];
    R.N += C;
    R.S += C * B;
    R.Q += C * B * B;
  }
  return R;
}

}  // namespace reduce_detail

using namespace reduce_detail;

namespace {

constexpr const char* kInvalidDivideID = "ConvertTrueColorTo8BitRGBHigh: Invalid DivideID";
// Below this many pixels the packed division is cheaper than gathering distinct colours.
constexpr size_t kDistinctMinPixels = size_t{1} << 14;

// An index range [Lo, Hi) of packed pixels or weighted colours.
struct TSpan {
  size_t Lo;
  size_t Hi;
};

TRangeStats operator-(const TRangeStats& A, const TRangeStats& B) {
  TRangeStats D;
  D.Weight = A.Weight - B.Weight;
  for (int C = 0; C < 3; ++C) {
    D.Sum[C] = A.Sum[C] - B.Sum[C];
    D.SumSq[C] = A.SumSq[C] - B.SumSq[C];
  }
  return D;
}

// The statistics of both parts of a divided range, counting only the shorter one.
template <class TElems>
void part_stats(const TElems& Elems, TSpan Low, TSpan High, const TRangeStats& Whole, TRangeStats& LowStats,
                TRangeStats& HighStats) {
  if (Low.Hi - Low.Lo <= High.Hi - High.Lo) {
    LowStats = Elems.Stats(Low);
    HighStats = Whole - LowStats;
  } else {
    HighStats = Elems.Stats(High);
    LowStats = Whole - HighStats;
  }
}

// Pixels packed three bytes each (blue, green, red), each of weight 1.
class TPackedPixels {
 public:
  using TRange = TSpan;
  explicit TPackedPixels(uint8_t* Bytes) : m_P(Bytes) {}

  TRangeStats Stats(TSpan R) const {
    uint64_t S[3] = {0, 0, 0};
    uint64_t Q[3] = {0, 0, 0};
    for (const uint8_t *P = m_P + 3 * R.Lo, *End = m_P + 3 * R.Hi; P != End; P += 3) {
      const uint32_t B = P[0];
      const uint32_t G = P[1];
      const uint32_t Rd = P[2];
      S[kRed] += Rd;
      S[kGreen] += G;
      S[kBlue] += B;
      Q[kRed] += Rd * Rd;
      Q[kGreen] += G * G;
      Q[kBlue] += B * B;
    }
    TRangeStats St;
    St.Weight = R.Hi - R.Lo;
    for (int C = 0; C < 3; ++C) {
      St.Sum[C] = S[C];
      St.SumSq[C] = Q[C];
    }
    return St;
  }

  // Values at or below Cut to the front. Only the two sets matter, not the order within
  // them, so the partition runs without branches: every pixel is swapped with the first
  // pixel of the high part, which grows by one exactly when the pixel is high.
  std::pair<TSpan, TSpan> Split(TSpan R, int Channel, uint32_t Cut, const TRangeStats& Whole,
                                TRangeStats& Low, TRangeStats& High) {
    uint8_t* const P = m_P;
    const size_t Offset = static_cast<size_t>(2 - Channel);  // red is the third byte
    size_t Split = R.Lo;
    for (size_t I = R.Lo; I < R.Hi; ++I) {
      uint8_t Pixel[3];
      std::memcpy(Pixel, P + 3 * I, 3);
      std::memcpy(P + 3 * I, P + 3 * Split, 3);
      std::memcpy(P + 3 * Split, Pixel, 3);
      Split += Pixel[Offset] <= Cut;
    }
    const TSpan L{R.Lo, Split}, H{Split, R.Hi};
    part_stats(*this, L, H, Whole, Low, High);
    return {L, H};
  }

 private:
  uint8_t* m_P;
};

// Distinct colours with their pixel counts, one word each: blue in bits 0-7, green 8-15,
// red 16-23, count 24-31. A colour of more than 255 pixels takes several words; words of
// one colour always fall on the same side, so this changes no sum and no division.
class TWeightedColors {
 public:
  using TRange = TSpan;
  explicit TWeightedColors(uint32_t* Words) : m_W(Words) {}

  static constexpr uint32_t Word(uint32_t R, uint32_t G, uint32_t B, uint32_t Count) {
    return Count << 24 | R << 16 | G << 8 | B;
  }

  TRangeStats Stats(TSpan R) const {
    uint64_t N = 0;
    uint64_t S[3] = {0, 0, 0};
    uint64_t Q[3] = {0, 0, 0};
    for (size_t I = R.Lo; I < R.Hi; ++I) {
      const uint32_t E = m_W[I];
      const uint32_t W = E >> 24;
      const uint32_t Rd = (E >> 16) & 255;
      const uint32_t G = (E >> 8) & 255;
      const uint32_t B = E & 255;
      N += W;
      S[kRed] += W * Rd;
      S[kGreen] += W * G;
      S[kBlue] += W * B;
      Q[kRed] += W * Rd * Rd;  // at most 255^3: no overflow in 32 bits
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

  // As TPackedPixels::Split, one word at a time.
  std::pair<TSpan, TSpan> Split(TSpan R, int Channel, uint32_t Cut, const TRangeStats& Whole,
                                TRangeStats& Low, TRangeStats& High) {
    uint32_t* const W = m_W;
    const unsigned Shift = static_cast<unsigned>(2 - Channel) * 8;
    size_t Split = R.Lo;
    for (size_t I = R.Lo; I < R.Hi; ++I) {
      const uint32_t Word = W[I];
      W[I] = W[Split];
      W[Split] = Word;
      Split += ((Word >> Shift) & 255) <= Cut;
    }
    const TSpan L{R.Lo, Split}, H{Split, R.Hi};
    part_stats(*this, L, H, Whole, Low, High);
    return {L, H};
  }

 private:
  uint32_t* m_W;
};

// A box of the colour cube: channel values Lo[c] <= v < Hi[c] (channel 0 red, 1 green, 2 blue).
struct TBox {
  std::array<uint32_t, 3> Lo{0, 0, 0};
  std::array<uint32_t, 3> Hi{256, 256, 256};
  uint64_t Volume() const { return uint64_t{Hi[0] - Lo[0]} * (Hi[1] - Lo[1]) * (Hi[2] - Lo[2]); }
};

constexpr size_t kCubeColors = size_t{1} << 24;

// The colour cube: Counts[R << 16 | G << 8 | B] is the number of pixels of that colour
// modulo 256, and Extra holds the multiples of 256 left out, by colour.
class TColorCube {
 public:
  using TRange = TBox;
  TColorCube(const uint8_t* Counts, std::vector<std::pair<uint32_t, uint64_t>> Extra)
      : m_Counts(Counts), m_Extra(std::move(Extra)) {}

  TRangeStats Stats(const TBox& Box) const {
    TRangeStats St;
    for (uint32_t R = Box.Lo[kRed]; R < Box.Hi[kRed]; ++R) {
      TRunSums Plane;  // over the green rows of this red value
      uint64_t SG = 0, QG = 0;
      for (uint32_t G = Box.Lo[kGreen]; G < Box.Hi[kGreen]; ++G) {
        const TRunSums Run =
            RunSums(m_Counts + (size_t{R} << 16 | size_t{G} << 8), Box.Lo[kBlue], Box.Hi[kBlue], false);
        Plane.N += Run.N;
        Plane.S += Run.S;
        Plane.Q += Run.Q;
        SG += Run.N * G;
        QG += Run.N * G * G;
      }
      St.Weight += Plane.N;
      St.Sum[kRed] += Plane.N * R;
      St.SumSq[kRed] += Plane.N * R * R;
      St.Sum[kGreen] += SG;
      St.SumSq[kGreen] += QG;
      St.Sum[kBlue] += Plane.S;
      St.SumSq[kBlue] += Plane.Q;
    }
    for (const auto& [Color, Count] : m_Extra) {
      const uint32_t V[3] = {Color >> 16, (Color >> 8) & 255, Color & 255};
      bool Inside = true;
      for (int C = 0; C < 3; ++C) Inside = Inside && V[C] >= Box.Lo[C] && V[C] < Box.Hi[C];
      if (!Inside) continue;
      St.Weight += Count;
      for (int C = 0; C < 3; ++C) {
        St.Sum[C] += Count * V[C];
        St.SumSq[C] += Count * V[C] * V[C];
      }
    }
    return St;
  }

  // Cuts the box after Cut in the channel; no colour moves. The mean of a non-empty box
  // lies inside it, so both boxes are well formed.
  std::pair<TBox, TBox> Split(const TBox& Box, int Channel, uint32_t Cut, const TRangeStats& Whole,
                              TRangeStats& Low, TRangeStats& High) const {
    TBox L = Box, H = Box;
    L.Hi[Channel] = std::clamp(Cut + 1, Box.Lo[Channel], Box.Hi[Channel]);
    H.Lo[Channel] = L.Hi[Channel];
    if (L.Volume() <= H.Volume()) {
      Low = Stats(L);
      High = Whole - Low;
    } else {
      High = Stats(H);
      Low = Whole - High;
    }
    return {L, H};
  }

 private:
  const uint8_t* m_Counts;
  std::vector<std::pair<uint32_t, uint64_t>> m_Extra;
};

// Counts the colours of Src into the cube's 2^24 bytes at Counts and returns the
// multiples of 256 that did not fit, one entry per colour; Bounds receives the smallest
// box holding every colour, where the division starts (the counts outside it are 0).
std::vector<std::pair<uint32_t, uint64_t>> fill_cube(const TKvDIBInfo& Src, const TKvRowGeometry& G,
                                                     uint8_t* Counts, bool Zero, TBox& Bounds) {
  if (!Zero) std::memset(Counts, 0, kCubeColors);
  std::vector<uint32_t> Wraps;  // one entry each time a count passes 255
  auto color_of = [](const uint8_t* P) { return uint32_t{P[2]} << 16 | uint32_t{P[1]} << 8 | P[0]; };
  // The counts of such images are scattered over the whole cube, so each is fetched well
  // ahead of its turn: many fetches then overlap instead of waiting one after the other.
  constexpr int64_t kAhead = 16;
  std::array<uint32_t, 3> Lo{255, 255, 255}, Hi{0, 0, 0};
  auto count = [&](const uint8_t* P) {
    const uint32_t Color = color_of(P);
    if (++Counts[Color] == 0) [[unlikely]]
      Wraps.push_back(Color);
    for (int C = 0; C < 3; ++C) {
      const uint32_t V = P[2 - C];  // red is the third byte
      Lo[C] = std::min(Lo[C], V);
      Hi[C] = std::max(Hi[C], V);
    }
  };
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* P = G.SrcRow(Src, Y);
    int64_t X = 0;
    for (; X + kAhead < G.Width; ++X, P += 3) {
      __builtin_prefetch(Counts + color_of(P + 3 * kAhead), 1);
      count(P);
    }
    for (; X < G.Width; ++X, P += 3) count(P);
  }
  for (int C = 0; C < 3; ++C) {
    Bounds.Lo[C] = Lo[C];
    Bounds.Hi[C] = Hi[C] + 1;
  }
  std::sort(Wraps.begin(), Wraps.end());
  std::vector<std::pair<uint32_t, uint64_t>> Extra;
  for (const uint32_t Color : Wraps) {
    if (Extra.empty() || Extra.back().first != Color) Extra.emplace_back(Color, 0);
    Extra.back().second += 256;
  }
  return Extra;
}

// The recursive division with its tree: nodes numbered depth first, the high side first,
// palette indices given in the same order. Each range comes with its statistics.
template <class TElems>
class TTreeDivider {
 public:
  using TRange = typename TElems::TRange;
  TTreeDivider(TElems& Elems, int MaxDepth, TKvDivideTree& Tree, TKvPaletteBuffer& Palette,
               const TKvProgressProc& Progress)
      : m_Elems(Elems), m_MaxDepth(MaxDepth), m_Tree(Tree), m_Palette(Palette), m_Progress(Progress) {}

  void DividePixels(const TRange& Range, const TRangeStats& S, int Depth, int32_t NodeIndex) {
    if (S.Weight == 0) {
      // No pixel: no node and no colour, but the boxes below still count as progress.
      ProgressEmptyRange(Depth, m_MaxDepth, m_Progress);
      return;
    }
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
    TRangeStats Low, High;
    const auto [LowRange, HighRange] = m_Elems.Split(Range, D.Channel, D.Cut, S, Low, High);
    Node.ColorIndex = 0;
    Node.HighChild = next_node();
    DividePixels(HighRange, High, Depth + 1, Node.HighChild);
    Node.LowChild = next_node();
    DividePixels(LowRange, Low, Depth + 1, Node.LowChild);
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

template <class TElems>
void divide(TElems& Elems, const typename TElems::TRange& Whole, int MaxDepth, TKvDivideTree& Tree,
            TKvPaletteBuffer& Palette, const TKvProgressProc& Progress) {
  TTreeDivider<TElems>(Elems, MaxDepth, Tree, Palette, Progress)
      .DividePixels(Whole, Elems.Stats(Whole), 0, 0);
}

// The work block: 3 x W x H + 4 bytes, 32-bit aligned so that it can hold both packed
// pixels (as bytes) and weighted colours (as words). W x H is at most a third of a pixel
// block's size, so the byte count fits a size_t even on 32-bit targets. It is obtained
// on first use and committed only where it is written. The colour cube asks for it as
// memory of the kind pixel blocks are made of, on huge pages, which its scattered counts
// need (with small pages nearly every count would miss the address cache); the other
// ways take it from the heap, where small pages commit no more than is written.
class TWorkBlock {
 public:
  explicit TWorkBlock(size_t Pixels) : m_Bytes(3 * Pixels + 4) {}
  // The block, obtained now if it is not yet; HugePages says how, on first use only.
  uint8_t* Data(bool HugePages = false) {
    if (m_Data != nullptr) return m_Data;
    if (HugePages && m_Bytes <= static_cast<size_t>(kMaxBlockBytes)) {
      m_Block = TFileMapBlock(static_cast<int32_t>(m_Bytes));
      m_Data = m_Block.Bits();
      m_Zero = true;
    } else {
      m_Heap = std::make_unique_for_overwrite<uint32_t[]>((m_Bytes + 3) / 4);
      m_Data = reinterpret_cast<uint8_t*>(m_Heap.get());
    }
    return m_Data;
  }
  uint32_t* Words() { return reinterpret_cast<uint32_t*>(Data()); }  // page-aligned or from new[]
  size_t Bytes() const { return m_Bytes; }
  // Known to read as zeros: obtained as a fresh pixel block and not written yet.
  bool Zero() const { return m_Zero; }
  void MarkUsed() { m_Zero = false; }

 private:
  size_t m_Bytes;
  TFileMapBlock m_Block;
  std::unique_ptr<uint32_t[]> m_Heap;
  uint8_t* m_Data = nullptr;
  bool m_Zero = false;
};

// The packed copy: rows one after another without padding.
void pack_pixels(const TKvDIBInfo& Src, const TKvRowGeometry& G, uint8_t* Out) {
  const size_t RowBytes = static_cast<size_t>(3 * G.Width);
  for (int64_t Y = 0; Y < G.Height; ++Y)
    std::memcpy(Out + static_cast<size_t>(Y) * RowBytes, G.SrcRow(Src, Y), RowBytes);
}

// Pixels of one row counted into two sets of counters, even and odd pixels apart, so that
// neighbours of one cell do not wait for each other's count.
template <class TFn>
void for_each_pixel_pair(const TKvDIBInfo& Src, const TKvRowGeometry& G, TFn&& Fn) {
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* P = G.SrcRow(Src, Y);
    int64_t X = 0;
    for (; X + 2 <= G.Width; X += 2, P += 6) {
      Fn(P, 0);
      Fn(P + 3, 1);
    }
    if (X < G.Width) Fn(P, 0);
  }
}

enum class TGather { Done, TooMany, NotSure };

// Words a cell of N pixels can need as weighted colours: no more than its pixels, nor
// than its 256 colours plus one more word for every 255 pixels of a colour.
size_t cell_word_bound(size_t N) { return std::min<size_t>(N, 256 + N / 255); }

// An estimate of the words all cells need, from the cells of every eighth row.
size_t sampled_bound(const TKvDIBInfo& Src, const TKvRowGeometry& G) {
  constexpr int64_t kEvery = 8;
  std::vector<uint32_t> Count(kColorCells, 0);
  for (int64_t Y = 0; Y < G.Height; Y += kEvery) {
    const uint8_t* P = G.SrcRow(Src, Y);
    for (int64_t X = 0; X < G.Width; ++X, P += 3) ++Count[CellAndDropped(P) & 0xFFFF];
  }
  size_t Bound = 0;
  for (const uint32_t N : Count) Bound += cell_word_bound(size_t{N} * kEvery);
  return Bound;
}

// Gathers the distinct colours of Src with their pixel counts into the front of the work
// block as weighted words; Count receives their number. NotSure, before anything is
// placed, when GiveUpEarly is set and the cell counts cannot rule out that the colours
// overtake the pixel bytes not yet counted; TooMany, leaving the block in no useful
// state, when they do overtake them.
TGather gather_distinct(const TKvDIBInfo& Src, const TKvRowGeometry& G, TWorkBlock& Work, bool GiveUpEarly,
                        size_t& Count) {
  const size_t N = static_cast<size_t>(G.Width * G.Height);
  const size_t LowStart = Work.Bytes() - N;  // the dropped bits live at the end of the block

  // Bucket the pixels by cell: count (even and odd pixels apart), turn counts into starts,
  // then place each pixel's dropped bits. A cell's bucket holds its even pixels, then its
  // odd ones; afterwards Cursor[1][c] is the end of cell c's bucket. Offsets are 32-bit:
  // an image has fewer than 2^31 pixels.
  std::vector<uint32_t> Cursors(2 * kColorCells, 0);
  uint32_t* const Cursor[2] = {Cursors.data(), Cursors.data() + kColorCells};
  for_each_pixel_pair(Src, G,
                      [&Cursor](const uint8_t* P, int Set) { ++Cursor[Set][CellAndDropped(P) & 0xFFFF]; });
  size_t Bound = 0;
  uint32_t Sum = 0;
  for (uint32_t Cell = 0; Cell < kColorCells; ++Cell) {
    const uint32_t Even = Cursor[0][Cell], Odd = Cursor[1][Cell];
    Cursor[0][Cell] = Sum;
    Cursor[1][Cell] = Sum + Even;
    Sum += Even + Odd;
    Bound += cell_word_bound(size_t{Even} + Odd);
  }
  if (GiveUpEarly && Bound * 4 > LowStart) return TGather::NotSure;
  uint8_t* const Low = Work.Data() + LowStart;
  Work.MarkUsed();
  for_each_pixel_pair(Src, G, [&Cursor, Low](const uint8_t* P, int Set) {
    const uint32_t Parts = CellAndDropped(P);
    Low[Cursor[Set][Parts & 0xFFFF]++] = static_cast<uint8_t>(Parts >> 16);
  });

  // Count within each cell and write the words, front to back. The words may overwrite
  // the bytes of cells already counted, never those still to come. Large cells count
  // into two histograms, alternately, for the same reason as above.
  uint32_t* const Words = Work.Words();
  std::array<uint32_t, 256> Hist{}, Hist2{};
  std::array<uint8_t, 256> Seen{};
  size_t K = 0;
  size_t Start = 0;
  for (uint32_t Cell = 0; Cell < kColorCells; ++Cell) {
    const size_t End = Cursor[1][Cell];
    if (End == Start) continue;
    size_t Distinct = 0;
    if (End - Start >= 512) {
      size_t I = Start;
      for (; I + 2 <= End; I += 2) {
        ++Hist[Low[I]];
        ++Hist2[Low[I + 1]];
      }
      if (I < End) ++Hist[Low[I]];
      for (uint32_t V = 0; V < 256; ++V) {
        Hist[V] += Hist2[V];
        Hist2[V] = 0;
        if (Hist[V] != 0) Seen[Distinct++] = static_cast<uint8_t>(V);
      }
    } else {
      for (size_t I = Start; I < End; ++I) {
        const uint8_t V = Low[I];
        if (Hist[V]++ == 0) Seen[Distinct++] = V;
      }
    }
    size_t Needed = 0;
    for (size_t D = 0; D < Distinct; ++D) Needed += (Hist[Seen[D]] + 254) / 255;
    if ((K + Needed) * 4 > LowStart + End) return TGather::TooMany;
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
  return TGather::Done;
}

void build_tree(const TKvDIBInfo& Src, const TKvRowGeometry& G, TWorkBlock& Work, int MaxDepth,
                TKvDivideTree& Tree, TKvPaletteBuffer& Palette, const TKvProgressProc& Progress,
                TKvHighBuild Build) {
  AssertDIB(MaxDepth >= 0 && MaxDepth <= 8, "DividePixels: Invalid Depth");
  Tree = TKvDivideTree{};
  Palette.Count = 0;
  const size_t N = static_cast<size_t>(G.Width * G.Height);
  const bool CubeFits = Work.Bytes() >= kCubeColors;
  if (Build == TKvHighBuild::Auto) {
    if (N < kDistinctMinPixels) {
      Build = TKvHighBuild::Packed;
    } else {
      // Distinct colours when they surely fit; otherwise the cube, when it fits. A count
      // of the cells of every eighth row first tells images of very many colours, for
      // which counting every cell would be wasted.
      size_t K = 0;
      const TGather Got = CubeFits && sampled_bound(Src, G) * 4 > Work.Bytes() - N
                              ? TGather::NotSure
                              : gather_distinct(Src, G, Work, CubeFits, K);
      if (Got == TGather::Done) {
        TWeightedColors Colors(Work.Words());
        divide(Colors, TSpan{0, K}, MaxDepth, Tree, Palette, Progress);
        return;
      }
      Build = CubeFits ? TKvHighBuild::Cube : TKvHighBuild::Packed;
    }
  }
  if (Build == TKvHighBuild::Distinct) {
    size_t K = 0;
    if (gather_distinct(Src, G, Work, false, K) == TGather::Done) {
      TWeightedColors Colors(Work.Words());
      divide(Colors, TSpan{0, K}, MaxDepth, Tree, Palette, Progress);
      return;
    }
    Build = TKvHighBuild::Packed;
  }
  if (Build == TKvHighBuild::Cube) {
    // Asked for on an image too small for the cube to fit the block, it gets its own.
    std::vector<uint8_t> Own(CubeFits ? 0 : kCubeColors);
    uint8_t* const Counts = CubeFits ? Work.Data(true) : Own.data();
    TBox Bounds;
    TColorCube Cube(Counts, fill_cube(Src, G, Counts, !CubeFits || Work.Zero(), Bounds));
    divide(Cube, Bounds, MaxDepth, Tree, Palette, Progress);
    return;
  }
  Work.MarkUsed();
  pack_pixels(Src, G, Work.Data());
  TPackedPixels Pixels(Work.Data());
  divide(Pixels, TSpan{0, N}, MaxDepth, Tree, Palette, Progress);
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
  if (Mapping != TKvHighMapping::Walk && Grid.Build(Tree, Work.Data(), Work.Bytes())) {
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
