// The graphics layer's objects: palette handles and their lifetime, device contexts and
// their palette bookkeeping, DIB sections over pixel blocks, global memory blocks and the
// clipboard object.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/core/Exceptions.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/Draw.h"
#include "platform/graphics/GlobalMemory.h"
#include "platform/graphics/Palette.h"
#include "platform/graphics/Screen.h"
#include "platform/graphics/StretchDIBits.h"
#include "tests/KvTestSupport.h"
#include "tests/gdi_fixtures.h"

namespace kv::test {
namespace {

HPALETTE make_palette(std::initializer_list<PALETTEENTRY> Entries) {
  TLogPalette Log(static_cast<uint16_t>(Entries.size()));
  uint16_t I = 0;
  for (const PALETTEENTRY& E : Entries) Log.Entry(I++) = E;
  return CreatePalette(Log.get());
}

TEST(Palette, EntriesOfValidDeletedAndMadeUpHandles) {
  const int64_t Before = GdiObjectsInUse();
  TPaletteHandle Pal(make_palette({{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}));
  ASSERT_FALSE(Pal.IsEmpty());
  EXPECT_EQ(GdiObjectsInUse(), Before + 1);
  PALETTEENTRY E[4] = {};
  EXPECT_EQ(GetPaletteEntries(Pal.get(), 0, 256, E), 3u);
  EXPECT_EQ(E[2].peRed, 7);
  EXPECT_EQ(E[2].peBlue, 9);
  EXPECT_EQ(GetPaletteEntries(Pal.get(), 1, 1, E), 1u);
  EXPECT_EQ(E[0].peGreen, 5);
  EXPECT_EQ(GetPaletteEntries(Pal.get(), 3, 1, E), 0u);
  EXPECT_EQ(GetPaletteEntries(Pal.get(), 0, 0, nullptr), 3u);  // the size
  EXPECT_EQ(GetNearestPaletteIndex(Pal.get(), MakeRGB(6, 7, 8)), 2u);
  uint16_t Count = 0;
  EXPECT_EQ(GetObjectA(Pal.get(), sizeof(Count), &Count), 2);
  EXPECT_EQ(Count, 3);

  TPaletteHandle Copy(CopyPalette(Pal.get()));
  ASSERT_FALSE(Copy.IsEmpty());
  EXPECT_NE(Copy.get(), Pal.get());
  const HPALETTE Gone = Pal.get();
  Pal.reset();
  EXPECT_EQ(GetPaletteEntries(Gone, 0, 256, E), 0u);  // deleted
  EXPECT_FALSE(DeleteObject(Gone));
  EXPECT_EQ(CopyPalette(Gone), nullptr);
  EXPECT_EQ(GetPaletteEntries(reinterpret_cast<HPALETTE>(uintptr_t{0x4321}), 0, 256, E), 0u);  // made up
  EXPECT_EQ(GetPaletteEntries(Copy.get(), 0, 256, E), 3u);  // the copy lives on
  Copy.reset();
  EXPECT_EQ(GdiObjectsInUse(), Before);

  // Descriptions the platform refuses.
  TLogPalette Bad(2);
  Bad.get()->palVersion = 0x200;
  EXPECT_EQ(CreatePalette(Bad.get()), nullptr);
  TLogPalette Empty(0);
  EXPECT_EQ(CreatePalette(Empty.get()), nullptr);
  EXPECT_EQ(CreatePalette(nullptr), nullptr);
}

TEST(Palette, CreationFailsAtTheObjectLimit) {
  const int64_t Old = SetGdiObjectLimit(GdiObjectsInUse());
  EXPECT_EQ(make_palette({{0, 0, 0, 0}}), nullptr);
  EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
  SetGdiObjectLimit(Old);
  TPaletteHandle Pal(make_palette({{0, 0, 0, 0}}));
  EXPECT_FALSE(Pal.IsEmpty());
}

TEST(DeviceContext, SelectsAndRealizesPalettes) {
  TMemoryDC Dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(Dc);
  TPaletteHandle Pal(make_palette({{255, 0, 0, 0}, {0, 255, 0, 0}}));
  const HPALETTE Default = static_cast<HPALETTE>(GetStockObject(kDefaultPalette));
  EXPECT_EQ(GetCurrentObject(Dc.get(), kObjPal), Default);
  // The first selection gives back the stock default palette, so it can be put back.
  const HPALETTE Previous = SelectPalette(Dc.get(), Pal.get(), true);
  EXPECT_EQ(Previous, Default);
  EXPECT_EQ(GetCurrentObject(Dc.get(), kObjPal), Pal.get());
  EXPECT_EQ(RealizePalette(Dc.get()), 2u);
  // A selected palette cannot be deleted.
  EXPECT_FALSE(DeleteObject(Pal.get()));
  EXPECT_EQ(SelectPalette(Dc.get(), Previous, true), Pal.get());
  TDCPaletteHistory H;
  ASSERT_TRUE(GetDCPaletteHistory(Dc.get(), H));
  EXPECT_EQ(H.Selections, 2u);
  EXPECT_EQ(H.Realizations, 1u);
  EXPECT_EQ(H.LastRealized, Pal.get());
  EXPECT_EQ(H.LastSelected, Default);
  EXPECT_TRUE(H.LastForcedBackground);
  // Failures: a deleted palette, a made-up context.
  const HPALETTE Gone = Pal.get();
  Pal.reset();
  EXPECT_EQ(SelectPalette(Dc.get(), Gone, false), nullptr);
  EXPECT_EQ(RealizePalette(reinterpret_cast<HDC>(uintptr_t{0x5555})), kGdiError);
  // Stretch modes start at kBlackOnWhite and are given back when set.
  EXPECT_EQ(SetStretchBltMode(Dc.get(), kColorOnColor), kBlackOnWhite);
  EXPECT_EQ(SetStretchBltMode(Dc.get(), kBlackOnWhite), kColorOnColor);
  EXPECT_EQ(SetStretchBltMode(Dc.get(), 9), 0);
}

TEST(DeviceContext, ObjectsInUseAndBitmapSelection) {
  const int64_t Before = GdiObjectsInUse();
  {
    TTarget A(4, 4, 24);
    TMemoryDC Other(CreateCompatibleDC(nullptr));
    // A bitmap is in one context at a time and cannot be deleted while there.
    EXPECT_EQ(SelectObject(Other.get(), A.Bitmap()), nullptr);
    EXPECT_FALSE(DeleteObject(A.Bitmap()));
    // A new memory context holds a 1 x 1 monochrome bitmap.
    BITMAP B{};
    ASSERT_EQ(GetObjectA(GetCurrentObject(Other.get(), kObjBitmap), sizeof(B), &B),
              static_cast<int32_t>(sizeof(B)));
    EXPECT_EQ(B.bmWidth, 1);
    EXPECT_EQ(B.bmBitsPixel, 1);
    ASSERT_EQ(GetObjectA(A.Bitmap(), sizeof(B), &B), static_cast<int32_t>(sizeof(B)));
    EXPECT_EQ(B.bmWidth, 4);
    EXPECT_EQ(B.bmHeight, 4);
    EXPECT_EQ(B.bmWidthBytes, 12);
    EXPECT_EQ(B.bmPlanes, 1);
    EXPECT_EQ(B.bmBitsPixel, 24);
    EXPECT_NE(B.bmBits, nullptr);  // a DIB section tells its bits
    EXPECT_EQ(GetObjectType(A.Dc()), kObjMemDC);
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(A.Bitmap())));  // not a context
  }
  EXPECT_EQ(GdiObjectsInUse(), Before);
}

TEST(DIBSection, DrawsIntoThePixelBlockItself) {
  // A 24-bit block as an image holds it: 5 x 3, bottom-up, stride 16.
  TFileMapBlock Block(16 * 3);
  std::vector<uint32_t> Words(10 + 256, 0);  // room for a colour table further down
  auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
  Info->bmiHeader = BITMAPINFOHEADER{40, 5, 3, 1, 24, kBiRGB, 0, 0, 0, 0, 0};
  TMemoryDC Dc(CreateCompatibleDC(nullptr));
  void* Bits = nullptr;
  TGdiObjectOwner<HBITMAP> Section(CreateDIBSection(Dc.get(), Info, kDibRgbColors, &Bits, Block.Handle(), 0));
  ASSERT_FALSE(Section.IsEmpty());
#ifndef _WIN32
  EXPECT_EQ(Bits, Block.Bits());  // the very bytes, not a copy
#endif
  const HGDIOBJ Old = SelectObject(Dc.get(), Section.get());
  TCanvas Canvas;
  Canvas.SetHandle(Dc.get());
  Canvas.SetPixel(1, 0, MakeRGB(10, 20, 30));  // the top row: the last of the block
  EXPECT_EQ(Block.Bits()[2 * 16 + 3], 30);
  EXPECT_EQ(Block.Bits()[2 * 16 + 4], 20);
  EXPECT_EQ(Block.Bits()[2 * 16 + 5], 10);
  Block.Bits()[0] = 99;  // and what the block holds shows through the context
  EXPECT_EQ(GetPixel(Dc.get(), 0, 2), MakeRGB(0, 0, 99));

  // The section keeps the memory after the block's owner has released it.
  Block.Reset();
  Canvas.SetPixel(4, 2, MakeRGB(1, 2, 3));
  EXPECT_EQ(Canvas.GetPixel(4, 2), static_cast<TColor>(MakeRGB(1, 2, 3)));
  Canvas.SetHandle(nullptr);
  SelectObject(Dc.get(), Old);
  Section.reset();
  // A block too short for the image takes no section, nor does a compressed format.
  TFileMapBlock Small(16 * 2);
  EXPECT_EQ(CreateDIBSection(nullptr, Info, kDibRgbColors, &Bits, Small.Handle(), 0), nullptr);
  EXPECT_EQ(Bits, nullptr);
  Info->bmiHeader.biBitCount = 8;
  Info->bmiHeader.biCompression = kBiRLE8;
  TFileMapBlock Rle(64);
  EXPECT_EQ(CreateDIBSection(nullptr, Info, kDibRgbColors, &Bits, Rle.Handle(), 0), nullptr);
}

TEST(Screen, IsASurfaceTestsCanReadBack) {
  ASSERT_TRUE(ResetScreen(8, 4, 8));
  {
    TScreenDC Screen;
    ASSERT_TRUE(Screen);
    EXPECT_EQ(GetDeviceCaps(Screen.get(), kBitsPixel), 8);
    EXPECT_EQ(GetDeviceCaps(Screen.get(), kRasterCaps) & kRcPalette, kRcPalette);
    // Realizing a palette on a palette screen makes it the screen's colour table.
    TPaletteHandle Pal(make_palette({{9, 9, 9, 0}, {200, 100, 50, 0}}));
    const HPALETTE Old = SelectPalette(Screen.get(), Pal.get(), false);
    EXPECT_EQ(RealizePalette(Screen.get()), 2u);
    EXPECT_EQ(SetPixel(Screen.get(), 3, 1, MakeRGB(201, 99, 50)), MakeRGB(200, 100, 50));
    SelectPalette(Screen.get(), Old, false);
    BITMAP B{};
    ASSERT_GT(GetObjectA(GetScreenBitmap(), sizeof(B), &B), 0);
    EXPECT_EQ(B.bmWidth, 8);
    EXPECT_EQ(GetPixel(Screen.get(), 3, 1), MakeRGB(200, 100, 50));
    EXPECT_EQ(GetPixel(Screen.get(), 8, 0), kClrInvalid);
    EXPECT_EQ(SelectObject(Screen.get(), GetScreenBitmap()), nullptr);  // a screen holds the screen
    EXPECT_FALSE(DeleteDC(Screen.get()));
  }
  EXPECT_FALSE(ResetScreen(8, 4, 2));
  ASSERT_TRUE(ResetScreen(1024, 768, 24));
}

TEST(GlobalMemory, BlocksAreZeroedSizedLockedAndFreed) {
  const int64_t Before = GlobalBlocksInUse();
  TGlobalBlock Block(GlobalAlloc(kGHnd, 41));
  ASSERT_TRUE(Block);
  EXPECT_GE(GlobalSize(Block.get()), 41u);  // usable size, possibly more than asked
  EXPECT_EQ(GlobalSize(Block.get()) % 16, 0u);
  {
    TGlobalLock Lock(Block.get());
    ASSERT_NE(Lock.Data(), nullptr);
    for (size_t I = 0; I < Lock.Size(); ++I) ASSERT_EQ(Lock.Data()[I], 0) << I;
    EXPECT_EQ(GlobalFlags(Block.get()), 1u);
    void* Again = GlobalLock(Block.get());
    EXPECT_EQ(Again, Lock.Data());
    EXPECT_TRUE(GlobalUnlock(Block.get()));  // still locked once
  }
  EXPECT_EQ(GlobalFlags(Block.get()), 0u);
  EXPECT_FALSE(GlobalUnlock(Block.get()));
  EXPECT_EQ(GlobalBlocksInUse(), Before + 1);
  const HGLOBAL Gone = Block.get();
  Block.reset();
  EXPECT_EQ(GlobalLock(Gone), nullptr);
  EXPECT_EQ(GlobalSize(Gone), 0u);
  EXPECT_EQ(GlobalFree(Gone), Gone);
  EXPECT_EQ(GlobalFlags(Gone), kGMemInvalidHandle);
  EXPECT_EQ(GlobalAlloc(kGHnd, 0), nullptr);
  // A palette handle is never a memory block.
  TPaletteHandle Pal(make_palette({{0, 0, 0, 0}}));
  EXPECT_EQ(GlobalLock(Pal.get()), nullptr);
  // The limit makes allocation fail.
  const size_t Old = SetGlobalMemoryLimit(0);
  EXPECT_EQ(GlobalAlloc(kGHnd, 16), nullptr);
  SetGlobalMemoryLimit(Old);
  EXPECT_EQ(GlobalBlocksInUse(), Before);
}

HGLOBAL block_of(uint8_t Fill, size_t Size) {
  const HGLOBAL B = GlobalAlloc(kGHnd, Size);
  std::memset(GlobalLock(B), Fill, Size);
  GlobalUnlock(B);
  return B;
}

TEST(Clipboard, CountsOpeningsAndOwnsItsData) {
  TClipboard& C = Clipboard();
  const int64_t Blocks = GlobalBlocksInUse();
  C.Clear();
  EXPECT_EQ(C.OpenCount(), 0);
  EXPECT_EQ(C.GetAsHandle(kCF_DIB), nullptr);
  C.SetAsHandle(kCF_DIB, block_of(1, 20));
  C.SetAsHandle(17, block_of(2, 20));  // a second set outside an opening empties first
  EXPECT_FALSE(C.HasFormat(kCF_DIB));
  EXPECT_TRUE(C.HasFormat(17));
  EXPECT_EQ(GlobalBlocksInUse(), Blocks + 1);

  C.Open();
  C.Open();
  C.SetAsHandle(kCF_DIB, block_of(3, 20));  // the first set of this opening empties
  C.SetAsHandle(kCF_Palette, make_palette({{5, 6, 7, 0}}));
  C.SetAsHandle(kCF_DIB, block_of(4, 20));  // replaces (and frees) the earlier block
  EXPECT_EQ(C.OpenCount(), 2);              // the operations' own openings nest inside
  C.Close();
  EXPECT_EQ(C.OpenCount(), 1);
  // Another clipboard object cannot open it meanwhile.
  TClipboard Other;
  ExpectThrowMessage<EClipboardException>([&] { Other.Open(); }, "Cannot open clipboard");
  C.Close();
  EXPECT_EQ(C.OpenCount(), 0);
  C.Close();  // one too many does nothing
  EXPECT_EQ(C.OpenCount(), 0);
  Other.Open();
  Other.Close();

  EXPECT_EQ(C.FormatCount(), 2);
  EXPECT_EQ(C.Formats(0), kCF_DIB);
  EXPECT_EQ(C.Formats(1), kCF_Palette);
  EXPECT_EQ(static_cast<uint8_t*>(GlobalLock(C.GetAsHandle(kCF_DIB)))[0], 4);
  GlobalUnlock(C.GetAsHandle(kCF_DIB));
  EXPECT_EQ(GetPaletteEntries(static_cast<HPALETTE>(C.GetAsHandle(kCF_Palette)), 0, 0, nullptr), 1u);
  EXPECT_EQ(GlobalBlocksInUse(), Blocks + 1);
  const int64_t Objects = GdiObjectsInUse();
  C.Clear();
  EXPECT_EQ(GlobalBlocksInUse(), Blocks);
  EXPECT_EQ(GdiObjectsInUse(), Objects - 1);
}

}  // namespace
}  // namespace kv::test
