#include "platform/framework/Persistent.h"

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/core/Exceptions.h"

#if defined(__GNUG__)
#include <cxxabi.h>
#endif

namespace kv {

namespace {

std::string class_name(const std::type_info& Type) {
  std::string Name = Type.name();
#if defined(__GNUG__)
  int Status = 0;
  const std::unique_ptr<char, void (*)(void*)> Plain(
      abi::__cxa_demangle(Type.name(), nullptr, nullptr, &Status), std::free);
  if (Status == 0 && Plain) Name = Plain.get();
#endif
  for (const char* Prefix : {"class ", "struct "})  // other compilers' spelling
    if (Name.rfind(Prefix, 0) == 0) Name.erase(0, std::string(Prefix).size());
  // Drop the namespaces, but not a template argument's.
  const size_t Args = Name.find('<');
  const size_t Scope = Name.rfind("::", Args == std::string::npos ? std::string::npos : Args);
  if (Scope != std::string::npos) Name.erase(0, Scope + 2);
  return Name;
}

}  // namespace

void TPersistent::Assign(const TPersistent* Source) {
  if (Source == nullptr) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  if (Dest == nullptr) throw EConvertError("Cannot assign a " + ClassName() + " to a nil");
  Dest->AssignError(this);
}

std::string TPersistent::ClassName() const { return class_name(typeid(*this)); }

void TPersistent::AssignError(const TPersistent* Source) const {
  throw EConvertError("Cannot assign a " + (Source ? Source->ClassName() : std::string("nil")) + " to a " +
                      ClassName());
}

}  // namespace kv
