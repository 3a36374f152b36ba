// StretchDIBits, StretchBlt and GetDIBits against a plain formulation: every destination
// pixel on its own, its source pixel computed straight from the geometry, its colour read
// from the picture the DIB was made from and matched to the destination's table by a
// linear search.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/graphics/DIBits.h"
#include "platform/graphics/Palette.h"
#include "platform/graphics/StretchDIBits.h"
#include "tests/gdi_fixtures.h"

namespace kv::test {
namespace {

struct TGeometry {
  int32_t XD, YD, WD, HD, XS, YS, WS, HS;
  const char* Name;
};

constexpr int64_t kNone = INT64_MIN;

// The source pixel of destination pixel P along one axis, or kNone.
int64_t source_of(int64_t P, int64_t DO, int64_t DE, int64_t SO, int64_t SE) {
  int64_t K;
  if (DE > 0) {
    if (P < DO || P >= DO + DE) return kNone;
    K = P - DO;
  } else {
    if (P < DO + DE || P >= DO) return kNone;
    K = DO - 1 - P;
  }
  const int64_t AS = SE < 0 ? -SE : SE, AD = DE < 0 ? -DE : DE;
  const int64_t J = (2 * K + 1) * AS / (2 * AD);
  return SE > 0 ? SO + J : SO - 1 - J;
}

// The raw value a colour takes on the target (Index: the source's palette index, or -1).
uint32_t expected_value(const TTarget& T, COLORREF C, int64_t Index) {
  const uint32_t R = C & 255, G = C >> 8 & 255, B = C >> 16 & 255;
  switch (T.BitCount()) {
    case 16: return (R >> 3) << 11 | (G >> 2) << 5 | B >> 3;  // the targets of 16 bits are 5-6-5
    case 24:
    case 32: return B | G << 8 | R << 16;
    default:
      if (Index >= 0 && Index < static_cast<int64_t>(T.Colors().size()) && ColorOf(T.Colors()[Index]) == C)
        return static_cast<uint32_t>(Index);
      return NearestIndex(T.Colors(), C);
  }
}

// Draws Src with G onto a scribbled target and compares every pixel with the reference.
void check_draw(TTarget& T, TTestDIB& Src, const TGeometry& G, const std::string& What) {
  T.Scribble();
  std::vector<uint32_t> Before;
  for (int32_t Y = 0; Y < T.Height(); ++Y)
    for (int32_t X = 0; X < T.Width(); ++X) Before.push_back(T.Raw(X, Y));
  const int32_t Rows = StretchDIBits(T.Dc(), G.XD, G.YD, G.WD, G.HD, G.XS, G.YS, G.WS, G.HS, Src.Bits.data(),
                                     Src.Info(), kDibRgbColors, kSrcCopy);
  const int64_t SrcTop = Src.TopDown ? G.YS : int64_t{Src.Height} - G.YS - G.HS;
  int32_t Drawn = 0, Wrong = 0;
  for (int32_t Y = 0; Y < T.Height(); ++Y) {
    const int64_t SY = source_of(Y, G.YD, G.HD, SrcTop, G.HS);
    const bool RowDrawn = SY != kNone && SY >= 0 && SY < Src.Height;
    bool AnyInRow = false;
    for (int32_t X = 0; X < T.Width(); ++X) {
      const int64_t SX = source_of(X, G.XD, G.WD, G.XS, G.WS);
      uint32_t Want = Before[static_cast<size_t>(Y) * T.Width() + X];
      if (RowDrawn && SX != kNone && SX >= 0 && SX < Src.Width) {
        const auto IX = static_cast<int32_t>(SX), IY = static_cast<int32_t>(SY);
        Want = expected_value(T, Src.ColorAt(IX, IY), Src.BitCount <= 8 ? Src.At(IX, IY) : -1);
        AnyInRow = true;
      }
      if (T.Raw(X, Y) != Want && Wrong++ < 3)
        ADD_FAILURE() << What << " " << G.Name << ": pixel (" << X << ", " << Y << ") is " << T.Raw(X, Y)
                      << ", expected " << Want;
    }
    Drawn += AnyInRow;
  }
  EXPECT_EQ(Rows, Drawn) << What << " " << G.Name;
}

// A simple RLE encoder for the tests: encoded runs on most rows, absolute runs on every
// third, an end of line after each row and an end of bitmap last.
std::vector<uint8_t> encode_rle(const TTestDIB& D, bool Rle4) {
  std::vector<uint8_t> S;
  for (int32_t R = 0; R < D.Height; ++R) {
    const int32_t Y = D.TopDown ? R : D.Height - 1 - R;
    int32_t X = 0;
    if (R % 3 == 0) {
      while (X < D.Width) {
        const int32_t N = std::min(D.Width - X, 5);
        if (N < 3) {  // too short for an absolute run: one encoded run per pixel
          for (int32_t I = 0; I < N; ++I) {
            S.push_back(1);
            S.push_back(static_cast<uint8_t>(Rle4 ? D.At(X + I, Y) << 4 : D.At(X + I, Y)));
          }
          X += N;
          continue;
        }
        S.push_back(0);
        S.push_back(static_cast<uint8_t>(N));
        const size_t Start = S.size();
        for (int32_t I = 0; I < N; ++I) {
          if (!Rle4)
            S.push_back(static_cast<uint8_t>(D.At(X + I, Y)));
          else if (I % 2 == 0)
            S.push_back(static_cast<uint8_t>(D.At(X + I, Y) << 4));
          else
            S.back() |= static_cast<uint8_t>(D.At(X + I, Y));
        }
        if ((S.size() - Start) % 2) S.push_back(0);
        X += N;
      }
    } else {
      while (X < D.Width) {
        if (Rle4) {  // two pixels per element, alternating
          const int32_t N = std::min(D.Width - X, 2);
          S.push_back(static_cast<uint8_t>(N));
          S.push_back(static_cast<uint8_t>(D.At(X, Y) << 4 | (N > 1 ? D.At(X + 1, Y) : 0)));
          X += N;
        } else {
          int32_t N = 1;
          while (X + N < D.Width && N < 255 && D.At(X + N, Y) == D.At(X, Y)) ++N;
          S.push_back(static_cast<uint8_t>(N));
          S.push_back(static_cast<uint8_t>(D.At(X, Y)));
          X += N;
        }
      }
    }
    S.push_back(0);
    S.push_back(R + 1 == D.Height ? 1 : 0);
  }
  return S;
}

// A picture with runs of equal pixels, as RLE data usually holds.
void give_runs(std::mt19937& Rng, TTestDIB& D) {
  std::uniform_int_distribution<uint32_t> Any;
  for (size_t I = 0; I < D.Picture.size();) {
    const uint32_t V = Any(Rng) % (1u << D.BitCount), N = 1 + Any(Rng) % 6;
    for (uint32_t K = 0; K < N && I < D.Picture.size(); ++K) D.Picture[I++] = V;
  }
}

TTestDIB make_source(std::mt19937& Rng, const std::string& Kind, bool TopDown) {
  constexpr int32_t W = 13, H = 9;
  if (Kind == "rle8" || Kind == "rle4") {
    const bool Rle4 = Kind == "rle4";
    TTestDIB D = RandomDIB(Rng, W, H, Rle4 ? 4 : 8, TopDown, Rle4 ? 16 : 200);
    give_runs(Rng, D);
    D.Compression = Rle4 ? kBiRLE4 : kBiRLE8;
    D.Encode();
    D.Bits = encode_rle(D, Rle4);
    D.Info()->bmiHeader.biSizeImage = static_cast<uint32_t>(D.Bits.size());
    return D;
  }
  if (Kind == "32 masked") {  // ten bits per channel: fields wider than a byte
    TTestDIB D = RandomDIB(Rng, W, H, 32, TopDown);
    D.Compression = kBiBitFields;
    D.Masks[0] = 0x3FF00000, D.Masks[1] = 0x000FFC00, D.Masks[2] = 0x000003FF;
    D.Encode();
    return D;
  }
  if (Kind == "16 565") {
    TTestDIB D = RandomDIB(Rng, W, H, 16, TopDown);
    D.Compression = kBiBitFields;
    D.Masks[0] = 0xF800, D.Masks[1] = 0x07E0, D.Masks[2] = 0x001F;
    D.Encode();
    return D;
  }
  const int Bits = std::stoi(Kind);
  // Tables shorter than the depth allows: indices beyond them show black.
  return RandomDIB(Rng, W, H, static_cast<uint16_t>(Bits), TopDown, Bits == 8 ? 220 : Bits == 4 ? 14 : 2);
}

const TGeometry kGeometries[] = {
    {3, 2, 13, 9, 0, 0, 13, 9, "1:1"},
    {0, 0, 26, 18, 0, 0, 13, 9, "2x up, clipped by the surface"},
    {1, 1, 7, 5, 0, 0, 13, 9, "down"},
    {2, 1, 6, 4, 0, 0, 12, 8, "2x down"},
    {15, 1, -13, 9, 0, 0, 13, 9, "mirrored left-right"},
    {2, 12, 13, -9, 0, 0, 13, 9, "mirrored upside down"},
    {2, 1, 13, 9, 13, 9, -13, -9, "both mirrored through the source"},
    {0, 0, 10, 8, 2, 3, 5, 4, "part of the source, enlarged"},
    {-5, -3, 13, 9, 0, 0, 13, 9, "origin off the surface"},
    {0, 0, 16, 12, -2, -1, 16, 12, "source rectangle beyond the image"},
    {1, 0, 17, 15, 1, 1, 11, 7, "uneven stretch"},
    {19, 15, -26, -20, 12, 8, -13, -9, "mirrored extents everywhere"},
};

std::vector<RGBQUAD> random_table(std::mt19937& Rng, int N) {
  std::vector<RGBQUAD> T;
  std::uniform_int_distribution<uint32_t> Any;
  for (int I = 0; I < N; ++I) {
    const uint32_t C = Any(Rng);
    T.push_back(Quad(C & 255, C >> 8 & 255, C >> 16 & 255));
  }
  return T;
}

TEST(StretchDIBits, EveryFormatOntoEverySurfaceMatchesThePlainFormulation) {
  std::mt19937 Rng(2024);
  const std::vector<RGBQUAD> Table256 = random_table(Rng, 256), Table16 = random_table(Rng, 16);
  for (const std::string Kind : {"1", "4", "8", "24", "16", "16 565", "32", "32 masked", "rle8", "rle4"}) {
    for (const bool TopDown : {false, true}) {
      TTestDIB Src = make_source(Rng, Kind, TopDown);
      const std::string What = Kind + (TopDown ? " top-down" : " bottom-up");
      struct TDest {
        const char* Name;
        uint16_t Bits;
        std::vector<RGBQUAD> Colors;
        bool TopDown, Green6;
      };
      std::vector<TDest> Dests = {{"24", 24, {}, false, false},
                                  {"24 top-down", 24, {}, true, false},
                                  {"32", 32, {}, false, false},
                                  {"16 565", 16, {}, false, true},
                                  {"8", 8, Table256, false, false},
                                  {"4", 4, Table16, true, false},
                                  {"1", 1, {Quad(0, 0, 0), Quad(255, 255, 255)}, false, false}};
      if (Src.BitCount <= 8)
        Dests.push_back(
            {"own table", Src.BitCount == 1 ? uint16_t{8} : Src.BitCount, Src.Colors, false, false});
      for (const TDest& D : Dests) {
        TTarget T(20, 16, D.Bits, D.Colors, D.TopDown, D.Green6);
        for (const TGeometry& G : kGeometries) check_draw(T, Src, G, What + " onto " + D.Name);
      }
    }
  }
}

TEST(StretchDIBits, SmallCasesByHand) {
  // 4 x 2 pixels of 24 bits enlarged to 8 x 4, and reduced to 2 x 1: the reduction takes
  // the pixel under each destination pixel's centre (the second of each pair).
  TTestDIB Src;
  Src.Width = 4, Src.Height = 2, Src.BitCount = 24, Src.TopDown = true;
  Src.Picture = {0x000001, 0x000002, 0x000003, 0x000004, 0x000005, 0x000006, 0x000007, 0x000008};
  Src.Encode();
  TTarget T(8, 4, 24, {}, true);
  ASSERT_EQ(
      StretchDIBits(T.Dc(), 0, 0, 8, 4, 0, 0, 4, 2, Src.Bits.data(), Src.Info(), kDibRgbColors, kSrcCopy), 4);
  const uint32_t Up[4][8] = {
      {1, 1, 2, 2, 3, 3, 4, 4}, {1, 1, 2, 2, 3, 3, 4, 4}, {5, 5, 6, 6, 7, 7, 8, 8}, {5, 5, 6, 6, 7, 7, 8, 8}};
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 8; ++X) EXPECT_EQ(T.Raw(X, Y), Up[Y][X]) << X << ", " << Y;
  ASSERT_EQ(
      StretchDIBits(T.Dc(), 0, 0, 2, 1, 0, 0, 4, 2, Src.Bits.data(), Src.Info(), kDibRgbColors, kSrcCopy), 1);
  EXPECT_EQ(T.Raw(0, 0), 6u);  // row 1 of the picture, column 1
  EXPECT_EQ(T.Raw(1, 0), 8u);  // column 3
  // A negative destination width draws leftwards from the origin: pixels 3, 2, 1, 0.
  ASSERT_EQ(
      StretchDIBits(T.Dc(), 4, 3, -4, 1, 0, 0, 4, 1, Src.Bits.data(), Src.Info(), kDibRgbColors, kSrcCopy),
      1);
  for (int X = 0; X < 4; ++X) EXPECT_EQ(T.Raw(X, 3), uint32_t(4 - X));
  // A bottom-up DIB's source origin is its bottom-left corner.
  Src.TopDown = false;
  Src.Encode();
  ASSERT_EQ(
      StretchDIBits(T.Dc(), 0, 0, 1, 1, 2, 0, 1, 1, Src.Bits.data(), Src.Info(), kDibRgbColors, kSrcCopy), 1);
  EXPECT_EQ(T.Raw(0, 0), 7u);  // bottom row, third column
}

TEST(StretchDIBits, RefusesWhatItCannotDraw) {
  std::mt19937 Rng(7);
  TTestDIB Src = RandomDIB(Rng, 4, 4, 8, false);
  TTarget T(8, 8, 24);
  T.Scribble();
  const uint32_t Corner = T.Raw(0, 0);
  const auto draw = [&](HDC Dc, int32_t W, uint32_t Rop, const BITMAPINFO* Info) {
    return StretchDIBits(Dc, 0, 0, W, 4, 0, 0, 4, 4, Src.Bits.data(), Info, kDibRgbColors, Rop);
  };
  EXPECT_EQ(draw(T.Dc(), 4, 0x00EE0086, Src.Info()), 0);  // another raster operation
  EXPECT_EQ(draw(T.Dc(), 0, kSrcCopy, Src.Info()), 0);    // a zero extent
  EXPECT_EQ(draw(reinterpret_cast<HDC>(uintptr_t{0x12345678}), 4, kSrcCopy, Src.Info()),
            0);                                               // no such context
  EXPECT_EQ(draw(T.Dc(), 1 << 28, kSrcCopy, Src.Info()), 0);  // beyond the coordinate space
  Src.Info()->bmiHeader.biBitCount = 2;
  EXPECT_EQ(draw(T.Dc(), 4, kSrcCopy, Src.Info()), 0);
  Src.Info()->bmiHeader.biBitCount = 8;
  Src.Info()->bmiHeader.biCompression = kBiRLE8;  // RLE data without its size
  EXPECT_EQ(draw(T.Dc(), 4, kSrcCopy, Src.Info()), 0);
  EXPECT_EQ(T.Raw(0, 0), Corner);
}

TEST(StretchDIBits, DrawsWhatABrokenRleStreamHolds) {
  // Width 4, two rows, bottom-up: a run past the row end keeps its first four pixels, a
  // delta skips a pixel, and the stream stops inside an absolute run cut short.
  TTestDIB Src;
  Src.Width = 4, Src.Height = 3, Src.BitCount = 8, Src.Compression = kBiRLE8;
  Src.Colors = {Quad(0, 0, 0), Quad(1, 0, 0), Quad(2, 0, 0), Quad(3, 0, 0), Quad(4, 0, 0)};
  Src.Picture.assign(12, 0);
  Src.Encode();
  Src.Bits = {6, 1, 0, 0,        // bottom row: 1 1 1 1 (two more dropped), end of line
              1, 2, 0, 2, 1, 0,  // middle row: 2, delta one right
              1, 3, 0, 0,        // 3, end of line
              0, 4, 4, 4};       // top row: an absolute run of 4 with only two bytes left
  Src.Info()->bmiHeader.biSizeImage = static_cast<uint32_t>(Src.Bits.size());
  TTarget T(4, 3, 8, Src.Colors, true);
  T.Scribble();
  ASSERT_EQ(
      StretchDIBits(T.Dc(), 0, 0, 4, 3, 0, 0, 4, 3, Src.Bits.data(), Src.Info(), kDibRgbColors, kSrcCopy), 3);
  const uint32_t Want[3][4] = {{4, 4, 0, 0}, {2, 0, 3, 0}, {1, 1, 1, 1}};
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 4; ++X) EXPECT_EQ(T.Raw(X, Y), Want[Y][X]) << X << ", " << Y;
}

