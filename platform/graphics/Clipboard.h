// TClipboard: the clipboard object of the runtime. There is one clipboard per process
// here: it holds data blocks by format number (global memory blocks, and for kCF_Bitmap
// and kCF_Palette drawing objects) and owns them until they are replaced or cleared.
//
// Opening is counted per clipboard object: Open and Close nest, and only the outermost
// pair opens and closes the clipboard, so the object's own operations (which open and
// close around themselves) do not close it early inside an outer Open. While one object
// holds the clipboard open, another cannot open it. The first data set during an opening
// empties the clipboard first, so data set between one Open and Close arrives together.
#pragma once

#include <cstdint>

#include "platform/framework/Persistent.h"
#include "platform/graphics/GdiTypes.h"

namespace kv {

class TClipboard : public TPersistent {
 public:
  TClipboard();
  ~TClipboard() override;  // closes the clipboard if this object still holds it

  // Raises EClipboardException "Cannot open clipboard" while another object holds it.
  void Open() const;
  void Close() const;
  int32_t OpenCount() const { return m_OpenCount; }

  // Frees every block on the clipboard.
  void Clear();
  bool HasFormat(uint16_t Format) const;
  int32_t FormatCount() const;
  uint16_t Formats(int32_t Index) const;  // in the order they were set; 0 beyond the last

  // The data of Format (nullptr when there is none), still the clipboard's.
  HANDLE GetAsHandle(uint16_t Format) const;
  // Puts Value on the clipboard under Format; the clipboard owns it from now on (also
  // when it replaces earlier data of that format, which is freed).
  void SetAsHandle(uint16_t Format, HANDLE Value);

  // A graphic (or a picture's graphic) goes onto the clipboard through its
  // SaveToClipboardFormat, with its palette under kCF_Palette when it gives one.
  void Assign(const TPersistent* Source) override;

 private:
  void adding();

  mutable int32_t m_OpenCount = 0;
  mutable bool m_Emptied = false;
};

// The process's clipboard object.
TClipboard& Clipboard();

}  // namespace kv
