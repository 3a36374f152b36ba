// Pixel memory. Every pixel block is a zero-filled block of its own with a releasable
// handle that identifies it: on Windows a page-file-backed file-mapping object and its
// view; elsewhere anonymous private memory, committed page by page as it is first written,
// with transparent huge pages asked for on large blocks. The handle leads back to the block
// (FileMapView), so a drawing surface can be laid over the very bytes of an image.
#pragma once

#include <cstdint>
#include <utility>

namespace kv {

#ifdef _WIN32
using TMapHandle = void*;  // file-mapping object
#else
struct TPixelMemory;  // one anonymous mapping: its address and length
using TMapHandle = TPixelMemory*;
#endif
constexpr TMapHandle kNoMapHandle = nullptr;

// Obtains a zero-filled, readable and writable block of Size bytes. Raises EOutOfResources
// "GetFileMap: Cannot Make File Mapping Object" (also for Size <= 0) or
// "GetFileMap: Cannot Make View of File Map".
void GetFileMap(int32_t Size, TMapHandle& Handle, uint8_t*& Bits);

// Unmaps the view, then closes the handle; each step is checked with AssertDIB.
void ReleaseFileMap(TMapHandle Handle, uint8_t* Bits);

// The block behind a handle from GetFileMap: its first byte and its size in bytes (the
// size asked for). False for a handle that is not a live block, and on Windows, where a
// view of its own is mapped from the file-mapping object instead.
bool FileMapView(TMapHandle Handle, uint8_t*& Bits, int64_t& Size);

// Pixel blocks obtained and not yet released, in this process (a leak shows here).
int64_t PixelBlocksInUse();

// A second view of a block, as a drawing surface laid over an image's pixel memory maps
// one: the same bytes (on Windows at an address of its own), readable and writable. Like a
// view of a file-mapping object, it keeps the memory valid until it is closed, also when
// the block's owner calls ReleaseFileMap first; no new view can be opened after that.
struct TFileMapView {
  uint8_t* Bits = nullptr;  // first byte of the block as seen through this view
  int64_t Size = 0;         // bytes that may be used (on Windows: rounded up to pages)
  void* Token = nullptr;    // what CloseFileMapView releases
};

// Opens a view of the live block behind Handle; false (View untouched) for a handle that
// is not a live block or when the platform cannot map another view.
bool OpenFileMapView(TMapHandle Handle, TFileMapView& View);
// Closes a view from OpenFileMapView and clears it; does nothing for an empty view.
void CloseFileMapView(TFileMapView& View) noexcept;

// Owns one pixel block until it is handed over with Detach(). Releases it on every other
// exit path. Move-only: ownership passes, it is never shared.
class TFileMapBlock {
 public:
  TFileMapBlock() = default;
  explicit TFileMapBlock(int32_t Size) : m_Size(Size) { GetFileMap(Size, m_Handle, m_Bits); }
  // Takes over a block obtained elsewhere.
  static TFileMapBlock Adopt(int32_t Size, TMapHandle Handle, uint8_t* Bits) {
    TFileMapBlock B;
    B.m_Size = Size;
    B.m_Handle = Handle;
    B.m_Bits = Bits;
    return B;
  }
  ~TFileMapBlock() { Reset(); }
  TFileMapBlock(TFileMapBlock&& Other) noexcept
      : m_Size(std::exchange(Other.m_Size, 0)),
        m_Handle(std::exchange(Other.m_Handle, kNoMapHandle)),
        m_Bits(std::exchange(Other.m_Bits, nullptr)) {}
  TFileMapBlock& operator=(TFileMapBlock&& Other) noexcept {
    if (this != &Other) {
      Reset();
      m_Size = std::exchange(Other.m_Size, 0);
      m_Handle = std::exchange(Other.m_Handle, kNoMapHandle);
      m_Bits = std::exchange(Other.m_Bits, nullptr);
    }
    return *this;
  }
  TFileMapBlock(const TFileMapBlock&) = delete;
  TFileMapBlock& operator=(const TFileMapBlock&) = delete;

  uint8_t* Bits() const { return m_Bits; }
  TMapHandle Handle() const { return m_Handle; }
  int32_t Size() const { return m_Size; }
  explicit operator bool() const { return m_Bits != nullptr; }
  // Gives up ownership; the caller now releases the block.
  void Detach() {
    m_Size = 0;
    m_Bits = nullptr;
    m_Handle = kNoMapHandle;
  }
  // Releases the block now (if any), raising what ReleaseFileMap raises; the owner is empty
  // afterwards either way.
  void Release();
  // The same, for paths that cannot report a failure (destructors, unwinding).
  void Reset() noexcept;

 private:
  int32_t m_Size = 0;
  TMapHandle m_Handle = kNoMapHandle;
  uint8_t* m_Bits = nullptr;
};

}  // namespace kv
