// Benchmarks of the conversions and codecs on the benchmark image (see BenchImage.h): the
// colour halftone of the 24-bit image, RLE8 and RLE4 encoding and decoding, and widening
// 8 bits to 24. Each routine is called directly on a descriptor and includes obtaining
// its new pixel block; the block is released outside the timing. The 8- and 4-bit inputs
// are the Normal reductions of the benchmark image, made once before timing.
//
// Baselines, measured in the same run: a plain memcpy of the routine's input bytes
// (24-, 8- or 4-bit rows, or the RLE stream) into a buffer that is already mapped, and
// the same copy into a new pixel block of the routine's output size, which also pays for
// obtaining the block and touching its pages for the first time, as every routine must.
// Divide a routine's time by a baseline's for its factor against a plain copy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "bench/BenchImage.h"
#include "image/KvDIB.h"
#include "image/convert/KvHalftone.h"
#include "image/convert/KvRLE.h"
#include "image/convert/KvUpConvert.h"

namespace kv::bench {
namespace {

// The benchmark image in the formats the routines start from, made once.
struct TInputs {
  std::unique_ptr<TKvDIB> Eight, Four;
  TKvOwnedInfo Rle8, Rle4;
};

const TInputs& inputs() {
  static const std::unique_ptr<TInputs> In = [] {
    auto I = std::make_unique<TInputs>();
    I->Eight = std::make_unique<TKvDIB>();
    I->Eight->Assign(&BenchImage());
    I->Eight->SetPixelFormat(kvPf8Bit);
    I->Four = std::make_unique<TKvDIB>();
    I->Four->Assign(&BenchImage());
    I->Four->SetPixelFormat(kvPf4Bit);
    TKvDIBInfo Out{};
    Convert8BitRGBTo8BitRLE(I->Eight->DIBInfo(), Out);
    I->Rle8 = TKvOwnedInfo::Adopt(Out);
    Convert4BitRGBTo4BitRLE(I->Four->DIBInfo(), Out);
    I->Rle4 = TKvOwnedInfo::Adopt(Out);
    return I;
  }();
  return *In;
}

void set_rate(benchmark::State& State) {
  State.counters["MP/s"] = benchmark::Counter(static_cast<double>(BenchPixels()) / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

using TRoutine = void (*)(const TKvDIBInfo&, TKvDIBInfo&);

void run_routine(benchmark::State& State, const TKvDIBInfo& Src, TRoutine Fn) {
  int32_t OutBytes = 0;
  for (auto _ : State) {
    TKvDIBInfo Out{};
    Fn(Src, Out);
    TKvOwnedInfo Dst = TKvOwnedInfo::Adopt(Out);
    benchmark::DoNotOptimize(Dst.Info().Bits);
    State.PauseTiming();
    OutBytes = Dst.Info().BitsSize;
    Dst.Reset();
    State.ResumeTiming();
  }
  set_rate(State);
  State.counters["MB in"] = static_cast<double>(Src.BitsSize) / 1e6;
  State.counters["MB out"] = static_cast<double>(OutBytes) / 1e6;
}

void run_copy(benchmark::State& State, const TKvDIBInfo& Src) {
  std::vector<uint8_t> Dst(static_cast<size_t>(Src.BitsSize), 1);  // mapped and touched
  for (auto _ : State) {
    std::memcpy(Dst.data(), Src.Bits, Dst.size());
    benchmark::DoNotOptimize(Dst.data());
    benchmark::ClobberMemory();
  }
  set_rate(State);
}

// A new block of Size bytes, filled from Src's bytes (repeated when Size is larger).
void run_copy_new_block(benchmark::State& State, const TKvDIBInfo& Src, int64_t Size) {
  std::optional<TFileMapBlock> Block;
  for (auto _ : State) {
    Block.emplace(static_cast<int32_t>(Size));
    for (int64_t At = 0; At < Size; At += Src.BitsSize)
      std::memcpy(Block->Bits() + At, Src.Bits,
                  static_cast<size_t>(std::min<int64_t>(Size - At, Src.BitsSize)));
    benchmark::DoNotOptimize(Block->Bits());
    benchmark::ClobberMemory();
    State.PauseTiming();
    Block.reset();
    State.ResumeTiming();
  }
  set_rate(State);
}

const TKvDIBInfo& true_colour() { return BenchImage().InternalDIB()->Info; }
const TKvDIBInfo& eight() { return inputs().Eight->InternalDIB()->Info; }
const TKvDIBInfo& four() { return inputs().Four->InternalDIB()->Info; }

void BM_ConvHalftone(benchmark::State& S) { run_routine(S, true_colour(), ConvertToHalfTone); }
void BM_ConvHalftoneBW(benchmark::State& S) { run_routine(S, true_colour(), ConvertToHalfToneBW); }
void BM_ConvRle8Encode(benchmark::State& S) { run_routine(S, eight(), Convert8BitRGBTo8BitRLE); }
void BM_ConvRle8Decode(benchmark::State& S) { run_routine(S, inputs().Rle8.Info(), Convert8BitRLETo8BitRGB); }
void BM_ConvRle4Encode(benchmark::State& S) { run_routine(S, four(), Convert4BitRGBTo4BitRLE); }
void BM_ConvRle4Decode(benchmark::State& S) { run_routine(S, inputs().Rle4.Info(), Convert4BitRLETo4BitRGB); }
void BM_Conv8To24(benchmark::State& S) { run_routine(S, eight(), Convert8BitRGBToTrueColor); }
void BM_ConvCopy24(benchmark::State& S) { run_copy(S, true_colour()); }
void BM_ConvCopy8(benchmark::State& S) { run_copy(S, eight()); }
void BM_ConvCopy4(benchmark::State& S) { run_copy(S, four()); }
void BM_ConvCopyRle8(benchmark::State& S) { run_copy(S, inputs().Rle8.Info()); }
void BM_ConvCopyRle4(benchmark::State& S) { run_copy(S, inputs().Rle4.Info()); }
// New-block baselines of the output sizes: 8 bits (halftone, RLE8 decoding), 24 bits
// (widening), 4 bits (RLE4 decoding).
void BM_ConvNewBlock8(benchmark::State& S) { run_copy_new_block(S, eight(), eight().BitsSize); }
void BM_ConvNewBlock24(benchmark::State& S) { run_copy_new_block(S, eight(), true_colour().BitsSize); }
void BM_ConvNewBlock4(benchmark::State& S) { run_copy_new_block(S, four(), four().BitsSize); }

BENCHMARK(BM_ConvCopy24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvNewBlock8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvNewBlock24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvNewBlock4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvHalftone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvHalftoneBW)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvCopy8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvRle8Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvCopyRle8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvRle8Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Conv8To24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvCopy4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvRle4Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvCopyRle4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvRle4Decode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kv::bench
