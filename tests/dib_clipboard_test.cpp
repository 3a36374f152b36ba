// TKvDIB and the clipboard: CF_DIB blocks saved and loaded for every format, through the
// global memory block, the clipboard object and plain bytes; what a refused block leaves
// behind; the clipboard closed on every exit path. (The byte-level parse and its refusals
// are packed_dib_test.cpp's.)
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBHeader.h"
#include "image/interchange/KvPackedDIB.h"
#include "platform/core/ByteOrder.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/GlobalMemory.h"
#include "tests/KvTestSupport.h"
#include "tests/dib_fixtures.h"

namespace kv::test {
namespace {

constexpr char kNoData[] = "TKvDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data";

// A global block holding Bytes (at least one byte is allocated).
TGlobalBlock block_of(const std::vector<uint8_t>& Bytes) {
  TGlobalBlock B(GlobalAlloc(kGHnd, Bytes.empty() ? 1 : Bytes.size()));
  const TGlobalLock L(B.get());
  if (!Bytes.empty()) std::memcpy(L.Data(), Bytes.data(), Bytes.size());
  return B;
}

// Counts change notifications.
struct TChanges {
  int Count = 0;
  explicit TChanges(TKvDIB& D) {
    D.OnChange = [this](TGraphic*) { ++Count; };
  }
};

class DIBClipboard : public ::testing::Test {
 protected:
  void SetUp() override {
    Clipboard().Clear();
    m_Blocks = GlobalBlocksInUse();
    m_Pixels = PixelBlocksInUse();
  }
  void TearDown() override {
    Clipboard().Clear();
    EXPECT_EQ(Clipboard().OpenCount(), 0);
    EXPECT_EQ(GlobalBlocksInUse(), m_Blocks);
    EXPECT_EQ(PixelBlocksInUse(), m_Pixels);
  }

