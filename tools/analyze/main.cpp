// vorlan-analyze: looks at game positions from the command line.
//
//   vorlan-analyze moves MASK1 MASK2 SIDE HAND1 HAND2
//   vorlan-analyze perft DEPTH [MASK1 MASK2 SIDE HAND1 HAND2]
//   vorlan-analyze search STRENGTH MASK1 MASK2 SIDE HAND1 HAND2 [--seed N | --no-shuffle]
//   vorlan-analyze selfplay --black STRENGTH --white STRENGTH [--games N] [--seed N]
//                           [--max-plies N] [--quiet | --boards]
//
// search and selfplay run the computer opponent as the game does: on its own
// thread, answering with a posted message. A strength is low, medium, high or
// 0, 1, 2. Without --seed, rand is seeded from the time of day, so that runs differ.
//
// Each command is one function in the table below; a position is always the
// five fields of a BoardPosition, masks in decimal or 0x-hex. Invalid input
// gets one line on standard error and exit status 2.

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "foundation/tl_memory.h"
#include "game/opponent/titan.h"
#include "game/rules/rules.h"
#include "tools/analyze/perft.h"
#include "tools/analyze/play.h"

namespace {

constexpr int kExitInvalid = 2;
constexpr const char* kProgram = "vorlan-analyze";
constexpr int32_t kMaxPerftDepth = 64;
constexpr int32_t kPiecesPerSide = 15;

int Refuse(const char* what, const char* detail = nullptr) {
  if (detail) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, what, detail);
  } else {
    std::fprintf(stderr, "%s: %s\n", kProgram, what);
  }
  return kExitInvalid;
}

// The whole text must be a number: decimal, or hexadecimal after 0x.
bool ParseUnsigned(const char* text, uint64_t limit, uint64_t& value) {
  int base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  if (*text == '\0') return false;
  value = 0;
  for (; *text; ++text) {
    int digit;
    if (*text >= '0' && *text <= '9') {
      digit = *text - '0';
    } else if (base == 16 && *text >= 'a' && *text <= 'f') {
      digit = *text - 'a' + 10;
    } else if (base == 16 && *text >= 'A' && *text <= 'F') {
      digit = *text - 'A' + 10;
    } else {
      return false;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > limit) return false;
  }
  return true;
}

bool ParseSigned(const char* text, int32_t& value) {
  bool negative = text[0] == '-';
  uint64_t magnitude;
  if (!ParseUnsigned(negative ? text + 1 : text, INT32_MAX, magnitude)) return false;
  value = negative ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
  return true;
}

// Reads MASK1 MASK2 SIDE HAND1 HAND2 and checks that they make a position
// the rules can play from. Returns 0 or the exit status after the message.
int ReadPosition(char** arguments, BoardPosition& position) {
  uint64_t masks[2];
  for (int i = 0; i < 2; ++i) {
    if (!ParseUnsigned(arguments[i], UINT32_MAX, masks[i])) {
      return Refuse("not a 32-bit mask", arguments[i]);
    }
  }
  int32_t numbers[3];
  for (int i = 0; i < 3; ++i) {
    if (!ParseSigned(arguments[2 + i], numbers[i])) return Refuse("not a number", arguments[2 + i]);
  }
  position = {static_cast<PositionMask>(masks[0]), static_cast<PositionMask>(masks[1]), numbers[0],
              numbers[1], numbers[2]};

  constexpr PositionMask kNoPosition = 0x80000001;
  PositionMask occupied = position.mask1 | position.mask2;
  if (occupied & kNoPosition) return Refuse("invalid position: bit 0 or 31 set in a mask");
  if (position.mask1 & position.mask2) return Refuse("invalid position: the masks overlap");
  PositionMask beneathPieces = BelowByByte2[(occupied >> 16) & 0xFF] | BelowByByte3[occupied >> 24];
  if (beneathPieces & ~occupied) {
    return Refuse("invalid position: a piece rests on an empty position");
  }
  if (position.side != 1 && position.side != 2) {
    return Refuse("invalid position: the side to move must be 1 or 2");
  }
  if (position.hand1 < 0 || position.hand2 < 0) return Refuse("invalid position: negative hand");
  // Each side has 15 pieces, so no hand holds more; a larger one would also
  // overflow when a take-back adds to it or the search weighs it.
  if (position.hand1 > kPiecesPerSide || position.hand2 > kPiecesPerSide) {
    return Refuse("invalid position: more than 15 pieces in a hand");
  }
  return 0;
}

