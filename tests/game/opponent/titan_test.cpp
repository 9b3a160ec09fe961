#include "game/opponent/titan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"
#include "game/flow/sequencer.h"
#include "platform/clock.h"
#include "random_games.h"

namespace {

constexpr int32_t kWin = 200000;

PositionMask Mask(std::initializer_list<uint32_t> positions) {
  PositionMask mask = 0;
  for (uint32_t position : positions) mask |= PositionBit(position);
  return mask;
}

PositionMask Range(uint32_t first, uint32_t last) {
  PositionMask mask = 0;
  for (uint32_t position = first; position <= last; ++position) mask |= PositionBit(position);
  return mask;
}

// What the search chose, in the order the tool prints it.
struct Answer {
  uint32_t from, to, takeBack1, takeBack2;
  int32_t score;
  friend bool operator==(const Answer&, const Answer&) = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& a) {
  return out << "(" << a.from << " " << a.to << " " << a.takeBack1 << " " << a.takeBack2
             << " score " << a.score << ")";
}

// A window of the test's thread receives the results, as the game's main
// window does.
class TitanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WindowClass description;
    description.name = u"TitanTestWindow";
    description.procedure = DefaultWindowProcedure;
    ASSERT_TRUE(RegisterWindowClass(description));
  }
  static void TearDownTestSuite() {
    ReleaseSearch();
    UnregisterWindowClass(u"TitanTestWindow");
  }

  void SetUp() override {
    window_ = CreateWindowOfClass(u"TitanTestWindow", u"", kStylePopup, 0, 0, 1, 1, {}, 0, nullptr);
    ASSERT_TRUE(window_);
    SetRootShuffle(false);
  }
  void TearDown() override {
    StopSearch();
    Message message;
    while (PeekNextMessage(&message, true)) {
      if (message.message == kMessageCommand) MEM_DELETE(reinterpret_cast<MOVE*>(message.value));
    }
    DestroyWindow(window_);
    ReleaseMoveList(list_);
    SetRootShuffle(true);
  }

  // Waits for the posted move; the record is checked and freed here.
  MOVE Receive() {
    Message message;
    while (GetNextMessage(&message)) {
      if (message.message != kMessageCommand) continue;
      EXPECT_EQ(message.window, window_);
      EXPECT_EQ(message.word, MakeWordParameter(kCommandComputerMove, 0));
      auto* posted = reinterpret_cast<MOVE*>(message.value);
      MemBlockInfo info{};
      EXPECT_TRUE(MemGetBlockInfo(posted, &info));
      EXPECT_STREQ(info.typeTag, "MOVE");
      MOVE move = *posted;
      MEM_DELETE(posted);
      return move;
    }
    ADD_FAILURE() << "the queue ended without a move";
    return {};
  }

  Answer Search(const BoardPosition& position, int32_t strength) {
    GenerateMoves(list_, position);
    EXPECT_TRUE(StartSearch(window_, position, list_, strength));
    MOVE move = Receive();
    EXPECT_EQ(std::memcmp(&move.image, &position, sizeof position), 0)
        << "the move carries the position it was chosen for";
    return {move.from, move.to, move.takeBack1, move.takeBack2, LastSearchStatistics().score};
  }

  WindowHandle window_;
  LegalMoveList list_{};
};

// ---------------------------------------------------------------------------
// Positions whose answer is plain by hand.

// Every position but the top is held: placing the top is the one move, and
// it wins.
const BoardPosition kTopOnly{Range(1, 14), Range(15, 29), 1, 1, 0};

// White's only piece, on 1, lies under black's 17 and white has nothing in
// hand: whatever black plays leaves white without a move, which counts as a
// win. The first entry places on 3 and completes the square 2, 3, 6, 7, but
// with white's hand empty no take-back is even tried.
const BoardPosition kOpponentStuck{Mask({2, 5, 6, 7, 17}), Mask({1}), 1, 10, 0};

