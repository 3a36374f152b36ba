// RLE8 and RLE4 encoders: worked rows, the 255 / 127 limits, clipped RLE4 counts of odd
// widths, the space reserves ("Compression Failed"), descriptor fields and row order.
#include <gtest/gtest.h>

#include "image/convert/KvRLE.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

using TBytes = std::vector<uint8_t>;

TBytes concat(std::initializer_list<TBytes> Parts) {
  TBytes Out;
  for (const TBytes& P : Parts) Out.insert(Out.end(), P.begin(), P.end());
  return Out;
}

// An image of Height rows that all hold Row (pixel bytes for 8 bits, pixel-pair bytes for 4).
TOwnedDIB image_of_rows(int32_t Width, int32_t Height, uint16_t Bits, const TBytes& Row) {
  TOwnedDIB D(Width, Height, Bits, Bits == 8 ? 256 : 16);
  for (int32_t R = 0; R < Height; ++R) std::memcpy(D.Row(R), Row.data(), Row.size());
  return D;
}

// The stream of a row of Width zero pixels: full runs of 255 pixels (RLE8) or of 127
// bytes = 254 pixels (RLE4), then the rest, then end of line.
TBytes zero_row_encoding(int32_t Width, uint16_t Bits) {
  const int32_t Full = Bits == 8 ? 255 : 254;
  TBytes Out;
  int32_t Left = Width;
  for (; Left >= Full; Left -= Full) Out.insert(Out.end(), {static_cast<uint8_t>(Full), 0});
  if (Left > 0) Out.insert(Out.end(), {static_cast<uint8_t>(Left), 0});
  Out.insert(Out.end(), {0, 0});
  return Out;
}

// The tested row at the bottom, then enough rows of zeros that the space reserves never
// bite; the expected stream is the row's encoding followed by the zero rows'.
TOwnedDIB image_with_filler(int32_t Width, uint16_t Bits, const TBytes& Row, int32_t Fillers) {
  TOwnedDIB D(Width, 1 + Fillers, Bits, Bits == 8 ? 256 : 16);
  std::memcpy(D.Row(0), Row.data(), Row.size());
  return D;
}

TBytes encode(const TOwnedDIB& Src) {
  TOwnedDIB Dst;
  if (Src.Info().Header.biBitCount == 8)
    Convert8BitRGBTo8BitRLE(Src.Info(), Dst.Info());
  else
    Convert4BitRGBTo4BitRLE(Src.Info(), Dst.Info());
  return Dst.Bytes();
}

struct TRowCase {
  const char* Name;
  int32_t Width;
  TBytes Row;      // the row's bytes
  TBytes Encoded;  // its encoding, end of line included
};

TBytes repeat(uint8_t V, int N) { return TBytes(static_cast<size_t>(N), V); }

// Items 0, 1, 2, ... (no two neighbours equal), starting at First.
TBytes ramp(int N, int First = 0) {
  TBytes Out;
  for (int I = 0; I < N; ++I) Out.push_back(static_cast<uint8_t>(First + I));
  return Out;
}

TBytes alternate(uint8_t A, uint8_t B, int N) {
  TBytes Out;
  for (int I = 0; I < N; ++I) Out.push_back(I % 2 ? B : A);
  return Out;
}

// Each row at the bottom of an image with four zero rows above it, encoded.
template <size_t N>
void expect_rows(uint16_t Bits, const TRowCase (&Cases)[N]) {
  for (const TRowCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    ASSERT_EQ(C.Row.size(), static_cast<size_t>(Bits == 8 ? C.Width : (C.Width + 1) / 2));
    const TBytes Stream = encode(image_with_filler(C.Width, Bits, C.Row, 4));
    const TBytes Zero = zero_row_encoding(C.Width, Bits);
    EXPECT_EQ(Stream, concat({C.Encoded, Zero, Zero, Zero, Zero, {0, 1}}));
  }
}

