#include "tools/rescomp/rescomp_script.h"

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <tuple>

#include "platform/resource.h"

using namespace resource_format;

namespace {

// Style words: the numbers are those of the window system the templates were
// first written for, so templates keep their meaning; the words are ours.
struct StyleWord {
  const char* word;
  uint32_t value;
};
constexpr StyleWord kStyleWords[] = {
    // Windows.
    {"popup", 0x80000000u},
    {"child", 0x40000000u},
    {"minimized", 0x20000000u},
    {"visible", 0x10000000u},
    {"disabled", 0x08000000u},
    {"clip-siblings", 0x04000000u},
    {"clip-children", 0x02000000u},
    {"caption", 0x00C00000u},
    {"border", 0x00800000u},
    {"dialog-frame", 0x00400000u},
    {"vertical-scroll", 0x00200000u},
    {"horizontal-scroll", 0x00100000u},
    {"system-menu", 0x00080000u},
    {"sizing-border", 0x00040000u},
    {"group", 0x00020000u},
    {"minimize-box", 0x00020000u},
    {"tab-stop", 0x00010000u},
    {"maximize-box", 0x00010000u},
    // Dialogs.
    {"modal-frame", 0x00000080u},
    {"centre-dialog", 0x00000800u},
    // Buttons: the type is the low 4 bits.
    {"push-button", 0},
    {"default-push-button", 1},
    {"check-box", 2},
    {"auto-check-box", 3},
    {"radio-button", 4},
    {"three-state", 5},
    {"auto-three-state", 6},
    {"group-box", 7},
    {"auto-radio-button", 9},
    // Static texts.
    {"left", 0},
    {"centre", 1},
    {"right", 2},
    {"no-prefix", 0x80},
    // Scroll bars.
    {"vertical", 1},
    // Edit fields.
    {"multi-line", 0x0004},
    {"auto-horizontal-scroll", 0x0080},
    {"read-only", 0x0800},
    // List and combo boxes.
    {"notify", 0x0001},
    {"drop-down", 0x0002},
    {"drop-down-list", 0x0003},
};

enum class TokenKind { Word, Number, Text, Bar };
struct Token {
  TokenKind kind;
  std::string text;     // word, or the UTF-8 bytes of a text (escapes resolved)
  int64_t number = 0;
};

class Failure {
 public:
  Failure(int32_t line, std::string message) : line(line), message(std::move(message)) {}
  int32_t line;
  std::string message;
};

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Decodes one UTF-8 character at text[i]; throws on malformed input, since a
// script with broken text must not produce garbled resources.
uint32_t DecodeUtf8(std::string_view text, size_t* i, int32_t line) {
  unsigned char lead = static_cast<unsigned char>(text[*i]);
  int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2
                              : (lead & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0) throw Failure(line, "malformed UTF-8 text");
  uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
  if (*i + static_cast<size_t>(extra) >= text.size()) throw Failure(line, "malformed UTF-8 text");
  for (int k = 1; k <= extra; ++k) {
    unsigned char next = static_cast<unsigned char>(text[*i + k]);
    if ((next & 0xC0) != 0x80) throw Failure(line, "malformed UTF-8 text");
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    throw Failure(line, "malformed UTF-8 text");
  *i += static_cast<size_t>(extra) + 1;
  return code;
}

std::u16string ToUtf16(std::string_view utf8, int32_t line) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    uint32_t code = DecodeUtf8(utf8, &i, line);
    // A NUL would end the text early for every reader.
    if (code == 0) throw Failure(line, "text holds a NUL character");
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

uint32_t HexDigits(std::string_view line, size_t* i, int count, int32_t lineNumber) {
  uint32_t value = 0;
  for (int k = 0; k < count; ++k, ++*i) {
    if (*i >= line.size()) throw Failure(lineNumber, "escape needs hexadecimal digits");
    char c = line[*i];
    uint32_t digit = c >= '0' && c <= '9'   ? c - '0'
                     : c >= 'a' && c <= 'f' ? c - 'a' + 10
                     : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                            : 16;
    if (digit == 16) throw Failure(lineNumber, "escape needs hexadecimal digits");
    value = value * 16 + digit;
  }
  return value;
}

std::vector<Token> Tokenise(std::string_view line, int32_t lineNumber) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#') {
      break;
    } else if (c == '|') {
      tokens.push_back({TokenKind::Bar, "|"});
      ++i;
    } else if (c == '"') {
      Token token{TokenKind::Text, ""};
      ++i;
      for (;;) {
        if (i >= line.size()) throw Failure(lineNumber, "text without its closing quote");
        char d = line[i];
        if (d == '"') {
          ++i;
          break;
        }
        if (d != '\\') {
          size_t start = i;
          DecodeUtf8(line, &i, lineNumber);  // validates
          token.text.append(line.substr(start, i - start));
          continue;
        }
        if (++i >= line.size()) throw Failure(lineNumber, "text without its closing quote");
        char e = line[i++];
        switch (e) {
          case '\\': token.text.push_back('\\'); break;
          case '"': token.text.push_back('"'); break;
          case 'n': token.text.push_back('\n'); break;
          case 'r': token.text.push_back('\r'); break;
          case 't': token.text.push_back('\t'); break;
          case 'u':
          case 'U': {
            uint32_t code = HexDigits(line, &i, e == 'u' ? 4 : 8, lineNumber);
            if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
              throw Failure(lineNumber, "escape names no character that a text may hold");
            AppendUtf8(code, &token.text);
            break;
          }
          default: throw Failure(lineNumber, std::string("unknown escape \\") + e);
        }
      }
      tokens.push_back(std::move(token));
    } else if ((c >= '0' && c <= '9') || c == '-') {
      size_t start = i++;
      while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])))) ++i;
      std::string digits(line.substr(start, i - start));
      bool negative = digits[0] == '-';
      std::string_view body = std::string_view(digits).substr(negative ? 1 : 0);
      int base = 10;
      if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        base = 16;
        body.remove_prefix(2);
      }
      if (body.empty() || body.size() > 10) throw Failure(lineNumber, "bad number " + digits);
      int64_t value = 0;
      for (char d : body) {
        int digit = d >= '0' && d <= '9' ? d - '0'
                    : base == 16 && d >= 'a' && d <= 'f' ? d - 'a' + 10
                    : base == 16 && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                          : -1;
        if (digit < 0) throw Failure(lineNumber, "bad number " + digits);
        value = value * base + digit;
      }
      if (value > 0xFFFFFFFFll) throw Failure(lineNumber, "number too large: " + digits);
      tokens.push_back({TokenKind::Number, digits, negative ? -value : value});
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      size_t start = i;
      while (i < line.size() &&
             (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '-'))
        ++i;
      tokens.push_back({TokenKind::Word, std::string(line.substr(start, i - start))});
    } else {
      throw Failure(lineNumber, std::string("unexpected character '") + c + "'");
    }
  }
  return tokens;
}

