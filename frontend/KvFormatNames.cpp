#include "frontend/KvFormatNames.h"

#include <array>

namespace kv::frontend {

namespace {
constexpr std::array<TFormatName, 8> kFormats = {{
    {"1bit", kvPf1Bit},
    {"4bit", kvPf4Bit},
    {"4bit-rle", kvPf4BitRLE},
    {"8bit", kvPf8Bit},
    {"8bit-rle", kvPf8BitRLE},
    {"24bit", kvPf24Bit},
    {"halftone", kvPfHalfTone},
    {"halftone-bw", kvPfHalfToneBW},
}};
}  // namespace

std::span<const TFormatName> FormatNames() { return kFormats; }

std::optional<TKvPixelFormat> ParseFormat(std::string_view Name) {
  for (const TFormatName& F : kFormats)
    if (Name == F.Name) return F.Format;
  return std::nullopt;
}

const char* FormatName(TKvPixelFormat Format) {
  for (const TFormatName& F : kFormats)
    if (F.Format == Format) return F.Name;
  return "?";
}

const char* CompressionName(uint32_t Compression) {
  switch (Compression) {
    case kBiRGB: return "none";
    case kBiRLE8: return "RLE8";
    case kBiRLE4: return "RLE4";
    case kBiBitFields: return "bit fields";
    default: return "unknown";
  }
}

}  // namespace kv::frontend
