// RLE8 and RLE4 decoders: element by element, the bounds of runs, ends of line and deltas,
// streams that stop early, the descriptor, and the RLE images of the BMP suite.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "image/convert/KvRLE.h"
#include "tests/KvBmpSuite.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

using TBytes = std::vector<uint8_t>;

TOwnedDIB decode(int32_t Width, int32_t Height, uint16_t Bits, const TBytes& Stream) {
  TOwnedDIB Src = TOwnedDIB::Stream(Width, Height, Bits, Bits == 8 ? kBiRLE8 : kBiRLE4, Stream);
  TOwnedDIB Dst;
  if (Bits == 8)
    Convert8BitRLETo8BitRGB(Src.Info(), Dst.Info());
  else
    Convert4BitRLETo4BitRGB(Src.Info(), Dst.Info());
  return Dst;
}

// The decoded rows as one byte string (padding included).
TBytes decoded(int32_t Width, int32_t Height, uint16_t Bits, const TBytes& Stream) {
  return decode(Width, Height, Bits, Stream).Bytes();
}

std::string bad(uint16_t Bits, int N) {
  return std::string(Bits == 8 ? "Convert8BitRLETo8BitRGB" : "Convert4BitRLETo4BitRGB") + ": Bad RLE Data " +
         std::to_string(N);
}

void expect_bad(int32_t Width, int32_t Height, uint16_t Bits, const TBytes& Stream, int N) {
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { decode(Width, Height, Bits, Stream); }, bad(Bits, N));
}

// Message numbers per element kind: 8-bit, 4-bit.
struct TBadNumbers {
  int EndOfLine, Delta, Absolute, Run;
};
TBadNumbers numbers(uint16_t Bits) { return Bits == 8 ? TBadNumbers{1, 2, 3, 4} : TBadNumbers{5, 6, 7, 8}; }

// A stream of Bits-bit elements and the rows it decodes to (padding included).
struct TElementCase {
  const char* Name;
  int32_t Width, Height;
  TBytes Stream;
  TBytes Rows;
};

template <size_t N>
void expect_decodes(uint16_t Bits, const TElementCase (&Cases)[N]) {
  for (const TElementCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(decoded(C.Width, C.Height, Bits, C.Stream), C.Rows);
  }
}

TEST(RleDecode, Rle8Elements) {
  const TElementCase Cases[] = {
      {"end of bitmap only", 5, 2, {0, 1}, TBytes(16, 0)},
      {"empty stream", 3, 1, {}, TBytes(4, 0)},
      {"run to the row end", 4, 1, {4, 9, 0, 1}, {9, 9, 9, 9}},
      {"run, eol, short run", 3, 2, {3, 7, 0, 0, 1, 5, 0, 1}, {7, 7, 7, 0, 5, 0, 0, 0}},
      {"absolute, odd count padded",
       5,
       2,
       {0, 3, 1, 2, 3, 0xEE, 2, 4, 0, 0, 0, 1},
       {1, 2, 3, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"absolute, even count", 4, 1, {0, 4, 1, 2, 3, 4, 0, 1}, {1, 2, 3, 4}},
      {"delta right and up", 4, 3, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}, {1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0}},
      {"delta to the row end, then eol", 4, 2, {0, 2, 4, 0, 0, 0, 1, 3, 0, 1}, {0, 0, 0, 0, 3, 0, 0, 0}},
      {"eol after the last row is accepted", 2, 1, {2, 6, 0, 0, 0, 1}, {6, 6, 0, 0}},
      {"delta to y = H is accepted", 2, 1, {0, 2, 0, 1, 0, 1}, {0, 0, 0, 0}},
      {"no end of bitmap", 2, 2, {1, 4, 0, 0, 2, 5}, {4, 0, 0, 0, 5, 5, 0, 0}},
      {"stops inside a run element", 2, 1, {1, 4, 1}, {4, 0, 0, 0}},
      {"stops inside a delta", 2, 2, {1, 4, 0, 2, 1}, {4, 0, 0, 0, 0, 0, 0, 0}},
      {"stops inside absolute data", 6, 1, {0, 5, 1, 2, 3}, {1, 2, 3, 0, 0, 0, 0, 0}},
      {"stops at the absolute padding", 3, 1, {0, 3, 1, 2, 3}, {1, 2, 3, 0}},
      {"bytes after end of bitmap are ignored", 2, 1, {0, 1, 2, 9}, {0, 0, 0, 0}},
  };
  expect_decodes(8, Cases);
}

