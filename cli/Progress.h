// A one-line progress bar on stderr, driven by an image's progress notifications.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "frontend/KvProgressAdapter.h"

namespace kvcli {

class TProgressBar {
 public:
  explicit TProgressBar(std::FILE* Out) : m_Out(Out) {}

  // True when a bar makes sense: not quiet and stderr is a terminal.
  static bool Wanted(bool Quiet);

  // A progress callback that draws this bar; the bar must outlive the conversion.
  kv::frontend::TPercentProc Proc();
  void Show(kv::TProgressStage Stage, int Percent, const std::string& Message);

 private:
  std::FILE* m_Out;
  int m_Shown = -1;  // percentage last drawn, -1 before the first
};

}  // namespace kvcli
