// Test helpers for the graphics layer: DIBs built in memory from a picture of indices or
// colours, drawing targets (a DIB section selected into a memory context) and pixel
// reading from raw rows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/GdiBitmap.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/graphics/GdiTypes.h"

namespace kv::test {

inline RGBQUAD Quad(uint8_t R, uint8_t G, uint8_t B) { return RGBQUAD{B, G, R, 0}; }
inline COLORREF ColorOf(const RGBQUAD& Q) { return MakeRGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue); }

// Row stride of a DIB.
inline int32_t Stride(int32_t Width, int32_t BitCount) { return (Width * BitCount + 31) / 32 * 4; }

// A raw pixel value from a row: an index or the little-endian 16-, 24- or 32-bit value.
inline uint32_t RawPixel(const uint8_t* Row, int32_t X, int32_t BitCount) {
  switch (BitCount) {
    case 1: return (Row[X / 8] >> (7 - X % 8)) & 1;
    case 4: return X % 2 ? Row[X / 2] & 15 : Row[X / 2] >> 4;
    case 8: return Row[X];
    case 16: return Row[2 * X] | Row[2 * X + 1] << 8;
    case 24: return Row[3 * X] | Row[3 * X + 1] << 8 | Row[3 * X + 2] << 16;
    default: return Row[4 * X] | Row[4 * X + 1] << 8 | Row[4 * X + 2] << 16 | uint32_t{Row[4 * X + 3]} << 24;
  }
}

inline void PutRaw(uint8_t* Row, int32_t X, int32_t BitCount, uint32_t V) {
  switch (BitCount) {
    case 1:
      Row[X / 8] = static_cast<uint8_t>((Row[X / 8] & ~(0x80 >> X % 8)) | (V & 1) << (7 - X % 8));
      break;
    case 4:
      Row[X / 2] =
          static_cast<uint8_t>(X % 2 ? (Row[X / 2] & 0xF0) | (V & 15) : (Row[X / 2] & 0x0F) | (V & 15) << 4);
      break;
    case 8: Row[X] = static_cast<uint8_t>(V); break;
    default:
      for (int I = 0; I < BitCount / 8; ++I) Row[(BitCount / 8) * X + I] = static_cast<uint8_t>(V >> (8 * I));
  }
}

// A DIB in memory: header, masks or colour table, and pixel bytes. Picture holds its
// pixels from the top: palette indices, or 0xRRGGBB colours for 16, 24 and 32 bits.
struct TTestDIB {
  int32_t Width = 0, Height = 0;
  bool TopDown = false;
  uint16_t BitCount = 0;
  uint32_t Compression = kBiRGB;
  uint32_t Masks[3] = {};
  std::vector<RGBQUAD> Colors;
  std::vector<uint32_t> Picture;
  std::vector<uint32_t> InfoWords;  // BITMAPINFO, word-aligned
  std::vector<uint8_t> Bits;

  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(InfoWords.data()); }
  uint32_t At(int32_t X, int32_t Y) const { return Picture[static_cast<size_t>(Y) * Width + X]; }
  // The colour of a picture pixel (what drawing must reproduce).
  COLORREF ColorAt(int32_t X, int32_t Y) const;
  // Lays the header out and the picture into Bits (uncompressed rows).
  void Encode();
};

inline int widen_bits(uint32_t V, int Bits) {
  if (Bits >= 8) return static_cast<int>(V >> (Bits - 8));
  uint32_t W = V << (8 - Bits);
  for (int F = Bits; F < 8; F += Bits) W |= W >> Bits;
  return static_cast<int>(W & 0xFF);
}

