// Files the Python module writes: the output kind is chosen by extension. The files
// themselves are frontend::TOutputFile (complete before they appear; no signal handlers,
// which the interpreter owns).
#pragma once

#include <string>

namespace kv::python {

// The extension of Path in lower case, with its dot ("" when there is none).
std::string LowerExtension(const std::string& Path);

}  // namespace kv::python
