// The BMP header parser over bytes, under the stream reader's rules and under rules that
// leave the depth to the caller (as a packed-DIB reader does).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/interchange/KvDIBHeader.h"
#include "platform/core/ByteOrder.h"
#include "tests/KvTestSupport.h"

namespace kv {
namespace {

using test::ExpectThrowMessage;

constexpr TKvHeaderRules kLenient = {"Test: Invalid Header Size", nullptr, nullptr};

std::vector<uint8_t> info_header(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression,
                                 uint32_t ClrUsed) {
  std::vector<uint8_t> B(kInfoHeaderSize, 0);
  StoreLE32(B.data() + info_header::kSize, kInfoHeaderSize);
  StoreLE32(B.data() + info_header::kWidth, static_cast<uint32_t>(W));
  StoreLE32(B.data() + info_header::kHeight, static_cast<uint32_t>(H));
  StoreLE16(B.data() + info_header::kPlanes, 1);
  StoreLE16(B.data() + info_header::kBitCount, Bits);
  StoreLE32(B.data() + info_header::kCompression, Compression);
  StoreLE32(B.data() + info_header::kClrUsed, ClrUsed);
  StoreLE32(B.data() + info_header::kClrImportant, 7);
  return B;
}

TEST(DIBHeader, HeaderSizesSelectTheFormOrRaiseTheReadersMessage) {
  EXPECT_EQ(HeaderFormOf(40, kStreamHeaderRules), TKvHeaderForm::Info);
  EXPECT_EQ(HeaderFormOf(12, kStreamHeaderRules), TKvHeaderForm::Core);
  for (uint32_t Size : {0u, 56u, 108u, 124u})
    ExpectThrowMessage<EKvDIBInvalidDIB>([&] { HeaderFormOf(Size, kStreamHeaderRules); },
                                         "TKvInternalDIB.LoadFromStream: Invalid Bitmap Header Size");
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { HeaderFormOf(108, kLenient); }, "Test: Invalid Header Size");
}

TEST(DIBHeader, InfoHeaderFieldsAtTheirOffsetsAndTheBitFieldTable) {
  const std::vector<uint8_t> B = info_header(-300, 7, 16, kBiBitFields, 0);
  TKvDIBInfo Info{};
  const TKvColorTable T = ParseHeader(TKvHeaderForm::Info, B, kStreamHeaderRules, Info);
  EXPECT_EQ(Info.Header.biWidth, -300);  // the caller judges the geometry
  EXPECT_EQ(Info.Header.biHeight, 7);
  EXPECT_EQ(Info.Header.biBitCount, 16);
  EXPECT_EQ(Info.Header.biClrImportant, 7u);
  EXPECT_EQ(T.Entries, 0u);  // 16 bits have no default table
  EXPECT_EQ(T.Masks, 3u);
  EXPECT_EQ(T.KeptBytes(), 12);
  const uint8_t Masks[12] = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  ParseColorTable(T, Masks, Info);
  uint8_t Red[4];
  std::memcpy(Red, &Info.Colors[0], 4);
  EXPECT_EQ(LoadLE32(Red), 0xF800u);
}

TEST(DIBHeader, LargeTablesKeep256EntriesAndDefaultsFillAZeroCount) {
  TKvDIBInfo Info{};
  TKvColorTable T =
      ParseHeader(TKvHeaderForm::Info, info_header(1, 1, 8, kBiRGB, 300), kStreamHeaderRules, Info);
  EXPECT_EQ(T.Entries, 300u);
  EXPECT_EQ(T.Kept(), 256u);
  EXPECT_EQ(T.Bytes() - T.KeptBytes(), 44 * 4);
  T = ParseHeader(TKvHeaderForm::Info, info_header(1, 1, 4, kBiRGB, 0), kStreamHeaderRules, Info);
  EXPECT_EQ(Info.Header.biClrUsed, 16u);
  EXPECT_EQ(T.KeptBytes(), 64);
}

TEST(DIBHeader, BitCountsAreTestedOnlyWhereTheRulesSaySo) {
  TKvDIBInfo Info{};
  ExpectThrowMessage<EKvDIBInvalidDIB>(
      [&] { ParseHeader(TKvHeaderForm::Info, info_header(1, 1, 2, kBiRGB, 0), kStreamHeaderRules, Info); },
      "TKvInternalDIB.LoadFromStream: Invalid BitCout");
  EXPECT_NO_THROW(ParseHeader(TKvHeaderForm::Info, info_header(1, 1, 2, kBiRGB, 0), kLenient, Info));

  // A core header of 16 bits: refused by the stream's rules, read with none by the others.
  uint8_t Core[kCoreHeaderSize] = {};
  StoreLE32(Core + core_header::kSize, kCoreHeaderSize);
  StoreLE16(Core + core_header::kWidth, 200);
  StoreLE16(Core + core_header::kHeight, 100);
  StoreLE16(Core + core_header::kPlanes, 1);
  StoreLE16(Core + core_header::kBitCount, 16);
  ExpectThrowMessage<EKvDIBInvalidDIB>(
      [&] { ParseHeader(TKvHeaderForm::Core, Core, kStreamHeaderRules, Info); },
      "TKvInternalDIB.LoadFromStream: Invalid BitCount");
  const TKvColorTable T = ParseHeader(TKvHeaderForm::Core, Core, kLenient, Info);
  EXPECT_EQ(T.Entries, 0u);
  ParseColorTable(T, {}, Info);
  EXPECT_EQ(Info.Header.biSize, 40u);
  EXPECT_EQ(Info.Header.biWidth, 200);
  EXPECT_EQ(Info.Header.biHeight, 100);
  EXPECT_EQ(Info.Header.biBitCount, 16);
}

TEST(DIBHeader, GeometryMustFitBeforeAnythingIsAllocated) {
  BITMAPINFOHEADER H{};
  H.biWidth = 65536;
  H.biHeight = 65536;
  H.biBitCount = 8;
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { CheckHeaderGeometry(H); }, kMsgImageTooLarge);
  H.biHeight = 100;
  EXPECT_NO_THROW(CheckHeaderGeometry(H));
  // 32-bit rows are read one at a time: the 24-bit image must fit, the source need not.
  H.biBitCount = 32;
  H.biWidth = 600'000'000 / 1000;
  H.biHeight = 1000;
  EXPECT_NO_THROW(CheckHeaderGeometry(H));
  H.biHeight = 1200;
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { CheckHeaderGeometry(H); }, kMsgImageTooLarge);
}

}  // namespace
}  // namespace kv
