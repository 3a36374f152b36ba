// BMP streams on hand-made files: the reader's error table and refusals, header forms,
// colour tables, masked 16/32-bit conversion, the writer's layout, round trips, and the
// TKvDIB and file operations around them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBHeader.h"
#include "platform/streams/Stream.h"
#include "tests/KvBmpBuild.h"
#include "tests/KvTestSupport.h"

namespace kv {
namespace {

using test::Bytes;
using test::ExpectThrowMessage;
using test::get32;
using test::put16;
using test::put32;
using test::TBmp;

// A 12-byte core header file with the full three-byte table and the pixels.
Bytes core_bmp(uint16_t Width, uint16_t Height, uint16_t BitCount, const Bytes& Pixels) {
  Bytes B(26);
  B[0] = 'B', B[1] = 'M';
  put32(B, 14, 12);
  put16(B, 18, Width);
  put16(B, 20, Height);
  put16(B, 22, 1);
  put16(B, 24, BitCount);
  for (int I = 0; I < DefaultColorCount(BitCount); ++I) {
    B.push_back(static_cast<uint8_t>(I));        // blue
    B.push_back(static_cast<uint8_t>(I / 2));    // green
    B.push_back(static_cast<uint8_t>(255 - I));  // red
  }
  B.insert(B.end(), Pixels.begin(), Pixels.end());
  put32(B, 2, static_cast<uint32_t>(B.size()));
  return B;
}

Bytes filled(size_t N, uint8_t V = 0) { return Bytes(N, V); }

const TKvDIBInfo& load(TKvInternalDIB& Dib, const Bytes& File) {
  TMemoryStream S(File);
  Dib.LoadFromStream(S);
  return Dib.Info;
}

Bytes save(const TKvInternalDIB& Dib) {
  TMemoryStream S;
  Dib.SaveToStream(S);
  return S.Data();
}

enum class Kind { InvalidDIBFile, InvalidDIB, Stream, OutOfResources };

void expect_refused(const Bytes& File, Kind K, const std::string& Message) {
  TKvInternalDIB Dib;
  auto Load = [&] { load(Dib, File); };
  switch (K) {
    case Kind::InvalidDIBFile: ExpectThrowMessage<EKvDIBInvalidDIBFile>(Load, Message); break;
    case Kind::InvalidDIB: ExpectThrowMessage<EKvDIBInvalidDIB>(Load, Message); break;
    case Kind::Stream: ExpectThrowMessage<EStreamError>(Load, Message); break;
    case Kind::OutOfResources: ExpectThrowMessage<EOutOfResources>(Load, Message); break;
  }
  // The storage keeps its previous (default) image.
  EXPECT_EQ(Dib.Width, 1);
  EXPECT_EQ(Dib.Info.Header.biBitCount, 8);
  EXPECT_EQ(Dib.Info.BitsSize, 4);
}

const std::string kBitCout = "TKvInternalDIB.LoadFromStream: Invalid BitCout";
const std::string kCoreBitCount = "TKvInternalDIB.LoadFromStream: Invalid BitCount";
const std::string kHeaderSize = "TKvInternalDIB.LoadFromStream: Invalid Bitmap Header Size";
const std::string kGeometry = "TKvInternalDIB.LoadFromStream: Invalid Width or Height";
const std::string kMasks = "TKvInternalDIB.LoadFromStream: Invalid Masks";
const std::string kTooLarge = "TKvInternalDIB.LoadFromStream: Image Too Large";
const std::string kShortBits = "TKvInternalDIB.LoadFromStream: Bits Size is Smaller than the Image";
const std::string kReadError = "Stream read error";
const std::string kNoMapping = "GetFileMap: Cannot Make File Mapping Object";

TBmp rgb24(int32_t W, int32_t H) {
  TBmp B;
  B.Width = W, B.Height = H;
  int32_t Size = 0;
  DIBBlockSize(W, H, 24, Size);
  B.Pixels = filled(static_cast<size_t>(Size), 7);
  return B;
}

// A 1 x 1 24-bit file with one field changed.
Bytes rgb24_with(void (*Change)(TBmp&)) {
  TBmp B = rgb24(1, 1);
  Change(B);
  return B.Build();
}

// A 1 x 1 file with 4 pixel bytes, set up by Change.
Bytes bmp_with(void (*Change)(TBmp&)) {
  TBmp B;
  B.Pixels = filled(4);
  Change(B);
  return B.Build();
}

// A built file with its 32-bit field at At overwritten.
Bytes patched(Bytes B, size_t At, uint32_t V) {
  put32(B, At, V);
  return B;
}

Bytes with_byte(Bytes B, size_t At, uint8_t V) {
  B[At] = V;
  return B;
}

Bytes truncated(Bytes B, size_t Size) {
  B.resize(Size);
  return B;
}

TEST(BmpReader, RefusesWhatTheErrorTableNames) {
  struct Case {
    const char* Name;
    Bytes File;
    Kind K;
    std::string Message;
  };
  const Bytes Rgb1 = rgb24(1, 1).Build();
  const Bytes Rgb4 = rgb24(4, 4).Build();
  const std::vector<Case> Cases = {
      {"not BM", with_byte(Rgb1, 1, 'A'), Kind::InvalidDIBFile,
       "TKvInternalDIB.LoadFromFile: File type is invalid"},
      {"bit count 0", rgb24_with([](TBmp& B) { B.BitCount = 0; }), Kind::InvalidDIB, kBitCout},
      {"bit count 2", rgb24_with([](TBmp& B) { B.BitCount = 2; }), Kind::InvalidDIB, kBitCout},
      {"bit count 64", rgb24_with([](TBmp& B) { B.BitCount = 64; }), Kind::InvalidDIB, kBitCout},
      {"core 16 bits", core_bmp(1, 1, 16, filled(4)), Kind::InvalidDIB, kCoreBitCount},
      {"header 108", patched(Rgb1, 14, 108), Kind::InvalidDIB, kHeaderSize},
      {"header 124", patched(Rgb1, 14, 124), Kind::InvalidDIB, kHeaderSize},
      {"header 0", patched(Rgb1, 14, 0), Kind::InvalidDIB, kHeaderSize},
      {"width 0", rgb24_with([](TBmp& B) { B.Width = 0; }), Kind::InvalidDIB, kGeometry},
      {"width -1", rgb24_with([](TBmp& B) { B.Width = -1; }), Kind::InvalidDIB, kGeometry},
      {"height 0", rgb24_with([](TBmp& B) { B.Height = 0; }), Kind::InvalidDIB, kGeometry},
      {"core width 0", core_bmp(0, 1, 24, filled(4)), Kind::InvalidDIB, kGeometry},
      {"16-bit zero blue mask", bmp_with([](TBmp& B) {
         B.BitCount = 16, B.Compression = kBiBitFields, B.Masks = {0xF800, 0x07E0, 0};
       }),
       Kind::InvalidDIB, kMasks},
      {"32-bit odd compression, no table", bmp_with([](TBmp& B) { B.BitCount = 32, B.Compression = 6; }),
       Kind::InvalidDIB, kMasks},
      {"truncated header", truncated(Rgb1, 30), Kind::Stream, kReadError},
      {"truncated pixels", truncated(Rgb4, Rgb4.size() - 1), Kind::Stream, kReadError},
      {"bfSize far beyond the end", patched(Rgb4, 2, 0x7FFFFF00), Kind::Stream, kReadError},
      {"16-bit rows beyond the end",
       bmp_with([](TBmp& B) { B.BitCount = 16, B.Width = 1000, B.Height = 100000, B.Pixels = filled(4000); }),
       Kind::Stream, kReadError},
      {"bfSize below the headers", patched(Rgb1, 2, 40), Kind::OutOfResources, kNoMapping},
      {"bfSize 0", patched(Rgb1, 2, 0), Kind::OutOfResources, kNoMapping},
      {"bits smaller than the rows", patched(Rgb4, 2, 54 + 47), Kind::InvalidDIB, kShortBits},
      {"stride overflow", rgb24_with([](TBmp& B) { B.Width = std::numeric_limits<int32_t>::max(); }),
       Kind::InvalidDIB, kTooLarge},
      {"size overflow", rgb24_with([](TBmp& B) { B.Width = 3000000, B.Height = 2000000; }), Kind::InvalidDIB,
       kTooLarge},
      {"height INT32_MIN", rgb24_with([](TBmp& B) { B.Height = std::numeric_limits<int32_t>::min(); }),
       Kind::InvalidDIB, kTooLarge},
      {"32-bit stride overflow", bmp_with([](TBmp& B) { B.BitCount = 32, B.Width = 0x20000000; }),
       Kind::InvalidDIB, kTooLarge},
      {"RLE8 size overflow", bmp_with([](TBmp& B) {
         B.BitCount = 8, B.Compression = kBiRLE8, B.Width = 70000, B.Height = 70000, B.Colors = {0, 0};
         B.ClrUsed = 2, B.Pixels = {0, 1};
       }),
       Kind::InvalidDIB, kTooLarge},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    expect_refused(C.File, C.K, C.Message);
  }
}

TEST(BmpReader, FailedReadsLeakNoPixelMemory) {
  const int64_t Before = test::OpenResourceCount();
  for (int I = 0; I < 20; ++I) {
    TKvInternalDIB Dib;
    auto Short = rgb24(8, 8).Build();
    Short.resize(Short.size() - 3);
    EXPECT_THROW(load(Dib, Short), EStreamError);
    TBmp Masked;
    Masked.BitCount = 16, Masked.Compression = kBiBitFields, Masked.Masks = {1, 2, 0},
    Masked.Pixels = filled(4);
    EXPECT_THROW(load(Dib, Masked.Build()), EKvDIBInvalidDIB);
  }
  EXPECT_EQ(test::OpenResourceCount(), Before);
}

TEST(BmpReader, ColourTableSizes) {
  TKvInternalDIB Dib;
  TBmp Pal8;
  Pal8.BitCount = 8, Pal8.Width = 4, Pal8.Pixels = {1, 2, 255, 0};
  for (uint32_t I = 0; I < 256; ++I) Pal8.Colors.push_back(0x010203 * (I & 0x3F));
  const TKvDIBInfo& A = load(Dib, Pal8.Build());
  EXPECT_EQ(A.Header.biClrUsed, 256u);  // 0 means the full default table
  EXPECT_EQ(std::memcmp(&A.Colors[5], "\x0F\x0A\x05\x00", 4), 0);
  EXPECT_EQ(A.BitsSize, 4);

  const TKvDIBInfo& B = load(Dib, rgb24(2, 2).Build());
  EXPECT_EQ(B.Header.biClrUsed, 0u);
  EXPECT_EQ(B.BitsSize, 16);

  // 300 entries: 256 kept, 44 skipped, BitsSize counted with all 300.
  TBmp Over = Pal8;
  Over.ClrUsed = 300;
  Over.Colors.resize(300, 0xFFFFFF);
  Over.Colors[255] = 0x00AABBCC;
  Bytes File = Over.Build();
  const TKvDIBInfo& C = load(Dib, File);
  EXPECT_EQ(C.Header.biClrUsed, 256u);
  EXPECT_EQ(C.BitsSize, static_cast<int32_t>(get32(File, 2)) - 54 - 1200);
  EXPECT_EQ(C.Colors[255].rgbRed, 0xAA);
  EXPECT_EQ(std::memcmp(C.Bits, Pal8.Pixels.data(), 4), 0);
}

TEST(BmpReader, CoreHeaderBecomesInfoHeader) {
  TKvInternalDIB Dib;
  const Bytes Pixels = filled(200 * 100, 9);
  const TKvDIBInfo& Info = load(Dib, core_bmp(200, 100, 8, Pixels));
  EXPECT_EQ(Info.Header.biSize, 40u);
  EXPECT_EQ(Info.Header.biWidth, 200);
  EXPECT_EQ(Info.Header.biHeight, 100);
  EXPECT_EQ(Info.Header.biClrUsed, 256u);
  EXPECT_EQ(Info.BitsSize, 200 * 100);
  EXPECT_EQ(Dib.Width, 200);
  EXPECT_EQ(Dib.Height, 100);
  const RGBQUAD& Q = Info.Colors[10];
  EXPECT_EQ(Q.rgbBlue, 10);
  EXPECT_EQ(Q.rgbGreen, 5);
  EXPECT_EQ(Q.rgbRed, 245);
  EXPECT_EQ(Q.rgbReserved, 0);
  // The unsigned 16-bit width reads as such.
  const TKvDIBInfo& Wide = load(Dib, core_bmp(40000, 1, 24, filled(120000)));
  EXPECT_EQ(Wide.Header.biWidth, 40000);
}

// One masked pixel converted to 24 bits: {red, green, blue}.
struct MaskedCase {
  const char* Name;
  uint16_t BitCount;
  uint32_t Compression;
  std::vector<uint32_t> Masks;
  uint32_t Pixel;
  uint8_t Red, Green, Blue;
};

TEST(BmpReader, MaskedPixelsKeepTheTopBitsOfEachField) {
  const std::vector<MaskedCase> Cases = {
      {"16 RGB 0x7FFF", 16, kBiRGB, {}, 0x7FFF, 248, 248, 248},
      {"16 RGB 0x7C00", 16, kBiRGB, {}, 0x7C00, 248, 0, 0},
      {"16 RGB top bit ignored", 16, kBiRGB, {}, 0x801F, 0, 0, 248},
      {"32 RGB", 32, kBiRGB, {}, 0x12345678, 0x34, 0x56, 0x78},
      {"16 565", 16, kBiBitFields, {0xF800, 0x07E0, 0x001F}, 0xFFFF, 248, 252, 248},
      {"16 565 green", 16, kBiBitFields, {0xF800, 0x07E0, 0x001F}, 0x0020, 0, 4, 0},
      {"32 red in top byte",
       32,
       kBiBitFields,
       {0xFF000000, 0x00FF0000, 0x0000FF00},
       0x80402011,
       0x80,
       0x40,
       0x20},
      {"16 two-bit red",
       16,
       kBiBitFields,
       {0xC000, 0x3800, 0x0400},
       0x4000 | 0x0800 | 0x0400,
       0x40,
       0x20,
       0x80},
  };
  for (const MaskedCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TBmp B;
    B.BitCount = C.BitCount, B.Compression = C.Compression, B.Masks = C.Masks;
    B.Pixels = filled(4);
    for (int I = 0; I < C.BitCount / 8; ++I) B.Pixels[I] = static_cast<uint8_t>(C.Pixel >> (8 * I));
    TKvInternalDIB Dib;
    const TKvDIBInfo& Info = load(Dib, B.Build());
    EXPECT_EQ(Info.Header.biBitCount, 24);
    EXPECT_EQ(Info.Header.biCompression, kBiRGB);
    EXPECT_EQ(Info.Header.biSizeImage, 0u);
    EXPECT_EQ(Info.BitsSize, 4);
    EXPECT_EQ(Info.Bits[0], C.Blue);
    EXPECT_EQ(Info.Bits[1], C.Green);
    EXPECT_EQ(Info.Bits[2], C.Red);
    EXPECT_EQ(Info.Bits[3], 0);
  }
}

TEST(BmpReader, BitFieldTableMovesDownAndRowsKeepStreamOrder) {
  // 3 x 2 top-down 16-bit 565 image with a 2-entry table behind the masks.
  TBmp B;
  B.Width = 3, B.Height = -2, B.BitCount = 16, B.Compression = kBiBitFields, B.ClrUsed = 2;
  B.Masks = {0xF800, 0x07E0, 0x001F};
  B.Colors = {0x00112233, 0x00445566};
  B.Pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xAA, 0xBB,   // row 0: red, green, blue, pad
              0xFF, 0xFF, 0x00, 0x00, 0x00, 0xF8, 0xCC, 0xDD};  // row 1: white, black, red, pad
  TKvInternalDIB Dib;
  const TKvDIBInfo& Info = load(Dib, B.Build());
  EXPECT_EQ(Info.Header.biHeight, -2);
  EXPECT_EQ(Dib.Height, 2);
  EXPECT_EQ(Info.Header.biClrUsed, 2u);
  EXPECT_EQ(Info.Colors[0].rgbRed, 0x11);
  EXPECT_EQ(Info.Colors[1].rgbBlue, 0x66);
  EXPECT_EQ(Info.Colors[2].rgbRed, 0);
  ASSERT_EQ(Info.BitsSize, 24);
  const Bytes Expected = {0,   0,   248, 0, 252, 0, 248, 0, 0,   0, 0, 0,  // row 0
                          248, 252, 248, 0, 0,   0, 0,   0, 248, 0, 0, 0};
  EXPECT_EQ(Bytes(Info.Bits, Info.Bits + 24), Expected);
}

TEST(BmpReader, ReadsFromThePositionAndStopsBehindThePixels) {
  for (const Bytes& File : {rgb24(3, 2).Build(), core_bmp(5, 3, 4, filled(12, 0x12))}) {
    Bytes Stream = {1, 2, 3};
    Stream.insert(Stream.end(), File.begin(), File.end());
    Stream.insert(Stream.end(), {9, 9});
    TMemoryStream S(Stream);
    S.SetPosition(3);
    TKvInternalDIB Dib;
    Dib.LoadFromStream(S);
    EXPECT_EQ(S.Position(), 3 + static_cast<int64_t>(File.size()));
  }
}

TEST(BmpReader, RleDataIsStoredAsRead) {
  TBmp B;
  B.Width = 8, B.Height = 2, B.BitCount = 8, B.Compression = kBiRLE8, B.ClrUsed = 2, B.Colors = {0, 0xFFFFFF};
  B.Pixels = {8, 1, 0, 0, 8, 0, 0, 1};
  TKvInternalDIB Dib;
  const TKvDIBInfo& Info = load(Dib, B.Build());
  EXPECT_EQ(Dib.GetPixelFormat(), kvPf8BitRLE);
  EXPECT_EQ(Bytes(Info.Bits, Info.Bits + Info.BitsSize), B.Pixels);
}

TEST(BmpWriter, OneByOne24BitLayout) {
  TKvInternalDIB Dib;
  Dib.FreeStorage();
  Dib.CreateDIB(1, 1, 24, 0);
  Dib.Info.Bits[0] = 1, Dib.Info.Bits[1] = 2, Dib.Info.Bits[2] = 3;
  const Bytes Out = save(Dib);
  ASSERT_EQ(Out.size(), 58u);
  EXPECT_EQ(Out[0], 'B');
  EXPECT_EQ(Out[1], 'M');
  EXPECT_EQ(get32(Out, 2), 58u);
  EXPECT_EQ(get32(Out, 6), 0u);
  EXPECT_EQ(get32(Out, 10), 54u);
  EXPECT_EQ(std::memcmp(Out.data() + 14, &Dib.Info.Header, 40), 0);
  EXPECT_EQ(Bytes(Out.begin() + 54, Out.end()), Bytes({1, 2, 3, 0}));
}

TEST(BmpWriter, SaveThenLoadGivesTheSameImage) {
  struct Shape {
    int32_t W, H, Bits, Colors;
  };
  for (const Shape& S : {Shape{7, 5, 1, 2}, Shape{9, -4, 4, 16}, Shape{13, 3, 4, 5}, Shape{5, 6, 8, 256},
                         Shape{3, -3, 8, 7}, Shape{11, 2, 24, 0}, Shape{2, 2, 24, 3}}) {
    SCOPED_TRACE(testing::Message() << S.W << "x" << S.H << "x" << S.Bits);
    TKvInternalDIB Dib;
    Dib.FreeStorage();
    Dib.CreateDIB(S.W, S.H, S.Bits, S.Colors);
    for (int32_t I = 0; I < Dib.Info.BitsSize; ++I) Dib.Info.Bits[I] = static_cast<uint8_t>(I * 37 + 1);
    for (int I = 0; I < S.Colors; ++I)
      Dib.Info.Colors[I] = RGBQUAD{uint8_t(I), uint8_t(2 * I), uint8_t(3 * I), 0};
    Dib.Info.Header.biXPelsPerMeter = 2835;

    TKvInternalDIB Back;
    load(Back, save(Dib));
    EXPECT_EQ(std::memcmp(&Back.Info.Header, &Dib.Info.Header, 40), 0);
    EXPECT_EQ(std::memcmp(Back.Info.Colors, Dib.Info.Colors, 4 * S.Colors), 0);
    ASSERT_EQ(Back.Info.BitsSize, Dib.Info.BitsSize);
    EXPECT_EQ(std::memcmp(Back.Info.Bits, Dib.Info.Bits, Dib.Info.BitsSize), 0);
  }
}

TEST(BmpWriter, PaletteImageWithoutColourCountGetsItsFullTable) {
  for (int Bits : {1, 4, 8}) {
    SCOPED_TRACE(Bits);
    TKvInternalDIB Dib;
    Dib.FreeStorage();
    Dib.CreateDIB(16, 3, Bits, 0);
    for (int32_t I = 0; I < Dib.Info.BitsSize; ++I) Dib.Info.Bits[I] = static_cast<uint8_t>(I * 13);
    const Bytes Out = save(Dib);
    const uint32_t Entries = static_cast<uint32_t>(DefaultColorCount(Bits));
    EXPECT_EQ(get32(Out, 10), 54 + 4 * Entries);
    EXPECT_EQ(get32(Out, 46), 0u);  // the header is written as held
    EXPECT_EQ(Out.size(), 54 + 4 * Entries + Dib.Info.BitsSize);

    TKvInternalDIB Back;
    load(Back, Out);
    EXPECT_EQ(Back.Info.Header.biClrUsed, Entries);
    ASSERT_EQ(Back.Info.BitsSize, Dib.Info.BitsSize);
    EXPECT_EQ(std::memcmp(Back.Info.Bits, Dib.Info.Bits, Dib.Info.BitsSize), 0);
  }
}

TEST(BmpWriter, KeptBitFieldMasksStayInFrontOfTheTable) {
  // An 8-bit file marked BI_BITFIELDS loads as read (masks first in Colors; the pixel size
  // comes from bfSize without the masks, so this one states 12 bytes less). Written back,
  // the masks stay where a reader looks for them.
  TBmp B;
  B.Width = 4, B.BitCount = 8, B.Compression = kBiBitFields, B.ClrUsed = 1;
  B.Masks = {0xF00, 0x0F0, 0x00F}, B.Colors = {0x00123456}, B.Pixels = {1, 2, 3, 4};
  B.FileSize = 54 + 12 + 4 + 4 - 12;
  TKvInternalDIB Dib;
  load(Dib, B.Build());
  EXPECT_EQ(Dib.Info.BitsSize, 4);
  const Bytes Out = save(Dib);
  EXPECT_EQ(get32(Out, 10), 54u + 16u);
  EXPECT_EQ(get32(Out, 54), 0xF00u);
  EXPECT_EQ(get32(Out, 66), 0x00123456u);
  EXPECT_EQ(Bytes(Out.begin() + 70, Out.end()), B.Pixels);
}

TEST(BmpWriter, StreamWriteErrorsPropagate) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TKvInternalDIB Dib;
  ExpectThrowMessage<EStreamError>([&] { Dib.WriteToFile("/dev/full"); }, "Stream write error");
  TKvDIB Graphic;
  ExpectThrowMessage<EStreamError>([&] { Graphic.WriteToFile("/dev/full"); }, "Stream write error");
}

