// Output files of the tool that appear only once they are complete.
#pragma once

#include <string>

namespace kvcli {

// Installs the handlers that remove unfinished outputs on SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE and SIGXFSZ and then end the process by the same signal (so the caller
// sees which one). A signal the tool inherited as ignored stays ignored (nohup, background
// jobs of non-interactive shells). Call once, before any TOutputFile.
void InstallCleanupHandlers();

// A file written under a temporary name in the target's folder and renamed over the
// target by Commit(); dropped without a trace otherwise, also when a signal ends the
// process. Created at construction, so an unwritable folder is reported before any work.
// The replaced file keeps its permission bits (and owner, where allowed); a symlinked
// target stays a link, and the file it points to is replaced.
class TOutputFile {
 public:
  explicit TOutputFile(const std::string& Target);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::string& TempPath() const { return m_Temp; }
  void Commit();

 private:
  std::string m_Target;  // the file renamed over: the target, or what its link points to
  std::string m_Temp;
  int m_Slot = -1;  // the signal handler's record of the temporary
  bool m_Committed = false;
};

}  // namespace kvcli
