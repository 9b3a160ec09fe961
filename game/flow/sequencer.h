#pragma once
// The game flow: the game in progress and the turns of its two sides.

#include "game/rules/rules.h"

// Applies move to position for the side to move and hands the turn to the
// other side. The move is not checked: callers apply only moves taken from
// the legal move list or accepted by IsLegalMove. A pass (from, to and both
// take-backs 0) only changes the side.
void ApplyMove(BoardPosition& position, const MOVE& move);
