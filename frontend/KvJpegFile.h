// JPEG files through libjpeg.
#pragma once

#include <string>

#include "image/KvDIB.h"

namespace kv::frontend {

// Grey JPEGs become 8-bit images over a grey ramp, everything else 24-bit images (CMYK and
// YCCK converted). Raises TFileError.
void ReadJpegFile(const std::string& Path, TKvDIB& Image);

}  // namespace kv::frontend
