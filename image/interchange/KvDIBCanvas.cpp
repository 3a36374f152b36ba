// TKvDIBCanvas: making the memory context and the DIB section over the image's pixel block,
// and taking them apart again in the reverse order.
#include "image/interchange/KvDIBCanvas.h"

#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/GdiBitmap.h"
#include "platform/graphics/GdiObjects.h"

namespace kv {

namespace {

constexpr char kCannotCreateMemoryDC[] = "TKvDIBCanvas.Create: Cannot Create Memory DC";

}  // namespace

TKvDIBCanvas::TKvDIBCanvas(TKvDIB& ADIB) : m_DIB(ADIB) {
  try {
    // The canvas writes into the pixel memory: no other graphic may share it.
    m_DIB.UniqueDIB();
    m_MemoryDC = CreateCompatibleDC(nullptr);
    if (m_MemoryDC == nullptr) throw EOutOfResources(kCannotCreateMemoryDC);
    // The image's own colour table, also when it is drawn through a halftone; the palette
    // stays the storage's.
    if (const HPALETTE Palette = m_DIB.GetDIBPalette()) {
      m_OldPalette = SelectPalette(m_MemoryDC, Palette, true);
      RealizePalette(m_MemoryDC);
    }
    const TKvDIBInfo& Info = m_DIB.m_Storage->Info;
    // Over the very block of the image; a compressed image has no section and fails here.
    m_DIBSection = CreateDIBSection(m_MemoryDC, static_cast<const BITMAPINFO*>(Info.BitmapInfo()),
                                    kDibRgbColors, &m_SectionBits, Info.MapHandle, 0);
    if (m_DIBSection == nullptr) throw EOutOfResources(kCannotCreateMemoryDC);
    m_OldBitmap = SelectObject(m_MemoryDC, m_DIBSection);
    if (m_OldBitmap == nullptr) throw EOutOfResources(kCannotCreateMemoryDC);
    SetHandle(m_MemoryDC);
  } catch (...) {
    // As a half-made canvas is released: what was made goes, and the image hears of a
    // change, but the failure is what the caller sees.
    release();
    try {
      notify();
    } catch (...) {
    }
    throw;
  }
}

TKvDIBCanvas::~TKvDIBCanvas() {
  release();
  try {
    notify();
  } catch (...) {
    // A change handler that raises cannot be heard from a destructor.
  }
}

void TKvDIBCanvas::release() noexcept {
  if (m_OldBitmap != nullptr) SelectObject(m_MemoryDC, m_OldBitmap);
  if (m_DIBSection != nullptr) DeleteObject(m_DIBSection);
  SetHandle(nullptr);
  // The image's palette is still selected; deleting the context lets go of it.
  if (m_MemoryDC != nullptr) DeleteDC(m_MemoryDC);
  m_OldBitmap = nullptr;
  m_DIBSection = nullptr;
  m_MemoryDC = nullptr;
  m_OldPalette = nullptr;
  m_SectionBits = nullptr;
}

void TKvDIBCanvas::notify() {
  // Storage still shared: UniqueDIB failed, or the image was shared while the canvas lived.
  if (m_DIB.m_Storage->RefCount == 1) m_DIB.UpdatePaletteModified();
  m_DIB.NotifyChange(&m_DIB);
}

}  // namespace kv
