// The plug-in module's exported entry points: what the module offers (two reduction methods),
// the refused operations, and Quantize, which hands the host's rows to a TKvDIB, converts it
// to 8 bits and copies palette and rows back. The progress bridge forwards the graphic's
// progress notifications to the host's callback and turns a cancel answer into an exception.
//
// Nothing may unwind into the host: every export is noexcept and catches everything.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frontend/KvProgressAdapter.h"
#include "image/KvDIB.h"
#include "plugin/PlugIf.h"

namespace {

constexpr uint16_t kPlugKind = 1;
constexpr uint16_t kMethodCount = 2;
constexpr uint16_t kFilterFlags = 15;
constexpr uint16_t kOutputBits = 8;
constexpr uint16_t kProgressTotal = 100;
constexpr uint16_t kFineIndex = 2;

// Methods are 1..2, judged on the low word only: (Index - 1) as an unsigned 16-bit value.
bool valid_method(uint32_t Index) { return static_cast<uint16_t>(Index - 1) < kMethodCount; }

// The floating-point state. The reductions compute in x87 extended precision (and SSE on
// the side); a host may run with a different precision or rounding, or with exceptions
// unmasked (a 32-bit Windows host often does), which would change palettes or trap. The
// module therefore computes in its own state and gives the host its state back, also for
// the time of each progress callback.
#if defined(__i386__) || defined(__x86_64__)
struct TFpuState {
  uint16_t X87Control;
  uint32_t Mxcsr;
};
// Extended precision, round to nearest, all exceptions masked; the SSE power-on default.
constexpr TFpuState kModuleFpuState{0x037F, 0x1F80};

TFpuState read_fpu_state() {
  TFpuState S;
  asm volatile("fnstcw %0" : "=m"(S.X87Control));
  asm volatile("stmxcsr %0" : "=m"(S.Mxcsr));
  return S;
}

void load_fpu_state(const TFpuState& S) {
  // Pending x87 flags would trap at the next instruction once a control word with that
  // exception unmasked is loaded, so they go first.
  asm volatile("fnclex\n\tfldcw %0" : : "m"(S.X87Control));
  asm volatile("ldmxcsr %0" : : "m"(S.Mxcsr));
}
#else
struct TFpuState {};
constexpr TFpuState kModuleFpuState{};
TFpuState read_fpu_state() { return {}; }
void load_fpu_state(const TFpuState&) {}
#endif

// Holds the module's floating-point state for its lifetime and restores the host's.
class TFpuGuard {
 public:
  TFpuGuard() : m_Host(read_fpu_state()) { load_fpu_state(kModuleFpuState); }
  ~TFpuGuard() { load_fpu_state(m_Host); }
  TFpuGuard(const TFpuGuard&) = delete;
  TFpuGuard& operator=(const TFpuGuard&) = delete;
  const TFpuState& Host() const { return m_Host; }

 private:
  TFpuState m_Host;
};

// Forwards the graphic's progress to the host for the length of one Quantize call.
class TProgressHandler {
 public:
  TProgressHandler(TKvHostProgress Progress, const TFpuState& HostFpu)
      : m_Progress(Progress), m_HostFpu(HostFpu) {}

  void Progress(int Percent) {
    load_fpu_state(m_HostFpu);
    const uint32_t Answer = m_Progress(static_cast<uint32_t>(Percent), kProgressTotal);
    load_fpu_state(kModuleFpuState);
    // The host asks to stop with a non-zero low word; unwinding abandons the conversion.
    if ((Answer & 0xFFFF) != 0) throw kv::Exception("");
  }

