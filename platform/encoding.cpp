#include "platform/encoding.h"

namespace {

constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t kIso8859_3High[96] = {
    0x00A0, 0x0126, 0x02D8, 0x00A3, 0x00A4, 0x00A5, 0x0124, 0x00A7,  // A0
    0x00A8, 0x0130, 0x015E, 0x011E, 0x0134, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x0127, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x0125, 0x00B7,  // B0
    0x00B8, 0x0131, 0x015F, 0x011F, 0x0135, 0x00BD, 0x00BE, 0x017C,  // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x010A, 0x0108, 0x00C7,  // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,  // C8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x0120, 0x00D6, 0x00D7,  // D0
    0x011C, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x016C, 0x015C, 0x00DF,  // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x010B, 0x0109, 0x00E7,  // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,  // E8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x0121, 0x00F6, 0x00F7,  // F0
    0x011D, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x016D, 0x015D, 0x02D9,  // F8
};

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

char16_t Windows1252ToUnit(char byte) {
  uint8_t code = static_cast<uint8_t>(byte);
  if (code >= 0x80 && code < 0xA0) return kWindows1252High[code - 0x80];
  return code;
}

bool UnitToWindows1252(char16_t unit, char* byte) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
    *byte = static_cast<char>(unit);
    return true;
  }
  for (unsigned i = 0; i < 32; ++i) {
    if (kWindows1252High[i] == unit) {
      *byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

char16_t Iso8859_3ToUnit(char byte) {
  uint8_t code = static_cast<uint8_t>(byte);
  if (code >= 0xA0) return kIso8859_3High[code - 0xA0];
  return code;
}

std::u16string Windows1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char byte : text) out.push_back(Windows1252ToUnit(byte));
  return out;
}

std::string Utf16ToWindows1252(std::u16string_view text, char replacement) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t code = ReadUtf16(text, &i);
    char byte = replacement;
    if (code < 0x10000 && !UnitToWindows1252(static_cast<char16_t>(code), &byte)) {
      byte = replacement;
    }
    out.push_back(byte);
  }
  return out;
}

char32_t ReadUtf16(std::u16string_view text, size_t* position) {
  size_t i = *position;
  char32_t code = text[i++];
  if (code >= 0xD800 && code < 0xDC00 && i < text.size() && text[i] >= 0xDC00 &&
      text[i] < 0xE000) {
    code = 0x10000 + ((code - 0xD800) << 10) + (text[i++] - 0xDC00);
  }
  *position = i;
  return code;
}

std::string Utf16ToUtf8(std::u16string_view text, LoneSurrogate loneSurrogate) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t code = ReadUtf16(text, &i);
    if (IsSurrogate(code) && loneSurrogate == LoneSurrogate::kReplace) code = kReplacement;
    AppendUtf8(out, code);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint8_t lead = static_cast<uint8_t>(text[i++]);
    char32_t code = kReplacement;
    size_t extra = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1F, extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0F, extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07, extra = 3;
    }
    // A sequence cut short ends before the byte that cut it, which is read
    // again as the start of the next one.
    for (size_t k = 0; k < extra; ++k, ++i) {
      if (i >= text.size() || (static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) {
        code = kReplacement;
        break;
      }
      code = (code << 6) | (static_cast<uint8_t>(text[i]) & 0x3F);
    }
    if (code > 0x10FFFF || IsSurrogate(code)) code = kReplacement;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}
