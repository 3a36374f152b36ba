// Python images and the pixel transfers between strided byte arrays and TKvDIB storage.
#include "python/src/KvPyImage.h"

#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/KvPixels.h"

namespace kv::python {

namespace {

int32_t checked_extent(int64_t Value, const char* What) {
  if (Value > std::numeric_limits<int32_t>::max())
    throw std::length_error(std::string("image ") + What + " of " + std::to_string(Value) +
                            " pixels is more than an image can hold");
  return static_cast<int32_t>(Value);
}

// The geometry first, at the final depth, so no full-size image of another depth is built.
void make_image(TKvDIB& Image, int64_t Height, int64_t Width, int32_t BitCount) {
  const int32_t H = checked_extent(Height, "height"), W = checked_extent(Width, "width");
  Image.SetBitCount(BitCount);
  Image.SetWidth(W);
  Image.SetHeight(H);
}

static_assert(std::endian::native == std::endian::little,
              "the four-byte swap below reads pixels little-endian");

// One row of three-byte pixels with the first and third byte swapped: red, green, blue to
// blue, green, red and back. Packed rows go four bytes at a time (load, byte-reverse, shift:
// the fourth byte is the next pixel's and is overwritten by its store), which is about
// half the time of byte moves; the last pixel of a row goes byte by byte, so nothing is
// read or written beyond it.
void swap_rgb_row(uint8_t* Dst, const uint8_t* Src, int64_t Width, ptrdiff_t Step, ptrdiff_t Channel) {
  if (Width <= 0) return;
  int64_t X = 0;
  if (Step == 3 && Channel == 1) {
    const auto swap_one = [](uint8_t* D, const uint8_t* S) {
      uint32_t V;
      std::memcpy(&V, S, 4);
      V = __builtin_bswap32(V) >> 8;
      std::memcpy(D, &V, 4);
    };
    for (; X + 4 < Width; X += 4, Dst += 12, Src += 12) {
      swap_one(Dst, Src);
      swap_one(Dst + 3, Src + 3);
      swap_one(Dst + 6, Src + 6);
      swap_one(Dst + 9, Src + 9);
    }
    for (; X + 1 < Width; ++X, Dst += 3, Src += 3) swap_one(Dst, Src);
  }
  for (; X < Width; ++X, Dst += 3, Src += Step) {
    Dst[0] = Src[2 * Channel];
    Dst[1] = Src[Channel];
    Dst[2] = Src[0];
  }
}

}  // namespace

std::unique_ptr<TPyImage> TPyImage::Share() const {
  auto Shared = std::make_unique<TPyImage>();
  Shared->Dib().Assign(m_Dib.get());
  return Shared;
}

void FillTrueColor(TKvDIB& Image, const TByteView& Rgb) {
  make_image(Image, Rgb.Shape[0], Rgb.Shape[1], 24);
  for (int64_t Y = 0; Y < Rgb.Shape[0]; ++Y)
    swap_rgb_row(Image.GetScanLine(static_cast<int32_t>(Y)), Rgb.Data + Y * Rgb.Strides[0], Rgb.Shape[1],
                 Rgb.Strides[1], Rgb.Strides[2]);
}

void FillIndexed(TKvDIB& Image, const TByteView& Indices, const TByteView& Palette) {
  const int64_t H = Indices.Shape[0], W = Indices.Shape[1], N = Palette.Shape[0];
  // Indices beyond the palette would silently stand for black; refuse them before allocating.
  if (N < 256) {
    for (int64_t Y = 0; Y < H; ++Y) {
      const uint8_t* Row = Indices.Data + Y * Indices.Strides[0];
      for (int64_t X = 0; X < W; ++X)
        if (Row[X * Indices.Strides[1]] >= N)
          throw std::invalid_argument("index " + std::to_string(Row[X * Indices.Strides[1]]) + " at (" +
                                      std::to_string(Y) + ", " + std::to_string(X) + ") is beyond the " +
                                      std::to_string(N) + " palette colours");
    }
  }
  make_image(Image, H, W, 8);
  // More than 256 entries: one beyond the limit is enough for the library to refuse them.
  const int32_t Count = static_cast<int32_t>(N > 257 ? 257 : N);
  std::vector<RGBQUAD> Quads(static_cast<size_t>(Count));
  for (int32_t I = 0; I < Count; ++I) {
    const uint8_t* C = Palette.Data + I * Palette.Strides[0];
    Quads[static_cast<size_t>(I)] = QuadOf(TKvRGB{C[0], C[Palette.Strides[1]], C[2 * Palette.Strides[1]]});
  }
  Image.SetColorTable(Quads.data(), Count);
  for (int64_t Y = 0; Y < H; ++Y) {
    uint8_t* Dst = Image.GetScanLine(static_cast<int32_t>(Y));
    const uint8_t* Src = Indices.Data + Y * Indices.Strides[0];
    if (Indices.Strides[1] == 1) {
      std::memcpy(Dst, Src, static_cast<size_t>(W));
    } else {
      for (int64_t X = 0; X < W; ++X) Dst[X] = Src[X * Indices.Strides[1]];
    }
  }
}

void ReadIndices(const TKvDIB& Image, uint8_t* Out) {
  const int32_t H = Image.GetHeight(), W = Image.GetWidth();
  const int BitCount = Image.GetBitCount();
  for (int32_t Y = 0; Y < H; ++Y, Out += W) {
    const uint8_t* Row = Image.ReadScanLine(Y);
    if (BitCount == 8) {
      std::memcpy(Out, Row, static_cast<size_t>(W));
    } else {
      for (int32_t X = 0; X < W; ++X) Out[X] = GetPixelIndex(Row, X, BitCount);
    }
  }
}

void ReadTrueColor(const TKvDIB& Image, uint8_t* Out) {
  const int32_t H = Image.GetHeight(), W = Image.GetWidth();
  const int BitCount = Image.GetBitCount();
  const TKvDIBInfo& Info = Image.DIBInfo();
  for (int32_t Y = 0; Y < H; ++Y) {
    const uint8_t* Row = Image.ReadScanLine(Y);
    if (BitCount == 24) {
      swap_rgb_row(Out, Row, W, 3, 1);
      Out += 3 * static_cast<ptrdiff_t>(W);
      continue;
    }
    for (int32_t X = 0; X < W; ++X, Out += 3) {
      const TKvRGB C = GetPixelColor(Info, Row, X, BitCount);
      Out[0] = C.Red;
      Out[1] = C.Green;
      Out[2] = C.Blue;
    }
  }
}

void ReadPalette(const TKvDIB& Image, uint8_t* Out) {
  const TKvDIBInfo& Info = Image.DIBInfo();
  for (uint32_t I = 0; I < Info.Header.biClrUsed && I < 256; ++I, Out += 3) {
    const TKvRGB C = ColorOf(Info.Colors[I]);
    Out[0] = C.Red;
    Out[1] = C.Green;
    Out[2] = C.Blue;
  }
}

bool IsCompressed(const TKvDIB& Image) { return Image.DIBInfo().Header.biCompression != kBiRGB; }

std::unique_ptr<TPyImage> Decompressed(const TPyImage& Image) {
  auto Plain = Image.Share();
  Plain->Dib().SetPixelFormat(Image.Dib().GetBitCount() == 4 ? kvPf4Bit : kvPf8Bit);
  return Plain;
}

}  // namespace kv::python
