// Benchmarks of the colour reductions on the benchmark image (see BenchImage.h): the
// Normal and Fine methods to 8 and 4 bits through TKvDIB::SetPixelFormat, each on a fresh
// private copy made outside the timing, and the floor they are measured against: one pass
// that reads every 24-bit pixel and writes one byte through a 65,536-entry table (indexed
// by the pixel's colour cell, found with three per-channel lookups, the quickest way
// known here), into a buffer that is already mapped, and the same pass into a new pixel
// block, which also pays for the block's first touch. The Noise cases run both methods
// on a 4000 x 4000 image in which every pixel has a colour of its own, the worst case of
// the Fine method.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/BenchImage.h"
#include "image/KvDIB.h"
#include "image/reduce/KvReduceCommon.h"

namespace kv::bench {
namespace {

void set_rate(benchmark::State& State, int64_t Pixels = BenchPixels()) {
  State.counters["MP/s"] =
      benchmark::Counter(static_cast<double>(Pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// 4000 x 4000 pixels, all of different colours: pixel i gets a fixed scramble of i, a
// one-to-one map of the 2^24 colours (an odd multiplier and an xor-shift, both modulo 2^24).
const TKvDIB& noise_image() {
  static const std::unique_ptr<TKvDIB> Image = [] {
    constexpr int32_t Side = 4000;
    auto I = std::make_unique<TKvDIB>();
    I->SetBitCount(24);
    I->SetWidth(Side);
    I->SetHeight(Side);
    uint32_t Index = 0;
    for (int32_t Y = 0; Y < Side; ++Y) {
      uint8_t* Row = I->GetScanLine(Y);
      for (int32_t X = 0; X < Side; ++X, ++Index) {
        uint32_t C = (Index * 0x9E3779B1u + 0x5bd1e9u) & 0xFFFFFF;
        C ^= C >> 12;
        C = (C * 0x2545F5u) & 0xFFFFFF;
        Row[3 * X] = static_cast<uint8_t>(C);
        Row[3 * X + 1] = static_cast<uint8_t>(C >> 8);
        Row[3 * X + 2] = static_cast<uint8_t>(C >> 16);
      }
    }
    return I;
  }();
  return *Image;
}

void reduce(benchmark::State& State, bool Fine, TKvPixelFormat Target, const TKvDIB& Source = BenchImage()) {
  for (auto _ : State) {
    State.PauseTiming();
    auto Image = std::make_unique<TKvDIB>();
    Image->Assign(&Source);
    Image->UniqueDIB();  // the copy is not part of the conversion
    Image->FineMethod = Fine;
    State.ResumeTiming();
    Image->SetPixelFormat(Target);
    benchmark::DoNotOptimize(Image->InternalDIB()->Info.Bits);
    State.PauseTiming();
    Image.reset();
    State.ResumeTiming();
  }
  set_rate(State, static_cast<int64_t>(Source.GetWidth()) * Source.GetHeight());
}

void BM_Normal8(benchmark::State& State) { reduce(State, false, kvPf8Bit); }
void BM_Normal4(benchmark::State& State) { reduce(State, false, kvPf4Bit); }
void BM_Fine8(benchmark::State& State) { reduce(State, true, kvPf8Bit); }
void BM_Fine4(benchmark::State& State) { reduce(State, true, kvPf4Bit); }
void BM_Normal8Noise(benchmark::State& State) { reduce(State, false, kvPf8Bit, noise_image()); }
void BM_Fine8Noise(benchmark::State& State) { reduce(State, true, kvPf8Bit, noise_image()); }

// The source, its geometry and the lookup table of the floor pass.
struct TFloor {
  const TKvDIBInfo& Src = BenchImage().InternalDIB()->Info;
  const int64_t W = Src.Header.biWidth;
  const int64_t H =
      Src.Header.biHeight < 0 ? -static_cast<int64_t>(Src.Header.biHeight) : Src.Header.biHeight;
  const int64_t SrcStride = ((W * 24 + 31) / 32) * 4, DstStride = ((W * 8 + 31) / 32) * 4;
  std::vector<uint8_t> Table = make_table();

  static std::vector<uint8_t> make_table() {
    std::vector<uint8_t> T(kColorCells);
    for (uint32_t I = 0; I < kColorCells; ++I) T[I] = static_cast<uint8_t>(I * 2654435761u >> 24);
    return T;
  }

  void Pass(uint8_t* Dst) const {
    for (int64_t Y = 0; Y < H; ++Y) {
      const uint8_t* S = Src.Bits + Y * SrcStride;
      uint8_t* D = Dst + Y * DstStride;
      for (int64_t X = 0; X < W; ++X, S += 3) D[X] = Table[CellAndDropped(S) & 0xFFFF];
    }
    benchmark::DoNotOptimize(Dst);
    benchmark::ClobberMemory();
  }
};

void BM_Floor(benchmark::State& State) {
  const TFloor F;
  std::vector<uint8_t> Dst(static_cast<size_t>(F.DstStride * F.H));
  for (auto _ : State) F.Pass(Dst.data());
  set_rate(State);
}

void BM_FloorNewBlock(benchmark::State& State) {
  const TFloor F;
  for (auto _ : State) {
    TFileMapBlock Block(static_cast<int32_t>(F.DstStride * F.H));
    F.Pass(Block.Bits());
  }
  set_rate(State);
}

BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorNewBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Normal8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Normal4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fine8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fine4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Normal8Noise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fine8Noise)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kv::bench
