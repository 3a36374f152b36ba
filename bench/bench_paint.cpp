// TKvDIB.PaintTo of the benchmark image (see BenchImage.h) onto the canvas of a 24-bit
// TBitmap, as a program draws an image: in the direct mode 1:1, reduced to half and
// enlarged to double size, and through the colour halftone at half size. Read next to
// BM_DrawRowCopy (bench_draw.cpp), which copies the rows of the image into a 1:1 surface,
// and BM_Draw* there (the platform's StretchDIBits alone).
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/BenchImage.h"
#include "image/KvDIB.h"
#include "platform/graphics/Bitmap.h"

namespace kv::bench {
namespace {

void paint(benchmark::State& State, int32_t Width, int32_t Height, uint8_t HalftoneMode) {
  TKvDIB Image;
  Image.Assign(&BenchImage());
  Image.HalftoneMode = HalftoneMode;
  TBitmap Target;
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(Width, Height);
  TCanvas& Canvas = Target.Canvas();
  Canvas.StretchDraw(TRect{0, 0, Width, Height}, &Image);  // pixels committed before timing
  for (auto _ : State) {
    Canvas.StretchDraw(TRect{0, 0, Width, Height}, &Image);
    benchmark::DoNotOptimize(Target.ScanLine(0));
  }
  State.counters["MP/s"] = benchmark::Counter(static_cast<double>(Width) * Height / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PaintTo1to1(benchmark::State& State) {
  paint(State, BenchImage().GetWidth(), BenchImage().GetHeight(), 0);
}
BENCHMARK(BM_PaintTo1to1)->Unit(benchmark::kMillisecond);

void BM_PaintToDown2(benchmark::State& State) {
  paint(State, BenchImage().GetWidth() / 2, BenchImage().GetHeight() / 2, 0);
}
BENCHMARK(BM_PaintToDown2)->Unit(benchmark::kMillisecond);

void BM_PaintToUp2(benchmark::State& State) {
  paint(State, BenchImage().GetWidth() * 2, BenchImage().GetHeight() * 2, 0);
}
BENCHMARK(BM_PaintToUp2)->Unit(benchmark::kMillisecond);

void BM_PaintToHalftoneDown2(benchmark::State& State) {
  paint(State, BenchImage().GetWidth() / 2, BenchImage().GetHeight() / 2, 1);
}
BENCHMARK(BM_PaintToHalftoneDown2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kv::bench
