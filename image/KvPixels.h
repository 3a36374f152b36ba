// Pixel access inside one uncompressed DIB row: reading a 1-, 4-, 8- or 24-bit pixel,
// writing a bit or a nibble, and the colour a paletted pixel stands for.
//
// Layout (the platform DIB layout): 1 bit = eight pixels per byte, the left pixel in the
// most significant bit; 4 bits = two pixels per byte, the left pixel in the high nibble;
// 24 bits = blue, green, red per pixel. Callers pass a row start and a column that they
// have already checked against the row; nothing here checks bounds.
#pragma once

#include <cstdint>

#include "image/KvDIBInfo.h"

namespace kv {

// A colour as three channel bytes, in the order people read them.
struct TKvRGB {
  uint8_t Red;
  uint8_t Green;
  uint8_t Blue;
  friend bool operator==(const TKvRGB&, const TKvRGB&) = default;
};

inline uint8_t GetPixel1(const uint8_t* Row, int32_t X) {
  return static_cast<uint8_t>((Row[X >> 3] >> (7 - (X & 7))) & 1);
}

inline uint8_t GetPixel4(const uint8_t* Row, int32_t X) {
  const uint8_t B = Row[X >> 1];
  return (X & 1) ? static_cast<uint8_t>(B & 0x0F) : static_cast<uint8_t>(B >> 4);
}

inline uint8_t GetPixel8(const uint8_t* Row, int32_t X) { return Row[X]; }

inline TKvRGB GetPixel24(const uint8_t* Row, int32_t X) {
  const uint8_t* P = Row + 3 * static_cast<intptr_t>(X);
  return TKvRGB{P[2], P[1], P[0]};
}

// The colour index of pixel X of a paletted row (BitCount 1, 4 or 8).
inline uint8_t GetPixelIndex(const uint8_t* Row, int32_t X, int BitCount) {
  switch (BitCount) {
    case 1: return GetPixel1(Row, X);
    case 4: return GetPixel4(Row, X);
    default: return GetPixel8(Row, X);
  }
}

// Sets or clears the bit of pixel X; the other pixels of the byte keep their values.
inline void SetPixel1(uint8_t* Row, int32_t X, bool On) {
  const uint8_t Mask = static_cast<uint8_t>(0x80u >> (X & 7));
  if (On)
    Row[X >> 3] |= Mask;
  else
    Row[X >> 3] &= static_cast<uint8_t>(~Mask);
}

// Replaces the nibble of pixel X (Index 0..15); the other nibble keeps its value.
inline void SetPixel4(uint8_t* Row, int32_t X, uint8_t Index) {
  uint8_t& B = Row[X >> 1];
  if (X & 1)
    B = static_cast<uint8_t>((B & 0xF0) | (Index & 0x0F));
  else
    B = static_cast<uint8_t>((B & 0x0F) | (Index << 4));
}

inline void SetPixel24(uint8_t* Row, int32_t X, TKvRGB C) {
  uint8_t* P = Row + 3 * static_cast<intptr_t>(X);
  P[0] = C.Blue;
  P[1] = C.Green;
  P[2] = C.Red;
}

inline TKvRGB ColorOf(const RGBQUAD& Q) { return TKvRGB{Q.rgbRed, Q.rgbGreen, Q.rgbBlue}; }

inline RGBQUAD QuadOf(TKvRGB C) { return RGBQUAD{C.Blue, C.Green, C.Red, 0}; }

// The colour of pixel X of a row with BitCount 1, 4, 8 (through the colour table) or 24.
inline TKvRGB GetPixelColor(const TKvDIBInfo& Info, const uint8_t* Row, int32_t X, int BitCount) {
  if (BitCount == 24) return GetPixel24(Row, X);
  return ColorOf(Info.Colors[GetPixelIndex(Row, X, BitCount)]);
}

}  // namespace kv
