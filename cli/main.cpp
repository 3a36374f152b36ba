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

#include "cli/ImageFiles.h"
#include "cli/Progress.h"
#include "image/KvDIB.h"

namespace kvcli {

namespace {

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

struct TFormatName {
  const char* Name;
  kv::TKvPixelFormat Format;
};

constexpr TFormatName kFormats[] = {
    {"1bit", kv::kvPf1Bit},         {"4bit", kv::kvPf4Bit},
    {"4bit-rle", kv::kvPf4BitRLE},  {"8bit", kv::kvPf8Bit},
    {"8bit-rle", kv::kvPf8BitRLE},  {"24bit", kv::kvPf24Bit},
    {"halftone", kv::kvPfHalfTone}, {"halftone-bw", kv::kvPfHalfToneBW},
};

std::optional<kv::TKvPixelFormat> parse_format(std::string_view Name) {
  for (const TFormatName& F : kFormats)
    if (Name == F.Name) return F.Format;
  return std::nullopt;
}

const char* format_name(kv::TKvPixelFormat Format) {
  for (const TFormatName& F : kFormats)
    if (F.Format == Format) return F.Name;
  return "?";
}

// RRGGBB (optionally with a leading #) as a colour value.
std::optional<kv::TColor> parse_color(std::string_view Text) {
  if (!Text.empty() && Text.front() == '#') Text.remove_prefix(1);
  if (Text.size() != 6) return std::nullopt;
  uint32_t V = 0;
  for (char C : Text) {
    int D = -1;
    if (C >= '0' && C <= '9') D = C - '0';
    if (C >= 'a' && C <= 'f') D = C - 'a' + 10;
    if (C >= 'A' && C <= 'F') D = C - 'A' + 10;
    if (D < 0) return std::nullopt;
    V = V * 16 + static_cast<uint32_t>(D);
  }
  return static_cast<kv::TColor>(kv::MakeRGB(uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)));
}

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
      Format = parse_format(Name);
      if (!Format) throw TUsageError("unknown format '" + Name + "'");
    } else if (Arg == "--fine") {
      A.Fine = true;
    } else if (Arg == "--quiet") {
      A.Quiet = true;
    } else if (is("--key-color")) {
      const std::string Text = value("--key-color");
      const auto Color = parse_color(Text);
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
  if (Ext == ".png" && (A.Format == kv::kvPf4BitRLE || A.Format == kv::kvPf8BitRLE))
    throw TUsageError(std::string("PNG output cannot hold the RLE format ") + format_name(A.Format));
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
  if (TProgressBar::Wanted(A.Quiet)) Bar.Attach(Image);
  try {
    Image.SetPixelFormat(A.Format);
  } catch (const std::exception& E) {
    report(A.Input, E.what());
    return kExitFailure;
  }
  Image.OnProgress = nullptr;

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

const char* compression_name(uint32_t Compression) {
  switch (Compression) {
    case kv::kBiRGB: return "none";
    case kv::kBiRLE8: return "RLE8";
    case kv::kBiRLE4: return "RLE4";
    case kv::kBiBitFields: return "bit fields";
    default: return "unknown";
  }
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
    const kv::BITMAPINFOHEADER& H = Image.InternalDIB()->Info.Header;
    std::string Format;
    try {
      Format = format_name(Image.GetPixelFormat());
    } catch (const kv::Exception& E) {
      Format = "none (" + E.Message() + ")";
    }
    std::printf("%s%s\n", First ? "" : "\n", File.c_str());
    std::printf("  file type:    %s\n", FileKindName(Kind));
    std::printf("  size:         %d x %d\n", Image.GetWidth(), Image.GetHeight());
    std::printf("  bit count:    %d\n", Image.GetBitCount());
    std::printf("  compression:  %s (%u)\n", compression_name(H.biCompression), H.biCompression);
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
