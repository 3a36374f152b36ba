// Widening conversions of uncompressed paletted images: 1 -> 4, 1 -> 8 and 4 -> 8 bits
// keep every colour index and the colour table; 1, 4 and 8 bits -> 24 bits replace each
// index by its colour-table entry. Rows are converted in storage order, so the
// orientation (the sign of biHeight) carries over; the padding at the end of each
// destination row stays as the zero-filled block gave it.
#include "image/convert/KvUpConvert.h"

#include <array>
#include <bit>
#include <cstring>

#include "image/KvGeometry.h"
#include "image/KvPixels.h"

namespace kv {

namespace {

// The colour table as blue | green << 8 | red << 16, built once per call for the 24-bit
// rows, so that a pixel is one 4-byte store.
using TPaletteBgr = std::array<uint32_t, 256>;
static_assert(std::endian::native == std::endian::little,
              "the 4-byte pixel stores assume little-endian order");

// One destination row from one source row of Width pixels.
using TRowProc = void (*)(const uint8_t* Src, uint8_t* Dst, int64_t Width, const TPaletteBgr& Bgr);

struct TWidening {
  uint16_t SrcBits;
  uint16_t DstBits;
  const char* BadType;   // message for a source of the wrong format
  const char* BadBlock;  // message for a source block shorter than its rows
  TRowProc Row;
};

void row_1_to_4(const uint8_t* S, uint8_t* D, int64_t W, const TPaletteBgr&) {
  PackNibbleRow(D, W, [S](int64_t X) { return GetPixel1(S, X); });
}

void row_1_to_8(const uint8_t* S, uint8_t* D, int64_t W, const TPaletteBgr&) { UnpackIndexRow<1>(S, W, D); }

void row_4_to_8(const uint8_t* S, uint8_t* D, int64_t W, const TPaletteBgr&) { UnpackIndexRow<4>(S, W, D); }

template <int Bits>
void row_to_24(const uint8_t* S, uint8_t* D, int64_t W, const TPaletteBgr& Bgr) {
  auto index = [S](int64_t X) { return GetPixelIndex(S, X, Bits); };
  // Each store also writes a 0 into the first byte of the next pixel, which that pixel
  // then overwrites; the last pixel of the row is stored as three bytes, so nothing
  // beyond the row's pixels is touched.
  for (int64_t X = 0; X + 1 < W; ++X) std::memcpy(D + 3 * X, &Bgr[index(X)], 4);
  const uint32_t Last = Bgr[index(W - 1)];
  uint8_t* P = D + 3 * (W - 1);
  P[0] = static_cast<uint8_t>(Last);
  P[1] = static_cast<uint8_t>(Last >> 8);
  P[2] = static_cast<uint8_t>(Last >> 16);
}

void widen(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TWidening& How) {
  if (Src.Header.biBitCount != How.SrcBits || Src.Header.biCompression != kBiRGB)
    throw EKvDIBBadDIBType(How.BadType);
  const TKvRowGeometry G = RowGeometryOf(Src, How.SrcBits, How.DstBits);
  CheckSourceRows(Src, G.SrcStride, G.Height, How.BadBlock);

  TPaletteBgr Bgr;
  for (int I = 0; I < 256; ++I)
    Bgr[I] = Src.Colors[I].rgbBlue | (uint32_t{Src.Colors[I].rgbGreen} << 8) |
             (uint32_t{Src.Colors[I].rgbRed} << 16);

  TFileMapBlock Block(CheckedBlockSize(G.DstStride, G.Height));
  for (int64_t R = 0; R < G.Height; ++R) How.Row(G.SrcRow(Src, R), G.DstRow(Block.Bits(), R), G.Width, Bgr);
  FillDestination(Src, Dst, Block, How.DstBits, kBiRGB, 0);
}

}  // namespace

void Convert4BitRGBTo8BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  widen(Src, Dst,
        {4, 8, "Convert4BitRGBTo8BitRGB: Invalid Bitcount & Compression Combination",
         "Convert4BitRGBTo8BitRGB: Pixel Block Too Small", row_4_to_8});
}

void Convert1BitRGBTo8BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  widen(Src, Dst,
        {1, 8, "Convert1BitRGBTo8BitRGB: Invalid Bitcount & Compression Combination",
         "Convert1BitRGBTo8BitRGB: Pixel Block Too Small", row_1_to_8});
}

void Convert1BitRGBTo4BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  widen(Src, Dst,
        {1, 4, "Convert1BitRGBTo4BitRGB: Invalid Bitcount & Compression Combination",
         "Convert1BitRGBTo4BitRGB: Pixel Block Too Small", row_1_to_4});
}

void Convert1BitRGBToTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  widen(Src, Dst,
        {1, 24, "Convert1BitRGBToTrueColor: Invalid Bitcount & Compression Combination",
         "Convert1BitRGBToTrueColor: Pixel Block Too Small", row_to_24<1>});
}

void Convert4BitRGBToTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  widen(Src, Dst,
        {4, 24, "Convert4BitRGBToTrueColor: Invalid Bitcount & Compression Combination",
         "Convert4BitRGBToTrueColor: Pixel Block Too Small", row_to_24<4>});
}

void Convert8BitRGBToTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst) {
  widen(Src, Dst,
        {8, 24, "Convert8BitRGBToTrueColor: Invalid Bitcount & Compression Combination",
         "Convert8BitRGBToTrueColor: Pixel Block Too Small", row_to_24<8>});
}

}  // namespace kv
