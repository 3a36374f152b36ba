// Benchmarks of the quantizer's own methods on the benchmark image (see BenchImage.h),
// measured against BM_Normal8 and BM_Floor of bench_reduce.cpp in the same run:
// QuantizeTrueColor called directly on the image's descriptor, the new pixel block
// obtained inside the timing and released outside it.
//
//   BM_Refine8, BM_Refine4   refine, 256 and 16 colours
//   BM_Best8, BM_Best4       best, 256 and 16 colours
//   BM_Dither8               refine, 256 colours, serpentine Floyd-Steinberg
//   BM_DitherNormal8         normal, 256 colours, serpentine Floyd-Steinberg
#include <benchmark/benchmark.h>

#include "bench/BenchImage.h"
#include "image/KvDIB.h"
#include "image/reduce/KvQuantize.h"

namespace kv::bench {
namespace {

void quantize(benchmark::State& State, TKvQuantizeOptions Options) {
  const TKvDIBInfo& Src = BenchImage().DIBInfo();
  for (auto _ : State) {
    TKvDIBInfo Dst{};
    QuantizeTrueColor(Src, Dst, Options, nullptr);
    benchmark::DoNotOptimize(Dst.Bits);
    State.PauseTiming();
    TKvOwnedInfo::Adopt(Dst).Reset();
    State.ResumeTiming();
  }
  State.counters["MP/s"] = benchmark::Counter(static_cast<double>(BenchPixels()) / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Refine8(benchmark::State& S) { quantize(S, {256, kvQmRefine, kvDmNone}); }
void BM_Refine4(benchmark::State& S) { quantize(S, {16, kvQmRefine, kvDmNone}); }
void BM_Best8(benchmark::State& S) { quantize(S, {256, kvQmBest, kvDmNone}); }
void BM_Best4(benchmark::State& S) { quantize(S, {16, kvQmBest, kvDmNone}); }
void BM_Dither8(benchmark::State& S) { quantize(S, {256, kvQmRefine, kvDmFloydSteinberg}); }
void BM_DitherNormal8(benchmark::State& S) { quantize(S, {256, kvQmNormal, kvDmFloydSteinberg}); }

BENCHMARK(BM_Refine8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Refine4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Best8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Best4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dither8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherNormal8)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kv::bench
