#include "platform/memory/FileMap.h"

#include <atomic>
#include <memory>
#include <new>

#include "platform/core/Exceptions.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace kv {

namespace {
// Conversions may run on several threads at once (one image each), so the count is atomic.
std::atomic<int64_t> g_BlocksInUse{0};
}  // namespace

int64_t PixelBlocksInUse() { return g_BlocksInUse.load(std::memory_order_relaxed); }

void TFileMapBlock::Release() {
  const TMapHandle Handle = m_Handle;
  uint8_t* const Bits = m_Bits;
  Detach();
  if (Bits) ReleaseFileMap(Handle, Bits);
}

void TFileMapBlock::Reset() noexcept {
  if (m_Bits) {
    try {
      ReleaseFileMap(m_Handle, m_Bits);
    } catch (...) {
      // Releasing a block we obtained ourselves cannot fail short of a broken process.
    }
  }
  Detach();
}

#ifdef _WIN32

void GetFileMap(int32_t Size, TMapHandle& Handle, uint8_t*& Bits) {
  // A size of 0 makes CreateFileMappingA fail for a page-file mapping; a negative one
  // would be taken as a huge unsigned size, so refuse it the same way.
  Handle = Size > 0 ? ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           static_cast<DWORD>(Size), nullptr)
                    : nullptr;
  if (Handle == nullptr) throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  Bits = static_cast<uint8_t*>(::MapViewOfFile(Handle, FILE_MAP_WRITE, 0, 0, 0));
  if (Bits == nullptr) {
    ::CloseHandle(Handle);
    Handle = nullptr;
    throw EOutOfResources("GetFileMap: Cannot Make View of File Map");
  }
  g_BlocksInUse.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseFileMap(TMapHandle Handle, uint8_t* Bits) {
  AssertDIB(::UnmapViewOfFile(Bits) != 0, "ReleaseFileMap: Failed To Unmap View of File map");
  AssertDIB(::CloseHandle(Handle) != 0, "ReleaseFileMap: Failed To Close File Map");
  g_BlocksInUse.fetch_sub(1, std::memory_order_relaxed);
}

bool FileMapView(TMapHandle, uint8_t*&, int64_t&) {
  // A file-mapping object does not tell where its views are; a DIB section over it maps a
  // view of its own (the same memory).
  return false;
}

bool OpenFileMapView(TMapHandle Handle, TFileMapView& View) {
  if (Handle == nullptr) return false;
  void* Bits = ::MapViewOfFile(Handle, FILE_MAP_WRITE, 0, 0, 0);
  if (Bits == nullptr) return false;
  MEMORY_BASIC_INFORMATION Region{};
  if (::VirtualQuery(Bits, &Region, sizeof(Region)) == 0) {
    ::UnmapViewOfFile(Bits);
    return false;
  }
  View.Bits = static_cast<uint8_t*>(Bits);
  View.Size = static_cast<int64_t>(Region.RegionSize);
  View.Token = Bits;
  return true;
}

void CloseFileMapView(TFileMapView& View) noexcept {
  if (View.Token != nullptr) ::UnmapViewOfFile(View.Token);
  View = TFileMapView{};
}

#else

struct TPixelMemory {
  uint8_t* Bits = nullptr;       // first byte of the block
  int64_t Size = 0;              // bytes asked for
  void* MapBase = nullptr;       // the whole mapping, which may start before Bits ...
  size_t MapLength = 0;          // ... and end after the block, for huge-page alignment
  uint32_t Magic = 0;            // kLiveMagic until the owner releases the block
  std::atomic<int32_t> Refs{1};  // the owner's reference and one per open view
};

