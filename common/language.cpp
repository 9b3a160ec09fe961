#include "common/language.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"
#include "foundation/tl_string.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/registry.h"

namespace {

constexpr const char16_t* kSelectionKey = u"Software\\Qualen\\NLS";
constexpr const char16_t* kChoicePrefix = u"Lang-";
constexpr const char16_t* kListPrefix = u"Opt-";
constexpr const char* kDefaultList = "EN";
constexpr uint32_t kLongestProduct = 260;
constexpr uint32_t kLongestList = 256;

struct CodeName {
  char code[3];
  uint16_t language;
};
constexpr CodeName kCodes[] = {
    {"EO", kLanguageEsperanto}, {"EN", 1033}, {"FR", 1036}, {"DE", 1031}, {"ES", 1034},
};

// Written at start-up and when the user changes the language, on the window
// thread; the numbers are read from any thread that loads a text.
std::recursive_mutex g_lock;
std::atomic<bool> g_initialised{false};
std::atomic<uint16_t> g_language{kLanguageEnglish};
std::atomic<uint32_t> g_offset{0};
std::atomic<uint32_t> g_step{1};
std::atomic<uint32_t> g_module{0};
char16_t g_product[kLongestProduct + 1];
char g_list[kLongestList + 1];

char UpperAscii(char character) {
  return character >= 'a' && character <= 'z' ? static_cast<char>(character - ('a' - 'A'))
                                              : character;
}

uint16_t CodeToId(const char* code, size_t length) {
  if (!code || length != 2) return kLanguageUnknown;
  for (const CodeName& name : kCodes) {
    if (UpperAscii(code[0]) == name.code[0] && UpperAscii(code[1]) == name.code[1]) {
      return name.language;
    }
  }
  return kLanguageUnknown;
}

// The index-th code of a comma-separated list. A run of commas is one
// separator, so a list never has an empty entry.
bool ListEntry(const char* list, uint32_t index, const char** code, size_t* length) {
  const char* scan = list;
  for (uint32_t entry = 0;; ++entry) {
    while (*scan == ',') ++scan;
    if (*scan == 0) return false;
    const char* begin = scan;
    while (*scan != 0 && *scan != ',') ++scan;
    if (entry == index) {
      *code = begin;
      *length = static_cast<size_t>(scan - begin);
      return true;
    }
  }
}

// Entries are matched by identifier, so that "eo" and "EO" are one language.
int32_t FindEntry(const char* list, uint16_t language) {
  if (language == kLanguageUnknown) return -1;
  const char* code;
  size_t length;
  for (uint32_t index = 0; ListEntry(list, index, &code, &length); ++index) {
    if (CodeToId(code, length) == language) return static_cast<int32_t>(index);
  }
  return -1;
}

uint32_t CountEntries(const char* list) {
  const char* code;
  size_t length;
  uint32_t count = 0;
  while (ListEntry(list, count, &code, &length)) ++count;
  return count ? count : 1;
}

string ValueName(const char16_t* prefix, const char16_t* product) {
  string name(prefix);
  name += product;
  return name;
}

bool IsEmpty(const TCHAR* text) {
  return !text || text[0] == 0;
}

// A value of the selection key as text; anything missing, unreadable or not
// a string counts as empty.
string ReadSelection(const string& name) {
  string text;
  RegistryKey key;
  if (RegistryOpenKey(kRegistryLocalMachine, kSelectionKey, &key) != kErrorSuccess) return text;
  RegistryValueType type = RegistryValueType::None;
  uint32_t size = 0;
  if (RegistryQueryValue(key, name.Wide(), &type, nullptr, &size) == kErrorSuccess &&
      (type == RegistryValueType::String || type == RegistryValueType::ExpandString) &&
      size >= sizeof(char16_t)) {
    auto* data = static_cast<char16_t*>(MEM_ALLOC(size, "cbData"));
    if (data && RegistryQueryValue(key, name.Wide(), &type, data, &size) == kErrorSuccess) {
      // The stored text need not be terminated: read no further than its size.
      uint32_t units = size / sizeof(char16_t);
      uint32_t length = 0;
      while (length < units && data[length] != 0) ++length;
      text.Append(data, 0, static_cast<int32_t>(length));
    }
    if (data) MEM_FREE(data);
  }
  RegistryCloseKey(key);
  return text;
}

bool WriteSelection(const string& name, const string& text) {
  RegistryKey key;
  if (RegistryCreateKey(kRegistryLocalMachine, kSelectionKey, &key) != kErrorSuccess) return false;
  uint32_t size = (text.Length() + 1) * static_cast<uint32_t>(sizeof(char16_t));
  bool written = RegistrySetValue(key, name.Wide(), RegistryValueType::String, text.Wide(), size) ==
                 kErrorSuccess;
  RegistryCloseKey(key);
  return written;
}

bool WriteCode(const char16_t* product, const char* code, size_t length) {
  return WriteSelection(ValueName(kChoicePrefix, product),
                        string(code, 0, static_cast<int32_t>(length)));
}

bool IsCurrentProduct(const TCHAR* product) {
  if (IsEmpty(product)) return true;
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  return istring(g_product) == string(product);
}

void EnsureInitialised() {
  if (!g_initialised.load(std::memory_order_acquire)) InitLanguage(nullptr, 1);
}

const char16_t* LookupTableText(uint32_t id, size_t* length) {
  const char16_t* entry = GetStringEntry(id);
  if (!entry) return nullptr;
  *length = entry[0];
  return entry + 1;
}

constexpr StringTableLanguage kTableLanguage = {
    [] { return g_offset.load(std::memory_order_acquire); },
    [] { return g_step.load(std::memory_order_acquire); },
    [] { return g_language.load(std::memory_order_acquire) != kLanguageEsperanto; },
    LookupTableText,
};

const uint8_t* FindDialogTemplate(uint32_t id, uint32_t* size) {
  if (id > 0xFFFF) return nullptr;
  return FindLangResource(kResourceTypeDialog, static_cast<uint16_t>(id),
                          g_language.load(std::memory_order_acquire), size);
}

constexpr DialogLanguage kDialogLanguage = {
    [] { return g_offset.load(std::memory_order_acquire); },
    FindDialogTemplate,
};

bool IsBlank(char character) {
  return character == ' ' || character == '\t';
}

// The leading decimal number of a token (after blanks and a sign), 0 when
// there is none; clamped far beyond any font size so that it cannot
// overflow.
int32_t LeadingNumber(const char* token, size_t length) {
  size_t i = 0;
  while (i < length && IsBlank(token[i])) ++i;
  bool negative = false;
  if (i < length && (token[i] == '-' || token[i] == '+')) negative = token[i++] == '-';
  int64_t value = 0;
  for (; i < length && token[i] >= '0' && token[i] <= '9'; ++i) {
    if (value < 1000000) value = value * 10 + (token[i] - '0');
  }
  return static_cast<int32_t>(negative ? -value : value);
}

bool IsStyleToken(const char* token, size_t length) {
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    char c = UpperAscii(token[i]);
    if (c != 'B' && c != 'I' && c != 'U') return false;
  }
  return true;
}

