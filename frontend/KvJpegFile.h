// JPEG files through libjpeg.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "frontend/KvFileInfo.h"
#include "frontend/KvLoadOptions.h"
#include "image/KvDIB.h"

namespace kv::frontend {

// Grey JPEGs become 8-bit images over a grey ramp, everything else 24-bit images (CMYK and
// YCCK converted). The header is checked against Options.MaxPixels and against what the
// file's bytes can hold before the decoder starts, and the decoder's own buffers are kept
// under DecoderMemoryLimit(Options). Damaged data (truncation, corrupt entropy data) raises
// TFileError "JPEG: <libjpeg's message>"; only benign warnings (extraneous bytes before a
// marker, unknown revisions) pass.
void ReadJpeg(std::span<const uint8_t> Bytes, TKvDIB& Image, const TLoadOptions& Options);
// The same, from a file, with the default options.
void ReadJpegFile(const std::string& Path, TKvDIB& Image);

TFileDescription DescribeJpeg(std::span<const uint8_t> Bytes);

}  // namespace kv::frontend
