#include "frontend/KvOutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "frontend/KvFileError.h"

namespace kv::frontend {

namespace {

namespace fs = std::filesystem;

std::string system_error(const std::string& What, const std::string& Path) {
  return What + " " + Path + ": " + std::strerror(errno);
}

// The file a target names: itself, or the end of its chain of symlinks.
fs::path resolve_target(const fs::path& Target) {
  std::error_code Ec;
  if (!fs::is_symlink(fs::symlink_status(Target, Ec))) return Target;
  fs::path P = Target;
  for (int Depth = 0; Depth < 40 && fs::is_symlink(fs::symlink_status(P, Ec)); ++Depth) {
    const fs::path Link = fs::read_symlink(P, Ec);
    if (Ec) break;
    P = Link.is_absolute() ? Link : P.parent_path() / Link;
  }
  return P;
}

constexpr size_t kSuffix = 9;  // ".xxxxxxxx"

// ".<name>", shortened so that it and the suffix stay within the folder's limit.
std::string temp_stem(const fs::path& Dir, const std::string& Name) {
  long Max = pathconf(Dir.c_str(), _PC_NAME_MAX);
  if (Max <= 0) Max = NAME_MAX;
  std::string Stem = "." + Name;
  const size_t Room = static_cast<size_t>(Max) - kSuffix;
  if (Stem.size() > Room) Stem.resize(Room);
  return (Dir / Stem).string();
}

}  // namespace

TOutputFile::TOutputFile(const std::string& Target, TOutputWatcher* Watcher) : m_Watcher(Watcher) {
  const fs::path Real = resolve_target(Target);
  m_Target = Real.string();
  const fs::path Dir = Real.has_parent_path() ? Real.parent_path() : fs::path(".");
  const std::string Stem = temp_stem(Dir, Real.filename().string());
  std::random_device Seed;
  int Fd = -1;
  if (m_Watcher) m_Watcher->Begin();
  for (int Attempt = 0; Attempt < 100 && Fd < 0; ++Attempt) {
    char Suffix[kSuffix + 1];
    std::snprintf(Suffix, sizeof(Suffix), ".%08x", static_cast<unsigned>(Seed()));
    m_Temp = Stem + Suffix;
    Fd = open(m_Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0 && errno != EEXIST) break;
  }
  const int Error = errno;
  if (Fd >= 0 && m_Watcher) m_Token = m_Watcher->Created(m_Temp);
  if (m_Watcher) m_Watcher->End();
  errno = Error;
  if (Fd < 0) {
    m_Temp.clear();
    throw TFileError(system_error("Cannot create file", Target));
  }
  // The mode of the file replaced; a new one keeps what the create gave it.
  struct stat Old {};
  if (stat(m_Target.c_str(), &Old) == 0) {
    if (fchown(Fd, Old.st_uid, Old.st_gid) != 0) {
      // Only root may give a file another owner; the mode is kept all the same.
    }
    fchmod(Fd, Old.st_mode & 07777);
  }
  close(Fd);
}

TOutputFile::~TOutputFile() {
  if (!m_Committed && !m_Temp.empty()) unlink(m_Temp.c_str());
  if (m_Watcher && m_Token >= 0) m_Watcher->Done(m_Token);
}

void TOutputFile::Commit() {
  if (std::rename(m_Temp.c_str(), m_Target.c_str()) != 0)
    throw TFileError(system_error("Cannot write", m_Target));
  m_Committed = true;
  if (m_Watcher && m_Token >= 0) m_Watcher->Done(m_Token);
  m_Token = -1;
}

}  // namespace kv::frontend
