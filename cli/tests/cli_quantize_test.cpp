// The quantizer of our own through the tool: --method, --colors and --dither give what the
// library's TKvDIB::Quantize gives, --method normal/fine stay the described reductions, and
// the options are refused where they do not apply.
#include "cli/tests/cli_support.h"
#include "image/KvDIB.h"
#include "platform/streams/Stream.h"

namespace kv::clitest {
namespace {

class Quantize : public ToolTest {};

// The BMP bytes the library makes of a 24-bit BMP file with Convert applied.
template <class TConvert>
std::string library_bmp(const std::string& Input, TConvert&& Convert) {
  TKvDIB Image;
  Image.LoadFromFile(Input);
  Convert(Image);
  TMemoryStream Out;
  Image.SaveToStream(Out);
  return std::string(Out.Data().begin(), Out.Data().end());
}

TEST_F(Quantize, OptionsReachTheLibrarysQuantizer) {
  WriteFile(m_Dir / "in.bmp", Bmp24(Gradient(71, 43, 5)));
  const std::string In = Path("in.bmp");
  struct TCase {
    const char* Args;
    TKvQuantizeOptions Options;
    TKvPixelFormat Format;
  };
  const TCase Cases[] = {
      {"--to 8bit --method refine", {256, kvQmRefine, kvDmNone}, kvPf8Bit},
      {"--to 8bit --method best --colors 100", {100, kvQmBest, kvDmNone}, kvPf8Bit},
      {"--to 8bit -c 12 --dither", {12, kvQmNormal, kvDmFloydSteinberg}, kvPf8Bit},
      {"--to 4bit -m refine --dither", {16, kvQmRefine, kvDmFloydSteinberg}, kvPf4Bit},
      {"--to 8bit-rle --fine --colors 3", {3, kvQmFine, kvDmNone}, kvPf8BitRLE},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Args);
    const TRun R = Run("convert " + Q("in.bmp") + " " + Q("out.bmp") + " " + C.Args);
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(Slurp(m_Dir / "out.bmp"), library_bmp(In, [&C](TKvDIB& I) {
                I.Quantize(C.Options);
                I.SetPixelFormat(C.Format);
              }));
  }
  // The described reductions stay exactly what they are.
  for (const char* Args : {"--to 8bit --method normal", "--to 4bit -m fine", "--to 8bit --colors 256"}) {
    SCOPED_TRACE(Args);
    const bool Fine = std::string(Args).find("fine") != std::string::npos;
    const TKvPixelFormat F = std::string(Args).find("4bit") != std::string::npos ? kvPf4Bit : kvPf8Bit;
    ASSERT_EQ(Run("convert " + Q("in.bmp") + " " + Q("out.bmp") + " " + Args).Status, 0);
    EXPECT_EQ(Slurp(m_Dir / "out.bmp"), library_bmp(In, [&](TKvDIB& I) {
                I.FineMethod = Fine;
                I.SetPixelFormat(F);
              }));
  }
}

TEST_F(Quantize, PaletteInputsAreWidenedFirstAndBadOptionsAreUsageErrors) {
  WriteFile(m_Dir / "in.bmp", Bmp24(Gradient(40, 30, 9)));
  ASSERT_EQ(Run("convert " + Q("in.bmp") + " " + Q("eight.bmp") + " --to 8bit").Status, 0);
  const TRun R =
      Run("convert " + Q("eight.bmp") + " " + Q("four.bmp") + " --to 4bit --method best --colors 8");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(Slurp(m_Dir / "four.bmp"), library_bmp(Path("eight.bmp"), [](TKvDIB& I) {
              I.SetPixelFormat(kvPf24Bit);
              I.Quantize({8, kvQmBest, kvDmNone});
              I.SetPixelFormat(kvPf4Bit);
            }));
  const struct {
    const char* Args;
    const char* Says;
  } Bad[] = {
      {"--to 24bit --method refine", "--method applies to 4bit, 4bit-rle, 8bit and 8bit-rle"},
      {"--to halftone --dither", "--dither applies to"},
      {"--to 4bit --colors 17", "--colors for 4bit lies in 2..16"},
      {"--to 8bit --colors 1", "--colors for 8bit lies in 2..256"},
      {"--to 8bit --fine --method best", "--fine contradicts --method best"},
      {"--to 8bit --method wu", "--method"},
  };
  for (const auto& B : Bad) {
    SCOPED_TRACE(B.Args);
    const TRun U = Run("convert " + Q("in.bmp") + " " + Q("x.bmp") + " " + B.Args);
    EXPECT_EQ(U.Status, 2);
    EXPECT_NE(U.Err.find(B.Says), std::string::npos) << U.Err;
    EXPECT_EQ(std::count(U.Err.begin(), U.Err.end(), '\n'), 1) << U.Err;
    EXPECT_FALSE(fs::exists(m_Dir / "x.bmp"));
  }
}

}  // namespace
}  // namespace kv::clitest
