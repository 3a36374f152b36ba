// Little-endian fields in byte buffers: the byte order of every file and clipboard record
// the library reads or writes, whatever the machine's own order.
#pragma once

#include <cstdint>

namespace kv {

constexpr uint16_t LoadLE16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }

constexpr uint32_t LoadLE32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}

constexpr void StoreLE16(uint8_t* P, uint16_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}

constexpr void StoreLE32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}

}  // namespace kv
