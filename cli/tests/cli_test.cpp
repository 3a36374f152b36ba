// End-to-end runs of the kvdib tool: every format from BMP, PNG and JPEG inputs checked
// against the library's own conversion, PNG output read back, info, exit codes, usage
// errors, and no output (not even a temporary) left behind by a failure. The inputs are
// made by the tests (cli_fixtures.h).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/tests/cli_fixtures.h"
#include "image/KvDIB.h"
#include "platform/streams/Stream.h"
#include "tests/KvPngRead.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string slurp(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

class Cli : public testing::Test {
 protected:
  // The inputs go to a folder of their own, so that m_Dir holds only what the tool wrote.
  void SetUp() override {
    const std::string Base = "kvdib-cli-" + std::to_string(getpid()) + "-" +
                             testing::UnitTest::GetInstance()->current_test_info()->name();
    m_Dir = fs::temp_directory_path() / Base;
    m_Inputs = fs::temp_directory_path() / (Base + "-inputs");
    for (const fs::path& D : {m_Dir, m_Inputs}) {
      fs::remove_all(D);
      fs::create_directories(D);
    }
    ASSERT_NO_THROW(test::WriteCliFixtures(m_Inputs));
  }
  void TearDown() override {
    if (!m_Dir.empty()) fs::remove_all(m_Dir);
    if (!m_Inputs.empty()) fs::remove_all(m_Inputs);
  }

  std::string Path(const std::string& Name) const { return (m_Dir / Name).string(); }
  std::string Input(const std::string& Name) const { return (m_Inputs / Name).string(); }

  TRun Run(const std::string& Args) const {
    const std::string Command = std::string("'") + KVDIB_TOOL + "' " + Args + " >'" + Path("stdout.txt") +
                                "' 2>'" + Path("stderr.txt") + "' </dev/null";
    const int Raw = std::system(Command.c_str());
    TRun R;
    R.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
    R.Out = slurp(Path("stdout.txt"));
    R.Err = slurp(Path("stderr.txt"));
    fs::remove(Path("stdout.txt"));
    fs::remove(Path("stderr.txt"));
    return R;
  }

  // Names in the folder, so a test can see that nothing (not even a temporary) is left.
  std::vector<std::string> Files() const {
    std::vector<std::string> Names;
    for (const auto& E : fs::directory_iterator(m_Dir)) Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }

  fs::path m_Dir;
  fs::path m_Inputs;
};

std::string bmp_bytes(TKvDIB& Image) {
  TMemoryStream S;
  Image.SaveToStream(S);
  return std::string(S.Data().begin(), S.Data().end());
}

// What the library itself makes of Input with the given settings, as BMP bytes; empty
// when it refuses (then Error holds its message).
std::string library_result(const std::string& Input, TKvPixelFormat Format, bool Fine, TColor Key,
                           std::string& Error) {
  TKvDIB Image;
  Image.LoadFromFile(Input);
  Image.FineMethod = Fine;
  Image.BackgroundColor = Key;
  try {
    Image.SetPixelFormat(Format);
  } catch (const Exception& E) {
    Error = E.Message();
    return "";
  }
  return bmp_bytes(Image);
}

struct TFormatCase {
  const char* Name;
  TKvPixelFormat Format;
};

const TFormatCase kFormats[] = {
    {"1bit", kvPf1Bit},         {"4bit", kvPf4Bit},
    {"4bit-rle", kvPf4BitRLE},  {"8bit", kvPf8Bit},
    {"8bit-rle", kvPf8BitRLE},  {"24bit", kvPf24Bit},
    {"halftone", kvPfHalfTone}, {"halftone-bw", kvPfHalfToneBW},
};

