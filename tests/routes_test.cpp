// Every route of the pixel-format driver, run through TKvDIB::SetPixelFormat from each
// storage format to each other format and to both halftone targets. The picture is a few
// blocks of colours that every format can hold, so each result can be checked pixel by
// pixel: lossless routes and the reductions keep every colour, conversions to 1 bit mark
// the key colour, and the halftones give what the halftone routines give for the same
// picture in true colour. Every route ends with exactly one pixel block.
#include <gtest/gtest.h>

#include "image/KvDIB.h"
#include "image/convert/KvHalftone.h"
#include "image/convert/KvRLE.h"
#include "tests/KvTestSupport.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

constexpr int32_t kWidth = 29;  // odd, blocks of 8 pixels: byte-aligned for 4 bits
constexpr int32_t kHeight = 6;

const TKvRGB kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255};

const char* name(TKvPixelFormat F) {
  static const char* const Names[] = {"1Bit",    "4Bit",  "4BitRLE",  "8Bit",
                                      "8BitRLE", "24Bit", "HalfTone", "HalfToneBW"};
  return Names[F];
}

// Picture colour at (X, Y), Y from the top. One-bit pictures use black and white only.
TKvRGB picture(int32_t X, int32_t Y, bool TwoColours) {
  const int Block = (X / 8 + Y / 3) % (TwoColours ? 2 : 4);
  const TKvRGB Colours[4] = {kWhite, kBlack, kRed, kBlue};
  return Colours[Block];
}

int palette_index(TKvRGB C) { return C == kWhite ? 0 : C == kBlack ? 1 : C == kRed ? 2 : 3; }

// A TKvDIB in storage format F holding the picture; the palette lists the colours in a
// scrambled order so that indices and colours differ.
void make_source(TKvDIB& D, TKvPixelFormat F, int32_t Height) {
  const bool Rle = F == kvPf4BitRLE || F == kvPf8BitRLE;
  const int Bits = F == kvPf1Bit ? 1 : (F == kvPf4Bit || F == kvPf4BitRLE) ? 4 : (F == kvPf24Bit ? 24 : 8);
  D.SetBitCount(Bits);
  D.SetWidth(kWidth);
  D.SetHeight(Height);
  const bool Two = Bits == 1;
  TKvDIBInfo& Info = D.InternalDIB()->Info;
  if (Bits != 24) {
    const TKvRGB Colours[4] = {kWhite, kBlack, kRed, kBlue};
    for (int I = 0; I < (Two ? 2 : 4); ++I) Info.Colors[(Two ? 1 - I : 5 + 3 * I)] = QuadOf(Colours[I]);
  }
  for (int32_t Y = 0; Y < kHeight; ++Y) {
    uint8_t* Row = D.GetScanLine(Y);
    for (int32_t X = 0; X < kWidth; ++X) {
      const TKvRGB C = picture(X, Y, Two);
      const int I = palette_index(C);
      if (Bits == 24) SetPixel24(Row, X, C);
      if (Bits == 8) Row[X] = static_cast<uint8_t>(5 + 3 * I);
      if (Bits == 4) SetPixel4(Row, X, static_cast<uint8_t>(5 + 3 * I));
      if (Bits == 1) SetPixel1(Row, X, I == 0);
    }
  }
  if (Rle) D.SetPixelFormat(F);
  ASSERT_EQ(D.GetPixelFormat(), F);
}

// The picture a storage descriptor holds, top row first; RLE streams are decoded.
std::vector<TKvRGB> picture_of(const TKvDIBInfo& Stored) {
  TOwnedDIB Decoded;
  const TKvDIBInfo* Info = &Stored;
  if (Stored.Header.biCompression == kBiRLE8) Convert8BitRLETo8BitRGB(Stored, Decoded.Info());
  if (Stored.Header.biCompression == kBiRLE4) Convert4BitRLETo4BitRGB(Stored, Decoded.Info());
  if (Stored.Header.biCompression != kBiRGB) Info = &Decoded.Info();
  const int32_t W = Info->Header.biWidth, H = std::abs(Info->Header.biHeight);
  const int32_t Stride = DIBStride(Info->Header);
  std::vector<TKvRGB> Out;
  for (int32_t Y = 0; Y < H; ++Y) {
    const int32_t R = Info->Header.biHeight > 0 ? H - 1 - Y : Y;
    for (int32_t X = 0; X < W; ++X)
      Out.push_back(
          GetPixelColor(*Info, Info->Bits + static_cast<size_t>(Stride) * R, X, Info->Header.biBitCount));
  }
  return Out;
}

