// The info command: each file as stored (from its headers) and what it loads as, as text
// or as one JSON array.
#pragma once

#include <string>
#include <vector>

#include "frontend/KvLoadOptions.h"

namespace kvcli {

// Returns the exit status: 0, or 1 when any file could not be described or loaded.
int RunInfo(const std::vector<std::string>& Files, bool Json, const kv::frontend::TLoadOptions& Load);

}  // namespace kvcli
