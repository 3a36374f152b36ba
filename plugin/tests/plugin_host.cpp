// A test host for the plug-in module, built natively (loads vxakvdib.so with dlopen) and for
// Windows (loads vxakvdib.f32 with LoadLibraryA, looks every export up by name and by ordinal
// and reads the string table with LoadStringA). It deliberately does not use the module's
// header: records are laid out byte by byte at the offsets the host editor uses and every
// export is called through a function pointer of the host's calling convention, so a layout
// or convention slip in the module shows up here.
//
//   plugin-host <module> <golden file>
//
// The golden file holds photograph cut-outs with the library's own results (golden_file.h).
// Prints one line per failed check and exits 1 if any failed.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/tests/golden_file.h"
#include "plugin/tests/host_abi.h"

namespace {

using namespace kvtest;

// The host's view of the exports.
using TPlugInfoFn = void*(HOST_STDCALL*)(void* Info);
using TFilterInfoFn = void*(HOST_STDCALL*)(uint32_t Index, void* Info);
using TRefuse3Fn = int32_t(HOST_STDCALL*)(uintptr_t, uintptr_t, uintptr_t);
using TRefuse2Fn = int32_t(HOST_STDCALL*)(uintptr_t, uintptr_t);

constexpr size_t kInfoRecSize = 6;
constexpr uint8_t kSentinel = 0xA5;
constexpr size_t kRowGuard = 8;  // bytes after each destination row that must stay untouched

int g_Checks = 0;
int g_Failures = 0;

void check(bool Ok, const char* Format, ...) {
  ++g_Checks;
  if (Ok) return;
  ++g_Failures;
  std::va_list Args;
  va_start(Args, Format);
  std::fputs("FAIL: ", stdout);
  std::vfprintf(stdout, Format, Args);
  std::fputc('\n', stdout);
  va_end(Args);
}

struct TModule {
  TPlugInfoFn PlugInfo = nullptr;
  TFilterInfoFn FilterInfo = nullptr;
  TRefuse3Fn SetParam = nullptr;
  TRefuse2Fn Filter = nullptr;
  TRefuse2Fn Resize = nullptr;
  TRefuse2Fn Combine = nullptr;
  TQuantizeFn Quantize = nullptr;
  // Reads string Id into Buffer; the result is the length, 0 when there is none.
  int (*LoadString)(uint32_t Id, char* Buffer, int Size) = nullptr;
};

#ifdef _WIN32

HMODULE g_Module = nullptr;

int load_string_resource(uint32_t Id, char* Buffer, int Size) {
  return LoadStringA(g_Module, Id, Buffer, Size);
}

template <typename T>
T find_export(const char* Name, int Ordinal) {
  FARPROC ByName = GetProcAddress(g_Module, Name);
  FARPROC ByOrdinal = GetProcAddress(g_Module, MAKEINTRESOURCEA(Ordinal));
  check(ByName != nullptr, "export %s not found by name", Name);
  check(ByOrdinal != nullptr, "export ordinal %d not found", Ordinal);
  check(ByName == ByOrdinal, "export %s is not ordinal %d", Name, Ordinal);
  return reinterpret_cast<T>(reinterpret_cast<void*>(ByName));
}

bool open_module(const char* Path) {
  g_Module = LoadLibraryA(Path);
  if (g_Module == nullptr) std::printf("FAIL: LoadLibraryA(%s) failed, error %lu\n", Path, GetLastError());
  return g_Module != nullptr;
}

// After the seven exports: what only this platform can check, and the string reader.
void finish_module(TModule& M) {
  // No export beyond the seven: ordinal 8 and a decorated name must not resolve.
  check(GetProcAddress(g_Module, MAKEINTRESOURCEA(8)) == nullptr, "unexpected export ordinal 8");
  check(GetProcAddress(g_Module, "_Quantize@8") == nullptr, "decorated name _Quantize@8 exported");
  M.LoadString = load_string_resource;
}

#else

void* g_Module = nullptr;
int (*g_PlugLoadString)(uint32_t, char*, int32_t) = nullptr;

int load_string_export(uint32_t Id, char* Buffer, int Size) { return g_PlugLoadString(Id, Buffer, Size); }

template <typename T>
T find_export(const char* Name, int /*Ordinal*/) {
  void* Sym = dlsym(g_Module, Name);
  check(Sym != nullptr, "export %s not found", Name);
  return reinterpret_cast<T>(Sym);
}

bool open_module(const char* Path) {
  g_Module = dlopen(Path, RTLD_NOW | RTLD_LOCAL);
  if (g_Module == nullptr) std::printf("FAIL: dlopen(%s): %s\n", Path, dlerror());
  return g_Module != nullptr;
}

// After the seven exports: the string reader, and the library inside stays private.
void finish_module(TModule& M) {
  g_PlugLoadString = find_export<decltype(g_PlugLoadString)>("PlugLoadString", 0);
  check(dlsym(g_Module, "_ZN2kv6TKvDIBC1Ev") == nullptr, "library symbols are exported");
  M.LoadString = g_PlugLoadString ? load_string_export : nullptr;
}

#endif

bool load_module(const char* Path, TModule& M) {
  if (!open_module(Path)) return false;
  M.Quantize = find_export<TQuantizeFn>("Quantize", 1);
  M.Combine = find_export<TRefuse2Fn>("Combine", 2);
  M.Resize = find_export<TRefuse2Fn>("Resize", 3);
  M.Filter = find_export<TRefuse2Fn>("Filter", 4);
  M.FilterInfo = find_export<TFilterInfoFn>("FilterInfo", 5);
  M.SetParam = find_export<TRefuse3Fn>("SetParam", 6);
  M.PlugInfo = find_export<TPlugInfoFn>("PlugInfo", 7);
  finish_module(M);
  return true;
}

bool module_complete(const TModule& M) {
  return M.PlugInfo && M.FilterInfo && M.SetParam && M.Filter && M.Resize && M.Combine && M.Quantize &&
         M.LoadString;
}

uint16_t get_u16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }

