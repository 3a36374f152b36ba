// TKvInternalDIB: reference-counted storage of one DIB. Several TKvDIB graphics share one
// storage object until one of them writes (copy-on-write, see KvDIB.h). The storage owns
// its pixel block and its cached platform palette; it is only changed in place while
// RefCount is 1.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "image/KvDIBInfo.h"
#include "image/KvGeometry.h"
#include "platform/graphics/Palette.h"

namespace kv {

class TStream;

class TKvInternalDIB {
 public:
  // A 1 x 1, 8-bit image with 2 (black) colour entries and a zero pixel.
  TKvInternalDIB();
  ~TKvInternalDIB();
  TKvInternalDIB(const TKvInternalDIB&) = delete;
  TKvInternalDIB& operator=(const TKvInternalDIB&) = delete;

  // Replaces the storage (whose previous block must already be released) by a fresh,
  // zero-filled image. Raises EKvDIBInvalidDIBPara for invalid parameters and for a
  // geometry whose size does not fit a signed 32-bit BitsSize.
  void CreateDIB(int32_t Width, int32_t Height, int32_t BitCount, int32_t ColorCount);
  // Releases the pixel block and the palette; idempotent.
  void FreeStorage();
  // Replaces the descriptor and pixel block by New, which is complete: the width and height
  // follow its header, then UpdatePalette. The old block is released after New is in
  // place, so if that release fails the new image stays installed and the error passes on.
  void InstallInfo(TKvOwnedInfo New);
  // Drops the cached palette and marks the colour table changed. Requires RefCount 1.
  void UpdatePalette();
  TKvPixelFormat GetPixelFormat() const;

  // BMP streams (image/interchange/KvDIBStream.cpp). LoadFromStream replaces the image only
  // when the whole read succeeded; SaveToStream writes the 40-byte header form.
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void WriteToFile(const std::string& FileName) const;

  // Packed DIBs, the clipboard's CF_DIB (image/interchange/KvDIBClipboard.cpp). The loads
  // replace the image only when the whole parse succeeded; the block is only read.
  // LoadFromClipboardFormat refuses a block that cannot be locked like a malformed one.
  void LoadFromPackedDIB(std::span<const uint8_t> Block);
  void LoadFromClipboardFormat(HGLOBAL Block);
  // A new movable, zero-filled global block holding the image; the caller's. Raises
  // EOutOfMemory "TKvInternalDIB.SaveToClipboardFormat: Out Of Memory".
  [[nodiscard]] HGLOBAL SaveToClipboardFormat() const;

  // Graphics sharing this storage. Atomic so that graphics on different threads may share
  // one storage object (each graphic itself stays on one thread at a time).
  std::atomic<int32_t> RefCount{1};
  int32_t Width = 0;
  int32_t Height = 0;  // absolute value of biHeight
  TPaletteHandle PaletteHandle;
  TKvDIBInfo Info;
  uint8_t PaletteChanged = 0;
};

// One counted reference to a storage object. This is the only code that changes RefCount
// and destroys storage; RefCount itself stays the storage's field, which the sharing rules
// read. Move-only: taking another reference is an explicit Share.
class TKvStorageRef {
 public:
  TKvStorageRef() = default;
  // A new default storage object (1 x 1, 8 bits, 2 colours), referenced once.
  [[nodiscard]] static TKvStorageRef New();
  // One more reference to Storage.
  [[nodiscard]] static TKvStorageRef Share(TKvInternalDIB& Storage);
  ~TKvStorageRef() { Reset(); }
  TKvStorageRef(TKvStorageRef&& Other) noexcept : m_Storage(std::exchange(Other.m_Storage, nullptr)) {}
  TKvStorageRef& operator=(TKvStorageRef&& Other) noexcept {
    if (this != &Other) {
      Reset();
      m_Storage = std::exchange(Other.m_Storage, nullptr);
    }
    return *this;
  }
  TKvStorageRef(const TKvStorageRef&) = delete;
  TKvStorageRef& operator=(const TKvStorageRef&) = delete;

  TKvInternalDIB* get() const { return m_Storage; }
  TKvInternalDIB* operator->() const { return m_Storage; }
  TKvInternalDIB& operator*() const { return *m_Storage; }
  explicit operator bool() const { return m_Storage != nullptr; }
  // Gives up this reference; the storage is destroyed with its last one.
  void Reset() noexcept;

 private:
  explicit TKvStorageRef(TKvInternalDIB* Storage) : m_Storage(Storage) {}
  TKvInternalDIB* m_Storage = nullptr;
};

// The pixel format of a descriptor; raises EKvDIBInvalidDIB for other bit count /
// compression pairs.
TKvPixelFormat GetPixelFormat(const TKvDIBInfo& Info);

}  // namespace kv