namespace {

constexpr uint32_t kLiveMagic = 0x4B76504Du;  // "KvPM"
constexpr size_t kHugePage = size_t{2} << 20;

// Blocks of 2 MiB and more are placed on a huge-page boundary and marked for transparent
// huge pages: a fresh block is then committed 2 MiB at a time as it is first written,
// instead of one zero page fault every 4 KiB.
void* map_block(size_t Length, void*& MapBase, size_t& MapLength) {
  if (Length < kHugePage) {
    MapLength = Length;
    MapBase = ::mmap(nullptr, Length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return MapBase == MAP_FAILED ? nullptr : MapBase;
  }
  const size_t Rounded = (Length + kHugePage - 1) & ~(kHugePage - 1);
  const size_t Padded = Rounded + kHugePage;
  void* Raw = ::mmap(nullptr, Padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Raw == MAP_FAILED) return nullptr;
  const uintptr_t Start = reinterpret_cast<uintptr_t>(Raw);
  const uintptr_t Aligned = (Start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  // Give back the unaligned head and the tail beyond the rounded block.
  if (Aligned > Start) ::munmap(Raw, Aligned - Start);
  const uintptr_t End = Start + Padded;
  if (End > Aligned + Rounded)
    ::munmap(reinterpret_cast<void*>(Aligned + Rounded), End - (Aligned + Rounded));
  MapBase = reinterpret_cast<void*>(Aligned);
  MapLength = Rounded;
  ::madvise(MapBase, MapLength, MADV_HUGEPAGE);  // advice only: a kernel without THP ignores it
  return MapBase;
}

// Drops one reference; the last one unmaps the memory and frees the record. False when
// the unmap failed.
bool drop_reference(TPixelMemory* Memory) noexcept {
  if (Memory->Refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return true;
  const bool Unmapped = ::munmap(Memory->MapBase, Memory->MapLength) == 0;
  std::unique_ptr<TPixelMemory> Closed(Memory);  // closing the handle frees its record
  return Unmapped;
}

}  // namespace

void GetFileMap(int32_t Size, TMapHandle& Handle, uint8_t*& Bits) {
  Handle = nullptr;
  Bits = nullptr;
  if (Size <= 0) throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  std::unique_ptr<TPixelMemory> Memory(new (std::nothrow) TPixelMemory{});
  if (!Memory) throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  void* MapBase = nullptr;
  size_t MapLength = 0;
  void* View = map_block(static_cast<size_t>(Size), MapBase, MapLength);
  if (View == nullptr) throw EOutOfResources("GetFileMap: Cannot Make View of File Map");
  Memory->Bits = static_cast<uint8_t*>(View);
  Memory->Size = Size;
  Memory->MapBase = MapBase;
  Memory->MapLength = MapLength;
  Memory->Magic = kLiveMagic;
  // Fresh anonymous memory reads as zeros.
  Bits = Memory->Bits;
  Handle = Memory.release();  // owned by the caller until ReleaseFileMap
  g_BlocksInUse.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseFileMap(TMapHandle Handle, uint8_t* Bits) {
  const bool Live = Handle != nullptr && Handle->Magic == kLiveMagic && Handle->Bits == Bits;
  AssertDIB(Live, "ReleaseFileMap: Failed To Unmap View of File map");
  Handle->Magic = 0;
  g_BlocksInUse.fetch_sub(1, std::memory_order_relaxed);
  // An open view keeps the memory until it is closed, as a view of a mapping object does.
  AssertDIB(drop_reference(Handle), "ReleaseFileMap: Failed To Unmap View of File map");
}

bool FileMapView(TMapHandle Handle, uint8_t*& Bits, int64_t& Size) {
  if (Handle == nullptr || Handle->Magic != kLiveMagic) return false;
  Bits = Handle->Bits;
  Size = Handle->Size;
  return true;
}

bool OpenFileMapView(TMapHandle Handle, TFileMapView& View) {
  if (Handle == nullptr || Handle->Magic != kLiveMagic) return false;
  Handle->Refs.fetch_add(1, std::memory_order_relaxed);
  View.Bits = Handle->Bits;
  View.Size = Handle->Size;
  View.Token = Handle;
  return true;
}

void CloseFileMapView(TFileMapView& View) noexcept {
  if (View.Token != nullptr) drop_reference(static_cast<TPixelMemory*>(View.Token));
  View = TFileMapView{};
}

#endif

}  // namespace kv
