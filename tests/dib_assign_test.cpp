// TKvDIB's assignments: from nothing, another TKvDIB, a TBitmap of every depth, and to a
// TBitmap or TKvDIB; the colours and indices that arrive, and what a refused source leaves.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "image/KvDIB.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Palette.h"
#include "platform/graphics/Picture.h"
#include "tests/KvTestSupport.h"
#include "tests/dib_fixtures.h"

namespace kv::test {
namespace {

struct TDepth {
  TPixelFormat Format;
  uint16_t Bits;       // of the bitmap
  uint16_t ImageBits;  // of the image made from it
};
const TDepth kDepths[] = {{pf1bit, 1, 1},    {pf4bit, 4, 4},    {pf8bit, 8, 8},   {pf15bit, 16, 24},
                          {pf16bit, 16, 24}, {pf24bit, 24, 24}, {pf32bit, 32, 24}};

int32_t bitmap_stride(int32_t Width, uint16_t Bits) { return (Width * Bits + 31) / 32 * 4; }

// A bitmap of Depth with random bytes in every row.
void random_bitmap(TBitmap& B, std::mt19937& Rng, const TDepth& Depth, int32_t Width, int32_t Height) {
  B.SetPixelFormat(Depth.Format);
  B.SetSize(Width, Height);
  for (int32_t Y = 0; Y < Height; ++Y)
    for (int32_t I = 0; I < bitmap_stride(Width, Depth.Bits); ++I)
      B.ScanLine(Y)[I] = static_cast<uint8_t>(Rng());
}

TEST(DIBAssign, FromBitmapsOfEveryDepth) {
  std::mt19937 Rng(7);
  for (const TDepth& D : kDepths) {
    SCOPED_TRACE(testing::Message() << D.Bits << " bits");
    TBitmap B;
    random_bitmap(B, Rng, D, 7, 5);
    TKvDIB Image;
    int Changes = 0;
    Image.OnChange = [&](TGraphic*) { ++Changes; };
    Image.SetPaletteDirty(false);
    Image.Assign(&B);
    EXPECT_EQ(Changes, 1);
    EXPECT_TRUE(Image.PaletteDirty());
    EXPECT_EQ(Image.GetWidth(), 7);
    EXPECT_EQ(Image.GetHeight(), 5);
    EXPECT_EQ(Image.DIBInfo().Header.biHeight, 5);  // bottom-up
    EXPECT_EQ(Image.GetBitCount(), D.ImageBits);
    EXPECT_EQ(Image.GetColorCount(), D.ImageBits <= 8 ? 1 << D.ImageBits : 0);
    for (int32_t Y = 0; Y < 5; ++Y)
      for (int32_t X = 0; X < 7; ++X) {
        EXPECT_EQ(static_cast<TColor>(PictureColor(Image, X, Y)), B.Canvas().GetPixel(X, Y))
            << X << ", " << Y;
        if (D.Bits <= 8) {  // indices as they were
          EXPECT_EQ(RawPixel(Image.ReadScanLine(Y), X, D.Bits), RawPixel(B.ScanLine(Y), X, D.Bits));
        }
      }
  }
}

TEST(DIBAssign, FromAnIndexedBitmapWithAPaletteOfItsOwn) {
  TBitmap B;
  B.SetPixelFormat(pf8bit);
  B.SetSize(3, 1);
  TLogPalette Log(3);
  Log.Entry(0) = {10, 20, 30, 0};
  Log.Entry(1) = {40, 50, 60, 0};
  Log.Entry(2) = {70, 80, 90, 0};
  B.SetPalette(CreatePalette(Log.get()));
  B.ScanLine(0)[0] = 2, B.ScanLine(0)[1] = 0, B.ScanLine(0)[2] = 1;
  TKvDIB Image;
  Image.Assign(&B);
  EXPECT_EQ(Image.GetColorCount(), 256);  // the platform left it 0: the default count
  EXPECT_EQ(Image.GetColors(1), static_cast<TColor>(MakeRGB(40, 50, 60)));
  EXPECT_EQ(Image.GetColors(3), kClBlack);
  EXPECT_EQ(Image.ReadScanLine(0)[0], 2);
  EXPECT_EQ(PictureColor(Image, 0, 0), MakeRGB(70, 80, 90));
}

TEST(DIBAssign, RefusedSourcesLeaveTheImage) {
  std::mt19937 Rng(1);
  TKvDIB Image;
  FillRandom(Image, Rng, 4, 4, kvPf24Bit);
  const TKvInternalDIB* Storage = Image.InternalDIB();
  int Changes = 0;
  Image.OnChange = [&](TGraphic*) { ++Changes; };
  const int64_t Blocks = PixelBlocksInUse();

  TBitmap Empty;
  ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { Image.Assign(&Empty); },
                                           "TKvInternalDIB.CreateDIB: Invalid Parameters");
  // No screen context can be had: the bitmap cannot be read.
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(2, 2);
  const int64_t Limit = SetGdiObjectLimit(GdiObjectsInUse());
  ExpectThrowMessage<EOutOfResources>([&] { Image.Assign(&B); }, "TKvDIB.Assign: Cannot Read Bitmap");
  SetGdiObjectLimit(Limit);
  // A class that cannot give itself to an image.
  TPicture Picture;
  ExpectThrowMessage<EConvertError>([&] { Image.Assign(&Picture); }, "Cannot assign a TPicture to a TKvDIB");
  EXPECT_EQ(Image.InternalDIB(), Storage);
  EXPECT_EQ(Changes, 0);
  EXPECT_EQ(PixelBlocksInUse(), Blocks);
}

TEST(DIBAssign, NothingAnotherImageAndItself) {
  std::mt19937 Rng(3);
  TKvDIB A;
  FillRandom(A, Rng, 5, 3, kvPf4Bit);
  A.FineMethod = true;
  A.BackgroundColor = kClBlack;
  A.HalftoneMode = 2;
  TKvDIB B;
  int Changes = 0;
  B.OnChange = [&](TGraphic*) { ++Changes; };
  B.SetPaletteDirty(false);
  B.Assign(&A);
  EXPECT_EQ(B.InternalDIB(), A.InternalDIB());
  EXPECT_EQ(A.InternalDIB()->RefCount, 2);
  EXPECT_TRUE(B.FineMethod);
  EXPECT_EQ(B.BackgroundColor, kClBlack);
  EXPECT_EQ(B.HalftoneMode, 2);
  EXPECT_TRUE(B.PaletteDirty());
  B.Assign(&B);
  EXPECT_EQ(A.InternalDIB()->RefCount, 2);
  B.Assign(nullptr);
  EXPECT_EQ(A.InternalDIB()->RefCount, 1);
  EXPECT_EQ(B.GetWidth(), 1);
  EXPECT_EQ(B.GetColorCount(), 2);
  EXPECT_EQ(Changes, 0);  // neither sends a change notification
  // AssignTo an image is the image's Assign.
  A.AssignTo(&B);
  EXPECT_EQ(B.InternalDIB(), A.InternalDIB());
}

TEST(DIBAssign, ToBitmapsForEveryFormat) {
  std::mt19937 Rng(9);
  const TPixelFormat Expected[] = {pf1bit, pf4bit, pf4bit, pf8bit, pf8bit, pf24bit};
  for (const TKvPixelFormat F : kStorageFormats) {
    for (const int32_t Height : {6, -6}) {
      SCOPED_TRACE(testing::Message() << FormatName(F) << ", height " << Height);
      TKvDIB Image;
      FillRandom(Image, Rng, 10, Height, F);
      Image.HalftoneMode = 1;  // the bitmap still gets the image's own palette
      TKvDIB Plain;
      Decoded(Image, Plain);
      TBitmap B;
      Image.AssignTo(&B);
      EXPECT_EQ(Image.HalftoneMode, 1);
      EXPECT_EQ(B.PixelFormat(), Expected[F]);
      EXPECT_EQ(B.GetWidth(), 10);
      EXPECT_EQ(B.GetHeight(), 6);
      if (Plain.GetBitCount() <= 8) {
        PALETTEENTRY E[256];
        const uint32_t N = GetPaletteEntries(B.GetPalette(), 0, 256, E);
        ASSERT_EQ(N, static_cast<uint32_t>(Plain.GetColorCount()));
        for (uint32_t I = 0; I < N; ++I)
          EXPECT_EQ(MakeRGB(E[I].peRed, E[I].peGreen, E[I].peBlue),
                    static_cast<COLORREF>(Plain.GetColors(I)));
      } else {
        EXPECT_EQ(B.GetPalette(), nullptr);
      }
      for (int32_t Y = 0; Y < 6; ++Y)
        for (int32_t X = 0; X < 10; ++X) {
          EXPECT_EQ(B.Canvas().GetPixel(X, Y), static_cast<TColor>(PictureColor(Plain, X, Y)));
          if (Plain.GetBitCount() <= 8) {
            EXPECT_EQ(RawPixel(B.ScanLine(Y), X, Plain.GetBitCount()),
                      RawPixel(Plain.ReadScanLine(Y), X, Plain.GetBitCount()));
          }
        }
      // And back: the same pixels and colours (bottom-up now).
      TKvDIB Back;
      Back.Assign(&B);
      for (int32_t Y = 0; Y < 6; ++Y)
        for (int32_t X = 0; X < 10; ++X) EXPECT_EQ(PictureColor(Back, X, Y), PictureColor(Plain, X, Y));
      // The bitmap's own Assign asks the image.
      TBitmap C;
      C.Assign(&Image);
      EXPECT_EQ(C.Canvas().GetPixel(3, 2), B.Canvas().GetPixel(3, 2));
    }
  }
  TKvDIB Image;
  TPicture Picture;
  ExpectThrowMessage<EConvertError>([&] { Image.AssignTo(&Picture); },
                                    "Cannot assign a TKvDIB to a TPicture");
}

}  // namespace
}  // namespace kv::test
