// kvdib: converts images between the library's pixel formats and describes image files.
//
//   kvdib convert INPUT OUTPUT --to FORMAT [options]
//   kvdib convert INPUT... --output-dir DIR [--ext bmp|png] --to FORMAT [-j N] [options]
//   kvdib render INPUT OUTPUT --size WxH [--halftone color|bw] [options]
//   kvdib info [--json] FILE...
//
// Exit status: 0 success, 1 a file could not be read, converted or written, 2 usage.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/Convert.h"
#include "cli/Info.h"
#include "frontend/KvColorText.h"
#include "frontend/KvFormatNames.h"

#ifndef KVDIB_VERSION
#define KVDIB_VERSION "unknown"
#endif

namespace kvcli {

namespace {

using namespace kv::frontend;

constexpr int kExitUsage = 2;

class TUsageError {
 public:
  TUsageError(std::string Message, std::string Command)
      : m_Message(std::move(Message)), m_Command(std::move(Command)) {}
  const std::string& Message() const { return m_Message; }
  const std::string& Command() const { return m_Command; }

 private:
  std::string m_Message;
  std::string m_Command;
};

std::string format_list() {
  std::string List;
  for (const TFormatName& F : FormatNames()) List += (List.empty() ? "" : ", ") + std::string(F.Name);
  return List;
}

bool reduces(kv::TKvPixelFormat F) {
  return F == kv::kvPf4Bit || F == kv::kvPf4BitRLE || F == kv::kvPf8Bit || F == kv::kvPf8BitRLE;
}

struct TCommandLine {
  TConvertSettings Convert;
  std::string To, KeyColor, Background = "FFFFFF", Method;
  int Colors = 0;
  bool Dither = false;
  std::vector<std::string> Files;
  bool Json = false;
  std::string Size, Halftone;
};

// "WxH" (or "WXH"), each side a decimal number from 1 to 65535.
std::optional<std::pair<int32_t, int32_t>> parse_size(const std::string& Text) {
  const size_t X = Text.find_first_of("xX");
  if (X == std::string::npos || X == 0 || X + 1 == Text.size()) return std::nullopt;
  auto side = [](const std::string& Digits) -> int32_t {
    if (Digits.size() > 5 || Digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int32_t V = std::stoi(Digits);
    return V <= 65535 ? V : 0;
  };
  const int32_t W = side(Text.substr(0, X)), H = side(Text.substr(X + 1));
  if (W == 0 || H == 0) return std::nullopt;
  return std::make_pair(W, H);
}

// The inputs and outputs of convert and render: INPUT OUTPUT, or INPUT... with --output-dir.
void check_files(TCommandLine& C, const CLI::App& Cmd, const std::string& Name) {
  TConvertSettings& S = C.Convert;
  auto usage = [&Name](const std::string& Message) { throw TUsageError(Message, Name); };
  const bool Batch = !S.OutputDir.empty();
  if (Batch) {
    S.Inputs = C.Files;
  } else {
    if (C.Files.size() != 2) usage(Name + " needs INPUT and OUTPUT (or INPUT... with --output-dir DIR)");
    S.Inputs = {C.Files[0]};
    S.Output = C.Files[1];
  }
  if (Cmd.count("--ext") && !Batch && S.Output != "-") usage("--ext applies to --output-dir and to OUTPUT -");
  if (Cmd.count("--jobs") && !Batch) usage("-j/--jobs applies to --output-dir");
  const auto Background = ParseColor(C.Background);
  if (!Background) usage("--background wants RRGGBB in hexadecimal, not '" + C.Background + "'");
  S.Load.Background = *Background;
}

// What the outputs are, once the files are known.
void check_outputs(TCommandLine& C, const std::string& Name) {
  TConvertSettings& S = C.Convert;
  std::string Error;
  const auto Jobs = PlanJobs(S, Error);
  if (!Jobs) throw TUsageError(Error, Name);
  const bool Png = Jobs->front().Kind == TOutputKind::Png;
  if (Png && IsRleFormat(S.Format))
    throw TUsageError(std::string("PNG output cannot hold the RLE format ") + C.To + "; write .bmp or use " +
                          (S.Format == kv::kvPf4BitRLE ? "4bit" : "8bit"),
                      Name);
  if (S.PngLevel && !Png) throw TUsageError("--png-level applies to PNG output", Name);
}

void check_render(TCommandLine& C, const CLI::App& Cmd) {
  check_files(C, Cmd, "render");
  const auto Size = parse_size(C.Size);
  if (!Size) throw TUsageError("--size wants WxH with sides from 1 to 65535, not '" + C.Size + "'", "render");
  TConvertSettings& S = C.Convert;
  if (S.Load.MaxPixels != 0 &&
      static_cast<uint64_t>(Size->first) * static_cast<uint64_t>(Size->second) > S.Load.MaxPixels)
    throw TUsageError(
        "--size " + C.Size + " is more than --max-pixels " + std::to_string(S.Load.MaxPixels) + " pixels",
        "render");
  S.Format = kv::kvPf24Bit;
  S.Render = TRenderSettings{Size->first, Size->second,
                             static_cast<uint8_t>(C.Halftone == "color" ? 1
                                                  : C.Halftone == "bw"  ? 2
                                                                        : 0)};
  check_outputs(C, "render");
}

// Option checks CLI11 cannot express: which options apply to which format and output.
void check_convert(TCommandLine& C, const CLI::App& Cmd) {
  TConvertSettings& S = C.Convert;
  auto usage = [](const std::string& Message) { throw TUsageError(Message, "convert"); };
  S.Format = *ParseFormat(C.To);
  check_files(C, Cmd, "convert");
  if (S.Fine && !reduces(S.Format))
    usage(std::string("--fine applies to 4bit, 4bit-rle, 8bit and 8bit-rle, not to ") + C.To);
  for (const char* Option : {"--method", "--colors", "--dither"})
    if (Cmd.count(Option) && !reduces(S.Format))
      usage(std::string(Option) + " applies to 4bit, 4bit-rle, 8bit and 8bit-rle, not to " + C.To);
  if (reduces(S.Format)) {
    // --method normal or fine at the format's own count without dithering are the described
    // reductions (for every input); anything else goes through the quantizer of our own.
    kv::TKvQuantizeMethod Method = S.Fine ? kv::kvQmFine : kv::kvQmNormal;
    if (!C.Method.empty()) {
      kv::ParseQuantizeMethod(C.Method, Method);
      if (S.Fine && Method != kv::kvQmFine) usage("--fine contradicts --method " + C.Method);
      S.Fine = Method == kv::kvQmFine;
    }
    const bool Four = S.Format == kv::kvPf4Bit || S.Format == kv::kvPf4BitRLE;
    const int Most = Four ? 16 : 256;
    if (Cmd.count("--colors") && (C.Colors < 2 || C.Colors > Most))
      usage("--colors for " + C.To + " lies in 2.." + std::to_string(Most) + ", not " +
            std::to_string(C.Colors));
    const int Colors = Cmd.count("--colors") ? C.Colors : Most;
    if (Method == kv::kvQmRefine || Method == kv::kvQmBest || Colors != Most || C.Dither)
      S.Quantize = kv::TKvQuantizeOptions{Colors, Method, C.Dither ? kv::kvDmFloydSteinberg : kv::kvDmNone};
  }
  if (!C.KeyColor.empty()) {
    if (S.Format != kv::kvPf1Bit) usage(std::string("--key-color applies to 1bit, not to ") + C.To);
    const auto Color = ParseColor(C.KeyColor);
    if (!Color) usage("--key-color wants RRGGBB in hexadecimal, not '" + C.KeyColor + "'");
    S.KeyColor = *Color;
  }
  check_outputs(C, "convert");
}

int run(int argc, char** argv) {
  CLI::App App{
      "kvdib: converts images between pixel formats (1, 4, 8 and 24 bits, RLE, halftones) and "
      "describes image files.",
      "kvdib"};
  App.set_version_flag("--version", std::string("kvdib ") + KVDIB_VERSION, "print the version and exit");
  App.require_subcommand(1);
  App.footer("FORMAT is one of " + format_list() +
             ".\nInputs are BMP/DIB, PNG, JPEG, PGM and PPM files, recognised by their content.\n"
             "Run 'kvdib COMMAND --help' (convert, render, info) for a command's options.");

  TCommandLine C;
  TConvertSettings& S = C.Convert;
  // The options convert and render share: files, outputs, loading and reporting.
  auto add_files = [&C, &S](CLI::App* Cmd) {
    Cmd->add_option("FILES", C.Files,
                    "INPUT OUTPUT, or INPUT... with --output-dir; - is standard input/output")
        ->required();
    Cmd->add_option("-o,--output-dir", S.OutputDir,
                    "write one output per INPUT into DIR, named after the input")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    Cmd->add_option("-e,--ext", S.Ext, "output format with --output-dir or OUTPUT -: bmp (default) or png")
        ->check(CLI::IsMember({"bmp", "png"}))
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    Cmd->add_option("-j,--jobs", S.Jobs, "work on N files at once (with --output-dir)")
        ->check(CLI::Range(1, 256))
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  };
  auto add_output = [&C, &S](CLI::App* Cmd) {
    Cmd->add_option("-b,--background", C.Background,
                    "colour that transparent pixels are composited onto (FFFFFF)")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    Cmd->add_option("--png-level", S.PngLevel,
                    "zlib level 0-9 for PNG output (default: fast, chosen by format)")
        ->check(CLI::Range(0, 9))
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    Cmd->add_option("--max-pixels", S.Load.MaxPixels, "refuse larger images (default 256000000; 0: no limit)")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    Cmd->add_flag("-n,--no-clobber", S.NoClobber, "keep existing outputs (and say which were skipped)");
    Cmd->add_flag("-f,--force", S.Force, "replace an OUTPUT that is the INPUT file itself");
    Cmd->add_flag("-q,--quiet", S.Quiet, "no progress bar and no notes");
    Cmd->add_flag("-v,--verbose", S.Verbose, "one line per file: size, formats, colours, bytes, time");
  };

  CLI::App* Convert = App.add_subcommand("convert", "convert images to a pixel format");
  add_files(Convert);
  Convert->add_option("-t,--to", C.To, "the pixel format to convert to: " + format_list())
      ->required()
      ->check(CLI::Validator(
          [](std::string& Name) {
            return ParseFormat(Name) ? std::string()
                                     : "unknown format '" + Name + "' (" + format_list() + ")";
          },
          "FORMAT"))
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  Convert->add_flag("--fine", S.Fine,
                    "the fine colour reduction (slower) for 4bit, 4bit-rle, 8bit, 8bit-rle (--method fine)");
  Convert
      ->add_option(
          "-m,--method", C.Method,
          "colour reduction: normal (default), fine, refine (better, as fast) or best (highest quality)")
      ->check(CLI::IsMember({"normal", "fine", "refine", "best"}))
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  Convert->add_option("-c,--colors", C.Colors, "colours to reduce to: 2-256 for 8bit, 2-16 for 4bit")
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  Convert->add_flag("--dither", C.Dither, "Floyd-Steinberg error diffusion onto the reduced palette");
  Convert
      ->add_option("-k,--key-color", C.KeyColor, "for 1bit: the colour whose pixels become set bits (FFFFFF)")
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  add_output(Convert);
  Convert->footer(
      "FORMAT is one of " + format_list() +
      ".\nOUTPUT ending in .bmp or .dib is written as BMP, in .png as PNG (not the RLE formats).");

  CLI::App* Render = App.add_subcommand("render", "draw images stretched to a size, as 24-bit images");
  add_files(Render);
  Render->add_option("-s,--size", C.Size, "the size to draw at, WxH (nearest-pixel sampling)")
      ->required()
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  Render
      ->add_option("--halftone", C.Halftone,
                   "draw through a halftone made at that size: color (215 colours) or bw")
      ->check(CLI::IsMember({"color", "bw"}))
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  add_output(Render);
  Render->footer("OUTPUT ending in .bmp or .dib is written as BMP, in .png as PNG.");

  CLI::App* Info = App.add_subcommand("info", "describe image files as stored and as they load");
  Info->add_option("FILES", C.Files, "the files; - is standard input")->required();
  Info->add_flag("--json", C.Json, "one JSON array with an object per file");
  kv::frontend::TLoadOptions InfoLoad;
  Info->add_option("--max-pixels", InfoLoad.MaxPixels,
                   "refuse to load larger images (default 256000000; 0: none)")
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);

  if (argc > 1 && argv[1][0] != '-' &&
      !App.get_subcommands([&argv](const CLI::App* Sub) { return Sub->get_name() == argv[1]; }).size())
    throw TUsageError(std::string("unknown command '") + argv[1] + "' (convert, render, info)", "");
  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& E) {
    if (E.get_exit_code() == 0) return App.exit(E);
    const std::string Command = Convert->parsed()  ? "convert"
                                : Render->parsed() ? "render"
                                : Info->parsed()   ? "info"
                                                   : "";
    std::string Message = E.what();
    // CLI11 says "--to: At Most 1 required but received 2" for a repeated option.
    const size_t Repeated = Message.find(": At Most 1 required");
    if (Repeated != std::string::npos) Message = Message.substr(0, Repeated) + " given more than once";
    throw TUsageError(Message, Command);
  }
  if (Convert->parsed()) {
    check_convert(C, *Convert);
    std::string Error;
    return RunConvert(S, *PlanJobs(S, Error));
  }
  if (Render->parsed()) {
    check_render(C, *Render);
    std::string Error;
    return RunConvert(S, *PlanJobs(S, Error));
  }
  return RunInfo(C.Files, C.Json, InfoLoad);
}

}  // namespace

}  // namespace kvcli

int main(int argc, char** argv) {
  try {
    return kvcli::run(argc, argv);
  } catch (const kvcli::TUsageError& E) {
    const std::string Help = E.Command().empty() ? "kvdib --help" : "kvdib " + E.Command() + " --help";
    std::fprintf(stderr, "kvdib: %s (see '%s')\n", E.Message().c_str(), Help.c_str());
    return kvcli::kExitUsage;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "kvdib: %s\n", E.what());
    return 1;
  }
}
