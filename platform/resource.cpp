#include "platform/resource.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <link.h>
#include <memory>
#include <mutex>
#include <string>

#include "platform/error.h"
#include "platform/trace.h"

static_assert(std::endian::native == std::endian::little,
              "resources are read in place as little-endian data");

using namespace resource_format;

namespace {

char UpperAscii(uint32_t c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// Reads "#123" style numbers; false for anything else (or above 65535).
template <class Char>
bool ParseHashNumber(const Char* text, uint16_t* number) {
  if (!text || text[0] != '#' || text[1] == 0) return false;
  uint32_t value = 0;
  for (const Char* c = text + 1; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(*c - '0');
    if (value > 0xFFFF) return false;
  }
  *number = static_cast<uint16_t>(value);
  return true;
}

template <class Char>
bool EqualsUpper(const Char* text, std::string_view upper) {
  size_t i = 0;
  for (; text[i]; ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (i >= upper.size() || c > 0x7F || UpperAscii(c) != upper[i]) return false;
  }
  return i == upper.size();
}

template <class T>
T ReadRecord(const uint8_t* at) {
  T record;
  std::memcpy(&record, at, sizeof(T));
  return record;
}

struct Entry {
  bool typeIsNumber;
  uint16_t typeNumber;
  std::string typeText;
  bool nameIsNumber;
  uint16_t nameNumber;
  std::string nameText;
  uint16_t language;
  const uint8_t* data;
  uint32_t size;
};

struct Module {
  uint32_t id = 0;  // 0: slot unused (unregistered)
  std::string name;
  bool isProgram = false;
  std::vector<Entry> entries;
};

struct Registry {
  std::mutex lock;
  // Held by pointer so that the names handed out by enumeration stay put
  // while other modules come and go.
  std::vector<std::unique_ptr<Module>> modules;
  uint32_t nextId = 1;

  Module* Find(uint32_t id) {
    if (id == 0) return nullptr;
    for (auto& module : modules)
      if (module->id == id) return module.get();
    return nullptr;
  }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Decodes a key; a text key must be a counted text inside the blob.
bool ReadKey(const uint8_t* blob, uint32_t size, uint32_t key, bool* isNumber, uint16_t* number,
             std::string* text) {
  if (!(key & kKeyIsText)) {
    if (key > 0xFFFF) return false;
    *isNumber = true;
    *number = static_cast<uint16_t>(key);
    return true;
  }
  uint32_t offset = key & ~kKeyIsText;
  if (offset > size || size - offset < 2) return false;
  uint16_t count = ReadRecord<uint16_t>(blob + offset);
  if (count == 0 || size - offset - 2 < count) return false;
  *isNumber = false;
  text->assign(reinterpret_cast<const char*>(blob + offset + 2), count);
  for (char& c : *text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
    c = UpperAscii(static_cast<unsigned char>(c));
  }
  return true;
}

bool ParseBlob(const uint8_t* blob, uint32_t size, std::vector<Entry>* entries) {
  // The data offsets are aligned relative to the blob, and texts are read in
  // place as UTF-16, so the blob itself must be aligned too.
  if (!blob || reinterpret_cast<uintptr_t>(blob) % kDataAlignment != 0 ||
      size < sizeof(BlobHeader))
    return false;
  BlobHeader header = ReadRecord<BlobHeader>(blob);
  if (header.signature != kBlobSignature || header.version != kBlobVersion ||
      header.headerSize != sizeof(BlobHeader) || header.totalSize != size)
    return false;
  // The table must fit before any arithmetic on it can overflow.
  if (header.entryCount > (size - sizeof(BlobHeader)) / sizeof(BlobEntry)) return false;
  entries->clear();
  entries->reserve(header.entryCount);
  for (uint32_t i = 0; i < header.entryCount; ++i) {
    BlobEntry record = ReadRecord<BlobEntry>(blob + sizeof(BlobHeader) + i * sizeof(BlobEntry));
    Entry entry;
    if (!ReadKey(blob, size, record.type, &entry.typeIsNumber, &entry.typeNumber, &entry.typeText) ||
        !ReadKey(blob, size, record.name, &entry.nameIsNumber, &entry.nameNumber, &entry.nameText))
      return false;
    if (record.dataOffset % kDataAlignment != 0 || record.dataOffset > size ||
        record.dataSize > size - record.dataOffset)
      return false;
    entry.language = record.language;
    entry.data = blob + record.dataOffset;
    entry.size = record.dataSize;
    entries->push_back(std::move(entry));
  }
  return true;
}

// True when the address lies in the main program's loaded segments.
bool InMainProgram(const void* address) {
  struct Search {
    uintptr_t address;
    bool first = true;
    bool found = false;
  } search{reinterpret_cast<uintptr_t>(address)};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        Search* s = static_cast<Search*>(data);
        if (!s->first) return 1;  // the program is always listed first
        s->first = false;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[i];
          if (segment.p_type != PT_LOAD) continue;
          uintptr_t start = info->dlpi_addr + segment.p_vaddr;
          if (s->address >= start && s->address - start < segment.p_memsz) s->found = true;
        }
        return 1;
      },
      &search);
  return search.found;
}

