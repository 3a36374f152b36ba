// BMP files built byte by byte for the tests, independent of the library's writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/core/WinTypes.h"

namespace kv::test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& B, size_t At, uint32_t V) {
  B[At] = static_cast<uint8_t>(V);
  B[At + 1] = static_cast<uint8_t>(V >> 8);
}
inline void put32(Bytes& B, size_t At, uint32_t V) {
  for (int I = 0; I < 4; ++I) B[At + I] = static_cast<uint8_t>(V >> (8 * I));
}
inline uint32_t get32(const Bytes& B, size_t At) {
  return B[At] | (B[At + 1] << 8) | (B[At + 2] << 16) | (static_cast<uint32_t>(B[At + 3]) << 24);
}
inline void append32(Bytes& B, uint32_t V) {
  B.resize(B.size() + 4);
  put32(B, B.size() - 4, V);
}

// A BMP file with a 40-byte header: masks (if any), Colors as 32-bit values, then Pixels.
// bfSize is the real size unless FileSize is given; Packed() is the same without the file
// header, as the clipboard carries it.
struct TBmp {
  int32_t Width = 1;
  int32_t Height = 1;
  uint16_t BitCount = 24;
  uint32_t Compression = kBiRGB;
  uint32_t ClrUsed = 0;
  std::vector<uint32_t> Masks;
  std::vector<uint32_t> Colors;
  Bytes Pixels;
  int64_t FileSize = -1;

  // The packed DIB: the header, masks, colours and pixels without the file header.
  Bytes Packed() const {
    Bytes B(40);
    put32(B, 0, 40);
    put32(B, 4, static_cast<uint32_t>(Width));
    put32(B, 8, static_cast<uint32_t>(Height));
    put16(B, 12, 1);
    put16(B, 14, BitCount);
    put32(B, 16, Compression);
    put32(B, 32, ClrUsed);
    for (uint32_t M : Masks) append32(B, M);
    for (uint32_t C : Colors) append32(B, C);
    B.insert(B.end(), Pixels.begin(), Pixels.end());
    return B;
  }

  Bytes Build() const {
    const Bytes Dib = Packed();
    Bytes B(14);
    B[0] = 'B', B[1] = 'M';
    put32(B, 10, static_cast<uint32_t>(14 + Dib.size() - Pixels.size()));
    B.insert(B.end(), Dib.begin(), Dib.end());
    put32(B, 2, FileSize >= 0 ? static_cast<uint32_t>(FileSize) : static_cast<uint32_t>(B.size()));
    return B;
  }
};

}  // namespace kv::test
