// Image files as users hand them over: recognising a file by its first bytes and loading
// BMP/DIB files through the library, PNG files through libpng and JPEG files through
// libjpeg into one TKvDIB.
#pragma once

#include <stdexcept>
#include <string>

#include "image/KvDIB.h"

namespace kv::frontend {

// A failure outside the image library (PNG or JPEG data, the file system).
class TFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TFileKind { Unknown, Bmp, Png, Jpeg };

// The kind of a file by its magic bytes; raises TFileError when it cannot be read.
TFileKind DetectFileKind(const std::string& Path);
const char* FileKindName(TFileKind Kind);

// Loads any supported file into Image. A PNG or JPEG becomes a 24-bit image, or an 8-bit
// one with its palette (palette PNG) or a grey ramp (grey PNG or JPEG); alpha is dropped.
// Raises kv::Exception (library) or TFileError.
TFileKind LoadImageFile(const std::string& Path, TKvDIB& Image);

}  // namespace kv::frontend
