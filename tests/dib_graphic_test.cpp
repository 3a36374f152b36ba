// TKvDIB: construction, geometry, colours, scan lines and copy-on-write sharing.
#include <gtest/gtest.h>

#include <cstring>

#include "image/KvDIB.h"
#include "tests/KvTestSupport.h"

namespace kv {
namespace {

using test::ExpectThrowMessage;

struct ChangeCounter {
  int Count = 0;
  void Attach(TKvDIB& D) {
    D.OnChange = [this](TGraphic*) { ++Count; };
  }
};

TEST(KvDIB, DefaultImage) {
  TKvDIB D;
  EXPECT_EQ(D.GetWidth(), 1);
  EXPECT_EQ(D.GetHeight(), 1);
  EXPECT_EQ(D.GetBitCount(), 8);
  EXPECT_EQ(D.GetColorCount(), 2);
  EXPECT_EQ(D.GetPixelFormat(), kvPf8Bit);
  EXPECT_FALSE(D.GetEmpty());
  EXPECT_TRUE(D.PaletteDirty());
  EXPECT_FALSE(D.FineMethod);
  EXPECT_EQ(D.BackgroundColor, kClWhite);
  EXPECT_EQ(D.HalftoneMode, 0);
  EXPECT_EQ(D.ClipboardFormat(), 8u);
}

TEST(KvDIB, SetWidthAndHeightRebuildZeroFilledImages) {
  TKvDIB D;
  ChangeCounter Changes;
  Changes.Attach(D);
  D.SetWidth(1);
  EXPECT_EQ(Changes.Count, 0);
  D.GetScanLine(0)[0] = 7;
  D.SetWidth(5);
  EXPECT_EQ(Changes.Count, 1);
  EXPECT_EQ(D.GetWidth(), 5);
  EXPECT_EQ(D.GetColorCount(), 2);  // colour count kept
  EXPECT_EQ(D.GetScanLine(0)[0], 0);
  EXPECT_TRUE(D.Modified());

  D.SetHeight(5);
  EXPECT_EQ(Changes.Count, 2);
  D.SetHeight(-5);  // same size, other row order: rebuilt top-down
  EXPECT_EQ(Changes.Count, 3);
  EXPECT_EQ(D.InternalDIB()->Info.Header.biHeight, -5);
  D.SetHeight(5);  // compared with the absolute height: nothing happens
  EXPECT_EQ(Changes.Count, 3);
  EXPECT_EQ(D.InternalDIB()->Info.Header.biHeight, -5);

  ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { D.SetWidth(0); }, "TKvDIB.SetWidth: Invalid Width");
  ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { D.SetWidth(-3); }, "TKvDIB.SetWidth: Invalid Width");
  ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { D.SetHeight(0); }, "TKvDIB.SetHeight: Invalid Height");
  EXPECT_EQ(Changes.Count, 3);
}

TEST(KvDIB, OversizedGeometryIsRefusedAndLeavesTheImage) {
  TKvDIB D;
  D.SetWidth(100000);
  D.SetBitCount(24);
  const TKvInternalDIB* Before = D.InternalDIB();
  ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { D.SetHeight(100000); },
                                           "TKvInternalDIB.CreateDIB: Invalid Parameters");
  EXPECT_EQ(D.InternalDIB(), Before);
  EXPECT_EQ(D.GetHeight(), 1);
  ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { D.SetWidth(0x7FFFFFFF); },
                                           "TKvInternalDIB.CreateDIB: Invalid Parameters");
  EXPECT_EQ(D.GetWidth(), 100000);
}

