#include "game/rules/rules.h"

#include <bit>

#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"

namespace {

// The tables are worked out from the pyramid's geometry by the compiler, so
// they hold no hand-typed numbers.

struct Layer {
  int32_t width;
  int32_t first;
};
constexpr Layer kLayers[4] = {{4, 1}, {3, 17}, {2, 26}, {1, 30}};  // from the base up

constexpr int32_t LayerOf(int32_t position) {
  for (int32_t layer = 3; layer >= 0; --layer) {
    if (position >= kLayers[layer].first) return layer;
  }
  return -1;
}

constexpr int32_t PositionAt(int32_t layer, int32_t x, int32_t y) {
  return kLayers[layer].first + x + kLayers[layer].width * y;
}

constexpr bool IsBoardPosition(int32_t position) {
  return position >= 1 && position <= TopPosition;
}

constexpr PositionMask Beneath(int32_t position) {
  int32_t layer = LayerOf(position);
  if (layer <= 0) return 0;
  int32_t offset = position - kLayers[layer].first;
  int32_t x = offset % kLayers[layer].width;
  int32_t y = offset / kLayers[layer].width;
  PositionMask beneath = 0;
  for (int32_t dy = 0; dy < 2; ++dy) {
    for (int32_t dx = 0; dx < 2; ++dx) {
      int32_t under = PositionAt(layer - 1, x + dx, y + dy);
      beneath |= PositionBit(under) | Beneath(under);
    }
  }
  return beneath;
}

constexpr PositionMask Above(int32_t position) {
  PositionMask above = 0;
  for (int32_t other = 1; other <= TopPosition; ++other) {
    if (Beneath(other) & PositionBit(position)) above |= PositionBit(other);
  }
  return above;
}

enum class Coordinate { Column, Row, Level };

constexpr std::array<int32_t, 32> MakeCoordinateTable(Coordinate coordinate) {
  std::array<int32_t, 32> table{};
  for (int32_t position = 0; position < 32; ++position) {
    if (!IsBoardPosition(position)) {
      table[position] = -1;
      continue;
    }
    int32_t layer = LayerOf(position);
    int32_t offset = position - kLayers[layer].first;
    switch (coordinate) {
      case Coordinate::Column:
        table[position] = offset % kLayers[layer].width;
        break;
      case Coordinate::Row:
        table[position] = offset / kLayers[layer].width;
        break;
      case Coordinate::Level:
        table[position] = 3 - layer;
        break;
    }
  }
  return table;
}

constexpr std::array<PositionMask, 256> MakeBelowByByte(int32_t firstPosition) {
  std::array<PositionMask, 8> beneath{};
  for (int32_t bit = 0; bit < 8; ++bit) {
    if (IsBoardPosition(firstPosition + bit)) beneath[bit] = Beneath(firstPosition + bit);
  }
  std::array<PositionMask, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    for (int32_t bit = 0; bit < 8; ++bit) {
      if (byte >> bit & 1) table[byte] |= beneath[bit];
    }
  }
  return table;
}

constexpr std::array<std::array<PositionMask, 256>, 4> MakeAboveByByte() {
  std::array<PositionMask, 32> above{};
  for (int32_t position = 1; position <= TopPosition; ++position) above[position] = Above(position);
  std::array<std::array<PositionMask, 256>, 4> tables{};
  for (int32_t k = 0; k < 4; ++k) {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      for (int32_t bit = 0; bit < 8; ++bit) {
        if (byte >> bit & 1) tables[k][byte] |= above[8 * k + bit];
      }
    }
  }
  return tables;
}

constexpr PositionMask kAbsentFormation = 0xFFFFFFFF;

constexpr PositionMask Square(int32_t layer, int32_t cornerX, int32_t cornerY) {
  int32_t width = kLayers[layer].width;
  if (cornerX < 0 || cornerY < 0 || cornerX + 1 >= width || cornerY + 1 >= width) {
    return kAbsentFormation;
  }
  PositionMask square = 0;
  for (int32_t dy = 0; dy < 2; ++dy) {
    for (int32_t dx = 0; dx < 2; ++dx)
      square |= PositionBit(PositionAt(layer, cornerX + dx, cornerY + dy));
  }
  return square;
}

