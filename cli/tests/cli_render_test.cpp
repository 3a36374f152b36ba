// The render command: each input drawn stretched to --size through the image's own drawing,
// directly or through a halftone; the outputs are what frontend::RenderImage makes, and the
// command shares convert's outputs (BMP or PNG, folders, jobs) and refusals.
#include "cli/tests/cli_support.h"
#include "frontend/KvRender.h"
#include "image/KvDIB.h"
#include "platform/streams/Stream.h"

namespace kv::clitest {
namespace {

class RenderCommand : public ToolTest {};

std::string library_render(const std::string& Input, int32_t Width, int32_t Height, uint8_t Mode) {
  TKvDIB Image, Out;
  Image.LoadFromFile(Input);
  frontend::RenderImage(Image, Width, Height, Mode, Out);
  TMemoryStream Stream;
  Out.SaveToStream(Stream);
  return std::string(Stream.Data().begin(), Stream.Data().end());
}

TEST_F(RenderCommand, OutputsAreTheLibrarysRendering) {
  WriteFile(m_Dir / "in.bmp", Bmp24(Gradient(37, 23, 3)));
  struct TCase {
    const char* Args;
    int32_t Width, Height;
    uint8_t Mode;
  };
  const TCase Cases[] = {
      {"--size 74x46", 74, 46, 0},
      {"-s 10x7 --halftone color", 10, 7, 1},
      {"--size 91X13 --halftone bw", 91, 13, 2},
      {"--size 1x1", 1, 1, 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Args);
    const TRun R = Run("render " + Q("in.bmp") + " " + Q("out.bmp") + " " + C.Args);
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(Slurp(m_Dir / "out.bmp"), library_render(Path("in.bmp"), C.Width, C.Height, C.Mode));
  }
}

TEST_F(RenderCommand, DoublingRepeatsEachPixelAndPngHoldsTheSamePixels) {
  const TPicture In = Gradient(5, 3, 9);
  WriteFile(m_Dir / "in.png", PngOfPicture(In));
  ASSERT_EQ(Run("render " + Q("in.png") + " " + Q("out.png") + " --size 10x6").Status, 0);
  ASSERT_EQ(Run("render " + Q("in.png") + " " + Q("out.bmp") + " --size 10x6").Status, 0);
  const TPicture Png = PictureOfPng(Path("out.png"));
  ASSERT_EQ(Png.Width, 10);
  ASSERT_EQ(Png.Height, 6);
  for (int Y = 0; Y < 6; ++Y)
    for (int X = 0; X < 10; ++X)
      for (int C = 0; C < 3; ++C) ASSERT_EQ(Png.At(X, Y)[C], In.At(X / 2, Y / 2)[C]) << X << "," << Y;
  EXPECT_EQ(PictureOfBmp(Path("out.bmp")), Png);
}

TEST_F(RenderCommand, FoldersAndJobsAsConvertHasThem) {
  WriteFile(m_Dir / "a.bmp", Bmp24(Gradient(20, 11, 1)));
  WriteFile(m_Dir / "b.bmp", Bmp24(Gradient(9, 30, 2)));
  const TRun R = Run("render " + Q("a.bmp") + " " + Q("b.bmp") + " -o " + Q("out") +
                     " -j 2 --size 16x16 --halftone color");
  ASSERT_EQ(R.Status, 0) << R.Err;
  for (const char* Name : {"a", "b"})
    EXPECT_EQ(Slurp(m_Dir / "out" / (std::string(Name) + ".bmp")),
              library_render(Path(std::string(Name) + ".bmp"), 16, 16, 1))
        << Name;
  // An existing output is kept with --no-clobber, as convert keeps it.
  WriteFile(m_Dir / "kept.bmp", {1, 2, 3});
  EXPECT_EQ(Run("render " + Q("a.bmp") + " " + Q("kept.bmp") + " --size 4x4 -n").Status, 0);
  EXPECT_EQ(Slurp(m_Dir / "kept.bmp"), std::string("\1\2\3"));
}

TEST_F(RenderCommand, BadSizesAndOptionsAreUsageErrorsThatWriteNothing) {
  WriteFile(m_Dir / "in.bmp", Bmp24(Gradient(4, 4)));
  const char* Bad[] = {
      "",  // no size
      "--size 0x5",
      "--size 5x",
      "--size x5",
      "--size 100000x5",
      "--size 5x5x5",
      "--size -3x4",
      "--size 3*4",
      "--size 16x16 --halftone grey",
      "--size 20000x20000 --max-pixels 1000",  // larger than the pixel limit
      "--size 4x4 --to 8bit",                  // convert's options are not render's
      "--size 4x4 --png-level 3",              // BMP output
  };
  for (const char* Args : Bad) {
    SCOPED_TRACE(Args);
    const TRun R = Run("render " + Q("in.bmp") + " " + Q("out.bmp") + " " + Args);
    EXPECT_EQ(R.Status, 2) << R.Err;
    EXPECT_NE(R.Err.find("kvdib render --help"), std::string::npos) << R.Err;
    EXPECT_FALSE(fs::exists(m_Dir / "out.bmp"));
  }
  const TRun Missing = Run("render " + Q("none.bmp") + " " + Q("out.bmp") + " --size 4x4");
  EXPECT_EQ(Missing.Status, 1);
  EXPECT_FALSE(fs::exists(m_Dir / "out.bmp"));
  EXPECT_EQ(Files(), std::vector<std::string>({"in.bmp"}));
}

}  // namespace
}  // namespace kv::clitest
