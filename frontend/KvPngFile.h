// PNG files through libpng.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "frontend/KvFileInfo.h"
#include "frontend/KvLoadOptions.h"
#include "image/KvDIB.h"

namespace kv::frontend {

// Palette PNGs become images of their palette at the library's depth for it (1 -> 1,
// 2 and 4 -> 4, 8 -> 8 bits; the colour table covers every index the pixels use), grey
// PNGs the same over grey levels (16-bit: 8 bits over a ramp), colour PNGs 24-bit images
// (16-bit samples keep their high byte). Transparency (alpha, tRNS) is composited onto
// Options.Background: into the palette for palette and low-depth grey images, into the
// pixels otherwise. The header is checked against Options.MaxPixels and against what the
// file's bytes can hold before anything is allocated; damaged image data (truncation, CRC
// errors, bad deflate data) raises TFileError "PNG: <libpng's message>".
void ReadPng(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options);
// The same, from a file, with the default options.
void ReadPngFile(const std::string& Path, TKvDIB& Image);

TFileDescription DescribePng(std::span<const uint8_t> Bytes);

struct TPngWriteOptions {
  // zlib level 0..9 for users who want the smallest files; -1 (the default) chooses fast
  // settings by what is written.
  int Level = -1;
};

// Writes an uncompressed 1-, 4- or 8-bit image as an indexed PNG of the same bit depth and
// a 24-bit image as an RGB PNG. Raises TFileError.
void WritePngFile(const TKvDIB& Image, const std::string& Path, const TPngWriteOptions& Options = {});
// The same PNG, appended to Out.
void WritePng(const TKvDIB& Image, std::vector<uint8_t>& Out, const TPngWriteOptions& Options = {});

}  // namespace kv::frontend