// White to move with 19 and 28 empty, 27 and the top above them. Placing 28
// forces the win at once: black's only reply is 19, white places 27, and
// black, with nothing in hand, has no move (it would pass while white takes
// the top). Placing 19 first (it completes the square 18, 19, 21, 22 and
// offers take-backs) wins too, but the proof is a ply deeper, because black
// can answer by raising 23 to 27: "Low" does not see it and prefers 28;
// from "Medium" on both win and the earlier entry keeps the tie.
const BoardPosition kForcedWin{0x079383F0, 0x20647C0E, 2, 1, 3};

TEST_F(TitanTest, PositionsWithAnswersKnownByHand) {
  struct Case {
    const char* name;
    BoardPosition position;
    int32_t strength;
    Answer answer;
  };
  const Case cases[] = {
      {"the top is the only move", kTopOnly, kStrengthLow, {0, 30, 0, 0, kWin}},
      {"the top is the only move", kTopOnly, kStrengthHigh, {0, 30, 0, 0, kWin}},
      {"the opponent left without moves", kOpponentStuck, kStrengthLow, {0, 3, 0, 0, kWin}},
      {"the opponent left without moves", kOpponentStuck, kStrengthHigh, {0, 3, 0, 0, kWin}},
      {"a forced win within reach", kForcedWin, kStrengthLow, {0, 28, 0, 0, kWin}},
      {"two forced wins", kForcedWin, kStrengthMedium, {0, 19, 0, 0, kWin}},
      {"two forced wins", kForcedWin, kStrengthHigh, {0, 19, 0, 0, kWin}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Search(c.position, c.strength), c.answer) << c.name << ", strength " << c.strength;
  }
}

// ---------------------------------------------------------------------------
// The search against a plain minimax over the same variants, without any
// pruning: the chosen move must be the first variant in the search's order
// whose score is the best, and the score must be that best. The number of
// variants it tries must be that of the same search with its shallow bounds.

