#include "platform/graphics/ColorMatch.h"

#include <cstdint>

namespace kv::gdi_detail {

TNearestColor::TNearestColor(const std::vector<RGBQUAD>& Table) : m_Table(Table) {
  if (m_Table.size() > 256) m_Table.resize(256);
  m_Keys.fill(0);
}

uint8_t NearestEntry(const RGBQUAD* Table, size_t Count, uint8_t R, uint8_t G, uint8_t B) {
  uint32_t Best = UINT32_MAX;
  uint8_t BestIndex = 0;
  if (Count > 256) Count = 256;
  for (size_t I = 0; I < Count; ++I) {
    const int32_t DR = int32_t{Table[I].rgbRed} - R;
    const int32_t DG = int32_t{Table[I].rgbGreen} - G;
    const int32_t DB = int32_t{Table[I].rgbBlue} - B;
    const uint32_t D = static_cast<uint32_t>(DR * DR + DG * DG + DB * DB);
    if (D < Best) {
      Best = D;
      BestIndex = static_cast<uint8_t>(I);
      if (D == 0) break;
    }
  }
  return BestIndex;
}

uint8_t TNearestColor::Nearest(uint8_t R, uint8_t G, uint8_t B) {
  const uint32_t Key = (uint32_t{R} | uint32_t{G} << 8 | uint32_t{B} << 16) | 1u << 24;
  const size_t Slot = ((Key * 2654435761u) >> 20) & (kCacheSize - 1);
  if (m_Keys[Slot] != Key) {
    m_Keys[Slot] = Key;
    m_Values[Slot] = NearestEntry(m_Table.data(), m_Table.size(), R, G, B);
  }
  return m_Values[Slot];
}

}  // namespace kv::gdi_detail
