// Palettes: created from a LOGPALETTE description, read, changed, copied and deleted
// (DeleteObject), and owned by TPaletteHandle. Selecting and realizing a palette in a
// device context is in DeviceContext.h.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics/GdiObjects.h"
#include "platform/graphics/GdiTypes.h"

namespace kv {

// A new palette with the entries of Description; nullptr when the version is not
// kPaletteVersion, the count is 0, or no object can be made.
HPALETTE CreatePalette(const LOGPALETTE* Description);

// Copies up to Count entries from entry Start on into Entries and returns how many were
// copied; 0 for an invalid (deleted, made-up) palette or Start beyond the last entry. With
// Entries nullptr, returns the number of entries of the palette.
uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries);
// Replaces up to Count entries from entry Start on; returns how many were replaced.
uint32_t SetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, const PALETTEENTRY* Entries);
// Index of the entry nearest to Color (least squared distance, lowest index on a tie);
// kClrInvalid for an invalid palette.
uint32_t GetNearestPaletteIndex(HPALETTE Palette, COLORREF Color);

// A new palette with the same entries; nullptr for nullptr or an invalid palette.
HPALETTE CopyPalette(HPALETTE Palette);

// A LOGPALETTE with room for Count entries, all zero, version kPaletteVersion.
class TLogPalette {
 public:
  explicit TLogPalette(uint16_t Count);
  LOGPALETTE* get() { return reinterpret_cast<LOGPALETTE*>(m_Words.data()); }
  const LOGPALETTE* get() const { return reinterpret_cast<const LOGPALETTE*>(m_Words.data()); }
  uint16_t Count() const { return get()->palNumEntries; }
  PALETTEENTRY& Entry(uint16_t I) { return reinterpret_cast<PALETTEENTRY*>(m_Words.data() + 1)[I]; }

 private:
  std::vector<uint32_t> m_Words;  // version and count, then one word per entry
};

// The owner of one palette (a storage object's cached palette, a bitmap's palette).
using TPaletteHandle = TGdiObjectOwner<HPALETTE>;

}  // namespace kv