// Reads the tokens of one line in order.
class LineReader {
 public:
  LineReader(std::vector<Token> tokens, int32_t line) : tokens_(std::move(tokens)), line_(line) {}

  bool AtEnd() const { return next_ >= tokens_.size(); }
  int32_t Line() const { return line_; }
  bool PeekWord(const char* word) const {
    return !AtEnd() && tokens_[next_].kind == TokenKind::Word && tokens_[next_].text == word;
  }
  bool PeekKind(TokenKind kind) const { return !AtEnd() && tokens_[next_].kind == kind; }
  std::string Word() {
    const Token& token = Take("a word");
    if (token.kind != TokenKind::Word) Fail("expected a word, found '" + token.text + "'");
    return token.text;
  }
  int64_t Number(int64_t low, int64_t high, const char* what) {
    const Token& token = Take(what);
    if (token.kind != TokenKind::Number) Fail(std::string("expected ") + what);
    if (token.number < low || token.number > high) Fail(std::string(what) + " out of range");
    return token.number;
  }
  // One quoted text; with join, adjacent quoted pieces make one text.
  std::string Text(const char* what, bool join = false) {
    const Token& token = Take(what);
    if (token.kind != TokenKind::Text) Fail(std::string("expected ") + what + " in quotes");
    std::string text = token.text;
    while (join && PeekKind(TokenKind::Text)) text += tokens_[next_++].text;
    return text;
  }
  std::u16string Utf16Text(const char* what) { return ToUtf16(Text(what, true), line_); }
  // A resource type or name: a number or a printable ASCII text.
  ScriptKey Key(const char* what) {
    ScriptKey key;
    if (PeekKind(TokenKind::Number)) {
      key.number = static_cast<uint16_t>(Number(0, 0xFFFF, what));
      return key;
    }
    std::string text = Text(what);
    if (text.empty() || text.size() > 255) Fail(std::string(what) + " must be 1-255 characters");
    for (char& c : text) {
      if (c < 0x20 || c > 0x7E) Fail(std::string(what) + " must be printable ASCII");
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    // "#123" is how a number is written as a text; keep one form of it.
    if (text[0] == '#' && text.size() > 1 && text.size() <= 6 &&
        text.find_first_not_of("0123456789", 1) == std::string::npos &&
        std::stoul(text.substr(1)) <= 0xFFFF) {
      key.number = static_cast<uint16_t>(std::stoul(text.substr(1)));
      return key;
    }
    key.isNumber = false;
    key.text = text;
    return key;
  }
  uint32_t Flags() {
    uint32_t flags = 0;
    for (;;) {
      if (PeekKind(TokenKind::Number)) {
        flags |= static_cast<uint32_t>(Number(0, 0xFFFFFFFFll, "style"));
      } else {
        std::string word = Word();
        bool known = false;
        for (const StyleWord& style : kStyleWords) {
          if (word == style.word) {
            flags |= style.value;
            known = true;
          }
        }
        if (!known) Fail("unknown style word '" + word + "'");
      }
      if (!PeekKind(TokenKind::Bar)) return flags;
      ++next_;
    }
  }
  uint16_t Language() { return static_cast<uint16_t>(Number(0, 0xFFFF, "language id")); }
  void ExpectEnd() {
    if (!AtEnd()) Fail("unexpected '" + tokens_[next_].text + "'");
  }
  [[noreturn]] void Fail(const std::string& message) const { throw Failure(line_, message); }

 private:
  const Token& Take(const char* what) {
    if (AtEnd()) Fail(std::string("expected ") + what + " at the end of the line");
    return tokens_[next_++];
  }

  std::vector<Token> tokens_;
  size_t next_ = 0;
  int32_t line_;
};

template <class T>
void AppendRecord(std::vector<uint8_t>* out, const T& record) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
  out->insert(out->end(), bytes, bytes + sizeof(T));
}

