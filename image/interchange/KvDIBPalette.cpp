// TKvDIB's palettes: GetPalette by HalftoneMode, the cached palette of the storage's colour
// table, SetPalette, the palette of a descriptor, and the two shared halftone palettes.
//
// Threads: graphics on different threads may share one storage object and so its cached
// palette, which GetPalette makes on first request; one lock guards that first making (the
// other writers of the cache, UpdatePalette and SetPalette, run only on private storage).
// The shared palettes are published with a compare-and-swap: a thread that loses the race
// deletes the palette it made and takes the winner's.
#include <atomic>

#include "image/KvDIB.h"
#include "image/convert/KvHalftonePalette.h"
#include "image/interchange/KvDIBPalette.h"
#include "image/interchange/KvDIBRegister.h"
#include "platform/core/SpinLock.h"

namespace kv {

namespace {

constexpr char kCannotMakeSharedPalette[] = "TKvDIB.GetPalette: Cannot Make Palette(1)";

// Guards the first making of a storage's cached palette.
TSpinLock g_CacheLock;

PALETTEENTRY entry_of(const RGBQUAD& Q) { return PALETTEENTRY{Q.rgbRed, Q.rgbGreen, Q.rgbBlue, 0}; }

template <size_t N>
TPaletteHandle palette_of(const RGBQUAD (&Colors)[N]) {
  TLogPalette Log(static_cast<uint16_t>(N));
  for (uint16_t I = 0; I < N; ++I) Log.Entry(I) = entry_of(Colors[I]);
  return TPaletteHandle(CreatePalette(Log.get()));
}

HPALETTE shared(std::atomic<HPALETTE>& Slot, TPaletteHandle (*Make)()) {
  if (const HPALETTE P = Slot.load(std::memory_order_acquire)) return P;
  TPaletteHandle Made = Make();
  if (!Made) throw EOutOfResources(kCannotMakeSharedPalette);
  HPALETTE Expected = nullptr;
  if (Slot.compare_exchange_strong(Expected, Made.get(), std::memory_order_acq_rel)) return Made.release();
  return Expected;  // another thread was first; ours is deleted
}

TPaletteHandle make_halftone_palette() {
  RGBQUAD Colors[kHalftoneColorCount];
  for (int I = 0; I < kHalftoneColorCount; ++I) Colors[I] = HalftonePalette[static_cast<size_t>(I)];
  return palette_of(Colors);
}

TPaletteHandle make_mono_palette() { return palette_of(MonoPalette); }

void delete_shared(std::atomic<HPALETTE>& Slot) {
  if (const HPALETTE P = Slot.exchange(nullptr, std::memory_order_acq_rel)) DeleteObject(P);
}

}  // namespace

TPaletteHandle GetPaletteFromDIBInfos(const TKvDIBInfo& Info) {
  const uint32_t Count = Info.Header.biClrUsed < 256 ? Info.Header.biClrUsed : 256;
  if (Count == 0) return TPaletteHandle();
  TLogPalette Log(static_cast<uint16_t>(Count));
  for (uint16_t I = 0; I < Count; ++I) Log.Entry(I) = entry_of(Info.Colors[I]);
  TPaletteHandle Palette(CreatePalette(Log.get()));
  if (!Palette) throw EOutOfResources("GetPaletteFromDIBInfos: Cannot Make Palette");
  return Palette;
}

TPaletteHandle CopyOfPalette(HPALETTE Palette, const char* Message) {
  if (Palette == nullptr) return TPaletteHandle();
  TPaletteHandle Copy(CopyPalette(Palette));
  if (!Copy) throw EOutOfResources(Message);
  return Copy;
}

HPALETTE SharedHalftonePalette() {
  return shared(KvDIBUnitState().SharedHalftonePalette, make_halftone_palette);
}
HPALETTE SharedMonoPalette() { return shared(KvDIBUnitState().SharedMonoPalette, make_mono_palette); }

bool IsSharedPalette(HPALETTE Palette) {
  const TKvDIBUnitState& S = KvDIBUnitState();
  return Palette != nullptr && (Palette == S.SharedHalftonePalette.load(std::memory_order_acquire) ||
                                Palette == S.SharedMonoPalette.load(std::memory_order_acquire));
}

void DeleteSharedPalettes() {
  TKvDIBUnitState& S = KvDIBUnitState();
  delete_shared(S.SharedHalftonePalette);
  delete_shared(S.SharedMonoPalette);
}

HPALETTE TKvDIB::GetPalette() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetPalette: InternalDIB Should not be Nil");
  switch (HalftoneMode) {
    case 1: return SharedHalftonePalette();
    case 2: return SharedMonoPalette();
    default: return GetDIBPalette();
  }
}

HPALETTE TKvDIB::GetDIBPalette() const {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.GetDIBPalette: InternalDIB Should not be Nil");
  TKvInternalDIB& Storage = *m_Storage;
  // Not made unique: every graphic sharing the storage shares its cached palette.
  const TSpinGuard Lock(g_CacheLock);
  if (Storage.PaletteHandle.IsEmpty() && Storage.Info.Header.biClrUsed != 0)
    Storage.PaletteHandle = GetPaletteFromDIBInfos(Storage.Info);
  return Storage.PaletteHandle.get();
}

void TKvDIB::SetPalette(HPALETTE Value) {
  AssertDIB(m_Storage.get() != nullptr, "TKvDIB.SetPalette: InternalDIB Should not be Nil");
  // A palette the library keeps (a shared one, or this storage's own cached one, which a
  // shared storage's other users still hold) is taken as a copy; anything else is owned
  // from here on, so it is deleted if the call fails.
  TPaletteHandle Owned;
  if (Value != nullptr && (IsSharedPalette(Value) || Value == m_Storage->PaletteHandle.get())) {
    if (m_Storage->RefCount != 1 || IsSharedPalette(Value))
      Owned = CopyOfPalette(Value, "TKvDIB.SetPalette: Cannot Copy Palette");
  } else {
    Owned.reset(Value);
  }
  UniqueDIB();
  TKvInternalDIB& Storage = *m_Storage;
  if (Value != nullptr) {
    const HPALETTE New = Owned ? Owned.get() : Value;
    PALETTEENTRY Entries[256];
    const uint32_t Count = GetPaletteEntries(New, 0, 256, Entries);
    if (Count == 0) throw EKvDIBInvalidPalette("TKvDIB.SetPalette: Invalid Palette");
    for (uint32_t I = 0; I < Count; ++I)
      Storage.Info.Colors[I] = RGBQUAD{Entries[I].peBlue, Entries[I].peGreen, Entries[I].peRed, 0};
    Storage.Info.Header.biClrUsed = Count;
    // The palette it replaces is deleted (unless it is this very palette).
    if (Owned) Storage.PaletteHandle = std::move(Owned);
  } else {
    // No colour table, so no palette: a cached one would describe entries that are gone.
    Storage.Info.Header.biClrUsed = 0;
    Storage.PaletteHandle.reset();
  }
  // The palette changed: the owner must realise it again.
  Storage.PaletteChanged = 1;
  UpdatePaletteModified();
  NotifyChange(this);
}

}  // namespace kv
