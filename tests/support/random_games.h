#pragma once
// Random games from the start, for tests and benchmarks that want the
// positions real play meets. A fixed seed gives the same positions on every
// run, so a benchmark measures the same work each time.

#include <bit>
#include <cstdint>
#include <random>

#include "game/flow/sequencer.h"
#include "game/rules/rules.h"

// One entry of the list at random; an entry with single take-backs takes its
// lowest one half the time. An empty list gives an empty move (a pass).
inline MOVE RandomMove(const LegalMoveList& list, std::mt19937& random) {
  MOVE move{};
  if (list.count == 0) return move;
  const LegalMove& entry = list.storage[random() % list.count];
  move.from = entry.from;
  move.to = static_cast<uint32_t>(entry.to);
  if (entry.kind == kPairEntry) {
    move.takeBack1 = entry.takeA;
    move.takeBack2 = entry.takeB;
  } else if (entry.takeA != 0 && random() % 2) {
    move.takeBack1 = static_cast<uint32_t>(std::countr_zero(entry.takeA));
  }
  return move;
}

// Where a random game ends: at the first position with a winner (a side
// without moves passes), or at the first position without moves.
enum class RandomGameEnd { kAtWinner, kWithoutMoves };

// Plays random games of at most `plies` moves, one after another, and calls
// visit(position, ply) with each position before the move from it (with
// kAtWinner the winning position is visited too). Play stops when visit
// returns false.
template <class Visit>
void PlayRandomGames(std::mt19937& random, int plies, RandomGameEnd end, Visit visit) {
  LegalMoveList list{};
  for (bool more = true; more;) {
    BoardPosition position{0, 0, 1, 15, 15};
    for (int ply = 0; ply < plies; ++ply) {
      if (end == RandomGameEnd::kAtWinner) {
        if (!(more = visit(static_cast<const BoardPosition&>(position), ply))) break;
        if (WinnerOf(position.mask1, position.mask2)) break;
        GenerateMoves(list, position);
      } else {
        GenerateMoves(list, position);
        if (list.count == 0) break;
        if (!(more = visit(static_cast<const BoardPosition&>(position), ply))) break;
      }
      ApplyMove(position, RandomMove(list, random));
    }
  }
  ReleaseMoveList(list);
}
