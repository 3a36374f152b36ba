// The root of the runtime classes that can take each other's content: Assign copies from a
// source, and a source that knows the destination's class can assign itself to it
// (AssignTo). Unsupported pairs raise the runtime's conversion error.
#pragma once

#include <string>

namespace kv {

class TPersistent {
 public:
  TPersistent() = default;
  virtual ~TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  // Copies Source into this object. The base asks Source to assign itself to this object;
  // with Source nullptr it raises EConvertError "Cannot assign a nil to a <class>".
  virtual void Assign(const TPersistent* Source);
  // Copies this object into Dest. The base raises EConvertError
  // "Cannot assign a <this class> to a <Dest's class>".
  virtual void AssignTo(TPersistent* Dest) const;

  // The name of the object's class without its namespace, as declared: "TBitmap".
  std::string ClassName() const;

 protected:
  // Raises EConvertError for an assignment of Source (nullptr: "nil") to this object.
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

}  // namespace kv
