// RenderImage: an image drawn at another size onto a new 24-bit image, directly or through
// a halftone, against nearest-pixel sampling written out plainly.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "frontend/KvRender.h"
#include "image/KvDIB.h"
#include "image/convert/KvHalftonePalette.h"
#include "tests/KvTestSupport.h"
#include "tests/dib_fixtures.h"

namespace kv::test {
namespace {

TEST(Render, DirectlyIsNearestPixelSampling) {
  std::mt19937 Rng(12);
  for (const TKvPixelFormat F : kStorageFormats) {
    SCOPED_TRACE(FormatName(F));
    TKvDIB Source;
    FillRandom(Source, Rng, 12, 10, F);
    TKvDIB Plain;
    Decoded(Source, Plain);
    const std::vector<uint8_t> Before = PixelBytes(Source);
    for (const auto& [W, H] : {std::pair{12, 10}, std::pair{5, 4}, std::pair{31, 17}}) {
      TKvDIB Out;
      frontend::RenderImage(Source, W, H, 0, Out);
      ASSERT_EQ(Out.GetBitCount(), 24);
      ASSERT_EQ(Out.GetWidth(), W);
      ASSERT_EQ(Out.GetHeight(), H);
      EXPECT_GT(Out.DIBInfo().Header.biHeight, 0);
      EXPECT_EQ(Out.InternalDIB()->RefCount, 1);
      for (int32_t Y = 0; Y < H; ++Y)
        for (int32_t X = 0; X < W; ++X)
          ASSERT_EQ(PictureColor(Out, X, Y),
                    PictureColor(Plain, (2 * X + 1) * 12 / (2 * W), (2 * Y + 1) * 10 / (2 * H)))
              << W << "x" << H << " at " << X << ", " << Y;
    }
    EXPECT_EQ(PixelBytes(Source), Before);
  }
}

TEST(Render, ThroughTheHalftonesOnlyTheirColoursAppear) {
  std::mt19937 Rng(2);
  TKvDIB Source;
  FillRandom(Source, Rng, 20, 20, kvPf24Bit);
  std::set<COLORREF> Halftone, Mono = {MakeRGB(0, 0, 0), MakeRGB(255, 255, 255)};
  for (const RGBQUAD& Q : HalftonePalette) Halftone.insert(MakeRGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue));
  for (const uint8_t Mode : {1, 2}) {
    TKvDIB Out;
    frontend::RenderImage(Source, 33, 27, Mode, Out);
    const std::set<COLORREF>& Allowed = Mode == 1 ? Halftone : Mono;
    for (int32_t Y = 0; Y < 27; ++Y)
      for (int32_t X = 0; X < 33; ++X)
        ASSERT_EQ(Allowed.count(PictureColor(Out, X, Y)), 1u) << X << ", " << Y;
  }
  EXPECT_EQ(Source.HalftoneMode, 0);
}

TEST(Render, RefusalsLeaveTheOutputAsItWas) {
  TKvDIB Source, Out;
  Out.SetWidth(3);
  const TKvInternalDIB* Storage = Out.InternalDIB();
  for (const auto& [W, H] : {std::pair{0, 5}, std::pair{5, -1}})
    ExpectThrowMessage<EKvDIBInvalidDIBPara>([&] { frontend::RenderImage(Source, W, H, 0, Out); },
                                             "RenderImage: Invalid Size");
  ExpectThrowMessage<EInvalidGraphic>([&] { frontend::RenderImage(Source, 5, 5, 3, Out); },
                                      "RenderImage: Invalid Halftone Mode");
  EXPECT_EQ(Out.InternalDIB(), Storage);
}

}  // namespace
}  // namespace kv::test
