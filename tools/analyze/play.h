#pragma once
// The computer's search as the game uses it: started through StartSearch and
// answered by a message on a window of the calling thread, so the tools and
// the benchmarks measure what a player waits for.

#include <cstdint>
#include <vector>

#include "game/opponent/titan.h"

// A window on the calling thread that receives the search's results. Make one
// per thread and keep it while searching.
class SearchReceiver {
 public:
  SearchReceiver();
  ~SearchReceiver();
  SearchReceiver(const SearchReceiver&) = delete;
  SearchReceiver& operator=(const SearchReceiver&) = delete;

  bool IsOpen() const { return static_cast<bool>(window_); }

  // Searches position (whose legal moves are list) and waits for the move.
  // False when no search could start or the queue ended first.
  bool Search(const BoardPosition& position, const LegalMoveList& list, int32_t strength,
              MOVE& move, double& milliseconds);

 private:
  WindowHandle window_;
};

// One ply of a game played by the computer on both sides.
struct PlayedMove {
  int32_t side;         // the side that moved
  MOVE move;            // a pass when its to is 0
  double milliseconds;  // the search's time; 0 for a pass
  SearchStatistics statistics;
};

struct PlayedGame {
  std::vector<PlayedMove> moves;
  BoardPosition final;
  int32_t winner;  // 0 when the ply limit ended the game or a search failed
  bool failed;     // a search did not answer or answered an illegal move
};

// Plays from the starting position until a side holds the top or maxPlies
// plies have been played; strengths[0] plays side 1, strengths[1] side 2.
// afterMove, when given, sees the position after each ply.
using AfterMoveFunction = void (*)(const PlayedMove& played, const BoardPosition& after,
                                   void* context);
PlayedGame PlayGame(SearchReceiver& receiver, const int32_t strengths[2], int32_t maxPlies,
                    AfterMoveFunction afterMove = nullptr, void* context = nullptr);