void AppendCounted(std::vector<uint8_t>* out, const std::u16string& text, int32_t line) {
  if (text.size() > 0xFFFF) throw Failure(line, "text longer than 65535 units");
  AppendRecord(out, static_cast<uint16_t>(text.size()));
  for (char16_t unit : text) AppendRecord(out, static_cast<uint16_t>(unit));
}

struct DialogItem {
  DialogItemHeader header{};
  std::u16string className, text;
};

void ParseDialog(LineReader& head, std::vector<LineReader>& body, ScriptResource* resource) {
  DialogHeader header{};
  header.signature = kDialogSignature;
  std::u16string caption, className, fontFace;
  std::vector<DialogItem> items;
  bool haveRect = false;
  for (LineReader& line : body) {
    std::string keyword = line.Word();
    if (keyword == "control") {
      DialogItem item;
      item.header.id = static_cast<uint16_t>(line.Number(-1, 0xFFFF, "control id"));
      bool haveClass = false, haveItemRect = false;
      while (!line.AtEnd()) {
        std::string field = line.Word();
        if (field == "class") {
          item.className = line.Utf16Text("class name");
          haveClass = true;
        } else if (field == "text") {
          item.text = line.Utf16Text("control text");
        } else if (field == "style") {
          item.header.style = line.Flags();
        } else if (field == "extended-style") {
          item.header.extendedStyle = line.Flags();
        } else if (field == "rect") {
          item.header.x = static_cast<int16_t>(line.Number(-32768, 32767, "x"));
          item.header.y = static_cast<int16_t>(line.Number(-32768, 32767, "y"));
          item.header.width = static_cast<int16_t>(line.Number(0, 32767, "width"));
          item.header.height = static_cast<int16_t>(line.Number(0, 32767, "height"));
          haveItemRect = true;
        } else {
          line.Fail("unknown control field '" + field + "'");
        }
      }
      if (!haveClass || item.className.empty()) line.Fail("control needs a class");
      if (!haveItemRect) line.Fail("control needs a rect");
      items.push_back(std::move(item));
      continue;
    }
    if (keyword == "caption") {
      caption = line.Utf16Text("caption");
    } else if (keyword == "class") {
      className = line.Utf16Text("class name");
    } else if (keyword == "style") {
      header.style = line.Flags();
    } else if (keyword == "extended-style") {
      header.extendedStyle = line.Flags();
    } else if (keyword == "rect") {
      header.x = static_cast<int16_t>(line.Number(-32768, 32767, "x"));
      header.y = static_cast<int16_t>(line.Number(-32768, 32767, "y"));
      header.width = static_cast<int16_t>(line.Number(0, 32767, "width"));
      header.height = static_cast<int16_t>(line.Number(0, 32767, "height"));
      haveRect = true;
    } else if (keyword == "font") {
      header.fontPointSize = static_cast<uint16_t>(line.Number(1, 0xFFFF, "point size"));
      fontFace = line.Utf16Text("font face");
      while (!line.AtEnd()) {
        std::string field = line.Word();
        if (field == "weight") {
          header.fontWeight = static_cast<uint16_t>(line.Number(0, 1000, "weight"));
        } else if (field == "italic") {
          header.fontItalic = 1;
        } else {
          line.Fail("unknown font field '" + field + "'");
        }
      }
    } else {
      line.Fail("unknown dialog field '" + keyword + "'");
    }
    line.ExpectEnd();
  }
  if (!haveRect) head.Fail("dialog needs a rect");
  if (items.size() > 0xFFFF) head.Fail("too many controls");
  header.itemCount = static_cast<uint16_t>(items.size());
  std::vector<uint8_t>& data = resource->data;
  AppendRecord(&data, header);
  AppendCounted(&data, caption, head.Line());
  AppendCounted(&data, className, head.Line());
  AppendCounted(&data, fontFace, head.Line());
  for (const DialogItem& item : items) {
    AppendRecord(&data, item.header);
    AppendCounted(&data, item.className, head.Line());
    AppendCounted(&data, item.text, head.Line());
  }
}

