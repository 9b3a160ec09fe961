// Inserting and finding 10,000 istring keys: the skip-list cetl::map against
// std::map ordered by the same case-blind comparison. The keys are the kind
// the skin settings use ("pbutton Text Color 17"), in mixed case, so every
// comparison does the case folding. After the runs the ratios are printed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "cetl/map.h"
#include "foundation/tl_string.h"

namespace {

constexpr int32_t kKeys = 10000;

struct CaseBlindLess {
  bool operator()(const istring& a, const istring& b) const {
    return a.CompareNoCase(b.Text()) < 0;
  }
};

// Shuffled, so neither map sees its keys in order.
const std::vector<istring>& Keys() {
  static const std::vector<istring> keys = [] {
    const char* words[] = {"Frame", "text", "COLOR", "Border", "font", "Image", "layout"};
    std::vector<istring> made;
    made.reserve(kKeys);
    uint32_t mix = 2463534242u;
    for (int32_t k = 0; k < kKeys; ++k) {
      mix ^= mix << 13;
      mix ^= mix >> 17;
      mix ^= mix << 5;
      std::string key = std::string(words[mix % 7]) + " " + words[(mix >> 8) % 7] + " " +
                        std::to_string(mix % 1000003);
      made.emplace_back(key.c_str());
    }
    return made;
  }();
  return keys;
}

void CetlMapInsert(benchmark::State& state) {
  const std::vector<istring>& keys = Keys();
  for (auto _ : state) {
    cetl::map<istring, int32_t> values;
    for (int32_t k = 0; k < kKeys; ++k) values.insert(keys[k], k);
    benchmark::DoNotOptimize(values.size());
  }
}

void StdMapInsert(benchmark::State& state) {
  const std::vector<istring>& keys = Keys();
  for (auto _ : state) {
    std::map<istring, int32_t, CaseBlindLess> values;
    for (int32_t k = 0; k < kKeys; ++k) values.insert_or_assign(keys[k], k);
    benchmark::DoNotOptimize(values.size());
  }
}

void CetlMapFind(benchmark::State& state) {
  const std::vector<istring>& keys = Keys();
  cetl::map<istring, int32_t> values;
  for (int32_t k = 0; k < kKeys; ++k) values.insert(keys[k], k);
  for (auto _ : state) {
    int64_t sum = 0;
    for (const istring& key : keys) sum += values.find(key)->value;
    benchmark::DoNotOptimize(sum);
  }
}

void StdMapFind(benchmark::State& state) {
  const std::vector<istring>& keys = Keys();
  std::map<istring, int32_t, CaseBlindLess> values;
  for (int32_t k = 0; k < kKeys; ++k) values.insert_or_assign(keys[k], k);
  for (auto _ : state) {
    int64_t sum = 0;
    for (const istring& key : keys) sum += values.find(key)->second;
    benchmark::DoNotOptimize(sum);
  }
}

BENCHMARK(CetlMapInsert)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdMapInsert)->Unit(benchmark::kMicrosecond);
BENCHMARK(CetlMapFind)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdMapFind)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter;
  return RunWithRatios(argc, argv, reporter, [](const RatioReporter& report) {
    std::string keys = " of " + std::to_string(kKeys) + " istring keys: cetl::map / std::map";
    report.PrintRatio("insert" + keys, "CetlMapInsert", "StdMapInsert");
    report.PrintRatio("find" + keys, "CetlMapFind", "StdMapFind");
  });
}