std::string temp_path(const char* Name) {
  return (std::filesystem::temp_directory_path() / (std::string("kvdib-") + std::to_string(getpid()) + Name))
      .string();
}

TEST(BmpFiles, WriteAndLoadByName) {
  const std::string Path = temp_path("-files.bmp");
  TKvDIB Image;
  Image.SetWidth(5);
  Image.SetHeight(-3);
  Image.SetBitCount(24);
  Image.GetScanLine(1)[4] = 0x77;
  Image.WriteToFile(Path);

  TKvDIB Loaded;
  Loaded.LoadFromFile(Path);
  EXPECT_EQ(Loaded.GetWidth(), 5);
  EXPECT_EQ(Loaded.GetHeight(), 3);
  EXPECT_EQ(Loaded.InternalDIB()->Info.Header.biHeight, 3);  // SetBitCount makes it bottom-up
  EXPECT_EQ(Loaded.GetScanLine(1)[4], 0x77);

  TKvInternalDIB Storage;
  Storage.LoadFromFile(Path);
  EXPECT_EQ(Storage.Width, 5);
  std::filesystem::remove(Path);

  ExpectThrowMessage<EStreamError>([&] { Loaded.LoadFromFile(Path); }, "Cannot open file " + Path);
  const std::string NoDir = temp_path("-missing-dir/x.bmp");
  ExpectThrowMessage<EStreamError>([&] { Loaded.WriteToFile(NoDir); }, "Cannot create file " + NoDir);
}