// Edge-to-edge lines count only where they are at least three long: on the
// base and the second layer.
constexpr PositionMask Line(int32_t layer, int32_t x, int32_t y, bool row) {
  int32_t width = kLayers[layer].width;
  if (width < 3) return kAbsentFormation;
  PositionMask line = 0;
  for (int32_t i = 0; i < width; ++i)
    line |= PositionBit(row ? PositionAt(layer, i, y) : PositionAt(layer, x, i));
  return line;
}

constexpr std::array<std::array<PositionMask, 6>, 31> MakeFormationMasks() {
  std::array<std::array<PositionMask, 6>, 31> table{};
  for (int32_t position = 0; position <= TopPosition; ++position) {
    table[position].fill(kAbsentFormation);
    int32_t layer = LayerOf(position);
    if (layer < 0 || layer == 3) continue;
    int32_t offset = position - kLayers[layer].first;
    int32_t x = offset % kLayers[layer].width;
    int32_t y = offset / kLayers[layer].width;
    table[position] = {Square(layer, x - 1, y - 1), Square(layer, x, y - 1),
                       Square(layer, x - 1, y),     Square(layer, x, y),
                       Line(layer, x, y, true),     Line(layer, x, y, false)};
  }
  return table;
}

}  // namespace

constinit const std::array<int32_t, 32> PositionColumn = MakeCoordinateTable(Coordinate::Column);
constinit const std::array<int32_t, 32> PositionRow = MakeCoordinateTable(Coordinate::Row);
constinit const std::array<int32_t, 32> PositionLevel = MakeCoordinateTable(Coordinate::Level);
constinit const std::array<PositionMask, 256> BelowByByte2 = MakeBelowByByte(16);
constinit const std::array<PositionMask, 256> BelowByByte3 = MakeBelowByByte(24);
constinit const std::array<std::array<PositionMask, 256>, 4> AboveByByte = MakeAboveByByte();
constinit const std::array<std::array<PositionMask, 6>, 31> FormationMasks = MakeFormationMasks();

namespace {

constexpr uint32_t kMoveListStep = 128;

// Room for one more entry; false when the storage cannot grow.
bool MakeRoom(LegalMoveList& list) {
  if (list.count < list.capacity) return true;
  return MEM_GROW(list.storage, list.capacity, list.count + 1, kMoveListStep);
}

LegalMove* Append(LegalMoveList& list, const LegalMove& entry) {
  if (!MakeRoom(list)) return nullptr;
  LegalMove* slot = &list.storage[list.count++];
  *slot = entry;
  return slot;
}

// Pops the lowest position of a mask.
uint32_t TakeLowest(PositionMask& mask) {
  uint32_t position = static_cast<uint32_t>(std::countr_zero(mask));
  mask &= mask - 1;
  return position;
}

void AppendMove(LegalMoveList& list, PositionMask own, PositionMask occupied, uint32_t from,
                uint32_t to) {
  LegalMove* base = Append(list, {from, static_cast<int32_t>(to), kBaseEntry, 0, 0});
  if (!base) return;
  // From 0 clears bit 0, which no mask holds.
  PositionMask ownAfter = (own & ~PositionBit(from)) | PositionBit(to);
  if (!CompletesFormation(ownAfter, static_cast<int32_t>(to))) return;
  PositionMask occupiedAfter = (occupied & ~PositionBit(from)) | PositionBit(to);
  PositionMask freeSet = FreePieces(ownAfter, occupiedAfter);
  base->takeA = freeSet;  // the pair entries below may move the storage: base is not used again

  for (PositionMask firsts = freeSet; firsts;) {
    uint32_t first = TakeLowest(firsts);
    PositionMask without = ~PositionBit(first);
    PositionMask freedLater = FreePieces(ownAfter & without, occupiedAfter & without);
    for (PositionMask seconds = freedLater & ~(freeSet & without); seconds;) {
      uint32_t second = TakeLowest(seconds);
      Append(list, {from, static_cast<int32_t>(to), kPairEntry, first, second});
    }
  }
}

bool HasPairEntry(const LegalMoveList& list, const LegalMove* base, uint32_t takeA,
                  uint32_t takeB) {
  const LegalMove* end = list.storage + list.count;
  for (const LegalMove* entry = base + 1; entry < end && entry->kind == kPairEntry; ++entry) {
    if (entry->takeA == takeA && entry->takeB == takeB) return true;
  }
  return false;
}

}  // namespace

