// wu-quantize: PSNR and time of FreeImage's Wu quantizer on one photograph, for
// bench/quality.sh when FreeImage is installed (it is never a dependency of kvdib).
//
//   wu-quantize PHOTO.png COLORS [RUNS]
//
// Prints "wu COLORS none PSNR MS": the PSNR over all pixels and channels, and the median
// wall time of FreeImage_ColorQuantizeEx alone.
#include <FreeImage.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wu-quantize PHOTO.png COLORS [RUNS]\n");
    return 2;
  }
  const int Colors = std::atoi(argv[2]);
  const int Runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  FreeImage_Initialise();
  FIBITMAP* Loaded = FreeImage_Load(FreeImage_GetFileType(argv[1]), argv[1]);
  if (Loaded == nullptr) return 2;
  FIBITMAP* Src = FreeImage_ConvertTo24Bits(Loaded);
  std::vector<double> Ms;
  FIBITMAP* Reduced = nullptr;
  for (int R = 0; R < Runs; ++R) {
    if (Reduced != nullptr) FreeImage_Unload(Reduced);
    const auto T0 = std::chrono::steady_clock::now();
    Reduced = FreeImage_ColorQuantizeEx(Src, FIQ_WUQUANT, Colors, 0, nullptr);
    const auto T1 = std::chrono::steady_clock::now();
    Ms.push_back(std::chrono::duration<double, std::milli>(T1 - T0).count());
  }
  FIBITMAP* Back = FreeImage_ConvertTo24Bits(Reduced);
  const unsigned W = FreeImage_GetWidth(Src), H = FreeImage_GetHeight(Src);
  double Sum = 0;
  for (unsigned Y = 0; Y < H; ++Y) {
    const BYTE* A = FreeImage_GetScanLine(Src, static_cast<int>(Y));
    const BYTE* B = FreeImage_GetScanLine(Back, static_cast<int>(Y));
    for (unsigned X = 0; X < 3 * W; ++X) {
      const double D = static_cast<double>(A[X]) - B[X];
      Sum += D * D;
    }
  }
  const double Mse = Sum / (3.0 * W * H);
  std::sort(Ms.begin(), Ms.end());
  std::printf("%-14s %3d %-4s %8.4f %9.3f\n", "wu", Colors, "none", 10 * std::log10(255.0 * 255.0 / Mse),
              Ms[Ms.size() / 2]);
  FreeImage_Unload(Back);
  FreeImage_Unload(Reduced);
  FreeImage_Unload(Src);
  FreeImage_Unload(Loaded);
  FreeImage_DeInitialise();
  return 0;
}
