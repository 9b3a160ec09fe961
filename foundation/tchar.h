#pragma once
// The text character of the program being built: 8-bit in the setup,
// a UTF-16 code unit in the game. TXT("...") makes a literal of that width.
#if VORLAN_WIDE_TCHAR
using TCHAR = char16_t;
#define TXT(literal) u##literal
#else
using TCHAR = char;
#define TXT(literal) literal
#endif
