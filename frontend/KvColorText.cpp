#include "frontend/KvColorText.h"

namespace kv::frontend {

std::optional<TColor> ParseColor(std::string_view Text) {
  if (!Text.empty() && Text.front() == '#') Text.remove_prefix(1);
  if (Text.size() != 6) return std::nullopt;
  uint32_t V = 0;
  for (char C : Text) {
    int D = -1;
    if (C >= '0' && C <= '9') D = C - '0';
    if (C >= 'a' && C <= 'f') D = C - 'a' + 10;
    if (C >= 'A' && C <= 'F') D = C - 'A' + 10;
    if (D < 0) return std::nullopt;
    V = V * 16 + static_cast<uint32_t>(D);
  }
  return static_cast<TColor>(MakeRGB(uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)));
}

}  // namespace kv::frontend
