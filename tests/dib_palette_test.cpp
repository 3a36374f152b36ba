// TKvDIB's palettes: the shared halftone palettes (entries, identity, first making from
// several threads), the cached palette of a colour table, SetPalette and its ownership
// rules, and the failures when no palette can be made.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "image/KvDIB.h"
#include "image/convert/KvHalftonePalette.h"
#include "image/interchange/KvDIBPalette.h"
#include "platform/graphics/Palette.h"
#include "tests/KvTestSupport.h"
#include "tests/dib_fixtures.h"

namespace kv::test {
namespace {

std::vector<PALETTEENTRY> entries_of(HPALETTE P) {
  std::vector<PALETTEENTRY> E(GetPaletteEntries(P, 0, 0, nullptr));
  E.resize(GetPaletteEntries(P, 0, static_cast<uint32_t>(E.size()), E.data()));
  return E;
}

bool same(const PALETTEENTRY& E, uint8_t R, uint8_t G, uint8_t B) {
  return E.peRed == R && E.peGreen == G && E.peBlue == B && E.peFlags == 0;
}

TPaletteHandle palette_of(const std::vector<PALETTEENTRY>& Entries) {
  TLogPalette Log(static_cast<uint16_t>(Entries.size()));
  for (uint16_t I = 0; I < Entries.size(); ++I) Log.Entry(I) = Entries[I];
  return TPaletteHandle(CreatePalette(Log.get()));
}

// Lowers the object quota to what is in use, so that the next object cannot be made.
class TNoMoreObjects {
 public:
  TNoMoreObjects() : m_Previous(SetGdiObjectLimit(GdiObjectsInUse())) {}
  ~TNoMoreObjects() { SetGdiObjectLimit(m_Previous); }