const BoardPosition kStartingPosition{0, 0, 1, 15, 15};

int RunMoves(int count, char** arguments) {
  if (count != 5) return Refuse("usage: moves MASK1 MASK2 SIDE HAND1 HAND2");
  BoardPosition position;
  if (int status = ReadPosition(arguments, position)) return status;
  LegalMoveList list{};
  GenerateMoves(list, position);
  for (uint32_t i = 0; i < list.count; ++i) {
    const LegalMove& entry = list.storage[i];
    std::printf("%" PRIu32 " %" PRIu32 " %" PRIu32 " %" PRIu32 " %" PRIu32 "\n", entry.from,
                static_cast<uint32_t>(entry.to), static_cast<uint32_t>(entry.kind), entry.takeA,
                entry.takeB);
  }
  ReleaseMoveList(list);
  return 0;
}

int RunPerft(int count, char** arguments) {
  if (count != 1 && count != 6) return Refuse("usage: perft DEPTH [MASK1 MASK2 SIDE HAND1 HAND2]");
  uint64_t depth;
  if (!ParseUnsigned(arguments[0], kMaxPerftDepth, depth)) {
    return Refuse("the depth must be a number from 0 to 64", arguments[0]);
  }
  BoardPosition position = kStartingPosition;
  if (count == 6) {
    if (int status = ReadPosition(arguments + 1, position)) return status;
  }
  auto start = std::chrono::steady_clock::now();
  uint64_t sequences = Perft(position, static_cast<int32_t>(depth));
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  double seconds = elapsed.count() > 0 ? elapsed.count() : 1e-9;
  std::printf("%" PRIu64 "\n", sequences);
  std::printf("%.0f nodes per second\n", static_cast<double>(sequences) / seconds);
  return 0;
}

constexpr const char* kStrengthNames[] = {"low", "medium", "high"};
constexpr const char* kSideNames[] = {"black", "white"};
constexpr int32_t kDefaultMaxPlies = 1000;

bool ParseStrength(const char* text, int32_t& strength) {
  for (int32_t i = 0; i < 3; ++i) {
    if (std::strcmp(text, kStrengthNames[i]) == 0 || (text[0] == '0' + i && text[1] == '\0')) {
      strength = i;
      return true;
    }
  }
  return false;
}

// The option's value, or null (after the message) when it is missing.
const char* OptionValue(int count, char** arguments, int& index) {
  if (index + 1 >= count) {
    Refuse("missing value after", arguments[index]);
    return nullptr;
  }
  return arguments[++index];
}

bool ParseSeed(const char* text) {
  uint64_t seed;
  if (!ParseUnsigned(text, UINT32_MAX, seed)) return false;
  std::srand(static_cast<unsigned>(seed));
  return true;
}

void SeedFromClock() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
}

int RunSearch(int count, char** arguments) {
  constexpr const char* kUsage =
      "usage: search STRENGTH MASK1 MASK2 SIDE HAND1 HAND2 [--seed N | --no-shuffle]";
  if (count != 6 && count != 7 && count != 8) return Refuse(kUsage);
  int32_t strength;
  if (!ParseStrength(arguments[0], strength)) {
    return Refuse("the strength must be low, medium, high, 0, 1 or 2", arguments[0]);
  }
  BoardPosition position;
  if (int status = ReadPosition(arguments + 1, position)) return status;
  bool shuffle = true;
  if (count == 7 && std::strcmp(arguments[6], "--no-shuffle") == 0) {
    shuffle = false;
  } else if (count == 8 && std::strcmp(arguments[6], "--seed") == 0) {
    if (!ParseSeed(arguments[7])) return Refuse("not a 32-bit seed", arguments[7]);
  } else if (count != 6) {
    return Refuse(kUsage);
  }
  if (WinnerOf(position.mask1, position.mask2))
    return Refuse("the game is over: nothing to search");
  if (count == 6) SeedFromClock();

  LegalMoveList list{};
  GenerateMoves(list, position);
  int status = 0;
  if (list.count == 0) {
    // The side must pass; the game commits that without a search.
    std::printf("0 0 0 0\nscore 0 nodes 0 ms 0\n");
  } else {
    SetRootShuffle(shuffle);
    SearchReceiver receiver;
    MOVE move{};
    double milliseconds = 0;
    if (receiver.Search(position, list, strength, move, milliseconds)) {
      SearchStatistics statistics = LastSearchStatistics();
      std::printf("%" PRIu32 " %" PRIu32 " %" PRIu32 " %" PRIu32 "\n", move.from, move.to,
                  move.takeBack1, move.takeBack2);
      std::printf("score %" PRId32 " nodes %" PRIu64 " ms %.0f\n", statistics.score,
                  statistics.nodes, milliseconds);
    } else {
      std::fprintf(stderr, "%s: the search did not answer\n", kProgram);
      status = 1;
    }
  }
  ReleaseMoveList(list);
  ReleaseSearch();
  return status;
}

