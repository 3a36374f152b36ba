// Error-diffusion halftones to the fixed 215-colour palette and to black and white.
#pragma once

#include "image/KvDIBInfo.h"

namespace kv {

void ConvertToHalfTone(const TKvDIBInfo& Src, TKvDIBInfo& Dst);
void ConvertToHalfToneBW(const TKvDIBInfo& Src, TKvDIBInfo& Dst);

}  // namespace kv
