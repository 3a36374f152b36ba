// Storage object, descriptor helpers and pixel memory.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <utility>

#include "image/KvGeometry.h"
#include "image/KvInternalDIB.h"
#include "tests/KvTestSupport.h"

namespace kv {
namespace {

using test::ExpectThrowMessage;

TEST(FileMap, BlocksAreZeroFilledAndIndependent) {
  TFileMapBlock A(10000), B(10000);
  for (int I = 0; I < 10000; ++I) ASSERT_EQ(A.Bits()[I], 0);
  std::memset(A.Bits(), 0xAB, 10000);
  EXPECT_EQ(B.Bits()[9999], 0);
}

TEST(FileMap, HandleLeadsBackToItsBlockUntilReleased) {
  const int64_t Before = PixelBlocksInUse();
  for (int32_t Size : {1, 4096, 3 << 20}) {  // below a page, a page, a huge-page block
    TMapHandle H = kNoMapHandle;
    uint8_t* Bits = nullptr;
    GetFileMap(Size, H, Bits);
    EXPECT_EQ(PixelBlocksInUse(), Before + 1);
    uint8_t* Found = nullptr;
    int64_t FoundSize = 0;
    ASSERT_TRUE(FileMapView(H, Found, FoundSize));
    EXPECT_EQ(Found, Bits);
    EXPECT_EQ(FoundSize, Size);
    EXPECT_EQ(Bits[0], 0);
    EXPECT_EQ(Bits[Size - 1], 0);
    Bits[Size - 1] = 7;  // the whole block is writable
    ReleaseFileMap(H, Bits);
    EXPECT_EQ(PixelBlocksInUse(), Before);
  }
  uint8_t* Found = nullptr;
  int64_t FoundSize = 0;
  EXPECT_FALSE(FileMapView(kNoMapHandle, Found, FoundSize));
}

TEST(FileMap, ReleaseOfAForeignPairIsAnAssertion) {
  TFileMapBlock A(100);
  ExpectThrowMessage<EKvDIBAssert>([&] { ReleaseFileMap(A.Handle(), A.Bits() + 1); },
                                   "ReleaseFileMap: Failed To Unmap View of File map");
  ExpectThrowMessage<EKvDIBAssert>([&] { ReleaseFileMap(kNoMapHandle, A.Bits()); },
                                   "ReleaseFileMap: Failed To Unmap View of File map");
}

TEST(FileMap, NonPositiveSizesFail) {
  for (int32_t Size : {0, -1, std::numeric_limits<int32_t>::min()}) {
    TMapHandle H = kNoMapHandle;
    uint8_t* Bits = nullptr;
    ExpectThrowMessage<EOutOfResources>([&] { GetFileMap(Size, H, Bits); },
                                        "GetFileMap: Cannot Make File Mapping Object");
  }
}

TEST(DescriptorHelpers, StrideAndSizeRefuseOverflow) {
  int32_t S = 0;
  ASSERT_TRUE(DIBStride(3, 24, S));
  EXPECT_EQ(S, 12);
  ASSERT_TRUE(DIBStride(1, 1, S));
  EXPECT_EQ(S, 4);
  ASSERT_TRUE(DIBStride(33, 1, S));
  EXPECT_EQ(S, 8);
  EXPECT_FALSE(DIBStride(std::numeric_limits<int32_t>::max(), 24, S));
  EXPECT_FALSE(DIBStride(0, 8, S));
  ASSERT_TRUE(DIBBlockSize(5, -7, 4, S));
  EXPECT_EQ(S, 28);
  EXPECT_FALSE(DIBBlockSize(65536, 65536, 8, S));
  EXPECT_FALSE(DIBBlockSize(1, std::numeric_limits<int32_t>::min(), 8, S));
}

TEST(DescriptorHelpers, BlockPredicatesStopAtTheSigned32BitLimit) {
  EXPECT_TRUE(FitsBlock(4, kMaxBlockBytes / 4));
  EXPECT_FALSE(FitsBlock(4, kMaxBlockBytes / 4 + 1));
  EXPECT_TRUE(FitsBlock(kMaxBlockBytes, 1));
  EXPECT_FALSE(FitsBlock(kMaxBlockBytes + 1, 1));
  // A product that would not fit even 64 bits is refused, not wrapped.
  EXPECT_FALSE(FitsBlock(RowStride(std::numeric_limits<int32_t>::max(), 65535), int64_t{1} << 31));
  EXPECT_FALSE(FitsBlock(0, 5));
  EXPECT_FALSE(FitsBlock(4, 0));
  EXPECT_EQ(RowCount(std::numeric_limits<int32_t>::min()), int64_t{1} << 31);
  EXPECT_EQ(MaskedRowStride(3, 16), 8);
  EXPECT_EQ(MaskedRowStride(3, 32), 12);
  EXPECT_EQ(MaskedRowStride(3, 24), 0);
  EXPECT_EQ(CheckedBlockSize(12, 3), 36);
  ExpectThrowMessage<EOutOfResources>([] { CheckedBlockSize(int64_t{1} << 20, int64_t{1} << 12); },
                                      "GetFileMap: Cannot Make File Mapping Object");
}

TEST(DescriptorHelpers, SourceRowsMustLieInsideTheBlock) {
  TKvInternalDIB S;  // 1 x 1, 8 bits: one row of 4 bytes
  EXPECT_TRUE(HoldsRows(S.Info, 4, 1));
  EXPECT_FALSE(HoldsRows(S.Info, 4, 2));
  EXPECT_FALSE(HoldsRows(S.Info, 5, 1));
  ExpectThrowMessage<EKvDIBAssert>([&] { CheckSourceRows(S.Info, 8, 1, "Test: Pixel Block Too Small"); },
                                   "Test: Pixel Block Too Small");
  TKvDIBInfo NoBlock = WithoutBlock(S.Info);
  EXPECT_FALSE(HoldsRows(NoBlock, 4, 1));
}

TEST(DescriptorOwnership, OwnedDescriptorsReleaseTheirBlockExactlyOnce) {
  const int64_t Before = PixelBlocksInUse();
  TKvDIBInfo Raw{};
  {
    TFileMapBlock Block(64);
    HandOver(Block, Raw);
    EXPECT_FALSE(Block);
  }
  EXPECT_EQ(PixelBlocksInUse(), Before + 1);  // the descriptor holds it now
  {
    TKvOwnedInfo A = TKvOwnedInfo::Adopt(Raw);
    TKvOwnedInfo B = std::move(A);
    EXPECT_EQ(A.Info().Bits, nullptr);
    EXPECT_EQ(B.Info().Bits, Raw.Bits);
    const TKvDIBInfo Copy = WithoutBlock(B.Info());
    EXPECT_EQ(Copy.Bits, nullptr);
    EXPECT_EQ(Copy.MapHandle, kNoMapHandle);
  }
  EXPECT_EQ(PixelBlocksInUse(), Before);  // released by the owner it moved to
  TFileMapBlock Block(16);
  HandOver(Block, Raw);
  TKvOwnedInfo C = TKvOwnedInfo::Adopt(Raw);
  const TKvDIBInfo Out = C.Release();
  EXPECT_EQ(C.Info().Bits, nullptr);
  TFileMapBlock Back = TakeBlock(Raw);
  EXPECT_EQ(Back.Bits(), Out.Bits);
  EXPECT_EQ(Raw.Bits, nullptr);
  Back.Release();
  EXPECT_EQ(PixelBlocksInUse(), Before);
}

TEST(DescriptorOwnership, StorageReferencesCountAndDestroyWithTheLast) {
  const int64_t Before = PixelBlocksInUse();
  {
    TKvStorageRef A = TKvStorageRef::New();
    EXPECT_EQ(A->RefCount, 1);
    TKvStorageRef B = TKvStorageRef::Share(*A);
    EXPECT_EQ(A->RefCount, 2);
    TKvStorageRef C = std::move(B);
    EXPECT_FALSE(B);
    EXPECT_EQ(A->RefCount, 2);
    C.Reset();
    EXPECT_EQ(A->RefCount, 1);
    EXPECT_EQ(PixelBlocksInUse(), Before + 1);
  }
  EXPECT_EQ(PixelBlocksInUse(), Before);
}

TEST(InternalDIB, InstallInfoReplacesTheImageAndReleasesTheOldBlock) {
  TKvInternalDIB S;
  S.PaletteChanged = 0;
  const int64_t Before = PixelBlocksInUse();
  TKvDIBInfo New{};
  New.Header = S.Info.Header;
  New.Header.biWidth = 5;
  New.Header.biHeight = -3;
  TFileMapBlock Block(60);
  HandOver(Block, New);
  S.InstallInfo(TKvOwnedInfo::Adopt(New));
  EXPECT_EQ(PixelBlocksInUse(), Before);  // one in, one out
  EXPECT_EQ(S.Info.Bits, New.Bits);
  EXPECT_EQ(S.Width, 5);
  EXPECT_EQ(S.Height, 3);
  EXPECT_EQ(S.PaletteChanged, 1);
}

TEST(DescriptorHelpers, DefaultColorCountAndMaskShift) {
  EXPECT_EQ(DefaultColorCount(1), 2);
  EXPECT_EQ(DefaultColorCount(4), 16);
  EXPECT_EQ(DefaultColorCount(8), 256);
  EXPECT_EQ(DefaultColorCount(24), 0);
  EXPECT_EQ(DefaultColorCount(16), 0);
  EXPECT_EQ(MaskShift(255), 0);
  EXPECT_EQ(MaskShift(256), 1);
  EXPECT_EQ(MaskShift(1), -7);
  EXPECT_EQ(MaskShift(0xF800), 8);
  EXPECT_EQ(MaskShift(0xFF000000u), 24);
  EXPECT_EQ(MaskShift(0x80000000u), 24);
  EXPECT_EQ(MaskShift(0x1F), -3);
}

TEST(DescriptorHelpers, ConvertCoreInfoRewritesHeaderAndTriples) {
  TKvDIBInfo Info;
  std::memset(&Info.Header, 0x55, sizeof(Info.Header) + sizeof(Info.Colors));
  const BITMAPCOREHEADER Core{12, 300, 2, 1, 4};
  std::memcpy(&Info.Header, &Core, sizeof(Core));
  auto* Triples = reinterpret_cast<uint8_t*>(&Info.Header) + 12;
  for (int I = 0; I < 16; ++I) {
    Triples[3 * I] = static_cast<uint8_t>(I);            // blue
    Triples[3 * I + 1] = static_cast<uint8_t>(100 + I);  // green
    Triples[3 * I + 2] = static_cast<uint8_t>(200 + I);  // red
  }
  ConvertCoreInfo(Info);
  EXPECT_EQ(Info.Header.biSize, 40u);
  EXPECT_EQ(Info.Header.biWidth, 300);
  EXPECT_EQ(Info.Header.biHeight, 2);
  EXPECT_EQ(Info.Header.biBitCount, 4);
  EXPECT_EQ(Info.Header.biCompression, 0u);
  EXPECT_EQ(Info.Header.biClrUsed, 16u);
  EXPECT_EQ(Info.Header.biClrImportant, 0u);
  for (int I = 0; I < 16; ++I) {
    EXPECT_EQ(Info.Colors[I].rgbBlue, I);
    EXPECT_EQ(Info.Colors[I].rgbGreen, 100 + I);
    EXPECT_EQ(Info.Colors[I].rgbRed, 200 + I);
    EXPECT_EQ(Info.Colors[I].rgbReserved, 0);
  }
  EXPECT_EQ(Info.Colors[16].rgbBlue, 0x55);  // beyond biClrUsed: untouched
}

TEST(InternalDIB, DefaultIsOneByOneEightBitsTwoColours) {
  TKvInternalDIB S;
  EXPECT_EQ(S.RefCount, 1);
  EXPECT_EQ(S.Width, 1);
  EXPECT_EQ(S.Height, 1);
  EXPECT_EQ(S.Info.Header.biBitCount, 8);
  EXPECT_EQ(S.Info.Header.biClrUsed, 2u);
  EXPECT_EQ(S.Info.Header.biSizeImage, 0u);
  EXPECT_EQ(S.Info.BitsSize, 4);
  EXPECT_EQ(S.Info.Bits[0], 0);
  EXPECT_EQ(S.PaletteChanged, 1);
  EXPECT_EQ(S.GetPixelFormat(), kvPf8Bit);
}

TEST(InternalDIB, CreateDIBGeometry) {
  TKvInternalDIB S;
  S.FreeStorage();
  S.CreateDIB(1, -1, 8, 0);
  EXPECT_EQ(S.Info.Header.biHeight, -1);
  EXPECT_EQ(S.Height, 1);
  EXPECT_EQ(S.Info.BitsSize, 4);
  S.FreeStorage();
  S.CreateDIB(3, 2, 24, 0);
  EXPECT_EQ(S.Info.BitsSize, 24);
  for (int I = 0; I < 24; ++I) EXPECT_EQ(S.Info.Bits[I], 0);
  S.FreeStorage();
  S.FreeStorage();  // idempotent
  EXPECT_EQ(S.Info.Bits, nullptr);
  EXPECT_EQ(S.Info.MapHandle, kNoMapHandle);
}

TEST(InternalDIB, CreateDIBRefusesInvalidAndOverflowingParameters) {
  struct Case {
    int32_t W, H, B, C;
  };
  const Case Cases[] = {{1, 1, 8, 257},         {0, 1, 8, 0},
                        {1, 0, 8, 0},           {1, 1, 16, 0},
                        {1, 1, 8, -1},          {-5, 1, 8, 0},
                        {1, 1, 32, 0},          {65536, 65536, 8, 0},
                        {0x7FFFFFFF, 1, 24, 0}, {1, std::numeric_limits<int32_t>::min(), 8, 0}};
  for (const Case& C : Cases) {
    TKvInternalDIB S;
    S.FreeStorage();
    ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { S.CreateDIB(C.W, C.H, C.B, C.C); },
                                             "TKvInternalDIB.CreateDIB: Invalid Parameters");
    EXPECT_EQ(S.Info.Bits, nullptr) << C.W << "x" << C.H;
  }
}

TEST(InternalDIB, PixelFormatTable) {
  struct Case {
    uint16_t Bits;
    uint32_t Compression;
    int Format;  // -1: raises
    const char* Message;
  };
  const Case Cases[] = {
      {1, 0, kvPf1Bit, ""},
      {1, 1, -1, "TKvInternalDIB.GetPixelFormat: Invalid DIB(1Bit)"},
      {4, 0, kvPf4Bit, ""},
      {4, 2, kvPf4BitRLE, ""},
      {4, 1, -1, "TKvInternalDIB.GetPixelFormat: Invalid DIB(4Bit)"},
      {8, 0, kvPf8Bit, ""},
      {8, 1, kvPf8BitRLE, ""},
      {8, 2, -1, "TKvInternalDIB.GetPixelFormat: Invalid DIB(8Bit)"},
      {24, 0, kvPf24Bit, ""},
      {24, 3, -1, "TKvInternalDIB.GetPixelFormat: Invalid DIB(24Bit)"},
      {16, 0, -1, "TKvInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)"},
      {32, 3, -1, "TKvInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)"},
  };
  for (const Case& C : Cases) {
    TKvDIBInfo Info;
    Info.Header.biBitCount = C.Bits;
    Info.Header.biCompression = C.Compression;
    if (C.Format >= 0) {
      EXPECT_EQ(GetPixelFormat(Info), C.Format);
    } else {
      ExpectThrowMessage<EKvDIBInvalidDIB>([&] { GetPixelFormat(Info); }, C.Message);
    }
  }
}

TEST(InternalDIB, UpdatePaletteNeedsPrivateStorage) {
  TKvInternalDIB S;
  S.PaletteChanged = 0;
  TLogPalette Two(2);
  S.PaletteHandle.reset(CreatePalette(Two.get()));
  ASSERT_NE(S.PaletteHandle.get(), nullptr);
  S.UpdatePalette();
  EXPECT_EQ(S.PaletteHandle, nullptr);
  EXPECT_EQ(S.PaletteChanged, 1);
  S.RefCount = 2;
  ExpectThrowMessage<EKvDIBAssert>([&] { S.UpdatePalette(); },
                                   "TKvInternalDIB.UpdatePalette: RefCount Must be 1");
  S.RefCount = 1;
}

}  // namespace
}  // namespace kv