TEST(KvDIB, SetBitCount) {
  TKvDIB D;
  D.SetBitCount(24);
  EXPECT_EQ(D.GetColorCount(), 0);
  EXPECT_EQ(D.GetPixelFormat(), kvPf24Bit);
  D.SetBitCount(4);
  EXPECT_EQ(D.GetColorCount(), 16);
  for (int I = 0; I < 16; ++I) EXPECT_EQ(D.GetColors(I), 0);
  D.SetHeight(-3);
  D.SetBitCount(1);
  EXPECT_EQ(D.InternalDIB()->Info.Header.biHeight, 3);  // a top-down image becomes bottom-up
  EXPECT_EQ(D.GetColorCount(), 2);
  ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { D.SetBitCount(16); },
                                           "TKvDIB.SetBitCount: Invalid BitCount");

  // An RLE8 image asked for 8 bits stays as it is.
  TKvDIB R;
  R.InternalDIB()->Info.Header.biCompression = kBiRLE8;
  const TKvInternalDIB* Before = R.InternalDIB();
  R.SetBitCount(8);
  EXPECT_EQ(R.InternalDIB(), Before);
  EXPECT_EQ(R.GetPixelFormat(), kvPf8BitRLE);
}

TEST(KvDIB, GetColors) {
  TKvDIB D;
  D.SetBitCount(4);
  D.InternalDIB()->Info.Colors[3] = RGBQUAD{0x30, 0x20, 0x10, 0};
  EXPECT_EQ(D.GetColors(3), 0x302010);
  EXPECT_EQ(D.GetColors(200), 0);
  ExpectThrowMessage<EKvDIBPaletteIndexRange>([&] { D.GetColors(256); },
                                              "TKvDIB.GetColors: Palette Index is Out of Range");
  ExpectThrowMessage<EKvDIBPaletteIndexRange>([&] { D.GetColors(-1); },
                                              "TKvDIB.GetColors: Palette Index is Out of Range");
}

TEST(KvDIB, ScanLinesCountFromTheTop) {
  TKvDIB D;
  D.SetWidth(3);
  D.SetHeight(10);
  const uint8_t* Bits = D.InternalDIB()->Info.Bits;
  EXPECT_EQ(D.GetScanLine(0), Bits + 9 * 4);
  EXPECT_EQ(D.GetScanLine(9), Bits);
  D.SetHeight(-10);
  EXPECT_EQ(D.GetScanLine(0), D.InternalDIB()->Info.Bits);
  EXPECT_EQ(D.GetScanLine(9), D.InternalDIB()->Info.Bits + 9 * 4);
  ExpectThrowMessage<EKvDIBPixelPositionRange>([&] { D.GetScanLine(10); },
                                               "TKvDIB.GetScanLine: y is Out of Range");
  ExpectThrowMessage<EKvDIBPixelPositionRange>([&] { D.GetScanLine(-1); },
                                               "TKvDIB.GetScanLine: y is Out of Range");
  D.InternalDIB()->Info.Header.biCompression = kBiRLE8;
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { D.GetScanLine(0); }, "TKvDIB.GetScanLine: Bad DIB Type");
}

TEST(KvDIB, ReadAccessLeavesSharedStorageShared) {
  TKvDIB A;
  A.SetWidth(3);
  A.SetHeight(-2);
  A.GetScanLine(1)[2] = 5;
  TKvDIB B;
  B.Assign(&A);
  const TKvDIB& View = B;
  EXPECT_EQ(View.ReadScanLine(1)[2], 5);
  EXPECT_EQ(View.ReadScanLine(1), A.InternalDIB()->Info.Bits + 4);  // top-down: row 1 is stored second
  EXPECT_EQ(&View.DIBInfo(), &A.InternalDIB()->Info);
  EXPECT_EQ(A.InternalDIB()->RefCount, 2);
  ExpectThrowMessage<EKvDIBPixelPositionRange>([&] { View.ReadScanLine(2); },
                                               "TKvDIB.ReadScanLine: y is Out of Range");
  A.InternalDIB()->Info.Header.biCompression = kBiRLE8;
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { View.ReadScanLine(0); }, "TKvDIB.ReadScanLine: Bad DIB Type");
}