bool IsDefaultToken(const char* token, size_t length) {
  constexpr char kDefault[] = "DEFAULT";
  if (length != sizeof(kDefault) - 1) return false;
  for (size_t i = 0; i < length; ++i) {
    if (UpperAscii(token[i]) != kDefault[i]) return false;
  }
  return true;
}

}  // namespace

uint16_t LanguageCodeToId(const char* code) {
  return code ? CodeToId(code, std::strlen(code)) : kLanguageUnknown;
}

void InitLanguage(const TCHAR* product, uint32_t listId) {
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  if (g_initialised.load(std::memory_order_acquire) && IsEmpty(product)) return;
  string productName;
  if (!IsEmpty(product)) {
    productName = product;
    uint32_t length =
        productName.Length() < kLongestProduct ? productName.Length() : kLongestProduct;
    std::memcpy(g_product, productName.Wide(), length * sizeof(char16_t));
    g_product[length] = 0;
  }

  // The list text is looked up in the language current so far.
  g_list[0] = 0;
  if (const char16_t* entry = GetStringEntry(listId)) {
    string list(entry + 1, 0, entry[0]);
    std::strncpy(g_list, list.Narrow(), kLongestList);
    g_list[kLongestList] = 0;
  }
  const char* first;
  size_t firstLength;
  if (!ListEntry(g_list, 0, &first, &firstLength)) std::strcpy(g_list, kDefaultList);
  if (!IsEmpty(product)) WriteSelection(ValueName(kListPrefix, g_product), string(g_list));

  // A stored code the list does not offer is as good as none.
  string stored = ReadSelection(ValueName(kChoicePrefix, IsEmpty(product) ? u"" : g_product));
  const char* code = stored.Narrow();
  size_t length = stored.Length();
  uint16_t language = CodeToId(code, length);
  if (length != 0 && FindEntry(g_list, language) < 0) length = 0;
  if (length == 0) ListEntry(g_list, 0, &code, &length);
  if (!IsEmpty(product) && length != 0) WriteCode(g_product, code, length);

  language = CodeToId(code, length);
  int32_t index = FindEntry(g_list, language);
  g_language.store(index < 0 ? kLanguageEnglish : language, std::memory_order_release);
  g_offset.store(index < 0 ? 0 : static_cast<uint32_t>(index), std::memory_order_release);
  g_step.store(CountEntries(g_list), std::memory_order_release);
  g_initialised.store(true, std::memory_order_release);
  SetStringTableLanguage(&kTableLanguage);
  SetDialogLanguage(&kDialogLanguage);
}

