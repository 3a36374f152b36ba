// Test helpers for the conversion routines: descriptors that own their pixel block,
// row access and random images.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "image/KvDIBInfo.h"
#include "image/KvGeometry.h"
#include "image/KvPixels.h"
#include "tests/KvTestSupport.h"

namespace kv::test {

// A descriptor that owns its block (the library's TKvOwnedInfo) with the set-up and pixel
// access the tests need. Conversions write their result into Info() of a fresh TOwnedDIB.
class TOwnedDIB {
 public:
  TOwnedDIB() = default;
  // An uncompressed zero-filled image; BitsSize = stride * |Height|.
  TOwnedDIB(int32_t Width, int32_t Height, uint16_t BitCount, uint32_t ClrUsed = 0) {
    int32_t Size = 0;
    if (!DIBBlockSize(Width, Height, BitCount, Size)) throw std::runtime_error("bad test geometry");
    Header(Width, Height, BitCount, 0, ClrUsed);
    Allocate(Size);
  }
  // A compressed image whose block holds Stream.
  static TOwnedDIB Stream(int32_t Width, int32_t Height, uint16_t BitCount, uint32_t Compression,
                          const std::vector<uint8_t>& Bytes) {
    TOwnedDIB D;
    D.Header(Width, Height, BitCount, Compression, BitCount == 8 ? 256 : 16);
    D.Allocate(static_cast<int32_t>(Bytes.size()));
    if (!Bytes.empty()) std::memcpy(D.Info().Bits, Bytes.data(), Bytes.size());
    D.Info().Header.biSizeImage = static_cast<uint32_t>(Bytes.size());
    return D;
  }
  TKvDIBInfo& Info() { return m_Owned.Info(); }
  const TKvDIBInfo& Info() const { return m_Owned.Info(); }
  int32_t Width() const { return Info().Header.biWidth; }
  int32_t Height() const { return std::abs(Info().Header.biHeight); }
  int32_t Stride() const { return DIBStride(Info().Header); }
  // Stored row R (storage order, not picture order).
  uint8_t* Row(int32_t R) { return Info().Bits + static_cast<size_t>(Stride()) * R; }
  const uint8_t* Row(int32_t R) const { return Info().Bits + static_cast<size_t>(Stride()) * R; }
  std::vector<uint8_t> Bytes() const {
    return std::vector<uint8_t>(Info().Bits, Info().Bits + Info().BitsSize);
  }
  uint8_t Index(int32_t X, int32_t R) const { return GetPixelIndex(Row(R), X, Info().Header.biBitCount); }
  void SetIndex(int32_t X, int32_t R, uint8_t V) { SetPixelIndex(Row(R), X, Info().Header.biBitCount, V); }
  void SetColor(int Index, uint8_t R, uint8_t G, uint8_t B) { Info().Colors[Index] = RGBQUAD{B, G, R, 0}; }

 private:
  void Header(int32_t Width, int32_t Height, uint16_t BitCount, uint32_t Compression, uint32_t ClrUsed) {
    BITMAPINFOHEADER& H = Info().Header;
    H.biSize = 40;
    H.biWidth = Width;
    H.biHeight = Height;
    H.biPlanes = 1;
    H.biBitCount = BitCount;
    H.biCompression = Compression;
    H.biClrUsed = ClrUsed;
  }
  void Allocate(int32_t Size) {
    if (Size <= 0) return;
    TFileMapBlock Block(Size);
    HandOver(Block, Info());
  }
  TKvOwnedInfo m_Owned;
};

// A paletted image of random indices below Colors (every pixel, padding left 0).
inline TOwnedDIB RandomIndexed(std::mt19937& Rng, int32_t Width, int32_t Height, uint16_t BitCount,
                               int Colors) {
  TOwnedDIB D(Width, Height, BitCount, static_cast<uint32_t>(1u << BitCount));
  std::uniform_int_distribution<int> Pick(0, Colors - 1);
  for (int32_t R = 0; R < D.Height(); ++R)
    for (int32_t X = 0; X < Width; ++X) D.SetIndex(X, R, static_cast<uint8_t>(Pick(Rng)));
  for (int I = 0; I < (1 << BitCount); ++I)
    D.SetColor(I, static_cast<uint8_t>(Rng()), static_cast<uint8_t>(Rng()), static_cast<uint8_t>(Rng()));
  return D;
}

}  // namespace kv::test
