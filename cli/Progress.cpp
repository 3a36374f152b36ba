// The progress bar: redrawn in place with a carriage return, finished with a newline
// when the conversion ends (successfully or not).
#include "cli/Progress.h"

#include <unistd.h>

#include <algorithm>

namespace kvcli {

namespace {
constexpr int kBarWidth = 30;
}

bool TProgressBar::Wanted(bool Quiet) { return !Quiet && isatty(STDERR_FILENO) == 1; }

kv::frontend::TPercentProc TProgressBar::Proc() {
  return [this](kv::TProgressStage Stage, int Percent, const std::string& Message) {
    Show(Stage, Percent, Message);
  };
}

void TProgressBar::Show(kv::TProgressStage Stage, int Percent, const std::string& Message) {
  const int P = std::clamp(Percent, 0, 100);
  if (Stage == kv::TProgressStage::Running && P == m_Shown) return;  // nothing new to draw
  m_Shown = P;
  const int Filled = P * kBarWidth / 100;
  const std::string Bar = std::string(Filled, '#') + std::string(kBarWidth - Filled, ' ');
  std::fprintf(m_Out, "\r%s [%s] %3d%%", Message.c_str(), Bar.c_str(), P);
  if (Stage == kv::TProgressStage::Ending) {
    std::fputc('\n', m_Out);
    m_Shown = -1;
  }
  std::fflush(m_Out);
}

}  // namespace kvcli