// The halftone of the picture in true colour, as a picture.
std::vector<TKvRGB> halftone_of_picture(const std::vector<TKvRGB>& Pic, int32_t Height, bool Mono) {
  TOwnedDIB Src(kWidth, Height, 24);
  for (int32_t Y = 0; Y < kHeight; ++Y)
    for (int32_t X = 0; X < kWidth; ++X)
      SetPixel24(Src.Row(Height > 0 ? kHeight - 1 - Y : Y), X, Pic[static_cast<size_t>(Y * kWidth + X)]);
  TOwnedDIB Dst;
  if (Mono)
    ConvertToHalfToneBW(Src.Info(), Dst.Info());
  else
    ConvertToHalfTone(Src.Info(), Dst.Info());
  return picture_of(Dst.Info());
}

struct TTargetShape {
  uint16_t Bits;
  uint32_t Compression;
};

TTargetShape shape(TKvPixelFormat F) {
  switch (F) {
    case kvPf1Bit:
    case kvPfHalfToneBW: return {1, kBiRGB};
    case kvPf4Bit: return {4, kBiRGB};
    case kvPf4BitRLE: return {4, kBiRLE4};
    case kvPf8Bit:
    case kvPfHalfTone: return {8, kBiRGB};
    case kvPf8BitRLE: return {8, kBiRLE8};
    default: return {24, kBiRGB};
  }
}

void check_route(TKvPixelFormat From, TKvPixelFormat To, int32_t Height, bool Fine) {
  SCOPED_TRACE(std::string(name(From)) + " -> " + name(To) + (Height < 0 ? ", top-down" : "") +
               (Fine ? ", fine" : ""));
  TKvDIB D;
  make_source(D, From, Height);
  D.FineMethod = Fine;
  const std::vector<TKvRGB> Before = picture_of(D.InternalDIB()->Info);
  // RLE sources were made by the encoders and are therefore stored bottom-up.
  const int32_t Stored = D.InternalDIB()->Info.Header.biHeight;
  const int64_t Fds = OpenResourceCount();

  D.SetPixelFormat(To);

  EXPECT_EQ(OpenResourceCount(), Fds);  // the old block went, intermediate ones too
  const TKvDIBInfo& Info = D.InternalDIB()->Info;
  const TTargetShape S = shape(To);
  EXPECT_EQ(Info.Header.biBitCount, S.Bits);
  EXPECT_EQ(Info.Header.biCompression, S.Compression);
  EXPECT_EQ(D.GetWidth(), kWidth);
  EXPECT_EQ(D.GetHeight(), kHeight);
  EXPECT_EQ(Info.Header.biWidth, kWidth);
  // The encoders always store bottom-up; everything else keeps the orientation.
  EXPECT_EQ(Info.Header.biHeight, S.Compression != kBiRGB ? kHeight : Stored);
  if (S.Compression == kBiRGB) {
    int32_t Size = 0;
    ASSERT_TRUE(DIBBlockSize(kWidth, Stored, S.Bits, Size));
    EXPECT_EQ(Info.BitsSize, Size);
  } else {
    EXPECT_EQ(static_cast<uint32_t>(Info.BitsSize), Info.Header.biSizeImage);
  }

  const std::vector<TKvRGB> After = picture_of(Info);
  if (To == kvPfHalfTone || To == kvPfHalfToneBW) {
    EXPECT_EQ(Info.Header.biClrUsed, To == kvPfHalfTone ? 215u : 2u);
    // Rows are diffused in storage order, so the orientation matters.
    EXPECT_EQ(After, halftone_of_picture(Before, Stored, To == kvPfHalfToneBW));
  } else if (To == kvPf1Bit) {
    // Key colour: the default background, white.
    EXPECT_EQ(Info.Header.biClrUsed, 2u);
    for (size_t I = 0; I < After.size(); ++I)
      EXPECT_EQ(After[I], Before[I] == kWhite ? kWhite : kBlack) << "pixel " << I;
  } else {
    EXPECT_LE(Info.Header.biClrUsed, S.Bits == 4 ? 16u : 256u);
    EXPECT_EQ(After, Before);
  }
}

const TKvPixelFormat kStorage[] = {kvPf1Bit, kvPf4Bit, kvPf4BitRLE, kvPf8Bit, kvPf8BitRLE, kvPf24Bit};