void check_discovery(const TModule& M) {
  uint8_t Info[kInfoRecSize + 2];
  std::memset(Info, kSentinel, sizeof Info);
  void* Returned = M.PlugInfo(Info);
  check(Returned == Info, "PlugInfo does not return its record");
  check(get_u16(Info) == 1 && get_u16(Info + 2) == 2 && get_u16(Info + 4) == 100,
        "PlugInfo wrote %u %u %u, expected 1 2 100", get_u16(Info), get_u16(Info + 2), get_u16(Info + 4));
  check(Info[6] == kSentinel && Info[7] == kSentinel, "PlugInfo wrote past its 6-byte record");

  struct {
    uint32_t Index;
    bool Valid;
  } const kIndices[] = {{1, true},  {2, true},       {0x10001, true},  {0x12340002, true},  {0, false},
                        {3, false}, {0xFFFF, false}, {0x10000, false}, {0xFFFFFFFF, false}, {0x10003, false}};
  for (const auto& T : kIndices) {
    std::memset(Info, kSentinel, sizeof Info);
    Returned = M.FilterInfo(T.Index, Info);
    check(Returned == Info, "FilterInfo(0x%x) does not return its record", T.Index);
    if (T.Valid) {
      check(get_u16(Info) == 15 && get_u16(Info + 2) == 8 && get_u16(Info + 4) == (T.Index & 0xFFFF),
            "FilterInfo(0x%x) wrote %u %u %u", T.Index, get_u16(Info), get_u16(Info + 2), get_u16(Info + 4));
      check(Info[6] == kSentinel && Info[7] == kSentinel, "FilterInfo wrote past its 6-byte record");
    } else {
      bool Untouched = true;
      for (uint8_t B : Info) Untouched = Untouched && B == kSentinel;
      check(Untouched, "FilterInfo(0x%x) touched the record of an invalid index", T.Index);
    }
  }

  check(M.SetParam(1, 2, 3) == -1, "SetParam does not refuse");
  check(M.Filter(1, 2) == -1, "Filter does not refuse");
  check(M.Resize(1, 2) == -1, "Resize does not refuse");
  check(M.Combine(1, 2) == -1, "Combine does not refuse");

  struct {
    uint32_t Id;
    const char* Text;
    bool Prefix;
  } const kStrings[] = {{1, "KvDib's Method(Normal)", false},
                        {2, "KvDib's Method(Fine)", false},
                        {100, "Plug-in Filters for Vexa32v1.04", true}};
  for (const auto& S : kStrings) {
    char Buffer[256];
    std::memset(Buffer, 0, sizeof Buffer);
    const int Length = M.LoadString(S.Id, Buffer, sizeof Buffer);
    const size_t Want = std::strlen(S.Text);
    const bool Ok = S.Prefix ? std::strncmp(Buffer, S.Text, Want) == 0 && std::strchr(Buffer, '\n') == nullptr
                             : std::strcmp(Buffer, S.Text) == 0;
    check(Ok && Length == static_cast<int>(std::strlen(Buffer)), "string %u is \"%s\" (length %d)", S.Id,
          Buffer, Length);
  }
  char Small[5];
  check(M.LoadString(1, Small, sizeof Small) == 4 && std::strcmp(Small, "KvDi") == 0,
        "a short buffer does not receive a truncated string");
  char Missing[16] = "x";
  check(M.LoadString(3, Missing, sizeof Missing) == 0, "string 3 should not exist");
}