TEST_F(Cli, EveryFormatFromBmpMatchesTheLibrary) {
  // The RLE inputs are sound: else the cases below could compare two refusals.
  TKvDIB Plain, Rle;
  Plain.LoadFromFile(Input("pal8.bmp"));
  Rle.LoadFromFile(Input("pal8rle.bmp"));
  Rle.SetPixelFormat(kvPf8Bit);
  EXPECT_EQ(bmp_bytes(Rle), bmp_bytes(Plain));
  Rle.LoadFromFile(Input("pal4rle.bmp"));
  Rle.SetPixelFormat(kvPf4Bit);

  int Refused = 0, Converted = 0;
  for (const char* Name : {"rgb24.bmp", "pal8.bmp", "pal4rle.bmp"}) {
    for (const TFormatCase& F : kFormats) {
      SCOPED_TRACE(std::string(Name) + " -> " + F.Name);
      const std::string In = Input(Name);
      std::string Error;
      const std::string Expected = library_result(In, F.Format, false, kClWhite, Error);
      const TRun R = Run("convert '" + In + "' '" + Path("out.bmp") + "' --to " + F.Name);
      if (Expected.empty()) {
        ++Refused;
        EXPECT_EQ(R.Status, 1);
        // A refused compression is told in plain words; other refusals in the library's.
        if (Error.find("Compression Failed") != std::string::npos)
          EXPECT_NE(R.Err.find(In + ": " + F.Name + " would not be smaller"), std::string::npos) << R.Err;
        else
          EXPECT_EQ(R.Err, In + ": " + Error + "\n");
        EXPECT_FALSE(fs::exists(Path("out.bmp")));
      } else {
        ++Converted;
        EXPECT_EQ(R.Status, 0) << R.Err;
        // stderr is no terminal: no progress bar; 1bit on true colour notes what it does.
        const bool Note = F.Format == kvPf1Bit && std::string(Name) == "rgb24.bmp";
        EXPECT_EQ(R.Err.empty(), !Note) << R.Err;
        EXPECT_EQ(slurp(Path("out.bmp")), Expected);
      }
      fs::remove(Path("out.bmp"));
      EXPECT_TRUE(Files().empty());
    }
  }
  // The busy 8-bit image does not fit RLE8: both outcomes are met.
  EXPECT_GT(Refused, 0);
  EXPECT_GT(Converted, 0);
}

TEST_F(Cli, FineMethodAndKeyColourReachTheLibrary) {
  const std::string In = Input("rgb24.bmp");
  struct Case {
    const char* Args;
    TKvPixelFormat Format;
    bool Fine;
    TColor Key;
  };
  for (const Case& C : {Case{"--to 8bit --fine", kvPf8Bit, true, kClWhite},
                        Case{"--to=4bit --fine --quiet", kvPf4Bit, true, kClWhite},
                        Case{"--key-color 000000 --to 1bit", kvPf1Bit, false, 0},
                        Case{"--to 1bit --key-color=#FF0000", kvPf1Bit, false, 0x0000FF}}) {
    SCOPED_TRACE(C.Args);
    std::string Error;
    const std::string Expected = library_result(In, C.Format, C.Fine, C.Key, Error);
    const TRun R = Run(std::string(C.Args) + " convert '" + In + "' '" + Path("o.dib") + "'");
    // Options before the command are not accepted: the command comes first.
    EXPECT_EQ(R.Status, 2);
    const TRun R2 = Run("convert '" + In + "' '" + Path("o.dib") + "' " + C.Args);
    if (Expected.empty()) {
      EXPECT_EQ(R2.Status, 1) << Error;
    } else {
      EXPECT_EQ(R2.Status, 0) << R2.Err;
      EXPECT_EQ(slurp(Path("o.dib")), Expected);
    }
    fs::remove(Path("o.dib"));
  }
}

// The pixels of a 24-bit image as RGB rows top to bottom.
std::vector<uint8_t> rgb_of(TKvDIB& Image) {
  std::vector<uint8_t> Out;
  for (int Y = 0; Y < Image.GetHeight(); ++Y) {
    const uint8_t* Row = Image.GetScanLine(Y);
    for (int X = 0; X < Image.GetWidth(); ++X)
      Out.insert(Out.end(), {Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]});
  }
  return Out;
}