TEST(RleDecode, Rle4Elements) {
  const TElementCase Cases[] = {
      {"run 03 12 at column 0", 4, 1, {3, 0x12, 0, 1}, {0x12, 0x10, 0, 0}},
      {"run 03 12 after a delta to column 1", 4, 1, {0, 2, 1, 0, 3, 0x12, 0, 1}, {0x01, 0x21, 0, 0}},
      {"run ORs into the low nibble after a run of one", 4, 1, {1, 0x50, 3, 0x12, 0, 1}, {0x51, 0x21, 0, 0}},
      {"odd run clears its low nibble", 3, 1, {3, 0xAB, 0, 1}, {0xAB, 0xA0, 0, 0}},
      {"odd width: run into the pad nibble", 3, 1, {4, 0xAB, 0, 1}, {0xAB, 0xAB, 0, 0}},
      {"absolute of 5 with padding",
       6,
       2,
       {0, 5, 0x12, 0x34, 0x50, 0xEE, 1, 0x77, 0, 0, 1, 0x90, 0, 1},
       {0x12, 0x34, 0x57, 0, 0x90, 0, 0, 0}},
      {"absolute at an odd column", 6, 1, {1, 0xF0, 0, 3, 0x12, 0x30, 0, 1}, {0xF1, 0x23, 0, 0}},
      {"absolute of 4 needs no padding", 6, 1, {0, 4, 0x12, 0x34, 2, 0x99, 0, 1}, {0x12, 0x34, 0x99, 0}},
      {"stops inside absolute data", 8, 1, {0, 7, 0x12, 0x34}, {0x12, 0x34, 0, 0}},
      {"eol then rows", 2, 3, {0, 0, 2, 0x45, 0, 0, 1, 0x60}, {0, 0, 0, 0, 0x45, 0, 0, 0, 0x60, 0, 0, 0}},
  };
  expect_decodes(4, Cases);
}

TEST(RleDecode, BoundsOfEveryElement) {
  for (uint16_t Bits : {8, 4}) {
    SCOPED_TRACE(Bits);
    const TBadNumbers N = numbers(Bits);
    // For 4 bits an even width keeps the bound at the width itself.
    const int32_t W = 6;
    // Encoded runs: exactly to the row end is fine, one more is not.
    EXPECT_NO_THROW(decode(W, 2, Bits, {6, 1, 0, 1}));
    expect_bad(W, 2, Bits, {7, 1, 0, 1}, N.Run);
    expect_bad(W, 2, Bits, {3, 1, 4, 1}, N.Run);  // no wrap into the next row
    // Absolute runs likewise (3 pixels take 4 bytes in RLE8, 2 in RLE4).
    const TBytes Three = Bits == 8 ? TBytes{0, 3, 1, 1, 1, 0} : TBytes{0, 3, 0x11, 0x10};
    TBytes TwoThrees = Three;
    TwoThrees.insert(TwoThrees.end(), Three.begin(), Three.end());
    TBytes Fits = TwoThrees;
    Fits.insert(Fits.end(), {0, 1});
    EXPECT_NO_THROW(decode(W, 2, Bits, Fits));
    TBytes TooLong = Three;
    TooLong.insert(TooLong.end(), {0, 4, 1, 1, 1, 1});
    expect_bad(W, 2, Bits, TooLong, N.Absolute);
    // Ends of line: after the last row once, not twice.
    EXPECT_NO_THROW(decode(W, 2, Bits, {0, 0, 0, 0, 0, 1}));
    expect_bad(W, 2, Bits, {0, 0, 0, 0, 0, 0}, N.EndOfLine);
    // Pixel data with no row left.
    expect_bad(W, 2, Bits, {0, 0, 0, 0, 1, 1}, N.Run);
    expect_bad(W, 2, Bits, {0, 0, 0, 0, 0, 3, 1, 1, 1, 0}, N.Absolute);
    // Deltas: to the row end and to y = H are fine; beyond either is not.
    EXPECT_NO_THROW(decode(W, 2, Bits, {0, 2, 6, 2, 0, 1}));
    expect_bad(W, 2, Bits, {0, 2, 7, 0}, N.Delta);
    expect_bad(W, 2, Bits, {0, 2, 0, 3}, N.Delta);
    expect_bad(W, 2, Bits, {1, 1, 0, 2, 6, 0}, N.Delta);
    expect_bad(W, 2, Bits, {0, 2, 0, 2, 1, 1}, N.Run);
    expect_bad(W, 2, Bits, {0, 2, 0, 2, 0, 0}, N.EndOfLine);
    expect_bad(W, 2, Bits, {0, 2, 6, 0, 1, 1}, N.Run);
    // Large deltas never wrap around.
    expect_bad(W, 2, Bits, {0, 2, 255, 255}, N.Delta);
  }
}