#if defined(__i386__) || defined(__x86_64__)
#define HOST_HAS_X87 1
// The floating-point control state of the host: x87 control word and SSE control/status.
struct THostFpu {
  uint16_t X87Control;
  uint32_t Mxcsr;
};
constexpr uint32_t kMxcsrFlags = 0x3F;

THostFpu read_host_fpu() {
  THostFpu S;
  asm volatile("fnstcw %0" : "=m"(S.X87Control));
  asm volatile("stmxcsr %0" : "=m"(S.Mxcsr));
  return S;
}

void load_host_fpu(const THostFpu& S) {
  asm volatile("fnclex\n\tfldcw %0" : : "m"(S.X87Control));
  asm volatile("ldmxcsr %0" : : "m"(S.Mxcsr));
}

// An unfriendly host: double precision and rounding toward zero on the x87, rounding toward
// zero, flush-to-zero and denormals-are-zero on SSE, and on both the precision exception
// unmasked, so that any inexact result computed in this state traps.
constexpr THostFpu kHostileFpu{0x0E5F, 0xEFC0};

bool is_hostile_fpu(const THostFpu& S) {
  return S.X87Control == kHostileFpu.X87Control &&
         (S.Mxcsr & ~kMxcsrFlags) == (kHostileFpu.Mxcsr & ~kMxcsrFlags);
}
#endif

// What the host's progress callback saw and how it answers.
struct TProgressScript {
  std::vector<uint32_t> Percents;
  bool TotalsOk = true;
  bool CheckHostFpu = false;  // the callback must run in the host's own floating-point state
  bool HostFpuOk = true;
  uint32_t Answer = 0;           // the usual answer
  size_t CancelCall = SIZE_MAX;  // zero-based call that gets CancelAnswer
  uint32_t CancelAnswer = 1;
};
TProgressScript g_Script;

uint32_t HOST_STDCALL host_progress(uint32_t Percent, uint32_t Total) {
#ifdef HOST_HAS_X87
  if (g_Script.CheckHostFpu) g_Script.HostFpuOk = g_Script.HostFpuOk && is_hostile_fpu(read_host_fpu());
#endif
  g_Script.TotalsOk = g_Script.TotalsOk && Total == 100;
  g_Script.Percents.push_back(Percent);
  return g_Script.Percents.size() - 1 == g_Script.CancelCall ? g_Script.CancelAnswer : g_Script.Answer;
}

// 0 at the start, steps * 100 div 256 for the reduction's steps 1..255, 100 at the end.
std::vector<uint32_t> expected_progress() {
  std::vector<uint32_t> P{0};
  for (uint32_t Step = 1; Step < 256; ++Step) P.push_back(Step * 100 / 256);
  P.push_back(100);
  return P;
}

// The host's buffers for one call, pre-filled with patterns so that writes are visible.
struct THostImage {
  uint16_t Width;
  uint16_t Height;
  std::vector<std::vector<uint8_t>> Src, Dst;
  std::vector<const uint8_t*> SrcRows;
  std::vector<uint8_t*> DstRows;
  std::vector<uint8_t> Palette;

