// BMP interchange helpers shared by the stream reader and the clipboard reader: the
// conversion of masked 16- and 32-bit pixels to 24 bits, and the header sizes of the
// BMP records.
#pragma once

#include <cstdint>
#include <functional>

#include "image/KvDIBInfo.h"

namespace kv {

constexpr uint32_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr uint32_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER (read only)

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

// Source stride of masked rows: 16 bits ((2W + 3) div 4) * 4, 32 bits 4W. Returns false
// when it does not fit a signed 32-bit value or BitCount is neither 16 nor 32.
bool MaskedStride(int32_t Width, int32_t BitCount, int32_t& Stride);

}  // namespace kv
