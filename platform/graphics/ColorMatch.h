// Nearest-colour matching: the entry of a colour table that a colour is drawn as on an
// indexed surface. The nearest entry is the one at the least squared distance in red,
// green and blue; of equally near entries the lowest index wins, so a colour that is in
// the table exactly always finds its first occurrence.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/core/WinTypes.h"

namespace kv::gdi_detail {

// Index of the entry nearest to (R, G, B) among the first Count of Table; 0 when Count is 0.
uint8_t NearestEntry(const RGBQUAD* Table, size_t Count, uint8_t R, uint8_t G, uint8_t B);

// The same with a memory of the colours already matched, for drawing many pixels.
class TNearestColor {
 public:
  explicit TNearestColor(const std::vector<RGBQUAD>& Table);
  // Index of the nearest entry; an empty table gives 0.
  uint8_t Nearest(uint8_t R, uint8_t G, uint8_t B);
  uint8_t Nearest(COLORREF Color) {
    return Nearest(static_cast<uint8_t>(Color), static_cast<uint8_t>(Color >> 8),
                   static_cast<uint8_t>(Color >> 16));
  }

 private:
  std::vector<RGBQUAD> m_Table;
  // Colours already matched: a direct-mapped cache keyed by the colour, so photographs,
  // which repeat their colours, cost one table search per distinct colour or so.
  static constexpr size_t kCacheSize = 4096;
  std::array<uint32_t, kCacheSize> m_Keys;  // colour | 1 << 24 once filled
  std::array<uint8_t, kCacheSize> m_Values;
};

}  // namespace kv::gdi_detail
