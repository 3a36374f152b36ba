// Key-colour masks: worked rows, palette matches, near misses, descriptor fields, and
// refusals.
#include <gtest/gtest.h>

#include "image/convert/KvHalftonePalette.h"
#include "image/convert/KvTo1Bit.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

constexpr COLORREF kKey = MakeRGB(0x12, 0x34, 0x56);

void put24(TOwnedDIB& D, int32_t X, int32_t R, uint8_t Red, uint8_t Green, uint8_t Blue) {
  SetPixel24(D.Row(R), X, TKvRGB{Red, Green, Blue});
}

void expect_mono_descriptor(const TOwnedDIB& Dst, const TOwnedDIB& Src) {
  const BITMAPINFOHEADER& H = Dst.Info().Header;
  EXPECT_EQ(H.biBitCount, 1);
  EXPECT_EQ(H.biCompression, kBiRGB);
  EXPECT_EQ(H.biSizeImage, 0u);
  EXPECT_EQ(H.biClrUsed, 2u);
  EXPECT_EQ(H.biWidth, Src.Info().Header.biWidth);
  EXPECT_EQ(H.biHeight, Src.Info().Header.biHeight);
  EXPECT_EQ(0, std::memcmp(&Dst.Info().Colors[0], &MonoPalette[0], sizeof(RGBQUAD)));
  EXPECT_EQ(0, std::memcmp(&Dst.Info().Colors[1], &MonoPalette[1], sizeof(RGBQUAD)));
  // Entries 2..255 keep the source's values.
  EXPECT_EQ(0, std::memcmp(&Dst.Info().Colors[2], &Src.Info().Colors[2], 254 * sizeof(RGBQUAD)));
  int32_t Size = 0;
  ASSERT_TRUE(DIBBlockSize(Src.Width(), Src.Info().Header.biHeight, 1, Size));
  EXPECT_EQ(Dst.Info().BitsSize, Size);
}

TEST(ConvertTo1Bit, TrueColorNinePixelRow) {
  TOwnedDIB Src(9, 1, 24);
  Src.Info().Colors[7] = RGBQUAD{7, 7, 7, 7};
  for (int32_t X = 0; X < 9; ++X) put24(Src, X, 0, 0x12, 0x34, 0x55);
  put24(Src, 0, 0, 0x12, 0x34, 0x56);
  put24(Src, 8, 0, 0x12, 0x34, 0x56);
  TOwnedDIB Dst;
  ConvertTrueColorTo1BitRGB(Src.Info(), Dst.Info(), kKey);
  EXPECT_EQ(Dst.Bytes(), (std::vector<uint8_t>{0x80, 0x80, 0x00, 0x00}));
  expect_mono_descriptor(Dst, Src);
}