 private:
  int64_t m_Blocks = 0;
  int64_t m_Pixels = 0;
};

TEST_F(DIBClipboard, SaveThenLoadGivesTheSameImageForEveryFormat) {
  std::mt19937 Rng(11);
  for (const TKvPixelFormat F : kStorageFormats) {
    for (const int32_t Height : {6, -6}) {
      SCOPED_TRACE(testing::Message() << FormatName(F) << ", height " << Height);
      TKvDIB A;
      FillRandom(A, Rng, 11, Height, F, F == kvPf8Bit ? 77 : 0);

      // Through a global block: format 8, no palette, the header at its start.
      uint16_t Format = 0;
      HANDLE Data = nullptr;
      HPALETTE Palette = reinterpret_cast<HPALETTE>(1);
      A.SaveToClipboardFormat(Format, Data, Palette);
      const TGlobalBlock Owned(Data);
      EXPECT_EQ(Format, kCF_DIB);
      EXPECT_EQ(Palette, nullptr);
      const int64_t Expected = 40 + 4 * int64_t{A.DIBInfo().Header.biClrUsed} + A.DIBInfo().BitsSize;
      EXPECT_GE(static_cast<int64_t>(GlobalSize(Data)), Expected);
      EXPECT_EQ(GlobalFlags(Data), 0u);  // unlocked again
      {
        const TGlobalLock L(Data);
        EXPECT_EQ(std::memcmp(L.Data(), &A.DIBInfo().Header, 40), 0);
      }
      TKvDIB B;
      TChanges Changes(B);
      B.LoadFromClipboardFormat(kCF_DIB, Data, nullptr);
      EXPECT_EQ(Changes.Count, 1);
      ExpectSameImage(A, B, true);  // the block's slack may follow the pixels
      EXPECT_EQ(B.GetPixelFormat(), F);

      // Through plain bytes: exactly the same, slack and all.
      const std::vector<uint8_t> Bytes = A.SaveToPackedDIB();
      EXPECT_EQ(static_cast<int64_t>(Bytes.size()), Expected);
      TKvDIB C;
      C.LoadFromPackedDIB(Bytes);
      ExpectSameImage(A, C);

      // Through the clipboard object: CF_DIB and no palette on the clipboard.
      Clipboard().Assign(&A);
      EXPECT_TRUE(Clipboard().HasFormat(kCF_DIB));
      EXPECT_FALSE(Clipboard().HasFormat(kCF_Palette));
      TKvDIB D;
      D.Assign(&Clipboard());
      ExpectSameImage(A, D, true);
      EXPECT_EQ(Clipboard().OpenCount(), 0);
    }
  }
}

TEST_F(DIBClipboard, BlockSizesAndAnImageWithoutColourCount) {
  TKvDIB Eight;
  Eight.SetWidth(5);
  Eight.SetHeight(3);  // 8 bits, 2 colours
  Eight.SetBitCount(4);
  Eight.SetBitCount(8);  // 256 colours
  EXPECT_EQ(Eight.SaveToPackedDIB().size(), 1064u + static_cast<size_t>(Eight.DIBInfo().BitsSize));

  // An 8-bit image whose biClrUsed is 0 is written with its full table, so that loading it
  // again gives the same pixels and colours (the reader takes 0 to mean all 256).
  std::mt19937 Rng(4);
  TKvDIB A;
  FillRandom(A, Rng, 9, 4, kvPf8Bit);
  const std::vector<RGBQUAD> Table(A.DIBInfo().Colors, A.DIBInfo().Colors + 256);
  A.SetPalette(nullptr);
  ASSERT_EQ(A.GetColorCount(), 0);
  TKvDIB B;
  B.LoadFromPackedDIB(A.SaveToPackedDIB());
  EXPECT_EQ(B.GetColorCount(), 256);
  EXPECT_EQ(std::memcmp(B.DIBInfo().Colors, Table.data(), 1024), 0);
  EXPECT_EQ(PixelBytes(B), PixelBytes(A));
}

TEST_F(DIBClipboard, RefusedBlocksLeaveTheDefaultImageAndTheBlockAsItWas) {
  std::mt19937 Rng(2);
  TKvDIB Good;
  FillRandom(Good, Rng, 4, 4, kvPf24Bit);
  const std::vector<uint8_t> Valid = Good.SaveToPackedDIB();
  auto edited = [&](size_t Offset, uint32_t Value) {
    std::vector<uint8_t> B = Valid;
    StoreLE32(B.data() + Offset, Value);
    return B;
  };
  // Five rows of 12 bytes announced, four held: 88 bytes, which the block rounds up to 96.
  std::vector<uint8_t> Cut = edited(info_header::kHeight, 5);

  struct TCase {
    const char* Name;
    std::vector<uint8_t> Bytes;
    const char* Message;
  };
  const std::vector<TCase> Cases = {
      {"108-byte header", edited(0, 108), kMsgInvalidClipboardData},
      {"124-byte header", edited(0, 124), kMsgInvalidClipboardData},
      {"width 0", edited(info_header::kWidth, 0), kMsgInvalidWidthOrHeight},
      {"width -5", edited(info_header::kWidth, static_cast<uint32_t>(-5)), kMsgInvalidWidthOrHeight},
      {"2 bits", edited(info_header::kBitCount, 2),
       "TKvInternalDIB.LoadFromClipboardFormat: Invalid biBitCount"},
      {"rows cut short", Cut, kMsgInvalidClipboardData},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TGlobalBlock Block = block_of(C.Bytes);
    TKvDIB D;
    FillRandom(D, Rng, 3, 3, kvPf4Bit);
    TChanges Changes(D);
    ExpectThrowMessage<EKvDIBInvalidDIB>([&] { D.LoadFromClipboardFormat(kCF_DIB, Block.get(), nullptr); },
                                         C.Message);
    EXPECT_EQ(Changes.Count, 0);
    EXPECT_EQ(D.GetWidth(), 1);  // the default image
    EXPECT_EQ(D.GetBitCount(), 8);
    EXPECT_EQ(D.GetColorCount(), 2);
    EXPECT_EQ(GlobalFlags(Block.get()), 0u);  // unlocked, and still the caller's
    const TGlobalLock L(Block.get());
    EXPECT_EQ(std::memcmp(L.Data(), C.Bytes.data(), C.Bytes.size()), 0);
  }

  // Wrong format, no block, a block that names nothing.
  const TGlobalBlock Block = block_of(Valid);
  TKvDIB D;
  ExpectThrowMessage<EInvalidGraphic>([&] { D.LoadFromClipboardFormat(kCF_Bitmap, Block.get(), nullptr); },
                                      kNoData);
  ExpectThrowMessage<EInvalidGraphic>([&] { D.LoadFromClipboardFormat(kCF_DIB, nullptr, nullptr); }, kNoData);
  HGLOBAL Freed = GlobalAlloc(kGHnd, 64);
  GlobalFree(Freed);
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { D.LoadFromClipboardFormat(kCF_DIB, Freed, nullptr); },
                                       kMsgInvalidClipboardData);
  // The palette argument never matters.
  D.LoadFromClipboardFormat(kCF_DIB, Block.get(), reinterpret_cast<HPALETTE>(0x1234));
  ExpectSameImage(Good, D, true);
}

TEST_F(DIBClipboard, PackedBytesThatAreRefusedLeaveTheImageAsItWas) {
  std::mt19937 Rng(8);
  TKvDIB D;
  FillRandom(D, Rng, 5, 5, kvPf8Bit, 40);
  const std::vector<uint8_t> Before = D.SaveToPackedDIB();
  TChanges Changes(D);
  std::vector<uint8_t> Bad = Before;
  Bad.resize(45);
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { D.LoadFromPackedDIB(Bad); }, kMsgInvalidClipboardData);
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { D.LoadFromPackedDIB({}); }, kMsgInvalidClipboardData);
  EXPECT_EQ(D.SaveToPackedDIB(), Before);
  EXPECT_EQ(Changes.Count, 0);
}

TEST_F(DIBClipboard, TheClipboardIsClosedOnEveryExitPath) {
  TKvDIB D;
  // Nothing of CF_DIB on the clipboard.
  ExpectThrowMessage<EInvalidGraphic>([&] { D.Assign(&Clipboard()); }, kNoData);
  EXPECT_EQ(Clipboard().OpenCount(), 0);
  // A refused block on it.
  std::vector<uint8_t> Bad(64, 0);
  StoreLE32(Bad.data(), 108);
  Clipboard().SetAsHandle(kCF_DIB, block_of(Bad).release());
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { D.Assign(&Clipboard()); }, kMsgInvalidClipboardData);
  EXPECT_EQ(Clipboard().OpenCount(), 0);
  // Opened around the load: an outer opening stays open, another object cannot open it.
  Clipboard().Open();
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { D.Assign(&Clipboard()); }, kMsgInvalidClipboardData);
  EXPECT_EQ(Clipboard().OpenCount(), 1);
  TClipboard Other;
  ExpectThrowMessage<EClipboardException>([&] { Other.Open(); }, "Cannot open clipboard");
  Clipboard().Close();
  Other.Open();
  Other.Close();
}

}  // namespace
}  // namespace kv::test
