// Files the Python module writes: the output kind chosen by extension, and a file that
// appears under its name only once it is complete.
#pragma once

#include <string>

namespace kv::python {

// The extension of Path in lower case, with its dot ("" when there is none).
std::string LowerExtension(const std::string& Path);

// A file written under a temporary name in the target's folder and renamed over the
// target by Commit(); removed otherwise. Raises frontend::TFileError when it cannot be made.
// (Unlike the tool's output file it installs no signal handlers: the interpreter owns those.)
class TTempOutput {
 public:
  explicit TTempOutput(const std::string& Target);
  ~TTempOutput();
  TTempOutput(const TTempOutput&) = delete;
  TTempOutput& operator=(const TTempOutput&) = delete;

  const std::string& TempPath() const { return m_Temp; }
  void Commit();

 private:
  std::string m_Target;
  std::string m_Temp;
  bool m_Committed = false;
};

}  // namespace kv::python