const Entry* FindEntry(ResourceHandle resource, Module** owner) {
  Module* module = TheRegistry().Find(resource.module);
  if (!module || resource.entry >= module->entries.size()) return nullptr;
  if (owner) *owner = module;
  return &module->entries[resource.entry];
}

}  // namespace

bool ResourceName::IsNumber() const {
  uint16_t number;
  if (narrow_) return ParseHashNumber(narrow_, &number);
  if (wide_) return ParseHashNumber(wide_, &number);
  return true;
}

uint16_t ResourceName::Number() const {
  uint16_t number = 0;
  if (narrow_) return ParseHashNumber(narrow_, &number) ? number : 0;
  if (wide_) return ParseHashNumber(wide_, &number) ? number : 0;
  return id_;
}

bool ResourceName::Matches(bool storedIsNumber, uint16_t storedNumber,
                           std::string_view upperText) const {
  if (IsNumber()) return storedIsNumber && Number() == storedNumber;
  if (storedIsNumber) return false;
  return narrow_ ? EqualsUpper(narrow_, upperText) : EqualsUpper(wide_, upperText);
}

ResourceModule RegisterResourceModule(const char* name, const uint8_t* blob, uint32_t size,
                                      bool isProgram) {
  std::vector<Entry> entries;
  if (!ParseBlob(blob, size, &entries)) {
    TraceOutput("RegisterResourceModule: malformed resource data refused\n");
    SetLastErrorCode(kErrorResourceDataNotFound);
    return {};
  }
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto module = std::make_unique<Module>();
  module->id = registry.nextId++;
  module->name = name ? name : "";
  // A program module compiled into a shared library would claim the wrong
  // resources, so the claim is checked against where the data really lies.
  module->isProgram = isProgram && InMainProgram(blob);
  module->entries = std::move(entries);
  registry.modules.push_back(std::move(module));
  return ResourceModule{registry.modules.back()->id};
}

void UnregisterResourceModule(ResourceModule handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  for (size_t i = 0; i < registry.modules.size(); ++i) {
    if (registry.modules[i]->id == handle.value) {
      registry.modules.erase(registry.modules.begin() + static_cast<ptrdiff_t>(i));
      return;
    }
  }
}

ResourceModule GetProgramResourceModule() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  for (const auto& module : registry.modules)
    if (module->isProgram) return ResourceModule{module->id};
  SetLastErrorCode(kErrorResourceDataNotFound);
  return {};
}

ResourceModule FindResourceModule(const char* name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  if (name) {
    for (const auto& module : registry.modules)
      if (module->name == name) return ResourceModule{module->id};
  }
  SetLastErrorCode(kErrorResourceDataNotFound);
  return {};
}

