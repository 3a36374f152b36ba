// Image files as users hand them over: recognising a file by its first bytes and loading
// BMP/DIB files through the library (with the frontend's help for the header forms and RLE
// streams it does not take as they are), PNG files through libpng, JPEG files through
// libjpeg and binary PGM/PPM files into one TKvDIB; and describing a file as stored.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "frontend/KvFileError.h"
#include "image/KvDIB.h"

namespace kv::frontend {

enum class TFileKind { Unknown, Bmp, Png, Jpeg, Pgm, Ppm };

struct TLoadOptions;
struct TFileDescription;

// The kind of a file by its magic bytes; raises TFileError when it cannot be read.
TFileKind DetectFileKind(const std::string& Path);
TFileKind DetectKind(std::span<const uint8_t> Bytes);
// "BMP", "PNG", "JPEG", "PGM", "PPM" or "unknown".
const char* FileKindName(TFileKind Kind);

// Loads any supported file into Image; on failure Image is left as it was, except that a
// failed BMP load leaves the library's default image (its own rule). Raises kv::Exception
// (library), TFileError, or TLimitError (KvLoadOptions.h) above the pixel ceiling.
TFileKind LoadImageFile(const std::string& Path, TKvDIB& Image);
TFileKind LoadImageFile(const std::string& Path, TKvDIB& Image, const TLoadOptions& Options);
// The same from bytes in memory (standard input, a Python bytes object).
TFileKind LoadImage(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options);

// The file as stored, from its headers only; raises TFileError when they cannot be read.
TFileDescription DescribeImage(std::span<const uint8_t> Bytes);
TFileDescription DescribeImageFile(const std::string& Path);

}  // namespace kv::frontend
