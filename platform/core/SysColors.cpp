// System-colour resolution. On Windows the current value comes from the system; elsewhere
// a fixed table of the classic default scheme stands in for the desktop's settings.
#include "platform/core/WinTypes.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <array>

namespace kv {

namespace {

// Default values of system colours 0..30 (COLOR_SCROLLBAR .. COLOR_MENUBAR), as RGB.
constexpr std::array<COLORREF, 31> kDefaultSysColors = {
    MakeRGB(212, 208, 200), MakeRGB(58, 110, 165),  MakeRGB(10, 36, 106),   MakeRGB(128, 128, 128),
    MakeRGB(212, 208, 200), MakeRGB(255, 255, 255), MakeRGB(0, 0, 0),       MakeRGB(0, 0, 0),
    MakeRGB(0, 0, 0),       MakeRGB(255, 255, 255), MakeRGB(212, 208, 200), MakeRGB(212, 208, 200),
    MakeRGB(128, 128, 128), MakeRGB(10, 36, 106),   MakeRGB(255, 255, 255), MakeRGB(212, 208, 200),
    MakeRGB(128, 128, 128), MakeRGB(128, 128, 128), MakeRGB(0, 0, 0),       MakeRGB(212, 208, 200),
    MakeRGB(255, 255, 255), MakeRGB(64, 64, 64),    MakeRGB(212, 208, 200), MakeRGB(0, 0, 0),
    MakeRGB(255, 255, 225), MakeRGB(181, 181, 181), MakeRGB(0, 0, 128),     MakeRGB(166, 202, 240),
    MakeRGB(192, 192, 192), MakeRGB(49, 106, 197),  MakeRGB(236, 233, 216)};

}  // namespace

COLORREF ColorToRGB(TColor Color) {
  if (Color >= 0) return static_cast<COLORREF>(Color);
  const unsigned Index = static_cast<unsigned>(Color) & 0xFF;
#ifdef _WIN32
  return static_cast<COLORREF>(::GetSysColor(static_cast<int>(Index)));
#else
  return Index < kDefaultSysColors.size() ? kDefaultSysColors[Index] : 0;
#endif
}

}  // namespace kv
