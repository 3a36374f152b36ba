// Output files committed by rename, and the signal handlers that remove an unfinished one.
#include "cli/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "frontend/KvImageFiles.h"

namespace kvcli {

namespace {

using kv::frontend::TFileError;

std::string system_error(const std::string& What, const std::string& Path) {
  return What + " " + Path + ": " + std::strerror(errno);
}

// The temporary output of the running conversion, for the signal handler.
char g_PendingTemp[4096];

extern "C" void remove_pending_and_reraise(int Signal) {
  if (g_PendingTemp[0] != '\0') unlink(g_PendingTemp);
  std::signal(Signal, SIG_DFL);
  std::raise(Signal);
}

}  // namespace

TOutputFile::TOutputFile(const std::string& Target) : m_Target(Target) {
  const std::filesystem::path T(Target);
  const std::filesystem::path Dir = T.has_parent_path() ? T.parent_path() : std::filesystem::path(".");
  std::string Template = (Dir / ("." + T.filename().string() + ".XXXXXX")).string();
  const int Fd = mkstemp(Template.data());
  if (Fd < 0) throw TFileError(system_error("Cannot create file", Target));
  // mkstemp makes the file private; give it the mode a plain create would.
  const mode_t Mask = umask(0);
  umask(Mask);
  fchmod(Fd, 0666 & ~Mask);
  close(Fd);
  m_Temp = Template;
  if (m_Temp.size() < sizeof(g_PendingTemp)) {
    std::memcpy(g_PendingTemp, m_Temp.c_str(), m_Temp.size() + 1);
    for (int Signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(Signal, remove_pending_and_reraise);
  }
}

TOutputFile::~TOutputFile() {
  g_PendingTemp[0] = '\0';
  if (!m_Committed) unlink(m_Temp.c_str());
}

void TOutputFile::Commit() {
  if (std::rename(m_Temp.c_str(), m_Target.c_str()) != 0)
    throw TFileError(system_error("Cannot write", m_Target));
  m_Committed = true;
  g_PendingTemp[0] = '\0';
}

}  // namespace kvcli
