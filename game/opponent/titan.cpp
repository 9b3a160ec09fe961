#include "game/opponent/titan.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <utility>

#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"
#include "game/flow/sequencer.h"
#include "platform/thread.h"

namespace {

constexpr int32_t kWinScore = 200000;
constexpr int32_t kOutsideScore = 200001;  // beyond every score: the open bounds
constexpr int32_t kPieceScore = 100;
constexpr int32_t kDeepestDepth = 6;
constexpr int32_t kShuffledEntries = 21;

// What one node of the tree settled on: the list entry and take-backs of its
// best variant, and that variant's score.
struct NodeBest {
  int32_t index;
  uint32_t takeBack1;
  uint32_t takeBack2;
  int32_t score;
};

// The one search there is. Only the search thread touches the position, the
// lists and the best move while it runs; the flags are shared with the
// window's thread under the critical section, except that the stop flag is
// also read without it at every node.
struct SearchState {
  int32_t rootSide = 1;
  int32_t maximumDepth = 4;
  BoardPosition position{};
  // The root list and one list per depth 1-5; their storage persists.
  LegalMoveList lists[kDeepestDepth]{};
  NodeBest best{-1, 0, 0, 0};
  uint64_t nodes = 0;
  WindowHandle window;
  ThreadHandle thread;

  std::atomic<bool> stop{false};
  bool running = false;
  bool request = false;
  bool shuffle = true;
  SearchStatistics statistics{0, 0};

  CriticalSection section;
  EventHandle finished;
};

SearchState search;

// The critical section is a static object; the event is made on first use.
void EnsureFinishEvent() {
  CriticalSectionLock lock(search.section);
  if (!search.finished) search.finished = CreateEventHandle(EventReset::Automatic, false);
}

int32_t Opponent(int32_t side) {
  return side == 1 ? 2 : 1;
}

bool SearchNode(int32_t depth, int32_t side, bool minimizing, int32_t alpha, int32_t beta,
                const BoardPosition& position, NodeBest& best);

// The state of one SearchNode shared by the variants it tries.
struct Node {
  int32_t depth;
  int32_t side;
  bool minimizing;
  int32_t alpha;
  int32_t beta;
  const BoardPosition& position;
  NodeBest& best;
  bool cutoff;
};

int32_t Evaluate(const BoardPosition& position) {
  int32_t winner = WinnerOf(position.mask1, position.mask2);
  if (winner != 0) return winner == search.rootSide ? kWinScore : -kWinScore;
  int32_t own = search.rootSide == 1 ? position.hand1 : position.hand2;
  int32_t other = search.rootSide == 1 ? position.hand2 : position.hand1;
  return kPieceScore * (own - other);
}

// Plays one variant of entry index and keeps it when it beats the node's
// best so far. False when the search was stopped below.
bool TryMove(Node& node, int32_t index, uint32_t from, uint32_t to, uint32_t takeBack1,
             uint32_t takeBack2) {
  ++search.nodes;
  BoardPosition after = node.position;
  MOVE move{};
  move.from = from;
  move.to = to;
  move.takeBack1 = takeBack1;
  move.takeBack2 = takeBack2;
  ApplyMove(after, move);

  int32_t score;
  if (node.depth + 1 < search.maximumDepth) {
    LegalMoveList& replies = search.lists[node.depth + 1];
    GenerateMoves(replies, after);
    if (replies.count == 0) {
      // The side that just moved has won, or has left the other side to
      // pass: either counts as a win for it.
      score = node.side == search.rootSide ? kWinScore : -kWinScore;
    } else {
      int32_t alpha = node.minimizing ? -kOutsideScore : node.best.score;
      int32_t beta = node.minimizing ? node.best.score : kOutsideScore;
      NodeBest reply;
      if (!SearchNode(node.depth + 1, Opponent(node.side), !node.minimizing, alpha, beta, after,
                      reply)) {
        return false;
      }
      score = reply.score;
    }
  } else {
    score = Evaluate(after);
  }

  bool better = node.minimizing ? score < node.best.score : score > node.best.score;
  if (node.best.index == -1 || better) {
    node.best = {index, takeBack1, takeBack2, score};
    if (score <= node.alpha || score >= node.beta) node.cutoff = true;
  }
  return true;
}

// Pops the lowest position of a mask.
uint32_t TakeLowest(PositionMask& mask) {
  uint32_t position = static_cast<uint32_t>(std::countr_zero(mask));
  mask &= mask - 1;
  return position;
}

// Tries every variant of the entries of the list of this depth, in list
// order, until one reply reaches the bound handed down. Deeper than one ply
// below the root only the first pair of take-backs is tried, and no pair
// entry once a pair has been: take-backs multiply the branching.
bool SearchNode(int32_t depth, int32_t side, bool minimizing, int32_t alpha, int32_t beta,
                const BoardPosition& position, NodeBest& best) {
  if (search.stop.load(std::memory_order_relaxed)) return false;
  best = {-1, 0, 0, minimizing ? kOutsideScore : -kOutsideScore};
  Node node{depth, side, minimizing, alpha, beta, position, best, false};
  bool pairEntriesAllowed = true;
  bool opponentHolds = (side == 1 ? position.hand2 : position.hand1) != 0;
  const LegalMoveList& list = search.lists[depth];

  for (uint32_t i = 0; i < list.count && !node.cutoff; ++i) {
    const LegalMove entry = list.storage[i];
    int32_t index = static_cast<int32_t>(i);
    uint32_t to = static_cast<uint32_t>(entry.to);
    if (entry.kind == kPairEntry) {
      if (!opponentHolds || !pairEntriesAllowed) continue;
      if (!TryMove(node, index, entry.from, to, entry.takeA, entry.takeB)) return false;
      if (depth >= 2) pairEntriesAllowed = false;
      continue;
    }
    if (!TryMove(node, index, entry.from, to, 0, 0)) return false;
    if (entry.takeA == 0 || !opponentHolds) continue;
    bool firstPairTried = false;
    for (PositionMask firsts = entry.takeA; firsts && !firstPairTried;) {
      uint32_t first = TakeLowest(firsts);
      if (!TryMove(node, index, entry.from, to, first, 0)) return false;
      for (PositionMask seconds = firsts; seconds;) {
        if (!TryMove(node, index, entry.from, to, first, TakeLowest(seconds))) return false;
        if (depth >= 2) {
          pairEntriesAllowed = false;
          firstPairTried = true;
          break;
        }
      }
    }
  }
  return best.index != -1;
}

uint32_t SearchThread(void*) {
  NodeBest best;
  search.nodes = 0;
  bool completed =
      SearchNode(0, search.rootSide, false, -kOutsideScore, kOutsideScore, search.position, best);
  if (!completed) search.stop.store(true);
  search.best = completed ? best : NodeBest{-1, 0, 0, 0};

  CriticalSectionLock lock(search.section);
  if (!search.stop.load() && search.best.index != -1) {
    const LegalMove& entry = search.lists[0].storage[search.best.index];
    MOVE* move = MEM_NEW(MOVE, "MOVE");
    if (move) {
      move->image = search.position;
      move->from = entry.from;
      move->to = static_cast<uint32_t>(entry.to);
      move->takeBack1 = search.best.takeBack1;
      move->takeBack2 = search.best.takeBack2;
      search.statistics = {search.best.score, search.nodes};
      // The window may have gone while the search ran; then nobody else
      // would free the move.
      if (!PostWindowMessage(search.window, kMessageCommand,
                             MakeWordParameter(kCommandComputerMove, 0),
                             reinterpret_cast<MessageLong>(move))) {
        MEM_DELETE(move);
      }
    } else {
      DebugTrace("SearchThread could not allocate the MOVE of its result");
    }
  }
  search.running = false;
  SignalEvent(search.finished);
  return 0;
}

}  // namespace