 private:
  TKvHostProgress m_Progress;
  TFpuState m_HostFpu;
};

// Every pointer the reduction will follow: the three arrays and each row of both. A record
// with a missing one is refused before anything is read or written.
bool record_complete(const TKvQuantizeRec& Rec) {
  if (Rec.SrcRows == nullptr || Rec.DstRows == nullptr || Rec.Palette == nullptr) return false;
  for (uint32_t Y = 0; Y < Rec.Height; ++Y)
    if (Rec.SrcRows[Y] == nullptr || Rec.DstRows[Y] == nullptr) return false;
  return true;
}

// The reduction itself; any exception means result 1 with the host's buffers untouched,
// because nothing is written to them before the conversion has succeeded.
int32_t quantize(uint32_t Index, const TKvQuantizeRec& Rec, const TFpuState& HostFpu) {
  const int32_t Width = Rec.Width;
  const int32_t Height = Rec.Height;

  auto DIB = std::make_unique<kv::TKvDIB>();
  // The depth first, while the image is still 1 x 1: the same 24-bit image results, without
  // first building a full-size 8-bit image only to discard it. A zero width or height
  // raises the library's parameter error.
  DIB->SetBitCount(24);
  DIB->SetWidth(Width);
  DIB->SetHeight(Height);
  const size_t SrcBytes = static_cast<size_t>(Width) * 3;
  for (int32_t Y = 0; Y < Height; ++Y) std::memcpy(DIB->GetScanLine(Y), Rec.SrcRows[Y], SrcBytes);
  DIB->FineMethod = static_cast<uint16_t>(Index) == kFineIndex;

  {
    TProgressHandler Handler(Rec.Progress, HostFpu);
    kv::frontend::TPercentProc Forward;  // a null host callback: no progress calls
    if (Rec.Progress != nullptr)
      Forward = [&Handler](kv::TProgressStage, int Percent, const std::string&) {
        Handler.Progress(Percent);
      };
    const kv::frontend::TScopedProgress Progress(*DIB,
                                                 std::move(Forward));  // detached before the handler goes
    DIB->SetPixelFormat(kv::kvPf8Bit);
  }

  // Everything that can fail comes before the first write to the host's buffers, and the
  // palette never gets more than its 256 entries.
  if (DIB->GetPixelFormat() != kv::kvPf8Bit) throw kv::EKvDIBBadDIBType("Quantize: no 8-bit result");
  const int32_t Colors = std::clamp(DIB->GetColorCount(), 0, 256);
  std::vector<kv::TColor> Palette(static_cast<size_t>(Colors));
  for (int32_t I = 0; I < Colors; ++I) Palette[static_cast<size_t>(I)] = DIB->GetColors(I);
  std::vector<const uint8_t*> Rows(static_cast<size_t>(Height));
  for (int32_t Y = 0; Y < Height; ++Y) Rows[static_cast<size_t>(Y)] = DIB->GetScanLine(Y);

  for (int32_t I = 0; I < Colors; ++I) {
    const kv::TColor C = Palette[static_cast<size_t>(I)];  // red + green * 256 + blue * 65536
    uint8_t* Entry = Rec.Palette + 4 * I;                  // byte 3 stays the host's
    Entry[0] = static_cast<uint8_t>(C >> 16);
    Entry[1] = static_cast<uint8_t>(C >> 8);
    Entry[2] = static_cast<uint8_t>(C);
  }
  const size_t DstBytes = static_cast<size_t>(Width);
  for (int32_t Y = 0; Y < Height; ++Y) std::memcpy(Rec.DstRows[Y], Rows[static_cast<size_t>(Y)], DstBytes);
  return kQuantizeDone;
}

#ifndef _WIN32
// Native builds answer string requests from this table; Windows builds carry the same texts
// as string resources (vxakvdib.rc).
struct TPlugString {
  uint32_t Id;
  const char* Text;
};

constexpr TPlugString kPlugStrings[] = {
    {KV_PLUG_STR_NORMAL_ID, KV_PLUG_STR_NORMAL},
    {KV_PLUG_STR_FINE_ID, KV_PLUG_STR_FINE},
    {KV_PLUG_STR_DESCRIPTION_ID, KV_PLUG_STR_DESCRIPTION},
};
#endif

}  // namespace

extern "C" {

TKvPlugInfoRec* KV_PLUGAPI PlugInfo(TKvPlugInfoRec* Info) noexcept {
  if (Info != nullptr) {
    Info->PlugKind = kPlugKind;
    Info->FilterCount = kMethodCount;
    Info->DescriptionId = KV_PLUG_STR_DESCRIPTION_ID;
  }
  return Info;
}

TKvFilterInfoRec* KV_PLUGAPI FilterInfo(uint32_t Index, TKvFilterInfoRec* Info) noexcept {
  if (Info != nullptr && valid_method(Index)) {
    Info->FilterFlags = kFilterFlags;
    Info->OutputBits = kOutputBits;
    Info->NameId = static_cast<uint16_t>(Index);
  }
  return Info;
}

int32_t KV_PLUGAPI SetParam(uintptr_t, uintptr_t, uintptr_t) noexcept { return kQuantizeBadIndex; }
int32_t KV_PLUGAPI Filter(uintptr_t, uintptr_t) noexcept { return kQuantizeBadIndex; }
int32_t KV_PLUGAPI Resize(uintptr_t, uintptr_t) noexcept { return kQuantizeBadIndex; }
int32_t KV_PLUGAPI Combine(uintptr_t, uintptr_t) noexcept { return kQuantizeBadIndex; }

int32_t KV_PLUGAPI Quantize(uint32_t Index, const TKvQuantizeRec* Rec) noexcept {
  if (!valid_method(Index)) return kQuantizeBadIndex;
  if (Rec == nullptr || !record_complete(*Rec)) return kQuantizeFailed;
  try {
    const TFpuGuard Fpu;
    return quantize(Index, *Rec, Fpu.Host());
  } catch (...) {
    // Conversion errors, a cancel, allocation failures and parameter errors alike.
    return kQuantizeFailed;
  }
}

#ifndef _WIN32
int32_t PlugLoadString(uint32_t Id, char* Buffer, int32_t Size) noexcept {
  if (Buffer == nullptr || Size <= 0) return 0;
  for (const TPlugString& S : kPlugStrings) {
    if (S.Id != Id) continue;
    const size_t Length = std::min(std::strlen(S.Text), static_cast<size_t>(Size - 1));
    std::memcpy(Buffer, S.Text, Length);
    Buffer[Length] = '\0';
    return static_cast<int32_t>(Length);
  }
  Buffer[0] = '\0';
  return 0;
}
#endif

}  // extern "C"
