// TCanvas primitives on small surfaces, checked against pictures worked out by hand, and
// TBitmap: depths, conversions, palettes, streams and clipboard data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/DIBits.h"
#include "platform/streams/Stream.h"
#include "tests/KvTestSupport.h"
#include "tests/gdi_fixtures.h"

namespace kv::test {
namespace {

// An 8-bit surface whose table is white, black, red, blue: '.', '#', 'o', 'b'.
class TSketch {
 public:
  TSketch(int32_t W, int32_t H)
      : m_Target(W, H, 8, {Quad(255, 255, 255), Quad(0, 0, 0), Quad(255, 0, 0), Quad(0, 0, 255)}) {
    for (int32_t Y = 0; Y < H; ++Y) std::memset(m_Target.Row(Y), 0, static_cast<size_t>(W));
    Canvas.SetHandle(m_Target.Dc());
    Canvas.Pen.Color = kClBlack;
    Canvas.Brush.Color = kClRed;
  }
  ~TSketch() { Canvas.SetHandle(nullptr); }
  std::vector<std::string> Picture() const {
    std::vector<std::string> P;
    for (int32_t Y = 0; Y < m_Target.Height(); ++Y) {
      std::string Row;
      for (int32_t X = 0; X < m_Target.Width(); ++X) Row += ".#ob"[m_Target.Raw(X, Y) & 3];
      P.push_back(Row);
    }
    return P;
  }
  TCanvas Canvas;