TEST(KvDIB, SetColorTableUnsharesAndMarksThePaletteChanged) {
  TKvDIB A;
  TKvDIB B;
  B.Assign(&A);
  int Changes = 0;
  B.OnChange = [&Changes](TGraphic*) { ++Changes; };
  B.SetPaletteDirty(false);
  const RGBQUAD Colors[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  B.SetColorTable(Colors, 3);
  EXPECT_NE(B.InternalDIB(), A.InternalDIB());
  EXPECT_EQ(B.GetColorCount(), 3);
  EXPECT_EQ(B.GetColors(2), static_cast<TColor>(MakeRGB(9, 8, 7)));
  EXPECT_EQ(A.GetColorCount(), 2);
  EXPECT_TRUE(B.PaletteDirty());
  EXPECT_EQ(Changes, 1);
  ExpectThrowMessage<EKvDIBPaletteIndexRange>([&] { B.SetColorTable(Colors, 257); },
                                              "TKvDIB.SetColorTable: Palette Index is Out of Range");
  EXPECT_EQ(B.GetColorCount(), 3);
}

TEST(KvDIB, CopyOnWrite) {
  TKvDIB A;
  A.SetWidth(7);
  A.SetHeight(3);
  A.SetBitCount(24);
  for (int Y = 0; Y < 3; ++Y)
    for (int I = 0; I < 21; ++I) A.GetScanLine(Y)[I] = static_cast<uint8_t>(Y * 21 + I);
  A.InternalDIB()->Info.Colors[0].rgbRed = 9;
  A.FineMethod = true;
  A.HalftoneMode = 2;
  A.BackgroundColor = 0x123456;

  TKvDIB B;
  B.SetPaletteDirty(false);
  B.Assign(&A);
  EXPECT_EQ(B.InternalDIB(), A.InternalDIB());
  EXPECT_EQ(A.InternalDIB()->RefCount, 2);
  EXPECT_TRUE(B.FineMethod);
  EXPECT_EQ(B.HalftoneMode, 2);
  EXPECT_EQ(B.BackgroundColor, 0x123456);
  EXPECT_TRUE(B.PaletteDirty());

  // Writing through B gives it a private copy with identical bytes; A keeps its pixels.
  B.SetPaletteDirty(false);
  uint8_t* Row = B.GetScanLine(1);
  EXPECT_NE(B.InternalDIB(), A.InternalDIB());
  EXPECT_EQ(A.InternalDIB()->RefCount, 1);
  EXPECT_EQ(B.InternalDIB()->RefCount, 1);
  EXPECT_TRUE(B.PaletteDirty());
  ASSERT_EQ(B.InternalDIB()->Info.BitsSize, A.InternalDIB()->Info.BitsSize);
  EXPECT_EQ(std::memcmp(B.InternalDIB()->Info.Bits, A.InternalDIB()->Info.Bits,
                        static_cast<size_t>(A.InternalDIB()->Info.BitsSize)),
            0);
  EXPECT_EQ(B.InternalDIB()->Info.Colors[0].rgbRed, 9);
  EXPECT_EQ(B.InternalDIB()->Info.Header.biWidth, 7);
  Row[0] = 0xEE;
  EXPECT_EQ(A.GetScanLine(1)[0], 21);
  EXPECT_EQ(B.GetScanLine(1)[0], 0xEE);
}

TEST(KvDIB, AssignNilSelfAndSharedLifetime) {
  const int64_t Fds = test::OpenResourceCount();
  {
    auto A = std::make_unique<TKvDIB>();
    A->SetWidth(9);
    TKvDIB B;
    B.Assign(A.get());
    A.reset();  // B keeps the storage alive
    EXPECT_EQ(B.GetWidth(), 9);
    EXPECT_EQ(B.InternalDIB()->RefCount, 1);
    ChangeCounter Changes;
    Changes.Attach(B);
    B.Assign(&B);
    EXPECT_EQ(B.GetWidth(), 9);
    B.Assign(nullptr);
    EXPECT_EQ(B.GetWidth(), 1);
    EXPECT_EQ(B.GetColorCount(), 2);
    EXPECT_EQ(Changes.Count, 0);
  }
  EXPECT_EQ(test::OpenResourceCount(), Fds);  // every pixel block released
}

TEST(KvDIB, UniqueDIBOnPrivateStorageKeepsIt) {
  TKvDIB A;
  const TKvInternalDIB* S = A.InternalDIB();
  A.UniqueDIB();
  EXPECT_EQ(A.InternalDIB(), S);
}

}  // namespace
}  // namespace kv
