// The host editor's plug-in interface: the records it exchanges with the module, the
// progress callback it supplies, the string-table IDs and texts, and the export
// declarations. The resource script includes this file too, so everything that is not
// plain preprocessor text sits behind RC_INVOKED.
#pragma once

// String table: the method names (IDs equal to the method indices) and the description.
#define KV_PLUG_STR_NORMAL_ID 1
#define KV_PLUG_STR_FINE_ID 2
#define KV_PLUG_STR_DESCRIPTION_ID 100
#define KV_PLUG_STR_NORMAL "KvDib's Method(Normal)"
#define KV_PLUG_STR_FINE "KvDib's Method(Fine)"
#define KV_PLUG_STR_DESCRIPTION \
  "Plug-in Filters for Vexa32v1.04 - colour reduction of true-colour images to 256 colours"

#ifndef RC_INVOKED

#include <cstdint>

// The host calls with the stdcall convention on 32-bit Windows; elsewhere there is only
// the platform's one C convention.
#if defined(_WIN32) && defined(__i386__)
#define KV_PLUGAPI __stdcall
#else
#define KV_PLUGAPI
#endif

// Windows exports come from vxakvdib.def; the native library exports through its version
// script, so visibility only has to keep these names public.
#ifdef _WIN32
#define KV_PLUGEXPORT
#else
#define KV_PLUGEXPORT __attribute__((visibility("default")))
#endif

// Progress: Percent 0..100 (a byte zero-extended), Total always 100. A non-zero low word in
// the answer asks the module to cancel.
using TKvHostProgress = uint32_t(KV_PLUGAPI*)(uint32_t Percent, uint32_t Total);

#pragma pack(push, 1)

// Filled by PlugInfo.
struct TKvPlugInfoRec {
  uint16_t PlugKind;       // 1
  uint16_t FilterCount;    // 2 methods, indices 1..2
  uint16_t DescriptionId;  // string-table ID of the description (100)
};

// Filled by FilterInfo for a valid method index.
struct TKvFilterInfoRec {
  uint16_t FilterFlags;  // 15
  uint16_t OutputBits;   // 8: one palette index per pixel
  uint16_t NameId;       // the method index, also the string-table ID of its name
};

// Passed to Quantize. Row y of SrcRows and DstRows is image row y counted from the top;
// exactly Width * 3 and Width bytes of each row are read and written.
struct TKvQuantizeRec {
  TKvHostProgress Progress;
  const uint8_t* const* SrcRows;  // Height rows of blue, green, red pixels
  uint8_t* const* DstRows;        // Height rows receiving one palette index per pixel
  uint8_t* Palette;               // 256 entries of 4 bytes: blue, green, red, (untouched)
  uint16_t Width;
  uint16_t Height;
};

#pragma pack(pop)

static_assert(sizeof(TKvPlugInfoRec) == 6);
static_assert(sizeof(TKvFilterInfoRec) == 6);
static_assert(sizeof(TKvQuantizeRec) == 4 * sizeof(void*) + 4);
#if defined(_WIN32) && defined(__i386__)
static_assert(sizeof(TKvQuantizeRec) == 20, "the 32-bit host's record is 20 bytes");
#endif

// Quantize results.
constexpr int32_t kQuantizeBadIndex = -1;
constexpr int32_t kQuantizeDone = 0;
constexpr int32_t kQuantizeFailed = 1;

extern "C" {

// Fills the record with the module's kind, method count and description ID; returns Info.
KV_PLUGEXPORT TKvPlugInfoRec* KV_PLUGAPI PlugInfo(TKvPlugInfoRec* Info) noexcept;
// For method index 1 or 2 (low 16 bits) fills the record; returns Info.
KV_PLUGEXPORT TKvFilterInfoRec* KV_PLUGAPI FilterInfo(uint32_t Index, TKvFilterInfoRec* Info) noexcept;
// The host's other operations: always refused with -1.
KV_PLUGEXPORT int32_t KV_PLUGAPI SetParam(uintptr_t, uintptr_t, uintptr_t) noexcept;
KV_PLUGEXPORT int32_t KV_PLUGAPI Filter(uintptr_t, uintptr_t) noexcept;
KV_PLUGEXPORT int32_t KV_PLUGAPI Resize(uintptr_t, uintptr_t) noexcept;
KV_PLUGEXPORT int32_t KV_PLUGAPI Combine(uintptr_t, uintptr_t) noexcept;
// Reduces the record's image to 8 bits: -1 bad index, 0 done, 1 failed or cancelled (the
// host's buffers are then untouched).
KV_PLUGEXPORT int32_t KV_PLUGAPI Quantize(uint32_t Index, const TKvQuantizeRec* Rec) noexcept;

#ifndef _WIN32
// Native builds have no string resources: copies string Id into Buffer (at most Size - 1
// characters and a terminating zero) and returns the number of characters copied, 0 for an
// unknown Id, like the Windows string loader.
KV_PLUGEXPORT int32_t PlugLoadString(uint32_t Id, char* Buffer, int32_t Size) noexcept;
#endif
}

#endif  // RC_INVOKED
