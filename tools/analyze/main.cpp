// vorlan-analyze: looks at game positions from the command line.
//
//   vorlan-analyze moves MASK1 MASK2 SIDE HAND1 HAND2
//   vorlan-analyze perft DEPTH [MASK1 MASK2 SIDE HAND1 HAND2]
//
// Each command is one function in the table below; a position is always the
// five fields of a BoardPosition, masks in decimal or 0x-hex. Invalid input
// gets one line on standard error and exit status 2.

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "game/rules/rules.h"
#include "tools/analyze/perft.h"

namespace {

constexpr int kExitInvalid = 2;
constexpr const char* kProgram = "vorlan-analyze";
constexpr int32_t kMaxPerftDepth = 64;

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

struct Command {
  const char* name;
  const char* arguments;
  int (*run)(int count, char** arguments);
};

const Command kCommands[] = {
    {"moves", "MASK1 MASK2 SIDE HAND1 HAND2", RunMoves},
    {"perft", "DEPTH [MASK1 MASK2 SIDE HAND1 HAND2]", RunPerft},
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& command : kCommands) {
    std::fprintf(stderr, "  %s %s %s\n", kProgram, command.name, command.arguments);
  }
  std::fprintf(stderr, "masks are decimal or 0x-hex; side is 1 or 2\n");
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
