#include "platform/framework/GraphicClass.h"

#include <vector>

#include "platform/core/SpinLock.h"
#include "platform/framework/Graphic.h"

namespace kv {

namespace {

struct TKnown {
  TSpinLock Mutex;
  std::vector<TGraphicClass> Classes;
};

TKnown& known() {
  static TKnown Known;
  return Known;
}

}  // namespace

void graphic_class_detail::Remember(TGraphicClass Class) {
  TKnown& K = known();
  TSpinGuard Lock(K.Mutex);
  K.Classes.push_back(Class);
}

TGraphicClass GraphicClassOf(const TGraphic& Graphic) {
  TKnown& K = known();
  TSpinGuard Lock(K.Mutex);
  for (TGraphicClass C : K.Classes)
    if (C->Type == typeid(Graphic)) return C;
  return nullptr;
}

}  // namespace kv