TEST(StretchDIBits, PaletteColoursComeFromTheContextsPalette) {
  TLogPalette Log(3);
  Log.Entry(0) = {10, 20, 30, 0}, Log.Entry(1) = {40, 50, 60, 0}, Log.Entry(2) = {70, 80, 90, 0};
  TPaletteHandle Pal(CreatePalette(Log.get()));
  TTarget T(2, 1, 24, {}, true);
  const HPALETTE Old = SelectPalette(T.Dc(), Pal.get(), false);
  std::vector<uint32_t> Words(10 + 2, 0);
  auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
  Info->bmiHeader = BITMAPINFOHEADER{40, 2, 1, 1, 8, kBiRGB, 0, 0, 0, 2, 0};
  const uint16_t Indices[2] = {2, 0};
  std::memcpy(Words.data() + 10, Indices, 4);
  const uint8_t Pixels[4] = {1, 0, 0, 0};
  ASSERT_EQ(StretchDIBits(T.Dc(), 0, 0, 2, 1, 0, 0, 2, 1, Pixels, Info, kDibPalColors, kSrcCopy), 1);
  EXPECT_EQ(T.Raw(0, 0), 30u | 20u << 8 | 10u << 16);  // table entry 1 -> palette entry 0
  EXPECT_EQ(T.Raw(1, 0), 90u | 80u << 8 | 70u << 16);  // table entry 0 -> palette entry 2
  SelectPalette(T.Dc(), Old, false);
}

