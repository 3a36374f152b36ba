// Key-colour masks: pixels of the background colour become set bits of a 1-bit image.
#pragma once

#include "image/KvDIBInfo.h"

namespace kv {

void ConvertTrueColorTo1BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, COLORREF Background);
void Convert8BitTo1BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, COLORREF Background);
void Convert4BitRGBTo1BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, COLORREF Background);

}  // namespace kv