TEST(RleEncode, Rle8Rows) {
  const TRowCase Cases[] = {
      {"literal then run", 12, {1, 2, 3, 4, 9, 9, 9, 9, 9, 9, 9, 9}, {0, 4, 1, 2, 3, 4, 8, 9, 0, 0}},
      {"odd literal is padded", 12, {1, 2, 3, 9, 9, 9, 9, 9, 9, 9, 9, 9}, {0, 3, 1, 2, 3, 0, 9, 9, 0, 0}},
      {"two-pixel literal becomes runs", 12, concat({{1, 2}, repeat(9, 10)}), {1, 1, 1, 2, 10, 9, 0, 0}},
      {"equal pair ends literal", 12, concat({{1, 2, 3, 3}, repeat(5, 8)}), {1, 1, 1, 2, 2, 3, 8, 5, 0, 0}},
      {"run of 255 then literal from the 256th", 276, concat({repeat(5, 256), alternate(1, 2, 20)}),
       concat({{0xFF, 5, 0, 21, 5}, alternate(1, 2, 20), {0, 0, 0}})},
      {"run limit", 300, concat({repeat(7, 255), {8}, repeat(3, 44)}), {0xFF, 7, 1, 8, 44, 3, 0, 0}},
      {"two full runs", 512, concat({repeat(4, 510), {1, 2}}), {0xFF, 4, 0xFF, 4, 1, 1, 1, 2, 0, 0}},
      {"run remainder continues in state One", 300, concat({repeat(6, 256), ramp(44, 10)}),
       concat({{0xFF, 6, 0, 45, 6}, ramp(44, 10), {0, 0, 0}})},
      {"literal limit", 300, ramp(300),
       concat({{0, 255}, ramp(255), {0}, {0, 45}, ramp(45, 255), {0}, {0, 0}})},
      {"single trailing pixel", 13, concat({repeat(2, 12), {3}}), {12, 2, 1, 3, 0, 0}},
  };
  expect_rows(8, Cases);
}

TEST(RleEncode, Rle4Rows) {
  const TRowCase Cases[] = {
      {"odd width clips the literal",
       19,
       concat({repeat(0x77, 7), {0x12, 0x34, 0x50}}),
       {0x0E, 0x77, 0, 5, 0x12, 0x34, 0x50, 0, 0, 0}},
      {"odd width clips the last run", 19, concat({repeat(0x77, 9), {0x50}}), {0x12, 0x77, 1, 0x50, 0, 0}},
      {"two-byte literal stays absolute",
       20,
       concat({{0x12, 0x34}, repeat(0x77, 8)}),
       {0, 4, 0x12, 0x34, 0x10, 0x77, 0, 0}},
      {"one-byte literal becomes a run", 20, concat({{0x12}, repeat(0x34, 9)}), {2, 0x12, 0x12, 0x34, 0, 0}},
      {"equal pair ends a one-byte literal",
       20,
       concat({{0x12, 0x34}, repeat(0x34, 8)}),
       {2, 0x12, 0x12, 0x34, 0, 0}},
      {"run limit 127 bytes", 260, repeat(0x5A, 130), {0xFE, 0x5A, 6, 0x5A, 0, 0}},
      {"literal limit 127 bytes", 270, ramp(135, 1),
       concat({{0, 254}, ramp(127, 1), {0}, {0, 16}, ramp(8, 128), {0, 0}})},
      {"odd width, even literal clipped to 7",
       23,
       concat({repeat(0x77, 8), {0x12, 0x34, 0x56, 0x70}}),
       {0x10, 0x77, 0, 7, 0x12, 0x34, 0x56, 0x70, 0, 0}},
  };
  expect_rows(4, Cases);
}

TEST(RleEncode, Rle4CountsOfEveryRowAddUpToTheWidth) {
  std::mt19937 Rng(4);
  for (int32_t Width = 1; Width <= 64; ++Width) {
    TOwnedDIB Src(Width, 40, 4, 16);
    for (int32_t R = 0; R < 40; ++R)
      for (int32_t X = 0; X < Width; ++X)
        Src.SetIndex(X, R, static_cast<uint8_t>(Rng() % 3 == 0 ? Rng() % 16 : 5));
    TOwnedDIB Dst;
    try {
      Convert4BitRGBTo4BitRLE(Src.Info(), Dst.Info());
    } catch (const EKvDIBCompressionFailed&) {
      continue;
    }
    // Walk the stream: every row's pixel counts add up to exactly Width.
    const TBytes S = Dst.Bytes();
    size_t P = 0;
    int32_t Rows = 0;
    int64_t Pixels = 0;
    while (P + 1 < S.size()) {
      if (S[P] != 0) {
        Pixels += S[P];
        P += 2;
      } else if (S[P + 1] == 0) {
        EXPECT_EQ(Pixels, Width) << "row " << Rows;
        Pixels = 0;
        ++Rows;
        P += 2;
      } else if (S[P + 1] == 1) {
        P += 2;
        break;
      } else {
        ASSERT_GE(S[P + 1], 3);
        Pixels += S[P + 1];
        P += 2 + static_cast<size_t>(((4 * S[P + 1] + 15) / 16) * 2);
      }
    }
    EXPECT_EQ(Rows, 40);
    EXPECT_EQ(P, S.size());
  }
}

// The encoder of Src's depth gives up on it: its reserve would run out.
void expect_compression_failed(const TOwnedDIB& Src) {
  ExpectThrowMessage<EKvDIBCompressionFailed>([&] { encode(Src); },
                                              Src.Info().Header.biBitCount == 8
                                                  ? "Convert8BitRGBTo8BitRLE: Compression Failed"
                                                  : "Convert4BitRGBTo4BitRLE: Compression Failed");
}

