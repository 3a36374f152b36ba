// The image library unit: registration with the picture registry at start-up, and the
// release of the unit-wide state at the end.
//
// The unit object below is made when the program starts. Its file is always linked with
// TKvDIB (GetPalette, in TKvDIB's virtual table, uses the unit's state), so the
// registrations are there before main runs, in every program that uses the library.
#include "image/interchange/KvDIBRegister.h"

#include <atomic>

#include "image/KvDIB.h"
#include "image/interchange/KvDIBPalette.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/graphics/Picture.h"

namespace kv {

namespace {

std::atomic<bool> g_Initialized{false};
// Constant-initialised: usable before any dynamic initialisation has run.
constinit TKvDIBUnitState g_State;

struct TKvDIBUnit {
  TKvDIBUnit() {
    // The palettes are deleted at exit, so the table they live in must be made first (and
    // so go later); the registry is made by the registrations themselves.
    GdiObjectsInUse();
    KvDIBUnitInitialization();
  }
  ~TKvDIBUnit() { KvDIBUnitFinalization(); }
};

const TKvDIBUnit g_Unit;

}  // namespace

TKvDIBUnitState& KvDIBUnitState() { return g_State; }

void KvDIBUnitInitialization() {
  if (g_Initialized.exchange(true)) return;
  // The shared palettes start as none: they are made on first use.
  TPicture::RegisterClipboardFormat(static_cast<uint16_t>(kCF_DIB), GraphicClass<TKvDIB>());
  TPicture::RegisterFileFormat("dib", "Device Independent Bitmap", GraphicClass<TKvDIB>());
}

void KvDIBUnitFinalization() {
  if (!g_Initialized.exchange(false)) return;
  DeleteSharedPalettes();
  TPicture::UnregisterGraphicClass(GraphicClass<TKvDIB>());
}

bool KvDIBUnitInitialized() { return g_Initialized.load(); }

}  // namespace kv