TEST_F(Cli, PngOutputIsIndexedOrRgbWithTheSamePixels) {
  const std::string In = Input("rgb24.bmp");
  struct Case {
    const char* Format;
    TKvPixelFormat Pf;
    int Depth;
    int ColorType;
  };
  for (const Case& C :
       {Case{"1bit", kvPf1Bit, 1, PNG_COLOR_TYPE_PALETTE}, Case{"4bit", kvPf4Bit, 4, PNG_COLOR_TYPE_PALETTE},
        Case{"8bit", kvPf8Bit, 8, PNG_COLOR_TYPE_PALETTE}, Case{"24bit", kvPf24Bit, 8, PNG_COLOR_TYPE_RGB}}) {
    SCOPED_TRACE(C.Format);
    TKvDIB Expected;
    Expected.LoadFromFile(In);
    try {
      Expected.SetPixelFormat(C.Pf);
    } catch (const Exception& E) {
      ADD_FAILURE() << "library conversion failed: " << E.Message();
      continue;
    }
    const int Colors = Expected.GetColorCount();
    Expected.SetPixelFormat(kvPf24Bit);

    const TRun R = Run("convert '" + In + "' '" + Path("out.png") + "' --to " + C.Format);
    ASSERT_EQ(R.Status, 0) << R.Err;
    test::TPngImage Png;
    ASSERT_TRUE(test::ReadPng(Path("out.png"), Png));
    EXPECT_EQ(Png.Depth, C.Depth);
    EXPECT_EQ(Png.ColorType, C.ColorType);
    if (C.ColorType == PNG_COLOR_TYPE_PALETTE) {
      EXPECT_GE(Png.PaletteSize, Colors > 0 ? std::min(Colors, 1 << C.Depth) : 1);
    }
    EXPECT_EQ(Png.Width, test::kFixtureWidth);
    EXPECT_EQ(Png.Height, test::kFixtureHeight);
    EXPECT_EQ(Png.Rgb, rgb_of(Expected));
    fs::remove(Path("out.png"));
  }
}

TEST_F(Cli, PngAndJpegInputsAreRecognisedByContent) {
  // rgb24.png holds the pixels of rgb24.bmp; under a .bmp name it is still PNG.
  fs::copy_file(Input("rgb24.png"), Path("photo.bmp"));
  TRun R = Run("convert '" + Path("photo.bmp") + "' '" + Path("a.bmp") + "' --to 24bit");
  ASSERT_EQ(R.Status, 0) << R.Err;
  TKvDIB FromPng, FromBmp;
  FromPng.LoadFromFile(Path("a.bmp"));
  FromBmp.LoadFromFile(Input("rgb24.bmp"));
  EXPECT_EQ(rgb_of(FromPng), rgb_of(FromBmp));

  // A palette PNG becomes an 8-bit image with its palette.
  R = Run("convert '" + Input("pal8.png") + "' '" + Path("p.bmp") + "' --to 8bit");
  ASSERT_EQ(R.Status, 0) << R.Err;
  TKvDIB Pal;
  Pal.LoadFromFile(Path("p.bmp"));
  EXPECT_EQ(Pal.GetPixelFormat(), kvPf8Bit);
  test::TPngImage Ref;
  ASSERT_TRUE(test::ReadPng(Input("pal8.png"), Ref));
  EXPECT_EQ(Pal.GetColorCount(), Ref.PaletteSize);
  Pal.SetPixelFormat(kvPf24Bit);
  EXPECT_EQ(rgb_of(Pal), Ref.Rgb);

  // A grey PNG becomes an 8-bit image over a grey ramp.
  R = Run("convert '" + Input("grey.png") + "' '" + Path("g.bmp") + "' --to 8bit-rle");
  ASSERT_EQ(R.Status, 0) << R.Err;
  TKvDIB Grey;
  Grey.LoadFromFile(Path("g.bmp"));
  EXPECT_EQ(Grey.GetPixelFormat(), kvPf8BitRLE);
  EXPECT_EQ(Grey.GetColorCount(), 256);
  EXPECT_EQ(Grey.GetColors(200), 0xC8C8C8);

  // JPEG, also under a misleading name: decoded to 24 bits, close to the original pixels.
  fs::copy_file(Input("rgb24.jpg"), Path("photo.png"));
  R = Run("convert '" + Path("photo.png") + "' '" + Path("j.bmp") + "' --to 24bit");
  ASSERT_EQ(R.Status, 0) << R.Err;
  TKvDIB Jpeg;
  Jpeg.LoadFromFile(Path("j.bmp"));
  ASSERT_EQ(Jpeg.GetWidth(), test::kFixtureWidth);
  ASSERT_EQ(Jpeg.GetHeight(), test::kFixtureHeight);
  const std::vector<uint8_t> A = rgb_of(Jpeg), B = rgb_of(FromBmp);
  double Total = 0;
  for (size_t I = 0; I < A.size(); ++I) Total += std::abs(int(A[I]) - int(B[I]));
  EXPECT_LT(Total / A.size(), 8.0);  // lossy, but the same picture

  // And on to a 16-colour PNG.
  R = Run("convert '" + Path("photo.png") + "' '" + Path("j16.png") + "' --to 4bit");
  ASSERT_EQ(R.Status, 0) << R.Err;
  test::TPngImage J16;
  ASSERT_TRUE(test::ReadPng(Path("j16.png"), J16));
  EXPECT_EQ(J16.Depth, 4);
}