  THostImage(const TGoldenCase& C, uint16_t W, uint16_t H) : Width(W), Height(H), Palette(1024) {
    for (size_t I = 0; I < Palette.size(); ++I) Palette[I] = static_cast<uint8_t>(I * 7 + 3);
    const size_t Rows = H;
    Src.resize(Rows);
    Dst.resize(Rows);
    for (size_t Y = 0; Y < Rows; ++Y) {
      // Zero-size cases still get one row of storage so the pointers are real.
      const size_t SrcBytes = static_cast<size_t>(W) * 3;
      Src[Y].assign(SrcBytes + kRowGuard, kSentinel);
      if (Y < C.Height && W <= C.Width)
        std::memcpy(Src[Y].data(), C.Pixels.data() + Y * C.Width * 3, SrcBytes);
      Dst[Y].assign(static_cast<size_t>(W) + kRowGuard, kSentinel);
    }
    if (Rows == 0) {
      Src.assign(1, std::vector<uint8_t>(kRowGuard, kSentinel));
      Dst.assign(1, std::vector<uint8_t>(kRowGuard, kSentinel));
    }
    for (auto& R : Src) SrcRows.push_back(R.data());
    for (auto& R : Dst) DstRows.push_back(R.data());
  }

  std::vector<uint8_t> Record(TProgressFn Progress) const {
    return QuantizeRecord(Progress, SrcRows.data(), DstRows.data(), Palette.data(), Width, Height);
  }
};

struct TRun {
  int32_t Result;
  THostImage Before;
  THostImage After;
};

TRun run_quantize(const TModule& M, const TGoldenCase& C, uint32_t Index, uint16_t W, uint16_t H,
                  TProgressFn Progress = host_progress) {
  THostImage Image(C, W, H);
  THostImage Before = Image;
  g_Script.Percents.clear();
  g_Script.TotalsOk = true;
  const std::vector<uint8_t> Rec = Image.Record(Progress);
  const int32_t Result = M.Quantize(Index, Rec.data());
  return TRun{Result, std::move(Before), std::move(Image)};
}

bool untouched(const TRun& R) {
  return R.Before.Src == R.After.Src && R.Before.Dst == R.After.Dst && R.Before.Palette == R.After.Palette;
}

// The module's output against the library's result for the same pixels.
void check_output(const TRun& R, const TGoldenCase& C, int Method, const char* What) {
  const kvtest::TGoldenMethod& G = C.Methods[Method - 1];
  const size_t Colors = G.Palette.size() / 3;
  check(R.Result == 0, "%s: result %d, expected 0", What, R.Result);
  check(R.Before.Src == R.After.Src, "%s: source rows changed", What);
  bool PaletteOk = true, ReservedOk = true, RestOk = true;
  for (size_t I = 0; I < 256; ++I) {
    const uint8_t* Got = &R.After.Palette[4 * I];
    const uint8_t* Was = &R.Before.Palette[4 * I];
    if (I < Colors)
      PaletteOk = PaletteOk && std::memcmp(Got, &G.Palette[3 * I], 3) == 0;
    else
      RestOk = RestOk && std::memcmp(Got, Was, 3) == 0;
    ReservedOk = ReservedOk && Got[3] == Was[3];
  }
  check(PaletteOk, "%s: palette differs from the library's", What);
  check(ReservedOk, "%s: palette bytes 3, 7, 11, ... were written", What);
  check(RestOk, "%s: palette entries beyond the %zu colours were written", What, Colors);
  bool IndicesOk = true, GuardOk = true;
  for (size_t Y = 0; Y < C.Height; ++Y) {
    const uint8_t* Row = R.After.Dst[Y].data();
    IndicesOk = IndicesOk && std::memcmp(Row, &G.Indices[Y * C.Width], C.Width) == 0;
    for (size_t X = C.Width; X < C.Width + kRowGuard; ++X) GuardOk = GuardOk && Row[X] == kSentinel;
  }
  check(IndicesOk, "%s: indices differ from the library's", What);
  check(GuardOk, "%s: bytes beyond Width written in a destination row", What);
}

