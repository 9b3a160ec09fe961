#pragma once
// The board of the pyramid game and its rules: which pieces are free, which
// positions can receive a piece, which moves complete a formation, who has
// won, and the list of every legal move of the side to move.
//
// Positions are numbered 1-30 layer by layer from the bottom (16 + 9 + 4 + 1);
// a board question is a few look-ups in the constant tables below on 32-bit
// masks, never a loop over positions, because the computer's search asks them
// at every node.

#include <array>
#include <cstdint>

// A set of board positions, bit p for position p. Bits 0 and 31 are never set
// in a colour's mask.
using PositionMask = uint32_t;

constexpr int32_t TopPosition = 30;

// Indexed by position; entries 0 and 31 hold -1. Levels count down from the
// base (3) to the top (0).
extern const std::array<int32_t, 32> PositionColumn;
extern const std::array<int32_t, 32> PositionRow;
extern const std::array<int32_t, 32> PositionLevel;

// Entry i: every position beneath positions 16 + k (BelowByByte2) or 24 + k
// (BelowByByte3) for each bit k of i, indexed by byte 2 or 3 of a mask.
extern const std::array<PositionMask, 256> BelowByByte2;
extern const std::array<PositionMask, 256> BelowByByte3;
// AboveByByte[k][i]: every position above position 8k + b for each bit b of i.
extern const std::array<std::array<PositionMask, 256>, 4> AboveByByte;
// Six formations through each position: four 2 x 2 squares (corner at
// (x-1, y-1), (x, y-1), (x-1, y), (x, y)), the row and the column. A formation
// that does not exist holds 0xFFFFFFFF, which no colour's mask can contain.
extern const std::array<std::array<PositionMask, 6>, 31> FormationMasks;

// The mask of one position; empty for numbers that name no bit.
constexpr PositionMask PositionBit(uint32_t position) {
  return position < 32 ? PositionMask{1} << position : 0;
}

// The pieces of own on which no occupied position rests, directly or not.
inline PositionMask FreePieces(PositionMask own, PositionMask occupied) {
  return own & ~BelowByByte2[(occupied >> 16) & 0xFF] & ~BelowByByte3[occupied >> 24];
}

// The empty positions with no empty position beneath them.
inline PositionMask ReceivablePositions(PositionMask occupied) {
  PositionMask empty = ~occupied;
  PositionMask aboveEmpty = AboveByByte[0][empty & 0xFF] | AboveByByte[1][(empty >> 8) & 0xFF] |
                            AboveByByte[2][(empty >> 16) & 0xFF] | AboveByByte[3][empty >> 24];
  return empty & ~aboveEmpty & 0x7FFFFFFE;
}

// Whether ownAfter, the mover's mask after a move to position to, holds a
// whole formation through to. Only formations through the destination count.
inline bool CompletesFormation(PositionMask ownAfter, int32_t to) {
  if (to < 0 || to > TopPosition) return false;
  for (PositionMask formation : FormationMasks[to]) {
    if ((ownAfter & formation) == formation) return true;
  }
  return false;
}

// 1 or 2 for the side holding the top position, 0 while the game goes on.
inline int32_t WinnerOf(PositionMask mask1, PositionMask mask2) {
  if (mask1 & PositionBit(TopPosition)) return 1;
  if (mask2 & PositionBit(TopPosition)) return 2;
  return 0;
}

// A position of the game; also stored as it stands in the saved game.
struct BoardPosition {
  PositionMask mask1;  // positions held by side 1 (black, moves first)
  PositionMask mask2;  // positions held by side 2
  int32_t side;        // side to move: 1 or 2
  int32_t hand1;       // pieces in side 1's hand
  int32_t hand2;       // pieces in side 2's hand
};
static_assert(sizeof(BoardPosition) == 20);

constexpr int32_t kBaseEntry = 0;
constexpr int32_t kPairEntry = 1;

// One entry of a LegalMoveList. A base entry is a placement (from 0) or a
// raise; when it completes a formation, takeA is its free set: the mover's
// free pieces after the move, each of which may be taken back, alone or with
// a second one. A pair entry follows its base entry and names a second
// take-back that only becomes free once the first (takeA) is gone.
struct LegalMove {
  uint32_t from;  // 0 when the piece comes from the hand
  int32_t to;
  int32_t kind;    // kBaseEntry or kPairEntry
  uint32_t takeA;  // base entry: free set or 0; pair entry: first take-back
  uint32_t takeB;  // base entry: 0; pair entry: second take-back
};
static_assert(sizeof(LegalMove) == 20);

// The legal moves of one position. The storage is a memory manager block
// that survives from one generation to the next and grows by 128 entries
// when full; on the original 32-bit layout the header took 12 bytes.
struct LegalMoveList {
  LegalMove* storage;  // owned; null until the first entry, freed by ReleaseMoveList
  uint32_t count;
  uint32_t capacity;
};
static_assert(sizeof(LegalMoveList) == sizeof(void*) + 8);

// A move as it travels between the search, the stylus input and the game
// flow. A move with to, from and both take-backs 0 is a pass.
struct MOVE {
  BoardPosition image;  // read by no consumer of the move; zeros when built by the stylus
  uint32_t from;        // 0 = from the hand
  uint32_t to;          // 0 = a pass
  uint32_t takeBack1;   // 0 = none
  uint32_t takeBack2;   // 0 = none
};
static_assert(sizeof(MOVE) == 36);

// Fills list with every legal move of the side to move: all raises (by
// source, then destination), then all placements (by destination), each base
// entry followed by its pair entries. Empty when the game is over or the side
// must pass. An entry whose storage cannot be had is left out.
void GenerateMoves(LegalMoveList& list, const BoardPosition& position);

// The first base entry moving from -> to, or null.
const LegalMove* FindMove(const LegalMoveList& list, uint32_t from, uint32_t to);

// Whether move, with its take-backs, is one of the moves in list.
bool IsLegalMove(const LegalMoveList& list, const MOVE& move);

// The number of take-back choices still open for a move whose from and to are
// chosen, given the take-backs chosen so far; candidate 0 counts them all,
// a position counts those that take that piece next.
int32_t CountTakeBackOptions(const LegalMoveList& list, const MOVE& move, uint32_t candidate);

// Makes destination hold source's entries. Returns false, with destination
// empty, when its storage cannot grow.
bool CopyMoveList(LegalMoveList& destination, const LegalMoveList& source);

// Frees the storage and clears all three fields.
void ReleaseMoveList(LegalMoveList& list);