TEST(RleDecode, Rle4OddWidthAcceptsThePadNibble) {
  EXPECT_EQ(decoded(5, 1, 4, {6, 0x12, 0, 1}), (TBytes{0x12, 0x12, 0x12, 0}));
  expect_bad(5, 1, 4, {7, 0x12, 0, 1}, 8);
  EXPECT_EQ(decoded(5, 1, 4, {0, 6, 0x12, 0x34, 0x56, 0, 0, 1}), (TBytes{0x12, 0x34, 0x56, 0}));
  expect_bad(5, 1, 4, {0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1}, 7);
  EXPECT_NO_THROW(decode(5, 1, 4, {0, 2, 6, 0, 0, 1}));
  expect_bad(5, 1, 4, {0, 2, 7, 0, 0, 1}, 6);
  // The 8-bit decoder keeps the plain width.
  expect_bad(5, 1, 8, {6, 1, 0, 1}, 4);
}

TEST(RleDecode, NeverReadsBeyondBitsSize) {
  for (uint16_t Bits : {8, 4}) {
    TOwnedDIB Src = TOwnedDIB::Stream(8, 1, Bits, Bits == 8 ? kBiRLE8 : kBiRLE4, {2, 0x11, 2, 0x22, 0, 1});
    // Only the first run belongs to the stream; the rest of the block must stay unread.
    Src.Info().BitsSize = 2;
    TOwnedDIB Dst;
    if (Bits == 8)
      Convert8BitRLETo8BitRGB(Src.Info(), Dst.Info());
    else
      Convert4BitRLETo4BitRGB(Src.Info(), Dst.Info());
    const TBytes Expected = Bits == 8 ? TBytes{0x11, 0x11, 0, 0, 0, 0, 0, 0} : TBytes{0x11, 0, 0, 0};
    EXPECT_EQ(Dst.Bytes(), Expected);
    Src.Info().BitsSize = 6;
  }
}

TEST(RleDecode, GeometryBeyondABlockIsRefusedAsMemory) {
  // 70000 x 70000 pixels cannot have a block with a signed 32-bit size.
  for (uint16_t Bits : {8, 4})
    ExpectThrowMessage<EOutOfResources>(
        [&] {
          decode(70000, 70000, Bits, {0, 1});
        },
        "GetFileMap: Cannot Make File Mapping Object");
}

TEST(RleDecode, DestinationDescriptor) {
  for (uint16_t Bits : {8, 4}) {
    TOwnedDIB Src = TOwnedDIB::Stream(7, -3, Bits, Bits == 8 ? kBiRLE8 : kBiRLE4, {1, 0x20, 0, 1});
    Src.Info().Colors[3] = RGBQUAD{4, 5, 6, 7};
    Src.Info().Header.biYPelsPerMeter = 3;
    TOwnedDIB Dst;
    if (Bits == 8)
      Convert8BitRLETo8BitRGB(Src.Info(), Dst.Info());
    else
      Convert4BitRLETo4BitRGB(Src.Info(), Dst.Info());
    const BITMAPINFOHEADER& H = Dst.Info().Header;
    EXPECT_EQ(H.biHeight, -3);  // the sign carries over
    EXPECT_EQ(H.biWidth, 7);
    EXPECT_EQ(H.biBitCount, Bits);
    EXPECT_EQ(H.biCompression, kBiRGB);
    EXPECT_EQ(H.biSizeImage, 0u);
    EXPECT_EQ(H.biYPelsPerMeter, 3);
    EXPECT_EQ(H.biClrUsed, Src.Info().Header.biClrUsed);
    EXPECT_EQ(Dst.Info().BitsSize, (Bits == 8 ? 8 : 4) * 3);
    EXPECT_EQ(0, std::memcmp(Dst.Info().Colors, Src.Info().Colors, sizeof(Src.Info().Colors)));
    EXPECT_EQ(Dst.Row(0)[0], Bits == 8 ? 0x20 : 0x20);
  }
}

TEST(RleDecode, RefusesOtherFormats) {
  TOwnedDIB Dst;
  TOwnedDIB Plain8(4, 1, 8, 256);
  TOwnedDIB Rle4 = TOwnedDIB::Stream(4, 1, 4, kBiRLE4, {0, 1});
  TOwnedDIB Rle8As4 = TOwnedDIB::Stream(4, 1, 4, kBiRLE8, {0, 1});
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert8BitRLETo8BitRGB(Plain8.Info(), Dst.Info()); },
                                       "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination");
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert8BitRLETo8BitRGB(Rle4.Info(), Dst.Info()); },
                                       "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination");
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Convert4BitRLETo4BitRGB(Rle8As4.Info(), Dst.Info()); },
                                       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination");
  EXPECT_EQ(Dst.Info().Bits, nullptr);
}

// ---------------------------------------------------------------------------------------
// The RLE images of the BMP suite, read with a minimal parser of the 40-byte header.

struct TBmp {
  BITMAPINFOHEADER Header{};
  TBytes Bits;
};

