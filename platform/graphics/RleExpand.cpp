// Stream elements (two bytes each, some followed by more):
//   n v          n = 1..255: a run of n pixels; RLE8: all v, RLE4: the nibbles of v in turn,
//                high first
//   00 00        end of line
//   00 01        end of bitmap
//   00 02 dx dy  delta: dx pixels right, dy rows on
//   00 n ...     n = 3..255: n literal pixels (RLE8: n bytes, RLE4: n nibbles), padded to
//                an even number of bytes
#include "platform/graphics/RleExpand.h"

namespace kv::gdi_detail {

namespace {

constexpr uint8_t kEscEndOfLine = 0;
constexpr uint8_t kEscEndOfBitmap = 1;
constexpr uint8_t kEscDelta = 2;

}  // namespace

void ExpandRle(const uint8_t* Data, size_t Size, bool Rle4, int32_t Width, int32_t Rows, uint8_t* Out) {
  int64_t X = 0, Y = 0;  // 64-bit: deltas and runs cannot wrap a position around
  size_t P = 0;
  const auto put = [&](uint8_t Index) {
    if (X < Width) Out[Y * Width + X] = Index;
    ++X;
  };
  while (P + 2 <= Size && Y < Rows) {
    const uint8_t N = Data[P], V = Data[P + 1];
    P += 2;
    if (N > 0) {
      for (int I = 0; I < N; ++I) put(Rle4 ? static_cast<uint8_t>((I & 1) ? V & 0x0F : V >> 4) : V);
      continue;
    }
    if (V == kEscEndOfLine) {
      X = 0;
      ++Y;
    } else if (V == kEscEndOfBitmap) {
      return;
    } else if (V == kEscDelta) {
      if (P + 2 > Size) return;
      X += Data[P];
      Y += Data[P + 1];
      P += 2;
    } else {
      const size_t Bytes = Rle4 ? (V + 1u) / 2 : V;
      const size_t Padded = (Bytes + 1) & ~size_t{1};
      for (size_t I = 0; I < V; ++I) {
        const size_t At = P + (Rle4 ? I / 2 : I);
        if (At >= Size) return;
        put(Rle4 ? static_cast<uint8_t>((I & 1) ? Data[At] & 0x0F : Data[At] >> 4) : Data[At]);
      }
      P += Padded;
    }
  }
}

}  // namespace kv::gdi_detail
