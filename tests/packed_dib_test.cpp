// Packed DIBs (the clipboard's CF_DIB block) parsed from and written to bytes: the parse's
// refusals table-driven, the layouts it accepts, and write-then-parse identity for every
// format the library holds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/KvGeometry.h"
#include "image/interchange/KvDIBHeader.h"
#include "image/interchange/KvPackedDIB.h"
#include "platform/core/ByteOrder.h"
#include "tests/KvBmpBuild.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A packed DIB with a 40-byte header: masks (if any), Colors as 32-bit values, Pixels.
struct TPacked : TBmp {
  TPacked() { Width = Height = 2; }
  Bytes Build() const { return Packed(); }
};

Bytes core_block(uint16_t Width, uint16_t Height, uint16_t BitCount, size_t Triples, size_t PixelBytes) {
  Bytes B(kCoreHeaderSize + 3 * Triples + PixelBytes, 0);
  StoreLE32(B.data() + core_header::kSize, kCoreHeaderSize);
  StoreLE16(B.data() + core_header::kWidth, Width);
  StoreLE16(B.data() + core_header::kHeight, Height);
  StoreLE16(B.data() + core_header::kPlanes, 1);
  StoreLE16(B.data() + core_header::kBitCount, BitCount);
  for (size_t I = 0; I < 3 * Triples; ++I) B[kCoreHeaderSize + I] = static_cast<uint8_t>(I);
  return B;
}

TEST(PackedDIB, RefusalsNameTheirCauseAndLeaveNothingAllocated) {
  const char* const kInvalid = kMsgInvalidClipboardData;
  const char* const kGeometry = kMsgInvalidWidthOrHeight;
  const char* const kBitCount = "TKvInternalDIB.LoadFromClipboardFormat: Invalid biBitCount";
  auto pal8 = [](size_t Pixels) {
    TPacked P;
    P.BitCount = 8;
    P.Colors.assign(256, 0x123456);
    P.Pixels.assign(Pixels, 1);
    return P.Build();
  };
  auto with = [](auto Edit) {
    TPacked P;
    P.Pixels.assign(16, 7);
    Edit(P);
    return P.Build();
  };
  struct TCase {
    const char* Name;
    Bytes Block;
    const char* Message;
  };
  Bytes Header108 = with([](TPacked&) {});
  StoreLE32(Header108.data(), 108);
  Bytes CutHeader = with([](TPacked&) {});
  CutHeader.resize(39);
  Bytes CutTable = pal8(8);
  CutTable.resize(40 + 1000);
  const std::vector<TCase> Cases = {
      {"empty block", {}, kInvalid},
      {"three bytes", {40, 0, 0}, kInvalid},
      {"108-byte header", Header108, kInvalid},
      {"block ends in the header", CutHeader, kInvalid},
      {"block ends in the colour table", CutTable, kInvalid},
      {"rows cut short", pal8(7), kInvalid},
      {"width 0", with([](TPacked& P) { P.Width = 0; }), kGeometry},
      {"width -5", with([](TPacked& P) { P.Width = -5; }), kGeometry},
      {"height 0", with([](TPacked& P) { P.Height = 0; }), kGeometry},
      {"2 bits", with([](TPacked& P) { P.BitCount = 2; }), kBitCount},
      {"core header of 2 bits", core_block(2, 2, 2, 0, 16), kBitCount},
      {"16 bits, rows cut", with([](TPacked& P) { P.BitCount = 16, P.Pixels.resize(7); }), kInvalid},
      {"32 bits, a zero mask", with([](TPacked& P) {
         P.BitCount = 32, P.Compression = kBiBitFields, P.Masks = {0xFF0000, 0, 0xFF};
       }),
       kMsgInvalidMasks},
      {"too large for a block",
       with([](TPacked& P) { P.Width = 65536, P.Height = 65536, P.BitCount = 8, P.Colors.assign(256, 0); }),
       kMsgImageTooLarge},
  };
  const int64_t Blocks = PixelBlocksInUse();
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    ExpectThrowMessage<EKvDIBInvalidDIB>([&] { (void)ParsePackedDIB(C.Block); }, C.Message);
    EXPECT_EQ(PixelBlocksInUse(), Blocks);
  }
  // An RLE header with no stream bytes at all fails in the pixel memory, as a zero size does.
  Bytes NoStream = with([](TPacked& P) {
    P.BitCount = 8, P.Compression = kBiRLE8, P.Colors.assign(256, 0), P.Pixels.clear();
  });
  ExpectThrowMessage<EOutOfResources>([&] { (void)ParsePackedDIB(NoStream); },
                                      "GetFileMap: Cannot Make File Mapping Object");
}

