#pragma once
// cetl::PROPERTIES: the settings of a skin, read from "key = value" lines.
// Keys match without case. Every value keeps its text together with that
// text read as a colour and as an integer, so the skin code never parses a
// value twice; a key that is absent reads as the empty text with colour 0
// and integer 0.

#include <cstddef>
#include <cstdint>

#include "cetl/map.h"
#include "foundation/tl_string.h"

namespace cetl {

// "RRGGBB" or "#RRGGBB" in either case, as the palette-relative colour
// 0x02BBGGRR; anything that is not six hexadecimal digits gives 0.
uint32_t ParseColor(const string& text);
// An optional sign and decimal digits, up to the first other character;
// text without digits gives 0. Values beyond 32 bits stop at the limit.
int32_t ParseInteger(const string& text);

class PROPERTIESVALUE {
 public:
  PROPERTIESVALUE() = default;
  PROPERTIESVALUE(const string& text) { *this = text; }
  PROPERTIESVALUE& operator=(const string& text);

  const string& text() const { return m_text; }
  uint32_t color() const { return m_color; }
  int32_t integer() const { return m_integer; }

 private:
  string m_text;
  uint32_t m_color = 0;
  int32_t m_integer = 0;
};

class PROPERTIES : public stringmap<PROPERTIESVALUE> {
 public:
  enum ParseMode : int32_t {
    kStore = 0,   // each "key = value" line stores the value, replacing an earlier one
    kRemove = 1,  // each "key = value" line removes the key; values are ignored
  };

  // Reads the lines of the text up to its end or its first NUL. Lines that
  // start with "#" or "=", and lines without "=", are skipped; there are no
  // comments after a value. False, with nothing changed, for an unknown mode.
  bool parse(const string& text, int32_t mode = kStore);
  // The same for counted text, such as a file read straight from an archive.
  bool parse_text(const char* text, size_t length, int32_t mode = kStore);
  bool parse_text(const char16_t* text, size_t length, int32_t mode = kStore);
};

}  // namespace cetl