namespace reference {

struct Variant {
  uint32_t entry;  // the list entry it belongs to
  uint32_t from, to, takeBack1, takeBack2;
};

// The variants tried at a node of the given depth, in the order tried:
// every entry's move without take-back; when the opponent holds pieces, its
// single take-backs and pairs, and the pair entries; from depth 2 on only the
// first pair of an entry and no pair entry after one pair has been tried.
std::vector<Variant> Variants(const LegalMoveList& list, int32_t depth, int32_t opponentHand) {
  std::vector<Variant> variants;
  bool pairs = true;
  for (uint32_t i = 0; i < list.count; ++i) {
    const LegalMove& e = list.storage[i];
    uint32_t to = static_cast<uint32_t>(e.to);
    if (e.kind == kPairEntry) {
      if (opponentHand == 0 || !pairs) continue;
      variants.push_back({i, e.from, to, e.takeA, e.takeB});
      if (depth >= 2) pairs = false;
      continue;
    }
    variants.push_back({i, e.from, to, 0, 0});
    if (e.takeA == 0 || opponentHand == 0) continue;
    std::vector<uint32_t> free;
    for (uint32_t p = 1; p <= 30; ++p) {
      if (e.takeA & PositionBit(p)) free.push_back(p);
    }
    bool done = false;
    for (size_t a = 0; a < free.size() && !done; ++a) {
      variants.push_back({i, e.from, to, free[a], 0});
      for (size_t b = a + 1; b < free.size(); ++b) {
        variants.push_back({i, e.from, to, free[a], free[b]});
        if (depth >= 2) {
          pairs = false;
          done = true;
          break;
        }
      }
    }
  }
  return variants;
}

// The score of a position at the deepest ply.
int32_t Leaf(const BoardPosition& after, int32_t rootSide) {
  if (int32_t winner = WinnerOf(after.mask1, after.mask2)) return winner == rootSide ? kWin : -kWin;
  int32_t own = rootSide == 1 ? after.hand1 : after.hand2;
  int32_t other = rootSide == 1 ? after.hand2 : after.hand1;
  return 100 * (own - other);
}

struct Best {
  int32_t score;
  Variant variant;
};

Best Minimax(const BoardPosition& position, const LegalMoveList& list, int32_t depth,
             int32_t rootSide, int32_t maxDepth) {
  bool maximizing = position.side == rootSide;
  int32_t opponentHand = position.side == 1 ? position.hand2 : position.hand1;
  Best best{maximizing ? -kWin - 1 : kWin + 1, {}};
  bool found = false;
  LegalMoveList replies{};
  for (const Variant& v : Variants(list, depth, opponentHand)) {
    BoardPosition after = position;
    ApplyMove(after, MOVE{{}, v.from, v.to, v.takeBack1, v.takeBack2});
    int32_t score;
    if (depth + 1 < maxDepth) {
      GenerateMoves(replies, after);
      if (replies.count == 0) {
        score = position.side == rootSide ? kWin : -kWin;
      } else {
        LegalMoveList copy{};
        CopyMoveList(copy, replies);
        score = Minimax(after, copy, depth + 1, rootSide, maxDepth).score;
        ReleaseMoveList(copy);
      }
    } else {
      score = Leaf(after, rootSide);
    }
    if (!found || (maximizing ? score > best.score : score < best.score)) {
      best = {score, v};
      found = true;
    }
  }
  ReleaseMoveList(replies);
  return best;
}

// The same variants with the shallow bounds: a child is handed only this
// node's best score so far, and once a kept variant reaches this node's own
// bound the node ends with the list entry under way. Returns the score and
// adds the variants tried to nodes, which the search reports as its nodes:
// trying more or fewer variants than this is a fault even when the chosen
// move comes out the same.
int32_t Pruned(const BoardPosition& position, const LegalMoveList& list, int32_t depth,
               int32_t rootSide, int32_t maxDepth, int32_t alpha, int32_t beta, uint64_t& nodes) {
  bool maximizing = position.side == rootSide;
  int32_t opponentHand = position.side == 1 ? position.hand2 : position.hand1;
  int32_t best = maximizing ? -kWin - 1 : kWin + 1;
  bool found = false;
  bool cutoff = false;
  uint32_t cutEntry = 0;
  LegalMoveList replies{};
  for (const Variant& v : Variants(list, depth, opponentHand)) {
    if (cutoff && v.entry != cutEntry) break;
    ++nodes;
    BoardPosition after = position;
    ApplyMove(after, MOVE{{}, v.from, v.to, v.takeBack1, v.takeBack2});
    int32_t score;
    if (depth + 1 < maxDepth) {
      GenerateMoves(replies, after);
      if (replies.count == 0) {
        score = position.side == rootSide ? kWin : -kWin;
      } else {
        LegalMoveList copy{};
        CopyMoveList(copy, replies);
        score = maximizing
                    ? Pruned(after, copy, depth + 1, rootSide, maxDepth, best, kWin + 1, nodes)
                    : Pruned(after, copy, depth + 1, rootSide, maxDepth, -kWin - 1, best, nodes);
        ReleaseMoveList(copy);
      }
    } else {
      score = Leaf(after, rootSide);
    }
    if (!found || (maximizing ? score > best : score < best)) {
      best = score;
      found = true;
      if (score <= alpha || score >= beta) {
        cutoff = true;
        cutEntry = v.entry;
      }
    }
  }
  ReleaseMoveList(replies);
  return best;
}

}  // namespace reference

// Positions of random games, take-backs included, from the opening to the
// end; the seed is fixed so the same positions are met on every run.
std::vector<BoardPosition> PositionsFromRandomGames(size_t wanted) {
  std::mt19937 random(2024);
  std::vector<BoardPosition> positions;
  PlayRandomGames(random, 200, RandomGameEnd::kWithoutMoves,
                  [&](const BoardPosition& position, int ply) {
                    if (ply % 7 == 3) positions.push_back(position);
                    return positions.size() < wanted;
                  });
  return positions;
}

