#include "tools/analyze/play.h"

#include "foundation/tl_memory.h"
#include "game/flow/sequencer.h"
#include "platform/clock.h"

namespace {

constexpr char16_t kReceiverClass[] = u"VorlanAnalyzeReceiver";

bool RegisterReceiverClass() {
  static const bool registered = [] {
    WindowClass description;
    description.name = kReceiverClass;
    description.procedure = DefaultWindowProcedure;
    return RegisterWindowClass(description);
  }();
  return registered;
}

// Frees a result that was posted before its search was stopped and still
// waits in the queue, which destroying the window would drop unread.
void DiscardLateResults(WindowHandle window) {
  Message message;
  while (PeekNextMessage(&message, true)) {
    if (message.window == window && message.message == kMessageCommand &&
        LowWord(message.word) == kCommandComputerMove) {
      MEM_DELETE(reinterpret_cast<MOVE*>(message.value));
    }
  }
}

double MillisecondsSince(uint64_t start) {
  return static_cast<double>(PerformanceCount() - start) * 1000.0 /
         static_cast<double>(PerformanceFrequency());
}

}  // namespace

SearchReceiver::SearchReceiver() {
  if (RegisterReceiverClass()) {
    window_ = CreateWindowOfClass(kReceiverClass, u"", kStylePopup, 0, 0, 1, 1, {}, 0, nullptr);
  }
}

SearchReceiver::~SearchReceiver() {
  StopSearch();
  if (!window_) return;
  DiscardLateResults(window_);
  DestroyWindow(window_);
}

bool SearchReceiver::Search(const BoardPosition& position, const LegalMoveList& list,
                            int32_t strength, MOVE& move, double& milliseconds) {
  if (!window_) return false;
  uint64_t start = PerformanceCount();
  if (!StartSearch(window_, position, list, strength)) return false;
  Message message;
  while (GetNextMessage(&message)) {
    if (message.window == window_ && message.message == kMessageCommand &&
        LowWord(message.word) == kCommandComputerMove) {
      milliseconds = MillisecondsSince(start);
      MOVE* posted = reinterpret_cast<MOVE*>(message.value);
      move = *posted;
      MEM_DELETE(posted);
      return true;
    }
    DispatchWindowMessage(message);
  }
  StopSearch();
  DiscardLateResults(window_);
  return false;
}

PlayedGame PlayGame(SearchReceiver& receiver, const int32_t strengths[2], int32_t maxPlies,
                    AfterMoveFunction afterMove, void* context) {
  PlayedGame game{};
  BoardPosition position{0, 0, 1, 15, 15};
  LegalMoveList list{};
  for (int32_t ply = 0; ply < maxPlies && !WinnerOf(position.mask1, position.mask2); ++ply) {
    PlayedMove played{};
    played.side = position.side;
    GenerateMoves(list, position);
    if (list.count != 0) {
      // The game flow checks a posted move the same way before it plays it.
      if (!receiver.Search(position, list, strengths[position.side - 1], played.move,
                           played.milliseconds) ||
          !IsLegalMove(list, played.move)) {
        game.failed = true;
        break;
      }
      played.statistics = LastSearchStatistics();
    }
    ApplyMove(position, played.move);
    game.moves.push_back(played);
    if (afterMove) afterMove(played, position, context);
  }
  ReleaseMoveList(list);
  game.final = position;
  game.winner = WinnerOf(position.mask1, position.mask2);
  return game;
}
