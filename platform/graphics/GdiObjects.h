// Drawing objects in general: deleting them, asking what they are, the stock objects, the
// process's object count and quota, and an owner that deletes an object on every exit path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/graphics/GdiTypes.h"

namespace kv {

// Deletes a bitmap, palette, pen or brush. False for a handle that names none, and for an
// object still selected into a device context. Stock objects stay; deleting one is harmless.
bool DeleteObject(HGDIOBJ Object);

// Fills Buffer with the object's description and returns the bytes written: a bitmap
// gives a BITMAP, a palette its entry count (2 bytes). With Buffer nullptr, returns the
// size that would be written. 0 for an invalid handle or a buffer too small.
int32_t GetObjectA(HGDIOBJ Object, int32_t Size, void* Buffer);

// kObjBitmap, kObjPal, kObjPen, kObjBrush, kObjDC (a screen context), kObjMemDC; 0 for
// an invalid handle. Takes any handle, device contexts too.
uint32_t GetObjectType(const void* Object);

// kWhiteBrush, kBlackBrush, kNullBrush, kWhitePen, kBlackPen, kNullPen, kDefaultPalette;
// nullptr for other indices.
HGDIOBJ GetStockObject(int32_t Index);

// Objects made and not yet deleted (device contexts included, stock objects not): a leak
// shows here.
int64_t GdiObjectsInUse();
// The most objects that may live at once (the platform's default: 10000); returns the
// previous limit. Tests lower it to make creation fail.
int64_t SetGdiObjectLimit(int64_t Limit);

// Owns one drawing object (a bitmap, palette, pen or brush handle) and deletes it when
// destroyed or reset. Move-only.
template <class H>
class TGdiObjectOwner {
 public:
  TGdiObjectOwner() = default;
  explicit TGdiObjectOwner(H Handle) : m_Handle(Handle) {}
  ~TGdiObjectOwner() { reset(); }
  TGdiObjectOwner(TGdiObjectOwner&& Other) noexcept : m_Handle(Other.release()) {}
  TGdiObjectOwner& operator=(TGdiObjectOwner&& Other) noexcept {
    if (this != &Other) reset(Other.release());
    return *this;
  }
  TGdiObjectOwner(const TGdiObjectOwner&) = delete;
  TGdiObjectOwner& operator=(const TGdiObjectOwner&) = delete;

  H get() const { return m_Handle; }
  // Gives up ownership without deleting.
  H release() { return std::exchange(m_Handle, nullptr); }
  // Deletes the object held (if any) and takes Handle.
  void reset(H Handle = nullptr) {
    const H Old = std::exchange(m_Handle, Handle);
    if (Old != nullptr && Old != Handle) DeleteObject(Old);
  }
  bool IsEmpty() const { return m_Handle == nullptr; }
  explicit operator bool() const { return m_Handle != nullptr; }
  friend bool operator==(const TGdiObjectOwner& A, std::nullptr_t) { return A.m_Handle == nullptr; }

 private:
  H m_Handle = nullptr;
};

}  // namespace kv