TEST_F(Cli, FailuresExitOneAndLeaveNothing) {
  // An existing output stays untouched when the conversion fails.
  { std::ofstream(Path("keep.bmp")) << "old"; }
  struct Case {
    std::string Input;
    std::string Message;
  };
  const std::string Missing = Path("missing.bmp");
  const std::vector<Case> Cases = {
      {Input("badbitcount.bmp"), "TKvInternalDIB.LoadFromStream: Invalid BitCout"},
      {Input("shortfile.bmp"), "Stream read error"},
      {Input("notes.html"), "not a BMP, PNG, JPEG, PGM or PPM file"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Input);
    const TRun R = Run("convert '" + C.Input + "' '" + Path("keep.bmp") + "' --to 8bit");
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, C.Input + ": " + C.Message + "\n");
  }
  const TRun R = Run("convert '" + Missing + "' '" + Path("keep.bmp") + "' --to 8bit");
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err.rfind(Missing + ": Cannot open file " + Missing, 0), 0u) << R.Err;

  // A conversion the library refuses: one pixel per row leaves no room for RLE8.
  TKvDIB Tiny;
  Tiny.SetBitCount(8);
  Tiny.WriteToFile(Path("tiny.bmp"));
  const TRun Rle = Run("convert '" + Path("tiny.bmp") + "' '" + Path("keep.bmp") + "' --to 8bit-rle");
  EXPECT_EQ(Rle.Status, 1);
  EXPECT_EQ(Rle.Err, Path("tiny.bmp") +
                         ": 8bit-rle would not be smaller than the 4 bytes of plain 8-bit rows, so it is not "
                         "written; --to 8bit writes the image uncompressed\n");

  // An output folder that does not exist.
  const std::string NoDir = Path("no/such/dir/out.bmp");
  const TRun W = Run("convert '" + Input("rgb24.bmp") + "' '" + NoDir + "' --to 24bit");
  EXPECT_EQ(W.Status, 1);
  EXPECT_EQ(W.Err.rfind(NoDir + ": Cannot create file", 0), 0u) << W.Err;

  EXPECT_EQ(slurp(Path("keep.bmp")), "old");
  EXPECT_EQ(Files(), (std::vector<std::string>{"keep.bmp", "tiny.bmp"}));
}

