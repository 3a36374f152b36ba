// Placeholder until the BMP stream reader and writer land; replaced by the real implementation.
#include "image/KvDIB.h"
#include "platform/Stream.h"

namespace kv {

void TKvDIB::LoadFromStream(TStream&) { throw EKvDIBInvalidDIBFile("TKvDIB.LoadFromStream: not implemented"); }
void TKvDIB::SaveToStream(TStream&) const { throw EKvDIBInvalidDIBFile("TKvDIB.SaveToStream: not implemented"); }

}  // namespace kv
