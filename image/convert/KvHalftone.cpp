// Placeholder until the routines land; replaced by the real implementation.
#include "image/convert/KvHalftone.h"

namespace kv {

void ConvertToHalfTone(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("ConvertToHalfTone: not implemented");
}

void ConvertToHalfToneBW(const TKvDIBInfo&, TKvDIBInfo&) {
  throw EKvDIBBadDIBType("ConvertToHalfToneBW: not implemented");
}

}  // namespace kv