uint16_t GetLanguageId() {
  EnsureInitialised();
  return g_language.load(std::memory_order_acquire);
}

uint32_t GetLanguageOffset() {
  EnsureInitialised();
  return g_offset.load(std::memory_order_acquire);
}

uint32_t GetLanguageStep() {
  EnsureInitialised();
  return g_step.load(std::memory_order_acquire);
}

bool SetLanguage(uint16_t language) {
  EnsureInitialised();
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  int32_t index = FindEntry(g_list, language);
  if (index < 0) return false;
  g_language.store(language, std::memory_order_release);
  g_offset.store(static_cast<uint32_t>(index), std::memory_order_release);
  g_step.store(CountEntries(g_list), std::memory_order_release);
  if (g_product[0] != 0) {
    const char* code = nullptr;
    size_t length = 0;
    if (ListEntry(g_list, static_cast<uint32_t>(index), &code, &length)) {
      WriteCode(g_product, code, length);
    }
  }
  return true;
}

bool SetLanguageFor(const TCHAR* product, uint16_t language) {
  if (IsCurrentProduct(product)) return SetLanguage(language);
  string name(product);
  string list = ReadSelection(ValueName(kListPrefix, name.Wide()));
  int32_t index = FindEntry(list.Narrow(), language);
  if (index < 0) return false;
  const char* code = nullptr;
  size_t length = 0;
  if (!ListEntry(list.Narrow(), static_cast<uint32_t>(index), &code, &length)) return false;
  return WriteCode(name.Wide(), code, length);
}

uint16_t GetLanguageFor(const TCHAR* product) {
  if (IsCurrentProduct(product)) return GetLanguageId();
  string name(product);
  string code = ReadSelection(ValueName(kChoicePrefix, name.Wide()));
  return CodeToId(code.Narrow(), code.Length());
}

uint16_t GetOfferedLanguage(const TCHAR* product, uint32_t index) {
  string name(IsEmpty(product) ? TXT("") : product);
  string list = ReadSelection(ValueName(kListPrefix, name.Wide()));
  const char* code;
  size_t length;
  if (!ListEntry(list.Narrow(), index, &code, &length)) return kLanguageUnknown;
  return CodeToId(code, length);
}

ResourceModule GetResourceModule() {
  uint32_t module = g_module.load(std::memory_order_acquire);
  return module ? ResourceModule{module} : GetProgramResourceModule();
}

