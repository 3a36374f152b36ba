// kvdib-bench's entry point: runs the selected benchmarks with the usual console output,
// then prints every case's time relative to the floor (BM_Floor) and the reductions'
// goal ratios, all from this one run. Ratios are given for wall-clock time and for the
// process's CPU time; on a shared machine the CPU time is the steadier of the two.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& R : Runs)
      if (R.run_type == Run::RT_Iteration && !R.error_occurred && R.iterations > 0)
        m_Seconds[R.benchmark_name()] = {R.real_accumulated_time / static_cast<double>(R.iterations),
                                         R.cpu_accumulated_time / static_cast<double>(R.iterations)};
  }

  void PrintRatios() const {
    Goal("BM_Draw1to1", "BM_DrawRowCopy", 2.0);
    const auto Floor = m_Seconds.find("BM_Floor");
    if (Floor == m_Seconds.end() || Floor->second.Real <= 0 || Floor->second.Cpu <= 0) return;
    std::printf("\nRelative to BM_Floor (%.2f ms wall, %.2f ms CPU):      wall     CPU\n",
                Floor->second.Real * 1e3, Floor->second.Cpu * 1e3);
    for (const auto& [Name, T] : m_Seconds)
      std::printf("  %-48s %6.2f x %6.2f x\n", Name.c_str(), T.Real / Floor->second.Real,
                  T.Cpu / Floor->second.Cpu);
    Goal("BM_Normal8", "BM_Floor", 2.5);
    Goal("BM_Fine8", "BM_Normal8", 3.0);
    Goal("BM_Fine8Noise", "BM_Normal8Noise", 4.0);
    Goal("BM_ConvHalftone", "BM_Floor", 6.0);
    Goal("BM_Refine8", "BM_Normal8", 1.2);
    Goal("BM_Refine4", "BM_Normal4", 1.2);
    Goal("BM_Best8", "BM_Normal8", 4.0);
    Goal("BM_Best4", "BM_Normal4", 4.0);
    Goal("BM_Dither8", "BM_Floor", 6.0);
    // A conversion also pays for the first touch of its new pixel block, which the floor
    // does not; BM_FloorNewBlock measures that cost, so the difference is the work proper.
    const auto Normal = m_Seconds.find("BM_Normal8"), NewBlock = m_Seconds.find("BM_FloorNewBlock");
    if (Normal != m_Seconds.end() && NewBlock != m_Seconds.end())
      std::printf("BM_Normal8 beyond a new block's first touch: %.2f x BM_Floor (CPU)\n",
                  1 + (Normal->second.Cpu - NewBlock->second.Cpu) / Floor->second.Cpu);
  }

 private:
  void Goal(const char* Case, const char* Base, double Limit) const {
    const auto A = m_Seconds.find(Case), B = m_Seconds.find(Base);
    if (A == m_Seconds.end() || B == m_Seconds.end()) return;
    const double Wall = A->second.Real / B->second.Real, Cpu = A->second.Cpu / B->second.Cpu;
    std::printf("Goal %s / %s <= %.1f: wall %.2f (%s), CPU %.2f (%s)\n", Case, Base, Limit, Wall,
                Wall <= Limit ? "met" : "missed", Cpu, Cpu <= Limit ? "met" : "missed");
  }

  struct TTimes {
    double Real;
    double Cpu;
  };
  std::map<std::string, TTimes> m_Seconds;  // per iteration
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  Reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
