#include "platform/framework/GraphicClass.h"

#include <mutex>
#include <vector>

#include "platform/framework/Graphic.h"

namespace kv {

namespace {

struct TKnown {
  std::mutex Mutex;
  std::vector<TGraphicClass> Classes;
};

TKnown& known() {
  static TKnown Known;
  return Known;
}

}  // namespace

void graphic_class_detail::Remember(TGraphicClass Class) {
  TKnown& K = known();
  std::lock_guard<std::mutex> Lock(K.Mutex);
  K.Classes.push_back(Class);
}

TGraphicClass GraphicClassOf(const TGraphic& Graphic) {
  TKnown& K = known();
  std::lock_guard<std::mutex> Lock(K.Mutex);
  for (TGraphicClass C : K.Classes)
    if (C->Type == typeid(Graphic)) return C;
  return nullptr;
}

}  // namespace kv