inline COLORREF TTestDIB::ColorAt(int32_t X, int32_t Y) const {
  const uint32_t V = At(X, Y);
  if (BitCount <= 8) return V < Colors.size() ? ColorOf(Colors[V]) : 0;
  if (BitCount == 24) return MakeRGB(V >> 16 & 255, V >> 8 & 255, V & 255);
  // Masked: the picture holds the raw value.
  uint8_t C[3];
  for (int I = 0; I < 3; ++I) {
    int Shift = 0, Bits = 0;
    while (!(Masks[I] >> Shift & 1)) ++Shift;
    while (Masks[I] >> (Shift + Bits) & 1) ++Bits;
    C[I] = static_cast<uint8_t>(widen_bits((V & Masks[I]) >> Shift, Bits));
  }
  return MakeRGB(C[0], C[1], C[2]);
}

inline void TTestDIB::Encode() {
  InfoWords.assign(10 + 256 + 3, 0);
  BITMAPINFOHEADER& H = Info()->bmiHeader;
  H.biSize = 40;
  H.biWidth = Width;
  H.biHeight = TopDown ? -Height : Height;
  H.biPlanes = 1;
  H.biBitCount = BitCount;
  H.biCompression = Compression;
  H.biClrUsed = BitCount <= 8 ? static_cast<uint32_t>(Colors.size()) : 0;
  uint8_t* Table = reinterpret_cast<uint8_t*>(InfoWords.data()) + 40;
  if (Compression == kBiBitFields) std::memcpy(Table, Masks, 12);
  if (BitCount <= 8 && !Colors.empty()) std::memcpy(Table, Colors.data(), Colors.size() * 4);
  if (Compression == kBiRLE8 || Compression == kBiRLE4) return;  // the caller supplies the stream
  const int32_t S = Stride(Width, BitCount);
  Bits.assign(static_cast<size_t>(S) * Height, 0);
  for (int32_t Y = 0; Y < Height; ++Y) {
    uint8_t* Row = Bits.data() + static_cast<size_t>(S) * (TopDown ? Y : Height - 1 - Y);
    for (int32_t X = 0; X < Width; ++X) {
      PutRaw(Row, X, BitCount, At(X, Y));  // 0xRRGGBB is stored blue first
    }
  }
}

// A random picture of the given format; tables of Entries colours with a few repeats.
inline TTestDIB RandomDIB(std::mt19937& Rng, int32_t Width, int32_t Height, uint16_t BitCount, bool TopDown,
                          int Entries = -1) {
  TTestDIB D;
  D.Width = Width, D.Height = Height, D.BitCount = BitCount, D.TopDown = TopDown;
  std::uniform_int_distribution<uint32_t> Any;
  if (BitCount <= 8) {
    const int N = Entries > 0 ? Entries : 1 << BitCount;
    for (int I = 0; I < N; ++I) {
      const uint32_t C = Any(Rng);
      D.Colors.push_back(Quad(C & 255, C >> 8 & 255, C >> 16 & 255));
    }
    if (N > 3) D.Colors[N - 1] = D.Colors[1];  // a repeated colour
    for (int32_t I = 0; I < Width * Height; ++I) D.Picture.push_back(Any(Rng) % (1u << BitCount));
  } else {
    const uint32_t Mask = BitCount == 24 ? 0xFFFFFF : BitCount == 16 ? 0xFFFF : 0xFFFFFFFF;
    for (int32_t I = 0; I < Width * Height; ++I) D.Picture.push_back(Any(Rng) & Mask);
    if (BitCount == 16) D.Masks[0] = 0x7C00, D.Masks[1] = 0x03E0, D.Masks[2] = 0x001F;
    if (BitCount == 32) D.Masks[0] = 0xFF0000, D.Masks[1] = 0xFF00, D.Masks[2] = 0xFF;
  }
  D.Encode();
  return D;
}

