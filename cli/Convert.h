// The convert command: one input to one output, or many inputs into a folder, N at a
// time; standard input and output as "-".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frontend/KvLoadOptions.h"
#include "image/KvDIB.h"

namespace kvcli {

enum class TOutputKind { Bmp, Png };

// The render command's drawing: the size drawn to and the halftone drawn through (0: none,
// 1: colour, 2: black and white).
struct TRenderSettings {
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t HalftoneMode = 0;
};

struct TConvertSettings {
  std::vector<std::string> Inputs;  // "-" is standard input
  std::string Output;               // single form: the output file or "-" (standard output)
  std::string OutputDir;            // batch form: the folder the outputs go to
  std::string Ext = "bmp";          // batch form and standard output: "bmp" or "png"
  kv::TKvPixelFormat Format = kv::kvPf24Bit;
  bool Fine = false;
  // The quantizer of our own (other methods, counts, dithering); the described reductions
  // when empty.
  std::optional<kv::TKvQuantizeOptions> Quantize;
  std::optional<kv::TColor> KeyColor;
  // Set for the render command: each input is drawn at this size instead of converted.
  std::optional<TRenderSettings> Render;
  std::optional<int> PngLevel;
  bool Quiet = false;
  bool Verbose = false;
  bool NoClobber = false;
  bool Force = false;
  int Jobs = 1;
  kv::frontend::TLoadOptions Load;
};

// One conversion to do.
struct TJob {
  std::string Input;
  std::string Output;  // "-" for standard output
  TOutputKind Kind = TOutputKind::Bmp;
};

// The output kind an output name asks for: .bmp and .dib are BMP, .png PNG; nothing for
// other names.
std::optional<TOutputKind> OutputKindOf(const std::string& Path);

// The conversions the settings describe, or a usage error in Error (two inputs that would
// be written to the same output, "-" in a batch).
std::optional<std::vector<TJob>> PlanJobs(const TConvertSettings& S, std::string& Error);

// Runs the jobs; returns the exit status (0, or 1 when any failed).
int RunConvert(const TConvertSettings& S, const std::vector<TJob>& Jobs);

}  // namespace kvcli
