#include "python/src/KvPyFiles.h"

#include <filesystem>

namespace kv::python {

std::string LowerExtension(const std::string& Path) {
  std::string Ext = std::filesystem::path(Path).extension().string();
  for (char& C : Ext) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C);
  return Ext;
}

}  // namespace kv::python
