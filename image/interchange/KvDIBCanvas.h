// TKvDIBCanvas: a canvas whose strokes land straight in the pixels of a TKvDIB. It draws on
// a memory device context holding a DIB section made over the image's own pixel block, so
// nothing is copied: every line drawn is in the image at once, and the image is told of
// the change once, when the canvas goes.
//
// Rules while a canvas lives: the image must outlive it and keep its storage, so nothing
// that replaces the storage (size, bit count or pixel format changes, loads, Assign) may
// be applied to the image; the canvas would go on drawing into the old pixel block, which
// it keeps alive but which the image no longer shows. An RLE image cannot have a canvas.
#pragma once

#include "image/KvDIB.h"
#include "platform/graphics/Canvas.h"

namespace kv {

class TKvDIBCanvas : public TCanvas {
 public:
  // Makes ADIB's storage private, selects its own colour table's palette (whatever its
  // HalftoneMode) and the DIB section into a new memory context. Raises EOutOfResources
  // "TKvDIBCanvas.Create: Cannot Create Memory DC" when the context or the section cannot
  // be made (a compressed image has no section); what was made is released again.
  explicit TKvDIBCanvas(TKvDIB& ADIB);
  // Releases the section and the context, then notifies the image of the change.
  ~TKvDIBCanvas() override;

  TKvDIB& DIB() const { return m_DIB; }
  HDC MemoryDC() const { return m_MemoryDC; }
  HBITMAP DIBSection() const { return m_DIBSection; }
  // The section's pixels as the platform reports them: a second view of the image's block.
  void* SectionBits() const { return m_SectionBits; }

 private:
  void release() noexcept;
  void notify();

  HDC m_MemoryDC = nullptr;
  HBITMAP m_DIBSection = nullptr;
  TKvDIB& m_DIB;
  HGDIOBJ m_OldBitmap = nullptr;
  HPALETTE m_OldPalette = nullptr;
  void* m_SectionBits = nullptr;
};

}  // namespace kv
