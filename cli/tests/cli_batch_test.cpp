// The tool's command line as a user drives it: many files into a folder, -j, pipes, the
// overwrite policy, one-line usage errors, --verbose, and the messages that speak to a user
// instead of naming internals.
#include "cli/tests/cli_support.h"

namespace kv::clitest {
namespace {

class Batch : public ToolTest {
 protected:
  // Three inputs of different kinds and one that is no image at all.
  void MakeInputs() {
    fs::create_directories(m_Dir / "in");
    const TPicture A = Gradient(97, 61, 1), B = Gradient(64, 64, 2), C = Gradient(33, 80, 3);
    WriteFile(m_Dir / "in/a.bmp", Bmp24(A));
    WriteFile(m_Dir / "in/b.png", PngOfPicture(B));
    WriteFile(m_Dir / "in/c.jpg", MakeJpeg(C));
  }
};

TEST_F(Batch, ManyInputsIntoAFolderAndTheSameWithTwoJobs) {
  MakeInputs();
  const std::string Ins = Q("in/a.bmp") + " " + Q("in/b.png") + " " + Q("in/c.jpg");
  for (const char* Ext : {"bmp", "png"}) {
    SCOPED_TRACE(Ext);
    const std::string E = Ext;
    TRun R = Run("convert " + Ins + " --output-dir " + Q("one") + " --ext " + E + " --to 8bit");
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Err, "");
    EXPECT_EQ(Files("one"), (std::vector<std::string>{"a." + E, "b." + E, "c." + E}));
    R = Run("convert " + Ins + " -o " + Q("two") + " -e " + E + " -t 8bit -j 2");
    ASSERT_EQ(R.Status, 0) << R.Err;
    for (const char* Name : {"a", "b", "c"}) {
      const std::string F = std::string(Name) + "." + E;
      EXPECT_EQ(Slurp(m_Dir / "one" / F), Slurp(m_Dir / "two" / F)) << F;
      // And each is what a single conversion writes.
      const std::string In = std::string("in/") + Name +
                             (Name[0] == 'a'   ? ".bmp"
                              : Name[0] == 'b' ? ".png"
                                               : ".jpg");
      ASSERT_EQ(Run("convert " + Q(In) + " " + Q("single." + E) + " --to 8bit").Status, 0);
      EXPECT_EQ(Slurp(m_Dir / "one" / F), Slurp(m_Dir / ("single." + E))) << F;
    }
    fs::remove_all(m_Dir / "one");
    fs::remove_all(m_Dir / "two");
  }
}

TEST_F(Batch, OneFailedFileDoesNotStopTheOthersAndIsNamed) {
  MakeInputs();
  WriteFile(m_Dir / "in/broken.png", TBytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0});
  const TRun R = Run("convert " + Q("in/a.bmp") + " " + Q("in/broken.png") + " " + Q("in/c.jpg") + " " +
                     Q("in/missing.bmp") + " -o " + Q("out") + " --to 4bit -j 2");
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(Files("out"), (std::vector<std::string>{"a.bmp", "c.bmp"}));
  EXPECT_NE(R.Err.find(Path("in/broken.png") + ": PNG: "), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find(Path("in/missing.bmp") + ": Cannot open file"), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find("kvdib: 2 of 4 files failed: " + Path("in/broken.png") + ", " +
                       Path("in/missing.bmp") + "\n"),
            std::string::npos)
      << R.Err;
}

TEST_F(Batch, StandardInputToStandardOutputThroughAPipe) {
  MakeInputs();
  // PNG in, BMP out through a pipe, then that BMP in again and PNG out.
  const std::string Tool = Quote(KVDIB_TOOL);
  TRun R = RunTool(
      m_Dir, "convert - - --to 8bit < " + Q("in/b.png") + " | " + Tool + " convert - - --ext png --to 8bit",
      "", false);
  ASSERT_EQ(R.Status, 0) << R.Err;
  WriteFile(m_Dir / "piped.png", TBytes(R.Out.begin(), R.Out.end()));
  ASSERT_EQ(Run("convert " + Q("in/b.png") + " " + Q("file.png") + " --to 8bit").Status, 0);
  EXPECT_EQ(R.Out, Slurp(m_Dir / "file.png"));
  // Standard input read in full (a pipe, not a file): the same bytes as from the file.
  R = RunTool(m_Dir, "convert - - --to 24bit < " + Q("in/a.bmp"), "", false);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, Slurp(m_Dir / "in/a.bmp"));
  R = RunTool(m_Dir, "info --json - < " + Q("in/c.jpg"), "", false);
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("\"format\": \"JPEG\""), std::string::npos) << R.Out;
}

