#pragma once
// The computer opponent: a fixed-depth minimax search with shallow pruning,
// run on a thread of its own for each of the computer's turns while the
// window's thread keeps animating. The only measure of a position is the
// difference in pieces held in hand; a won game outweighs any difference.
//
// The game flow tells the search everything it needs when it starts one: the
// window that receives the result, the position, its legal move list and the
// strength. The search works on its own copies of them, so the flow may go on
// changing the game while it runs. The result arrives on the window's thread
// as kMessageCommand with the word kCommandComputerMove and, in the long
// parameter, a MOVE allocated with MEM_NEW (tag "MOVE"): its from, to and
// take-backs are the chosen move, its position image the position it was
// chosen for. The receiver frees it with MEM_DELETE.

#include <cstdint>

#include "game/rules/rules.h"
#include "platform/window.h"

constexpr uint16_t kCommandComputerMove = 1029;

// The strengths of the settings; they search 4, 5 and 6 plies, the first of
// which is the computer's own move.
constexpr int32_t kStrengthLow = 0;
constexpr int32_t kStrengthMedium = 1;
constexpr int32_t kStrengthHigh = 2;

// Stops any search still running, then searches position (whose side to move
// is the computer) over a copy of list, the position's legal moves as
// GenerateMoves made them. Before the search the first 21 entries of the
// copy are shuffled with rand, seeded once by the program, because the
// search keeps the first of equally good moves. False, with nothing started,
// for an empty list, a strength other than 0-2, or when no thread can start.
bool StartSearch(WindowHandle window, const BoardPosition& position, const LegalMoveList& list,
                 int32_t strength);

// Returns only when no search thread runs. A search stopped here posts
// nothing, and the next StartSearch begins at once. A result posted just
// before the stop may still wait in the window's queue: its position image
// tells it from a result for the game as it now stands.
void StopSearch();

// True from StartSearch until the search has posted its move or stopped.
bool IsSearchRunning();

// At program end: stops the search and frees the storage of its move lists,
// which otherwise persists from one search to the next.
void ReleaseSearch();

// The start request that the computer's turn event raises and the frame loop
// takes once the next frame has been drawn. TakeSearchRequest clears it and
// tells whether it was raised.
void RaiseSearchRequest();
bool TakeSearchRequest();

// The shuffle StartSearch applies to its copy of the list: each of the first
// min(count, 21) - 1 entries is exchanged with a later one among the first
// 21, chosen with rand. Entries from index 21 on keep their order.
void ShuffleRootList(LegalMoveList& list);

// For analysis and tests: with the shuffle off the root list keeps the order
// in which it was handed over. The game never turns it off.
void SetRootShuffle(bool enabled);

// What the last search that posted a move found: the chosen move's score
// (+200000 a win, -200000 a loss, else 100 x the hand difference of the side
// to move over its opponent) and the number of move variants it tried.
struct SearchStatistics {
  int32_t score;
  uint64_t nodes;
};
SearchStatistics LastSearchStatistics();
