// TKvDIB.PaintTo against a plain formulation: every destination pixel on its own, its source
// pixel computed straight from the rectangle, for every storage format stretched up, down
// and mirrored; the halftone modes against the halftone of a reference image sampled the
// same way; and what drawing does to the device context and to the image itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBDrawInfo.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/StretchDIBits.h"
#include "tests/KvTestSupport.h"
#include "tests/dib_fixtures.h"
#include "tests/gdi_fixtures.h"

namespace kv::test {
namespace {

constexpr int64_t kNone = INT64_MIN;

// The step along one axis of destination pixel P in a rectangle from Origin over Extent
// pixels (leftwards or upwards when negative), or kNone outside it.
int64_t step_of(int64_t P, int64_t Origin, int64_t Extent) {
  if (Extent > 0) return P >= Origin && P < Origin + Extent ? P - Origin : kNone;
  return P >= Origin + Extent && P < Origin ? Origin - 1 - P : kNone;
}
// The source pixel under the centre of destination step K.
int64_t sample(int64_t K, int64_t Source, int64_t Dest) {
  return (2 * K + 1) * Source / (2 * std::llabs(Dest));
}

uint32_t raw24(COLORREF C) { return (C >> 16 & 255) | (C & 0xFF00) | (C & 255) << 16; }

// Paints Image into R of a scribbled 24-bit target and returns the target's pixels.
std::vector<uint32_t> paint(TKvDIB& Image, const TRect& R, TTarget& T) {
  T.Scribble();
  TCanvas C;
  C.SetHandle(T.Dc());
  Image.PaintTo(C, R);
  C.SetHandle(nullptr);
  std::vector<uint32_t> Out;
  for (int32_t Y = 0; Y < T.Height(); ++Y)
    for (int32_t X = 0; X < T.Width(); ++X) Out.push_back(T.Raw(X, Y));
  return Out;
}

std::vector<uint32_t> scribbled(TTarget& T) {
  T.Scribble();
  std::vector<uint32_t> Out;
  for (int32_t Y = 0; Y < T.Height(); ++Y)
    for (int32_t X = 0; X < T.Width(); ++X) Out.push_back(T.Raw(X, Y));
  return Out;
}

// What R of the target shows when Shown (Shown's pixel (K, L) at step (K, L) of R) is
// drawn there; the scribble elsewhere.
std::vector<uint32_t> expected_1to1(TTarget& T, const TRect& R,
                                    const std::function<COLORREF(int64_t, int64_t)>& Shown) {
  std::vector<uint32_t> Want = scribbled(T);
  for (int32_t Y = 0; Y < T.Height(); ++Y) {
    const int64_t L = step_of(Y, R.Top, int64_t{R.Bottom} - R.Top);
    for (int32_t X = 0; X < T.Width(); ++X) {
      const int64_t K = step_of(X, R.Left, int64_t{R.Right} - R.Left);
      if (K != kNone && L != kNone) Want[static_cast<size_t>(Y) * T.Width() + X] = raw24(Shown(K, L));
    }
  }
  return Want;
}

void expect_pixels(const std::vector<uint32_t>& Got, const std::vector<uint32_t>& Want, int32_t Width,
                   const std::string& What) {
  ASSERT_EQ(Got.size(), Want.size());
  int Wrong = 0;
  for (size_t I = 0; I < Got.size(); ++I)
    if (Got[I] != Want[I] && Wrong++ < 3)
      ADD_FAILURE() << What << ": pixel (" << I % Width << ", " << I / Width << ") is " << std::hex << Got[I]
                    << ", expected " << Want[I];
}

struct TPlace {
  TRect R;
  const char* Name;
};
// Sources are 13 x 9 pixels; the target is 30 x 22.
const TPlace kPlaces[] = {
    {{3, 2, 16, 11}, "1:1"},
    {{0, 0, 26, 18}, "2x up"},
    {{1, 2, 8, 7}, "down"},
    {{2, 1, 31, 25}, "up, clipped by the surface"},
    {{20, 1, 7, 10}, "mirrored left-right"},
    {{2, 20, 15, 11}, "mirrored upside down"},
    {{25, 20, 5, 3}, "mirrored both ways, enlarged"},
    {{-4, -3, 9, 6}, "origin off the surface"},
};

TEST(DIBPaint, DirectModeDrawsEveryFormatAsThePlainFormulation) {
  std::mt19937 Rng(21);
  TTarget T(30, 22, 24);
  for (const TKvPixelFormat F : kStorageFormats) {
    for (const int32_t Height : {9, -9}) {
      TKvDIB Image;
      FillRandom(Image, Rng, 13, Height, F);
      TKvDIB Plain;
      Decoded(Image, Plain);
      for (const TPlace& P : kPlaces) {
        const std::string What = std::string(FormatName(F)) + (Height < 0 ? " top-down " : " ") + P.Name;
        const int64_t W = int64_t{P.R.Right} - P.R.Left, H = int64_t{P.R.Bottom} - P.R.Top;
        const std::vector<uint32_t> Want = expected_1to1(T, P.R, [&](int64_t K, int64_t L) {
          return PictureColor(Plain, static_cast<int32_t>(sample(K, 13, W)),
                              static_cast<int32_t>(sample(L, 9, H)));
        });
        expect_pixels(paint(Image, P.R, T), Want, T.Width(), What);
      }
    }
  }
}

TEST(DIBPaint, DirectModeRealisesThePaletteAndRestoresTheContext) {
  std::mt19937 Rng(3);
  TTarget T(20, 20, 24);
  TCanvas C;
  C.SetHandle(T.Dc());
  SetStretchBltMode(T.Dc(), kHalftoneMode);
  const HPALETTE Default = static_cast<HPALETTE>(GetCurrentObject(T.Dc(), kObjPal));

  TKvDIB Eight;
  FillRandom(Eight, Rng, 5, 5, kvPf8Bit);
  TDCPaletteHistory Before{}, After{};
  GetDCPaletteHistory(T.Dc(), Before);
  Eight.PaintTo(C, TRect{0, 0, 5, 5});
  GetDCPaletteHistory(T.Dc(), After);
  EXPECT_EQ(After.Selections, Before.Selections + 2);  // the image's palette, then back
  EXPECT_EQ(After.Realizations, Before.Realizations + 1);
  EXPECT_EQ(After.LastRealized, Eight.GetPalette());
  EXPECT_EQ(After.LastSelected, Default);
  EXPECT_TRUE(After.LastForcedBackground);
  EXPECT_EQ(GetCurrentObject(T.Dc(), kObjPal), Default);
  EXPECT_EQ(GetStretchBltMode(T.Dc()), kHalftoneMode);

  // A 24-bit image without colour table selects no palette at all.
  TKvDIB True;
  FillRandom(True, Rng, 5, 5, kvPf24Bit);
  True.PaintTo(C, TRect{0, 0, 5, 5});
  GetDCPaletteHistory(T.Dc(), Before);
  EXPECT_EQ(Before.Selections, After.Selections);
  EXPECT_EQ(GetStretchBltMode(T.Dc()), kHalftoneMode);

  // The canvas's copy mode is the raster operation: one the platform does not draw draws
  // nothing.
  const std::vector<uint32_t> Scribble = scribbled(T);
  C.CopyMode = 0x00EE0086;
  True.PaintTo(C, TRect{0, 0, 5, 5});
  std::vector<uint32_t> Now;
  for (int32_t Y = 0; Y < T.Height(); ++Y)
    for (int32_t X = 0; X < T.Width(); ++X) Now.push_back(T.Raw(X, Y));
  EXPECT_EQ(Now, Scribble);
  C.SetHandle(nullptr);
}

// An RLE8 image whose stream is Stream and whose header says biSizeImage SizeImage.
void rle_image(TKvDIB& D, const std::vector<uint8_t>& Stream, uint32_t SizeImage) {
  std::vector<uint8_t> Block(40 + 1024, 0);
  BITMAPINFOHEADER H{40, 4, 2, 1, 8, kBiRLE8, SizeImage, 0, 0, 256, 0};
  std::memcpy(Block.data(), &H, 40);
  for (int I = 0; I < 256; ++I) Block[40 + 4 * I + 2] = static_cast<uint8_t>(I);  // red = index
  Block.insert(Block.end(), Stream.begin(), Stream.end());
  D.LoadFromPackedDIB(Block);
}

TEST(DIBPaint, RleDataIsDrawnAsFarAsItsBlockWhateverTheHeaderSays) {
  TKvDIB D;
  rle_image(D, {2, 5, 2, 6, 0, 0, 4, 7, 0, 1}, 0);
  const TKvDrawInfo Info(D.DIBInfo());
  EXPECT_EQ(Info.get()->bmiHeader.biSizeImage, 10u);
  EXPECT_EQ(D.DIBInfo().Header.biSizeImage, 0u);  // the image itself keeps its header
  TTarget T(4, 2, 24);
  // biSizeImage 0 (which the platform would refuse) and one far beyond the stream, which
  // would send the platform's decoder past the block.
  for (const uint32_t SizeImage : {0u, 0x7FFFFFF0u}) {
    rle_image(D, {2, 5, 2, 6, 0, 0, 4, 7, 0, 1}, SizeImage);
    const std::vector<uint32_t> Got = paint(D, TRect{0, 0, 4, 2}, T);
    const std::vector<uint32_t> Want = {
        raw24(MakeRGB(7, 0, 0)), raw24(MakeRGB(7, 0, 0)), raw24(MakeRGB(7, 0, 0)), raw24(MakeRGB(7, 0, 0)),
        raw24(MakeRGB(5, 0, 0)), raw24(MakeRGB(5, 0, 0)), raw24(MakeRGB(6, 0, 0)), raw24(MakeRGB(6, 0, 0))};
    EXPECT_EQ(Got, Want) << SizeImage;
  }
  // An uncompressed image hands over its own header.
  TKvDIB True;
  EXPECT_EQ(static_cast<const void*>(TKvDrawInfo(True.DIBInfo()).get()), True.DIBInfo().BitmapInfo());
}

// The halftone of Image shown at Width x Height, made without the drawing code: a reference
// image of the same depth and colours sampled pixel by pixel, halftoned by the library.
void reference_halftone(const TKvDIB& Image, int64_t Width, int64_t Height, uint8_t Mode, TKvDIB& Ref) {
  TKvDIB Plain;
  Decoded(Image, Plain);
  Ref.SetBitCount(Plain.GetBitCount());
  Ref.SetWidth(static_cast<int32_t>(Width));
  Ref.SetHeight(static_cast<int32_t>(Height));
  if (Plain.GetBitCount() <= 8) Ref.SetColorTable(Plain.DIBInfo().Colors, Plain.GetColorCount());
  const uint16_t Bits = Plain.GetBitCount();
  for (int32_t Y = 0; Y < Ref.GetHeight(); ++Y) {
    const uint8_t* From = Plain.ReadScanLine(static_cast<int32_t>(sample(Y, Plain.GetHeight(), Height)));
    uint8_t* To = Ref.GetScanLine(Y);
    for (int32_t X = 0; X < Ref.GetWidth(); ++X) {
      const int64_t SX = sample(X, Plain.GetWidth(), Width);
      if (Bits == 24)
        std::memcpy(To + 3 * X, From + 3 * SX, 3);
      else
        PutRaw(To, X, Bits, RawPixel(From, static_cast<int32_t>(SX), Bits));
    }
  }
  Ref.SetPixelFormat(Mode == 1 ? kvPfHalfTone : kvPfHalfToneBW);
}

TEST(DIBPaint, HalftoneModesDrawTheHalftoneOfExactlyTheShownPixels) {
  std::mt19937 Rng(5);
  TTarget T(30, 22, 24);
  for (const TKvPixelFormat F : kStorageFormats) {
    for (const uint8_t Mode : {1, 2}) {
      TKvDIB Image;
      FillRandom(Image, Rng, 13, F == kvPf24Bit ? -9 : 9, F);
      TKvDIB Sharer;
      Sharer.Assign(&Image);
      Image.HalftoneMode = Mode;
      Image.SetPaletteDirty(false);
      const std::vector<uint8_t> Pixels = PixelBytes(Image);
      const std::vector<RGBQUAD> Colors(Image.DIBInfo().Colors, Image.DIBInfo().Colors + 256);
      const HPALETTE Palette = Image.GetDIBPalette();
      const int64_t Blocks = PixelBlocksInUse(), Objects = GdiObjectsInUse();
      for (const TPlace& P : kPlaces) {
        const std::string What = std::string(FormatName(F)) + " mode " + std::to_string(Mode) + " " + P.Name;
        const int64_t W = int64_t{P.R.Right} - P.R.Left, H = int64_t{P.R.Bottom} - P.R.Top;
        TKvDIB Ref;
        reference_halftone(Image, std::llabs(W), std::llabs(H), Mode, Ref);
        const std::vector<uint32_t> Want = expected_1to1(T, P.R, [&](int64_t K, int64_t L) {
          return PictureColor(Ref, static_cast<int32_t>(K), static_cast<int32_t>(L));
        });
        expect_pixels(paint(Image, P.R, T), Want, T.Width(), What);
      }
      // The image is as it was: pixels, colours, palette, mode, sharing.
      EXPECT_EQ(PixelBytes(Image), Pixels);
      EXPECT_EQ(std::memcmp(Image.DIBInfo().Colors, Colors.data(), 1024), 0);
      EXPECT_EQ(Image.GetDIBPalette(), Palette);
      EXPECT_EQ(Image.HalftoneMode, Mode);
      EXPECT_EQ(Image.InternalDIB(), Sharer.InternalDIB());
      EXPECT_FALSE(Image.PaletteDirty());
      EXPECT_EQ(PixelBlocksInUse(), Blocks);
      EXPECT_EQ(GdiObjectsInUse(), Objects);
    }
  }
}

TEST(DIBPaint, WhatDrawsNothing) {
  std::mt19937 Rng(9);
  TTarget T(10, 10, 24);
  TKvDIB Image;
  FillRandom(Image, Rng, 4, 4, kvPf8Bit);
  for (const uint8_t Mode : {1, 2}) {
    Image.HalftoneMode = Mode;
    for (const TRect& R : {TRect{2, 2, 2, 8}, TRect{2, 5, 8, 5}}) {
      const std::vector<uint32_t> Scribble = scribbled(T);
      EXPECT_EQ(paint(Image, R, T), Scribble);
    }
  }
  Image.HalftoneMode = 3;
  const std::vector<uint32_t> Scribble = scribbled(T);
  EXPECT_EQ(paint(Image, TRect{0, 0, 10, 10}, T), Scribble);
}

TEST(DIBPaint, AFailedHalftoneRestoresTheModeAndReleasesEverything) {
  std::mt19937 Rng(13);
  TTarget T(10, 10, 24);
  TKvDIB Image;
  FillRandom(Image, Rng, 4, 4, kvPf24Bit);
  Image.HalftoneMode = 1;
  const int64_t Blocks = PixelBlocksInUse(), Objects = GdiObjectsInUse();
  const int64_t Limit = SetGdiObjectLimit(Objects);  // no memory context can be made
  TCanvas C;
  C.SetHandle(T.Dc());
  ExpectThrowMessage<EOutOfResources>(
      [&] {
        Image.PaintTo(C, TRect{0, 0, 8, 8});
      },
      "TKvDIBCanvas.Create: Cannot Create Memory DC");
  C.SetHandle(nullptr);
  SetGdiObjectLimit(Limit);
  EXPECT_EQ(Image.HalftoneMode, 1);
  EXPECT_EQ(PixelBlocksInUse(), Blocks);
  EXPECT_EQ(GdiObjectsInUse(), Objects);
}

}  // namespace
}  // namespace kv::test