void ParseLines(const std::string& text, ResourceScript* script) {
  std::vector<LineReader> lines;
  {
    int32_t number = 0;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      ++number;
      std::vector<Token> tokens = Tokenise(std::string_view(text).substr(start, end - start), number);
      if (!tokens.empty()) lines.emplace_back(std::move(tokens), number);
      start = end + 1;
    }
  }
  uint16_t defaultLanguage = kLanguageNeutral;
  std::set<uint16_t> tablesSeen;
  for (size_t i = 0; i < lines.size(); ++i) {
    LineReader& line = lines[i];
    std::string keyword = line.Word();
    auto optionalLanguage = [&](LineReader& reader) {
      if (!reader.PeekWord("language")) return defaultLanguage;
      reader.Word();
      return reader.Language();
    };
    // Everything up to the matching "end" line.
    auto block = [&]() {
      std::vector<LineReader> body;
      for (++i; i < lines.size(); ++i) {
        if (lines[i].PeekWord("end")) {
          lines[i].Word();
          lines[i].ExpectEnd();
          return body;
        }
        body.push_back(lines[i]);
      }
      line.Fail("'" + keyword + "' without its 'end'");
    };

    if (keyword == "language") {
      defaultLanguage = line.Language();
      line.ExpectEnd();
    } else if (keyword == "strings") {
      uint16_t language = optionalLanguage(line);
      line.ExpectEnd();
      ResourceScript::StringTable* table = nullptr;
      for (auto& existing : script->stringTables)
        if (existing.language == language) table = &existing;
      if (!table) {
        script->stringTables.push_back({language, {}});
        table = &script->stringTables.back();
        // The blocks take the place of the language's first table.
        ScriptResource placeholder;
        placeholder.source = ScriptResource::Source::StringTable;
        placeholder.type.number = kResourceTypeString;
        placeholder.language = language;
        placeholder.line = line.Line();
        script->resources.push_back(std::move(placeholder));
      }
      for (LineReader& entry : block()) {
        uint16_t id = static_cast<uint16_t>(entry.Number(0, 0xFFFF, "text id"));
        std::u16string value = entry.Utf16Text("text");
        entry.ExpectEnd();
        for (const auto& [existingId, existingText] : table->texts)
          if (existingId == id) entry.Fail("text " + std::to_string(id) + " given twice");
        table->texts.emplace_back(id, std::move(value));
      }
    } else if (keyword == "dialog") {
      ScriptResource resource;
      resource.type.number = kResourceTypeDialog;
      resource.name = line.Key("dialog name");
      resource.language = optionalLanguage(line);
      resource.line = line.Line();
      line.ExpectEnd();
      std::vector<LineReader> body = block();
      ParseDialog(line, body, &resource);
      script->resources.push_back(std::move(resource));
    } else if (keyword == "data" || keyword == "bitmap" || keyword == "icon") {
      ScriptResource resource;
      resource.line = line.Line();
      if (keyword == "data") {
        resource.type = line.Key("resource type");
        resource.source = ScriptResource::Source::File;
      } else if (keyword == "bitmap") {
        resource.type.number = kResourceTypeBitmap;
        resource.source = ScriptResource::Source::Bitmap;
      } else {
        resource.type.number = kResourceTypeGroupIcon;
        resource.source = ScriptResource::Source::Icon;
      }
      resource.name = line.Key("resource name");
      resource.language = optionalLanguage(line);
      while (!line.AtEnd()) {
        std::string field = line.Word();
        if (field != "file") line.Fail("expected 'file', found '" + field + "'");
        resource.files.push_back(line.Text("file path"));
        if (resource.files.back().empty()) line.Fail("empty file path");
      }
      if (resource.files.empty()) line.Fail("'" + keyword + "' needs a file");
      if (keyword != "icon" && resource.files.size() > 1) line.Fail("one file only");
      script->resources.push_back(std::move(resource));
    } else {
      line.Fail("unknown resource kind '" + keyword + "'");
    }
  }
}

