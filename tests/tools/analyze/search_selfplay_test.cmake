# Drives the search and self-play commands of vorlan-analyze as a user would.
# Run with -DANALYZE=<path of vorlan-analyze>.

include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)

set(result_line "score -?[0-9]+ nodes [0-9]+ ms [0-9]+\n$")

# From the start the placements tie; without the shuffle the first is kept,
# at every way of naming the strength.
foreach(strength low 0 LOW_IS_NOT_A_NAME)
  if(strength STREQUAL "LOW_IS_NOT_A_NAME")
    expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS search Low 0 0 1 15 15 --no-shuffle)
  else()
    expect(STATUS 0 MATCH "^0 1 0 0\nscore 0 nodes [0-9]+ ms [0-9]+\n$"
           ARGS search ${strength} 0 0 1 15 15 --no-shuffle)
  endif()
endforeach()

# The one move there is, placing the top, is a win.
expect(STATUS 0 MATCH "^0 30 0 0\nscore 200000 nodes 1 ms [0-9]+\n$"
       ARGS search high 0x7FFE 0x3FFF8000 1 1 0)

# A seed chooses the same move every time; some seed moves off entry 0.
execute_process(COMMAND ${ANALYZE} search medium 0 0 1 15 15 --seed 7 OUTPUT_VARIABLE first)
execute_process(COMMAND ${ANALYZE} search 1 0 0 1 15 15 --seed 7 OUTPUT_VARIABLE second)
string(REGEX MATCH "^[^\n]*" first_move "${first}")
string(REGEX MATCH "^[^\n]*" second_move "${second}")
if(NOT first_move STREQUAL second_move OR NOT first_move MATCHES "^0 ([2-9]|1[0-6]) 0 0$")
  message(SEND_ERROR "seeded searches answered '${first_move}' and '${second_move}'")
endif()

# A side that must pass answers a pass without searching.
expect(STATUS 0 STDOUT "0 0 0 0\nscore 0 nodes 0 ms 0\n" ARGS search low 0x2 0x20064 1 0 11)

# Bad positions and arguments are refused with one line.
foreach(arguments
    "low;0x6;0x2;1;15;15"             # the masks overlap
    "low;0x20000;0;1;15;15"           # 17 rests on empty positions
    "low;0;0;3;15;15"                 # no side 3
    "low;0x200EE;0x600;1;2147483647;13" # more pieces in hand than a side has
    "low;0x7FFFFFFE;0;2;0;15"         # the game is over
    "extreme;0;0;1;15;15"
    "3;0;0;1;15;15"
    "low;0;0;1;15;15;--seed"
    "low;0;0;1;15;15;--seed;x"
    "low;0;0;1;15;15;--shuffle"
    "low;0;0;1;15;15;--seed;1;--no-shuffle")
  expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS search ${arguments})
endforeach()
foreach(arguments
    "--black;low"
    "--black;low;--white"
    "--black;low;--white;top"
    "--black;low;--white;high;--games;0"
    "--black;low;--white;high;--max-plies;x"
    "--black;low;--white;high;--quiet;--boards"
    "--black;low;--white;high;--fast")
  expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS selfplay ${arguments})
endforeach()

# Whole games: every game ends with a winner (or the ply limit), and the
# summary adds up.
expect(STATUS 0
       MATCH "^game 1: black low, white medium\n   1 black 0 [0-9]+ 0 0   score"
             "\n(black|white) wins after [0-9]+ plies\n\ngame 2:"
             "games 2: black \\(low\\) [0-2] wins, white \\(medium\\) [0-2] wins, 0 unfinished\n"
             "average plies [0-9]+\\.[0-9]\n"
             "black \\(low\\) ms per move: median [0-9.]+, max [0-9.]+\n"
             "white \\(medium\\) ms per move: median [0-9.]+, max [0-9.]+\n$"
       ARGS selfplay --black low --white medium --games 2 --seed 5)
expect(STATUS 0 MATCH "^games 3: black \\(low\\) [0-3] wins, white \\(high\\) [0-3] wins, 0 unfinished\n"
       ARGS selfplay --black 0 --white 2 --games 3 --seed 11 --quiet)
# With --boards the board follows every move; the ply limit ends a game.
expect(STATUS 0
       MATCH "^game 1: black medium, white medium\n( [ .xo]+\n)( [ .xo]+\n)( [ .xo]+\n)( [ .xo]+\n)   in hand: black \\(x\\) 15, white \\(o\\) 15\n   1 black "
             "\nunfinished after 3 plies\n"
             "0 wins, white \\(medium\\) 0 wins, 1 unfinished\n"
       ARGS selfplay --black medium --white medium --boards --max-plies 3 --seed 1)