TEST(StretchBlt, CopiesBetweenAndWithinSurfaces) {
  std::mt19937 Rng(11);
  TTestDIB Src = RandomDIB(Rng, 9, 7, 24, false);
  TTarget A(9, 7, 24), B(12, 10, 24, {}, true);
  ASSERT_EQ(
      StretchDIBits(A.Dc(), 0, 0, 9, 7, 0, 0, 9, 7, Src.Bits.data(), Src.Info(), kDibRgbColors, kSrcCopy), 7);
  // Device coordinates count from the top whatever the row order of the source.
  ASSERT_TRUE(StretchBlt(B.Dc(), 1, 2, 4, 3, A.Dc(), 2, 1, 4, 3, kSrcCopy));
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 4; ++X) EXPECT_EQ(B.Raw(1 + X, 2 + Y), A.Raw(2 + X, 1 + Y));
  // Onto itself, overlapping: the result is as if the source had been read first.
  std::vector<uint32_t> Before;
  for (int Y = 0; Y < 7; ++Y)
    for (int X = 0; X < 9; ++X) Before.push_back(A.Raw(X, Y));
  ASSERT_TRUE(StretchBlt(A.Dc(), 1, 1, 8, 6, A.Dc(), 0, 0, 8, 6, kSrcCopy));
  for (int Y = 1; Y < 7; ++Y)
    for (int X = 1; X < 9; ++X) EXPECT_EQ(A.Raw(X, Y), Before[(Y - 1) * 9 + (X - 1)]) << X << ", " << Y;
  EXPECT_FALSE(StretchBlt(A.Dc(), 0, 0, 2, 2, B.Dc(), 0, 0, 2, 2, 0x00660046));  // only SRCCOPY
}

