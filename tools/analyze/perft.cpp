#include "tools/analyze/perft.h"

#include <bit>
#include <cstddef>
#include <vector>

#include "game/flow/sequencer.h"

namespace {

// One list per remaining depth, so that generation reuses its storage.
class ListsByDepth {
 public:
  explicit ListsByDepth(int32_t depth) : lists_(static_cast<size_t>(depth) + 1) {}
  ~ListsByDepth() {
    for (LegalMoveList& list : lists_) ReleaseMoveList(list);
  }
  ListsByDepth(const ListsByDepth&) = delete;
  ListsByDepth& operator=(const ListsByDepth&) = delete;
  LegalMoveList& operator[](int32_t depth) { return lists_[static_cast<size_t>(depth)]; }

 private:
  std::vector<LegalMoveList> lists_;
};

// The number of complete moves a list entry stands for.
uint64_t VariantCount(const LegalMove& entry) {
  if (entry.kind == kPairEntry) return 1;
  uint64_t free = static_cast<uint64_t>(std::popcount(entry.takeA));
  if (free == 0) return 1;
  return 1 + free + free * (free - 1) / 2;
}

template <class Visit>
void ForEachVariant(const LegalMove& entry, Visit visit) {
  MOVE move{};
  move.from = entry.from;
  move.to = static_cast<uint32_t>(entry.to);
  if (entry.kind == kPairEntry) {
    move.takeBack1 = entry.takeA;
    move.takeBack2 = entry.takeB;
    visit(move);
    return;
  }
  visit(move);
  for (uint32_t first = 1; first <= static_cast<uint32_t>(TopPosition); ++first) {
    if (!(entry.takeA & PositionBit(first))) continue;
    move.takeBack1 = first;
    move.takeBack2 = 0;
    visit(move);
    for (uint32_t second = first + 1; second <= static_cast<uint32_t>(TopPosition); ++second) {
      if (!(entry.takeA & PositionBit(second))) continue;
      move.takeBack2 = second;
      visit(move);
    }
  }
}

uint64_t Count(ListsByDepth& lists, const BoardPosition& position, int32_t depth) {
  if (depth == 0) return 1;
  if (WinnerOf(position.mask1, position.mask2)) return 0;
  LegalMoveList& list = lists[depth];
  GenerateMoves(list, position);
  if (list.count == 0) {
    BoardPosition passed = position;
    ApplyMove(passed, MOVE{});
    return Count(lists, passed, depth - 1);
  }
  uint64_t total = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    const LegalMove& entry = list.storage[i];
    if (depth == 1) {
      total += VariantCount(entry);
      continue;
    }
    ForEachVariant(entry, [&](const MOVE& move) {
      BoardPosition next = position;
      ApplyMove(next, move);
      total += Count(lists, next, depth - 1);
    });
  }
  return total;
}

}  // namespace

uint64_t Perft(const BoardPosition& position, int32_t depth) {
  if (depth < 0) return 0;
  ListsByDepth lists(depth);
  return Count(lists, position, depth);
}