#ifdef HOST_HAS_X87
// Quantize called in the unfriendly floating-point state: the result must still be the
// library's, the callback must see the host's state, and the host must get it back.
void check_host_fpu_state(const TModule& M, const TGoldenCase& C) {
  const std::vector<uint32_t> Expected = expected_progress();
  for (int Method : {1, 2}) {
    g_Script = TProgressScript{};
    g_Script.CheckHostFpu = true;
    g_Script.Percents.reserve(Expected.size());  // no allocation inside the callback
    THostImage Image(C, C.Width, C.Height);
    THostImage Before = Image;
    const std::vector<uint8_t> Rec = Image.Record(host_progress);

    const THostFpu Saved = read_host_fpu();
    load_host_fpu(kHostileFpu);
    const int32_t Result = M.Quantize(static_cast<uint32_t>(Method), Rec.data());
    const THostFpu After = read_host_fpu();
    load_host_fpu(Saved);

    const TRun R{Result, std::move(Before), std::move(Image)};
    check_output(R, C, Method,
                 Method == 1 ? "unfriendly FPU state, method 1" : "unfriendly FPU state, method 2");
    check(g_Script.Percents == Expected, "method %d, unfriendly FPU state: progress sequence wrong", Method);
    check(g_Script.HostFpuOk, "method %d: the progress callback ran in the module's FPU state", Method);
    check(is_hostile_fpu(After), "method %d: FPU state not restored (x87 0x%04x, MXCSR 0x%08x)", Method,
          After.X87Control, static_cast<unsigned>(After.Mxcsr));
  }
}
#endif

void check_reductions(const TModule& M, const std::vector<TGoldenCase>& Cases) {
  const std::vector<uint32_t> Expected = expected_progress();
  for (const TGoldenCase& C : Cases) {
    for (uint32_t Index : {1u, 2u, 0x10001u, 0xFFFF0002u}) {
      const int Method = static_cast<int>(Index & 0xFFFF);
      char What[96];
      std::snprintf(What, sizeof What, "%ux%u, index 0x%x", C.Width, C.Height, Index);
      g_Script = TProgressScript{};
      const TRun R = run_quantize(M, C, Index, C.Width, C.Height);
      check_output(R, C, Method, What);
      check(g_Script.Percents == Expected, "%s: progress sequence wrong (%zu calls)", What,
            g_Script.Percents.size());
      check(g_Script.TotalsOk, "%s: progress total other than 100", What);
    }
  }
}

void check_cancel_and_answers(const TModule& M, const TGoldenCase& C) {
  const std::vector<uint32_t> Expected = expected_progress();
  for (int Method : {1, 2}) {
    // Cancel at the first running step (call 1): the end notification still follows.
    g_Script = TProgressScript{};
    g_Script.CancelCall = 1;
    TRun R = run_quantize(M, C, Method, C.Width, C.Height);
    check(R.Result == 1, "method %d, cancel at first step: result %d", Method, R.Result);
    check(untouched(R), "method %d, cancel at first step: host buffers written", Method);
    check(g_Script.Percents == std::vector<uint32_t>({0, 0, 100}),
          "method %d, cancel at first step: %zu calls", Method, g_Script.Percents.size());

    // Cancel answered only to the final 100.
    g_Script = TProgressScript{};
    g_Script.CancelCall = Expected.size() - 1;
    g_Script.CancelAnswer = 0xFFFF0001;
    R = run_quantize(M, C, Method, C.Width, C.Height);
    check(R.Result == 1, "method %d, cancel at 100: result %d", Method, R.Result);
    check(untouched(R), "method %d, cancel at 100: host buffers written", Method);
    check(g_Script.Percents == Expected, "method %d, cancel at 100: progress sequence wrong", Method);

    // Only the low word cancels.
    g_Script = TProgressScript{};
    g_Script.Answer = 0x10000;
    R = run_quantize(M, C, Method, C.Width, C.Height);
    check_output(R, C, Method, Method == 1 ? "answers 0x10000, method 1" : "answers 0x10000, method 2");
    check(g_Script.Percents == Expected, "method %d, answers 0x10000: progress sequence wrong", Method);

    // A host without a progress callback still gets its reduction.
    R = run_quantize(M, C, Method, C.Width, C.Height, nullptr);
    check_output(R, C, Method, Method == 1 ? "no callback, method 1" : "no callback, method 2");
  }
}