TEST(BmpGraphic, LoadReplacesTheStorageAndNotifies) {
  TKvDIB Image;
  int Changes = 0;
  Image.OnChange = [&](TGraphic*) { ++Changes; };
  TKvDIB Sharer;
  Sharer.Assign(&Image);
  TKvInternalDIB* Before = Image.InternalDIB();
  ASSERT_EQ(Before->RefCount, 2);

  Image.SetPaletteDirty(false);
  TMemoryStream S(rgb24(6, 4).Build());
  Image.LoadFromStream(S);
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(Image.PaletteDirty());
  EXPECT_NE(Image.InternalDIB(), Before);
  EXPECT_EQ(Image.InternalDIB()->RefCount, 1);
  EXPECT_EQ(Before->RefCount, 1);  // the other graphic keeps the old storage
  EXPECT_EQ(Sharer.GetWidth(), 1);
  EXPECT_EQ(Image.GetWidth(), 6);
  EXPECT_EQ(Image.GetPixelFormat(), kvPf24Bit);
}

TEST(BmpGraphic, FailedLoadLeavesTheDefaultImageWithoutNotification) {
  TKvDIB Image;
  TMemoryStream Good(rgb24(6, 4).Build());
  Image.LoadFromStream(Good);
  int Changes = 0;
  Image.OnChange = [&](TGraphic*) { ++Changes; };
  auto Bad = rgb24(6, 4).Build();
  Bad[28] = 3;  // bit count 3
  TMemoryStream S(Bad);
  ExpectThrowMessage<EKvDIBInvalidDIB>([&] { Image.LoadFromStream(S); }, kBitCout);
  EXPECT_EQ(Changes, 0);
  EXPECT_EQ(Image.GetWidth(), 1);
  EXPECT_EQ(Image.GetHeight(), 1);
  EXPECT_EQ(Image.GetBitCount(), 8);
  EXPECT_EQ(Image.GetColorCount(), 2);
}

TEST(BmpGraphic, SavingSharedStorageLeavesItShared) {
  TKvDIB A;
  TMemoryStream In(rgb24(3, 3).Build());
  A.LoadFromStream(In);
  TKvDIB B;
  B.Assign(&A);
  TMemoryStream Out;
  B.SaveToStream(Out);
  EXPECT_EQ(A.InternalDIB(), B.InternalDIB());
  EXPECT_EQ(A.InternalDIB()->RefCount, 2);
  EXPECT_EQ(Out.Data(), rgb24(3, 3).Build());
}

}  // namespace
}  // namespace kv
