// Placeholder until the routines land; replaced by the real implementation.
#include "image/convert/KvTo1Bit.h"

namespace kv {

void ConvertTrueColorTo1BitRGB(const TKvDIBInfo&, TKvDIBInfo&, COLORREF) {
  throw EKvDIBBadDIBType("ConvertTrueColorTo1BitRGB: not implemented");
}

void Convert8BitTo1BitRGB(const TKvDIBInfo&, TKvDIBInfo&, COLORREF) {
  throw EKvDIBBadDIBType("Convert8BitTo1BitRGB: not implemented");
}

void Convert4BitRGBTo1BitRGB(const TKvDIBInfo&, TKvDIBInfo&, COLORREF) {
  throw EKvDIBBadDIBType("Convert4BitRGBTo1BitRGB: not implemented");
}

}  // namespace kv
