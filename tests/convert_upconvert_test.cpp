// Widening conversions: worked rows, descriptor fields, orientation, refusals, and random
// images of many widths checked pixel by pixel.
#include <gtest/gtest.h>

#include "image/convert/KvUpConvert.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

using TRoutine = void (*)(const TKvDIBInfo&, TKvDIBInfo&);

struct TWidening {
  const char* Name;
  TRoutine Fn;
  uint16_t SrcBits;
  uint16_t DstBits;
};

const TWidening kWidenings[] = {
    {"Convert1BitRGBTo4BitRGB", Convert1BitRGBTo4BitRGB, 1, 4},
    {"Convert1BitRGBTo8BitRGB", Convert1BitRGBTo8BitRGB, 1, 8},
    {"Convert4BitRGBTo8BitRGB", Convert4BitRGBTo8BitRGB, 4, 8},
    {"Convert1BitRGBToTrueColor", Convert1BitRGBToTrueColor, 1, 24},
    {"Convert4BitRGBToTrueColor", Convert4BitRGBToTrueColor, 4, 24},
    {"Convert8BitRGBToTrueColor", Convert8BitRGBToTrueColor, 8, 24},
};

TEST(ConvertUp, WorkedRows) {
  TOwnedDIB One(3, 1, 1, 2);
  One.Row(0)[0] = 0xA0;  // bits 1 0 1
  TOwnedDIB To4, To8;
  Convert1BitRGBTo4BitRGB(One.Info(), To4.Info());
  Convert1BitRGBTo8BitRGB(One.Info(), To8.Info());
  EXPECT_EQ(To4.Bytes(), (std::vector<uint8_t>{0x10, 0x10, 0x00, 0x00}));
  EXPECT_EQ(To8.Bytes(), (std::vector<uint8_t>{0x01, 0x00, 0x01, 0x00}));

  TOwnedDIB Four(3, 1, 4, 16);
  Four.Row(0)[0] = 0x3A;
  Four.Row(0)[1] = 0x70;
  TOwnedDIB Eight;
  Convert4BitRGBTo8BitRGB(Four.Info(), Eight.Info());
  EXPECT_EQ(Eight.Bytes(), (std::vector<uint8_t>{0x03, 0x0A, 0x07, 0x00}));

  TOwnedDIB Pal(1, 1, 8, 256);
  Pal.Row(0)[0] = 5;
  Pal.Info().Colors[5] = RGBQUAD{0x10, 0x20, 0x30, 0x99};
  TOwnedDIB True;
  Convert8BitRGBToTrueColor(Pal.Info(), True.Info());
  EXPECT_EQ(True.Bytes(), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x00}));
}

TEST(ConvertUp, OneBitRowIgnoresSpareBitsAndPadsLowNibble) {
  // The spare bits after pixel 2 are set in the source; they must not leak.
  TOwnedDIB One(3, 2, 1, 2);
  One.Row(0)[0] = 0xFF;
  One.Row(1)[0] = 0x5F;  // 0 1 0, then spare ones
  TOwnedDIB To4, To8;
  Convert1BitRGBTo4BitRGB(One.Info(), To4.Info());
  Convert1BitRGBTo8BitRGB(One.Info(), To8.Info());
  EXPECT_EQ(To4.Bytes(), (std::vector<uint8_t>{0x11, 0x10, 0, 0, 0x01, 0x00, 0, 0}));
  EXPECT_EQ(To8.Bytes(), (std::vector<uint8_t>{1, 1, 1, 0, 0, 1, 0, 0}));
}

TEST(ConvertUp, DescriptorCarriesOverAndOrientationStays) {
  for (const TWidening& W : kWidenings) {
    SCOPED_TRACE(W.Name);
    std::mt19937 Rng(7);
    TOwnedDIB Src = RandomIndexed(Rng, 13, -5, W.SrcBits, 1 << W.SrcBits);
    Src.Info().Header.biClrUsed = static_cast<uint32_t>(W.SrcBits == 8 ? 256 : 1 << W.SrcBits);
    Src.Info().Header.biXPelsPerMeter = 2835;
    Src.Info().Header.biYPelsPerMeter = 1234;
    Src.Info().Header.biSizeImage = 999;
    Src.Info().Colors[255] = RGBQUAD{1, 2, 3, 4};
    const std::vector<uint8_t> Before = Src.Bytes();
    TOwnedDIB Dst;
    W.Fn(Src.Info(), Dst.Info());
    const BITMAPINFOHEADER& H = Dst.Info().Header;
    EXPECT_EQ(H.biWidth, 13);
    EXPECT_EQ(H.biHeight, -5);
    EXPECT_EQ(H.biBitCount, W.DstBits);
    EXPECT_EQ(H.biCompression, kBiRGB);
    EXPECT_EQ(H.biSizeImage, 0u);
    EXPECT_EQ(H.biClrUsed, Src.Info().Header.biClrUsed);
    EXPECT_EQ(H.biXPelsPerMeter, 2835);
    EXPECT_EQ(H.biYPelsPerMeter, 1234);
    EXPECT_EQ(0, std::memcmp(Dst.Info().Colors, Src.Info().Colors, sizeof(Src.Info().Colors)));
    int32_t Size = 0;
    ASSERT_TRUE(DIBBlockSize(13, 5, W.DstBits, Size));
    EXPECT_EQ(Dst.Info().BitsSize, Size);
    EXPECT_NE(Dst.Info().Bits, Src.Info().Bits);
    EXPECT_EQ(Src.Bytes(), Before);  // the source is untouched
  }
}

