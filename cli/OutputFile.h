// Output files of the tool that appear only once they are complete.
#pragma once

#include <string>

namespace kvcli {

// A file written under a temporary name in the target's folder and renamed over the
// target by Commit(); dropped without a trace otherwise, also when the process is
// interrupted by SIGINT, SIGTERM or SIGHUP.
class TOutputFile {
 public:
  explicit TOutputFile(const std::string& Target);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::string& TempPath() const { return m_Temp; }
  void Commit();

 private:
  std::string m_Target;
  std::string m_Temp;
  bool m_Committed = false;
};

}  // namespace kvcli