bool StartSearch(WindowHandle window, const BoardPosition& position, const LegalMoveList& list,
                 int32_t strength) {
  if (list.count == 0 || !list.storage) {
    DebugTrace("StartSearch called with an empty move list (LegalMoveList 0x%08lX)", &list);
    return false;
  }
  if (strength < kStrengthLow || strength > kStrengthHigh) {
    DebugTrace("StartSearch called with invalid strength %ld", strength);
    return false;
  }
  StopSearch();
  {
    CriticalSectionLock lock(search.section);
    search.stop.store(false);
    search.running = true;
  }
  search.maximumDepth = 4 + strength;
  search.position = position;
  search.rootSide = position.side;
  search.window = window;
  if (!CopyMoveList(search.lists[0], list)) {
    DebugTrace("StartSearch could not copy the move list (LegalMoveList 0x%08lX)", &list);
    CriticalSectionLock lock(search.section);
    search.running = false;
    return false;
  }
  if (search.shuffle) ShuffleRootList(search.lists[0]);
  search.best = {-1, 0, 0, 0};
  search.thread = StartThread(SearchThread, nullptr);
  if (!search.thread) {
    DebugTrace("StartSearch could not start the search thread");
    CriticalSectionLock lock(search.section);
    search.running = false;
    return false;
  }
  return true;
}

void StopSearch() {
  EnsureFinishEvent();
  search.section.Enter();
  search.stop.store(true);
  if (search.running) {
    search.section.Leave();
    WaitForEvent(search.finished, kWaitForever);
  } else {
    search.section.Leave();
  }
  ClearEvent(search.finished);
  // The thread sets the event just before it returns; waiting for its end
  // as well means no search code runs once this returns.
  if (search.thread) {
    WaitForThreadEnd(search.thread, kWaitForever);
    CloseThreadHandle(search.thread);
    search.thread = {};
  }
}

bool IsSearchRunning() {
  CriticalSectionLock lock(search.section);
  return search.running;
}

void ReleaseSearch() {
  StopSearch();
  for (LegalMoveList& list : search.lists) ReleaseMoveList(list);
}

// Only the first entries take part, and each is exchanged with a later one,
// so that equally good moves are not always met in the same order.
void ShuffleRootList(LegalMoveList& list) {
  uint32_t count = list.count;
  if (count < 2) return;
  int32_t last = static_cast<int32_t>(std::min<uint32_t>(count, kShuffledEntries)) - 1;
  for (int32_t i = 0; i < last; ++i) {
    int32_t j = i + 1 + std::rand() % (last - i);
    std::swap(list.storage[i], list.storage[j]);
  }
}

void RaiseSearchRequest() {
  CriticalSectionLock lock(search.section);
  search.request = true;
}

bool TakeSearchRequest() {
  CriticalSectionLock lock(search.section);
  return std::exchange(search.request, false);
}

void SetRootShuffle(bool enabled) {
  search.shuffle = enabled;
}

SearchStatistics LastSearchStatistics() {
  CriticalSectionLock lock(search.section);
  return search.statistics;
}