namespace {

ResourceHandle Find(ResourceModule handle, const ResourceName& type, const ResourceName& name,
                    bool anyLanguage, uint16_t language) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  Module* module = registry.Find(handle.value);
  if (!module) {
    SetLastErrorCode(kErrorResourceDataNotFound);
    return {};
  }
  bool typeSeen = false, nameSeen = false;
  for (size_t i = 0; i < module->entries.size(); ++i) {
    const Entry& entry = module->entries[i];
    if (!type.Matches(entry.typeIsNumber, entry.typeNumber, entry.typeText)) continue;
    typeSeen = true;
    if (!name.Matches(entry.nameIsNumber, entry.nameNumber, entry.nameText)) continue;
    nameSeen = true;
    if (anyLanguage || entry.language == language)
      return ResourceHandle{module->id, static_cast<uint32_t>(i)};
  }
  SetLastErrorCode(!typeSeen   ? kErrorResourceTypeNotFound
                   : !nameSeen ? kErrorResourceNameNotFound
                               : kErrorResourceLanguageNotFound);
  return {};
}

}  // namespace

ResourceHandle FindResource(ResourceModule module, ResourceName type, ResourceName name,
                            uint16_t language) {
  return Find(module, type, name, false, language);
}

ResourceHandle FindResourceInAnyLanguage(ResourceModule module, ResourceName type,
                                         ResourceName name) {
  return Find(module, type, name, true, 0);
}

ResourceHandle FindResource(ResourceModule module, ResourceName type, ResourceName name) {
  for (uint16_t language : {kLanguageNeutral, GetUserDefaultLanguage(), kLanguageEnglish}) {
    ResourceHandle found = Find(module, type, name, false, language);
    if (found) return found;
  }
  return Find(module, type, name, true, 0);
}

const uint8_t* LoadResourceData(ResourceHandle resource) {
  std::lock_guard<std::mutex> guard(TheRegistry().lock);
  const Entry* entry = FindEntry(resource, nullptr);
  if (!entry) {
    SetLastErrorCode(kErrorInvalidHandle);
    return nullptr;
  }
  return entry->data;
}

uint32_t GetResourceSize(ResourceHandle resource) {
  std::lock_guard<std::mutex> guard(TheRegistry().lock);
  const Entry* entry = FindEntry(resource, nullptr);
  if (!entry) {
    SetLastErrorCode(kErrorInvalidHandle);
    return 0;
  }
  return entry->size;
}

uint16_t GetUserDefaultLanguage() {
  const char* locale = nullptr;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = std::getenv(variable);
    if (locale && *locale) break;
  }
  if (!locale) return kLanguageEnglish;
  std::string_view code(locale);
  code = code.substr(0, code.find_first_of("_.@"));
  static constexpr struct {
    std::string_view code;
    uint16_t language;
  } kLanguages[] = {{"en", 0x409}, {"eo", 0}, {"fr", 0x40C}, {"de", 0x407}, {"es", 0x40A}};
  for (const auto& known : kLanguages)
    if (code == known.code) return known.language;
  return kLanguageEnglish;
}

uint32_t CountResources(ResourceModule handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  Module* module = registry.Find(handle.value);
  return module ? static_cast<uint32_t>(module->entries.size()) : 0;
}

bool GetResourceInfo(ResourceModule handle, uint32_t index, ResourceInfo* info) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  Module* module = registry.Find(handle.value);
  if (!module || !info || index >= module->entries.size()) {
    SetLastErrorCode(!module ? kErrorInvalidHandle : !info ? kErrorInvalidParameter : kErrorNoMoreItems);
    return false;
  }
  const Entry& entry = module->entries[index];
  info->typeIsNumber = entry.typeIsNumber;
  info->typeNumber = entry.typeNumber;
  info->typeText = entry.typeText;
  info->nameIsNumber = entry.nameIsNumber;
  info->nameNumber = entry.nameNumber;
  info->nameText = entry.nameText;
  info->language = entry.language;
  info->handle = ResourceHandle{module->id, index};
  return true;
}

