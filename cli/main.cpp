// kvdib: converts images between the library's pixel formats and describes image files.
//
//   kvdib convert INPUT OUTPUT --to FORMAT [--fine] [--key-color RRGGBB] [--quiet]
//   kvdib info FILE...
//
// Exit status: 0 success, 1 a file could not be read, converted or written, 2 usage.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "frontend/KvColorText.h"
#include "frontend/KvFormatNames.h"
#include "frontend/KvImageFiles.h"
#include "frontend/KvPngFile.h"
#include "frontend/KvProgressAdapter.h"
#include "image/KvDIB.h"

namespace kvcli {

namespace {

using namespace kv::frontend;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: kvdib convert INPUT OUTPUT --to FORMAT [--fine] [--key-color RRGGBB] [--quiet]\n"
    "       kvdib info FILE...\n"
    "\n"
    "  FORMAT          1bit 4bit 4bit-rle 8bit 8bit-rle 24bit halftone halftone-bw\n"
    "  --fine          the fine colour reduction (slower) instead of the normal one\n"
    "  --key-color     for 1bit: the colour whose pixels become set bits (default FFFFFF)\n"
    "  --quiet         no progress bar\n"
    "\n"
    "INPUT is a BMP/DIB, PNG or JPEG file, recognised by its content. OUTPUT is written\n"
    "as BMP (.bmp, .dib) or PNG (.png; not with an RLE format), only when the conversion\n"
    "succeeds.\n";

class TUsageError {
 public:
  explicit TUsageError(std::string Message) : m_Message(std::move(Message)) {}
  const std::string& Message() const { return m_Message; }

