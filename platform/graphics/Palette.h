// A platform palette: an owned list of palette entries with the palette version, built
// from a LOGPALETTE-style description. Storage objects own at most one of these.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/WinTypes.h"

namespace kv {

constexpr uint16_t kPaletteVersion = 0x300;

class TPlatformPalette {
 public:
  explicit TPlatformPalette(std::vector<PALETTEENTRY> Entries, uint16_t Version = kPaletteVersion)
      : m_Version(Version), m_Entries(std::move(Entries)) {}

  uint16_t Version() const { return m_Version; }
  const std::vector<PALETTEENTRY>& Entries() const { return m_Entries; }

 private:
  uint16_t m_Version;
  std::vector<PALETTEENTRY> m_Entries;
};

using TPaletteHandle = std::unique_ptr<TPlatformPalette>;

}  // namespace kv
