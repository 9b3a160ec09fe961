#include "game/flow/sequencer.h"

void ApplyMove(BoardPosition& position, const MOVE& move) {
  PositionMask& own = position.side == 1 ? position.mask1 : position.mask2;
  int32_t& hand = position.side == 1 ? position.hand1 : position.hand2;
  if (move.from != 0) {
    own &= ~PositionBit(move.from);
  } else if (move.to != 0) {
    --hand;
  }
  if (move.to != 0) own |= PositionBit(move.to);
  if (move.takeBack1 != 0) {
    own &= ~PositionBit(move.takeBack1);
    ++hand;
  }
  if (move.takeBack2 != 0) {
    own &= ~PositionBit(move.takeBack2);
    ++hand;
  }
  position.side = position.side == 1 ? 2 : 1;
}
