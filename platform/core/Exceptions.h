// The exception hierarchy: the runtime's base and resource classes, and the image
// library's own classes. Every class carries only its message text.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace kv {

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : m_Message(std::move(Message)) {}
  const char* what() const noexcept override { return m_Message.c_str(); }
  const std::string& Message() const noexcept { return m_Message; }

 private:
  std::string m_Message;
};

#define KV_DECLARE_EXCEPTION(Name) \
  class Name : public Exception {  \
   public:                         \
    using Exception::Exception;    \
  }

// Runtime classes.
KV_DECLARE_EXCEPTION(EOutOfResources);
KV_DECLARE_EXCEPTION(EOutOfMemory);
KV_DECLARE_EXCEPTION(EInvalidGraphic);
KV_DECLARE_EXCEPTION(EStreamError);         // short reads and failed writes of TStream
KV_DECLARE_EXCEPTION(EConvertError);        // an assignment between classes that cannot take each other
KV_DECLARE_EXCEPTION(EInvalidOperation);    // drawing on a canvas without a device context
KV_DECLARE_EXCEPTION(EClipboardException);  // the clipboard is held open by another user

// The image library's classes.
KV_DECLARE_EXCEPTION(EKvDIBInvalidDIB);
KV_DECLARE_EXCEPTION(EKvDIBInvalidDIBFile);
KV_DECLARE_EXCEPTION(EKvDIBInvalidDIBPara);
KV_DECLARE_EXCEPTION(EKvDIBBadDIBType);
KV_DECLARE_EXCEPTION(EKvDIBPaletteIndexRange);
KV_DECLARE_EXCEPTION(EKvDIBPixelPositionRange);
KV_DECLARE_EXCEPTION(EKvDIBInvalidPalette);
KV_DECLARE_EXCEPTION(EKvDIBCompressionFailed);
KV_DECLARE_EXCEPTION(EKvDIBAssert);

#undef KV_DECLARE_EXCEPTION

// Internal consistency check: raises EKvDIBAssert with Message when Condition is false.
inline void AssertDIB(bool Condition, const char* Message) {
  if (!Condition) throw EKvDIBAssert(Message);
}

}  // namespace kv
