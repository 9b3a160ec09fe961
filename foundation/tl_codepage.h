#pragma once
// The desktop's 8-bit code page (Windows-1252) and its UTF-16 counterpart.
// Narrowing writes one byte per UTF-16 unit: a character the code page lacks
// becomes its plain base letter where it has one (a Latin letter with an
// accent the page does not carry) and a space otherwise. For Esperanto, whose
// letters the desktop shows with ISO 8859-3 fonts, those six letter pairs are
// written as their ISO 8859-3 bytes instead. Widening is the plain inverse of
// the code page.

#include <cstddef>
#include <cstdint>

// count: units (or bytes) to read; kWholeText reads up to the NUL.
constexpr size_t kWholeText = static_cast<size_t>(-1);

// Both stop at a NUL, write at most room - 1 units and always terminate
// (room 0: nothing is written). They return the number written before the
// terminating NUL.
size_t NarrowText(char* destination, size_t room, const char16_t* source, size_t count,
                  bool esperantoBytes);
size_t WidenText(char16_t* destination, size_t room, const char* source, size_t count);

char NarrowCharacter(char16_t character, bool esperantoBytes);
char16_t WidenCharacter(char character);
