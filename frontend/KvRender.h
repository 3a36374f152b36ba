// Rendering an image at another size: the image drawn stretched through its own PaintTo
// onto a canvas over a new 24-bit image, directly or through a halftone. What the tool's
// render command and the README's example image are made with.
#pragma once

#include <cstdint>

#include "image/KvDIB.h"

namespace kv::frontend {

// Makes Out a new bottom-up 24-bit image of Width x Height showing Source stretched to
// that size by nearest-pixel sampling, drawn with HalftoneMode (0: directly, 1: through
// the colour halftone of the shown pixels, 2: through the black-and-white one); Out's
// other fields get their defaults. Source is only read. Raises EKvDIBInvalidDIBPara
// "RenderImage: Invalid Size" for a width or height of 0 or less, EInvalidGraphic
// "RenderImage: Invalid Halftone Mode" for another mode, the library's exceptions
// otherwise; Out is then unchanged.
void RenderImage(const TKvDIB& Source, int32_t Width, int32_t Height, uint8_t HalftoneMode, TKvDIB& Out);

}  // namespace kv::frontend
