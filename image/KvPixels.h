// Row and pixel access of uncompressed DIBs, the one home of it: the stored row that shows
// a given picture row, reading and writing 1-, 4-, 8- and 24-bit pixels, packing a row of
// indices or flags into 1- or 4-bit pixels and unpacking it again, and the colour a
// paletted pixel stands for.
//
// Layout (the platform DIB layout): rows are stored bottom-up when biHeight > 0 and
// top-down when it is negative, each padded to a multiple of 4 bytes; 1 bit = eight pixels
// per byte, the left pixel in the most significant bit; 4 bits = two pixels per byte, the
// left pixel in the high nibble; 24 bits = blue, green, red per pixel. Callers pass a row
// start and columns they have already checked against the row; nothing here checks bounds.
#pragma once

#include <cstdint>
#include <cstring>

#include "image/KvDIBInfo.h"
#include "image/KvGeometry.h"

namespace kv {

// A colour as three channel bytes, in the order people read them.
struct TKvRGB {
  uint8_t Red;
  uint8_t Green;
  uint8_t Blue;
  friend bool operator==(const TKvRGB&, const TKvRGB&) = default;
};

// ---------------------------------------------------------------------------------------
// Rows

// The stored row (0 = first in the block) that holds picture row Y (0 = top).
constexpr int64_t StoredRowOf(const TKvGeometry& G, int64_t Y) { return G.BottomUp ? G.Height - 1 - Y : Y; }

// Stored row R of a descriptor's uncompressed rows of Stride bytes.
inline const uint8_t* StoredRow(const TKvDIBInfo& Info, int64_t Stride, int64_t R) {
  return Info.Bits + static_cast<ptrdiff_t>(Stride * R);
}
inline uint8_t* StoredRow(TKvDIBInfo& Info, int64_t Stride, int64_t R) {
  return Info.Bits + static_cast<ptrdiff_t>(Stride * R);
}

// Picture row Y (0 = top) of a descriptor whose header is valid and whose block holds its
// rows.
inline const uint8_t* PictureRow(const TKvDIBInfo& Info, int64_t Y) {
  return StoredRow(Info, DIBStride(Info.Header), StoredRowOf(GeometryOf(Info), Y));
}
inline uint8_t* PictureRow(TKvDIBInfo& Info, int64_t Y) {
  return StoredRow(Info, DIBStride(Info.Header), StoredRowOf(GeometryOf(Info), Y));
}

// ---------------------------------------------------------------------------------------
// Pixels

inline uint8_t GetPixel1(const uint8_t* Row, int64_t X) {
  return static_cast<uint8_t>((Row[X >> 3] >> (7 - (X & 7))) & 1);
}

inline uint8_t GetPixel4(const uint8_t* Row, int64_t X) {
  const uint8_t B = Row[X >> 1];
  return (X & 1) ? static_cast<uint8_t>(B & 0x0F) : static_cast<uint8_t>(B >> 4);
}

inline uint8_t GetPixel8(const uint8_t* Row, int64_t X) { return Row[X]; }

inline TKvRGB GetPixel24(const uint8_t* Row, int64_t X) {
  const uint8_t* P = Row + 3 * X;
  return TKvRGB{P[2], P[1], P[0]};
}

// The colour index of pixel X of a paletted row (BitCount 1, 4 or 8).
inline uint8_t GetPixelIndex(const uint8_t* Row, int64_t X, int BitCount) {
  switch (BitCount) {
    case 1: return GetPixel1(Row, X);
    case 4: return GetPixel4(Row, X);
    default: return GetPixel8(Row, X);
  }
}

// Sets or clears the bit of pixel X; the other pixels of the byte keep their values.
inline void SetPixel1(uint8_t* Row, int64_t X, bool On) {
  const uint8_t Mask = static_cast<uint8_t>(0x80u >> (X & 7));
  if (On)
    Row[X >> 3] |= Mask;
  else
    Row[X >> 3] &= static_cast<uint8_t>(~Mask);
}

// Replaces the nibble of pixel X (Index 0..15); the other nibble keeps its value.
inline void SetPixel4(uint8_t* Row, int64_t X, uint8_t Index) {
  uint8_t& B = Row[X >> 1];
  if (X & 1)
    B = static_cast<uint8_t>((B & 0xF0) | (Index & 0x0F));
  else
    B = static_cast<uint8_t>((B & 0x0F) | (Index << 4));
}

// Writes the nibble of pixel X of a row filled left to right: an even column stores its
// whole byte (Index * 16, clearing the nibble to its right), an odd one ORs Index into the
// low nibble. One store per pixel instead of SetPixel4's read-modify-write.
inline void AppendPixel4(uint8_t* Row, int64_t X, uint8_t Index) {
  if ((X & 1) == 0)
    Row[X >> 1] = static_cast<uint8_t>(Index << 4);
  else
    Row[X >> 1] |= static_cast<uint8_t>(Index & 0x0F);
}

inline void SetPixel24(uint8_t* Row, int64_t X, TKvRGB C) {
  uint8_t* P = Row + 3 * X;
  P[0] = C.Blue;
  P[1] = C.Green;
  P[2] = C.Red;
}

// Sets pixel X of a paletted row (BitCount 1, 4 or 8) to Index; for 1 bit any non-zero
// index sets the bit.
inline void SetPixelIndex(uint8_t* Row, int64_t X, int BitCount, uint8_t Index) {
  switch (BitCount) {
    case 1: SetPixel1(Row, X, Index != 0); break;
    case 4: SetPixel4(Row, X, Index); break;
    default: Row[X] = Index; break;
  }
}

// ---------------------------------------------------------------------------------------
// Whole rows

// Packs IndexOf(0..Width) (values 0..15) into a 4-bit row, two pixels to a byte; with an
// odd width the last byte keeps a zero low nibble. Every byte of the row's pixels is
// written, so the row need not be cleared first.
template <class TIndexOf>
inline void PackNibbleRow(uint8_t* Row, int64_t Width, TIndexOf&& IndexOf) {
  int64_t X = 0;
  for (; X + 2 <= Width; X += 2)
    Row[X >> 1] = static_cast<uint8_t>((IndexOf(X) & 15) << 4 | (IndexOf(X + 1) & 15));
  if (X < Width) Row[X >> 1] = static_cast<uint8_t>((IndexOf(X) & 15) << 4);
}

// Packs the flags IsSet(0..Width) into a 1-bit row, eight to a byte, the left pixel in the
// top bit. Whole bytes are stored; the bits of a last partial byte are ORed in, so the bits
// after the last pixel keep their value (0 in a fresh block).
template <class TIsSet>
inline void PackBitRow(uint8_t* Row, int64_t Width, TIsSet&& IsSet) {
  int64_t X = 0;
  for (; X + 8 <= Width; X += 8) {
    uint8_t B = 0;
    for (int K = 0; K < 8; ++K) B = static_cast<uint8_t>((B << 1) | (IsSet(X + K) ? 1 : 0));
    Row[X >> 3] = B;
  }
  if (X < Width) {
    uint8_t& Last = Row[X >> 3];
    uint8_t Mask = 0x80;
    for (; X < Width; ++X, Mask = static_cast<uint8_t>(Mask >> 1))
      if (IsSet(X)) Last |= Mask;
  }
}

// Unpacks the first Width pixels of a 1-, 4- or 8-bit row into one index byte each. The
// spare bits after the last pixel are never read into Out.
template <int BitCount>
inline void UnpackIndexRow(const uint8_t* Row, int64_t Width, uint8_t* Out) {
  static_assert(BitCount == 1 || BitCount == 4 || BitCount == 8);
  int64_t X = 0;
  if constexpr (BitCount == 8) {
    std::memcpy(Out, Row, static_cast<size_t>(Width));
    return;
  } else if constexpr (BitCount == 4) {
    for (; X + 2 <= Width; X += 2) {
      const uint8_t B = Row[X >> 1];
      Out[X] = static_cast<uint8_t>(B >> 4);
      Out[X + 1] = static_cast<uint8_t>(B & 0x0F);
    }
  } else {
    for (; X + 8 <= Width; X += 8) {
      const uint8_t B = Row[X >> 3];
      for (int K = 0; K < 8; ++K) Out[X + K] = static_cast<uint8_t>((B >> (7 - K)) & 1);
    }
  }
  for (; X < Width; ++X) Out[X] = GetPixelIndex(Row, X, BitCount);
}

inline void UnpackIndexRow(const uint8_t* Row, int64_t Width, int BitCount, uint8_t* Out) {
  switch (BitCount) {
    case 1: UnpackIndexRow<1>(Row, Width, Out); break;
    case 4: UnpackIndexRow<4>(Row, Width, Out); break;
    default: UnpackIndexRow<8>(Row, Width, Out); break;
  }
}

// ---------------------------------------------------------------------------------------
// Colours

inline TKvRGB ColorOf(const RGBQUAD& Q) { return TKvRGB{Q.rgbRed, Q.rgbGreen, Q.rgbBlue}; }

inline RGBQUAD QuadOf(TKvRGB C) { return RGBQUAD{C.Blue, C.Green, C.Red, 0}; }

// The colour of pixel X of a row with BitCount 1, 4, 8 (through the colour table) or 24.
inline TKvRGB GetPixelColor(const TKvDIBInfo& Info, const uint8_t* Row, int64_t X, int BitCount) {
  if (BitCount == 24) return GetPixel24(Row, X);
  return ColorOf(Info.Colors[GetPixelIndex(Row, X, BitCount)]);
}

}  // namespace kv