// A DIB section of a given format selected into a memory context, released at the end.
class TTarget {
 public:
  TTarget(int32_t Width, int32_t Height, uint16_t BitCount, std::vector<RGBQUAD> Colors = {},
          bool TopDown = false, bool Green6 = false)
      : m_Width(Width),
        m_Height(Height),
        m_BitCount(BitCount),
        m_TopDown(TopDown),
        m_Colors(std::move(Colors)) {
    std::vector<uint32_t> Words(10 + 256 + 3, 0);
    auto* Info = reinterpret_cast<BITMAPINFO*>(Words.data());
    Info->bmiHeader =
        BITMAPINFOHEADER{40, Width, TopDown ? -Height : Height, 1, BitCount, kBiRGB, 0, 0, 0, 0, 0};
    Info->bmiHeader.biClrUsed = static_cast<uint32_t>(m_Colors.size());
    if (!m_Colors.empty())
      std::memcpy(reinterpret_cast<uint8_t*>(Words.data()) + 40, m_Colors.data(), m_Colors.size() * 4);
    if (Green6) {
      const uint32_t M[3] = {0xF800, 0x07E0, 0x001F};
      Info->bmiHeader.biCompression = kBiBitFields;
      std::memcpy(reinterpret_cast<uint8_t*>(Words.data()) + 40, M, 12);
    }
    void* Bits = nullptr;
    m_Bitmap.reset(CreateDIBSection(nullptr, Info, kDibRgbColors, &Bits, kNoMapHandle, 0));
    m_Bits = static_cast<uint8_t*>(Bits);
    m_Dc.reset(CreateCompatibleDC(nullptr));
    m_Old = SelectObject(m_Dc.get(), m_Bitmap.get());
    if (!m_Bitmap || !m_Dc || !m_Old) ADD_FAILURE() << "cannot make a drawing target";
  }
  ~TTarget() {
    if (m_Old) SelectObject(m_Dc.get(), m_Old);
  }
  TTarget(const TTarget&) = delete;
  TTarget& operator=(const TTarget&) = delete;

  HDC Dc() const { return m_Dc.get(); }
  HBITMAP Bitmap() const { return m_Bitmap.get(); }
  uint8_t* Row(int32_t Y) const {  // from the top
    return m_Bits + static_cast<size_t>(Stride(m_Width, m_BitCount)) * (m_TopDown ? Y : m_Height - 1 - Y);
  }
  uint32_t Raw(int32_t X, int32_t Y) const { return RawPixel(Row(Y), X, m_BitCount); }
  // Every pixel gets a value of its own, so that untouched pixels can be told apart.
  void Scribble() {
    for (int32_t Y = 0; Y < m_Height; ++Y)
      for (int32_t X = 0; X < m_Width; ++X)
        PutRaw(Row(Y), X, m_BitCount, 0x9E3779B1u * (X * 131 + Y * 7 + 1) >> 8);
  }
  const std::vector<RGBQUAD>& Colors() const { return m_Colors; }
  int32_t Width() const { return m_Width; }
  int32_t Height() const { return m_Height; }
  uint16_t BitCount() const { return m_BitCount; }

 private:
  int32_t m_Width, m_Height;
  uint16_t m_BitCount;
  bool m_TopDown;
  std::vector<RGBQUAD> m_Colors;
  TGdiObjectOwner<HBITMAP> m_Bitmap;
  TMemoryDC m_Dc;
  HGDIOBJ m_Old = nullptr;
  uint8_t* m_Bits = nullptr;
};

// Lowest index of the least squared RGB distance: the matching rule, written plainly.
inline uint32_t NearestIndex(const std::vector<RGBQUAD>& Table, COLORREF C) {
  int64_t Best = INT64_MAX;
  uint32_t Index = 0;
  for (size_t I = 0; I < Table.size(); ++I) {
    const int64_t DR = Table[I].rgbRed - int(C & 255), DG = Table[I].rgbGreen - int(C >> 8 & 255),
                  DB = Table[I].rgbBlue - int(C >> 16 & 255);
    if (DR * DR + DG * DG + DB * DB < Best)
      Best = DR * DR + DG * DG + DB * DB, Index = static_cast<uint32_t>(I);
  }
  return Index;
}

}  // namespace kv::test
