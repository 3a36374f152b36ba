// Expansion of BI_RLE8 and BI_RLE4 pixel data for drawing. Only the layer's own sources
// include this.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv::gdi_detail {

// Expands Size bytes of RLE8 (Rle4 false) or RLE4 data into one palette index per byte:
// Rows rows of Width bytes, the first row of the stream first (the bottom row of a
// bottom-up image). Out must hold Width * Rows zero bytes.
//
// Drawing tolerates what a decoder refuses: pixels that a run puts beyond the end of its
// row, or that a delta skips, are simply not drawn, and the stream ends at its end of
// bitmap, at the end of the data, inside an element cut short, or when it moves past the
// last row. Pixels never reached stay index 0. Nothing is read outside Data[0 .. Size).
void ExpandRle(const uint8_t* Data, size_t Size, bool Rle4, int32_t Width, int32_t Rows, uint8_t* Out);

}  // namespace kv::gdi_detail
