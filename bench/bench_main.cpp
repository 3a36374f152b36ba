// kvdib-bench's entry point: runs the selected benchmarks with the usual console output,
// then prints every case's time relative to the floor (BM_Floor) and the reductions'
// goal ratios, all from this one run.
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
        m_Seconds[R.benchmark_name()] = R.real_accumulated_time / static_cast<double>(R.iterations);
  }

  void PrintRatios() const {
    const auto Floor = m_Seconds.find("BM_Floor");
    if (Floor == m_Seconds.end() || Floor->second <= 0) return;
    std::printf("\nRelative to BM_Floor (%.2f ms):\n", Floor->second * 1e3);
    for (const auto& [Name, Seconds] : m_Seconds)
      std::printf("  %-24s %6.2f x\n", Name.c_str(), Seconds / Floor->second);
    Goal("BM_Normal8", "BM_Floor", 3.0);
    Goal("BM_Fine8", "BM_Normal8", 4.0);
  }

 private:
  void Goal(const char* Case, const char* Base, double Limit) const {
    const auto A = m_Seconds.find(Case), B = m_Seconds.find(Base);
    if (A == m_Seconds.end() || B == m_Seconds.end()) return;
    const double Ratio = A->second / B->second;
    std::printf("Goal %s / %s = %.2f (limit %.1f): %s\n", Case, Base, Ratio, Limit,
                Ratio <= Limit ? "met" : "MISSED");
  }

  std::map<std::string, double> m_Seconds;
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
