// ConvertMaskedToTrueColor: 16- and 32-bit pixels with red, green and blue bit fields turned
// into 24-bit rows while they are read. The library holds no 16- or 32-bit images, so both
// the BMP stream reader and the clipboard reader go through here.
#pragma once

#include <cstdint>
#include <functional>

#include "image/KvDIBInfo.h"

namespace kv {

// Hands out source row R (0 = first in stream order) of Stride bytes. The pointer only
// has to stay valid until the next call.
using TKvMaskedRowSource = std::function<const uint8_t*(int32_t Row, int32_t Stride)>;

// Turns a 16- or 32-bit descriptor (header and colour table as read, masks in the first
// three Colors entries when biCompression is not BI_RGB) into a 24-bit one with a pixel
// block of its own. Rows keep their order and biHeight its sign; each component keeps the
// top bits of its field (no replication into the low bits). Raises EKvDIBInvalidDIB for a
// zero mask or a geometry whose sizes do not fit a signed 32-bit value; on failure Info
// is unchanged and nothing stays allocated.
void ConvertMaskedToTrueColor(TKvDIBInfo& Info, const TKvMaskedRowSource& Rows);

}  // namespace kv