// Width and height of a PNG or bitmap file, for the icon directory.
bool PictureSize(const std::vector<uint8_t>& bytes, IconImageFormat* format, uint32_t* width,
                 uint32_t* height) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto big32 = [&](size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
  };
  auto little32 = [&](size_t at) {
    return uint32_t{bytes[at + 3]} << 24 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 1]} << 8 | bytes[at];
  };
  if (bytes.size() >= 24 && std::memcmp(bytes.data(), kPng, 8) == 0 &&
      std::memcmp(bytes.data() + 12, "IHDR", 4) == 0) {
    *format = IconImageFormat::Png;
    *width = big32(16);
    *height = big32(20);
    return true;
  }
  if (bytes.size() >= 26 && bytes[0] == 'B' && bytes[1] == 'M') {
    *format = IconImageFormat::Bitmap;
    *width = little32(18);
    int32_t signedHeight = static_cast<int32_t>(little32(22));  // negative: top-down
    *height = signedHeight < 0 ? 0u - static_cast<uint32_t>(signedHeight)
                               : static_cast<uint32_t>(signedHeight);
    return true;
  }
  return false;
}

std::string Describe(const ScriptKey& key) {
  return key.isNumber ? std::to_string(key.number) : "\"" + key.text + "\"";
}

std::vector<uint8_t> StringBlock(const std::map<uint16_t, const std::u16string*>& texts,
                                 uint16_t block, int32_t line) {
  std::vector<uint8_t> data;
  for (uint32_t index = 0; index < kStringsPerBlock; ++index) {
    uint32_t id = (block - 1u) * kStringsPerBlock + index;
    auto found = texts.find(static_cast<uint16_t>(id));
    AppendCounted(&data, found == texts.end() ? std::u16string() : *found->second, line);
  }
  return data;
}

}  // namespace

bool ParseResourceScript(const std::string& text, ResourceScript* script, std::string* error) {
  try {
    *script = ResourceScript();
    ParseLines(text, script);
    return true;
  } catch (const Failure& failure) {
    *error = "line " + std::to_string(failure.line) + ": " + failure.message;
    return false;
  }
}