void SetResourceModule(ResourceModule module) {
  g_module.store(module.value, std::memory_order_release);
}

const uint8_t* FindLangResource(ResourceName type, ResourceName name, uint16_t language,
                                uint32_t* size) {
  if (size) *size = 0;
  ResourceModule module = GetResourceModule();
  ResourceHandle resource = FindResource(module, type, name, language);
  if (!resource) resource = FindResource(module, type, name, GetUserDefaultLanguage());
  if (!resource) resource = FindResource(module, type, name, kLanguageEnglish);
  if (!resource) resource = FindResourceInAnyLanguage(module, type, name);
  if (!resource) return nullptr;
  const uint8_t* data = LoadResourceData(resource);
  if (data && size) *size = GetResourceSize(resource);
  return data;
}

const char16_t* GetStringEntry(uint32_t id) {
  // Block numbers are 16 bits; ids beyond the last block have no entry.
  if (id / kStringsPerBlock >= 0xFFFF) return nullptr;
  uint32_t size = 0;
  const uint8_t* block = FindLangResource(kResourceTypeString, StringBlockId(id),
                                          g_language.load(std::memory_order_acquire), &size);
  return FindStringBlockEntry(block, size, id % kStringsPerBlock);
}

const char16_t* FindStringBlockEntry(const uint8_t* block, uint32_t size, uint32_t index) {
  if (!block) return nullptr;
  if (reinterpret_cast<uintptr_t>(block) % alignof(char16_t) != 0) {
    DebugTrace("FindStringBlockEntry called with a misaligned block (0x%08lX)", block);
    return nullptr;
  }
  StringBlockEntry entry;
  if (!ReadStringBlockEntry(block, size, index, &entry) || entry.count == 0) return nullptr;
  for (uint16_t i = 0; i < entry.count; ++i) {
    if (entry.text[i] == 0) return nullptr;
  }
  return entry.counted;
}

Font* CreateFontFromSpec(const TCHAR* specification) {
  FontDescription font;
  if (!GetFontDescription(GetDefaultGuiFont(), &font)) return nullptr;
  bool bold = false;
  bool italic = font.italic;
  bool underline = font.underline;
  int32_t size = 0;
  string text(specification ? specification : TXT(""));
  const char* spec = text.Narrow();
  size_t length = std::strlen(spec);
  for (size_t start = 0; start <= length;) {
    size_t end = start;
    while (end < length && spec[end] != ',') ++end;
    const char* token = spec + start;
    size_t count = end - start;
    while (count > 0 && IsBlank(*token)) ++token, --count;
    while (count > 0 && IsBlank(token[count - 1])) --count;
    if (int32_t number = LeadingNumber(token, count)) {
      size = number;
    } else if (IsStyleToken(token, count)) {
      for (size_t i = 0; i < count; ++i) {
        char c = UpperAscii(token[i]);
        bold |= c == 'B';
        italic |= c == 'I';
        underline |= c == 'U';
      }
    } else if (count != 0 && !IsDefaultToken(token, count)) {
      font.face.assign(token, count);
    }
    start = end + 1;
  }
  if (GetLanguageId() == kLanguageEsperanto) {
    const std::string& face = font.face;
    if (!(face.size() >= 3 && face.compare(face.size() - 3, 3, " Eo") == 0)) font.face += " Eo";
  }
  if (size > 0) {
    size = -(GetVerticalPixelsPerInch(GetScreenDC()) * size / 72);
  }
  if (size != 0) font.size = size;
  if (bold) font.weight = kFontWeightBold;
  font.italic = italic;
  font.underline = underline;
  font.quality = kFontQualityAntialiased;
  Font* created = CreateFont(font);
  if (!created) {
    DebugTrace("CreateFontFromSpec could not create the font of \"%s\"", spec);
    return nullptr;
  }
  // Selected once into the screen's context, as fonts are prepared there.
  DeviceContext* screen = GetScreenDC();
  SelectFont(screen, SelectFont(screen, created));
  return created;
}
