// Reading a bitmap's pixels as a DIB of a format of the caller's choice (GetDIBits).
#pragma once

#include <cstdint>

#include "platform/graphics/GdiTypes.h"

namespace kv {

// Copies scan lines Start .. Start + Lines - 1 of Bitmap into Bits as the uncompressed DIB
// that Info describes (1, 4, 8, 16 (5-5-5), 24 or 32 bits, kBiRGB; bottom-up or top-down;
// scan line 0 is the first row in memory, the bottom row of a bottom-up DIB), the first
// requested line at Bits. Returns the number of lines copied; 0 on failure.
//
// For 1, 4 and 8 bits, all 2^biBitCount entries of the colour table after the header are
// written (kDibRgbColors only): a bitmap of that very depth gives its own table (padded
// with black) and its indices unchanged; otherwise the table is the palette selected in
// Dc (when it is not the default palette; 4 and 8 bits) or the default table of the depth,
// and pixels take its nearest entries. biClrUsed and biSizeImage are left as they are.
//
// With Bits nullptr only the header is filled: when biBitCount is 0, with the bitmap's own
// description (bottom-up, biSizeImage set; a 5-6-5 bitmap as kBiBitFields with its masks
// after the header); otherwise biSizeImage and, up to 8 bits, the colour table. Returns
// the bitmap's height then.
int32_t GetDIBits(HDC Dc, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits, BITMAPINFO* Info,
                  uint32_t Usage);

}  // namespace kv
