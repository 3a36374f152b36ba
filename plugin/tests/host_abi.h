// The host editor's side of the module boundary, shared by the test hosts: the calling
// convention of the exports, the Quantize and progress signatures, and the quantize record
// laid out byte by byte at the host's offsets (deliberately not the module's own header).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(_WIN32) && defined(__i386__)
#define HOST_STDCALL __stdcall
#else
#define HOST_STDCALL
#endif

namespace kvtest {

using TQuantizeFn = int32_t(HOST_STDCALL*)(uint32_t Index, const void* Rec);
using TProgressFn = uint32_t(HOST_STDCALL*)(uint32_t Percent, uint32_t Total);

// The quantize record: four pointers, then width and height as 16-bit values, packed. On
// the 32-bit host this is progress @0, source rows @4, destination rows @8, palette @12,
// width @16, height @18, 20 bytes in all.
constexpr size_t kPtr = sizeof(void*);
constexpr size_t kOffProgress = 0;
constexpr size_t kOffSrcRows = kPtr;
constexpr size_t kOffDstRows = 2 * kPtr;
constexpr size_t kOffPalette = 3 * kPtr;
constexpr size_t kOffWidth = 4 * kPtr;
constexpr size_t kOffHeight = 4 * kPtr + 2;
constexpr size_t kQuantizeRecSize = 4 * kPtr + 4;
#if defined(_WIN32) && defined(__i386__)
static_assert(kOffWidth == 16 && kOffHeight == 18 && kQuantizeRecSize == 20);
#endif

inline std::vector<uint8_t> QuantizeRecord(TProgressFn Progress, const void* SrcRows, const void* DstRows,
                                           const void* Palette, uint16_t Width, uint16_t Height) {
  std::vector<uint8_t> Rec(kQuantizeRecSize);
  const void* Ptrs[4] = {reinterpret_cast<const void*>(Progress), SrcRows, DstRows, Palette};
  const size_t Offsets[4] = {kOffProgress, kOffSrcRows, kOffDstRows, kOffPalette};
  for (int I = 0; I < 4; ++I) std::memcpy(Rec.data() + Offsets[I], &Ptrs[I], kPtr);
  Rec[kOffWidth] = static_cast<uint8_t>(Width);
  Rec[kOffWidth + 1] = static_cast<uint8_t>(Width >> 8);
  Rec[kOffHeight] = static_cast<uint8_t>(Height);
  Rec[kOffHeight + 1] = static_cast<uint8_t>(Height >> 8);
  return Rec;
}

}  // namespace kvtest
