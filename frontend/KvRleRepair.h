// Repair of RLE8/RLE4 streams that other programs write with runs covering the row
// padding: the library's decoder refuses them exactly as it must, and the frontend then
// hands it a copy whose runs are clipped to the row, as other readers take such files.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kv::frontend {

// The stream with every run (encoded or absolute) and delta clipped to the row (BitCount
// 8: Width pixels; 4: Width rounded up to even), everything after the last row dropped
// and a final end of bitmap. A stream that the decoder accepts comes back with the same
// pixels.
std::vector<uint8_t> ClipRleRuns(std::span<const uint8_t> Stream, int32_t Width, int32_t Height,
                                 int BitCount);

}  // namespace kv::frontend
