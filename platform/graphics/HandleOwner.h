// Owning a handle of the graphics layer: THandleOwner<H, Free> holds one handle and calls
// Free on it when it is destroyed or reset, unless the handle is released first. Move-only.
// The owners of drawing objects, memory contexts and global memory blocks are of this kind.
#pragma once

#include <cstddef>
#include <utility>

namespace kv {

template <class H, auto Free>
class THandleOwner {
 public:
  THandleOwner() = default;
  explicit THandleOwner(H Handle) : m_Handle(Handle) {}
  ~THandleOwner() { reset(); }
  THandleOwner(THandleOwner&& Other) noexcept : m_Handle(Other.release()) {}
  THandleOwner& operator=(THandleOwner&& Other) noexcept {
    if (this != &Other) reset(Other.release());
    return *this;
  }
  THandleOwner(const THandleOwner&) = delete;
  THandleOwner& operator=(const THandleOwner&) = delete;

  H get() const { return m_Handle; }
  // Gives up ownership without freeing.
  H release() { return std::exchange(m_Handle, nullptr); }
  // Frees the handle held (if any) and takes Handle.
  void reset(H Handle = nullptr) {
    const H Old = std::exchange(m_Handle, Handle);
    if (Old != nullptr && Old != Handle) Free(Old);
  }
  bool IsEmpty() const { return m_Handle == nullptr; }
  explicit operator bool() const { return m_Handle != nullptr; }
  friend bool operator==(const THandleOwner& A, std::nullptr_t) { return A.m_Handle == nullptr; }

 private:
  H m_Handle = nullptr;
};

}  // namespace kv
