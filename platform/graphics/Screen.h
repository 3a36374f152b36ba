// The screen: a pixel surface of the graphics layer that screen device contexts (GetDC)
// draw on and that tests read back like any bitmap (GetDIBits, GetObjectA, GetPixel).
// It starts as 1024 x 768 pixels of 24 bits, all black.
#pragma once

#include <cstdint>

#include "platform/graphics/GdiTypes.h"

namespace kv {

// The screen's bitmap: a stock object, never deleted, never selected into a memory context.
HBITMAP GetScreenBitmap();

// Gives the screen a new, black surface: of 1, 4 or 8 bits (a palette device, with the
// default colour table of its depth) or 16, 24 or 32 bits. False for other arguments.
bool ResetScreen(int32_t Width, int32_t Height, uint16_t BitCount);

}  // namespace kv
