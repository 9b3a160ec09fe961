#include "game/rules/rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"
#include "game/flow/sequencer.h"

bool operator==(const LegalMove& a, const LegalMove& b) {
  return a.from == b.from && a.to == b.to && a.kind == b.kind && a.takeA == b.takeA &&
         a.takeB == b.takeB;
}

std::ostream& operator<<(std::ostream& out, const LegalMove& m) {
  return out << "(" << m.from << " " << m.to << " " << m.kind << " 0x" << std::hex << m.takeA
             << std::dec << " " << m.takeB << ")";
}

namespace {

PositionMask Mask(std::initializer_list<uint32_t> positions) {
  PositionMask mask = 0;
  for (uint32_t position : positions) mask |= PositionBit(position);
  return mask;
}

// ---------------------------------------------------------------------------
// A plain statement of the rules from the pyramid's coordinates: slow loops,
// no tables, written to be read rather than to be fast. The engine must agree
// with it on every position.

namespace reference {

constexpr int kWidths[4] = {4, 3, 2, 1};

struct Place {
  int layer;  // 0 = base
  int x;
  int y;
};

Place PlaceOf(int position) {
  int first = 1;
  for (int layer = 0; layer < 4; ++layer) {
    int width = kWidths[layer];
    if (position < first + width * width) {
      return {layer, (position - first) % width, (position - first) / width};
    }
    first += width * width;
  }
  return {-1, 0, 0};
}

bool RestsOn(int upper, int lower) {
  Place u = PlaceOf(upper);
  Place l = PlaceOf(lower);
  return l.layer == u.layer - 1 && (l.x == u.x || l.x == u.x + 1) && (l.y == u.y || l.y == u.y + 1);
}

bool IsAbove(int upper, int lower) {
  if (RestsOn(upper, lower)) return true;
  for (int middle = 1; middle <= 30; ++middle) {
    if (RestsOn(upper, middle) && IsAbove(middle, lower)) return true;
  }
  return false;
}

bool Has(PositionMask mask, int position) {
  return (mask >> position) & 1;
}

struct Relation {
  bool above[31][31] = {};
  Relation() {
    for (int upper = 1; upper <= 30; ++upper) {
      for (int lower = 1; lower <= 30; ++lower) above[upper][lower] = IsAbove(upper, lower);
    }
  }
};
const Relation& Relations() {
  static const Relation relation;
  return relation;
}

bool IsFree(PositionMask own, PositionMask occupied, int position) {
  if (!Has(own, position)) return false;
  for (int other = 1; other <= 30; ++other) {
    if (Has(occupied, other) && Relations().above[other][position]) return false;
  }
  return true;
}

bool IsReceivable(PositionMask occupied, int position) {
  if (Has(occupied, position)) return false;
  for (int under = 1; under <= 30; ++under) {
    if (RestsOn(position, under) && !Has(occupied, under)) return false;
  }
  return true;
}

PositionMask Free(PositionMask own, PositionMask occupied) {
  PositionMask result = 0;
  for (int p = 1; p <= 30; ++p) {
    if (IsFree(own, occupied, p)) result |= PositionBit(p);
  }
  return result;
}

PositionMask Receivable(PositionMask occupied) {
  PositionMask result = 0;
  for (int p = 1; p <= 30; ++p) {
    if (IsReceivable(occupied, p)) result |= PositionBit(p);
  }
  return result;
}

// Every 2 x 2 square of every layer, and the edge-to-edge rows and columns of
// the layers that are at least three wide.
std::vector<PositionMask> Formations() {
  std::vector<PositionMask> formations;
  for (int layer = 0; layer < 4; ++layer) {
    int width = kWidths[layer];
    auto at = [&](int x, int y) {
      for (int p = 1; p <= 30; ++p) {
        Place place = PlaceOf(p);
        if (place.layer == layer && place.x == x && place.y == y) return PositionBit(p);
      }
      return PositionMask{0};
    };
    for (int y = 0; y + 1 < width; ++y) {
      for (int x = 0; x + 1 < width; ++x) {
        formations.push_back(at(x, y) | at(x + 1, y) | at(x, y + 1) | at(x + 1, y + 1));
      }
    }
    if (width < 3) continue;
    for (int i = 0; i < width; ++i) {
      PositionMask row = 0;
      PositionMask column = 0;
      for (int j = 0; j < width; ++j) {
        row |= at(j, i);
        column |= at(i, j);
      }
      formations.push_back(row);
      formations.push_back(column);
    }
  }
  return formations;
}

bool Completes(PositionMask ownAfter, int to) {
  static const std::vector<PositionMask> formations = Formations();
  for (PositionMask formation : formations) {
    if (Has(formation, to) && (ownAfter & formation) == formation) return true;
  }
  return false;
}

void Add(std::vector<LegalMove>& moves, PositionMask own, PositionMask occupied, int from, int to) {
  PositionMask ownAfter = own | PositionBit(to);
  PositionMask occupiedAfter = occupied | PositionBit(to);
  if (from != 0) {
    ownAfter &= ~PositionBit(from);
    occupiedAfter &= ~PositionBit(from);
  }
  LegalMove base{static_cast<uint32_t>(from), to, kBaseEntry, 0, 0};
  if (!Completes(ownAfter, to)) {
    moves.push_back(base);
    return;
  }
  base.takeA = Free(ownAfter, occupiedAfter);
  moves.push_back(base);
  for (int first = 1; first <= 30; ++first) {
    if (!Has(base.takeA, first)) continue;
    PositionMask ownRest = ownAfter & ~PositionBit(first);
    PositionMask occupiedRest = occupiedAfter & ~PositionBit(first);
    for (int second = 1; second <= 30; ++second) {
      if (IsFree(ownRest, occupiedRest, second) && !Has(base.takeA, second)) {
        moves.push_back({static_cast<uint32_t>(from), to, kPairEntry, static_cast<uint32_t>(first),
                         static_cast<uint32_t>(second)});
      }
    }
  }
}

std::vector<LegalMove> Generate(const BoardPosition& position) {
  std::vector<LegalMove> moves;
  PositionMask occupied = position.mask1 | position.mask2;
  if (Has(occupied, 30)) return moves;
  PositionMask own = position.side == 1 ? position.mask1 : position.mask2;
  int hand = position.side == 1 ? position.hand1 : position.hand2;
  // Raises: a free piece below the third layer goes up to any higher layer
  // but the top, onto a position that is receivable once it is lifted.
  for (int from = 1; from <= 30; ++from) {
    if (!IsFree(own, occupied, from) || PlaceOf(from).layer > 1) continue;
    PositionMask lifted = occupied & ~PositionBit(from);
    for (int to = 1; to < 30; ++to) {
      if (PlaceOf(to).layer > PlaceOf(from).layer && IsReceivable(lifted, to)) {
        Add(moves, own, occupied, from, to);
      }
    }
  }
  if (hand != 0) {
    for (int to = 1; to <= 30; ++to) {
      if (IsReceivable(occupied, to)) Add(moves, own, occupied, 0, to);
    }
  }
  return moves;
}

}  // namespace reference

// ---------------------------------------------------------------------------

struct MoveList {
  LegalMoveList list{};
  ~MoveList() { ReleaseMoveList(list); }
  std::vector<LegalMove> Entries() const {
    return std::vector<LegalMove>(list.storage, list.storage + list.count);
  }
};

MOVE Move(uint32_t from, uint32_t to, uint32_t take1 = 0, uint32_t take2 = 0) {
  MOVE move{};
  move.from = from;
  move.to = to;
  move.takeBack1 = take1;
  move.takeBack2 = take2;
  return move;
}

// Picks one complete move of the list at random, take-backs included, or a
// pass when the list is empty.
MOVE RandomMove(const LegalMoveList& list, std::mt19937& random) {
  if (list.count == 0) return Move(0, 0);
  const LegalMove& entry = list.storage[random() % list.count];
  if (entry.kind == kPairEntry) return Move(entry.from, entry.to, entry.takeA, entry.takeB);
  MOVE move = Move(entry.from, entry.to);
  std::vector<uint32_t> freeSet;
  for (uint32_t p = 1; p <= 30; ++p) {
    if (entry.takeA & PositionBit(p)) freeSet.push_back(p);
  }
  if (freeSet.empty()) return move;
  std::shuffle(freeSet.begin(), freeSet.end(), random);
  uint32_t takes = random() % 3;
  if (takes >= 1) move.takeBack1 = freeSet[0];
  if (takes >= 2 && freeSet.size() >= 2) move.takeBack2 = freeSet[1];
  return move;
}

// Positions met in random games from the start, and positions built by
// stacking random pieces with small hands, which reach the upper layers far
// more often than games do.
std::vector<BoardPosition> RandomPositions(uint32_t seed, int games, int builds) {
  std::mt19937 random(seed);
  std::vector<BoardPosition> positions;
  MoveList moves;
  for (int game = 0; game < games; ++game) {
    BoardPosition position{0, 0, 1, 15, 15};
    for (int ply = 0; ply < 150 && !WinnerOf(position.mask1, position.mask2); ++ply) {
      positions.push_back(position);
      GenerateMoves(moves.list, position);
      ApplyMove(position, RandomMove(moves.list, random));
    }
    positions.push_back(position);
  }
  for (int build = 0; build < builds; ++build) {
    BoardPosition position{0, 0, static_cast<int32_t>(1 + random() % 2),
                           static_cast<int32_t>(random() % 3), static_cast<int32_t>(random() % 3)};
    int pieces = static_cast<int>(random() % 31);
    for (int i = 0; i < pieces; ++i) {
      PositionMask receivable = ReceivablePositions(position.mask1 | position.mask2);
      std::vector<uint32_t> targets;
      for (uint32_t p = 1; p <= 30; ++p) {
        if (receivable & PositionBit(p)) targets.push_back(p);
      }
      uint32_t target = targets[random() % targets.size()];
      // The side to move gets most pieces, which makes for long lists.
      bool mover = random() % 4 != 0;
      ((position.side == 1) == mover ? position.mask1 : position.mask2) |= PositionBit(target);
    }
    positions.push_back(position);
  }
  return positions;
}

// ---------------------------------------------------------------------------
// Tables

struct TableRow {
  const char* name;
  PositionMask actual;
  PositionMask expected;
};

TEST(RulesTables, RowsToCheck) {
  const TableRow rows[] = {
      {"BelowByByte2[0x01]", BelowByByte2[0x01], 0},
      {"BelowByByte2[0x02]", BelowByByte2[0x02], 0x00000066},
      {"BelowByByte2[0x80]", BelowByByte2[0x80], 0x00006600},
      {"BelowByByte3[0x01]", BelowByByte3[0x01], 0x0000CC00},
      {"BelowByByte3[0x04]", BelowByByte3[0x04], 0x00360EEE},
      {"BelowByByte3[0x40]", BelowByByte3[0x40], 0x3FFFFFFE},
      {"BelowByByte3[0x80]", BelowByByte3[0x80], 0},
      {"AboveByByte[0][0x01]", AboveByByte[0][0x01], 0},
      {"AboveByByte[0][0x02]", AboveByByte[0][0x02], 0x44020000},
      {"AboveByByte[0][0x60]", AboveByByte[0][0x60], 0x7C360000},
      {"AboveByByte[1][0x02]", AboveByByte[1][0x02], 0x54900000},
      {"AboveByByte[2][0x01]", AboveByByte[2][0x01], 0x62000000},
      {"AboveByByte[2][0x02]", AboveByByte[2][0x02], 0x44000000},
      {"AboveByByte[3][0x04]", AboveByByte[3][0x04], 0x40000000},
      {"AboveByByte[3][0x40]", AboveByByte[3][0x40], 0},
      {"AboveByByte[3][0x80]", AboveByByte[3][0x80], 0},
      {"AboveByByte[3][0xFF]", AboveByByte[3][0xFF], 0x70000000},
  };
  for (const TableRow& row : rows) EXPECT_EQ(row.actual, row.expected) << row.name;
}

TEST(RulesTables, FormationRowsToCheck) {
  constexpr PositionMask X = 0xFFFFFFFF;
  struct Row {
    int position;
    std::array<PositionMask, 6> slots;
  };
  const Row rows[] = {
      {1, {X, X, X, 0x66, 0x1E, 0x2222}},
      {6, {0x66, 0xCC, 0x660, 0xCC0, 0x1E0, 0x4444}},
      {16, {0x19800, X, X, X, 0x1E000, 0x11110}},
      {21, {0x360000, 0x6C0000, 0x1B00000, 0x3600000, 0x700000, 0x1240000}},
      {26, {X, X, X, 0x3C000000, X, X}},
      {27, {X, X, 0x3C000000, X, X, X}},
      {28, {X, 0x3C000000, X, X, X, X}},
      {29, {0x3C000000, X, X, X, X, X}},
      {0, {X, X, X, X, X, X}},
      {30, {X, X, X, X, X, X}},
  };
  for (const Row& row : rows) EXPECT_EQ(FormationMasks[row.position], row.slots) << row.position;
}

TEST(RulesTables, FormationsMatchGeometry) {
  // Every formation through a position sits in one of its slots, and every
  // slot holds a formation through it.
  const std::vector<PositionMask> formations = reference::Formations();
  for (int p = 0; p <= 30; ++p) {
    std::vector<PositionMask> expected;
    for (PositionMask f : formations) {
      if (f & PositionBit(p)) expected.push_back(f);
    }
    std::vector<PositionMask> present;
    for (PositionMask slot : FormationMasks[p]) {
      if (slot != 0xFFFFFFFF) present.push_back(slot);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(present.begin(), present.end());
    EXPECT_EQ(present, expected) << "position " << p;
  }
}

TEST(RulesTables, Coordinates) {
  struct Row {
    int position, column, row, level;
  };
  const Row rows[] = {{0, -1, -1, -1}, {1, 0, 0, 3},  {4, 3, 0, 3},  {7, 2, 1, 3},
                      {16, 3, 3, 3},   {17, 0, 0, 2}, {21, 1, 1, 2}, {25, 2, 2, 2},
                      {26, 0, 0, 1},   {29, 1, 1, 1}, {30, 0, 0, 0}, {31, -1, -1, -1}};
  for (const Row& row : rows) {
    EXPECT_EQ(PositionColumn[row.position], row.column) << row.position;
    EXPECT_EQ(PositionRow[row.position], row.row) << row.position;
    EXPECT_EQ(PositionLevel[row.position], row.level) << row.position;
  }
}

// ---------------------------------------------------------------------------
// Board questions

TEST(RulesBoard, FreeAndReceivable) {
  const PositionMask base = Mask({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  EXPECT_EQ(ReceivablePositions(0), base);
  EXPECT_EQ(FreePieces(0, 0), 0u);
  EXPECT_EQ(ReceivablePositions(base), Mask({17, 18, 19, 20, 21, 22, 23, 24, 25}));
  EXPECT_EQ(FreePieces(base, base), base);

  const PositionMask stack = Mask({1, 2, 3, 4, 5, 6, 7, 8, 17});
  EXPECT_EQ(FreePieces(stack, stack), Mask({3, 4, 7, 8, 17}));

  // Raising the piece at 1 lifts it first, so 17, which rests on it, is no target.
  const PositionMask corner = Mask({1, 2, 5, 6});
  EXPECT_TRUE(ReceivablePositions(corner) & PositionBit(17));
  EXPECT_FALSE(ReceivablePositions(corner & ~PositionBit(1)) & PositionBit(17));
}

TEST(RulesBoard, TopReceivableOnlyOnFullThirdLayer) {
  const PositionMask belowThird = 0x03FFFFFE;  // 1-25
  for (uint32_t third = 0; third < 16; ++third) {
    PositionMask occupied = belowThird | (third << 26);
    EXPECT_EQ((ReceivablePositions(occupied) & PositionBit(30)) != 0, third == 15) << third;
  }
}

TEST(RulesBoard, Formations) {
  EXPECT_TRUE(CompletesFormation(Mask({17, 18, 19}), 18));
  EXPECT_TRUE(CompletesFormation(Mask({1, 2, 3, 4}), 4));
  EXPECT_TRUE(CompletesFormation(Mask({1, 2, 5, 6}), 6));
  EXPECT_FALSE(CompletesFormation(Mask({1, 2, 3}), 3));
  EXPECT_FALSE(CompletesFormation(Mask({26, 27}), 27));
  EXPECT_TRUE(CompletesFormation(Mask({26, 27, 28, 29}), 28));
  // Only formations through the destination count.
  EXPECT_FALSE(CompletesFormation(Mask({1, 2, 3, 4, 9}), 9));
  EXPECT_FALSE(CompletesFormation(Mask({26, 27, 28, 29, 30}), 30));
}

TEST(RulesBoard, WinnerOf) {
  EXPECT_EQ(WinnerOf(0, 0), 0);
  EXPECT_EQ(WinnerOf(Mask({29}), Mask({28})), 0);
  EXPECT_EQ(WinnerOf(Mask({30}), 0), 1);
  EXPECT_EQ(WinnerOf(0, Mask({30})), 2);
}

TEST(RulesBoard, MatchesReferenceOnRandomPositions) {
  for (const BoardPosition& position : RandomPositions(7, 40, 400)) {
    PositionMask occupied = position.mask1 | position.mask2;
    ASSERT_EQ(ReceivablePositions(occupied), reference::Receivable(occupied))
        << std::hex << occupied;
    ASSERT_EQ(FreePieces(position.mask1, occupied), reference::Free(position.mask1, occupied));
    ASSERT_EQ(FreePieces(position.mask2, occupied), reference::Free(position.mask2, occupied));
  }
}

// ---------------------------------------------------------------------------
// Generation

TEST(RulesGenerate, MatchesReferenceEntryByEntry) {
  MoveList moves;
  size_t positions = 0;
  size_t pairEntries = 0;
  size_t raises = 0;
  for (const BoardPosition& position : RandomPositions(20261211, 400, 6000)) {
    GenerateMoves(moves.list, position);
    std::vector<LegalMove> expected = reference::Generate(position);
    ASSERT_EQ(moves.Entries(), expected)
        << "masks 0x" << std::hex << position.mask1 << " 0x" << position.mask2 << std::dec
        << " side " << position.side << " hands " << position.hand1 << " " << position.hand2;
    ++positions;
    for (const LegalMove& m : expected) {
      pairEntries += m.kind == kPairEntry;
      raises += m.kind == kBaseEntry && m.from != 0;
    }
  }
  // The sample must reach the interesting cases, or the comparison says little.
  EXPECT_GT(pairEntries, 100u);
  EXPECT_GT(raises, 1000u);
  EXPECT_GT(positions, 5000u);
}

TEST(RulesGenerate, IsLegalMoveAcceptsExactlyTheListedChoices) {
  // The choices after a base entry with free set A: none, one piece of A
  // (in either word), two different pieces of A, or a pair entry in its order.
  MoveList moves;
  size_t checkedFormations = 0;
  for (const BoardPosition& position : RandomPositions(515, 10, 100)) {
    GenerateMoves(moves.list, position);
    const std::vector<LegalMove> entries = moves.Entries();
    for (const LegalMove& base : entries) {
      if (base.kind != kBaseEntry) continue;
      checkedFormations += base.takeA != 0;
      bool pairs[31][31] = {};
      for (const LegalMove& pair : entries) {
        if (pair.kind == kPairEntry && pair.from == base.from && pair.to == base.to) {
          pairs[pair.takeA][pair.takeB] = true;
        }
      }
      auto inFreeSet = [&](uint32_t p) { return (base.takeA & PositionBit(p)) != 0; };
      for (uint32_t first = 0; first <= 30; ++first) {
        for (uint32_t second = 0; second <= 30; ++second) {
          bool legal = ((first == 0 || inFreeSet(first)) && (second == 0 || inFreeSet(second)) &&
                        (first == 0 || first != second)) ||
                       pairs[first][second];
          MOVE move = Move(base.from, static_cast<uint32_t>(base.to), first, second);
          ASSERT_EQ(IsLegalMove(moves.list, move), legal)
              << base << " take-backs " << first << " " << second;
        }
      }
    }
  }
  EXPECT_GT(checkedFormations, 50u);
}

TEST(RulesGenerate, StartingPosition) {
  MoveList moves;
  GenerateMoves(moves.list, {0, 0, 1, 15, 15});
  ASSERT_EQ(moves.list.count, 16u);
  for (uint32_t i = 0; i < 16; ++i) {
    EXPECT_EQ(moves.list.storage[i], (LegalMove{0, static_cast<int32_t>(i + 1), kBaseEntry, 0, 0}));
  }
}

TEST(RulesGenerate, EmptyLists) {
  struct Case {
    const char* name;
    BoardPosition position;
  };
  const Case cases[] = {
      // The piece at 1 is covered by 17 and the hand is empty: side 1 must pass.
      {"no hand, no free piece", {Mask({1}), Mask({2, 5, 6, 17}), 1, 0, 11}},
      {"side 1 holds the top", {(0x3FFFFFFE & ~Mask({2})) | Mask({30}), Mask({2}), 2, 0, 14}},
      {"side 2 holds the top", {Mask({1}), Mask({30}), 1, 14, 15}},
  };
  MoveList moves;
  for (const Case& c : cases) {
    GenerateMoves(moves.list, c.position);
    EXPECT_EQ(moves.list.count, 0u) << c.name;
  }
}

std::string traced;
void KeepTrace(const char* text) {
  traced += text;
}

TEST(RulesGenerate, InvalidSideIsTracedAndGetsNoMoves) {
  MoveList moves;
  GenerateMoves(moves.list, {0, 0, 1, 15, 15});
  traced.clear();
  DebugTraceSink previous = SetDebugTraceSink(KeepTrace);
  GenerateMoves(moves.list, {0, 0, 3, 15, 15});
  SetDebugTraceSink(previous);
  EXPECT_EQ(moves.list.count, 0u);
  EXPECT_NE(traced.find("GenerateMoves called with invalid side 3"), std::string::npos) << traced;
}

TEST(RulesGenerate, RaiseTargets) {
  MoveList moves;
  // Base full, 17, 18, 20 and 21 filled: the free base piece 16 can go to the
  // second layer or straight to 26, but not to 25, which rests on it.
  const PositionMask base = 0x1FFFE;
  GenerateMoves(moves.list, {Mask({16, 17}), (base & ~Mask({16})) | Mask({18, 20, 21}), 1, 13, 2});
  std::vector<uint32_t> fromSixteen;
  for (const LegalMove& m : moves.Entries()) {
    if (m.from == 16 && m.kind == kBaseEntry) fromSixteen.push_back(static_cast<uint32_t>(m.to));
  }
  EXPECT_EQ(fromSixteen, (std::vector<uint32_t>{19, 22, 23, 24, 26}));
  // 17 is free but every third-layer position is either unsupported or, for
  // 26, rests on it; the raises come before every placement.
  EXPECT_EQ(FindMove(moves.list, 17, 26), nullptr);
  EXPECT_EQ(moves.list.storage[0].from, 16u);
  EXPECT_EQ(moves.list.storage[moves.list.count - 1].from, 0u);
}

// Side 1 holds 1, 2, 3, 5, 6, 7 and 17 (on 1, 2, 5, 6) and places on 4 to
// complete the row 1-4.
const BoardPosition kRowPosition{Mask({1, 2, 3, 5, 6, 7, 17}), Mask({9, 10}), 1, 8, 13};

TEST(RulesGenerate, TakeBackChoicesAfterAFormation) {
  MoveList moves;
  GenerateMoves(moves.list, kRowPosition);
  const LegalMove* base = FindMove(moves.list, 0, 4);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->takeA, Mask({3, 4, 7, 17}));  // the piece just placed may go back too
  std::vector<LegalMove> pairs(base + 1, base + 5);
  EXPECT_EQ(pairs, (std::vector<LegalMove>{{0, 4, kPairEntry, 17, 1},
                                           {0, 4, kPairEntry, 17, 2},
                                           {0, 4, kPairEntry, 17, 5},
                                           {0, 4, kPairEntry, 17, 6}}));
  EXPECT_EQ(base[5].kind, kBaseEntry);
}

TEST(RulesGenerate, IsLegalMove) {
  MoveList moves;
  GenerateMoves(moves.list, kRowPosition);
  struct Case {
    MOVE move;
    bool legal;
  };
  const Case cases[] = {
      {Move(0, 4), true},         {Move(0, 4, 4), true},     {Move(0, 4, 3, 17), true},
      {Move(0, 4, 17, 3), true},  {Move(0, 4, 17, 1), true}, {Move(0, 4, 17, 6), true},
      {Move(0, 4, 1, 17), false}, {Move(0, 4, 3, 1), false}, {Move(0, 4, 1), false},
      {Move(0, 4, 9), false},     {Move(0, 4, 3, 3), false}, {Move(0, 4, 17, 17), false},
      {Move(0, 11, 3), false},    {Move(0, 11), true},       {Move(3, 20), true},
      {Move(3, 18), false},       {Move(0, 5), false},       {Move(0, 0), false},
      {Move(0, 4, 40, 1), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsLegalMove(moves.list, c.move), c.legal)
        << c.move.from << " " << c.move.to << " " << c.move.takeBack1 << " " << c.move.takeBack2;
  }
  // Every base entry is legal without take-backs.
  for (const LegalMove& m : moves.Entries()) {
    if (m.kind == kBaseEntry) {
      EXPECT_TRUE(IsLegalMove(moves.list, Move(m.from, m.to))) << m;
    }
  }
}

TEST(RulesGenerate, CountTakeBackOptions) {
  MoveList moves;
  GenerateMoves(moves.list, kRowPosition);
  struct Case {
    MOVE move;
    uint32_t candidate;
    int32_t options;
  };
  const Case cases[] = {
      {Move(0, 4), 0, 8},  // four free pieces and four pairs
      {Move(0, 4), 3, 1},     {Move(0, 4), 1, 0},     {Move(0, 4, 17), 0, 7},
      {Move(0, 4, 17), 1, 1}, {Move(0, 4, 17), 3, 1}, {Move(0, 4, 17), 17, 0},
      {Move(0, 4, 3), 0, 3},  {Move(0, 4, 3), 1, 0},  {Move(0, 4, 3, 7), 0, 0},
      {Move(0, 11), 0, 0},    {Move(0, 5), 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountTakeBackOptions(moves.list, c.move, c.candidate), c.options)
        << c.move.to << " " << c.move.takeBack1 << " candidate " << c.candidate;
  }
}

TEST(RulesList, StorageGrowsAndIsKept) {
  MoveList moves;
  GenerateMoves(moves.list, {0, 0, 1, 15, 15});
  EXPECT_EQ(moves.list.capacity, 128u);
  LegalMove* storage = moves.list.storage;
  GenerateMoves(moves.list, kRowPosition);
  EXPECT_EQ(moves.list.storage, storage);

  // The storage is a memory manager block recorded under this module.
  MemBlockInfo info{};
  ASSERT_TRUE(MemGetBlockInfo(storage, &info));
  EXPECT_TRUE(std::string(info.sourceFile).ends_with("game/rules/rules.cpp")) << info.sourceFile;
  EXPECT_GE(info.capacity, 128 * sizeof(LegalMove));

  MoveList copy;
  ASSERT_TRUE(CopyMoveList(copy.list, moves.list));
  EXPECT_EQ(copy.Entries(), moves.Entries());
  EXPECT_EQ(copy.list.capacity, moves.list.count + 127);

  MoveList empty;
  ASSERT_TRUE(CopyMoveList(copy.list, empty.list));
  EXPECT_EQ(copy.list.count, 0u);

  ReleaseMoveList(moves.list);
  EXPECT_FALSE(MemGetBlockInfo(storage, &info));
  EXPECT_EQ(moves.list.storage, nullptr);
  EXPECT_EQ(moves.list.count, 0u);
  EXPECT_EQ(moves.list.capacity, 0u);
}

TEST(RulesList, LongListGrowsByOneStep) {
  // Side 1 crowds the board: its raises and pair entries need a second step
  // of storage.
  const BoardPosition crowded{0x11B1BBDE, 0x4420, 1, 3, 3};
  MoveList moves;
  GenerateMoves(moves.list, {0, 0, 1, 15, 15});
  GenerateMoves(moves.list, crowded);
  EXPECT_GT(moves.list.count, 128u);
  EXPECT_EQ(moves.list.capacity, 256u);
  EXPECT_EQ(moves.Entries(), reference::Generate(crowded));
}

}  // namespace
