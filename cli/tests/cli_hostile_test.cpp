// The tool on hostile input, as a table: each file made here, its expected exit status
// and message, the child's peak memory kept small, and nothing left behind. Then the
// signal, permission and output-name cases against the built tool.
//
// With KVDIB_CORPUS_OUT=DIR set, every hostile file is also written to DIR under its
// name: fuzz/corpus/frontend/ holds them as named regression files of the readers.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <zlib.h>

#include <chrono>
#include <thread>

#include "cli/tests/cli_support.h"

namespace kv::clitest {
namespace {

void chunk(TBytes& Png, const char* Type, const TBytes& Data) {
  const uint32_t N = static_cast<uint32_t>(Data.size());
  for (int S = 24; S >= 0; S -= 8) Png.push_back(uint8_t(N >> S));
  TBytes Body(Type, Type + 4);
  Append(Body, Data);
  Append(Png, Body);
  const uint32_t Crc = static_cast<uint32_t>(crc32(0, Body.data(), static_cast<uInt>(Body.size())));
  for (int S = 24; S >= 0; S -= 8) Png.push_back(uint8_t(Crc >> S));
}

TBytes be32(uint32_t V) { return {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)}; }

// A PNG whose header declares Width x Height and whose image data is a few bytes.
TBytes png_bomb(uint32_t Width, uint32_t Height, uint8_t ColorType) {
  TBytes Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  TBytes Ihdr = be32(Width);
  Append(Ihdr, be32(Height));
  Append(Ihdr, {8, ColorType, 0, 0, 0});
  chunk(Png, "IHDR", Ihdr);
  if (ColorType == 3) chunk(Png, "PLTE", {0, 0, 0, 255, 255, 255});
  const uint8_t Row[16] = {};
  uLongf Size = 64;
  TBytes Z(Size);
  compress(Z.data(), &Size, Row, sizeof(Row));
  Z.resize(Size);
  chunk(Png, "IDAT", Z);
  chunk(Png, "IEND", {});
  return Png;
}

// A small JPEG whose frame header is rewritten to declare Width x Height, cut right after
// its first scan header.
TBytes jpeg_bomb(uint16_t Width, uint16_t Height, bool Progressive) {
  TBytes J = MakeJpeg(Gradient(16, 16), 75, Progressive);
  for (size_t I = 2; I + 9 < J.size(); ++I) {
    if (J[I] == 0xFF && (J[I + 1] == 0xC0 || J[I + 1] == 0xC2)) {
      J[I + 5] = uint8_t(Height >> 8);
      J[I + 6] = uint8_t(Height);
      J[I + 7] = uint8_t(Width >> 8);
      J[I + 8] = uint8_t(Width);
    }
    if (J[I] == 0xFF && J[I + 1] == 0xDA) {
      const size_t Length = (J[I + 2] << 8) | J[I + 3];
      J.resize(I + 2 + Length);
      break;
    }
  }
  return J;
}

TBytes rle_bomb(int32_t Width, int32_t Height, int Bits) {
  TBmpSpec S;
  S.Width = Width;
  S.Height = Height;
  S.BitCount = static_cast<uint16_t>(Bits);
  S.Compression = Bits == 8 ? 1 : 2;
  S.Palette = {0x000000, 0xFFFFFF};
  S.ClrUsed = 2;
  S.Pixels = {0, 1};  // end of bitmap
  return MakeBmp(S);
}

struct THostile {
  const char* Name;
  TBytes File;
  std::string Args;  // after "convert FILE OUT"
  int Status;
  std::string Message;  // in stderr
};

class Hostile : public ToolTest {
 protected:
  void Keep(const std::string& Name, const TBytes& File) {
    WriteFile(m_Dir / Name, File);
    if (const char* Out = std::getenv("KVDIB_CORPUS_OUT")) WriteFile(fs::path(Out) / Name, File);
  }
  long BaselineRssKb() {
    WriteFile(m_Dir / "tiny.png", PngOfPicture(Gradient(4, 4)));
    return Run("info " + Q("tiny.png")).MaxRssKb;
  }
};

TEST_F(Hostile, BombsAndDamagedDataAreRefusedCheaply) {
  const std::string Limit = "is larger than the limit of 256000000 pixels; raise it with --max-pixels N";
  TBytes Half = MakeJpeg(Gradient(200, 160), 90);
  Half.resize(Half.size() / 2);
  TBytes PngCut = PngOfPicture(Gradient(200, 160));
  PngCut.resize(PngCut.size() * 2 / 3);
  TBytes PngCrc = PngOfPicture(Gradient(200, 160));
  PngCrc[PngCrc.size() / 2] ^= 0x55;  // inside the image data
  const std::vector<THostile> Cases = {
      {"png_rgb_26000.png", png_bomb(26000, 26000, 2), "", 1,
       "image of 26000 x 26000 pixels (676.0 megapixels) " + Limit},
      {"png_rgb_26000.png", png_bomb(26000, 26000, 2), "--max-pixels 0", 1,
       "PNG header declares 26000 x 26000 pixels, more than its "},
      {"png_palette_46000.png", png_bomb(46000, 46000, 3), "", 1, "image of 46000 x 46000 pixels "},
      {"png_palette_46000.png", png_bomb(46000, 46000, 3), "--max-pixels 0", 1,
       "PNG header declares 46000 x 46000"},
      {"jpeg_baseline_26000_cut.jpg", jpeg_bomb(26000, 26000, false), "", 1, "image of 26000 x 26000 pixels"},
      {"jpeg_baseline_26000_cut.jpg", jpeg_bomb(26000, 26000, false), "--max-pixels 0", 1,
       "JPEG header declares 26000 x 26000 pixels"},
      {"jpeg_progressive_32000.jpg", jpeg_bomb(32000, 32000, true), "", 1, "image of 32000 x 32000 pixels"},
      {"jpeg_progressive_65500.jpg", jpeg_bomb(65500, 65500, true), "--max-pixels 0", 1,
       "JPEG header declares 65500 x 65500 pixels"},
      {"bmp_rle8_46000.bmp", rle_bomb(46000, 46000, 8), "", 1, "image of 46000 x 46000 pixels"},
      {"bmp_rle4_65000.bmp", rle_bomb(65000, 65000, 4), "", 1, "image of 65000 x 65000 pixels"},
      {"bmp_rle8_46000.bmp", rle_bomb(46000, 46000, 8), "--max-pixels 1000000", 1,
       "is larger than the limit of 1000000 pixels"},
      {"jpeg_cut_in_half.jpg", Half, "", 1, ": JPEG: Premature end of JPEG file\n"},
      {"png_cut.png", PngCut, "", 1, ": PNG: Read Error: the file ends early\n"},
      {"png_idat_crc.png", PngCrc, "", 1, ": PNG: IDAT: CRC error\n"},
  };
  const long Baseline = BaselineRssKb();
  for (const THostile& C : Cases) {
    SCOPED_TRACE(std::string(C.Name) + " " + C.Args);
    Keep(C.Name, C.File);
    const auto Start = std::chrono::steady_clock::now();
    const TRun R = Run("convert " + Q(C.Name) + " " + Q("out.bmp") + " --to 24bit " + C.Args);
    const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    EXPECT_EQ(R.Status, C.Status) << R.Err;
    EXPECT_NE(R.Err.find(Path(C.Name) + ": "), std::string::npos) << R.Err;
    EXPECT_NE(R.Err.find(C.Message), std::string::npos) << R.Err;
    // Never the declared size: a few megabytes above a run on a tiny image.
    EXPECT_LT(R.MaxRssKb, Baseline + 20 * 1024) << "peak " << R.MaxRssKb << " KB, baseline " << Baseline;
    EXPECT_FALSE(fs::exists(m_Dir / "out.bmp"));
    std::printf("  %-28s %-22s %6.3f s  %6ld KB peak\n", C.Name, C.Args.c_str(), Seconds, R.MaxRssKb);
  }
  std::vector<std::string> Left = Files();
  std::erase_if(Left, [](const std::string& N) { return N.find(".out.bmp") != std::string::npos; });
  EXPECT_EQ(Left.size(), Files().size()) << "a temporary output was left behind";
}

TEST_F(Hostile, BenignWarningsPassAndAPlainRleImageOfAnySizeLoads) {
  // Extraneous bytes before a marker: libjpeg warns, the picture is whole.
  TBytes J = MakeJpeg(Gradient(32, 24), 90);
  J.insert(J.end() - 2, {0x12, 0x34, 0x56});
  Keep("jpeg_extraneous_bytes.jpg", J);
  TRun R = Run("convert " + Q("jpeg_extraneous_bytes.jpg") + " " + Q("out.bmp") + " --to 24bit");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err, "");
  // Under the ceiling, an RLE image that is all index 0 is a real image, however small.
  Keep("bmp_rle8_2000_empty.bmp", rle_bomb(2000, 1500, 8));
  R = Run("convert " + Q("bmp_rle8_2000_empty.bmp") + " " + Q("out.bmp") + " --to 8bit");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(PictureOfBmp(Path("out.bmp")).Rgb, std::vector<uint8_t>(3u * 2000 * 1500, 0));
}