TEST(GetDIBits, RoundTripsAndConversions) {
  std::mt19937 Rng(5);
  TTestDIB Src = RandomDIB(Rng, 11, 6, 8, false, 256);
  TTarget T(11, 6, 8, Src.Colors);
  ASSERT_EQ(
      StretchDIBits(T.Dc(), 0, 0, 11, 6, 0, 0, 11, 6, Src.Bits.data(), Src.Info(), kDibRgbColors, kSrcCopy),
      6);
  TScreenDC Screen;

  // The same depth: indices unchanged, the bitmap's own table, bottom-up or top-down.
  for (const bool TopDown : {false, true}) {
    std::vector<uint32_t> Words(10 + 256, 0);
    auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
    Info->bmiHeader = BITMAPINFOHEADER{40, 11, TopDown ? -6 : 6, 1, 8, kBiRGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> Bits(Stride(11, 8) * 6, 0xEE);
    ASSERT_EQ(GetDIBits(Screen.get(), T.Bitmap(), 0, 6, Bits.data(), Info, kDibRgbColors), 6);
    EXPECT_EQ(Info->bmiHeader.biClrUsed, 0u);  // left as it was
    EXPECT_EQ(std::memcmp(Words.data() + 10, Src.Colors.data(), 1024), 0);
    for (int Y = 0; Y < 6; ++Y)
      for (int X = 0; X < 11; ++X)
        EXPECT_EQ(RawPixel(Bits.data() + Stride(11, 8) * (TopDown ? Y : 5 - Y), X, 8), Src.At(X, Y));
  }

  // Some scan lines only, to 24 bits: line 0 of a bottom-up DIB is the bottom row.
  {
    std::vector<uint32_t> Words(10, 0);
    auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
    Info->bmiHeader = BITMAPINFOHEADER{40, 11, 6, 1, 24, kBiRGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> Bits(Stride(11, 24) * 2, 0);
    ASSERT_EQ(GetDIBits(Screen.get(), T.Bitmap(), 1, 2, Bits.data(), Info, kDibRgbColors), 2);
    for (int L = 0; L < 2; ++L)
      for (int X = 0; X < 11; ++X) {
        const COLORREF C = Src.ColorAt(X, 6 - 1 - (1 + L));
        EXPECT_EQ(RawPixel(Bits.data() + Stride(11, 24) * L, X, 24),
                  (C >> 16 & 255) | (C & 0xFF00) | (C & 255) << 16);
      }
    EXPECT_EQ(GetDIBits(Screen.get(), T.Bitmap(), 6, 2, Bits.data(), Info, kDibRgbColors),
              0);  // beyond the last
  }

  // A deeper bitmap read as 8 bits takes the context's palette as its table.
  {
    TTarget Deep(11, 6, 24);
    ASSERT_TRUE(BitBlt(Deep.Dc(), 0, 0, 11, 6, T.Dc(), 0, 0, kSrcCopy));
    TLogPalette Log(4);
    for (uint16_t I = 0; I < 4; ++I)
      Log.Entry(I) = {uint8_t(I * 80), uint8_t(255 - I * 60), uint8_t(I * 30), 0};
    TPaletteHandle Pal(CreatePalette(Log.get()));
    const HPALETTE Old = SelectPalette(Screen.get(), Pal.get(), true);
    std::vector<uint32_t> Words(10 + 256, 0xFFFFFFFF);
    auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
    Info->bmiHeader = BITMAPINFOHEADER{40, 11, 6, 1, 8, kBiRGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> Bits(Stride(11, 8) * 6, 0);
    ASSERT_EQ(GetDIBits(Screen.get(), Deep.Bitmap(), 0, 6, Bits.data(), Info, kDibRgbColors), 6);
    std::vector<RGBQUAD> Table(4);
    std::memcpy(Table.data(), Words.data() + 10, 16);
    for (uint16_t I = 0; I < 4; ++I)
      EXPECT_EQ(ColorOf(Table[I]), MakeRGB(Log.Entry(I).peRed, Log.Entry(I).peGreen, Log.Entry(I).peBlue));
    EXPECT_EQ(Words[10 + 4], 0u);  // the rest of the 256 entries is black
    for (int Y = 0; Y < 6; ++Y)
      for (int X = 0; X < 11; ++X)
        EXPECT_EQ(RawPixel(Bits.data() + Stride(11, 8) * (5 - Y), X, 8),
                  NearestIndex(Table, Src.ColorAt(X, Y)));
    SelectPalette(Screen.get(), Old, true);
  }

  // The description query.
  {
    std::vector<uint32_t> Words(10 + 3, 0);
    auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
    Info->bmiHeader.biSize = 40;
    ASSERT_EQ(GetDIBits(Screen.get(), T.Bitmap(), 0, 0, nullptr, Info, kDibRgbColors), 6);
    EXPECT_EQ(Info->bmiHeader.biWidth, 11);
    EXPECT_EQ(Info->bmiHeader.biHeight, 6);
    EXPECT_EQ(Info->bmiHeader.biBitCount, 8);
    EXPECT_EQ(Info->bmiHeader.biSizeImage, static_cast<uint32_t>(Stride(11, 8) * 6));
    TTarget Wide(3, 2, 16, {}, false, true);
    Info->bmiHeader.biBitCount = 0;
    ASSERT_EQ(GetDIBits(Screen.get(), Wide.Bitmap(), 0, 0, nullptr, Info, kDibRgbColors), 2);
    EXPECT_EQ(Info->bmiHeader.biCompression, kBiBitFields);
    EXPECT_EQ(Words[10 + 1], 0x07E0u);
  }
}

}  // namespace
}  // namespace kv::test