// The four layers side by side, x for black and o for white, then the hands.
void PrintBoard(const BoardPosition& position) {
  constexpr int32_t kWidths[4] = {4, 3, 2, 1};
  constexpr int32_t kFirsts[4] = {1, 17, 26, 30};
  for (int32_t row = 0; row < 4; ++row) {
    char line[64];
    size_t length = 0;
    for (int32_t layer = 0; layer < 4; ++layer) {
      line[length++] = ' ';
      line[length++] = ' ';
      for (int32_t column = 0; column < kWidths[layer]; ++column) {
        char mark = ' ';
        if (row < kWidths[layer]) {
          PositionMask bit =
              PositionBit(static_cast<uint32_t>(kFirsts[layer] + column + kWidths[layer] * row));
          mark = position.mask1 & bit ? 'x' : position.mask2 & bit ? 'o' : '.';
        }
        line[length++] = ' ';
        line[length++] = mark;
      }
    }
    while (length > 0 && line[length - 1] == ' ') --length;
    std::printf("%.*s\n", static_cast<int>(length), line);
  }
  std::printf("   in hand: black (x) %" PRId32 ", white (o) %" PRId32 "\n", position.hand1,
              position.hand2);
}

void PrintPlayedMove(const PlayedMove& played, int32_t ply) {
  std::printf("%4" PRId32 " %s ", ply, kSideNames[played.side - 1]);
  if (played.move.to == 0) {
    std::printf("pass\n");
    return;
  }
  std::printf("%" PRIu32 " %" PRIu32 " %" PRIu32 " %" PRIu32 "   score %" PRId32 " nodes %" PRIu64
              " ms %.1f\n",
              played.move.from, played.move.to, played.move.takeBack1, played.move.takeBack2,
              played.statistics.score, played.statistics.nodes, played.milliseconds);
}

struct BoardPrinter {
  int32_t ply = 0;
};