TEST_F(Batch, OverwritePolicy) {
  MakeInputs();
  const std::string In = Q("in/a.bmp");
  WriteFile(m_Dir / "old.bmp", TBytes{'o', 'l', 'd'});
  // An existing output is replaced, as always.
  TRun R = Run("convert " + In + " " + Q("old.bmp") + " --to 24bit");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(Slurp(m_Dir / "old.bmp"), Slurp(m_Dir / "in/a.bmp"));
  // -n keeps it and says so; exit 0, since nothing failed.
  WriteFile(m_Dir / "old.bmp", TBytes{'o', 'l', 'd'});
  R = Run("convert " + In + " " + Q("old.bmp") + " --to 8bit -n");
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Err, Path("old.bmp") + ": exists, kept (--no-clobber)\n");
  EXPECT_EQ(Slurp(m_Dir / "old.bmp"), "old");
  fs::create_directories(m_Dir / "out");
  WriteFile(m_Dir / "out/b.bmp", TBytes{'o', 'l', 'd'});
  R = Run("convert " + In + " " + Q("in/b.png") + " -o " + Q("out") + " --to 8bit --no-clobber");
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Err, Path("out/b.bmp") + ": exists, kept (--no-clobber)\n");
  EXPECT_EQ(Files("out"), (std::vector<std::string>{"a.bmp", "b.bmp"}));
  EXPECT_EQ(Slurp(m_Dir / "out/b.bmp"), "old");
  // The input itself is refused, also under another name (a hard link), unless --force.
  const std::string Before = Slurp(m_Dir / "in/a.bmp");
  fs::create_hard_link(m_Dir / "in/a.bmp", m_Dir / "link.bmp");
  for (const std::string& Out : {In, Q("link.bmp")}) {
    R = Run("convert " + In + " " + Out + " --to 8bit");
    EXPECT_EQ(R.Status, 1);
    EXPECT_NE(R.Err.find(": is the input file itself; not replaced without --force"), std::string::npos)
        << R.Err;
    EXPECT_EQ(Slurp(m_Dir / "in/a.bmp"), Before);
  }
  R = Run("convert " + In + " " + In + " --to 8bit --force");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(Slurp(m_Dir / "in/a.bmp"), Before);
}

TEST_F(Batch, UsageErrorsAreOneLineNamingTheOptionAndExitTwo) {
  MakeInputs();
  const std::string In = Q("in/a.bmp"), Out = Q("out.bmp"), Png = Q("out.png");
  struct Case {
    std::string Args;
    std::string Names;  // what the line must name
  };
  const std::vector<Case> Cases = {
      {"", "subcommand"},
      {"resize " + In, "resize"},
      {"convert " + In + " " + Out, "--to"},
      {"convert " + In + " --to 8bit", "INPUT and OUTPUT"},
      {"convert " + In + " " + Out + " extra --to 8bit", "INPUT and OUTPUT"},
      {"convert " + In + " " + Out + " --to 7bit", "7bit"},
      {"convert " + In + " " + Out + " --to", "--to"},
      {"convert " + In + " " + Out + " --to 8bit --to 4bit", "--to given more than once"},
      {"convert " + In + " " + Out + " --to 24bit --fine", "--fine"},
      {"convert " + In + " " + Out + " --to halftone --fine", "--fine"},
      {"convert " + In + " " + Out + " --to 8bit --key-color 000000", "--key-color"},
      {"convert " + In + " " + Out + " --to 1bit --key-color white", "--key-color"},
      {"convert " + In + " " + Out + " --to 8bit --background 12345", "--background"},
      {"convert " + In + " " + Out + " --to 8bit --png-level 3", "--png-level"},
      {"convert " + In + " " + Png + " --to 8bit --png-level 10", "--png-level"},
      {"convert " + In + " " + Out + " --to 8bit --ext png", "--ext"},
      {"convert " + In + " " + Out + " --to 8bit -j 2", "--jobs"},
      {"convert " + In + " -o " + Q("d") + " --to 8bit -j 0", "--jobs"},
      {"convert " + In + " -o " + Q("d") + " --to 8bit --ext gif", "--ext"},
      {"convert " + In + " " + Q("out.gif") + " --to 8bit", "OUTPUT must end in .bmp, .dib or .png"},
      {"convert " + In + " " + Png + " --to 8bit-rle", "RLE"},
      {"convert " + In + " " + Png + " --to 4bit-rle", "RLE"},
      {"convert - -o " + Q("d") + " --to 8bit", "standard input"},
      {"convert " + In + " " + Q("in/a.png") + " -o " + Q("d") + " --to 8bit", "would both be written to"},
      {"convert " + In + " " + Out + " --to 8bit --max-pixels lots", "--max-pixels"},
      {"convert " + In + " " + Out + " --to 8bit --bogus", "--bogus"},
      {"info", "FILES"},
      {"info --all " + In, "--all"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Args);
    const TRun R = Run(C.Args);
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(R.Err.rfind("kvdib: ", 0), 0u) << R.Err;
    EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << R.Err;
    EXPECT_NE(R.Err.find(C.Names), std::string::npos) << R.Err;
    EXPECT_NE(R.Err.find("--help"), std::string::npos) << R.Err;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"in"}));
}