TEST_F(TitanTest, AgreesWithPlainMinimaxOnPositionsFromGames) {
  // Each position again with the mover's hand emptied: then the replies
  // that complete a formation take nothing back, since the mover has no
  // pieces in hand.
  std::vector<BoardPosition> positions = PositionsFromRandomGames(16);
  for (size_t i = 0; i < 16; ++i) {
    BoardPosition emptied = positions[i];
    (emptied.side == 1 ? emptied.hand1 : emptied.hand2) = 0;
    GenerateMoves(list_, emptied);
    if (list_.count != 0) positions.push_back(emptied);
  }
  EXPECT_GT(positions.size(), 16u) << "the positions should offer take-backs";
  for (const BoardPosition& position : positions) {
    GenerateMoves(list_, position);
    reference::Best expected = reference::Minimax(position, list_, 0, position.side, 4);
    uint64_t nodes = 0;
    int32_t prunedScore =
        reference::Pruned(position, list_, 0, position.side, 4, -kWin - 1, kWin + 1, nodes);
    EXPECT_EQ(prunedScore, expected.score) << "the bounds must not change the root's score";
    Answer answer = Search(position, kStrengthLow);
    EXPECT_EQ(answer,
              (Answer{expected.variant.from, expected.variant.to, expected.variant.takeBack1,
                      expected.variant.takeBack2, expected.score}))
        << "position " << position.mask1 << " " << position.mask2 << " " << position.side << " "
        << position.hand1 << " " << position.hand2;
    EXPECT_EQ(LastSearchStatistics().nodes, nodes)
        << "variants tried from position " << position.mask1 << " " << position.mask2 << " "
        << position.side << " " << position.hand1 << " " << position.hand2;
  }
}

TEST_F(TitanTest, FromTheStartWithoutShuffleTheFirstPlacementIsChosen) {
  EXPECT_EQ(Search({0, 0, 1, 15, 15}, kStrengthLow), (Answer{0, 1, 0, 0, 0}));
}

// ---------------------------------------------------------------------------
// The shuffle of the root list.

LegalMoveList Numbered(uint32_t count) {
  LegalMoveList list{};
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_TRUE(MEM_GROW(list.storage, list.capacity, list.count + 1, 128));
    list.storage[list.count++] = {0, static_cast<int32_t>(i), kBaseEntry, 0, 0};
  }
  return list;
}

// Each entry i is exchanged with a later one, so the first min(n, 21) entries
// form one cycle: following "entry at index k came from index to" from
// index 0 visits all of them before it returns.
TEST(ShuffleRootList, CyclesTheFirst21EntriesAndKeepsTheRest) {
  for (uint32_t count : {0u, 1u, 2u, 3u, 20u, 21u, 22u, 40u}) {
    for (unsigned seed : {1u, 7u, 12345u}) {
      std::srand(seed);
      LegalMoveList list = Numbered(count);
      ShuffleRootList(list);
      uint32_t shuffled = std::min(count, 21u);
      for (uint32_t i = shuffled; i < count; ++i) {
        EXPECT_EQ(list.storage[i].to, static_cast<int32_t>(i))
            << count << " entries, seed " << seed;
      }
      if (shuffled >= 2) {
        uint32_t index = 0;
        uint32_t steps = 0;
        do {
          index = static_cast<uint32_t>(list.storage[index].to);
          ++steps;
        } while (index != 0 && steps <= shuffled);
        EXPECT_EQ(steps, shuffled) << count << " entries, seed " << seed;
      }
      ReleaseMoveList(list);
    }
  }
}

// The shuffle draws min(n, 21) - 1 numbers from rand, so that a seed chooses
// the same games on every run; a search started with the shuffle on plays
// the first entry of the shuffled list when all moves are equal.
TEST_F(TitanTest, TheSearchPlaysTheFirstEntryOfTheShuffledList) {
  const BoardPosition start{0, 0, 1, 15, 15};
  GenerateMoves(list_, start);
  ASSERT_EQ(list_.count, 16u);

  std::srand(99);
  LegalMoveList shuffled{};
  CopyMoveList(shuffled, list_);
  ShuffleRootList(shuffled);
  int next = std::rand();
  std::srand(99);
  for (int i = 0; i < 15; ++i) std::rand();
  EXPECT_EQ(std::rand(), next) << "fifteen numbers drawn for sixteen entries";

  SetRootShuffle(true);
  std::srand(99);
  Answer answer = Search(start, kStrengthLow);
  EXPECT_EQ(answer.to, static_cast<uint32_t>(shuffled.storage[0].to));
  EXPECT_NE(answer.to, 1u);
  ReleaseMoveList(shuffled);
}