 private:
  int64_t m_Previous;
};

TEST(DIBPalette, SharedPalettesHaveTheirEntriesAndOneIdentity) {
  TKvDIB A, B;
  A.HalftoneMode = 1;
  B.HalftoneMode = 1;
  const HPALETTE Halftone = A.GetPalette();
  ASSERT_NE(Halftone, nullptr);
  EXPECT_EQ(A.GetPalette(), Halftone);
  EXPECT_EQ(B.GetPalette(), Halftone);
  EXPECT_EQ(SharedHalftonePalette(), Halftone);
  const std::vector<PALETTEENTRY> E = entries_of(Halftone);
  ASSERT_EQ(E.size(), 215u);
  EXPECT_TRUE(same(E[0], 0, 0, 0));
  EXPECT_TRUE(same(E[34], 0, 255, 255));
  EXPECT_TRUE(same(E[209], 255, 255, 255));
  EXPECT_TRUE(same(E[213], 192, 192, 192));
  const uint8_t Red[] = {0, 51, 102, 153, 204, 255}, Green[] = {0, 43, 85, 128, 171, 214, 255},
                Blue[] = {0, 64, 128, 192, 255};
  for (int I = 0; I < 6; ++I)
    for (int J = 0; J < 7; ++J)
      for (int K = 0; K < 5; ++K) EXPECT_TRUE(same(E[35 * I + 5 * J + K], Red[I], Green[J], Blue[K]));
  EXPECT_TRUE(same(E[210], 128, 0, 0));
  EXPECT_TRUE(same(E[211], 128, 128, 0));
  EXPECT_TRUE(same(E[212], 128, 0, 128));
  EXPECT_TRUE(same(E[214], 128, 128, 128));

  A.HalftoneMode = 2;
  B.HalftoneMode = 2;
  const HPALETTE Mono = A.GetPalette();
  EXPECT_EQ(B.GetPalette(), Mono);
  EXPECT_NE(Mono, Halftone);
  const std::vector<PALETTEENTRY> M = entries_of(Mono);
  ASSERT_EQ(M.size(), 2u);
  EXPECT_TRUE(same(M[0], 0, 0, 0));
  EXPECT_TRUE(same(M[1], 255, 255, 255));
  // Whatever the image holds: a 24-bit image in mode 1 has the halftone palette too.
  TKvDIB True;
  True.SetBitCount(24);
  True.HalftoneMode = 1;
  EXPECT_EQ(True.GetPalette(), Halftone);
  True.HalftoneMode = 3;  // any other mode: the image's own (none)
  EXPECT_EQ(True.GetPalette(), nullptr);
}

TEST(DIBPalette, SharedPalettesAreMadeOnceWhenThreadsAskTogether) {
  DeleteSharedPalettes();
  const int64_t Objects = GdiObjectsInUse();
  std::vector<HPALETTE> Seen(8, nullptr);
  std::vector<std::thread> Threads;
  for (size_t T = 0; T < Seen.size(); ++T)
    Threads.emplace_back([&Seen, T] {
      TKvDIB D;
      D.HalftoneMode = T % 2 ? 1 : 2;
      Seen[T] = D.GetPalette();
    });
  for (std::thread& T : Threads) T.join();
  for (size_t T = 0; T < Seen.size(); ++T) EXPECT_EQ(Seen[T], Seen[T % 2]);
  EXPECT_NE(Seen[0], Seen[1]);
  EXPECT_EQ(GdiObjectsInUse(), Objects + 2);  // the losers' palettes are gone
}

TEST(DIBPalette, TheColourTablesPaletteIsCachedAndShared) {
  std::mt19937 Rng(1);
  const int64_t Objects = GdiObjectsInUse();
  {
    TKvDIB True;
    True.SetBitCount(24);
    EXPECT_EQ(True.GetColorCount(), 0);
    EXPECT_EQ(True.GetPalette(), nullptr);

    TKvDIB A;
    FillRandom(A, Rng, 4, 4, kvPf8Bit, 50);
    const HPALETTE P = A.GetPalette();
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(A.GetPalette(), P);
    const std::vector<PALETTEENTRY> E = entries_of(P);
    ASSERT_EQ(E.size(), 50u);
    for (int I = 0; I < 50; ++I) {
      const RGBQUAD& Q = A.DIBInfo().Colors[I];
      EXPECT_TRUE(same(E[static_cast<size_t>(I)], Q.rgbRed, Q.rgbGreen, Q.rgbBlue));
    }
    // Graphics sharing the storage share its palette, in every threads' hands.
    TKvDIB B;
    B.Assign(&A);
    EXPECT_EQ(B.GetPalette(), P);
    EXPECT_EQ(GdiObjectsInUse(), Objects + 1);
    // In a halftone mode the image's own palette is still there.
    A.HalftoneMode = 1;
    EXPECT_EQ(A.GetDIBPalette(), P);
    A.HalftoneMode = 0;
    // A new colour table drops the cache (on A's own storage now; B keeps the old one).
    std::vector<RGBQUAD> Table(A.DIBInfo().Colors, A.DIBInfo().Colors + 50);
    Table[0] = RGBQUAD{1, 2, 3, 0};
    A.SetColorTable(Table.data(), 50);
    EXPECT_EQ(B.GetPalette(), P);
    ASSERT_NE(A.GetPalette(), nullptr);
    EXPECT_NE(A.GetPalette(), P);
    EXPECT_TRUE(same(entries_of(A.GetPalette())[0], 3, 2, 1));
    EXPECT_EQ(GdiObjectsInUse(), Objects + 2);

    // Made once, also when threads ask for it at once.
    TKvDIB C;
    FillRandom(C, Rng, 4, 4, kvPf4Bit);
    std::vector<TKvDIB> Sharers(6);
    for (TKvDIB& S : Sharers) S.Assign(&C);
    std::vector<HPALETTE> Seen(Sharers.size());
    std::vector<std::thread> Threads;
    for (size_t T = 0; T < Sharers.size(); ++T)
      Threads.emplace_back([&, T] { Seen[T] = Sharers[T].GetPalette(); });
    for (std::thread& T : Threads) T.join();
    for (const HPALETTE S : Seen) EXPECT_EQ(S, C.GetPalette());
    EXPECT_EQ(GdiObjectsInUse(), Objects + 3);
  }
  EXPECT_EQ(GdiObjectsInUse(), Objects);  // every cached palette went with its storage
}

TEST(DIBPalette, SetPaletteReplacesTheColourTableAndOwnsThePalette) {
  const int64_t Objects = GdiObjectsInUse();
  std::vector<PALETTEENTRY> Sixteen;
  for (uint8_t I = 0; I < 16; ++I)
    Sixteen.push_back(PALETTEENTRY{static_cast<uint8_t>(I * 16), static_cast<uint8_t>(255 - I), I, 0});
  {
    TKvDIB D;
    D.SetBitCount(24);
    int Changes = 0;
    D.OnChange = [&](TGraphic*) { ++Changes; };
    D.SetPaletteDirty(false);
    TPaletteHandle P = palette_of(Sixteen);
    const HPALETTE Given = P.release();
    D.SetPalette(Given);
    EXPECT_EQ(Changes, 1);
    EXPECT_TRUE(D.PaletteDirty());
    EXPECT_EQ(D.GetColorCount(), 16);
    EXPECT_EQ(D.GetBitCount(), 24);  // not compared with the palette
    for (int I = 0; I < 16; ++I)
      EXPECT_EQ(D.GetColors(I),
                static_cast<TColor>(MakeRGB(Sixteen[I].peRed, Sixteen[I].peGreen, Sixteen[I].peBlue)));
    EXPECT_EQ(D.DIBInfo().Colors[3].rgbReserved, 0);
    EXPECT_EQ(D.GetPalette(), Given);  // the storage holds it
    EXPECT_EQ(GdiObjectsInUse(), Objects + 1);

    // Its own palette again: kept. Another one: the replaced palette is deleted.
    D.SetPalette(Given);
    EXPECT_EQ(D.GetPalette(), Given);
    EXPECT_EQ(GdiObjectsInUse(), Objects + 1);
    D.SetPalette(palette_of({PALETTEENTRY{1, 2, 3, 0}}).release());
    EXPECT_EQ(GdiObjectsInUse(), Objects + 1);
    EXPECT_EQ(GetPaletteEntries(Given, 0, 1, nullptr), 0u);  // gone
    EXPECT_EQ(D.GetColorCount(), 1);

    // No palette: no colour table, and no cached palette either.
    D.SetPalette(nullptr);
    EXPECT_EQ(D.GetColorCount(), 0);
    EXPECT_EQ(D.GetPalette(), nullptr);
    EXPECT_EQ(GdiObjectsInUse(), Objects);
    EXPECT_EQ(Changes, 4);

    // A palette with no readable entries is refused (and, being the storage's now, gone).
    const HPALETTE Dead = palette_of(Sixteen).release();
    DeleteObject(Dead);
    ExpectThrowMessage<EKvDIBInvalidPalette>([&] { D.SetPalette(Dead); },
                                             "TKvDIB.SetPalette: Invalid Palette");
    EXPECT_EQ(D.GetColorCount(), 0);
    EXPECT_EQ(Changes, 4);
  }
  EXPECT_EQ(GdiObjectsInUse(), Objects);
}

TEST(DIBPalette, SetPaletteOnSharedStorageAndWithTheLibrarysOwnPalettes) {
  std::mt19937 Rng(6);
  (void)SharedHalftonePalette();  // the library's, not counted below
  const int64_t Objects = GdiObjectsInUse();
  {
    TKvDIB A;
    FillRandom(A, Rng, 3, 3, kvPf8Bit, 20);
    TKvDIB B;
    B.Assign(&A);
    const std::vector<uint8_t> Pixels = PixelBytes(A);
    // A's own cached palette, handed to B while they share: B takes a copy, A keeps it.
    const HPALETTE Cached = A.GetPalette();
    B.SetPalette(Cached);
    EXPECT_NE(A.InternalDIB(), B.InternalDIB());
    EXPECT_EQ(A.GetPalette(), Cached);
    EXPECT_NE(B.GetPalette(), Cached);
    EXPECT_EQ(entries_of(B.GetPalette()).size(), 20u);
    EXPECT_EQ(PixelBytes(B), Pixels);

    // A shared halftone palette: copied, the shared one stays alive and shared.
    TKvDIB H;
    H.HalftoneMode = 1;
    const HPALETTE Halftone = H.GetPalette();
    B.SetPalette(Halftone);
    EXPECT_EQ(B.GetColorCount(), 215);
    EXPECT_NE(B.GetDIBPalette(), Halftone);
    EXPECT_EQ(entries_of(Halftone).size(), 215u);
    EXPECT_EQ(A.GetColorCount(), 20);
  }
  EXPECT_EQ(GdiObjectsInUse(), Objects);
}

TEST(DIBPalette, PalettesOfDescriptorsAndTheFailuresToMakeThem) {
  TKvDIB D;
  D.SetBitCount(4);
  TKvDIBInfo Info = D.DIBInfo();
  Info.Colors[2] = RGBQUAD{10, 20, 30, 99};
  {
    const TPaletteHandle P = GetPaletteFromDIBInfos(Info);
    const std::vector<PALETTEENTRY> E = entries_of(P.get());
    ASSERT_EQ(E.size(), 16u);
    EXPECT_TRUE(same(E[2], 30, 20, 10));  // red and blue swapped, flags 0
  }
  Info.Header.biClrUsed = 0;
  EXPECT_FALSE(GetPaletteFromDIBInfos(Info));

  DeleteSharedPalettes();  // the next request has to make them
  {
    const TNoMoreObjects Full;
    ExpectThrowMessage<EOutOfResources>([&] { (void)D.GetPalette(); },
                                        "GetPaletteFromDIBInfos: Cannot Make Palette");
    D.HalftoneMode = 1;
    ExpectThrowMessage<EOutOfResources>([&] { (void)D.GetPalette(); },
                                        "TKvDIB.GetPalette: Cannot Make Palette(1)");
    D.HalftoneMode = 2;
    ExpectThrowMessage<EOutOfResources>([&] { (void)D.GetPalette(); },
                                        "TKvDIB.GetPalette: Cannot Make Palette(1)");
  }
  EXPECT_NE(D.GetPalette(), nullptr);
}

}  // namespace
}  // namespace kv::test
