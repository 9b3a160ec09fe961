#pragma once
// Ratios of our code against a peer, printed after a benchmark's table:
// the reporter keeps each run's time per iteration as it shows the table.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Processor time keeps ratios steady on a busy machine; wall-clock time is
  // for runs whose threads wait on each other.
  enum class Clock { kProcessor, kWall };

  explicit RatioReporter(Clock clock = Clock::kProcessor, OutputOptions options = OO_Tabular)
      : ConsoleReporter(options), clock_(clock) {}

  // With --benchmark_repetitions the median stands for the repeated runs.
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
        times_[run.run_name.str()] =
            clock_ == Clock::kProcessor ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Both runs' times, or false when either did not run (a filter left it out)
  // or the peer's time is no time at all.
  bool Times(const std::string& ours, const std::string& peer, double* oursTime,
             double* peerTime) const {
    auto a = times_.find(ours);
    auto b = times_.find(peer);
    if (a == times_.end() || b == times_.end() || b->second <= 0) return false;
    *oursTime = a->second;
    *peerTime = b->second;
    return true;
  }

  // Prints "label = ours / peer" when both ran.
  void PrintRatio(const std::string& label, const std::string& ours,
                  const std::string& peer) const {
    double a, b;
    if (Times(ours, peer, &a, &b)) std::printf("%s = %.2f\n", label.c_str(), a / b);
  }

 private:
  Clock clock_;
  std::map<std::string, double> times_;
};

// The main of a benchmark program with ratios: runs what the command line
// selects, then calls printRatios with the reporter.
template <class PrintRatios>
int RunWithRatios(int argc, char** argv, RatioReporter& reporter, PrintRatios printRatios) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
