// Timing of the plug-in boundary, run by hand: Quantize on a 3840 x 2160 image made by
// tiling the golden file's photograph, next to the library's own SetPixelFormat on the same
// pixels, for both methods. The difference is what the module adds: building the 24-bit
// image from the host's rows and copying palette and rows back. The in-process round trip
// does the same work without the module, so Quantize minus that is the call itself.
//
//   plugin-bench <module> <golden file> [repeats]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/KvDIB.h"
#include "plugin/tests/golden_file.h"
#include "plugin/tests/host_abi.h"

namespace {

using kvtest::TQuantizeFn;

constexpr uint16_t kWidth = 3840;
constexpr uint16_t kHeight = 2160;

uint32_t HOST_STDCALL keep_going(uint32_t, uint32_t) { return 0; }

TQuantizeFn load_quantize(const char* Path) {
#ifdef _WIN32
  HMODULE M = LoadLibraryA(Path);
  return M ? reinterpret_cast<TQuantizeFn>(reinterpret_cast<void*>(GetProcAddress(M, "Quantize"))) : nullptr;
#else
  void* M = dlopen(Path, RTLD_NOW | RTLD_LOCAL);
  return M ? reinterpret_cast<TQuantizeFn>(dlsym(M, "Quantize")) : nullptr;
#endif
}

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct TLibraryTimes {
  double Fill;       // a fresh 24-bit TKvDIB made and filled with the host's rows
  double Convert;    // SetPixelFormat of an already filled 24-bit TKvDIB
  double RoundTrip;  // the module's work done in-process: build, fill, convert, read back
};

TLibraryTimes library_ms(const std::vector<uint8_t>& Pixels, std::vector<uint8_t>& Dst, bool Fine) {
  const double T0 = now_ms();
  kv::TKvDIB DIB;
  DIB.SetWidth(kWidth);
  DIB.SetHeight(kHeight);
  DIB.SetBitCount(24);
  for (int32_t Y = 0; Y < kHeight; ++Y)
    std::memcpy(DIB.GetScanLine(Y), &Pixels[static_cast<size_t>(Y) * kWidth * 3], kWidth * 3u);
  DIB.FineMethod = Fine;
  const double T1 = now_ms();
  DIB.SetPixelFormat(kv::kvPf8Bit);
  const double T2 = now_ms();
  for (int32_t Y = 0; Y < kHeight; ++Y)
    std::memcpy(&Dst[static_cast<size_t>(Y) * kWidth], DIB.GetScanLine(Y), kWidth);
  return TLibraryTimes{T1 - T0, T2 - T1, now_ms() - T0};
}

// The floor of any fill: the host's rows copied into a fresh block of pixel memory, whose
// pages the first write has to bring in.
double fresh_copy_ms(const std::vector<uint8_t>& Pixels) {
  const double T0 = now_ms();
  kv::TFileMapBlock Block(static_cast<int32_t>(Pixels.size()));
  std::memcpy(Block.Bits(), Pixels.data(), Pixels.size());
  return now_ms() - T0;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc < 3) {
    std::fprintf(stderr, "usage: %s <module> <golden file> [repeats]\n", Argv[0]);
    return 2;
  }
  const int Repeats = Argc > 3 ? std::max(1, std::atoi(Argv[3])) : 3;
  std::vector<kvtest::TGoldenCase> Cases;
  const TQuantizeFn Quantize = load_quantize(Argv[1]);
  if (!kvtest::ReadGolden(Argv[2], Cases) || Cases.empty() || Quantize == nullptr) {
    std::fprintf(stderr, "cannot load the module or the golden file\n");
    return 1;
  }

  // Tile the photograph, mirroring every other tile so the edges stay photographic.
  const kvtest::TGoldenCase& P = Cases.front();
  std::vector<uint8_t> Pixels(static_cast<size_t>(kWidth) * kHeight * 3);
  for (size_t Y = 0; Y < kHeight; ++Y) {
    const size_t TY = (Y / P.Height) % 2 ? P.Height - 1 - Y % P.Height : Y % P.Height;
    for (size_t X = 0; X < kWidth; ++X) {
      const size_t TX = (X / P.Width) % 2 ? P.Width - 1 - X % P.Width : X % P.Width;
      std::memcpy(&Pixels[(Y * kWidth + X) * 3], &P.Pixels[(TY * P.Width + TX) * 3], 3);
    }
  }
  std::vector<const uint8_t*> SrcRows(kHeight);
  std::vector<uint8_t> Dst(static_cast<size_t>(kWidth) * kHeight);
  std::vector<uint8_t*> DstRows(kHeight);
  for (size_t Y = 0; Y < kHeight; ++Y) {
    SrcRows[Y] = &Pixels[Y * kWidth * 3];
    DstRows[Y] = &Dst[Y * kWidth];
  }
  std::vector<uint8_t> Palette(1024);

  const std::vector<uint8_t> Rec =
      kvtest::QuantizeRecord(keep_going, SrcRows.data(), DstRows.data(), Palette.data(), kWidth, kHeight);

  const double Megapixels = kWidth * static_cast<double>(kHeight) / 1e6;
  double Floor = 1e300;
  for (int R = 0; R < Repeats; ++R) Floor = std::min(Floor, fresh_copy_ms(Pixels));
  std::printf("%u x %u, best of %d; copying the rows into a fresh pixel block takes %.1f ms\n", kWidth,
              kHeight, Repeats, Floor);
  for (int Method : {1, 2}) {
    double Fill = 1e300, Lib = 1e300, Trip = 1e300, Plug = 1e300;
    for (int R = 0; R < Repeats; ++R) {
      const TLibraryTimes T = library_ms(Pixels, Dst, Method == 2);
      Fill = std::min(Fill, T.Fill);
      Lib = std::min(Lib, T.Convert);
      Trip = std::min(Trip, T.RoundTrip);
      const double T0 = now_ms();
      const int32_t Result = Quantize(static_cast<uint32_t>(Method), Rec.data());
      Plug = std::min(Plug, now_ms() - T0);
      if (Result != 0) {
        std::fprintf(stderr, "Quantize(%d) returned %d\n", Method, Result);
        return 1;
      }
    }
    std::printf(
        "%-6s SetPixelFormat %7.1f ms (%6.1f MP/s)  fill %6.1f ms  in-process round trip %7.1f ms  "
        "Quantize %7.1f ms (%6.1f MP/s)  Quantize/SetPixelFormat %.2f  Quantize/round trip %.2f\n",
        Method == 1 ? "Normal" : "Fine", Lib, Megapixels / Lib * 1e3, Fill, Trip, Plug,
        Megapixels / Plug * 1e3, Plug / Lib, Plug / Trip);
  }
  return 0;
}