TEST(ConvertUp, RandomWidthsPixelByPixelWithZeroPadding) {
  std::mt19937 Rng(12345);
  for (const TWidening& W : kWidenings) {
    for (int32_t Width = 1; Width <= 70; ++Width) {
      SCOPED_TRACE(std::string(W.Name) + " width " + std::to_string(Width));
      const int32_t Height = 1 + Width % 4;
      TOwnedDIB Src = RandomIndexed(Rng, Width, Height, W.SrcBits, 1 << W.SrcBits);
      // Garbage in the source padding must not reach the destination.
      for (int32_t R = 0; R < Height; ++R)
        for (int32_t B = (Width * W.SrcBits + 7) / 8; B < Src.Stride(); ++B) Src.Row(R)[B] = 0xFF;
      if (W.SrcBits == 4 && Width % 2) {
        for (int32_t R = 0; R < Height; ++R) Src.Row(R)[Width / 2] |= 0x0F;
      }
      if (W.SrcBits == 1 && Width % 8) {
        for (int32_t R = 0; R < Height; ++R)
          Src.Row(R)[Width / 8] |= static_cast<uint8_t>(0xFF >> (Width % 8));
      }
      TOwnedDIB Dst;
      W.Fn(Src.Info(), Dst.Info());
      bool Same = true;
      for (int32_t R = 0; R < Height; ++R) {
        for (int32_t X = 0; X < Width; ++X) {
          const uint8_t I = Src.Index(X, R);
          Same &= W.DstBits == 24 ? GetPixel24(Dst.Row(R), X) == ColorOf(Src.Info().Colors[I])
                                  : Dst.Index(X, R) == I;
        }
        const int32_t Used = (Width * W.DstBits + 7) / 8;
        for (int32_t B = Used; B < Dst.Stride(); ++B) Same &= Dst.Row(R)[B] == 0;
        if (W.DstBits == 4 && Width % 2) Same &= (Dst.Row(R)[Width / 2] & 0x0F) == 0;
      }
      EXPECT_TRUE(Same);
    }
  }
}

TEST(ConvertUp, RefusesOtherFormatsWithTheirMessage) {
  for (const TWidening& W : kWidenings) {
    SCOPED_TRACE(W.Name);
    const std::string Message = std::string(W.Name) + ": Invalid Bitcount & Compression Combination";
    TOwnedDIB Compressed(4, 4, W.SrcBits, 2);
    Compressed.Info().Header.biCompression = W.SrcBits == 4 ? kBiRLE4 : kBiRLE8;
    TOwnedDIB Dst;
    ExpectThrowMessage<EKvDIBBadDIBType>([&] { W.Fn(Compressed.Info(), Dst.Info()); }, Message);
    EXPECT_EQ(Dst.Info().Bits, nullptr);
    const uint16_t Other = W.SrcBits == 8 ? 4 : 8;
    TOwnedDIB Wrong(4, 4, Other, 2);
    ExpectThrowMessage<EKvDIBBadDIBType>([&] { W.Fn(Wrong.Info(), Dst.Info()); }, Message);
    TOwnedDIB Sixteen(4, 4, 16, 0);
    ExpectThrowMessage<EKvDIBBadDIBType>([&] { W.Fn(Sixteen.Info(), Dst.Info()); }, Message);
    EXPECT_EQ(Dst.Info().Bits, nullptr);
  }
}

TEST(ConvertUp, SourceBlockShorterThanItsRowsIsAnAssertion) {
  TOwnedDIB Src(16, 4, 8, 256);
  Src.Info().BitsSize -= 1;
  TOwnedDIB Dst;
  ExpectThrowMessage<EKvDIBAssert>([&] { Convert8BitRGBToTrueColor(Src.Info(), Dst.Info()); },
                                   "Convert8BitRGBToTrueColor: Pixel Block Too Small");
  Src.Info().BitsSize += 1;
  EXPECT_EQ(Dst.Info().Bits, nullptr);
}

}  // namespace
}  // namespace kv::test
