// TKvGraphic: the library's abstract graphic class. It adds the clipboard format that a
// concrete graphic exchanges.
#pragma once

#include <cstdint>

#include "platform/framework/Graphic.h"

namespace kv {

class TKvGraphic : public TGraphic {
 public:
  virtual uint32_t ClipboardFormat() const = 0;
};

}  // namespace kv