TEST_F(Batch, HelpVersionAndDoubleDash) {
  for (const char* Args : {"--help", "convert --help", "info --help", "convert -h"}) {
    const TRun R = Run(Args);
    EXPECT_EQ(R.Status, 0) << Args;
    EXPECT_NE(R.Out.find("Usage: kvdib"), std::string::npos) << Args << R.Out;
  }
  EXPECT_NE(Run("--help").Out.find("halftone-bw"), std::string::npos);
  EXPECT_NE(Run("convert --help").Out.find("--output-dir"), std::string::npos);
  const TRun V = Run("--version");
  EXPECT_EQ(V.Status, 0);
  EXPECT_EQ(V.Out.rfind("kvdib ", 0), 0u) << V.Out;
  EXPECT_GT(V.Out.size(), std::string("kvdib \n").size());
  // After --, a name that starts with a dash is a file.
  const TPicture P = Gradient(8, 8);
  WriteFile(m_Dir / "-in.bmp", Bmp24(P));
  const TRun R =
      RunTool(m_Dir, "convert --to 24bit -- -in.bmp -out.bmp", "cd " + Quote(m_Dir.string()) + ";");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(Slurp(m_Dir / "-out.bmp"), Slurp(m_Dir / "-in.bmp"));
}

TEST_F(Batch, VerboseNotesAndPlainMessages) {
  MakeInputs();
  TRun R = Run("convert " + Q("in/b.png") + " " + Q("o.bmp") + " --to 4bit --verbose");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find(Path("in/b.png") + " -> " + Path("o.bmp") + ": 64 x 64, 24bit -> 4bit (16 colours), "),
            std::string::npos)
      << R.Err;
  EXPECT_NE(R.Err.find(" bytes, "), std::string::npos) << R.Err;
  EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << R.Err;

  // 1bit on a photograph says what it does and points to halftone-bw; --quiet silences it.
  R = Run("convert " + Q("in/a.bmp") + " " + Q("o.bmp") + " --to 1bit");
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << R.Err;
  EXPECT_NE(R.Err.find("halftone-bw"), std::string::npos) << R.Err;
  EXPECT_EQ(Run("convert " + Q("in/a.bmp") + " " + Q("o.bmp") + " --to 1bit --quiet").Err, "");
  EXPECT_EQ(Run("convert " + Q("in/a.bmp") + " " + Q("o.bmp") + " --to 1bit -k 000000").Err, "");

  // An RLE target that would not be smaller: plain words, the sizes, and what to use.
  std::vector<uint8_t> Index(40 * 30);
  for (size_t I = 0; I < Index.size(); ++I) Index[I] = static_cast<uint8_t>(I * 7919 % 251);
  std::vector<uint32_t> Grey(256);
  for (uint32_t I = 0; I < 256; ++I) Grey[I] = I * 0x010101;
  TBmpSpec S;
  S.Width = 40;
  S.Height = 30;
  S.BitCount = 8;
  S.Palette = Grey;
  S.Pixels = IndexRows(Index, 40, 30, 8, false);
  WriteFile(m_Dir / "noise.bmp", MakeBmp(S));
  R = Run("convert " + Q("noise.bmp") + " " + Q("o.bmp") + " --to 8bit-rle");
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err,
            Path("noise.bmp") +
                ": 8bit-rle would not be smaller than the 1,200 bytes of plain 8-bit rows, so it is not "
                "written; --to 8bit writes the image uncompressed\n");
}

}  // namespace
}  // namespace kv::clitest
