// BMP files as other programs write them: the 52- to 124-byte headers (masks, orientation,
// colour table and a gap before the pixels taken as other readers take them) and RLE
// streams whose runs cover the row padding, each against the pixels of the same image
// saved with a 40-byte header.
#include "cli/tests/cli_support.h"

namespace kv::clitest {
namespace {

class BmpVariants : public ToolTest {
 protected:
  // Converts Name to a 24-bit BMP and returns its pixels (empty on failure).
  TPicture Load(const std::string& Name, const std::string& Extra = "") {
    const TRun R = Run("convert " + Q(Name) + " " + Q("out.bmp") + " --to 24bit " + Extra);
    EXPECT_EQ(R.Status, 0) << Name << ": " << R.Err;
    if (R.Status != 0) return {};
    TPicture P = PictureOfBmp(Path("out.bmp"));
    fs::remove(m_Dir / "out.bmp");
    return P;
  }
  void Save(const std::string& Name, const TBytes& B) {
    WriteFile(m_Dir / Name, B);
    if (const char* Out = std::getenv("KVDIB_CORPUS_OUT")) WriteFile(fs::path(Out) / Name, B);
  }
};

TEST_F(BmpVariants, LargerHeadersLoadAsTheirFortyByteForm) {
  const TPicture P = Gradient(13, 7, 4);
  std::vector<uint8_t> Index(13 * 7);
  for (size_t I = 0; I < Index.size(); ++I) Index[I] = static_cast<uint8_t>((I * 37) % 5);
  const std::vector<uint32_t> Five = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  TPicture Indexed{13, 7, {}};
  for (uint8_t I : Index)
    Indexed.Rgb.insert(Indexed.Rgb.end(), {uint8_t(Five[I] >> 16), uint8_t(Five[I] >> 8), uint8_t(Five[I])});

  for (uint32_t Size : {40u, 52u, 56u, 64u, 108u, 124u}) {
    for (bool TopDown : {false, true}) {
      for (uint32_t Gap : {0u, 12u}) {
        SCOPED_TRACE("header " + std::to_string(Size) + (TopDown ? " top-down" : " bottom-up") + " gap " +
                     std::to_string(Gap));
        if (Size == 40 && Gap) continue;  // the library takes the pixels right behind the table
        const std::string Tag = std::to_string(Size) + (TopDown ? "td" : "bu") + std::to_string(Gap);
        TBmpSpec S;
        S.HeaderSize = Size;
        S.Width = 13;
        S.Height = TopDown ? -7 : 7;
        S.GapBytes = Gap;
        S.Pixels = BmpRows(P, 24, TopDown);
        Save("bmp_v" + Tag + "_24.bmp", MakeBmp(S));
        EXPECT_EQ(Load("bmp_v" + Tag + "_24.bmp"), P);

        S.BitCount = 8;
        S.Palette = Five;
        S.ClrUsed = 5;
        S.Pixels = IndexRows(Index, 13, 7, 8, TopDown);
        Save("bmp_v" + Tag + "_8.bmp", MakeBmp(S));
        EXPECT_EQ(Load("bmp_v" + Tag + "_8.bmp"), Indexed);

        S.BitCount = 4;
        S.ClrUsed = 0;  // the default 16 entries
        S.Palette = Five;
        S.Palette.resize(16);
        S.Pixels = IndexRows(Index, 13, 7, 4, TopDown);
        Save("bmp_v" + Tag + "_4.bmp", MakeBmp(S));
        EXPECT_EQ(Load("bmp_v" + Tag + "_4.bmp"), Indexed);

        if (Size != 64 && Size != 40) {  // bit fields with the masks in the header
          S.BitCount = 32;
          S.Compression = 3;
          S.Palette.clear();
          S.Masks[0] = 0x00FF0000;
          S.Masks[1] = 0x0000FF00;
          S.Masks[2] = 0x000000FF;
          S.Masks[3] = Size >= 56 ? 0xFF000000 : 0;
          S.Pixels = BmpRows(P, 32, TopDown, [](int, int) { return uint8_t(255); });
          Save("bmp_v" + Tag + "_32.bmp", MakeBmp(S));
          EXPECT_EQ(Load("bmp_v" + Tag + "_32.bmp"), P);
        }
      }
    }
  }
}

TEST_F(BmpVariants, AlphaMasksAreCompositedAndFormsNoHeaderCarriesAreRefused) {
  const TPicture P = Gradient(6, 4, 2);
  TBmpSpec S;
  S.HeaderSize = 124;
  S.Width = 6;
  S.Height = 4;
  S.BitCount = 32;
  S.Compression = 3;
  S.Masks[0] = 0x00FF0000;
  S.Masks[1] = 0x0000FF00;
  S.Masks[2] = 0x000000FF;
  S.Masks[3] = 0xFF000000;
  S.Pixels = BmpRows(P, 32, false, [](int X, int) { return uint8_t(X * 51); });  // 0 .. 255
  Save("bmp_v5_alpha.bmp", MakeBmp(S));
  for (uint32_t Bg : {0xFFFFFFu, 0x000000u, 0x336699u}) {
    char Hex[8];
    std::snprintf(Hex, sizeof(Hex), "%06X", Bg);
    SCOPED_TRACE(Hex);
    const TPicture Out = Load("bmp_v5_alpha.bmp", std::string("--background ") + Hex);
    ASSERT_EQ(Out.Width, 6);
    for (int Y = 0; Y < 4; ++Y)
      for (int X = 0; X < 6; ++X)
        for (int C = 0; C < 3; ++C) {
          const unsigned A = X * 51, B = (Bg >> (16 - 8 * C)) & 0xFF;
          EXPECT_EQ(Out.At(X, Y)[C], (P.At(X, Y)[C] * A + B * (255 - A) + 127) / 255) << X << "," << Y;
        }
  }
  // Alpha bits that are 0 everywhere mean no alpha.
  S.Pixels = BmpRows(P, 32, false);
  Save("bmp_v5_alpha_unused.bmp", MakeBmp(S));
  EXPECT_EQ(Load("bmp_v5_alpha_unused.bmp"), P);

  struct Case {
    uint32_t Size, Compression;
    const char* Message;
  };
  for (const Case& C : {Case{64, 3, "OS/2 BMP with Huffman 1D compression is not supported"},
                        Case{64, 4, "OS/2 BMP with RLE24 compression is not supported"},
                        Case{124, 4, "BMP holding JPEG data is not supported"},
                        Case{108, 5, "BMP holding PNG data is not supported"},
                        Case{100, 0, "TKvInternalDIB.LoadFromStream: Invalid Bitmap Header Size"}}) {
    SCOPED_TRACE(C.Message);
    TBmpSpec B;
    B.HeaderSize = C.Size;
    B.Width = 4;
    B.Height = 4;
    B.Compression = C.Compression;
    B.Pixels = TBytes(64, 0);
    const std::string Name =
        "bmp_refused_" + std::to_string(C.Size) + "_" + std::to_string(C.Compression) + ".bmp";
    Save(Name, MakeBmp(B));
    const TRun R = Run("convert " + Q(Name) + " " + Q("out.bmp") + " --to 24bit");
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, Path(Name) + ": " + C.Message + "\n");
  }
}

// An RLE file of Width x 3 pixels with 4-byte entries for Colors, its stream as given.
TBytes rle_file(int Bits, int32_t Width, const TBytes& Stream) {
  TBmpSpec S;
  S.Width = Width;
  S.Height = 3;
  S.BitCount = static_cast<uint16_t>(Bits);
  S.Compression = Bits == 8 ? 1 : 2;
  for (uint32_t I = 0; I < 16; ++I) S.Palette.push_back(I * 0x0F0F0F);
  S.ClrUsed = 16;
  S.Pixels = Stream;
  return MakeBmp(S);
}

TEST_F(BmpVariants, RleRunsOverTheRowPaddingAreClippedToTheRow) {
  // Width 5: other programs encode the 3 padding pixels of each 8-byte row as pixels.
  // Bottom row: one run of 8; middle: an absolute run of 8; top: run of 2 then run of 6.
  const TBytes Padded8 = {8, 1, 0, 0, 0, 8, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 2, 10, 6, 11, 0, 0, 0, 1};
  const std::vector<uint8_t> Index8 = {10, 10, 11, 11, 11, 2, 3, 4, 5, 6, 1, 1, 1, 1, 1};  // top row first
  // RLE4, width 5 (rounded up to 6): runs of 8 nibbles.
  const TBytes Padded4 = {8, 0x12, 0, 0, 0, 8, 0x34, 0x56, 0x78, 0x9A, 0, 0, 8, 0xBC, 0, 1};
  const std::vector<uint8_t> Index4 = {11, 12, 11, 12, 11, 3, 4, 5, 6, 7, 1, 2, 1, 2, 1};
  struct Case {
    const char* Name;
    int Bits;
    TBytes Stream;
    std::vector<uint8_t> Index;
    const char* Refusal;
  };
  for (const Case& C :
       {Case{"bmp_rle8_padded_runs.bmp", 8, Padded8, Index8, "Convert8BitRLETo8BitRGB: Bad RLE Data 4"},
        Case{"bmp_rle4_padded_runs.bmp", 4, Padded4, Index4, "Convert4BitRLETo4BitRGB: Bad RLE Data 8"}}) {
    SCOPED_TRACE(C.Name);
    Save(C.Name, rle_file(C.Bits, 5, C.Stream));
    // The same image, uncompressed with a 40-byte header.
    TBmpSpec Plain;
    Plain.Width = 5;
    Plain.Height = 3;
    Plain.BitCount = static_cast<uint16_t>(C.Bits);
    for (uint32_t I = 0; I < 16; ++I) Plain.Palette.push_back(I * 0x0F0F0F);
    Plain.ClrUsed = 16;
    Plain.Pixels = IndexRows(C.Index, 5, 3, C.Bits, false);
    WriteFile(m_Dir / "plain.bmp", MakeBmp(Plain));
    EXPECT_EQ(Load(C.Name), Load("plain.bmp"));
    // Still an RLE image; --verbose says it was repaired and what the exact decoder said.
    const TRun R = Run("convert " + Q(C.Name) + " " + Q("out.bmp") + " --to " +
                       (C.Bits == 8 ? "8bit" : "4bit") + " --verbose");
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_NE(
        R.Err.find(Path(C.Name) + ": RLE runs past the row end clipped to the row (the exact decoder said: " +
                   C.Refusal + ")"),
        std::string::npos)
        << R.Err;
    const TPicture Converted = PictureOfBmp(Path("out.bmp"));
    EXPECT_EQ(Converted, Load("plain.bmp"));
    EXPECT_NE(Run("info " + Q(C.Name))
                  .Out.find(std::string("loads as:        ") + (C.Bits == 8 ? "8bit-rle" : "4bit-rle")),
              std::string::npos);
  }
  // A stream the exact decoder takes is left to it: no note.
  Save("bmp_rle8_exact.bmp", rle_file(8, 5, {5, 1, 0, 0, 5, 2, 0, 0, 5, 3, 0, 1}));
  const TRun R = Run("convert " + Q("bmp_rle8_exact.bmp") + " " + Q("out.bmp") + " --to 8bit --verbose");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err.find("clipped"), std::string::npos) << R.Err;
  // Pixels after the last row and a missing end of bitmap are dropped as other readers do.
  Save("bmp_rle8_past_last_row.bmp", rle_file(8, 5, {5, 1, 0, 0, 5, 2, 0, 0, 5, 3, 0, 0, 5, 4, 0, 0, 3, 7}));
  EXPECT_EQ(Load("bmp_rle8_past_last_row.bmp"), Load("bmp_rle8_exact.bmp"));
}

}  // namespace
}  // namespace kv::clitest
