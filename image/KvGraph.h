// TKvGraphic: the library's abstract graphic class. It adds the clipboard format that a
// concrete graphic exchanges, and loads from the clipboard object when assigned from it.
#pragma once

#include <cstdint>

#include "platform/framework/Graphic.h"

namespace kv {

class TKvGraphic : public TGraphic {
 public:
  virtual uint32_t ClipboardFormat() const = 0;

  // From the clipboard object (TClipboard): its data of ClipboardFormat and its palette,
  // through LoadFromClipboardFormat, with the clipboard held open for the whole load and
  // closed again on every exit path. Any other Source: the inherited assignment.
  // (image/interchange/KvDIBClipboard.cpp)
  void Assign(const TPersistent* Source) override;
};

}  // namespace kv
