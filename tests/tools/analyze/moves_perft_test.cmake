# Drives vorlan-analyze as a user would and checks its output and exit status.
# Run with -DANALYZE=<path of vorlan-analyze>.

include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)

# The opening: sixteen placements on the base, in order.
set(opening "")
foreach(to RANGE 1 16)
  string(APPEND opening "0 ${to} 0 0 0\n")
endforeach()
expect(STATUS 0 STDOUT "${opening}" ARGS moves 0 0 1 15 15)

# Side 1 holds 1, 2, 3, 5, 6, 7 and 17 and completes the row 1-4 on 4: the
# free set is 3, 4, 7 and 17 (0x20098); taking 17 first frees 1, 2, 5 and 6.
# The raises come first, then the placements.
set(row_position_lines
    "(^|\n)0 4 0 131224 0\n0 4 1 17 1\n0 4 1 17 2\n0 4 1 17 5\n0 4 1 17 6\n0 8 0 131464 0\n"
    "^3 20 0 0 0\n7 20 0 0 0\n0 4 ")
expect(STATUS 0 MATCH ${row_position_lines} ARGS moves 0x200EE 0x600 1 8 13)
expect(STATUS 0 MATCH ${row_position_lines} ARGS moves 131310 1536 1 8 13)
expect(STATUS 0 MATCH ${row_position_lines} ARGS moves 0X200ee 0x00000600 1 8 13)

# A finished game and a side that must pass have no moves.
expect(STATUS 0 STDOUT "" ARGS moves 0x7FFFFFFE 0 2 0 15)
expect(STATUS 0 STDOUT "" ARGS moves 0x2 0x20064 1 0 11)

# Positions that break the rules, and arguments that are no numbers.
foreach(arguments
    "0x6;0x2;1;15;15"             # the masks overlap
    "0x20000;0;1;15;15"           # 17 rests on empty positions
    "0x40000000;0x3FFFFFF0;1;0;0" # the top over empty 1, 2 and 3
    "0;0;0;15;15"                 # no side 0
    "0;0;3;15;15"                 # no side 3
    "0;0;1;-1;15"                 # negative hand
    "0;0;2;15;-3"
    "0;0;1;16;15"                 # a side has only 15 pieces
    "0;0;2;15;2147483647"
    "0x1;0;1;15;15"               # bit 0
    "0;0x80000000;1;15;15"        # bit 31
    "12x;0;1;15;15"
    "0x;0;1;15;15"
    "0x100000000;0;1;15;15"       # wider than 32 bits
    "-1;0;1;15;15"
    "0;0;one;15;15"
    "0;0;1;15;99999999999")
  expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS moves ${arguments})
endforeach()
expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS perft 2 0x6 0x2 1 15 15)
# A hand near the largest 32-bit number would overflow when a take-back adds to it.
expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS perft 3 0x200EE 0x600 1 2147483647 13)
expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS moves 0 0 1 15)
expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS perft)
expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS perft -1)
expect(STATUS 2 STDOUT "" ONE_ERROR_LINE ARGS perft 65)
expect(STATUS 2 STDOUT "" ARGS)
expect(STATUS 2 STDOUT "" ARGS solve 0 0 1 15 15)

# Move sequences from the start, and the rate on the second line.
set(depth 0)
foreach(expected 1 16 240 3360 43680)
  expect(STATUS 0 MATCH "^${expected}\n[0-9]+ nodes per second\n$" ARGS perft ${depth})
  math(EXPR depth "${depth} + 1")
endforeach()
expect(STATUS 0 MATCH "^240\n" ARGS perft 2 0 0 1 15 15)

# A side that cannot move passes; a finished game ends every sequence.
expect(STATUS 0 MATCH "^1\n" ARGS perft 1 0x2 0x20064 1 0 11)
expect(STATUS 0 MATCH "^0\n" ARGS perft 1 0x7FFFFFFE 0 2 0 15)
expect(STATUS 0 MATCH "^1\n" ARGS perft 0 0x7FFFFFFE 0 2 0 15)
# Side 1 completes a row on 4 and on 8: 1 + 4 + 6 + 4 pair entries = 15
# moves each; besides, 2 raises and 8 placements without a formation.
expect(STATUS 0 MATCH "^40\n" ARGS perft 1 0x200EE 0x600 1 8 13)
