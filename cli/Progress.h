// A one-line progress bar on stderr, driven by an image's progress notifications.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "image/KvDIB.h"

namespace kvcli {

class TProgressBar {
 public:
  explicit TProgressBar(std::FILE* Out) : m_Out(Out) {}

  // True when a bar makes sense: not quiet and stderr is a terminal.
  static bool Wanted(bool Quiet);

  // Routes Image's notifications to this bar; the bar must outlive the conversion.
  void Attach(kv::TKvDIB& Image);
  void Show(kv::TProgressStage Stage, uint8_t Percent, const std::string& Message);

 private:
  std::FILE* m_Out;
  int m_Shown = -1;  // percentage last drawn, -1 before the first
};

}  // namespace kvcli