// Routes without a colour reduction.
bool reduces(TKvPixelFormat From, TKvPixelFormat To) {
  const bool To4 = To == kvPf4Bit || To == kvPf4BitRLE;
  const bool To8 = To == kvPf8Bit || To == kvPf8BitRLE;
  return (From == kvPf24Bit && (To4 || To8)) || ((From == kvPf8Bit || From == kvPf8BitRLE) && To4);
}

TEST(Routes, EveryRouteWithoutAReduction) {
  for (TKvPixelFormat From : kStorage)
    for (TKvPixelFormat To :
         {kvPf1Bit, kvPf4Bit, kvPf4BitRLE, kvPf8Bit, kvPf8BitRLE, kvPf24Bit, kvPfHalfTone, kvPfHalfToneBW})
      if (From != To && !reduces(From, To))
        for (int32_t Height : {kHeight, -kHeight}) check_route(From, To, Height, false);
}

TEST(Routes, EveryRouteThroughAReduction) {
  for (TKvPixelFormat From : kStorage)
    for (TKvPixelFormat To : kStorage)
      if (reduces(From, To))
        for (int32_t Height : {kHeight, -kHeight})
          for (bool Fine : {false, true})
            if (From == kvPf24Bit || !Fine) check_route(From, To, Height, Fine);
}

TEST(Routes, SameFormatAndErrorPairs) {
  for (TKvPixelFormat F : kStorage) {
    TKvDIB D;
    make_source(D, F, kHeight);
    const TKvInternalDIB* Before = D.InternalDIB();
    const std::vector<uint8_t> Bytes(Before->Info.Bits, Before->Info.Bits + Before->Info.BitsSize);
    D.SetPixelFormat(F);  // no change at all
    EXPECT_EQ(D.InternalDIB(), Before);
    EXPECT_EQ(std::vector<uint8_t>(D.InternalDIB()->Info.Bits,
                                   D.InternalDIB()->Info.Bits + D.InternalDIB()->Info.BitsSize),
              Bytes);
    // The driver itself refuses the pair.
    ExpectThrowMessage<EKvDIBAssert>([&] { SetPixelsFormat(*D.InternalDIB(), F, 0, 0, [] {}); },
                                     "TKvIntenalDIB.SetPixelsFormat: PixelFormat Error");
  }
}

TEST(Routes, DecodingErrorLeavesTheImage) {
  TKvDIB D;
  make_source(D, kvPf8BitRLE, kHeight);
  TKvDIBInfo& Info = D.InternalDIB()->Info;
  Info.Bits[0] = 200;  // a run far beyond the row end
  const std::vector<uint8_t> Bytes(Info.Bits, Info.Bits + Info.BitsSize);
  const int64_t Fds = OpenResourceCount();
  for (TKvPixelFormat To : {kvPf1Bit, kvPf8Bit, kvPf24Bit, kvPf4BitRLE, kvPfHalfTone}) {
    ExpectThrowMessage<EKvDIBInvalidDIB>([&] { D.SetPixelFormat(To); },
                                         "Convert8BitRLETo8BitRGB: Bad RLE Data 4");
    EXPECT_EQ(D.GetPixelFormat(), kvPf8BitRLE);
    EXPECT_EQ(std::vector<uint8_t>(D.InternalDIB()->Info.Bits,
                                   D.InternalDIB()->Info.Bits + D.InternalDIB()->Info.BitsSize),
              Bytes);
    EXPECT_EQ(OpenResourceCount(), Fds);
  }
}

TEST(Routes, CompressionFailureLeavesTheImage) {
  // A noisy 8-bit picture cannot be stored as RLE8; the 1 -> 8 -> RLE8 route fails at its
  // last step and releases the widened block.
  TKvDIB D;
  D.SetBitCount(1);
  D.SetWidth(16);
  D.SetHeight(4);
  for (int32_t Y = 0; Y < 4; ++Y) {
    D.GetScanLine(Y)[0] = 0x55;
    D.GetScanLine(Y)[1] = 0xAA;
  }
  const int64_t Fds = OpenResourceCount();
  ExpectThrowMessage<EKvDIBCompressionFailed>([&] { D.SetPixelFormat(kvPf8BitRLE); },
                                              "Convert8BitRGBTo8BitRLE: Compression Failed");
  EXPECT_EQ(D.GetPixelFormat(), kvPf1Bit);
  EXPECT_EQ(D.GetScanLine(2)[1], 0xAA);
  EXPECT_EQ(OpenResourceCount(), Fds);
}

}  // namespace
}  // namespace kv::test
