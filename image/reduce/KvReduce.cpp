// Placeholder until the routines land; replaced by the real implementation.
#include "image/reduce/KvReduce.h"

namespace kv {

void ConvertTrueColorTo8BitRGBLow(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&) {
  throw EKvDIBBadDIBType("ConvertTrueColorTo8BitRGBLow: not implemented");
}

void ConvertTrueColorTo4BitRGBLow(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&) {
  throw EKvDIBBadDIBType("ConvertTrueColorTo4BitRGBLow: not implemented");
}

void ConvertTrueColorTo8BitRGBHigh(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&) {
  throw EKvDIBBadDIBType("ConvertTrueColorTo8BitRGBHigh: not implemented");
}

void ConvertTrueColorTo4BitRGBHigh(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&) {
  throw EKvDIBBadDIBType("ConvertTrueColorTo4BitRGBHigh: not implemented");
}

void Convert8BitRGBTo4BitRGB(const TKvDIBInfo&, TKvDIBInfo&, const TKvProgressProc&) {
  throw EKvDIBBadDIBType("Convert8BitRGBTo4BitRGB: not implemented");
}

}  // namespace kv