TEST(RleEncode, WorkBufferReserves) {
  // Each row needs 4 bytes, the stride is only 4, and every run keeps 6 bytes free.
  expect_compression_failed(TOwnedDIB(1, 1, 8, 256));
  for (int32_t Height : {1, 2, 3, 10}) expect_compression_failed(image_of_rows(4, Height, 8, repeat(9, 4)));
  EXPECT_EQ(encode(image_of_rows(8, 3, 8, repeat(7, 8))), (TBytes{8, 7, 0, 0, 8, 7, 0, 0, 8, 7, 0, 0, 0, 1}));
  // A single 12-pixel row that fills its 12 bytes exactly, and one that needs more.
  EXPECT_EQ(encode(image_of_rows(12, 1, 8, {1, 2, 3, 4, 9, 9, 9, 9, 9, 9, 9, 9})),
            (TBytes{0, 4, 1, 2, 3, 4, 8, 9, 0, 0, 0, 1}));
  expect_compression_failed(image_of_rows(12, 1, 8, {1, 2, 3, 4, 5, 9, 9, 9, 9, 9, 9, 9}));
  expect_compression_failed(TOwnedDIB(1, 1, 4, 16));
  expect_compression_failed(image_of_rows(8, 5, 4, {0x12, 0x34, 0x56, 0x78}));
  std::mt19937 Rng(1);
  expect_compression_failed(RandomIndexed(Rng, 64, 64, 8, 256));
}

TEST(RleEncode, DestinationDescriptorAndRowOrder) {
  for (uint16_t Bits : {8, 4}) {
    SCOPED_TRACE(Bits);
    TOwnedDIB Src(16, -3, Bits, Bits == 8 ? 256 : 16);
    Src.Info().Colors[17] = RGBQUAD{1, 2, 3, 0};
    Src.Info().Header.biXPelsPerMeter = 77;
    // Stored rows 0, 1, 2 of a top-down image hold 1, 2, 3 in every pixel.
    for (int32_t R = 0; R < 3; ++R)
      for (int32_t X = 0; X < 16; ++X) Src.SetIndex(X, R, static_cast<uint8_t>(R + 1));
    TOwnedDIB Dst;
    if (Bits == 8)
      Convert8BitRGBTo8BitRLE(Src.Info(), Dst.Info());
    else
      Convert4BitRGBTo4BitRLE(Src.Info(), Dst.Info());
    const TBytes Expected = Bits == 8 ? TBytes{16, 3, 0, 0, 16, 2, 0, 0, 16, 1, 0, 0, 0, 1}
                                      : TBytes{16, 0x33, 0, 0, 16, 0x22, 0, 0, 16, 0x11, 0, 0, 0, 1};
    EXPECT_EQ(Dst.Bytes(), Expected);
    const BITMAPINFOHEADER& H = Dst.Info().Header;
    EXPECT_EQ(Dst.Info().BitsSize, static_cast<int32_t>(Expected.size()));
    EXPECT_EQ(H.biSizeImage, Expected.size());
    EXPECT_EQ(H.biHeight, 3);
    EXPECT_EQ(H.biWidth, 16);
    EXPECT_EQ(H.biBitCount, Bits);
    EXPECT_EQ(H.biCompression, Bits == 8 ? kBiRLE8 : kBiRLE4);
    EXPECT_EQ(H.biClrUsed, Src.Info().Header.biClrUsed);
    EXPECT_EQ(H.biXPelsPerMeter, 77);
    EXPECT_EQ(0, std::memcmp(Dst.Info().Colors, Src.Info().Colors, sizeof(Src.Info().Colors)));
  }
}

TEST(RleEncode, RefusesOtherFormats) {
  TOwnedDIB Dst;
  TOwnedDIB Four(8, 8, 4, 16);
  TOwnedDIB Eight(8, 8, 8, 256);
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert8BitRGBTo8BitRLE(Four.Info(), Dst.Info()); },
                                       "Convert8BitRGBTo8BitRLE: Invalid Bitcount & Compression Combination");
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert4BitRGBTo4BitRLE(Eight.Info(), Dst.Info()); },
                                       "Convert4BitRGBTo4BitRLE: Invalid Bitcount & Compression Combination");
  Eight.Info().Header.biCompression = kBiRLE8;
  Four.Info().Header.biCompression = kBiRLE4;
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert8BitRGBTo8BitRLE(Eight.Info(), Dst.Info()); },
                                       "Convert8BitRGBTo8BitRLE: Invalid Bitcount & Compression Combination");
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert4BitRGBTo4BitRLE(Four.Info(), Dst.Info()); },
                                       "Convert4BitRGBTo4BitRLE: Invalid Bitcount & Compression Combination");
  EXPECT_EQ(Dst.Info().Bits, nullptr);
}

}  // namespace
}  // namespace kv::test
