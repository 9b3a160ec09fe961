// Format texts against a fixed argument list, in both format widths, with
// format texts and continued entries from a string table, and the code page
// conversions. The first byte picks the mode; the rest is the input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/tl_codepage.h"
#include "foundation/tl_string.h"

namespace {

std::vector<std::u16string> g_entries;
bool g_systemLanguage = true;

const char16_t* Lookup(uint32_t id, size_t* length) {
  if (id >= g_entries.size()) return nullptr;
  *length = g_entries[id].size();
  return g_entries[id].data();
}

constexpr StringTableLanguage kLanguage = {[] { return 0u; }, [] { return 1u; },
                                           [] { return g_systemLanguage; }, Lookup};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckString(const string& text) {
  size_t length = 0;
  while (text.Text()[length]) ++length;
  Check(length == text.Length());
  Check(std::strlen(text.Narrow()) == text.Length());
}

template <class Character>
void FormatWithFixedArguments(const Character* format) {
  int marker = 0;
  sformat text(format, 40, "readme.txt", u"\u015Di", 2.97, -1, 'c',
               static_cast<const char*>(nullptr), StringId(1), 0.5f, int64_t{0x1234567890}, &marker,
               -1e300, 65535);
  CheckString(text);
}

std::u16string Utf16(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit) text += unit;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SetStringTableLanguage(&kLanguage);
  g_systemLanguage = (data[0] & 0x80) == 0;
  const uint8_t* body = data + 1;
  size_t length = size - 1;
  std::string narrow(reinterpret_cast<const char*>(body), length);
  std::u16string wide = Utf16(body, length);
  g_entries.assign({u"%{ld,s}%2 %1", u"part +", u"end"});

  switch (data[0] & 3) {
    case 0:
      FormatWithFixedArguments(narrow.c_str());
      break;
    case 1:
      FormatWithFixedArguments(wide.c_str());
      break;
    case 2: {
      // Every byte widens and narrows back to itself.
      std::vector<char16_t> widened(length + 1);
      size_t count = WidenText(widened.data(), widened.size(), narrow.c_str(), kWholeText);
      std::vector<char> back(count + 1);
      NarrowText(back.data(), back.size(), widened.data(), count, !g_systemLanguage);
      Check(std::strcmp(back.data(), narrow.c_str()) == 0);
      // Narrowing gives one byte per unit up to the first NUL.
      std::vector<char> bytes(wide.size() + 1);
      Check(NarrowText(bytes.data(), bytes.size(), wide.c_str(), kWholeText, !g_systemLanguage) ==
            wide.size());
      string both(wide.c_str());
      CheckString(both);
      break;
    }
    default: {
      // The input is a string table: entries separated by line feeds, the
      // first one used as the format text.
      g_entries.clear();
      size_t start = 0;
      for (size_t i = 0; i <= wide.size(); ++i) {
        if (i == wide.size() || wide[i] == u'\n') {
          g_entries.push_back(wide.substr(start, i - start));
          start = i + 1;
        }
      }
      for (uint32_t id = 0; id < g_entries.size() && id < 8; ++id)
        CheckString(string(StringId(id)));
      int marker = 0;
      sformat text(StringId(0), 7, u"x", 1.25, StringId(1), &marker);
      CheckString(text);
      break;
    }
  }
  SetStringTableLanguage(nullptr);
  return 0;
}
