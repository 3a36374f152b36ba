// Graphic classes as values: what the picture registry maps file extensions and clipboard
// formats to, and what makes a new graphic of a class that is only known at run time (the
// runtime's virtual constructor).
#pragma once

#include <memory>
#include <typeinfo>

namespace kv {

class TGraphic;

struct TGraphicClassInfo {
  const std::type_info& Type;
  std::unique_ptr<TGraphic> (*Create)();  // a new, empty graphic of the class
};
using TGraphicClass = const TGraphicClassInfo*;

namespace graphic_class_detail {
void Remember(TGraphicClass Class);
}

// The class value of T (a TGraphic with a default constructor); always the same pointer.
template <class T>
TGraphicClass GraphicClass() {
  static const TGraphicClassInfo Info{typeid(T),
                                      []() -> std::unique_ptr<TGraphic> { return std::make_unique<T>(); }};
  static const bool Remembered = (graphic_class_detail::Remember(&Info), true);
  (void)Remembered;
  return &Info;
}

// The class value of a graphic's class; nullptr when GraphicClass<> was never asked for it.
TGraphicClass GraphicClassOf(const TGraphic& Graphic);

}  // namespace kv