void GenerateMoves(LegalMoveList& list, const BoardPosition& position) {
  list.count = 0;
  if (position.side != 1 && position.side != 2) {
    DebugTrace("GenerateMoves called with invalid side %ld (BoardPosition 0x%08lX)", position.side,
               &position);
    return;
  }
  if (WinnerOf(position.mask1, position.mask2)) return;
  PositionMask own = position.side == 1 ? position.mask1 : position.mask2;
  int32_t hand = position.side == 1 ? position.hand1 : position.hand2;
  PositionMask occupied = position.mask1 | position.mask2;

  constexpr PositionMask kRaisable = 0x03FFFFFE;    // the base and the second layer
  constexpr PositionMask kFromBase = 0x3FFE0000;    // 17-29
  constexpr PositionMask kFromSecond = 0x3C000000;  // 26-29
  constexpr PositionMask kPlacements = 0x7FFFFFFE;  // 1-30
  for (PositionMask sources = FreePieces(own, occupied) & kRaisable; sources;) {
    uint32_t from = TakeLowest(sources);
    PositionMask targets = PositionLevel[from] == 3 ? kFromBase : kFromSecond;
    targets &= ReceivablePositions(occupied & ~PositionBit(from));
    while (targets) AppendMove(list, own, occupied, from, TakeLowest(targets));
  }
  if (hand != 0) {
    for (PositionMask targets = ReceivablePositions(occupied) & kPlacements; targets;) {
      AppendMove(list, own, occupied, 0, TakeLowest(targets));
    }
  }
}

const LegalMove* FindMove(const LegalMoveList& list, uint32_t from, uint32_t to) {
  for (uint32_t i = 0; i < list.count; ++i) {
    const LegalMove& entry = list.storage[i];
    if (entry.kind == kBaseEntry && entry.from == from && static_cast<uint32_t>(entry.to) == to) {
      return &entry;
    }
  }
  return nullptr;
}

bool IsLegalMove(const LegalMoveList& list, const MOVE& move) {
  const LegalMove* base = FindMove(list, move.from, move.to);
  if (!base) return false;
  // Taking the same piece back twice would put two pieces in the hand for one
  // taken off the board.
  if (move.takeBack1 != 0 && move.takeBack1 == move.takeBack2) return false;
  bool firstFree = move.takeBack1 == 0 || (base->takeA & PositionBit(move.takeBack1));
  bool secondFree = move.takeBack2 == 0 || (base->takeA & PositionBit(move.takeBack2));
  if (firstFree && secondFree) return true;
  return HasPairEntry(list, base, move.takeBack1, move.takeBack2);
}

int32_t CountTakeBackOptions(const LegalMoveList& list, const MOVE& move, uint32_t candidate) {
  if (move.takeBack2 != 0) return 0;
  const LegalMove* base = FindMove(list, move.from, move.to);
  if (!base) return 0;
  uint32_t first = move.takeBack1;
  PositionMask remaining = base->takeA;
  remaining &= ~PositionBit(first);
  bool candidateFree = (remaining & PositionBit(candidate)) != 0;
  if (candidate != 0 && first == 0) return candidateFree ? 1 : 0;

  int32_t options = candidate == 0 ? std::popcount(remaining) : (candidateFree ? 1 : 0);
  const LegalMove* end = list.storage + list.count;
  for (const LegalMove* entry = base + 1; entry < end && entry->kind == kPairEntry; ++entry) {
    bool firstMatches = first == 0 || entry->takeA == first;
    bool candidateMatches = candidate == 0 || entry->takeB == candidate;
    if (firstMatches && candidateMatches) ++options;
  }
  return options;
}

bool CopyMoveList(LegalMoveList& destination, const LegalMoveList& source) {
  if (&destination == &source) return true;
  destination.count = 0;
  if (!source.storage || source.count == 0) return true;
  if (!MEM_GROW(destination.storage, destination.capacity, source.count, kMoveListStep)) {
    return false;
  }
  for (uint32_t i = 0; i < source.count; ++i) destination.storage[i] = source.storage[i];
  destination.count = source.count;
  return true;
}

void ReleaseMoveList(LegalMoveList& list) {
  if (list.storage) MEM_FREE(list.storage);
  list.storage = nullptr;
  list.count = 0;
  list.capacity = 0;
}
