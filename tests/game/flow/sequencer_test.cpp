#include "game/flow/sequencer.h"

#include <gtest/gtest.h>

namespace {

MOVE Move(uint32_t from, uint32_t to, uint32_t take1 = 0, uint32_t take2 = 0) {
  MOVE move{};
  move.from = from;
  move.to = to;
  move.takeBack1 = take1;
  move.takeBack2 = take2;
  return move;
}

TEST(ApplyMove, ChangesOnlyTheMoverAndPassesTheTurn) {
  struct Case {
    const char* name;
    BoardPosition before;
    MOVE move;
    BoardPosition after;
  };
  // Side 1 holds 1, 2, 3, 5, 6, 7 and 17; side 2 holds 9 and 10.
  const BoardPosition row{0x200EE, 0x600, 1, 8, 13};
  const Case cases[] = {
      {"placement", {0, 0, 1, 15, 15}, Move(0, 1), {0x2, 0, 2, 14, 15}},
      {"placement by side 2", {0x2, 0, 2, 14, 15}, Move(0, 6), {0x2, 0x40, 1, 14, 14}},
      {"raise keeps the hand", {0x1FFFE, 0, 1, 0, 15}, Move(16, 17), {0x2FFFE, 0, 2, 0, 15}},
      // Two take-backs after a placement: one piece more in hand than before.
      {"placement with two take-backs", row, Move(0, 4, 17, 1), {0xFC, 0x600, 2, 9, 13}},
      {"raise with one take-back", row, Move(7, 20, 3), {0x120066, 0x600, 2, 9, 13}},
      {"pass", row, Move(0, 0), {0x200EE, 0x600, 2, 8, 13}},
      {"pass by side 2", {0x200EE, 0x600, 2, 8, 0}, Move(0, 0), {0x200EE, 0x600, 1, 8, 0}},
  };
  for (const Case& c : cases) {
    BoardPosition position = c.before;
    ApplyMove(position, c.move);
    EXPECT_EQ(position.mask1, c.after.mask1) << c.name;
    EXPECT_EQ(position.mask2, c.after.mask2) << c.name;
    EXPECT_EQ(position.side, c.after.side) << c.name;
    EXPECT_EQ(position.hand1, c.after.hand1) << c.name;
    EXPECT_EQ(position.hand2, c.after.hand2) << c.name;
  }
}

}  // namespace
