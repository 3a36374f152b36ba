// The names users give the library's pixel formats (the tool's --to values, the Python
// module's format strings) and of the BMP compression ids.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "image/KvDIBInfo.h"

namespace kv::frontend {

struct TFormatName {
  const char* Name;  // "1bit", "4bit", "4bit-rle", "8bit", "8bit-rle", "24bit", "halftone", "halftone-bw"
  TKvPixelFormat Format;
};

// Every format, in the order of the enumeration.
std::span<const TFormatName> FormatNames();
std::optional<TKvPixelFormat> ParseFormat(std::string_view Name);
// The name of a format; "?" for a value outside the enumeration.
const char* FormatName(TKvPixelFormat Format);
// True for the RLE storage formats.
constexpr bool IsRleFormat(TKvPixelFormat Format) { return Format == kvPf4BitRLE || Format == kvPf8BitRLE; }

// "none", "RLE8", "RLE4", "bit fields" or "unknown".
const char* CompressionName(uint32_t Compression);

}  // namespace kv::frontend