bool ReadStringBlockEntry(const uint8_t* block, uint32_t size, uint32_t index,
                          StringBlockEntry* entry) {
  if (!block || !entry || index >= kStringsPerBlock) return false;
  uint32_t offset = 0;
  for (uint32_t i = 0;; ++i) {
    if (size - offset < 2) return false;
    uint16_t count = ReadRecord<uint16_t>(block + offset);
    if ((size - offset - 2) / 2 < count) return false;
    if (i == index) {
      entry->counted = reinterpret_cast<const char16_t*>(block + offset);
      entry->count = count;
      entry->text = entry->counted + 1;
      return true;
    }
    offset += 2 + 2u * count;
  }
}

namespace {

// Walks a dialog template without ever reading past its end.
struct Reader {
  const uint8_t* data;
  uint32_t size;
  uint32_t offset = 0;

  template <class T>
  bool Record(T* record) {
    if (size - offset < sizeof(T)) return false;
    std::memcpy(record, data + offset, sizeof(T));
    offset += sizeof(T);
    return true;
  }
  bool Text(std::u16string_view* text) {
    uint16_t count;
    if (!Record(&count) || (size - offset) / 2 < count) return false;
    *text = std::u16string_view(reinterpret_cast<const char16_t*>(data + offset), count);
    offset += 2u * count;
    return true;
  }
};

}  // namespace

bool ParseDialogTemplate(const uint8_t* data, uint32_t size, DialogTemplate* dialog) {
  if (!data || !dialog || reinterpret_cast<uintptr_t>(data) % alignof(char16_t) != 0) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  Reader reader{data, size};
  DialogHeader header;
  DialogTemplate result;
  if (!reader.Record(&header) || header.signature != kDialogSignature ||
      !reader.Text(&result.caption) || !reader.Text(&result.className) ||
      !reader.Text(&result.fontFace)) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  result.style = header.style;
  result.extendedStyle = header.extendedStyle;
  result.x = header.x;
  result.y = header.y;
  result.width = header.width;
  result.height = header.height;
  result.fontPointSize = header.fontPointSize;
  result.fontWeight = header.fontWeight;
  result.fontItalic = header.fontItalic != 0;
  // Each item needs at least its header: a cheap bound before reserving.
  if (header.itemCount > size / sizeof(DialogItemHeader)) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  result.items.reserve(header.itemCount);
  for (uint16_t i = 0; i < header.itemCount; ++i) {
    DialogItemHeader itemHeader;
    DialogItemTemplate item;
    if (!reader.Record(&itemHeader) || !reader.Text(&item.className) || !reader.Text(&item.text)) {
      SetLastErrorCode(kErrorInvalidParameter);
      return false;
    }
    item.style = itemHeader.style;
    item.extendedStyle = itemHeader.extendedStyle;
    item.x = itemHeader.x;
    item.y = itemHeader.y;
    item.width = itemHeader.width;
    item.height = itemHeader.height;
    item.id = itemHeader.id;
    result.items.push_back(item);
  }
  *dialog = std::move(result);
  return true;
}

bool ParseGroupIcon(const uint8_t* data, uint32_t size, std::vector<IconImage>* images) {
  if (!data || !images || size < 4) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  uint16_t count = ReadRecord<uint16_t>(data);
  if ((size - 4) / sizeof(GroupIconEntry) < count) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  images->clear();
  for (uint16_t i = 0; i < count; ++i) {
    GroupIconEntry entry = ReadRecord<GroupIconEntry>(data + 4 + i * sizeof(GroupIconEntry));
    if (entry.format != static_cast<uint16_t>(IconImageFormat::Png) &&
        entry.format != static_cast<uint16_t>(IconImageFormat::Bitmap)) {
      SetLastErrorCode(kErrorInvalidParameter);
      return false;
    }
    images->push_back(IconImage{entry.width, entry.height,
                                static_cast<IconImageFormat>(entry.format), entry.imageId});
  }
  return true;
}
