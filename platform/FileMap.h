// Pixel memory. Every pixel block comes from an anonymous memory mapping: on Windows a
// page-file-backed file-mapping object, on Linux a memfd whose descriptor is the handle,
// so that a second view of the same pixels can be mapped later. Blocks are zero-filled.
#pragma once

#include <cstdint>

namespace kv {

#ifdef _WIN32
using TMapHandle = void*;
constexpr TMapHandle kNoMapHandle = nullptr;
#else
using TMapHandle = int;  // memfd descriptor
constexpr TMapHandle kNoMapHandle = -1;
#endif

// Obtains a zero-filled, readable and writable block of Size bytes. Raises EOutOfResources
// "GetFileMap: Cannot Make File Mapping Object" (also for Size <= 0) or
// "GetFileMap: Cannot Make View of File Map".
void GetFileMap(int32_t Size, TMapHandle& Handle, uint8_t*& Bits);

// Unmaps the view, then closes the handle; each step is checked with AssertDIB.
void ReleaseFileMap(TMapHandle Handle, uint8_t* Bits);

// Owns one pixel block until it is handed over with Detach(). Releases it on every
// other exit path.
class TFileMapBlock {
 public:
  explicit TFileMapBlock(int32_t Size) : m_Size(Size) { GetFileMap(Size, m_Handle, m_Bits); }
  ~TFileMapBlock() {
    if (m_Bits) {
      try {
        ReleaseFileMap(m_Handle, m_Bits);
      } catch (...) {
        // Releasing a block we mapped ourselves cannot fail short of a broken process.
      }
    }
  }
  TFileMapBlock(const TFileMapBlock&) = delete;
  TFileMapBlock& operator=(const TFileMapBlock&) = delete;

  uint8_t* Bits() const { return m_Bits; }
  TMapHandle Handle() const { return m_Handle; }
  int32_t Size() const { return m_Size; }
  // Gives up ownership; the caller now releases the block.
  void Detach() {
    m_Bits = nullptr;
    m_Handle = kNoMapHandle;
  }

 private:
  int32_t m_Size;
  TMapHandle m_Handle = kNoMapHandle;
  uint8_t* m_Bits = nullptr;
};

}  // namespace kv
