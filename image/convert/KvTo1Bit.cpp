// Key-colour masks: a 1-bit image whose bit is 1 (white) exactly where the source pixel has
// the key colour and 0 (black) everywhere else. Paletted sources are compared by the colour
// their index stands for, so every index whose entry holds the key colour marks its pixels;
// the reserved byte of an entry takes no part. The bits after the last pixel of a row stay 0.
#include "image/convert/KvTo1Bit.h"

#include <array>

#include "image/KvGeometry.h"
#include "image/KvPixels.h"
#include "image/convert/KvHalftonePalette.h"

namespace kv {

namespace {

TKvRGB split_key(COLORREF Key) {
  return TKvRGB{static_cast<uint8_t>(Key & 0xFF), static_cast<uint8_t>((Key >> 8) & 0xFF),
                static_cast<uint8_t>((Key >> 16) & 0xFF)};
}

// Runs Row(src row, dst row) over every row in storage order and fills Dst.
template <typename TRowFn>
void make_mask(const TKvDIBInfo& Src, TKvDIBInfo& Dst, int SrcBits, const char* BadBlock, TRowFn&& Row) {
  const TKvRowGeometry G = RowGeometryOf(Src, SrcBits, 1);
  CheckSourceRows(Src, G.SrcStride, G.Height, BadBlock);

  TFileMapBlock Block(CheckedBlockSize(G.DstStride, G.Height));
  for (int64_t R = 0; R < G.Height; ++R) Row(G.SrcRow(Src, R), G.DstRow(Block.Bits(), R), G.Width);
  FillDestination(Src, Dst, Block, 1, kBiRGB, 0, MonoPalette);
}

// Which of the first Entries colour-table entries hold the key colour.
template <int Entries>
std::array<bool, Entries> key_entries(const TKvDIBInfo& Src, TKvRGB Key) {
  std::array<bool, Entries> Hit{};
  for (int I = 0; I < Entries; ++I) Hit[I] = ColorOf(Src.Colors[I]) == Key;
  return Hit;
}

}  // namespace

void ConvertTrueColorTo1BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, COLORREF Background) {
  // Only the bit count decides here; the compression field is not looked at.
  if (Src.Header.biBitCount != 24) throw EKvDIBBadDIBType("ConvertTrueColorTo1BitRGB: Invalid Bitcount");
  const TKvRGB Key = split_key(Background);
  make_mask(Src, Dst, 24, "ConvertTrueColorTo1BitRGB: Pixel Block Too Small",
            [Key](const uint8_t* S, uint8_t* D, int64_t W) {
              PackBitRow(D, W, [S, Key](int64_t X) {
                const uint8_t* P = S + 3 * X;
                return P[0] == Key.Blue && P[1] == Key.Green && P[2] == Key.Red;
              });
            });
}

void Convert8BitTo1BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, COLORREF Background) {
  if (Src.Header.biBitCount != 8 || Src.Header.biCompression != kBiRGB)
    throw EKvDIBBadDIBType("Convert8BitTo1BitRGB: Invalid Bitcount or Compression");
  const std::array<bool, 256> Hit = key_entries<256>(Src, split_key(Background));
  make_mask(Src, Dst, 8, "Convert8BitTo1BitRGB: Pixel Block Too Small",
            [&Hit](const uint8_t* S, uint8_t* D, int64_t W) {
              PackBitRow(D, W, [S, &Hit](int64_t X) { return Hit[S[X]]; });
            });
}

void Convert4BitRGBTo1BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, COLORREF Background) {
  if (Src.Header.biBitCount != 4 || Src.Header.biCompression != kBiRGB)
    throw EKvDIBBadDIBType("Convert4BitRGBTo1BitRGB: Invalid Bitcount");
  const std::array<bool, 16> Hit = key_entries<16>(Src, split_key(Background));
  make_mask(Src, Dst, 4, "Convert4BitRGBTo1BitRGB: Pixel Block Too Small",
            [&Hit](const uint8_t* S, uint8_t* D, int64_t W) {
              PackBitRow(D, W, [S, &Hit](int64_t X) { return Hit[GetPixel4(S, X)]; });
            });
}

}  // namespace kv
