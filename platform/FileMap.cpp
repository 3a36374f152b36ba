#include "platform/FileMap.h"

#include "platform/Exceptions.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kv {

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
}

void ReleaseFileMap(TMapHandle Handle, uint8_t* Bits) {
  AssertDIB(::UnmapViewOfFile(Bits) != 0, "ReleaseFileMap: Failed To Unmap View of File map");
  AssertDIB(::CloseHandle(Handle) != 0, "ReleaseFileMap: Failed To Close File Map");
}

#else

void GetFileMap(int32_t Size, TMapHandle& Handle, uint8_t*& Bits) {
  Handle = Size > 0 ? ::memfd_create("kvdib", MFD_CLOEXEC) : -1;
  if (Handle >= 0 && ::ftruncate(Handle, Size) != 0) {
    ::close(Handle);
    Handle = -1;
  }
  if (Handle < 0) throw EOutOfResources("GetFileMap: Cannot Make File Mapping Object");
  void* View = ::mmap(nullptr, static_cast<size_t>(Size), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, Handle, 0);
  if (View == MAP_FAILED) {
    ::close(Handle);
    Handle = -1;
    throw EOutOfResources("GetFileMap: Cannot Make View of File Map");
  }
  Bits = static_cast<uint8_t*>(View);  // a fresh memfd reads as zeros
}

void ReleaseFileMap(TMapHandle Handle, uint8_t* Bits) {
  // The view's length is the file's size: the block is always mapped whole.
  off_t Length = ::lseek(Handle, 0, SEEK_END);
  AssertDIB(Length > 0 && ::munmap(Bits, static_cast<size_t>(Length)) == 0,
            "ReleaseFileMap: Failed To Unmap View of File map");
  AssertDIB(::close(Handle) == 0, "ReleaseFileMap: Failed To Close File Map");
}

#endif

}  // namespace kv
