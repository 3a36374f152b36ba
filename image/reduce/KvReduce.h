// Colour reductions: true colour to 256 or 16 colours by the Normal ("Low") method, a 5-6-5
// cell histogram divided by the weighted-variance rule, and by the Fine ("High") method,
// the same division applied to the actual pixels; and 256 to 16 colours.
#pragma once

#include "image/KvDIBInfo.h"

namespace kv {

void ConvertTrueColorTo8BitRGBLow(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress);
void ConvertTrueColorTo4BitRGBLow(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress);
void ConvertTrueColorTo8BitRGBHigh(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress);
void ConvertTrueColorTo4BitRGBHigh(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress);
void Convert8BitRGBTo4BitRGB(const TKvDIBInfo& Src, TKvDIBInfo& Dst, const TKvProgressProc& Progress);

}  // namespace kv