TEST_F(Cli, UsageErrorsExitTwoWithOneLine) {
  const std::string In = "'" + Input("rgb24.bmp") + "'";
  const std::string Out = "'" + Path("out.bmp") + "'";
  const std::string Png = "'" + Path("out.png") + "'";
  const std::vector<std::string> Cases = {
      "",
      "resize " + In,
      "convert " + In + " " + Out,
      "convert " + In + " --to 8bit",
      "convert " + In + " " + Out + " extra --to 8bit",
      "convert " + In + " " + Out + " --to 7bit",
      "convert " + In + " " + Out + " --to",
      "convert " + In + " " + Out + " --to 8bit --key-color white",
      "convert " + In + " " + Out + " --to 8bit --key-color 12345",
      "convert " + In + " '" + Path("out.gif") + "' --to 8bit",
      "convert " + In + " " + Png + " --to 8bit-rle",
      "convert " + In + " " + Png + " --to 4bit-rle",
      "info",
      "info --all " + In,
  };
  for (const std::string& Args : Cases) {
    SCOPED_TRACE(Args);
    const TRun R = Run(Args);
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err.rfind("kvdib: ", 0), 0u) << R.Err;
    EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << R.Err;
    EXPECT_EQ(R.Out, "");
  }
  EXPECT_TRUE(Files().empty());
  const TRun Help = Run("--help");
  EXPECT_EQ(Help.Status, 0);
  EXPECT_NE(Help.Out.find("halftone-bw"), std::string::npos);
}

TEST_F(Cli, InfoDescribesEachFile) {
  const std::string Rle = Input("pal8rle.bmp");
  const std::string Top = Input("pal8topdown.bmp");
  const std::string Bad = Input("badwidth.bmp");
  const std::string Jpeg = Input("rgb24.jpg");
  const TRun R = Run("info '" + Rle + "' '" + Bad + "' '" + Top + "' '" + Jpeg + "'");
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, Bad + ": TKvInternalDIB.LoadFromStream: Invalid Width or Height\n");
  const std::string Expected =
      Rle +
      "\n  format:          BMP\n  header size:     40 bytes\n  size:            127 x 64\n"
      "  bits per pixel:  8\n  colour:          palette\n  alpha:           no\n"
      "  compression:     RLE8\n  colour table:    252 entries\n  row order:       bottom-up\n"
      "  file size:       " +
      std::to_string(fs::file_size(Rle)) +
      " bytes\n"
      "  loads as:        8bit-rle, 127 x 64, 8 bits per pixel, 252 colours\n\n" +
      Bad + "\n  format:          BMP\n  header size:     40 bytes\n" +
      "  size:            -127 x 64\n  bits per pixel:  8\n  colour:          palette\n"
      "  alpha:           no\n  compression:     none\n  colour table:    252 entries\n"
      "  row order:       bottom-up\n  file size:       " +
      std::to_string(fs::file_size(Bad)) + " bytes\n\n" + Top +
      "\n  format:          BMP\n  header size:     40 bytes\n  size:            127 x 64\n"
      "  bits per pixel:  8\n  colour:          palette\n  alpha:           no\n"
      "  compression:     none\n  colour table:    252 entries\n  row order:       top-down\n"
      "  file size:       " +
      std::to_string(fs::file_size(Top)) +
      " bytes\n"
      "  loads as:        8bit, 127 x 64, 8 bits per pixel, 252 colours\n\n" +
      Jpeg +
      "\n  format:          JPEG\n  size:            127 x 64\n  bits per pixel:  24\n"
      "  bits per sample: 8\n  colour:          YCbCr\n  alpha:           no\n"
      "  compression:     sequential, Huffman\n  colour table:    0 entries\n"
      "  row order:       top-down\n"
      "  file size:       " +
      std::to_string(fs::file_size(Jpeg)) +
      " bytes\n"
      "  loads as:        24bit, 127 x 64, 24 bits per pixel, 0 colours\n";
  EXPECT_EQ(R.Out, Expected);
  EXPECT_EQ(Run("info '" + Rle + "'").Status, 0);
}

}  // namespace
}  // namespace kv
