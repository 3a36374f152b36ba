// PNG files through libpng.
#pragma once

#include <string>

#include "image/KvDIB.h"

namespace kv::frontend {

// Palette PNGs become 8-bit images with their palette, grey PNGs 8-bit images over a grey
// ramp, colour PNGs 24-bit images (16-bit samples keep their high byte, alpha is dropped).
// Raises TFileError.
void ReadPngFile(const std::string& Path, TKvDIB& Image);

// Writes an uncompressed 1-, 4- or 8-bit image as an indexed PNG of the same bit depth and
// a 24-bit image as an RGB PNG. Raises TFileError.
void WritePngFile(const TKvDIB& Image, const std::string& Path);

}  // namespace kv::frontend
