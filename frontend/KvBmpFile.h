// BMP input for the frontend: the library reads the 12- and 40-byte header forms itself;
// files with the larger headers that other programs write (52, 56, 64, 108 and 124 bytes)
// are handed to it in the 40-byte form of the same image. RLE streams the library's exact
// decoder refuses because their runs cover the row padding are clipped to the row.
#pragma once

#include <cstdint>
#include <span>

#include "frontend/KvFileInfo.h"
#include "frontend/KvLoadOptions.h"
#include "image/KvDIB.h"

namespace kv::frontend {

// Raises the library's own exceptions for what it refuses, TFileError for variants that
// no form of the library's header can carry, TLimitError above the pixel ceiling.
void ReadBmp(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options);

// The file's headers as stored; raises TFileError when they cannot be read.
TFileDescription DescribeBmp(std::span<const uint8_t> Bytes);

}  // namespace kv::frontend
