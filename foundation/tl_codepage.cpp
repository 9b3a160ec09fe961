#include "foundation/tl_codepage.h"

#include "platform/encoding.h"

namespace {

// Base letters of U+0100-U+017F for the page's best fit. The few letters of
// that block the page does carry (marked '?') are found by the code page
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
  // The page carries none of the Esperanto letters, so the order of these
  // two look-ups does not matter.
  char byte;
  if (UnitToWindows1252(character, &byte)) return byte;
  if (esperantoBytes) {
    for (const EsperantoLetter& letter : kEsperantoLetters) {
      if (letter.character == character) return static_cast<char>(letter.iso8859_3);
    }
  }
  if (character >= 0x100 && character < 0x180) {
    return kLatinExtendedBase[character - 0x100];
  }
  return ' ';
}

char16_t WidenCharacter(char character) { return Windows1252ToUnit(character); }

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
