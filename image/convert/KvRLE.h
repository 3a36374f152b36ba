// RLE8 and RLE4 codecs. The decoders take untrusted streams: they never read beyond
// BitsSize bytes of the source nor write outside the destination block.
#pragma once

#include "image/KvDIBInfo.h"

namespace kv {

void Convert8BitRLETo8BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert4BitRLETo4BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert8BitRGBTo8BitRLE(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert4BitRGBTo4BitRLE(const TKvDIBInfo& Src, TKvDIBInfo& Dst);

}  // namespace kv
