// Serpentine Floyd-Steinberg error diffusion.
//
// Every pixel waits for the error of the one before it, so the time is that chain, kept
// short: the three channels travel together in one 64-bit word of 16-bit fields (a sum
// of signed fields, which additions and small multiples keep exact); the next pixel's sum
// is the previous one's less one table word, which holds seven times the entry's colour;
// and while no channel needs clamping, the lookup's cell is read straight from the sum's
// bits.
#include "image/reduce/KvDither.h"

#include <algorithm>
#include <array>
#include <vector>

#include "image/reduce/KvNearestColor.h"

namespace kv {

namespace {

// A packed word: red in bits 32-47, green in 16-31, blue in 0-15, the word being the sum
// red * 2^32 + green * 2^16 + blue of its (signed) fields, modulo 2^64 (unsigned, so that
// the index in the top bits of a cell word wraps instead of overflowing).
using TPacked = uint64_t;

constexpr TPacked pack(int64_t R, int64_t G, int64_t B) {
  return (static_cast<TPacked>(R) << 32) + (static_cast<TPacked>(G) << 16) + static_cast<TPacked>(B);
}

constexpr TPacked kRaise = 4096;  // added to every field of a pixel's sum, so that none is negative
constexpr TPacked kRaised = pack(0x1000, 0x1000, 0x1000);
constexpr TPacked kTopBits = pack(0xF000, 0xF000, 0xF000);  // bits 12-15 of every field
constexpr TPacked kValueBits = pack(0xFF, 0xFF, 0xFF);
constexpr TPacked kFields = 0x0000FFFFFFFFFFFF;
constexpr size_t kWide = 1024;  // the values plus 256 that the clamping tables cover

// What the rows need: the palette, the lookup's cells and the source's parts.
struct TDitherTables {
  std::array<TPacked, 256> Entry{};  // each entry's colour
  // Each channel's value v: 16 v + 8 + kRaise in its field.
  std::array<std::array<TPacked, 256>, 3> Source{};
  // Each channel's value plus 256 (0..1023): the value clamped to 0..255 in its field,
  // and its part of the lookup's cell in bits 48-62.
  std::array<std::array<TPacked, kWide>, 3> Clamp{};
  // Each lookup cell: seven times its entry's colour, the index in bits 56-63.
  std::vector<TPacked> Cell;
};

// One row in one direction (Step +1 or -1). Here holds the errors carried down to this
// row, Below receives those for the next, one packed word per pixel in sixteenths, with
// one pixel of margin each side. A pixel's sum is 16 v + 8 + kRaise + the errors carried
// to it (Here, and 7/16 of the last error, which stays in a register), so that its value
// before clamping is (sum >> 4) - 256. Each entry of Below is written once, when
// complete: it collects 1/16 from the pixel before it, 5/16 from the one above and 3/16
// from the one after.
//
// Sums lie in 24..12264, so the fields never borrow from each other. While every field
// lies in 4096..8191 (the value needs no clamping), its bits 4-11 are the value and bits
// 7-11 the lookup's cell. The index in the top bits of a cell word only spoils bits
// 56-63 of the next sum, which nothing reads.
template <int Step>
void dither_row(const uint8_t* S, size_t W, const TPacked* Here, TPacked* Below, const TDitherTables& T,
                uint8_t* Index) {
  TPacked Ahead7 = 0;  // 7/16 of the last error
  TPacked Pend = 0;    // Below[x - Step] so far
  TPacked Next = 0;    // Below[x] so far
  size_t X = Step > 0 ? 0 : W - 1;
  for (size_t N = 0; N < W; ++N, X += static_cast<size_t>(Step)) {
    const uint8_t* P = S + 3 * X;
    const TPacked Sum = T.Source[0][P[2]] + T.Source[1][P[1]] + T.Source[2][P[0]] + Here[X + 1] + Ahead7;
    TPacked Value;
    size_t Cell;
    if (((Sum ^ kRaised) & kTopBits) == 0) [[likely]] {
      Value = (Sum >> 4) & kValueBits;
      Cell = (Sum >> 29 & 0x7C00) | (Sum >> 18 & 0x3E0) | (Sum >> 7 & 0x1F);
    } else {
      const TPacked Parts = T.Clamp[0][Sum >> 36 & (kWide - 1)] + T.Clamp[1][Sum >> 20 & (kWide - 1)] +
                            T.Clamp[2][Sum >> 4 & (kWide - 1)];
      Value = Parts & kFields;
      Cell = Parts >> 48;
    }
    const TPacked C = T.Cell[Cell];
    Ahead7 = 7 * Value - C;
    const uint8_t I = static_cast<uint8_t>(C >> 56);
    Index[X] = I;
    const TPacked D = Value - T.Entry[I];
    Below[X + 1 - Step] = Pend + 3 * D;
    Pend = Next + 5 * D;
    Next = D;
  }
  Below[X + 1 - Step] = Pend;  // the pixel beyond the row's last
  // Next would go to the margin beyond, which no pixel reads.
}

}  // namespace

void DitherFloydSteinberg(const TKvDIBInfo& Src, const TKvRowGeometry& G, const TKvPaletteBuffer& Palette,
                          uint8_t* Bits, int DstBits, const std::function<void()>& Row) {
  const TKvPaletteLookup Lookup(Palette);
  TDitherTables T;
  for (int32_t I = 0; I < Palette.Count; ++I) {
    const RGBQUAD& Q = Palette.Colors[static_cast<size_t>(I)];
    T.Entry[static_cast<size_t>(I)] = pack(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
  }
  const TPacked Unit[3] = {pack(1, 0, 0), pack(0, 1, 0), pack(0, 0, 1)};
  for (size_t C = 0; C < 3; ++C) {
    for (size_t V = 0; V < 256; ++V) T.Source[C][V] = (16 * static_cast<TPacked>(V) + 8 + kRaise) * Unit[C];
    for (size_t V = 0; V < kWide; ++V) {
      const TPacked Clamped =
          static_cast<TPacked>(std::clamp<int64_t>(static_cast<int64_t>(V) - 256, 0, 255));
      T.Clamp[C][V] = Clamped * Unit[C] | (Clamped >> 3) << (48 + 5 * (2 - C));
    }
  }
  T.Cell.resize(TKvPaletteLookup::kCells);
  for (uint32_t C = 0; C < TKvPaletteLookup::kCells; ++C) {
    const uint8_t I = Lookup.CellEntry(C);
    T.Cell[C] = 7 * T.Entry[I] | static_cast<TPacked>(I) << 56;
  }
  const size_t W = static_cast<size_t>(G.Width);
  std::vector<TPacked> Here(W + 2, 0), Below(W + 2, 0);
  std::vector<uint8_t> Index(W);
  for (int64_t Y = 0; Y < G.Height; ++Y) {
    const uint8_t* S = G.SrcRow(Src, Y);
    uint8_t* D = G.DstRow(Bits, Y);
    uint8_t* const Out = DstBits == 8 ? D : Index.data();
    if (Y % 2 == 0)
      dither_row<1>(S, W, Here.data(), Below.data(), T, Out);
    else
      dither_row<-1>(S, W, Here.data(), Below.data(), T, Out);
    if (DstBits != 8)
      PackNibbleRow(D, G.Width, [&Index](int64_t X) { return Index[static_cast<size_t>(X)]; });
    std::swap(Here, Below);
    if (Row) Row();
  }
}

}  // namespace kv
