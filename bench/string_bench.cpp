// The setup's progress line through sformat against snprintf of the same
// text, and a string built by appending in a loop against std::string. The
// setup is the 8-bit program, so this is the 8-bit build. After the runs the
// ratios are printed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "foundation/tl_string.h"

namespace {

const char* const kFiles[] = {"readme.txt", "vorlan.exe", "uninstaller.dll", "Vorlan.lnk"};
constexpr int32_t kPieces = 10000;

void SformatProgress(benchmark::State& state) {
  int32_t step = 0;
  for (auto _ : state) {
    sformat text("%{ld,s} Installing %2\n%1%% complete", step % 101, kFiles[step & 3]);
    benchmark::DoNotOptimize(text.Text());
    ++step;
  }
}

void SnprintfProgress(benchmark::State& state) {
  int32_t step = 0;
  for (auto _ : state) {
    char text[128];
    std::snprintf(text, sizeof(text), "Installing %s\n%d%% complete", kFiles[step & 3],
                  static_cast<int>(step % 101));
    benchmark::DoNotOptimize(text);
    ++step;
  }
}

void StringAppend(benchmark::State& state) {
  for (auto _ : state) {
    string text;
    for (int32_t i = 0; i < kPieces; ++i) text += "piece ";
    benchmark::DoNotOptimize(text.Text());
  }
}

void StdStringAppend(benchmark::State& state) {
  for (auto _ : state) {
    std::string text;
    for (int32_t i = 0; i < kPieces; ++i) text += "piece ";
    benchmark::DoNotOptimize(text.data());
  }
}

BENCHMARK(SformatProgress);
BENCHMARK(SnprintfProgress);
BENCHMARK(StringAppend)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringAppend)->Unit(benchmark::kMicrosecond);

// Notes each run's processor time per iteration (steadier than the wall clock
// on a busy machine) so that the ratios can follow the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

void PrintRatio(const RatioReporter& reporter, const char* what, const char* ours,
                const char* peer) {
  auto a = reporter.times.find(ours);
  auto b = reporter.times.find(peer);
  if (a == reporter.times.end() || b == reporter.times.end() || b->second <= 0) return;
  std::printf("%s: %s / %s = %.2f\n", what, ours, peer, a->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatio(reporter, "progress line", "SformatProgress", "SnprintfProgress");
  PrintRatio(reporter, "10,000 appends", "StringAppend", "StdStringAppend");
  benchmark::Shutdown();
  return 0;
}
