// Output files committed by rename, and the signal handlers that remove unfinished ones.
// Several conversions may run at once (-j), so the handler knows a fixed table of pending
// temporaries, each slot claimed and released atomically; the handler only reads it and
// calls unlink, which is async-signal-safe.
#include "cli/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "frontend/KvFileError.h"

namespace kvcli {

namespace {

namespace fs = std::filesystem;
using kv::frontend::TFileError;

std::string system_error(const std::string& What, const std::string& Path) {
  return What + " " + Path + ": " + std::strerror(errno);
}

constexpr int kSlots = 256;  // more than the most conversions run at once
constexpr size_t kPathMax = 4096;

struct TPendingSlot {
  std::atomic<bool> Used{false};  // claimed by a TOutputFile
  std::atomic<bool> Live{false};  // Path holds a temporary to remove
  char Path[kPathMax];
};
std::array<TPendingSlot, kSlots> g_Pending;

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};

extern "C" void remove_pending_and_reraise(int Signal) {
  for (TPendingSlot& S : g_Pending)
    if (S.Live.load()) unlink(S.Path);
  // The default action, delivered once the handler returns (the signal is blocked in it).
  struct sigaction Default {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  sigaction(Signal, &Default, nullptr);
  raise(Signal);
}

int claim_slot(const std::string& Path) {
  if (Path.size() >= kPathMax) return -1;
  for (int I = 0; I < kSlots; ++I) {
    bool Free = false;
    if (g_Pending[I].Used.compare_exchange_strong(Free, true)) {
      std::memcpy(g_Pending[I].Path, Path.c_str(), Path.size() + 1);
      g_Pending[I].Live.store(true);
      return I;
    }
  }
  return -1;
}

void release_slot(int Slot) {
  if (Slot < 0) return;
  g_Pending[Slot].Live.store(false);
  g_Pending[Slot].Used.store(false);
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

// ".<name>.XXXXXX", the name shortened so the whole stays within the folder's limit.
std::string temp_template(const fs::path& Dir, const std::string& Name) {
  long Max = pathconf(Dir.c_str(), _PC_NAME_MAX);
  if (Max <= 0) Max = NAME_MAX;
  std::string Base = "." + Name;
  const size_t Room = static_cast<size_t>(Max) - 7;  // ".XXXXXX"
  if (Base.size() > Room) Base.resize(Room);
  return (Dir / (Base + ".XXXXXX")).string();
}

}  // namespace

void InstallCleanupHandlers() {
  for (int Signal : kCleanupSignals) {
    struct sigaction Old {};
    if (sigaction(Signal, nullptr, &Old) != 0 || Old.sa_handler == SIG_IGN) continue;
    struct sigaction New {};
    New.sa_handler = remove_pending_and_reraise;
    sigemptyset(&New.sa_mask);
    for (int Other : kCleanupSignals) sigaddset(&New.sa_mask, Other);
    sigaction(Signal, &New, nullptr);
  }
}

TOutputFile::TOutputFile(const std::string& Target) {
  const fs::path Real = resolve_target(Target);
  m_Target = Real.string();
  const fs::path Dir = Real.has_parent_path() ? Real.parent_path() : fs::path(".");
  std::string Template = temp_template(Dir, Real.filename().string());
  // No signal between creating the temporary and recording it for the handler.
  sigset_t Block, Saved;
  sigemptyset(&Block);
  for (int Signal : kCleanupSignals) sigaddset(&Block, Signal);
  pthread_sigmask(SIG_BLOCK, &Block, &Saved);
  const int Fd = mkstemp(Template.data());
  const int Error = errno;
  if (Fd >= 0) m_Slot = claim_slot(Template);
  pthread_sigmask(SIG_SETMASK, &Saved, nullptr);
  errno = Error;
  if (Fd < 0) throw TFileError(system_error("Cannot create file", Target));
  m_Temp = Template;
  // The mode of the file replaced, or the one a plain create would give.
  struct stat Old {};
  if (stat(m_Target.c_str(), &Old) == 0) {
    if (fchown(Fd, Old.st_uid, Old.st_gid) != 0) {
      // Only root may give a file another owner; the mode is kept all the same.
    }
    fchmod(Fd, Old.st_mode & 07777);
  } else {
    const mode_t Mask = umask(0);
    umask(Mask);
    fchmod(Fd, 0666 & ~Mask);
  }
  close(Fd);
}

TOutputFile::~TOutputFile() {
  if (!m_Committed) unlink(m_Temp.c_str());
  release_slot(m_Slot);
}

void TOutputFile::Commit() {
  if (std::rename(m_Temp.c_str(), m_Target.c_str()) != 0)
    throw TFileError(system_error("Cannot write", m_Target));
  m_Committed = true;
  release_slot(m_Slot);
  m_Slot = -1;
}

}  // namespace kvcli
