// The computer's move as a player waits for it: StartSearch on its own
// thread, the answer taken from a real message queue, at each strength, over
// a fixed set of positions from the opening, the middle and the end of games.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "game/flow/sequencer.h"
#include "game/opponent/titan.h"
#include "random_games.h"
#include "tools/analyze/play.h"

namespace {

enum Phase { kOpening, kMiddle, kEnd, kPhases };
constexpr const char* kPhaseNames[kPhases] = {"opening", "middle", "end"};
constexpr size_t kPerPhase = 8;

Phase PhaseOf(const BoardPosition& position) {
  int32_t inHand = position.hand1 + position.hand2;
  return inHand >= 24 ? kOpening : inHand >= 12 ? kMiddle : kEnd;
}

// Eight positions of each phase met in random games from the start, the
// computer to move in each. The seed is fixed, so every run searches the
// same 24 positions.
std::vector<BoardPosition> FixedPositions() {
  std::mt19937 random(1729);
  std::vector<BoardPosition> phases[kPhases];
  auto full = [&] {
    return std::all_of(std::begin(phases), std::end(phases),
                       [](const std::vector<BoardPosition>& p) { return p.size() >= kPerPhase; });
  };
  PlayRandomGames(random, 200, RandomGameEnd::kWithoutMoves,
                  [&](const BoardPosition& position, int ply) {
                    // Every third ply, so that one game does not fill a phase by itself.
                    std::vector<BoardPosition>& phase = phases[PhaseOf(position)];
                    if (ply % 3 == 1 && phase.size() < kPerPhase) phase.push_back(position);
                    return !full();
                  });
  std::vector<BoardPosition> positions;
  for (const std::vector<BoardPosition>& phase : phases) {
    positions.insert(positions.end(), phase.begin(), phase.end());
  }
  return positions;
}

const std::vector<BoardPosition>& Positions() {
  static const std::vector<BoardPosition> positions = FixedPositions();
  return positions;
}

// Arguments: strength, and the phase (kPhases for all 24 positions).
void BM_ComputerMove(benchmark::State& state) {
  const int32_t strength = static_cast<int32_t>(state.range(0));
  const int64_t phase = state.range(1);
  std::vector<BoardPosition> positions;
  for (const BoardPosition& position : Positions()) {
    if (phase == kPhases || PhaseOf(position) == phase) positions.push_back(position);
  }
  SearchReceiver receiver;
  if (!receiver.IsOpen()) {
    state.SkipWithError("no window for the search's answers");
    return;
  }
  LegalMoveList list{};
  uint64_t nodes = 0;
  uint64_t moves = 0;
  double slowest = 0;
  double total = 0;
  for (auto _ : state) {
    std::srand(4711);  // the same shuffles every iteration
    for (const BoardPosition& position : positions) {
      GenerateMoves(list, position);
      MOVE move{};
      double milliseconds = 0;
      if (!receiver.Search(position, list, strength, move, milliseconds)) {
        state.SkipWithError("the search did not answer");
        break;
      }
      nodes += LastSearchStatistics().nodes;
      ++moves;
      slowest = std::max(slowest, milliseconds);
      total += milliseconds;
    }
  }
  ReleaseMoveList(list);
  ReleaseSearch();
  state.SetItemsProcessed(static_cast<int64_t>(moves));
  state.counters["nodes/s"] =
      benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
  state.counters["ms/move"] = moves ? total / static_cast<double>(moves) : 0;
  state.counters["max ms"] = slowest;
  state.SetLabel(phase == kPhases ? "all 24 positions" : kPhaseNames[phase]);
}
BENCHMARK(BM_ComputerMove)
    ->ArgNames({"strength", "phase"})
    ->ArgsProduct({{kStrengthLow, kStrengthMedium, kStrengthHigh},
                   {kOpening, kMiddle, kEnd, kPhases}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
