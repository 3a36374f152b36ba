// The image set-up shared by the PNG and JPEG readers.
#pragma once

#include <cstdint>

#include "image/KvDIB.h"

namespace kv::frontend {

// Makes Image a zero-filled, bottom-up Width x Height image of BitCount bits; raises
// TFileError for sizes the library cannot hold.
void PrepareImage(TKvDIB& Image, uint64_t Width, uint64_t Height, int BitCount);
// A 256-entry grey ramp: index i is grey level i.
void SetGreyRamp(TKvDIB& Image);

}  // namespace kv::frontend
