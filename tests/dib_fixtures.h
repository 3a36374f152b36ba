// Test helpers for TKvDIB at the interchange level: images of every storage format with
// random pixels and colour tables, their colours read plainly (pixels through the raw
// accessors of gdi_fixtures.h, not the library's), and image comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/KvDIB.h"
#include "tests/gdi_fixtures.h"

namespace kv::test {

inline const char* FormatName(TKvPixelFormat F) {
  static const char* const kNames[] = {"1bit", "4bit", "4bit-rle", "8bit", "8bit-rle", "24bit"};
  return F <= kvPf24Bit ? kNames[F] : "?";
}

inline constexpr TKvPixelFormat kStorageFormats[] = {kvPf1Bit, kvPf4Bit,    kvPf4BitRLE,
                                                     kvPf8Bit, kvPf8BitRLE, kvPf24Bit};

// Makes D an image of Format, Width x |Height| (a negative Height: top-down rows, for the
// uncompressed formats), random pixels with runs, and for the palette formats Colors
// random entries (0: the full table of the depth). An RLE image has two runs per row, so
// that its stream is shorter than its rows, as the encoder requires.
inline void FillRandom(TKvDIB& D, std::mt19937& Rng, int32_t Width, int32_t Height, TKvPixelFormat Format,
                       int Colors = 0) {
  const bool Rle = Format == kvPf4BitRLE || Format == kvPf8BitRLE;
  const int32_t Bits = Format == kvPf1Bit ? 1 : Format == kvPf24Bit ? 24 : (Format <= kvPf4BitRLE ? 4 : 8);
  D.SetBitCount(Bits);
  D.SetWidth(Width);
  D.SetHeight(Rle && Height < 0 ? -Height : Height);
  std::uniform_int_distribution<uint32_t> Any;
  if (Bits <= 8) {
    const int N = Colors > 0 ? Colors : 1 << Bits;
    std::vector<RGBQUAD> Table;
    for (int I = 0; I < N; ++I) {
      const uint32_t C = Any(Rng);
      Table.push_back(
          RGBQUAD{static_cast<uint8_t>(C), static_cast<uint8_t>(C >> 8), static_cast<uint8_t>(C >> 16), 0});
    }
    D.SetColorTable(Table.data(), N);
  }
  for (int32_t Y = 0; Y < D.GetHeight(); ++Y) {
    uint8_t* Row = D.GetScanLine(Y);
    uint32_t Value = 0;
    // Even, so that an RLE4 run never shares a byte with the next one.
    const int32_t Split = 2 + 2 * static_cast<int32_t>(Any(Rng) % static_cast<uint32_t>(Width / 2 + 1));
    for (int32_t X = 0; X < Width; ++X) {
      if (X == 0 || (Rle ? X == Split : Any(Rng) % 3 == 0)) Value = Any(Rng);
      if (Bits == 24) {
        Row[3 * X] = static_cast<uint8_t>(Value), Row[3 * X + 1] = static_cast<uint8_t>(Value >> 8),
                Row[3 * X + 2] = static_cast<uint8_t>(Value >> 16);
      } else {
        PutRaw(Row, X, Bits, Value % (1u << Bits));
      }
    }
  }
  if (Rle) D.SetPixelFormat(Format);
}

// The colour (COLORREF) of picture pixel (X, Y) (Y from the top) of an uncompressed image.
inline COLORREF PictureColor(const TKvDIB& D, int32_t X, int32_t Y) {
  const uint8_t* Row = D.ReadScanLine(Y);
  if (D.GetBitCount() == 24) return MakeRGB(Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]);
  const uint32_t I = RawPixel(Row, X, D.GetBitCount());
  const RGBQUAD& Q = D.DIBInfo().Colors[I];
  return MakeRGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
}

// Plain becomes a private uncompressed copy of D (RLE data decoded).
inline void Decoded(const TKvDIB& D, TKvDIB& Plain) {
  Plain.Assign(&D);
  if (D.GetPixelFormat() == kvPf4BitRLE) Plain.SetPixelFormat(kvPf4Bit);
  if (D.GetPixelFormat() == kvPf8BitRLE) Plain.SetPixelFormat(kvPf8Bit);
  Plain.UniqueDIB();
}

inline std::vector<uint8_t> PixelBytes(const TKvDIB& D) {
  const TKvDIBInfo& I = D.DIBInfo();
  return std::vector<uint8_t>(I.Bits, I.Bits + I.BitsSize);
}

// Same header, the same first biClrUsed colour entries and the same pixel bytes (the first
// BitsSize of A's, when B may hold slack behind them).
inline void ExpectSameImage(const TKvDIB& A, const TKvDIB& B, bool SlackAllowed = false) {
  const TKvDIBInfo& I = A.DIBInfo();
  const TKvDIBInfo& J = B.DIBInfo();
  EXPECT_EQ(std::memcmp(&I.Header, &J.Header, sizeof(BITMAPINFOHEADER)), 0);
  EXPECT_EQ(std::memcmp(I.Colors, J.Colors, 4 * size_t{I.Header.biClrUsed}), 0);
  if (SlackAllowed)
    ASSERT_GE(J.BitsSize, I.BitsSize);
  else
    ASSERT_EQ(J.BitsSize, I.BitsSize);
  EXPECT_EQ(std::memcmp(I.Bits, J.Bits, static_cast<size_t>(I.BitsSize)), 0);
}

}  // namespace kv::test
