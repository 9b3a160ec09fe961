#include "cetl/properties.h"

#include <cstdint>
#include <limits>

namespace cetl {

namespace {

// Only the palette-relative form is produced: the skin's colours are meant
// to be matched to the nearest entry of the current palette.
constexpr uint32_t kPaletteRelative = 0x02000000;

int32_t HexDigit(TCHAR character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'a' && character <= 'f') return character - 'a' + 10;
  if (character >= 'A' && character <= 'F') return character - 'A' + 10;
  return -1;
}

template <class Character>
bool IsBlank(Character character) {
  return character == ' ' || character == '\t';
}

template <class Character>
bool IsLineBreak(Character character) {
  return character == '\r' || character == '\n';
}

template <class Character>
bool ParseText(PROPERTIES& properties, const Character* text, size_t length, int32_t mode) {
  if (mode != PROPERTIES::kStore && mode != PROPERTIES::kRemove) return false;
  if (!text) return true;
  // The text is bounded by its length and by a NUL, whichever comes first,
  // so a settings file taken straight from an archive needs no terminator.
  size_t end = 0;
  while (end < length && text[end]) ++end;
  // Positions are handed to string as 32-bit counts.
  if (end > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;

  size_t position = 0;
  while (position < end) {
    while (position < end && (IsBlank(text[position]) || IsLineBreak(text[position]))) ++position;
    if (position == end) break;
    size_t lineStart = position;
    size_t equals = end;
    while (position < end && !IsLineBreak(text[position])) {
      if (text[position] == '=' && equals == end) equals = position;
      ++position;
    }
    size_t lineEnd = position;
    if (text[lineStart] == '#' || text[lineStart] == '=' || equals == end) continue;

    size_t keyEnd = equals;
    while (keyEnd > lineStart && IsBlank(text[keyEnd - 1])) --keyEnd;
    size_t valueStart = equals + 1;
    while (valueStart < lineEnd && IsBlank(text[valueStart])) ++valueStart;
    size_t valueEnd = lineEnd;
    while (valueEnd > valueStart && IsBlank(text[valueEnd - 1])) --valueEnd;

    istring key(text, static_cast<uint32_t>(lineStart), static_cast<int32_t>(keyEnd - lineStart));
    if (mode == PROPERTIES::kRemove) {
      properties.erase(key);
    } else {
      properties.set(key, PROPERTIESVALUE(string(text, static_cast<uint32_t>(valueStart),
                                                 static_cast<int32_t>(valueEnd - valueStart))));
    }
  }
  return true;
}

}  // namespace

uint32_t ParseColor(const string& text) {
  const TCHAR* digits = text.Text();
  if (*digits == '#') ++digits;
  uint32_t red = 0;
  uint32_t green = 0;
  uint32_t blue = 0;
  uint32_t* channels[] = {&red, &green, &blue};
  for (int32_t k = 0; k < 6; ++k) {
    // A NUL ends the text and is no digit, so short text stops here safely.
    int32_t digit = HexDigit(digits[k]);
    if (digit < 0) return 0;
    uint32_t& channel = *channels[k / 2];
    channel = channel * 16 + static_cast<uint32_t>(digit);
  }
  return kPaletteRelative | (blue << 16) | (green << 8) | red;
}

int32_t ParseInteger(const string& text) {
  const TCHAR* character = text.Text();
  bool negative = false;
  if (*character == '+' || *character == '-') negative = *character++ == '-';
  // Counted in 64 bits and held at the 32-bit limits, so a long run of
  // digits cannot overflow.
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  for (; *character >= '0' && *character <= '9'; ++character) {
    value = value * 10 + (*character - '0');
    if (value > limit) value = limit;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

PROPERTIESVALUE& PROPERTIESVALUE::operator=(const string& text) {
  m_text = text;
  m_color = ParseColor(m_text);
  m_integer = ParseInteger(m_text);
  return *this;
}

bool PROPERTIES::parse(const string& text, int32_t mode) {
  return ParseText(*this, text.Text(), text.Length(), mode);
}

bool PROPERTIES::parse_text(const char* text, size_t length, int32_t mode) {
  return ParseText(*this, text, length, mode);
}

bool PROPERTIES::parse_text(const char16_t* text, size_t length, int32_t mode) {
  return ParseText(*this, text, length, mode);
}

}  // namespace cetl
