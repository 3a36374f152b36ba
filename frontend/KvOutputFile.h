// Output files that appear under their name only once they are complete, for the tool and
// the Python module alike: written under a temporary name in the target's folder and
// renamed over the target by Commit(), removed otherwise.
//
// The temporary is created at construction, so an unwritable folder is reported before any
// work. Its name stays within the folder's name-length limit. The replaced file keeps its
// permission bits (and owner, where allowed); a symlinked target stays a link and the file
// it points to is replaced. A new file gets the mode a plain create gives (the kernel
// applies the umask, which is never read, so threads may create outputs at once).
#pragma once

#include <string>

namespace kv::frontend {

// Told about every temporary, so that a caller can remove unfinished ones when a signal
// ends the process (the tool does; the Python interpreter owns its signals).
class TOutputWatcher {
 public:
  virtual ~TOutputWatcher() = default;
  // Around the creation of a temporary: nothing between Begin and Created may be lost
  // (the tool blocks its clean-up signals there).
  virtual void Begin() = 0;
  // The temporary exists at Path; the returned token is handed to Done.
  virtual int Created(const std::string& Path) = 0;
  virtual void End() = 0;
  // The temporary is gone: renamed into place or removed.
  virtual void Done(int Token) = 0;
};

class TOutputFile {
 public:
  // Raises TFileError "Cannot create file <Target>: <reason>".
  explicit TOutputFile(const std::string& Target, TOutputWatcher* Watcher = nullptr);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::string& TempPath() const { return m_Temp; }
  // Raises TFileError "Cannot write <target>: <reason>".
  void Commit();

 private:
  std::string m_Target;  // the file renamed over: the target, or what its link points to
  std::string m_Temp;
  TOutputWatcher* m_Watcher;
  int m_Token = -1;
  bool m_Committed = false;
};

}  // namespace kv::frontend