void PrintMoveAndBoard(const PlayedMove& played, const BoardPosition& after, void* context) {
  auto* printer = static_cast<BoardPrinter*>(context);
  PrintPlayedMove(played, ++printer->ply);
  PrintBoard(after);
  std::fflush(stdout);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int RunSelfplay(int count, char** arguments) {
  constexpr const char* kUsage =
      "usage: selfplay --black STRENGTH --white STRENGTH [--games N] [--seed N] "
      "[--max-plies N] [--quiet | --boards]";
  int32_t strengths[2] = {-1, -1};
  uint64_t games = 1;
  uint64_t maxPlies = kDefaultMaxPlies;
  bool seeded = false;
  bool quiet = false;
  bool boards = false;
  for (int i = 0; i < count; ++i) {
    const char* option = arguments[i];
    if (std::strcmp(option, "--black") == 0 || std::strcmp(option, "--white") == 0) {
      const char* value = OptionValue(count, arguments, i);
      if (!value) return kExitInvalid;
      if (!ParseStrength(value, strengths[option[2] == 'b' ? 0 : 1])) {
        return Refuse("the strength must be low, medium, high, 0, 1 or 2", value);
      }
    } else if (std::strcmp(option, "--games") == 0) {
      const char* value = OptionValue(count, arguments, i);
      if (!value) return kExitInvalid;
      if (!ParseUnsigned(value, 1000000, games) || games == 0) {
        return Refuse("the number of games must be from 1 to 1000000", value);
      }
    } else if (std::strcmp(option, "--max-plies") == 0) {
      const char* value = OptionValue(count, arguments, i);
      if (!value) return kExitInvalid;
      if (!ParseUnsigned(value, 1000000, maxPlies) || maxPlies == 0) {
        return Refuse("the ply limit must be from 1 to 1000000", value);
      }
    } else if (std::strcmp(option, "--seed") == 0) {
      const char* value = OptionValue(count, arguments, i);
      if (!value) return kExitInvalid;
      if (!ParseSeed(value)) return Refuse("not a 32-bit seed", value);
      seeded = true;
    } else if (std::strcmp(option, "--quiet") == 0) {
      quiet = true;
    } else if (std::strcmp(option, "--boards") == 0) {
      boards = true;
    } else {
      return Refuse("unknown option", option);
    }
  }
  if (strengths[0] < 0 || strengths[1] < 0) return Refuse(kUsage);
  if (quiet && boards) return Refuse(kUsage);
  if (!seeded) SeedFromClock();

  SearchReceiver receiver;
  if (!receiver.IsOpen()) {
    std::fprintf(stderr, "%s: no window for the search's answers\n", kProgram);
    return 1;
  }
  uint64_t wins[3] = {0, 0, 0};  // unfinished, black, white
  uint64_t failures = 0;
  uint64_t plies = 0;
  std::vector<double> times[2];
  for (uint64_t game = 1; game <= games; ++game) {
    if (!quiet) {
      std::printf("game %" PRIu64 ": black %s, white %s\n", game, kStrengthNames[strengths[0]],
                  kStrengthNames[strengths[1]]);
      if (boards) PrintBoard({0, 0, 1, 15, 15});
    }
    BoardPrinter printer;
    PlayedGame played = PlayGame(receiver, strengths, static_cast<int32_t>(maxPlies),
                                 boards ? PrintMoveAndBoard : nullptr, &printer);
    for (size_t ply = 0; ply < played.moves.size(); ++ply) {
      const PlayedMove& move = played.moves[ply];
      if (move.move.to != 0) times[move.side - 1].push_back(move.milliseconds);
      if (!quiet && !boards) PrintPlayedMove(move, static_cast<int32_t>(ply + 1));
    }
    plies += played.moves.size();
    ++wins[played.winner];
    if (played.failed) ++failures;
    if (!quiet) {
      if (!boards) PrintBoard(played.final);
      if (played.failed) {
        std::printf("the search failed after %zu plies\n", played.moves.size());
      } else if (played.winner) {
        std::printf("%s wins after %zu plies\n", kSideNames[played.winner - 1],
                    played.moves.size());
      } else {
        std::printf("unfinished after %zu plies\n", played.moves.size());
      }
      std::printf("\n");
    }
    std::fflush(stdout);
  }
  ReleaseSearch();

  std::printf("games %" PRIu64 ": black (%s) %" PRIu64 " wins, white (%s) %" PRIu64
              " wins, %" PRIu64 " unfinished\n",
              games, kStrengthNames[strengths[0]], wins[1], kStrengthNames[strengths[1]], wins[2],
              wins[0]);
  std::printf("average plies %.1f\n", static_cast<double>(plies) / static_cast<double>(games));
  for (int side = 0; side < 2; ++side) {
    double maximum =
        times[side].empty() ? 0 : *std::max_element(times[side].begin(), times[side].end());
    std::printf("%s (%s) ms per move: median %.1f, max %.1f\n", kSideNames[side],
                kStrengthNames[strengths[side]], Median(times[side]), maximum);
  }
  int status = 0;
  if (failures) {
    std::fprintf(stderr, "%s: %" PRIu64 " games ended with a failed search\n", kProgram, failures);
    status = 1;
  }
  // Every posted move has been freed and the search's lists released: a
  // block still live here is a leak.
  if (uint32_t live = MemGetStatistics().liveBlocks) {
    std::fprintf(stderr, "%s: %" PRIu32 " memory blocks still live after the games\n", kProgram,
                 live);
    status = 1;
  }
  return status;
}

struct Command {
  const char* name;
  const char* arguments;
  int (*run)(int count, char** arguments);
};

const Command kCommands[] = {
    {"moves", "MASK1 MASK2 SIDE HAND1 HAND2", RunMoves},
    {"perft", "DEPTH [MASK1 MASK2 SIDE HAND1 HAND2]", RunPerft},
    {"search", "STRENGTH MASK1 MASK2 SIDE HAND1 HAND2 [--seed N | --no-shuffle]", RunSearch},
    {"selfplay",
     "--black STRENGTH --white STRENGTH [--games N] [--seed N] [--max-plies N] "
     "[--quiet | --boards]",
     RunSelfplay},
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& command : kCommands) {
    std::fprintf(stderr, "  %s %s %s\n", kProgram, command.name, command.arguments);
  }
  std::fprintf(stderr,
               "masks are decimal or 0x-hex; side is 1 or 2; STRENGTH is low, medium, "
               "high, 0, 1 or 2\n");
  return kExitInvalid;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
  }
  return Usage();
}
