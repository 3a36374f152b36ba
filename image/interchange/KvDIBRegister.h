// The image library unit's initialisation and finalisation. Initialisation registers TKvDIB
// with the picture registry as the graphic class of clipboard format CF_DIB and of the file
// extension "dib" ("Device Independent Bitmap"); finalisation deletes the shared halftone
// palettes made so far (KvDIBPalette.h) and removes both registrations.
//
// Both run by themselves: initialisation when the program (or the plug-in module) starts,
// finalisation when it ends. The functions are for code that has to undo and redo them (a
// test of the registry); each does nothing when the unit is already in that state.
#pragma once

#include <atomic>

#include "platform/graphics/GdiTypes.h"

namespace kv {

// The unit-wide state: the shared palettes, none until their first use (KvDIBPalette.cpp
// makes and deletes them).
struct TKvDIBUnitState {
  std::atomic<HPALETTE> SharedHalftonePalette{nullptr};
  std::atomic<HPALETTE> SharedMonoPalette{nullptr};
};
TKvDIBUnitState& KvDIBUnitState();

void KvDIBUnitInitialization();
void KvDIBUnitFinalization();
// True between initialisation and finalisation.
bool KvDIBUnitInitialized();

}  // namespace kv
