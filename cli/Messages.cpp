#include "cli/Messages.h"

#include <cstdio>

#include "frontend/KvFormatNames.h"
#include "frontend/KvLoadOptions.h"

namespace kvcli {

using namespace kv;

std::string Grouped(uint64_t Value) {
  std::string Digits = std::to_string(Value);
  for (int I = static_cast<int>(Digits.size()) - 3; I > 0; I -= 3) Digits.insert(static_cast<size_t>(I), ",");
  return Digits;
}

std::string ConversionFailure(const std::exception& E, int32_t Width, int32_t Height, TKvPixelFormat Target) {
  if (dynamic_cast<const EKvDIBCompressionFailed*>(&E) != nullptr) {
    const bool Four = Target == kvPf4BitRLE;
    int32_t Plain = 0;
    DIBBlockSize(Width, Height, Four ? 4 : 8, Plain);
    return std::string(frontend::FormatName(Target)) + " would not be smaller than the " + Grouped(Plain) +
           " bytes of plain " + (Four ? "4" : "8") + "-bit rows, so it is not written; --to " +
           (Four ? "4bit" : "8bit") + " writes the image uncompressed";
  }
  return E.what();
}

std::string LoadFailure(const std::exception& E) {
  if (dynamic_cast<const frontend::TLimitError*>(&E) != nullptr)
    return std::string(E.what()) + "; raise it with --max-pixels N (0 for no limit)";
  return E.what();
}

std::string ProgressLabel(TKvPixelFormat Source, TKvPixelFormat Target, bool Fine,
                          const TKvQuantizeOptions* Quantize) {
  if (Quantize) {
    std::string Label = "reducing to " + std::to_string(Quantize->Colors) + " colours (" +
                        QuantizeMethodName(Quantize->Method) +
                        (Quantize->Dither == kvDmNone ? ")" : ", dithered)");
    return Label;
  }
  const bool To8 = Target == kvPf8Bit || Target == kvPf8BitRLE;
  std::string Label;
  if (Source == kvPf24Bit)
    Label = To8 ? "reducing to 256 colours" : "reducing to 16 colours";
  else
    Label = "reducing 256 colours to 16";
  if (Fine && Source == kvPf24Bit) Label += " (fine)";
  return Label;
}

std::string KeyColorNote(TColor Key) {
  char Hex[8];
  std::snprintf(Hex, sizeof(Hex), "%02X%02X%02X", Key & 0xFF, (Key >> 8) & 0xFF, (Key >> 16) & 0xFF);
  return std::string("note: 1bit sets the pixels of exactly the key colour ") + Hex +
         " (--key-color) and clears all others; for a black-and-white rendering of a photograph use "
         "--to halftone-bw";
}

}  // namespace kvcli
