// Platform palettes of the image library: the palette of a descriptor's colour table, and
// the two palettes every TKvDIB shares for drawing through a halftone: the 215-colour
// halftone palette and the black-and-white one. The shared palettes are made on first
// use and deleted at the unit's finalisation (KvDIBRegister.h).
#pragma once

#include "image/KvDIBInfo.h"
#include "platform/graphics/Palette.h"

namespace kv {

// A new palette of the first biClrUsed entries of Info's colour table (empty when there
// are none), the caller's. Raises EOutOfResources "GetPaletteFromDIBInfos: Cannot Make
// Palette".
[[nodiscard]] TPaletteHandle GetPaletteFromDIBInfos(const TKvDIBInfo& Info);

// A new palette with the entries of Palette (nullptr: none), the caller's. Raises
// EOutOfResources with Message when no copy can be made of a palette that exists.
[[nodiscard]] TPaletteHandle CopyOfPalette(HPALETTE Palette, const char* Message);

// The shared palettes, made on first use (also when several threads ask at once: exactly
// one palette is kept). Raise EOutOfResources "TKvDIB.GetPalette: Cannot Make Palette(1)".
// The handles stay the library's.
HPALETTE SharedHalftonePalette();
HPALETTE SharedMonoPalette();
// True for a handle that is one of the shared palettes made so far.
bool IsSharedPalette(HPALETTE Palette);
// Deletes the shared palettes made so far; the next request makes them again.
void DeleteSharedPalettes();

}  // namespace kv