TEST_F(Hostile, ColourTablesCoverEveryIndexThePixelsUse) {
  // Two palette entries, indices up to 252: the BMP gets 253 colours, as the PNG writer pads.
  TPngSpec S;
  S.Width = 253;
  S.Height = 2;
  S.ColorType = PNG_COLOR_TYPE_PALETTE;
  S.Palette = {png_color{255, 0, 0}, png_color{0, 0, 255}};
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 253; ++X) S.Samples.push_back(static_cast<uint8_t>(X));
  Keep("png_short_palette.png", MakePng(S));
  for (const char* Out : {"out.bmp", "out.png"}) {
    SCOPED_TRACE(Out);
    const TRun R = Run("convert " + Q("png_short_palette.png") + " " + Q(Out) + " --to 8bit");
    ASSERT_EQ(R.Status, 0) << R.Err;
    TPicture P = std::string(Out) == "out.bmp" ? PictureOfBmp(Path(Out)) : PictureOfPng(Path(Out));
    ASSERT_EQ(P.Width, 253);
    EXPECT_EQ(P.At(0, 0)[0], 255);
    EXPECT_EQ(P.At(1, 1)[2], 255);
    EXPECT_EQ(P.At(252, 0)[0] + P.At(252, 0)[1] + P.At(252, 0)[2], 0);  // padded with black
  }
  TKvDIB Bmp;
  Bmp.LoadFromFile(Path("out.bmp"));
  EXPECT_EQ(Bmp.GetColorCount(), 253);
  const test::TPngImage Png = [&] {
    test::TPngImage I;
    test::ReadPng(Path("out.png"), I);
    return I;
  }();
  EXPECT_EQ(Png.PaletteSize, 253);
}