TEST(ConvertTo1Bit, OneComponentOffIsNoMatch) {
  struct TCase {
    uint8_t R, G, B;
    uint8_t Expected;
  };
  const TCase Cases[] = {{0xFF, 0xFF, 0xFF, 0x80},
                         {0xFF, 0xFF, 0xFE, 0},
                         {0xFE, 0xFF, 0xFF, 0},
                         {0xFF, 0xFE, 0xFF, 0},
                         {0x00, 0x00, 0x00, 0}};
  for (const TCase& C : Cases) {
    TOwnedDIB Src(1, 1, 24);
    put24(Src, 0, 0, C.R, C.G, C.B);
    TOwnedDIB Dst;
    ConvertTrueColorTo1BitRGB(Src.Info(), Dst.Info(), MakeRGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(Dst.Row(0)[0], C.Expected) << int(C.R) << "," << int(C.G) << "," << int(C.B);
  }
}

TEST(ConvertTo1Bit, TrueColorIgnoresCompressionField) {
  TOwnedDIB Src(2, 1, 24);
  Src.Info().Header.biCompression = kBiRLE8;
  put24(Src, 1, 0, 0x12, 0x34, 0x56);
  TOwnedDIB Dst;
  ConvertTrueColorTo1BitRGB(Src.Info(), Dst.Info(), kKey);
  EXPECT_EQ(Dst.Row(0)[0], 0x40);
}

TEST(ConvertTo1Bit, EightBitEveryIndexWithTheKeyColour) {
  std::mt19937 Rng(3);
  TOwnedDIB Src = RandomIndexed(Rng, 37, -6, 8, 256);
  // Only indices 3 and 200 hold the key colour; the reserved byte is ignored.
  for (int I = 0; I < 256; ++I)
    if (ColorOf(Src.Info().Colors[I]) == TKvRGB{0x12, 0x34, 0x56}) Src.SetColor(I, 0, 0, 0);
  Src.Info().Colors[3] = RGBQUAD{0x56, 0x34, 0x12, 0x00};
  Src.Info().Colors[200] = RGBQUAD{0x56, 0x34, 0x12, 0xEE};
  Src.Info().Colors[201] = RGBQUAD{0x56, 0x34, 0x13, 0x00};
  for (int32_t R = 0; R < 6; ++R) {
    Src.Row(R)[R] = 3;
    Src.Row(R)[R + 10] = 200;
    Src.Row(R)[R + 20] = 201;
  }
  TOwnedDIB Dst;
  Convert8BitTo1BitRGB(Src.Info(), Dst.Info(), kKey);
  expect_mono_descriptor(Dst, Src);
  for (int32_t R = 0; R < 6; ++R) {
    for (int32_t X = 0; X < 37; ++X) {
      const uint8_t I = Src.Row(R)[X];
      EXPECT_EQ(Dst.Index(X, R), (I == 3 || I == 200) ? 1 : 0) << X << "," << R;
    }
    // Bits after the last pixel stay 0.
    EXPECT_EQ(Dst.Row(R)[4] & 0x07, 0);
  }
}

TEST(ConvertTo1Bit, FourBitWhiteKeyKeepsWhiteAreasWhite) {
  std::mt19937 Rng(5);
  TOwnedDIB Src = RandomIndexed(Rng, 11, 3, 4, 16);
  Src.SetColor(9, 255, 255, 255);
  Src.SetColor(2, 255, 255, 254);
  for (int I = 0; I < 16; ++I)
    if (I != 9 && ColorOf(Src.Info().Colors[I]) == TKvRGB{255, 255, 255}) Src.SetColor(I, 1, 1, 1);
  TOwnedDIB Dst;
  Convert4BitRGBTo1BitRGB(Src.Info(), Dst.Info(), MakeRGB(255, 255, 255));
  expect_mono_descriptor(Dst, Src);
  for (int32_t R = 0; R < 3; ++R)
    for (int32_t X = 0; X < 11; ++X) {
      const uint8_t Bit = Dst.Index(X, R);
      EXPECT_EQ(Bit, Src.Index(X, R) == 9 ? 1 : 0);
      // Through the new table: white stays white, everything else is black.
      EXPECT_EQ(ColorOf(Dst.Info().Colors[Bit]) == (TKvRGB{255, 255, 255}), Src.Index(X, R) == 9);
    }
}

TEST(ConvertTo1Bit, RandomWidthsAgainstPixelColours) {
  std::mt19937 Rng(99);
  for (uint16_t Bits : {4, 8, 24}) {
    for (int32_t Width = 1; Width <= 40; ++Width) {
      SCOPED_TRACE(std::to_string(Bits) + " bits, width " + std::to_string(Width));
      TOwnedDIB Src = Bits == 24 ? TOwnedDIB(Width, 3, 24) : RandomIndexed(Rng, Width, 3, Bits, 1 << Bits);
      // Few distinct colours so that matches are common.
      for (int I = 0; I < 256; ++I) Src.SetColor(I, Rng() % 2 ? 0x12 : 0, 0x34, 0x56);
      if (Bits == 24)
        for (int32_t R = 0; R < 3; ++R)
          for (int32_t X = 0; X < Width; ++X) put24(Src, X, R, Rng() % 2 ? 0x12 : 0x13, 0x34, 0x56);
      TOwnedDIB Dst;
      if (Bits == 24) ConvertTrueColorTo1BitRGB(Src.Info(), Dst.Info(), kKey);
      if (Bits == 8) Convert8BitTo1BitRGB(Src.Info(), Dst.Info(), kKey);
      if (Bits == 4) Convert4BitRGBTo1BitRGB(Src.Info(), Dst.Info(), kKey);
      bool Same = true;
      for (int32_t R = 0; R < 3; ++R) {
        for (int32_t X = 0; X < Width; ++X) {
          const bool Hit = GetPixelColor(Src.Info(), Src.Row(R), X, Bits) == TKvRGB{0x12, 0x34, 0x56};
          Same &= Dst.Index(X, R) == (Hit ? 1 : 0);
        }
        for (int32_t X = Width; X < Dst.Stride() * 8; ++X) Same &= GetPixel1(Dst.Row(R), X) == 0;
      }
      EXPECT_TRUE(Same);
    }
  }
}

TEST(ConvertTo1Bit, Refusals) {
  TOwnedDIB Dst;
  TOwnedDIB Eight(4, 1, 8, 256);
  TOwnedDIB Four(4, 1, 4, 16);
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { ConvertTrueColorTo1BitRGB(Eight.Info(), Dst.Info(), kKey); },
                                       "ConvertTrueColorTo1BitRGB: Invalid Bitcount");
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert8BitTo1BitRGB(Four.Info(), Dst.Info(), kKey); },
                                       "Convert8BitTo1BitRGB: Invalid Bitcount or Compression");
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert4BitRGBTo1BitRGB(Eight.Info(), Dst.Info(), kKey); },
                                       "Convert4BitRGBTo1BitRGB: Invalid Bitcount");
  Eight.Info().Header.biCompression = kBiRLE8;
  Four.Info().Header.biCompression = kBiRLE4;
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert8BitTo1BitRGB(Eight.Info(), Dst.Info(), kKey); },
                                       "Convert8BitTo1BitRGB: Invalid Bitcount or Compression");
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert4BitRGBTo1BitRGB(Four.Info(), Dst.Info(), kKey); },
                                       "Convert4BitRGBTo1BitRGB: Invalid Bitcount");
  EXPECT_EQ(Dst.Info().Bits, nullptr);
}

}  // namespace
}  // namespace kv::test
