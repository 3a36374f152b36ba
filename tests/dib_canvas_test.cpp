// TKvDIBCanvas: strokes that land in the image's own pixels at once and in no other image's,
// the one change notification at release, the image's own palette selected whatever its
// mode, and the refusals (an RLE image, no memory context) that leave nothing behind.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBCanvas.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/GdiObjects.h"
#include "tests/KvTestSupport.h"
#include "tests/dib_fixtures.h"

namespace kv::test {
namespace {

constexpr char kCannotCreate[] = "TKvDIBCanvas.Create: Cannot Create Memory DC";

TEST(DIBCanvas, DrawsIntoTheImagesOwnPixelsOnly) {
  std::mt19937 Rng(2);
  const int64_t Objects = GdiObjectsInUse(), Blocks = PixelBlocksInUse();
  for (const TKvPixelFormat F : {kvPf1Bit, kvPf4Bit, kvPf8Bit, kvPf24Bit}) {
    for (const int32_t Height : {6, -6}) {
      SCOPED_TRACE(testing::Message() << FormatName(F) << ", height " << Height);
      TKvDIB A;
      FillRandom(A, Rng, 9, Height, F);
      if (A.GetBitCount() <= 8) {  // a red entry to draw with
        std::vector<RGBQUAD> Table(A.DIBInfo().Colors, A.DIBInfo().Colors + A.GetColorCount());
        Table[1] = RGBQUAD{0, 0, 255, 0};
        A.SetColorTable(Table.data(), static_cast<int32_t>(Table.size()));
      }
      TKvDIB B;
      B.Assign(&A);
      const std::vector<uint8_t> Shared = PixelBytes(B);
      int Changes = 0;
      A.OnChange = [&](TGraphic* Sender) {
        EXPECT_EQ(Sender, &A);
        ++Changes;
      };
      A.SetPaletteDirty(false);
      {
        TKvDIBCanvas Canvas(A);
        EXPECT_NE(A.InternalDIB(), B.InternalDIB());  // made private first
        EXPECT_EQ(A.InternalDIB()->RefCount, 1);
        EXPECT_EQ(Canvas.Handle(), Canvas.MemoryDC());
        EXPECT_EQ(PixelBytes(A), Shared);
        Canvas.Pen.Color = kClRed;
        Canvas.MoveTo(1, 2);
        Canvas.LineTo(7, 2);
        // In the image at once, before the canvas goes; no notification yet.
        for (int32_t X = 1; X < 7; ++X) EXPECT_EQ(PictureColor(A, X, 2), MakeRGB(255, 0, 0)) << X;
        EXPECT_EQ(Changes, 0);
      }
      EXPECT_EQ(Changes, 1);
      EXPECT_TRUE(A.PaletteDirty());
      EXPECT_EQ(PixelBytes(B), Shared);  // the other image never saw a stroke
      for (int32_t Y = 0; Y < 6; ++Y)
        for (int32_t X = 0; X < 9; ++X)
          if (Y != 2 || X < 1 || X >= 7) {
            EXPECT_EQ(PictureColor(A, X, Y), PictureColor(B, X, Y));
          }
    }
  }
  EXPECT_EQ(GdiObjectsInUse(), Objects);
  EXPECT_EQ(PixelBlocksInUse(), Blocks);
}

TEST(DIBCanvas, SelectsTheImagesOwnPaletteInEveryMode) {
  std::mt19937 Rng(4);
  TKvDIB A;
  FillRandom(A, Rng, 4, 4, kvPf8Bit, 30);
  A.HalftoneMode = 1;
  TKvDIBCanvas Canvas(A);
  TDCPaletteHistory History{};
  ASSERT_TRUE(GetDCPaletteHistory(Canvas.MemoryDC(), History));
  EXPECT_EQ(History.LastSelected, A.GetDIBPalette());
  EXPECT_NE(History.LastSelected, A.GetPalette());  // not the halftone palette
  EXPECT_TRUE(History.LastForcedBackground);
  EXPECT_EQ(History.LastRealized, A.GetDIBPalette());
  EXPECT_EQ(A.HalftoneMode, 1);
  EXPECT_NE(Canvas.DIBSection(), nullptr);
  EXPECT_NE(Canvas.SectionBits(), nullptr);
}

TEST(DIBCanvas, RefusalsReleaseWhatWasMade) {
  std::mt19937 Rng(6);
  TKvDIB Rle;
  FillRandom(Rle, Rng, 8, 4, kvPf8BitRLE);
  (void)Rle.GetDIBPalette();
  const int64_t Objects = GdiObjectsInUse(), Blocks = PixelBlocksInUse();
  const std::vector<uint8_t> Stream = PixelBytes(Rle);
  int Changes = 0;
  Rle.OnChange = [&](TGraphic*) { ++Changes; };
  ExpectThrowMessage<EOutOfResources>([&] { TKvDIBCanvas Canvas(Rle); }, kCannotCreate);
  EXPECT_EQ(PixelBytes(Rle), Stream);
  EXPECT_EQ(Changes, 1);  // a half-made canvas is released like a whole one
  EXPECT_EQ(GdiObjectsInUse(), Objects);

  TKvDIB Plain;
  FillRandom(Plain, Rng, 8, 4, kvPf4Bit);
  (void)Plain.GetDIBPalette();
  const int64_t Limit = SetGdiObjectLimit(GdiObjectsInUse());
  ExpectThrowMessage<EOutOfResources>([&] { TKvDIBCanvas Canvas(Plain); }, kCannotCreate);
  SetGdiObjectLimit(Limit);
  EXPECT_EQ(GdiObjectsInUse(), Objects + 1);  // Plain's palette
  EXPECT_EQ(PixelBlocksInUse(), Blocks + 1);  // Plain's block
}

}  // namespace
}  // namespace kv::test