TBmp read_bmp(const std::string& Name) {
  std::ifstream F(BmpSuiteFile(Name), std::ios::binary);
  const TBytes All((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
  TBmp B;
  if (All.size() < 54) return B;
  uint32_t Offset = 0;
  std::memcpy(&Offset, All.data() + 10, 4);
  std::memcpy(&B.Header, All.data() + 14, sizeof(B.Header));
  B.Bits.assign(All.begin() + Offset, All.end());
  return B;
}

// The suite's files are compressed as their bit count says (RLE8 for 8 bits, RLE4 for 4).
TOwnedDIB decode_bmp(const TBmp& B) {
  return decode(B.Header.biWidth, B.Header.biHeight, B.Header.biBitCount, B.Bits);
}

TEST(BmpSuiteRleDecode, ImagesMatchTheirUncompressedTwins) {
  KVDIB_REQUIRE_BMPSUITE();
  for (const auto& [Rle, Plain] :
       {std::pair{"g/pal8rle.bmp", "g/pal8.bmp"}, std::pair{"g/pal4rle.bmp", "g/pal4.bmp"}}) {
    SCOPED_TRACE(Rle);
    const TBmp R = read_bmp(Rle);
    const TBmp P = read_bmp(Plain);
    ASSERT_FALSE(R.Bits.empty());
    ASSERT_EQ(R.Header.biWidth, P.Header.biWidth);
    const TOwnedDIB D = decode_bmp(R);
    const int32_t Stride = D.Stride();
    ASSERT_EQ(P.Bits.size(), static_cast<size_t>(D.Info().BitsSize));
    bool Same = true;
    for (int32_t Y = 0; Y < D.Height(); ++Y)
      for (int32_t X = 0; X < D.Width(); ++X)
        Same &= D.Index(X, Y) == GetPixelIndex(P.Bits.data() + Stride * Y, X, P.Header.biBitCount);
    EXPECT_TRUE(Same);
  }
}

TEST(BmpSuiteRleDecode, ImagesWithDeltasAndCutsDecode) {
  KVDIB_REQUIRE_BMPSUITE();
  // Skipped pixels stay index 0; everything decoded agrees with the complete image where
  // it is not 0. The "cut" images end rows and the bitmap early.
  for (const char* Name :
       {"q/pal8rletrns.bmp", "q/pal4rletrns.bmp", "q/pal8rlecut.bmp", "q/pal4rlecut.bmp"}) {
    SCOPED_TRACE(Name);
    const TBmp R = read_bmp(Name);
    ASSERT_FALSE(R.Bits.empty());
    const TOwnedDIB D = decode_bmp(R);
    int64_t Zero = 0;
    for (int32_t Y = 0; Y < D.Height(); ++Y)
      for (int32_t X = 0; X < D.Width(); ++X) Zero += D.Index(X, Y) == 0;
    // Some pixels are skipped, most are not.
    EXPECT_GT(Zero, 0);
    EXPECT_LT(Zero, int64_t{D.Width()} * D.Height() / 2);
  }
}

TEST(BmpSuiteRleDecode, BadImagesAreRefusedCleanly) {
  KVDIB_REQUIRE_BMPSUITE();
  // Each tries to write past the image: runs beyond the row end, deltas beyond the row
  // end or the last row.
  const std::pair<const char*, const char*> Cases[] = {
      {"b/badrle.bmp", "Convert8BitRLETo8BitRGB: Bad RLE Data 4"},
      {"b/badrlebis.bmp", "Convert8BitRLETo8BitRGB: Bad RLE Data 2"},
      {"b/badrleter.bmp", "Convert8BitRLETo8BitRGB: Bad RLE Data 2"},
      {"b/badrle4.bmp", "Convert4BitRLETo4BitRGB: Bad RLE Data 8"},
      {"b/badrle4bis.bmp", "Convert4BitRLETo4BitRGB: Bad RLE Data 6"},
      {"b/badrle4ter.bmp", "Convert4BitRLETo4BitRGB: Bad RLE Data 6"},
  };
  for (const auto& [Name, Message] : Cases) {
    SCOPED_TRACE(Name);
    const TBmp R = read_bmp(Name);
    ASSERT_FALSE(R.Bits.empty());
    ExpectThrowMessage<EKvDIBInvalidDIB>([&] { decode_bmp(R); }, Message);
  }
  // A top-down RLE image is decoded into top-down rows; refusing it is the loader's call.
  const TBmp TopDown = read_bmp("b/rletopdown.bmp");
  ASSERT_FALSE(TopDown.Bits.empty());
  EXPECT_EQ(decode_bmp(TopDown).Info().Header.biHeight, -64);
}

}  // namespace
}  // namespace kv::test
