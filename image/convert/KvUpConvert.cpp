// Placeholder until the routines land; replaced by the real implementation.
#include "image/convert/KvUpConvert.h"

namespace kv {

void Convert1BitRGBTo4BitRGB(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert1BitRGBTo4BitRGB: not implemented");
}

void Convert1BitRGBTo8BitRGB(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert1BitRGBTo8BitRGB: not implemented");
}

void Convert4BitRGBTo8BitRGB(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert4BitRGBTo8BitRGB: not implemented");
}

void Convert1BitRGBToTrueColor(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert1BitRGBToTrueColor: not implemented");
}

void Convert4BitRGBToTrueColor(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert4BitRGBToTrueColor: not implemented");
}

void Convert8BitRGBToTrueColor(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("Convert8BitRGBToTrueColor: not implemented");
}

}  // namespace kv
