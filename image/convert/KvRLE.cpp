// Placeholder until the routines land; replaced by the real implementation.
#include "image/convert/KvRLE.h"

namespace kv {

void Convert8BitRLETo8BitRGB(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert8BitRLETo8BitRGB: not implemented");
}

void Convert4BitRLETo4BitRGB(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert4BitRLETo4BitRGB: not implemented");
}

void Convert8BitRGBTo8BitRLE(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert8BitRGBTo8BitRLE: not implemented");
}

void Convert4BitRGBTo4BitRLE(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert4BitRGBTo4BitRLE: not implemented");
}

}  // namespace kv