// ---------------------------------------------------------------------------------------
// Signals and replacing outputs.

class Outputs : public ToolTest {
 protected:
  // A conversion that takes a while (the fine reduction of a large picture).
  void MakeSlowInput() {
    const TPicture P = Gradient(1800, 1400, 5);
    WriteFile(m_Dir / "big.bmp", Bmp24(P));
  }
  // Starts "sh -c 'PREFIX exec kvdib ARGS'" and returns its pid (the tool's, after exec).
  pid_t Start(const std::string& Args, const std::string& Prefix = "") {
    const std::string Command =
        Prefix + " exec " + Quote(KVDIB_TOOL) + " " + Args + " >/dev/null 2>" + Q("err.txt") + " </dev/null";
    const pid_t Child = fork();
    if (Child == 0) {
      signal(SIGHUP, SIG_DFL);
      execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return Child;
  }
  // Waits until the tool's temporary output exists; false when it never appeared.
  bool AwaitTemporary() {
    for (int I = 0; I < 2000; ++I) {
      for (const std::string& N : Files())
        if (N.rfind(".out.bmp.", 0) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  int Wait(pid_t Pid, int& Signal) {
    int Raw = 0;
    waitpid(Pid, &Raw, 0);
    Signal = WIFSIGNALED(Raw) ? WTERMSIG(Raw) : 0;
    return WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
  }
};

TEST_F(Outputs, SignalsRemoveTheTemporaryAndEndTheToolBySameSignal) {
  MakeSlowInput();
  for (int Sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(Sig));
    const pid_t Pid = Start("convert " + Q("big.bmp") + " " + Q("out.bmp") + " --to 8bit --fine");
    ASSERT_TRUE(AwaitTemporary());
    kill(Pid, Sig);
    int Signal = 0;
    EXPECT_EQ(Wait(Pid, Signal), -1);
    EXPECT_EQ(Signal, Sig);
    EXPECT_EQ(Files(), (std::vector<std::string>{"big.bmp", "err.txt"}));
  }
  // A hangup the tool inherited as ignored stays ignored (nohup).
  const pid_t Pid = Start("convert " + Q("big.bmp") + " " + Q("out.bmp") + " --to 8bit", "trap '' HUP;");
  ASSERT_TRUE(AwaitTemporary());
  kill(Pid, SIGHUP);
  int Signal = 0;
  EXPECT_EQ(Wait(Pid, Signal), 0);
  EXPECT_EQ(Signal, 0);
  EXPECT_TRUE(fs::exists(m_Dir / "out.bmp"));
}

TEST_F(Outputs, FileSizeLimitAndClosedPipeEndTheToolCleanly) {
  MakeSlowInput();
  // SIGXFSZ while writing the output: the temporary goes, the status names the signal.
  TRun R = Run("convert " + Q("big.bmp") + " " + Q("out.bmp") + " --to 24bit", "ulimit -f 64;");
  EXPECT_EQ(R.Signal, SIGXFSZ) << R.Err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"big.bmp"}));
  // Reading is no writing: info on a file beyond the limit works.
  R = Run("info " + Q("big.bmp"), "ulimit -f 2048;");
  EXPECT_EQ(R.Status, 0) << R.Err;
  // Standard output whose reader has gone: SIGPIPE ends the tool.
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  const pid_t Child = fork();
  if (Child == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(Pipe[1], 1);
    close(Pipe[0]);
    close(Pipe[1]);
    execl(KVDIB_TOOL, KVDIB_TOOL, "convert", Path("big.bmp").c_str(), "-", "--to", "24bit",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(Pipe[0]);
  close(Pipe[1]);
  int Signal = 0;
  EXPECT_EQ(Wait(Child, Signal), -1);
  EXPECT_EQ(Signal, SIGPIPE);
}

TEST_F(Outputs, ReplacedOutputsKeepModeAndLinksAndLongNamesWork) {
  const TPicture P = Gradient(20, 10);
  WriteFile(m_Dir / "in.bmp", Bmp24(P));
  // A private output stays private.
  WriteFile(m_Dir / "private.bmp", TBytes{'x'});
  chmod(Path("private.bmp").c_str(), 0600);
  ASSERT_EQ(Run("convert " + Q("in.bmp") + " " + Q("private.bmp") + " --to 8bit").Status, 0);
  struct stat St {};
  stat(Path("private.bmp").c_str(), &St);
  EXPECT_EQ(St.st_mode & 07777, 0600u);
  // A symlinked output stays a link; the file it points to is replaced.
  fs::create_directories(m_Dir / "real");
  WriteFile(m_Dir / "real/target.bmp", TBytes{'x'});
  fs::create_symlink("real/target.bmp", m_Dir / "link.bmp");
  ASSERT_EQ(Run("convert " + Q("in.bmp") + " " + Q("link.bmp") + " --to 24bit").Status, 0);
  EXPECT_TRUE(fs::is_symlink(m_Dir / "link.bmp"));
  EXPECT_EQ(Slurp(m_Dir / "real/target.bmp"), Slurp(m_Dir / "in.bmp"));
  EXPECT_EQ(Files("real"), (std::vector<std::string>{"target.bmp"}));
  // A name of 250 characters: the temporary name is shortened, not the output's.
  const std::string Long = std::string(246, 'n') + ".bmp";
  const TRun R = Run("convert " + Q("in.bmp") + " " + Q(Long) + " --to 24bit");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_TRUE(fs::exists(m_Dir / Long));
  // The output folder is checked before the input is even read.
  WriteFile(m_Dir / "broken.jpg", TBytes{0xFF, 0xD8, 0xFF, 0x00});
  const TRun W = Run("convert " + Q("broken.jpg") + " " + Q("no/dir/out.bmp") + " --to 24bit");
  EXPECT_EQ(W.Status, 1);
  EXPECT_EQ(W.Err.rfind(Path("no/dir/out.bmp") + ": Cannot create file", 0), 0u) << W.Err;
}

}  // namespace
}  // namespace kv::clitest
