#include "foundation/tl_codepage.h"

namespace {

// Bytes 0x80-0x9F of Windows-1252. The five bytes the page leaves unassigned
// map to the control characters of the same value, as the system's own
// conversion does, so that every byte survives a round trip.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Base letters of U+0100-U+017F for the page's best fit. The few letters of
// that block the page does carry (marked '?') are found in kHighControls
// first and never read here.
constexpr char kLatinExtendedBase[] =
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "IiIiJjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOo"
    "Oo??RrRrRrSsSsSs"
    "??TtTtTtUuUuUuUu"
    "UuUuWwYy?ZzZz??s";
static_assert(sizeof(kLatinExtendedBase) == 129);

struct EsperantoLetter {
  char16_t character;
  unsigned char iso8859_3;
};

constexpr EsperantoLetter kEsperantoLetters[] = {
    {0x0108, 0xC6}, {0x0109, 0xE6}, {0x011C, 0xD8}, {0x011D, 0xF8}, {0x0124, 0xA6}, {0x0125, 0xB6},
    {0x0134, 0xAC}, {0x0135, 0xBC}, {0x015C, 0xDE}, {0x015D, 0xFE}, {0x016C, 0xDD}, {0x016D, 0xFD},
};

}  // namespace

char NarrowCharacter(char16_t character, bool esperantoBytes) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
    return static_cast<char>(character);
  }
  if (esperantoBytes) {
    for (const EsperantoLetter& letter : kEsperantoLetters) {
      if (letter.character == character) return static_cast<char>(letter.iso8859_3);
    }
  }
  for (unsigned byte = 0; byte < 32; ++byte) {
    if (kHighControls[byte] == character) return static_cast<char>(0x80 + byte);
  }
  if (character >= 0x100 && character < 0x180) {
    return kLatinExtendedBase[character - 0x100];
  }
  return ' ';
}

char16_t WidenCharacter(char character) {
  unsigned char byte = static_cast<unsigned char>(character);
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

size_t NarrowText(char* destination, size_t room, const char16_t* source, size_t count,
                  bool esperantoBytes) {
  if (room == 0) return 0;
  size_t written = 0;
  if (source) {
    while (written < count && written + 1 < room && source[written] != 0) {
      destination[written] = NarrowCharacter(source[written], esperantoBytes);
      ++written;
    }
  }
  destination[written] = 0;
  return written;
}

size_t WidenText(char16_t* destination, size_t room, const char* source, size_t count) {
  if (room == 0) return 0;
  size_t written = 0;
  if (source) {
    while (written < count && written + 1 < room && source[written] != 0) {
      destination[written] = WidenCharacter(source[written]);
      ++written;
    }
  }
  destination[written] = 0;
  return written;
}
