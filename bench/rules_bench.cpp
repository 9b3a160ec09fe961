// The rule engine at the speed the computer's search feels it: legal move
// lists of positions from real games, and whole trees from the start.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "game/flow/sequencer.h"
#include "game/rules/rules.h"
#include "random_games.h"
#include "tools/analyze/perft.h"

namespace {

// Positions met in random games from the start, take-backs included. The
// seed is fixed so that every run measures the same positions.
std::vector<BoardPosition> PositionsFromRandomGames(size_t wanted) {
  std::mt19937 random(4711);
  std::vector<BoardPosition> positions;
  PlayRandomGames(random, 200, RandomGameEnd::kAtWinner, [&](const BoardPosition& position, int) {
    positions.push_back(position);
    return positions.size() < wanted;
  });
  return positions;
}

void BM_GenerateMoves(benchmark::State& state) {
  static const std::vector<BoardPosition> positions = PositionsFromRandomGames(4096);
  LegalMoveList list{};
  uint64_t entries = 0;
  for (auto _ : state) {
    for (const BoardPosition& position : positions) {
      GenerateMoves(list, position);
      entries += list.count;
    }
    benchmark::DoNotOptimize(entries);
  }
  ReleaseMoveList(list);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * positions.size()));
  state.counters["entries/position"] =
      static_cast<double>(entries) / static_cast<double>(state.iterations() * positions.size());
}
BENCHMARK(BM_GenerateMoves)->Unit(benchmark::kMicrosecond);

void BM_PerftFromStart(benchmark::State& state) {
  const int32_t depth = static_cast<int32_t>(state.range(0));
  uint64_t sequences = 0;
  for (auto _ : state) {
    sequences = Perft({0, 0, 1, 15, 15}, depth);
    benchmark::DoNotOptimize(sequences);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * sequences));
  state.counters["sequences"] = static_cast<double>(sequences);
}
BENCHMARK(BM_PerftFromStart)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
