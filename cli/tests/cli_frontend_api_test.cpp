// The frontend's loading API as the Python module uses it (from memory, with options), for
// what the tool's command line cannot reach: the JPEG decoder's memory ceiling, the limit
// error's fields, the notes sink, and PNG written to memory being the file's bytes.
#include "cli/tests/cli_support.h"
#include "frontend/KvImageBytes.h"
#include "frontend/KvImageFiles.h"
#include "frontend/KvLoadOptions.h"
#include "frontend/KvPngFile.h"

namespace kv::clitest {
namespace {

using namespace kv::frontend;

TEST(FrontendApi, JpegDecoderBuffersStayUnderTheirCeiling) {
  // A progressive image keeps every coefficient: 1200 x 1000 x 3 x 2 bytes, about 7 MB.
  const TBytes Jpeg = MakeJpeg(Gradient(1200, 1000), 90, true);
  TLoadOptions Options;
  Options.MaxDecoderMemory = 2u << 20;
  TKvDIB Image;
  try {
    LoadImage(Jpeg, Image, Options);
    ADD_FAILURE() << "loaded under a 2 MB ceiling";
  } catch (const TFileError& E) {
    EXPECT_EQ(std::string(E.what()).rfind("JPEG: decoding needs more than the 2097152 bytes allowed", 0), 0u)
        << E.what();
  }
  EXPECT_EQ(Image.GetWidth(), 1);  // untouched
  Options.MaxDecoderMemory = 0;    // derived from the pixel ceiling
  EXPECT_EQ(LoadImage(Jpeg, Image, Options), TFileKind::Jpeg);
  EXPECT_EQ(Image.GetWidth(), 1200);
}

TEST(FrontendApi, LimitErrorCarriesTheSizeAndNotesReachTheSink) {
  TLoadOptions Options;
  Options.MaxPixels = 100;
  TKvDIB Image;
  try {
    LoadImage(PngOfPicture(Gradient(11, 10)), Image, Options);
    ADD_FAILURE() << "no limit error";
  } catch (const TLimitError& E) {
    EXPECT_EQ(E.Width(), 11u);
    EXPECT_EQ(E.Height(), 10u);
    EXPECT_EQ(E.Limit(), 100u);
  }
  // An RLE8 run over the row padding: repaired, and said so through the sink.
  TBmpSpec S;
  S.Width = 3;
  S.Height = 1;
  S.BitCount = 8;
  S.Compression = 1;
  S.Palette = {0, 0xFFFFFF};
  S.ClrUsed = 2;
  S.Pixels = {4, 1, 0, 1};
  std::vector<std::string> Notes;
  Options.MaxPixels = 0;
  Options.Notes = [&Notes](const std::string& N) { Notes.push_back(N); };
  EXPECT_EQ(LoadImage(MakeBmp(S), Image, Options), TFileKind::Bmp);
  ASSERT_EQ(Notes.size(), 1u);
  EXPECT_NE(Notes[0].find("clipped to the row"), std::string::npos);
  Image.SetPixelFormat(kvPf8Bit);
  EXPECT_EQ(Image.ReadScanLine(0)[2], 1);
}

TEST(FrontendApi, PngInMemoryIsThePngFile) {
  TKvDIB Image;
  LoadImage(PngOfPicture(Gradient(30, 20)), Image, TLoadOptions{});
  for (int Level : {-1, 0, 9}) {
    TPngWriteOptions Options;
    Options.Level = Level;
    std::vector<uint8_t> Memory;
    WritePng(Image, Memory, Options);
    const std::string File =
        (fs::temp_directory_path() / ("kvdib-api-" + std::to_string(getpid()) + ".png")).string();
    WritePngFile(Image, File, Options);
    EXPECT_EQ(std::string(Memory.begin(), Memory.end()), Slurp(File)) << Level;
    EXPECT_EQ(PictureOfPng(File), Gradient(30, 20));
    fs::remove(File);
  }
}

}  // namespace
}  // namespace kv::clitest