 private:
  std::string m_Message;
};

std::string lower_extension(const std::string& Path) {
  const size_t Slash = Path.find_last_of('/');
  const size_t Dot = Path.find_last_of('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  std::string Ext = Path.substr(Dot);
  for (char& C : Ext) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C);
  return Ext;
}

void report(const std::string& File, const std::string& Message) {
  std::fprintf(stderr, "%s: %s\n", File.c_str(), Message.c_str());
}

struct TConvertArgs {
  std::string Input;
  std::string Output;
  kv::TKvPixelFormat Format = kv::kvPf24Bit;
  bool Fine = false;
  kv::TColor KeyColor = kv::kClWhite;
  bool Quiet = false;
};

TConvertArgs parse_convert(const std::vector<std::string>& Args) {
  TConvertArgs A;
  std::vector<std::string> Operands;
  std::optional<kv::TKvPixelFormat> Format;
  bool OptionsDone = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    auto value = [&](const std::string& Option) -> std::string {
      if (Arg.size() > Option.size() && Arg[Option.size()] == '=') return Arg.substr(Option.size() + 1);
      if (I + 1 >= Args.size()) throw TUsageError(Option + " needs a value");
      return Args[++I];
    };
    auto is = [&](const std::string& Option) { return Arg == Option || (Arg.rfind(Option + "=", 0) == 0); };
    if (OptionsDone || Arg.empty() || Arg[0] != '-' || Arg == "-") {
      Operands.push_back(Arg);
    } else if (Arg == "--") {
      OptionsDone = true;
    } else if (is("--to")) {
      const std::string Name = value("--to");
      Format = ParseFormat(Name);
      if (!Format) throw TUsageError("unknown format '" + Name + "'");
    } else if (Arg == "--fine") {
      A.Fine = true;
    } else if (Arg == "--quiet") {
      A.Quiet = true;
    } else if (is("--key-color")) {
      const std::string Text = value("--key-color");
      const auto Color = ParseColor(Text);
      if (!Color) throw TUsageError("--key-color wants RRGGBB in hexadecimal, not '" + Text + "'");
      A.KeyColor = *Color;
    } else {
      throw TUsageError("unknown option '" + Arg + "'");
    }
  }
  if (Operands.size() != 2) throw TUsageError("convert needs INPUT and OUTPUT");
  if (!Format) throw TUsageError("convert needs --to FORMAT");
  A.Input = Operands[0];
  A.Output = Operands[1];
  A.Format = *Format;
  const std::string Ext = lower_extension(A.Output);
  if (Ext != ".bmp" && Ext != ".dib" && Ext != ".png")
    throw TUsageError("OUTPUT must end in .bmp, .dib or .png: " + A.Output);
  if (Ext == ".png" && IsRleFormat(A.Format))
    throw TUsageError(std::string("PNG output cannot hold the RLE format ") + FormatName(A.Format));
  return A;
}

int run_convert(const TConvertArgs& A) {
  kv::TKvDIB Image;
  try {
    LoadImageFile(A.Input, Image);
  } catch (const std::exception& E) {
    report(A.Input, E.what());
    return kExitFailure;
  }

  Image.FineMethod = A.Fine;
  Image.BackgroundColor = A.KeyColor;
  TProgressBar Bar(stderr);
  try {
    const TScopedProgress Progress(Image, TProgressBar::Wanted(A.Quiet) ? Bar.Proc() : TPercentProc());
    Image.SetPixelFormat(A.Format);
  } catch (const std::exception& E) {
    report(A.Input, E.what());
    return kExitFailure;
  }

  try {
    TOutputFile Out(A.Output);
    if (lower_extension(A.Output) == ".png")
      WritePngFile(Image, Out.TempPath());
    else
      Image.WriteToFile(Out.TempPath());
    Out.Commit();
  } catch (const std::exception& E) {
    report(A.Output, E.what());
    return kExitFailure;
  }
  return 0;
}

int run_info(const std::vector<std::string>& Files) {
  if (Files.empty()) throw TUsageError("info needs at least one FILE");
  int Status = 0;
  bool First = true;
  for (const std::string& File : Files) {
    kv::TKvDIB Image;
    TFileKind Kind = TFileKind::Unknown;
    try {
      Kind = LoadImageFile(File, Image);
    } catch (const std::exception& E) {
      report(File, E.what());
      Status = kExitFailure;
      continue;
    }
    const kv::BITMAPINFOHEADER& H = Image.DIBInfo().Header;
    std::string Format;
    try {
      Format = FormatName(Image.GetPixelFormat());
    } catch (const kv::Exception& E) {
      Format = "none (" + E.Message() + ")";
    }
    std::printf("%s%s\n", First ? "" : "\n", File.c_str());
    std::printf("  file type:    %s\n", FileKindName(Kind));
    std::printf("  size:         %d x %d\n", Image.GetWidth(), Image.GetHeight());
    std::printf("  bit count:    %d\n", Image.GetBitCount());
    std::printf("  compression:  %s (%u)\n", CompressionName(H.biCompression), H.biCompression);
    std::printf("  colours:      %d\n", Image.GetColorCount());
    std::printf("  pixel format: %s\n", Format.c_str());
    std::printf("  orientation:  %s\n", H.biHeight < 0 ? "top-down" : "bottom-up");
    First = false;
  }
  return Status;
}

int run(const std::vector<std::string>& Args) {
  if (Args.empty()) throw TUsageError("no command");
  const std::string& Command = Args[0];
  const std::vector<std::string> Rest(Args.begin() + 1, Args.end());
  if (Command == "-h" || Command == "--help" || Command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (Command == "convert") return run_convert(parse_convert(Rest));
  if (Command == "info") {
    for (const std::string& A : Rest)
      if (A.size() > 1 && A[0] == '-') throw TUsageError("unknown option '" + A + "'");
    return run_info(Rest);
  }
  throw TUsageError("unknown command '" + Command + "'");
}

}  // namespace

}  // namespace kvcli

int main(int argc, char** argv) {
  try {
    return kvcli::run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const kvcli::TUsageError& E) {
    std::fprintf(stderr, "kvdib: %s\n\n%s", E.Message().c_str(), kvcli::kUsage);
    return kvcli::kExitUsage;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "kvdib: %s\n", E.what());
    return kvcli::kExitFailure;
  }
}