void check_refusals(const TModule& M, const TGoldenCase& C) {
  for (uint32_t Index : {0u, 3u, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
    g_Script = TProgressScript{};
    const TRun R = run_quantize(M, C, Index, C.Width, C.Height);
    check(R.Result == -1, "index 0x%x: result %d, expected -1", Index, R.Result);
    check(untouched(R) && g_Script.Percents.empty(), "index 0x%x: the module did something", Index);
  }
  const struct { uint16_t W, H; } kZero[] = {{0, 5}, {5, 0}, {0, 0}};
  for (const auto& Z : kZero) {
    for (uint32_t Index : {1u, 2u}) {
      g_Script = TProgressScript{};
      const TRun R = run_quantize(M, C, Index, Z.W, Z.H);
      check(R.Result == 1, "%ux%u, index %u: result %d, expected 1", Z.W, Z.H, Index, R.Result);
      check(untouched(R) && g_Script.Percents.empty(), "%ux%u, index %u: the module did something", Z.W, Z.H,
            Index);
    }
  }
  check(M.Quantize(1, nullptr) == 1, "a missing record is not refused with 1");

  // A record with a missing array or row pointer: 1, nothing read beyond the pointers,
  // nothing written, no progress.
  enum TMissing { kSrcRows, kDstRows, kPalette, kSrcRow, kDstRow };
  for (TMissing Missing : {kSrcRows, kDstRows, kPalette, kSrcRow, kDstRow}) {
    for (uint32_t Index : {1u, 2u}) {
      THostImage Image(C, C.Width, C.Height);
      const THostImage Before = Image;
      std::vector<const uint8_t*> Src = Image.SrcRows;
      std::vector<uint8_t*> Dst = Image.DstRows;
      if (Missing == kSrcRow) Src[Src.size() - 1] = nullptr;
      if (Missing == kDstRow) Dst[Dst.size() / 2] = nullptr;
      const std::vector<uint8_t> Rec =
          QuantizeRecord(host_progress, Missing == kSrcRows ? nullptr : Src.data(),
                         Missing == kDstRows ? nullptr : Dst.data(),
                         Missing == kPalette ? nullptr : Image.Palette.data(), C.Width, C.Height);
      g_Script = TProgressScript{};
      const int32_t Result = M.Quantize(Index, Rec.data());
      check(Result == 1, "missing pointer %d, index %u: result %d, expected 1", static_cast<int>(Missing),
            Index, Result);
      check(Before.Src == Image.Src && Before.Dst == Image.Dst && Before.Palette == Image.Palette &&
                g_Script.Percents.empty(),
            "missing pointer %d, index %u: the module did something", static_cast<int>(Missing), Index);
    }
  }

  // The largest record the host can pass: 65535 x 65535 pixels need more pixel memory than
  // a DIB can address. Every row pointer shares one row, since nothing may be written.
  const uint16_t kMax = 0xFFFF;
  std::vector<uint8_t> SrcRow(kMax * 3u, kSentinel), DstRow(kMax, kSentinel), Palette(1024, kSentinel);
  const std::vector<const uint8_t*> SrcRows(kMax, SrcRow.data());
  const std::vector<uint8_t*> DstRows(kMax, DstRow.data());
  const std::vector<uint8_t> Rec =
      QuantizeRecord(host_progress, SrcRows.data(), DstRows.data(), Palette.data(), kMax, kMax);
  g_Script = TProgressScript{};
  check(M.Quantize(2, Rec.data()) == 1, "65535 x 65535 pixels are not refused with 1");
  bool Untouched = g_Script.Percents.empty();
  for (const auto* Buffer : {&SrcRow, &DstRow, &Palette})
    for (uint8_t B : *Buffer) Untouched = Untouched && B == kSentinel;
  check(Untouched, "65535 x 65535: the module did something");
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 3) {
    std::fprintf(stderr, "usage: %s <module> <golden file>\n", Argv[0]);
    return 2;
  }
  std::vector<TGoldenCase> Cases;
  if (!kvtest::ReadGolden(Argv[2], Cases) || Cases.empty()) {
    std::printf("FAIL: cannot read the golden file %s\n", Argv[2]);
    return 1;
  }
  TModule M;
  if (!load_module(Argv[1], M) || !module_complete(M)) {
    std::printf("FAIL: the module or one of its exports is missing\n");
    return 1;
  }
  check_discovery(M);
  check_refusals(M, Cases.front());
  check_reductions(M, Cases);
  check_cancel_and_answers(M, Cases.front());
#ifdef HOST_HAS_X87
  check_host_fpu_state(M, Cases.front());
#endif
  std::printf("%s: %d checks, %d failed, %zu images\n", g_Failures ? "FAILED" : "passed", g_Checks,
              g_Failures, Cases.size());
  return g_Failures ? 1 : 0;
}
