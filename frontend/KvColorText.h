// Colours written as text by users: RRGGBB in hexadecimal, optionally with a leading '#'.
#pragma once

#include <optional>
#include <string_view>

#include "platform/core/WinTypes.h"

namespace kv::frontend {

// The colour value (red in the lowest byte) of RRGGBB / #RRGGBB; nothing for other text.
std::optional<TColor> ParseColor(std::string_view Text);

}  // namespace kv::frontend