// ---------------------------------------------------------------------------
// Starting and stopping.

// A middle-game position, rich in take-backs, on which "High" tries about
// 900000 variants: far longer than it takes to stop the search.
BoardPosition BusyPosition() {
  return {112640, 470, 1, 10, 9};
}

TEST_F(TitanTest, StoppingARunningSearchPostsNothingAndTheNextSearchAnswers) {
  BoardPosition busy = BusyPosition();
  for (int round = 0; round < 3; ++round) {
    GenerateMoves(list_, busy);
    ASSERT_TRUE(StartSearch(window_, busy, list_, kStrengthHigh));
    StopSearch();
    // The search thread has ended, so anything it posted is queued by now.
    Message message;
    EXPECT_FALSE(PeekNextMessage(&message, false)) << "a stopped search posted a move";
    EXPECT_FALSE(IsSearchRunning());
    EXPECT_EQ(Search({0, 0, 1, 15, 15}, kStrengthLow), (Answer{0, 1, 0, 0, 0}));
  }
}

TEST_F(TitanTest, StoppingWhenIdleReturnsAndStartingAgainStopsTheRunningSearch) {
  StopSearch();
  StopSearch();
  BoardPosition busy = BusyPosition();
  GenerateMoves(list_, busy);
  ASSERT_TRUE(StartSearch(window_, busy, list_, kStrengthHigh));
  // A second start stops the first: only one move arrives, for the start.
  EXPECT_EQ(Search({0, 0, 1, 15, 15}, kStrengthLow), (Answer{0, 1, 0, 0, 0}));
  StopSearch();
  Message message;
  EXPECT_FALSE(PeekNextMessage(&message, false));
}

std::string traced;
void KeepTrace(const char* text) {
  traced += text;
}

TEST_F(TitanTest, RefusesAnEmptyListAndUnknownStrengthsWithATrace) {
  traced.clear();
  DebugTraceSink previous = SetDebugTraceSink(KeepTrace);
  LegalMoveList empty{};
  EXPECT_FALSE(StartSearch(window_, {0, 0, 1, 15, 15}, empty, kStrengthLow));
  GenerateMoves(list_, {0, 0, 1, 15, 15});
  EXPECT_FALSE(StartSearch(window_, {0, 0, 1, 15, 15}, list_, -1));
  EXPECT_FALSE(StartSearch(window_, {0, 0, 1, 15, 15}, list_, 3));
  SetDebugTraceSink(previous);
  EXPECT_NE(traced.find("StartSearch called with an empty move list (LegalMoveList 0x"),
            std::string::npos)
      << traced;
  EXPECT_NE(traced.find("StartSearch called with invalid strength -1\n"), std::string::npos);
  EXPECT_NE(traced.find("StartSearch called with invalid strength 3\n"), std::string::npos);
  EXPECT_FALSE(IsSearchRunning());
  StopSearch();
  Message message;
  EXPECT_FALSE(PeekNextMessage(&message, false));
}

// The result of a search whose window has gone is freed, not lost.
TEST_F(TitanTest, AMoveForAWindowThatHasGoneIsFreed) {
  // A first search gives the search's own lists their storage.
  const BoardPosition start{0, 0, 1, 15, 15};
  Search(start, kStrengthLow);
  WindowHandle gone =
      CreateWindowOfClass(u"TitanTestWindow", u"", kStylePopup, 0, 0, 1, 1, {}, 0, nullptr);
  DestroyWindow(gone);
  uint32_t before = MemGetStatistics().liveBlocks;
  ASSERT_TRUE(StartSearch(gone, start, list_, kStrengthLow));
  while (IsSearchRunning()) SleepMilliseconds(1);
  StopSearch();
  EXPECT_EQ(MemGetStatistics().liveBlocks, before);
}

TEST(SearchRequest, IsTakenOnce) {
  EXPECT_FALSE(TakeSearchRequest());
  RaiseSearchRequest();
  RaiseSearchRequest();
  EXPECT_TRUE(TakeSearchRequest());
  EXPECT_FALSE(TakeSearchRequest());
}

}  // namespace
