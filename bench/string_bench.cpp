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

#include "bench/bench_report.h"
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

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter(RatioReporter::Clock::kProcessor, RatioReporter::OO_Defaults);
  return RunWithRatios(argc, argv, reporter, [](const RatioReporter& report) {
    report.PrintRatio("progress line: SformatProgress / SnprintfProgress", "SformatProgress",
                      "SnprintfProgress");
    report.PrintRatio("10,000 appends: StringAppend / StdStringAppend", "StringAppend",
                      "StdStringAppend");
  });
}
