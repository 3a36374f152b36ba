// Drawing the benchmark image (see BenchImage.h) with StretchDIBits onto 24-bit DIB
// sections, as an image draws itself in its direct mode: 1:1, reduced to half and enlarged
// to double size, and the 256-colour reduction of the image 1:1 (the indexed path).
//
// Baseline, measured in the same run: BM_DrawRowCopy, a memcpy of every row of the image
// into the 1:1 destination. The destinations are made and touched once before timing.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchImage.h"
#include "image/KvDIB.h"
#include "platform/graphics/DeviceContext.h"
#include "platform/graphics/GdiBitmap.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/graphics/StretchDIBits.h"

namespace kv::bench {
namespace {

// A 24-bit bottom-up DIB section selected into a memory context.
class TSurface {
 public:
  TSurface(int32_t Width, int32_t Height) : m_Stride((Width * 24 + 31) / 32 * 4), m_Height(Height) {
    BITMAPINFO Info{};
    Info.bmiHeader = BITMAPINFOHEADER{40, Width, Height, 1, 24, kBiRGB, 0, 0, 0, 0, 0};
    void* Bits = nullptr;
    m_Bitmap.reset(CreateDIBSection(nullptr, &Info, kDibRgbColors, &Bits, kNoMapHandle, 0));
    m_Bits = static_cast<uint8_t*>(Bits);
    m_Dc.reset(CreateCompatibleDC(nullptr));
    m_Old = SelectObject(m_Dc.get(), m_Bitmap.get());
    std::memset(m_Bits, 1, static_cast<size_t>(m_Stride) * Height);  // committed before timing
  }
  ~TSurface() { SelectObject(m_Dc.get(), m_Old); }
  HDC Dc() const { return m_Dc.get(); }
  uint8_t* Bits() const { return m_Bits; }
  int32_t Stride() const { return m_Stride; }

 private:
  int32_t m_Stride, m_Height;
  TGdiObjectOwner<HBITMAP> m_Bitmap;
  TMemoryDC m_Dc;
  HGDIOBJ m_Old = nullptr;
  uint8_t* m_Bits = nullptr;
};

const TKvDIBInfo& image() { return BenchImage().InternalDIB()->Info; }

void draw(benchmark::State& State, const TKvDIBInfo& Src, int32_t Width, int32_t Height) {
  TSurface Dst(Width, Height);
  const auto* Info = static_cast<const BITMAPINFO*>(Src.BitmapInfo());
  const int32_t W = Src.Header.biWidth, H = std::abs(Src.Header.biHeight);
  for (auto _ : State) {
    const int32_t Rows =
        StretchDIBits(Dst.Dc(), 0, 0, Width, Height, 0, 0, W, H, Src.Bits, Info, kDibRgbColors, kSrcCopy);
    if (Rows != Height) State.SkipWithError("nothing drawn");
    benchmark::DoNotOptimize(Dst.Bits());
  }
  State.counters["MP/s"] = benchmark::Counter(static_cast<double>(Width) * Height / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DrawRowCopy(benchmark::State& State) {
  const TKvDIBInfo& Src = image();
  const int32_t W = Src.Header.biWidth, H = std::abs(Src.Header.biHeight);
  TSurface Dst(W, H);
  const auto RowBytes = static_cast<size_t>(W) * 3;
  for (auto _ : State) {
    for (int32_t Y = 0; Y < H; ++Y)
      std::memcpy(Dst.Bits() + static_cast<size_t>(Dst.Stride()) * Y,
                  Src.Bits + static_cast<size_t>(Dst.Stride()) * Y, RowBytes);
    benchmark::DoNotOptimize(Dst.Bits());
  }
}
BENCHMARK(BM_DrawRowCopy)->Unit(benchmark::kMillisecond);

void BM_Draw1to1(benchmark::State& State) {
  draw(State, image(), image().Header.biWidth, std::abs(image().Header.biHeight));
}
BENCHMARK(BM_Draw1to1)->Unit(benchmark::kMillisecond);

void BM_DrawDown2(benchmark::State& State) {
  draw(State, image(), image().Header.biWidth / 2, std::abs(image().Header.biHeight) / 2);
}
BENCHMARK(BM_DrawDown2)->Unit(benchmark::kMillisecond);

void BM_DrawUp2(benchmark::State& State) {
  draw(State, image(), image().Header.biWidth * 2, std::abs(image().Header.biHeight) * 2);
}
BENCHMARK(BM_DrawUp2)->Unit(benchmark::kMillisecond);

void BM_Draw8Bit1to1(benchmark::State& State) {
  static const std::unique_ptr<TKvDIB> Eight = [] {
    auto D = std::make_unique<TKvDIB>();
    D->Assign(&BenchImage());
    D->SetPixelFormat(kvPf8Bit);
    return D;
  }();
  const TKvDIBInfo& Src = Eight->InternalDIB()->Info;
  draw(State, Src, Src.Header.biWidth, std::abs(Src.Header.biHeight));
}
BENCHMARK(BM_Draw8Bit1to1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kv::bench
