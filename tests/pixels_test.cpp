// Row and pixel access: picture rows of either orientation, and whole rows packed to 1 or 4
// bits and unpacked again, against pixel-by-pixel formulations.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/KvPixels.h"
#include "tests/convert_fixtures.h"

namespace kv::test {
namespace {

TEST(Pixels, PictureRowsCountFromTheTopInEitherOrientation) {
  for (int32_t Height : {4, -4}) {
    TOwnedDIB D(3, Height, 8, 256);
    for (int32_t Y = 0; Y < 4; ++Y) {
      const int32_t Stored = Height > 0 ? 3 - Y : Y;
      EXPECT_EQ(PictureRow(D.Info(), Y), D.Row(Stored)) << Height << " " << Y;
      EXPECT_EQ(StoredRowOf(GeometryOf(D.Info()), Y), Stored);
    }
  }
}

TEST(Pixels, PackedRowsMatchPixelByPixelWritesAndUnpackBack) {
  std::mt19937 Rng(7);
  for (int Bits : {1, 4, 8}) {
    for (int64_t Width = 1; Width <= 19; ++Width) {
      SCOPED_TRACE(testing::Message() << Bits << " bits, width " << Width);
      std::vector<uint8_t> Index(static_cast<size_t>(Width));
      for (uint8_t& I : Index) I = static_cast<uint8_t>(Rng() % (1u << Bits));
      const size_t Stride = static_cast<size_t>(RowStride(Width, Bits));
      std::vector<uint8_t> Packed(Stride, 0), Expected(Stride, 0);
      for (int64_t X = 0; X < Width; ++X)
        SetPixelIndex(Expected.data(), X, Bits, Index[static_cast<size_t>(X)]);
      if (Bits == 1) PackBitRow(Packed.data(), Width, [&](int64_t X) { return Index[size_t(X)] != 0; });
      if (Bits == 4) PackNibbleRow(Packed.data(), Width, [&](int64_t X) { return Index[size_t(X)]; });
      if (Bits == 8) Packed.assign(Expected.begin(), Expected.end());
      EXPECT_EQ(Packed, Expected);
      if (Bits == 4) {
        std::vector<uint8_t> Appended(Stride, 0xEE);  // AppendPixel4 needs no cleared row
        for (int64_t X = 0; X < Width; ++X) AppendPixel4(Appended.data(), X, Index[size_t(X)]);
        EXPECT_TRUE(std::equal(Appended.begin(), Appended.begin() + (Width + 1) / 2, Expected.begin()));
      }
      // Set the spare bits: unpacking must not read them into the indices.
      std::vector<uint8_t> Dirty = Expected;
      if ((Width * Bits) % 8 != 0)
        Dirty[static_cast<size_t>(Width * Bits / 8)] |= static_cast<uint8_t>(0xFF >> ((Width * Bits) % 8));
      std::vector<uint8_t> Out(static_cast<size_t>(Width) + 1, 0x55);
      UnpackIndexRow(Dirty.data(), Width, Bits, Out.data());
      EXPECT_TRUE(std::equal(Index.begin(), Index.end(), Out.begin()));
      EXPECT_EQ(Out.back(), 0x55);
    }
  }
}

}  // namespace
}  // namespace kv::test
