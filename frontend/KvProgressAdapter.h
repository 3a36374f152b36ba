// Progress of an image's conversions as plain percentages: routes a TKvDIB's progress
// notifications to a callback for as long as the adapter lives, and detaches on every exit
// path, so the callback's owner may go away right after. A callback may raise to cancel the
// conversion; the image then stays as it was (the library's guarantee).
//
// Header-only: the plug-in module uses it too and links nothing of the frontend.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "image/KvDIB.h"

namespace kv::frontend {

// Stage, percent done (0 at the start, 0..99 while running, 100 at the end) and the
// conversion's message.
using TPercentProc = std::function<void(TProgressStage Stage, int Percent, const std::string& Message)>;

class TScopedProgress {
 public:
  TScopedProgress(TKvDIB& Image, TPercentProc Proc) : m_Image(Image), m_Proc(std::move(Proc)) {
    if (!m_Proc) return;
    m_Image.OnProgress = [this](TGraphic*, TProgressStage Stage, uint8_t Percent, bool, const TRect&,
                                const std::string& Message) { m_Proc(Stage, Percent, Message); };
  }
  ~TScopedProgress() {
    if (m_Proc) m_Image.OnProgress = nullptr;
  }
  TScopedProgress(const TScopedProgress&) = delete;
  TScopedProgress& operator=(const TScopedProgress&) = delete;

 private:
  TKvDIB& m_Image;
  TPercentProc m_Proc;
};

}  // namespace kv::frontend