bool BuildResourceBlob(ResourceScript& script, const ScriptFileReader& readFile,
                       std::vector<uint8_t>* blob, std::string* error) {
  try {
    // Read files and lay out the generated resources, in script order.
    std::vector<ScriptResource> resources;
    uint16_t nextIconImage = 1;
    for (ScriptResource& resource : script.resources) {
      auto read = [&](const std::string& path) {
        std::vector<uint8_t> bytes;
        if (!readFile(path, &bytes)) throw Failure(resource.line, "cannot read file \"" + path + "\"");
        return bytes;
      };
      switch (resource.source) {
        case ScriptResource::Source::Inline:
          resources.push_back(std::move(resource));
          break;
        case ScriptResource::Source::File:
          resource.data = read(resource.files[0]);
          resources.push_back(std::move(resource));
          break;
        case ScriptResource::Source::Bitmap: {
          // A bitmap resource is the file without its 14-byte file header.
          std::vector<uint8_t> bytes = read(resource.files[0]);
          if (bytes.size() < 14 + 40 || bytes[0] != 'B' || bytes[1] != 'M')
            throw Failure(resource.line, "\"" + resource.files[0] + "\" is not a bitmap file");
          resource.data.assign(bytes.begin() + 14, bytes.end());
          resources.push_back(std::move(resource));
          break;
        }
        case ScriptResource::Source::Icon: {
          std::vector<uint8_t> directory;
          AppendRecord(&directory, static_cast<uint16_t>(resource.files.size()));
          AppendRecord(&directory, uint16_t{0});
          for (const std::string& path : resource.files) {
            ScriptResource image;
            image.type.number = kResourceTypeIcon;
            image.language = resource.language;
            image.line = resource.line;
            image.data = read(path);
            IconImageFormat format;
            uint32_t width, height;
            if (!PictureSize(image.data, &format, &width, &height) || width == 0 || height == 0 ||
                width > 0xFFFF || height > 0xFFFF)
              throw Failure(resource.line, "\"" + path + "\" is neither a PNG nor a bitmap file");
            if (nextIconImage == 0) throw Failure(resource.line, "too many icon images");
            image.name.number = nextIconImage++;
            AppendRecord(&directory, GroupIconEntry{static_cast<uint16_t>(width),
                                                    static_cast<uint16_t>(height),
                                                    static_cast<uint16_t>(format),
                                                    image.name.number});
            resources.push_back(std::move(image));
          }
          resource.data = std::move(directory);
          resources.push_back(std::move(resource));
          break;
        }
        case ScriptResource::Source::StringTable: {
          std::map<uint16_t, const std::u16string*> texts;
          for (const auto& table : script.stringTables)
            if (table.language == resource.language)
              for (const auto& [id, value] : table.texts) texts[id] = &value;
          std::set<uint16_t> blocks;
          for (const auto& [id, value] : texts) blocks.insert(StringBlockId(id));
          for (uint16_t block : blocks) {
            ScriptResource blockResource;
            blockResource.type.number = kResourceTypeString;
            blockResource.name.number = block;
            blockResource.language = resource.language;
            blockResource.line = resource.line;
            blockResource.data = StringBlock(texts, block, resource.line);
            resources.push_back(std::move(blockResource));
          }
          break;
        }
      }
    }

    std::set<std::tuple<bool, uint16_t, std::string, bool, uint16_t, std::string, uint16_t>> seen;
    for (const ScriptResource& resource : resources) {
      if (!seen.insert({resource.type.isNumber, resource.type.number, resource.type.text,
                        resource.name.isNumber, resource.name.number, resource.name.text,
                        resource.language})
               .second)
        throw Failure(resource.line, "resource " + Describe(resource.type) + " " +
                                         Describe(resource.name) + " in language " +
                                         std::to_string(resource.language) + " given twice");
    }

    // Serialise: header, entries, then names and data aligned to 8.
    std::vector<uint8_t>& out = *blob;
    out.assign(sizeof(BlobHeader) + resources.size() * sizeof(BlobEntry), 0);
    auto align = [&]() { out.resize((out.size() + kDataAlignment - 1) / kDataAlignment * kDataAlignment); };
    std::map<std::string, uint32_t> nameOffsets;
    auto key = [&](const ScriptKey& k) -> uint32_t {
      if (k.isNumber) return k.number;
      auto found = nameOffsets.find(k.text);
      if (found != nameOffsets.end()) return found->second;
      align();
      uint32_t offset = static_cast<uint32_t>(out.size());
      AppendRecord(&out, static_cast<uint16_t>(k.text.size()));
      out.insert(out.end(), k.text.begin(), k.text.end());
      nameOffsets[k.text] = offset | kKeyIsText;
      return offset | kKeyIsText;
    };
    for (size_t i = 0; i < resources.size(); ++i) {
      const ScriptResource& resource = resources[i];
      BlobEntry entry{};
      entry.type = key(resource.type);
      entry.name = key(resource.name);
      entry.language = resource.language;
      align();
      entry.dataOffset = static_cast<uint32_t>(out.size());
      entry.dataSize = static_cast<uint32_t>(resource.data.size());
      out.insert(out.end(), resource.data.begin(), resource.data.end());
      if (out.size() > 0x7FFFFFFFu) throw Failure(resource.line, "resources larger than 2 GiB");
      std::memcpy(out.data() + sizeof(BlobHeader) + i * sizeof(BlobEntry), &entry, sizeof(entry));
    }
    align();
    BlobHeader header{kBlobSignature, kBlobVersion, sizeof(BlobHeader),
                      static_cast<uint32_t>(resources.size()), static_cast<uint32_t>(out.size())};
    std::memcpy(out.data(), &header, sizeof(header));
    return true;
  } catch (const Failure& failure) {
    *error = "line " + std::to_string(failure.line) + ": " + failure.message;
    return false;
  }
}
