// Widening conversions: 1 -> 4, 1 -> 8, 4 -> 8 bits and 1, 4, 8 bits -> true colour.
#pragma once

#include "image/KvDIBInfo.h"

namespace kv {

void Convert1BitRGBTo4BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert1BitRGBTo8BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert4BitRGBTo8BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert1BitRGBToTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert4BitRGBToTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void Convert8BitRGBToTrueColor(const TKvDIBInfo& Src, TKvDIBInfo& Dst);

}  // namespace kv
