// The benchmark image, shared by every benchmark of kvdib-bench: the 24-bit BMP named by
// the environment variable KVDIB_BENCH_IMAGE or, when it is unset, a 3840 x 2160 image
// made from the example photograph by bilinear enlargement. Loaded or made once per run.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "image/KvDIB.h"

namespace kv::bench {

constexpr int32_t kBenchWidth = 3840;
constexpr int32_t kBenchHeight = 2160;

// A Width x Height 24-bit image sampled bilinearly from Small (24 bits), corner to corner.
inline std::unique_ptr<TKvDIB> Enlarge(TKvDIB& Small, int32_t Width, int32_t Height) {
  auto Big = std::make_unique<TKvDIB>();
  Big->SetBitCount(24);
  Big->SetWidth(Width);
  Big->SetHeight(Height);
  const int32_t SW = Small.GetWidth(), SH = Small.GetHeight();
  for (int32_t Y = 0; Y < Height; ++Y) {
    const double FY = Height > 1 ? static_cast<double>(Y) * (SH - 1) / (Height - 1) : 0;
    const int32_t Y0 = static_cast<int32_t>(FY), Y1 = Y0 + 1 < SH ? Y0 + 1 : Y0;
    const double WY = FY - Y0;
    const uint8_t* R0 = Small.GetScanLine(Y0);
    const uint8_t* R1 = Small.GetScanLine(Y1);
    uint8_t* Out = Big->GetScanLine(Y);
    for (int32_t X = 0; X < Width; ++X) {
      const double FX = Width > 1 ? static_cast<double>(X) * (SW - 1) / (Width - 1) : 0;
      const int32_t X0 = static_cast<int32_t>(FX), X1 = X0 + 1 < SW ? X0 + 1 : X0;
      const double WX = FX - X0;
      for (int C = 0; C < 3; ++C) {
        const double Top = R0[3 * X0 + C] * (1 - WX) + R0[3 * X1 + C] * WX;
        const double Bottom = R1[3 * X0 + C] * (1 - WX) + R1[3 * X1 + C] * WX;
        Out[3 * X + C] = static_cast<uint8_t>(std::lround(Top * (1 - WY) + Bottom * WY));
      }
    }
  }
  return Big;
}

inline std::unique_ptr<TKvDIB> LoadBenchImage() {
  const char* Named = std::getenv("KVDIB_BENCH_IMAGE");
  auto Image = std::make_unique<TKvDIB>();
  if (Named != nullptr && *Named != '\0') {
    Image->LoadFromFile(Named);
    if (Image->GetPixelFormat() != kvPf24Bit) Image->SetPixelFormat(kvPf24Bit);
    return Image;
  }
  Image->LoadFromFile(KVDIB_SOURCE_DIR "/examples/astronaut.bmp");
  return Enlarge(*Image, kBenchWidth, kBenchHeight);
}

// The image every benchmark starts from; callers copy it (Assign + UniqueDIB) before
// converting.
inline const TKvDIB& BenchImage() {
  static const std::unique_ptr<TKvDIB> Image = LoadBenchImage();
  return *Image;
}

inline int64_t BenchPixels() {
  const TKvDIB& I = BenchImage();
  return static_cast<int64_t>(I.GetWidth()) * I.GetHeight();
}

}  // namespace kv::bench
