#include "platform/graphics/Palette.h"

#include <algorithm>
#include <cstring>

#include "platform/graphics/ColorMatch.h"
#include "platform/graphics/GdiTable.h"

namespace kv {

using namespace gdi_detail;

namespace {

std::shared_ptr<TPaletteObject> find_palette(HPALETTE Palette) { return Find<TPaletteObject>(Palette); }

}  // namespace

TLogPalette::TLogPalette(uint16_t Count) : m_Words(size_t{1} + Count, 0) {
  LOGPALETTE* P = get();
  P->palVersion = kPaletteVersion;
  P->palNumEntries = Count;
}

HPALETTE CreatePalette(const LOGPALETTE* Description) {
  if (Description == nullptr || Description->palVersion != kPaletteVersion || Description->palNumEntries == 0)
    return nullptr;
  auto Pal = std::make_shared<TPaletteObject>();
  Pal->Entries.resize(Description->palNumEntries);
  // The entries run on past the one the record declares.
  std::memcpy(Pal->Entries.data(),
              reinterpret_cast<const uint8_t*>(Description) + offsetof(LOGPALETTE, palPalEntry),
              Pal->Entries.size() * sizeof(PALETTEENTRY));
  TSpinGuard Lock(GdiMutex());
  return static_cast<HPALETTE>(AddObject(std::move(Pal)));
}

uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries) {
  TSpinGuard Lock(GdiMutex());
  const auto Pal = find_palette(Palette);
  if (!Pal) return 0;
  const auto Size = static_cast<uint32_t>(Pal->Entries.size());
  if (Entries == nullptr) return Size;
  if (Start >= Size) return 0;
  const uint32_t N = std::min(Count, Size - Start);
  std::memcpy(Entries, Pal->Entries.data() + Start, N * sizeof(PALETTEENTRY));
  return N;
}

uint32_t SetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, const PALETTEENTRY* Entries) {
  TSpinGuard Lock(GdiMutex());
  const auto Pal = find_palette(Palette);
  if (!Pal || Entries == nullptr || Pal->Stock) return 0;
  const auto Size = static_cast<uint32_t>(Pal->Entries.size());
  if (Start >= Size) return 0;
  const uint32_t N = std::min(Count, Size - Start);
  std::memcpy(Pal->Entries.data() + Start, Entries, N * sizeof(PALETTEENTRY));
  return N;
}

uint32_t GetNearestPaletteIndex(HPALETTE Palette, COLORREF Color) {
  TSpinGuard Lock(GdiMutex());
  const auto Pal = find_palette(Palette);
  if (!Pal) return kClrInvalid;
  std::vector<RGBQUAD> Table;
  for (const PALETTEENTRY& E : Pal->Entries) Table.push_back({E.peBlue, E.peGreen, E.peRed, 0});
  return NearestEntry(Table.data(), Table.size(), static_cast<uint8_t>(Color),
                      static_cast<uint8_t>(Color >> 8), static_cast<uint8_t>(Color >> 16));
}

HPALETTE CopyPalette(HPALETTE Palette) {
  TSpinGuard Lock(GdiMutex());
  const auto Pal = find_palette(Palette);
  if (!Pal) return nullptr;
  auto Copy = std::make_shared<TPaletteObject>();
  Copy->Entries = Pal->Entries;
  return static_cast<HPALETTE>(AddObject(std::move(Copy)));
}

}  // namespace kv
