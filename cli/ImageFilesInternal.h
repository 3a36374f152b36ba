// Pieces shared by the tool's PNG and JPEG code.
#pragma once

#include <cstdint>
#include <string>

#include "image/KvDIB.h"

namespace kvcli {

void ReadPngFile(const std::string& Path, kv::TKvDIB& Image);
void ReadJpegFile(const std::string& Path, kv::TKvDIB& Image);

// Makes Image a zero-filled, bottom-up Width x Height image of BitCount bits; raises
// TFileError for sizes the library cannot hold.
void PrepareImage(kv::TKvDIB& Image, uint64_t Width, uint64_t Height, int BitCount);
// Installs the first Count entries of Colors as Image's colour table.
void SetColorTable(kv::TKvDIB& Image, const kv::RGBQUAD* Colors, int Count);
// A 256-entry grey ramp: index i is grey level i.
void SetGreyRamp(kv::TKvDIB& Image);

}  // namespace kvcli
