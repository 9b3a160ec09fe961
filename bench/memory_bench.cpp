// MemAlloc/MemFree against the system's malloc/free on one mixed pattern of
// sizes and lifetimes, the kind the programs produce: mostly small strings
// and records, some pixel rows and tables, a rare whole bitmap; many
// buffers die at once, others live for a long time. Both heaps replay the
// same operations; the ratios follow the table.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "foundation/tl_memory.h"

namespace {

constexpr uint32_t kSlots = 1024;
// Slots below this are reused three times out of four, so their buffers
// live briefly; the rest hold long-lived ones.
constexpr uint32_t kShortLivedSlots = 64;
constexpr uint32_t kOperations = 1 << 16;

struct Operation {
  uint32_t slot;
  uint32_t size;
};

const std::vector<Operation>& Pattern() {
  static const std::vector<Operation> pattern = [] {
    std::vector<Operation> made;
    made.reserve(kOperations);
    uint32_t mix = 2463534242u;
    auto next = [&mix] {
      mix ^= mix << 13;
      mix ^= mix >> 17;
      mix ^= mix << 5;
      return mix;
    };
    for (uint32_t i = 0; i < kOperations; ++i) {
      uint32_t slot = next() % 4 ? next() % kShortLivedSlots : kShortLivedSlots + next() % (kSlots - kShortLivedSlots);
      uint32_t roll = next() % 1000;
      uint32_t size = roll < 600   ? 4 + next() % 124      // texts, small records
                      : roll < 900 ? 128 + next() % 1920   // longer texts, lists
                      : roll < 998 ? 2048 + next() % 30720 // pixel rows, tables
                                   : 600000 + next() % 400000;  // a whole bitmap
      made.push_back({slot, size});
    }
    return made;
  }();
  return pattern;
}

struct ManagerHeap {
  static void* Allocate(size_t size) { return MemAlloc(size, "cbBench", __FILE__, __LINE__); }
  static void Free(void* address) { MemFree(address, __FILE__, __LINE__); }
};

struct SystemHeap {
  static void* Allocate(size_t size) { return std::malloc(size); }
  static void Free(void* address) { std::free(address); }
};

// One iteration replays the whole pattern and then frees what is left, so
// that every iteration starts from the same state.
template <class Heap>
void MixedPattern(benchmark::State& state) {
  const std::vector<Operation>& pattern = Pattern();
  std::vector<unsigned char*> slots(kSlots, nullptr);
  for (auto _ : state) {
    for (const Operation& operation : pattern) {
      unsigned char*& slot = slots[operation.slot];
      if (slot) Heap::Free(slot);
      slot = static_cast<unsigned char*>(Heap::Allocate(operation.size));
      slot[0] = 1;  // the first touch is part of what a caller pays
      slot[operation.size - 1] = 1;
    }
    for (unsigned char*& slot : slots) {
      if (slot) Heap::Free(slot);
      slot = nullptr;
    }
  }
  state.SetItemsProcessed(state.iterations() * pattern.size());
}

BENCHMARK_TEMPLATE(MixedPattern, ManagerHeap)->Unit(benchmark::kMicrosecond)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK_TEMPLATE(MixedPattern, SystemHeap)->Unit(benchmark::kMicrosecond)->Threads(1)->Threads(2)->UseRealTime();

void PrintRatio(const RatioReporter& reporter, const char* threads) {
  double ours, peer;
  if (!reporter.Times(std::string("MixedPattern<ManagerHeap>/real_time/threads:") + threads,
                      std::string("MixedPattern<SystemHeap>/real_time/threads:") + threads, &ours,
                      &peer)) {
    return;
  }
  double perOperation = 1000.0 / kOperations;  // microseconds per iteration to nanoseconds per operation
  std::printf("mixed pattern, %s thread(s): MemAlloc/MemFree %.1f ns, malloc/free %.1f ns per operation, ratio %.2f\n",
              threads, ours * perOperation, peer * perOperation, ours / peer);
}

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter(RatioReporter::Clock::kWall, RatioReporter::OO_Defaults);
  return RunWithRatios(argc, argv, reporter, [](const RatioReporter& report) {
    PrintRatio(report, "1");
    PrintRatio(report, "2");
  });
}