 private:
  TTarget m_Target;
};

using TPic = std::vector<std::string>;

TEST(Canvas, LinesLeaveOutTheirEndPoint) {
  TSketch S(8, 6);
  S.Canvas.MoveTo(0, 0);
  S.Canvas.LineTo(5, 0);
  EXPECT_EQ(S.Canvas.PenPos(), (TPoint{5, 0}));
  S.Canvas.MoveTo(0, 2);
  S.Canvas.LineTo(4, 4);  // two across for each one down
  S.Canvas.MoveTo(7, 5);
  S.Canvas.LineTo(7, 1);  // upwards
  EXPECT_EQ(S.Picture(), (TPic{"#####...", "........", "#......#", ".##....#", "...#...#", ".......#"}));

  TSketch W(8, 6);
  W.Canvas.Pen.Width = 3;
  W.Canvas.MoveTo(1, 2);
  W.Canvas.LineTo(5, 2);  // a 3 x 3 square around each of 1 .. 4
  W.Canvas.Pen.Style = psClear;
  W.Canvas.LineTo(0, 5);  // draws nothing, moves the pen
  EXPECT_EQ(W.Canvas.PenPos(), (TPoint{0, 5}));
  EXPECT_EQ(W.Picture(), (TPic{"........", "######..", "######..", "######..", "........", "........"}));
}

TEST(Canvas, RectanglesAndFills) {
  TSketch S(8, 7);
  S.Canvas.Rectangle(1, 1, 6, 5);
  S.Canvas.Brush.Color = kClBlue;
  S.Canvas.FillRect(TRect{6, 5, 8, 7});
  S.Canvas.FillRect(TRect{3, 6, 1, 5});  // right and bottom before left and top: nothing
  EXPECT_EQ(S.Picture(),
            (TPic{"........", ".#####..", ".#ooo#..", ".#ooo#..", ".#####..", "......bb", "......bb"}));

  TSketch T(7, 6);
  T.Canvas.Brush.Style = bsClear;
  T.Canvas.Rectangle(5, 4, 0, 0);  // corners in either order; outline only
  T.Canvas.Pen.Style = psClear;
  T.Canvas.Brush.Style = bsSolid;
  T.Canvas.Rectangle(5, 5, 7, 6);  // no outline: the brush covers the box
  T.Canvas.Pen.Style = psSolid;
  T.Canvas.Pen.Width = 2;
  T.Canvas.Rectangle(0, 4, 3, 6);  // the band is as wide as the pen; no room inside
  EXPECT_EQ(T.Picture(), (TPic{"#####..", "#...#..", "#...#..", "#####..", "###....", "###..oo"}));
}

TEST(Canvas, Ellipses) {
  // The box 7 x 5: pixel centres inside the inscribed ellipse; the outline is what has a
  // neighbour outside.
  TSketch S(8, 6);
  S.Canvas.Ellipse(0, 0, 7, 5);
  EXPECT_EQ(S.Picture(), (TPic{".#####..", "#ooooo#.", "#ooooo#.", "#ooooo#.", ".#####..", "........"}));

  // A circle of 9 with a pen of 2 and a clear brush, and one pixel.
  TSketch T(10, 10);
  T.Canvas.Brush.Style = bsClear;
  T.Canvas.Pen.Width = 2;
  T.Canvas.Ellipse(0, 0, 9, 9);
  T.Canvas.Pen.Width = 1;
  T.Canvas.Ellipse(9, 9, 10, 10);
  EXPECT_EQ(T.Picture(), (TPic{"..#####...", ".#######..", "###...###.", "##.....##.", "##.....##.",
                               "##.....##.", "###...###.", ".#######..", "..#####...", ".........#"}));
}

TEST(Canvas, PixelsAndColours) {
  TSketch S(4, 2);
  S.Canvas.SetPixel(0, 0, MakeRGB(250, 10, 10));             // nearest: red
  S.Canvas.SetPixel(1, 0, static_cast<TColor>(0x80000008));  // a system colour: window text, black
  EXPECT_EQ(S.Canvas.GetPixel(0, 0), static_cast<TColor>(MakeRGB(255, 0, 0)));
  EXPECT_EQ(S.Canvas.GetPixel(4, 0), -1);
  EXPECT_EQ(S.Picture(), (TPic{"o#..", "...."}));
  TCanvas Loose;
  ExpectThrowMessage<EInvalidOperation>([&] { Loose.LineTo(1, 1); }, "Canvas does not allow drawing");
  const int64_t Objects = GdiObjectsInUse();
  {
    TSketch T(2, 2);
    T.Canvas.Rectangle(0, 0, 2, 2);
  }
  EXPECT_EQ(GdiObjectsInUse(), Objects);  // pens and brushes deleted with the canvas
}

TEST(Bitmap, EveryDepthHoldsWhatIsDrawn) {
  const struct {
    TPixelFormat Format;
    uint16_t Bits;
  } Cases[] = {{pf1bit, 1},   {pf4bit, 4},   {pf8bit, 8},  {pf15bit, 16},
               {pf16bit, 16}, {pf24bit, 24}, {pf32bit, 32}};
  for (const auto& C : Cases) {
    TBitmap B;
    EXPECT_TRUE(B.GetEmpty());
    EXPECT_EQ(B.Handle(), nullptr);
    B.SetPixelFormat(C.Format);
    B.SetSize(6, 4);
    ASSERT_NE(B.Handle(), nullptr);
    BITMAP D{};
    ASSERT_GT(GetObjectA(B.Handle(), sizeof(D), &D), 0);
    EXPECT_EQ(D.bmBitsPixel, C.Bits);
    EXPECT_EQ(D.bmWidth, 6);
    B.Canvas().Brush.Color = kClWhite;
    B.Canvas().Pen.Color = kClBlack;
    B.Canvas().Rectangle(0, 0, 6, 4);
    B.Canvas().SetPixel(2, 1, kClWhite);
    // Read back as 24 bits.
    std::vector<uint32_t> Words(10, 0);
    auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
    Info->bmiHeader = BITMAPINFOHEADER{40, 6, -4, 1, 24, kBiRGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> Rows(Stride(6, 24) * 4);
    TScreenDC Screen;
    ASSERT_EQ(GetDIBits(Screen.get(), B.Handle(), 0, 4, Rows.data(), Info, kDibRgbColors), 4);
    for (int Y = 0; Y < 4; ++Y)
      for (int X = 0; X < 6; ++X) {
        const bool Edge = X == 0 || Y == 0 || X == 5 || Y == 3;
        EXPECT_EQ(RawPixel(Rows.data() + Stride(6, 24) * Y, X, 24), Edge ? 0u : 0xFFFFFFu)
            << C.Bits << ": " << X;
      }
    // ScanLine counts from the top of the bottom-up rows.
    EXPECT_EQ(B.ScanLine(0), B.ScanLine(1) + Stride(6, C.Bits));
    ExpectThrowMessage<EInvalidGraphic>([&] { B.ScanLine(4); }, "Scan line index out of range");
  }
}

TEST(Bitmap, SizeAndFormatChangesKeepThePixels) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(3, 2);
  B.Canvas().SetPixel(2, 1, MakeRGB(255, 0, 0));
  B.Canvas().SetPixel(0, 0, MakeRGB(0, 0, 255));
  int Changes = 0;
  B.OnChange = [&](TGraphic*) { ++Changes; };
  B.SetSize(5, 4);  // grows to the right and downwards
  EXPECT_EQ(B.Canvas().GetPixel(2, 1), static_cast<TColor>(MakeRGB(255, 0, 0)));
  EXPECT_EQ(B.Canvas().GetPixel(4, 3), kClBlack);
  B.SetPixelFormat(pf4bit);  // the standard colours hold red and blue exactly
  EXPECT_EQ(B.Canvas().GetPixel(0, 0), static_cast<TColor>(MakeRGB(0, 0, 255)));
  EXPECT_EQ(B.ScanLine(1)[1] >> 4, 9);  // pixel 2, red: entry 9 of the standard sixteen
  B.SetPixelFormat(pf24bit);
  EXPECT_EQ(B.Canvas().GetPixel(2, 1), static_cast<TColor>(MakeRGB(255, 0, 0)));
  EXPECT_EQ(Changes, 3);
  B.SetSize(0, 4);
  EXPECT_TRUE(B.GetEmpty());
  ExpectThrowMessage<EInvalidGraphic>([&] { B.SetWidth(-1); }, "Invalid bitmap size");
}

TEST(Bitmap, PalettesBecomeTheColourTable) {
  TBitmap B;
  B.SetPixelFormat(pf8bit);
  B.SetSize(2, 1);
  B.ScanLine(0)[0] = 1;
  TLogPalette Log(2);
  Log.Entry(0) = {10, 20, 30, 0};
  Log.Entry(1) = {40, 50, 60, 0};
  const HPALETTE Pal = CreatePalette(Log.get());
  B.SetPalette(Pal);  // owned by the bitmap from now on
  EXPECT_EQ(B.GetPalette(), Pal);
  EXPECT_TRUE(B.PaletteDirty());
  EXPECT_EQ(B.Canvas().GetPixel(0, 0), static_cast<TColor>(MakeRGB(40, 50, 60)));  // index kept, colour new
  B.Canvas().SetPixel(1, 0, MakeRGB(11, 21, 29));
  EXPECT_EQ(B.ScanLine(0)[1], 0);  // the nearest of the two entries

  TBitmap Copy;
  Copy.Assign(&B);
  EXPECT_NE(Copy.GetPalette(), B.GetPalette());
  EXPECT_EQ(GetPaletteEntries(Copy.GetPalette(), 0, 256, nullptr), 2u);
  EXPECT_EQ(Copy.ScanLine(0)[0], 1);
  Copy.ScanLine(0)[0] = 0;
  EXPECT_EQ(B.ScanLine(0)[0], 1);  // independent pixels

  TBitmap Sixteen;
  Sixteen.SetPixelFormat(pf4bit);
  Sixteen.SetSize(1, 1);
  ASSERT_NE(Sixteen.GetPalette(), nullptr);  // made from the colour table when asked
  EXPECT_EQ(GetPaletteEntries(Sixteen.GetPalette(), 0, 256, nullptr), 16u);
  TBitmap True;
  True.SetPixelFormat(pf24bit);
  True.SetSize(1, 1);
  EXPECT_EQ(True.GetPalette(), nullptr);
}

TEST(Bitmap, StreamsAndClipboardData) {
  for (const TPixelFormat F : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    TBitmap B;
    B.SetPixelFormat(F);
    B.SetSize(5, 3);
    B.Canvas().Pen.Color = MakeRGB(255, 255, 255);
    B.Canvas().MoveTo(0, 1);
    B.Canvas().LineTo(5, 1);
    TMemoryStream Stream;
    B.SaveToStream(Stream);
    Stream.SetPosition(0);
    TBitmap Back;
    Back.LoadFromStream(Stream);
    EXPECT_EQ(Back.PixelFormat(), F);
    ASSERT_EQ(Back.GetWidth(), 5);
    for (int Y = 0; Y < 3; ++Y)
      EXPECT_EQ(std::memcmp(Back.ScanLine(Y), B.ScanLine(Y), static_cast<size_t>(Stride(5, Back.BitCount()))),
                0);

    uint16_t Format = 0;
    HANDLE Data = nullptr;
    HPALETTE Pal = nullptr;
    B.SaveToClipboardFormat(Format, Data, Pal);
    EXPECT_EQ(Format, kCF_Bitmap);
    EXPECT_EQ(GetObjectType(Data), kObjBitmap);
    TBitmap FromClip;
    FromClip.LoadFromClipboardFormat(Format, Data, Pal);
    EXPECT_EQ(FromClip.BitCount(), B.BitCount());
    EXPECT_EQ(FromClip.Canvas().GetPixel(3, 1), static_cast<TColor>(MakeRGB(255, 255, 255)));
    EXPECT_TRUE(DeleteObject(Data));
    if (Pal != nullptr) {
      EXPECT_TRUE(DeleteObject(Pal));
    }
  }
  // An RLE8 file: two rows of 4, bottom row first.
  TMemoryStream Rle;
  const uint8_t Stream[] = {4, 1, 0, 0, 2, 2, 2, 3, 0, 1};
  BITMAPFILEHEADER File{kBitmapFileType, 0, 0, 0, 14 + 40 + 16};
  BITMAPINFOHEADER Header{40, 4, 2, 1, 8, kBiRLE8, sizeof(Stream), 0, 0, 4, 0};
  const RGBQUAD Colors[4] = {Quad(0, 0, 0), Quad(9, 9, 9), Quad(99, 9, 9), Quad(9, 99, 9)};
  Rle.WriteBuffer(&File, sizeof(File));
  Rle.WriteBuffer(&Header, sizeof(Header));
  Rle.WriteBuffer(Colors, sizeof(Colors));
  Rle.WriteBuffer(Stream, sizeof(Stream));
  Rle.SetPosition(0);
  TBitmap B;
  B.LoadFromStream(Rle);
  EXPECT_EQ(B.PixelFormat(), pf8bit);
  EXPECT_EQ(std::memcmp(B.ScanLine(0), "\x02\x02\x03\x03", 4), 0);
  EXPECT_EQ(std::memcmp(B.ScanLine(1), "\x01\x01\x01\x01", 4), 0);
  TMemoryStream Junk(std::vector<uint8_t>(60, 'B'));
  ExpectThrowMessage<EInvalidGraphic>([&] { B.LoadFromStream(Junk); }, "Bitmap image is not valid");
  EXPECT_EQ(B.GetWidth(), 4);  // unchanged

  // A bitmap assigned to the clipboard object goes there with its palette.
  TClipboard& C = Clipboard();
  C.Assign(&B);
  EXPECT_TRUE(C.HasFormat(kCF_Bitmap));
  EXPECT_TRUE(C.HasFormat(kCF_Palette));
  C.Clear();
}

}  // namespace
}  // namespace kv::test
