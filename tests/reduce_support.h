// Test helpers for the colour reductions: 24-bit and 8-bit test images (structured and
// random), reading a reduction's palette and indices back, and the checks every result
// must pass whatever the method.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/KvDIBInfo.h"
#include "tests/KvTestSupport.h"
#include "tests/convert_fixtures.h"
#include "tests/reduce_reference.h"

namespace kv::test {

struct TRgb {
  uint8_t R, G, B;
};

// A 24-bit image; F(x, row) gives the colour of pixel x of storage row `row`.
inline TOwnedDIB TrueColor(int32_t Width, int32_t Height, const std::function<TRgb(int, int)>& F) {
  TOwnedDIB D(Width, Height, 24);
  for (int32_t Y = 0; Y < D.Height(); ++Y)
    for (int32_t X = 0; X < Width; ++X) {
      const TRgb C = F(X, Y);
      uint8_t* P = D.Row(Y) + 3 * X;
      P[0] = C.B;
      P[1] = C.G;
      P[2] = C.R;
    }
  return D;
}

inline RGBQUAD Quad(uint8_t R, uint8_t G, uint8_t B) { return RGBQUAD{B, G, R, 0}; }

// A reduction routine as the driver calls it.
using TReduction = void (*)(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&);

// Routine refuses an 8 x 8 source of Bits and Compression with Message before it allocates
// or touches its destination.
template <typename F>
void ExpectRefusedBeforeAnything(F&& Routine, uint16_t Bits, uint32_t Compression,
                                 const std::string& Message) {
  SCOPED_TRACE(testing::Message() << Bits << " bits, compression " << Compression);
  TOwnedDIB Src(8, 8, Bits, 2);
  Src.Info().Header.biCompression = Compression;
  TKvDIBInfo Dst{};
  Dst.BitsSize = 1234;
  const int64_t Descriptors = OpenResourceCount();
  ExpectThrowMessage<EKvDIBBadDIBType>([&] { Routine(Src.Info(), Dst, nullptr); }, Message);
  EXPECT_EQ(Dst.BitsSize, 1234);
  EXPECT_EQ(Dst.Bits, nullptr);
  EXPECT_EQ(OpenResourceCount(), Descriptors);
}

// Routine(Dst, Progress) with a progress that raises at call CancelAt: the exception comes
// through at that call, the destination is untouched and no pixel block is left behind.
template <typename F>
void ExpectCancelReleasesEverything(F&& Routine, int CancelAt) {
  SCOPED_TRACE(testing::Message() << "cancel at call " << CancelAt);
  TKvDIBInfo Dst{};
  Dst.BitsSize = 77;
  int Calls = 0;
  const int64_t Descriptors = OpenResourceCount();
  const TKvProgressProc Progress = [&] {
    if (++Calls == CancelAt) throw std::runtime_error("cancel");
  };
  EXPECT_THROW(Routine(Dst, Progress), std::runtime_error);
  EXPECT_EQ(Calls, CancelAt);
  EXPECT_EQ(Dst.BitsSize, 77);
  EXPECT_EQ(Dst.Bits, nullptr);
  EXPECT_EQ(OpenResourceCount(), Descriptors);
}

struct TReduced {
  std::vector<RGBQUAD> Palette;
  std::vector<uint8_t> Index;  // per pixel, storage order
};

inline TReduced ReadReduced(const TKvDIBInfo& Dst) {
  TReduced Out;
  for (uint32_t I = 0; I < Dst.Header.biClrUsed; ++I) Out.Palette.push_back(Dst.Colors[I]);
  const int64_t W = Dst.Header.biWidth, H = ref::Rows(Dst), Bits = Dst.Header.biBitCount;
  const int64_t S = ref::Stride(W, static_cast<int>(Bits));
  for (int64_t Y = 0; Y < H; ++Y)
    for (int64_t X = 0; X < W; ++X) {
      const uint8_t B = Dst.Bits[Y * S + (Bits == 8 ? X : X / 2)];
      Out.Index.push_back(Bits == 8 ? B : (X % 2 == 0 ? B >> 4 : B & 15));
    }
  return Out;
}

inline bool SameColor(const RGBQUAD& A, const RGBQUAD& B) {
  return A.rgbRed == B.rgbRed && A.rgbGreen == B.rgbGreen && A.rgbBlue == B.rgbBlue &&
         A.rgbReserved == B.rgbReserved;
}

inline std::string ColorText(const RGBQUAD& Q) {
  return "(" + std::to_string(Q.rgbRed) + "," + std::to_string(Q.rgbGreen) + "," + std::to_string(Q.rgbBlue) +
         "," + std::to_string(Q.rgbReserved) + ")";
}

inline void ExpectSameReduction(const TReduced& Got, const ref::Reduction& Want) {
  ASSERT_EQ(Got.Palette.size(), Want.Palette.size());
  for (size_t I = 0; I < Got.Palette.size(); ++I)
    EXPECT_TRUE(SameColor(Got.Palette[I], Want.Palette[I]))
        << "palette " << I << ": " << ColorText(Got.Palette[I]) << " vs " << ColorText(Want.Palette[I]);
  ASSERT_EQ(Got.Index.size(), Want.Index.size());
  size_t Wrong = 0;
  for (size_t I = 0; I < Got.Index.size(); ++I) Wrong += Got.Index[I] != Want.Index[I];
  EXPECT_EQ(Wrong, 0u) << "pixels with another index";
}

// What every reduction's destination must look like besides its palette and indices:
// the source header with the new format fields, padding and a trailing odd nibble zero,
// colour entries beyond the palette as in the source.
inline void ExpectReducedShape(const TKvDIBInfo& Src, const TKvDIBInfo& Dst, int BitCount) {
  BITMAPINFOHEADER Want = Src.Header;
  Want.biBitCount = static_cast<uint16_t>(BitCount);
  Want.biCompression = kBiRGB;
  Want.biSizeImage = 0;
  Want.biClrUsed = Dst.Header.biClrUsed;
  EXPECT_EQ(std::memcmp(&Want, &Dst.Header, sizeof Want), 0);
  EXPECT_GE(Dst.Header.biClrUsed, 1u);
  EXPECT_LE(Dst.Header.biClrUsed, 1u << BitCount);
  for (uint32_t I = Dst.Header.biClrUsed; I < 256; ++I) EXPECT_TRUE(SameColor(Dst.Colors[I], Src.Colors[I]));
  const int64_t W = Src.Header.biWidth, H = ref::Rows(Src), S = ref::Stride(W, BitCount);
  ASSERT_EQ(Dst.BitsSize, S * H);
  ASSERT_NE(Dst.Bits, nullptr);
  const int64_t Used = BitCount == 8 ? W : W / 2;
  int Nonzero = 0;
  for (int64_t Y = 0; Y < H; ++Y) {
    for (int64_t X = Used; X < S; ++X) {
      const uint8_t B = Dst.Bits[Y * S + X];
      // An odd 4-bit row: the last used byte must have a zero low nibble.
      Nonzero += (BitCount == 4 && W % 2 == 1 && X == Used) ? (B & 15) != 0 : B != 0;
    }
  }
  EXPECT_EQ(Nonzero, 0) << "padding or trailing nibble written";
  for (uint8_t I : ReadReduced(Dst).Index) EXPECT_LT(I, Dst.Header.biClrUsed);
}

struct TImageCase {
  std::string Name;
  std::function<TOwnedDIB()> Make;
};

// Structured and random 24-bit images: ties, single colours, two colours, tiny and odd
// widths, top-down rows, one crowded cell, and images large enough for every code path.
inline std::vector<TImageCase> TrueColorCases() {
  std::vector<TImageCase> C;
  auto Add = [&C](std::string Name, int W, int H, std::function<TRgb(int, int)> F) {
    C.push_back({std::move(Name), [W, H, F] { return TrueColor(W, H, F); }});
  };
  auto Hash = [](uint32_t X) {
    X ^= X >> 16;
    X *= 0x7feb352dU;
    X ^= X >> 15;
    X *= 0x846ca68bU;
    return X ^ (X >> 16);
  };
  auto Rand = [Hash](uint32_t Seed) {
    return [Hash, Seed](int X, int Y) {
      const uint32_t V = Hash(Seed * 0x9e3779b9U + static_cast<uint32_t>(Y * 65599 + X));
      return TRgb{static_cast<uint8_t>(V), static_cast<uint8_t>(V >> 8), static_cast<uint8_t>(V >> 16)};
    };
  };
  Add("1x1", 1, 1, [](int, int) { return TRgb{17, 200, 3}; });
  Add("1x1 top-down", 1, -1, [](int, int) { return TRgb{255, 255, 255}; });
  Add("single colour", 13, 7, [](int, int) { return TRgb{91, 7, 203}; });
  Add("single colour big", 150, 150, [](int, int) { return TRgb{0, 0, 0}; });
  Add("black and blue", 10, 10, [](int X, int Y) { return (X + Y) % 2 ? TRgb{0, 0, 255} : TRgb{0, 0, 0}; });
  Add("red 8 and 9", 6, 2, [](int X, int) { return TRgb{static_cast<uint8_t>(X % 2 ? 9 : 8), 40, 40}; });
  Add("red 8 and 15", 4, 4, [](int X, int) { return TRgb{static_cast<uint8_t>(X % 2 ? 15 : 8), 40, 40}; });
  Add("variance tie", 3, 1, [](int X, int) {
    const TRgb P[3] = {{18, 197, 60}, {108, 132, 60}, {128, 232, 60}};
    return P[X];
  });
  for (int W = 1; W <= 7; ++W)
    Add("odd width " + std::to_string(W), W, 3, [Rand](int X, int Y) { return Rand(5)(X, Y); });
  Add("random", 33, 17, Rand(1));
  Add("random top-down", 29, -11, Rand(2));
  Add("random few colours", 64, 48, [Rand](int X, int Y) {
    const TRgb P[5] = {{250, 0, 0}, {0, 250, 0}, {10, 10, 10}, {128, 128, 128}, {3, 90, 200}};
    return P[Rand(3)(X, Y).R % 5];
  });
  Add("small values", 51, 29, [Rand](int X, int Y) {
    const TRgb V = Rand(4)(X, Y);
    return TRgb{static_cast<uint8_t>(V.R % 4), static_cast<uint8_t>(V.G % 3), static_cast<uint8_t>(V.B % 5)};
  });
  Add("gradient", 97, 61, [](int X, int Y) {
    return TRgb{static_cast<uint8_t>(X * 2 + Y), static_cast<uint8_t>(Y * 4), static_cast<uint8_t>(255 - X)};
  });
  Add("gradient top-down", 31, -9, [](int X, int Y) {
    return TRgb{static_cast<uint8_t>(X * 8), static_cast<uint8_t>(Y * 28), static_cast<uint8_t>(X * Y)};
  });
  Add("clusters", 128, 128, [Rand](int X, int Y) {
    const TRgb V = Rand(6)(X, Y);
    const int K = V.R % 12;
    auto Near = [](int Centre, int Noise) {
      return static_cast<uint8_t>(std::clamp(Centre + Noise % 9 - 4, 0, 255));
    };
    return TRgb{Near(K * 21, V.G), Near(255 - K * 17, V.B), Near((K * 97) % 256, V.G ^ V.B)};
  });
  Add("crowded cell", 200, 100, [Rand](int X, int Y) {
    const TRgb V = Rand(7)(X, Y);
    return TRgb{static_cast<uint8_t>(64 + V.R % 8), static_cast<uint8_t>(128 + V.G % 4),
                static_cast<uint8_t>(200 + V.B % 8)};
  });
  Add("smooth with noise", 300, 200, [Rand](int X, int Y) {
    const TRgb V = Rand(8)(X, Y);
    return TRgb{static_cast<uint8_t>((X * 255 / 299 + V.R % 5) & 255),
                static_cast<uint8_t>((Y + V.G % 3) & 255),
                static_cast<uint8_t>(((X + Y) / 2 + V.B % 7) & 255)};
  });
  Add("random large", 160, 120, Rand(9));
  return C;
}

}  // namespace kv::test
