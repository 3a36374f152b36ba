// What an image file holds as stored, read from its headers only (no pixel memory, no
// decoding): for the tool's info command and the Python module's description of a file.
#pragma once

#include <cstdint>
#include <string>

#include "frontend/KvImageFiles.h"

namespace kv::frontend {

struct TFileDescription {
  TFileKind Kind = TFileKind::Unknown;
  uint64_t FileSize = 0;    // bytes
  uint32_t HeaderSize = 0;  // BMP: bytes of the info header (12, 40, 56, 64, 108, 124); else 0
  int64_t Width = 0;        // as stored (a BMP may declare a width of 0 or less)
  uint64_t Height = 0;
  int BitsPerPixel = 0;     // as stored
  int BitsPerSample = 0;    // PNG, JPEG, PNM: per channel; BMP: 0
  std::string Color;        // "palette", "grey", "grey+alpha", "RGB", "RGBA", "CMYK", "YCCK", "bit fields"
  std::string Compression;  // BMP: "none", "RLE8", ...; PNG: "deflate"; JPEG: "baseline", "progressive", ...
  uint32_t ColorTableSize = 0;  // colour-table (palette) entries stored in the file
  bool TopDown = true;          // row order as stored
  bool Interlaced = false;      // PNG Adam7
  bool Alpha = false;           // an alpha channel, alpha mask or transparency chunk
};

}  // namespace kv::frontend
