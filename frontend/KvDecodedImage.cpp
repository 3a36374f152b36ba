#include "frontend/KvDecodedImage.h"

#include <limits>
#include <string>

#include "frontend/KvImageFiles.h"

namespace kv::frontend {

void PrepareImage(TKvDIB& Image, uint64_t Width, uint64_t Height, int BitCount) {
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  if (Width == 0 || Height == 0 || Width > kMax || Height > kMax)
    throw TFileError("image size " + std::to_string(Width) + " x " + std::to_string(Height) +
                     " is not supported");
  // Depth first, while the image is still 1 x 1: only the final size is ever allocated.
  Image.SetBitCount(BitCount);
  Image.SetWidth(static_cast<int32_t>(Width));
  Image.SetHeight(static_cast<int32_t>(Height));
}

void SetGreyRamp(TKvDIB& Image) {
  RGBQUAD Ramp[256];
  for (int I = 0; I < 256; ++I) Ramp[I] = RGBQUAD{uint8_t(I), uint8_t(I), uint8_t(I), 0};
  Image.SetColorTable(Ramp, 256);
}

}  // namespace kv::frontend
