// Binary PGM (P5) and PPM (P6) input: grey images become 8-bit images over a grey ramp,
// colour images 24-bit images; 16-bit samples (maxval above 255) and other maxvals are
// scaled to 0..255.
#pragma once

#include <cstdint>
#include <span>

#include "frontend/KvFileInfo.h"
#include "frontend/KvLoadOptions.h"
#include "image/KvDIB.h"

namespace kv::frontend {

// Raises TFileError for malformed headers and short data, TLimitError above the ceiling.
void ReadPnm(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options);
TFileDescription DescribePnm(std::span<const uint8_t> Bytes);

}  // namespace kv::frontend