TEST(PackedDIB, BitFieldsCoreHeadersAndSlack) {
  // 16 bits with BI_BITFIELDS and biClrUsed 0: the pixel data starts at 52.
  TPacked P;
  P.Width = 1;
  P.Height = 1;
  P.BitCount = 16;
  P.Compression = kBiBitFields;
  P.Masks = {0xF800, 0x07E0, 0x001F};
  P.Pixels = {0xFF, 0xFF, 0, 0};
  TKvOwnedInfo A = ParsePackedDIB(P.Build());
  EXPECT_EQ(A.Info().Header.biBitCount, 24);
  EXPECT_EQ(A.Info().Header.biCompression, kBiRGB);
  EXPECT_EQ(A.Info().Bits[0], 248);  // blue
  EXPECT_EQ(A.Info().Bits[1], 252);  // green
  EXPECT_EQ(A.Info().Bits[2], 248);  // red

  // A core header of 16 bits converts with the default 5-5-5 masks.
  Bytes Core = core_block(1, 1, 16, 0, 4);
  Core[kCoreHeaderSize] = 0xFF;
  Core[kCoreHeaderSize + 1] = 0x7F;
  TKvOwnedInfo B = ParsePackedDIB(Core);
  EXPECT_EQ(B.Info().Header.biSize, 40u);
  EXPECT_EQ(B.Info().Bits[0], 248);
  EXPECT_EQ(B.Info().Bits[2], 248);

  // An 8-bit core image keeps its 256 triples as entries; bytes past the rows are slack
  // that becomes part of the pixel memory.
  Bytes Core8 = core_block(3, 2, 8, 256, 8 + 5);
  TKvOwnedInfo C = ParsePackedDIB(Core8);
  EXPECT_EQ(C.Info().Header.biClrUsed, 256u);
  EXPECT_EQ(C.Info().Colors[1].rgbBlue, 3);
  EXPECT_EQ(C.Info().Colors[1].rgbRed, 5);
  EXPECT_EQ(C.Info().BitsSize, 13);

  // More than 256 entries: the surplus is skipped by offset.
  TPacked Many;
  Many.Width = 4;
  Many.Height = 1;
  Many.BitCount = 8;
  Many.ClrUsed = 300;
  Many.Colors.assign(300, 0);
  Many.Colors[0] = 0x00ABCDEF;
  Many.Pixels = {9, 8, 7, 6};
  TKvOwnedInfo D = ParsePackedDIB(Many.Build());
  EXPECT_EQ(D.Info().Header.biClrUsed, 256u);
  EXPECT_EQ(D.Info().Colors[0].rgbRed, 0xAB);
  EXPECT_EQ(D.Info().BitsSize, 4);
  EXPECT_EQ(D.Info().Bits[0], 9);
}

TEST(PackedDIB, WriteThenParseGivesTheSameImageForEveryFormat) {
  std::mt19937 Rng(3);
  struct TFormat {
    uint16_t Bits;
    uint32_t Compression;
  };
  for (const TFormat F :
       {TFormat{1, kBiRGB}, {4, kBiRGB}, {8, kBiRGB}, {24, kBiRGB}, {4, kBiRLE4}, {8, kBiRLE8}}) {
    for (int32_t Height : {5, -5}) {
      SCOPED_TRACE(testing::Message()
                   << F.Bits << " bits, compression " << F.Compression << ", height " << Height);
      TOwnedDIB Src =
          F.Bits == 24 ? TOwnedDIB(7, Height, 24) : RandomIndexed(Rng, 7, Height, F.Bits, 1 << F.Bits);
      if (F.Bits == 24)
        for (int32_t I = 0; I < Src.Info().BitsSize; ++I) Src.Info().Bits[I] = static_cast<uint8_t>(Rng());
      if (F.Compression != kBiRGB) {
        // Any byte stream is held as it is; the pack must carry it unchanged.
        Src = TOwnedDIB::Stream(7, Height, F.Bits, F.Compression, {3, 1, 0, 0, 0, 1});
      }
      Bytes Block(static_cast<size_t>(PackedDIBSize(Src.Info())));
      WritePackedDIB(Src.Info(), Block);
      const TKvOwnedInfo Back = ParsePackedDIB(Block);
      EXPECT_EQ(std::memcmp(&Back.Info().Header, &Src.Info().Header, sizeof(BITMAPINFOHEADER)), 0);
      const uint32_t Colors = Src.Info().Header.biClrUsed;
      EXPECT_EQ(std::memcmp(Back.Info().Colors, Src.Info().Colors, 4 * Colors), 0);
      ASSERT_EQ(Back.Info().BitsSize, Src.Info().BitsSize);
      EXPECT_EQ(std::memcmp(Back.Info().Bits, Src.Info().Bits, static_cast<size_t>(Src.Info().BitsSize)), 0);
    }
  }
}

TEST(PackedDIB, AnImageWithoutColourCountIsWrittenWithItsFullTable) {
  std::mt19937 Rng(5);
  TOwnedDIB Src = RandomIndexed(Rng, 9, 3, 4, 16);
  Src.Info().Header.biClrUsed = 0;
  EXPECT_EQ(PackedDIBSize(Src.Info()), 40 + 64 + Src.Info().BitsSize);
  Bytes Block(static_cast<size_t>(PackedDIBSize(Src.Info())));
  WritePackedDIB(Src.Info(), Block);
  EXPECT_EQ(LoadLE32(Block.data() + info_header::kClrUsed), 0u);  // the header as held
  const TKvOwnedInfo Back = ParsePackedDIB(Block);
  EXPECT_EQ(Back.Info().Header.biClrUsed, 16u);
  EXPECT_EQ(std::memcmp(Back.Info().Colors, Src.Info().Colors, 64), 0);
  EXPECT_EQ(std::memcmp(Back.Info().Bits, Src.Info().Bits, static_cast<size_t>(Src.Info().BitsSize)), 0);
  // A 256-colour image: 1064 bytes in front of the pixels.
  TOwnedDIB Eight(4, 4, 8, 256);
  EXPECT_EQ(PackedDIBSize(Eight.Info()), 1064 + Eight.Info().BitsSize);
}

}  // namespace
}  // namespace kv::test
