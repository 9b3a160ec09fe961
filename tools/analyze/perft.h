#pragma once
// Counting move sequences: the standard check that move generation and
// application agree with known totals, and a measure of their speed.

#include <cstdint>

#include "game/rules/rules.h"

// The number of move sequences of length depth from position. One move is one
// complete MOVE: a base entry without take-back, with each single take-back
// of its free set, with each unordered pair of different pieces of its free
// set, and each pair entry. A side without legal moves in an unfinished game
// makes one pass; a finished game ends its sequences, so it adds nothing to
// lengths it did not reach.
uint64_t Perft(const BoardPosition& position, int32_t depth);
