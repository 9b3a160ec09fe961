#pragma once
// The resource script: parsing it, and turning it into the blob that
// platform/resource.cpp reads at run time.
//
// A script is UTF-8 text, one resource a block; "#" starts a comment outside
// quotes; numbers are decimal or 0x hexadecimal; texts are in double quotes
// with the escapes \\ \" \n \r \t \uXXXX and \UXXXXXXXX.
//
//   language 0x409                          default language from here on
//   strings [language L]                    texts by id (adjacent quoted
//     2 "Vorlan"                            pieces are joined)
//   end
//   dialog NAME [language L]
//     caption "Vorlan"  class "VorlanClass"  style popup | caption
//     extended-style 0   rect 0 0 160 185    font 8 "MS Shell Dlg" [weight 700] [italic]
//     control 1001 class "AnimWindow" [text "..."] [style ...] [extended-style ...] rect 0 0 160 185
//   end
//   data TYPE NAME [language L] file "path"
//   bitmap NAME [language L] file "picture.bmp"   (stored without its file header)
//   icon NAME [language L] file "icon.png" [file "icon-32.png" ...]
//
// TYPE and NAME are numbers or quoted texts; style flags are numbers or the
// words listed in rescomp_script.cpp, joined with "|".

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ScriptKey {
  bool isNumber = true;
  uint16_t number = 0;
  std::string text;  // printable ASCII, upper case
};

struct ScriptResource {
  ScriptKey type;
  ScriptKey name;
  uint16_t language = 0;
  int32_t line = 0;
  std::vector<uint8_t> data;
  // Filled by the parser, read by BuildResourceBlob: files still to be read.
  enum class Source { Inline, File, Bitmap, Icon, StringTable } source = Source::Inline;
  std::vector<std::string> files;
};

struct ResourceScript {
  std::vector<ScriptResource> resources;  // string tables still to be split into blocks
  // Strings of each language: language, then (id, UTF-16 text) in script order.
  struct StringTable {
    uint16_t language;
    std::vector<std::pair<uint16_t, std::u16string>> texts;
  };
  std::vector<StringTable> stringTables;
};

// Parses script text; on failure returns false with "line N: what" in error.
bool ParseResourceScript(const std::string& text, ResourceScript* script, std::string* error);

// Reads a file named by the script (as written there) into bytes; false when
// it cannot be found or read.
using ScriptFileReader = std::function<bool(const std::string& path, std::vector<uint8_t>* bytes)>;

// Reads the files, lays out string blocks, dialogs and icons, and serialises
// everything into a blob; false with a message on a missing file, a bad
// picture or a resource given twice.
bool BuildResourceBlob(ResourceScript& script, const ScriptFileReader& readFile,
                       std::vector<uint8_t>* blob, std::string* error);
