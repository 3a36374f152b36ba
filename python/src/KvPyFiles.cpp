#include "python/src/KvPyFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "frontend/KvImageFiles.h"

namespace kv::python {

namespace {

frontend::TFileError system_error(const std::string& What, const std::string& Path) {
  return frontend::TFileError(What + " " + Path + ": " + std::strerror(errno));
}

}  // namespace

std::string LowerExtension(const std::string& Path) {
  std::string Ext = std::filesystem::path(Path).extension().string();
  for (char& C : Ext) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C);
  return Ext;
}

TTempOutput::TTempOutput(const std::string& Target) : m_Target(Target) {
  const std::filesystem::path T(Target);
  const std::filesystem::path Dir = T.has_parent_path() ? T.parent_path() : std::filesystem::path(".");
  // open() with mode 0666 lets the kernel apply the umask, as a plain create would; reading
  // the umask with umask() would change it for every thread for a moment.
  std::random_device Seed;
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    char Suffix[16];
    std::snprintf(Suffix, sizeof(Suffix), ".%08x", static_cast<unsigned>(Seed()));
    const std::string Name = (Dir / ("." + T.filename().string() + Suffix)).string();
    const int Fd = open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd >= 0) {
      close(Fd);
      m_Temp = Name;
      return;
    }
    if (errno != EEXIST) break;
  }
  throw system_error("Cannot create file", Target);
}

TTempOutput::~TTempOutput() {
  if (!m_Committed) unlink(m_Temp.c_str());
}

void TTempOutput::Commit() {
  if (std::rename(m_Temp.c_str(), m_Target.c_str()) != 0) throw system_error("Cannot write", m_Target);
  m_Committed = true;
}

}  // namespace kv::python
