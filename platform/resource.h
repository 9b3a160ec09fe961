#pragma once
// Resources compiled into a program by vorlan-rc: found by type, name and
// language, read in place (the bytes stay mapped for the life of the module),
// and enumerated. String-table blocks, dialog templates and icon directories
// have readers here; choosing a language among several is the caller's work.

#include <concepts>
#include <cstdint>
#include <string_view>
#include <vector>

// A resource type or name: a 16-bit number, or a text compared without regard
// to case. The text "#123" stands for the number 123.
class ResourceName {
 public:
  template <std::integral T>
  constexpr ResourceName(T id) : id_(static_cast<uint16_t>(id)) {}
  ResourceName(const char* text) : narrow_(text) {}
  ResourceName(const char16_t* text) : wide_(text) {}

  bool IsNumber() const;  // also true for "#123"
  uint16_t Number() const;
  // True when this name equals a stored name: upperText for a text, else id.
  bool Matches(bool storedIsNumber, uint16_t storedNumber, std::string_view upperText) const;

 private:
  uint16_t id_ = 0;
  const char* narrow_ = nullptr;
  const char16_t* wide_ = nullptr;
};

// Resource types with numbers of their own; every other type is named.
constexpr uint16_t kResourceTypeBitmap = 2;
constexpr uint16_t kResourceTypeIcon = 3;
constexpr uint16_t kResourceTypeDialog = 5;
constexpr uint16_t kResourceTypeString = 6;
constexpr uint16_t kResourceTypeGroupIcon = 14;

// Language identifiers: 16 bits. Neutral (0) is also the language the system
// gives its Esperanto resources.
constexpr uint16_t kLanguageNeutral = 0;
constexpr uint16_t kLanguageEnglish = 0x409;

// Last-error codes of a failed look-up.
constexpr uint32_t kErrorResourceDataNotFound = 1812;  // the module has no valid resources
constexpr uint32_t kErrorResourceTypeNotFound = 1813;
constexpr uint32_t kErrorResourceNameNotFound = 1814;
constexpr uint32_t kErrorResourceLanguageNotFound = 1815;

// A module holding resources: the program itself, or a shared library with
// resources of its own. Value 0 is none; values are never reused, so a handle
// of an unloaded library stays invalid.
struct ResourceModule {
  uint32_t value = 0;
  explicit operator bool() const { return value != 0; }
  bool operator==(const ResourceModule&) const = default;
};

// One resource of a module; stale when its module has been unloaded.
struct ResourceHandle {
  uint32_t module = 0;
  uint32_t entry = 0;
  explicit operator bool() const { return module != 0; }
  bool operator==(const ResourceHandle&) const = default;
};

// The program's own resources; none when the program was built without any.
ResourceModule GetProgramResourceModule();
// A module by the name it was compiled with (the build target's name).
ResourceModule FindResourceModule(const char* name);

// The resource of exactly this language, or none with the last error set to
// the first thing missing: the type, the name, or the language.
ResourceHandle FindResource(ResourceModule module, ResourceName type, ResourceName name,
                            uint16_t language);
// The resource in whichever language the module has it (the first listed).
ResourceHandle FindResourceInAnyLanguage(ResourceModule module, ResourceName type,
                                         ResourceName name);
// For callers that name no language (art, sounds, archives): the neutral
// one, else the user's language, else English, else any.
ResourceHandle FindResource(ResourceModule module, ResourceName type, ResourceName name);

// The bytes of a resource, aligned to 8 bytes and valid until its module is
// unloaded (for the program: for the life of the process); null for a stale
// or empty handle, with kErrorInvalidHandle.
const uint8_t* LoadResourceData(ResourceHandle resource);
// Its size in bytes, 0 for a stale or empty handle.
uint32_t GetResourceSize(ResourceHandle resource);

// The language of the user's session, from LC_ALL, LC_MESSAGES or LANG: the
// languages the system knows (en, eo, fr, de, es), else English.
uint16_t GetUserDefaultLanguage();

// Enumeration, in the order the script listed the resources.
struct ResourceInfo {
  bool typeIsNumber = false;
  uint16_t typeNumber = 0;
  std::string_view typeText;  // upper case; valid while the module is loaded
  bool nameIsNumber = false;
  uint16_t nameNumber = 0;
  std::string_view nameText;
  uint16_t language = 0;
  ResourceHandle handle;
};
uint32_t CountResources(ResourceModule module);
bool GetResourceInfo(ResourceModule module, uint32_t index, ResourceInfo* info);

// Registration, done by the code vorlan-rc generates: at start-up for a
// program, when a library is loaded for a library. The blob is checked in
// full here and never copied; a malformed one is refused (none, with a trace
// line). Unregistering makes every handle into the module stale.
ResourceModule RegisterResourceModule(const char* name, const uint8_t* blob, uint32_t size,
                                      bool isProgram);
void UnregisterResourceModule(ResourceModule module);

// ---------------------------------------------------------------------------
// String tables. Text id t lives in block t / 16 + 1 (a resource of type
// kResourceTypeString) as entry t % 16. A block is 16 counted texts one after
// another: a 16-bit count, then that many UTF-16 units, no terminator.

constexpr uint32_t kStringsPerBlock = 16;
constexpr uint16_t StringBlockId(uint32_t textId) {
  return static_cast<uint16_t>(textId / kStringsPerBlock + 1);
}

struct StringBlockEntry {
  const char16_t* counted = nullptr;  // the count unit, followed by the text
  uint16_t count = 0;
  const char16_t* text = nullptr;
};
// Entry `index` (0-15) of a block of `size` bytes; false when the block ends
// before the entry does. Needs 2-byte aligned data, as resources are.
bool ReadStringBlockEntry(const uint8_t* block, uint32_t size, uint32_t index,
                          StringBlockEntry* entry);

// ---------------------------------------------------------------------------
// Dialog templates (type kResourceTypeDialog). Positions and sizes are in
// dialog units; texts point into the resource.

struct DialogItemTemplate {
  uint32_t style = 0;
  uint32_t extendedStyle = 0;
  int16_t x = 0, y = 0, width = 0, height = 0;
  uint16_t id = 0;  // 65535 for an item without an id
  std::u16string_view className;
  std::u16string_view text;
};

struct DialogTemplate {
  uint32_t style = 0;
  uint32_t extendedStyle = 0;
  int16_t x = 0, y = 0, width = 0, height = 0;
  uint16_t fontPointSize = 0;  // 0: no font named
  uint16_t fontWeight = 0;
  bool fontItalic = false;
  std::u16string_view caption;
  std::u16string_view className;  // empty: the standard dialog class
  std::u16string_view fontFace;
  std::vector<DialogItemTemplate> items;  // in z-order, first on top
};
// False (kErrorInvalidParameter) when the bytes are not a whole template.
bool ParseDialogTemplate(const uint8_t* data, uint32_t size, DialogTemplate* dialog);

// ---------------------------------------------------------------------------
// Icons. A group icon (kResourceTypeGroupIcon) lists its images; each image is
// a resource of type kResourceTypeIcon holding a PNG or bitmap file.

enum class IconImageFormat : uint16_t { Png = 1, Bitmap = 2 };
struct IconImage {
  uint16_t width = 0;
  uint16_t height = 0;
  IconImageFormat format = IconImageFormat::Png;
  uint16_t imageId = 0;  // name of the kResourceTypeIcon resource
};
bool ParseGroupIcon(const uint8_t* data, uint32_t size, std::vector<IconImage>* images);

// ---------------------------------------------------------------------------
// Stored layouts, shared with vorlan-rc. All little-endian; a counted text is
// a 16-bit unit count followed by the units.
namespace resource_format {

// The blob: header, entry table, then names and data, each item aligned to 8.
constexpr uint32_t kBlobSignature = 0x53455256;  // "VRES"
constexpr uint16_t kBlobVersion = 1;
struct BlobHeader {
  uint32_t signature;
  uint16_t version;
  uint16_t headerSize;  // sizeof(BlobHeader)
  uint32_t entryCount;
  uint32_t totalSize;  // the whole blob
};
static_assert(sizeof(BlobHeader) == 16);

// A type or name key: a number when kKeyIsText is clear, else the offset of
// a counted 8-bit upper-case text (count in 16 bits) in the blob.
constexpr uint32_t kKeyIsText = 0x80000000u;
struct BlobEntry {
  uint32_t type;
  uint32_t name;
  uint16_t language;
  uint16_t reserved;
  uint32_t dataOffset;  // multiple of 8
  uint32_t dataSize;
};
static_assert(sizeof(BlobEntry) == 20);
constexpr uint32_t kDataAlignment = 8;

// A dialog: header, counted caption, class name and font face; then per item
// its header and counted class name and text.
constexpr uint32_t kDialogSignature = 0x474C4456;  // "VDLG"
struct DialogHeader {
  uint32_t signature;
  uint32_t style;
  uint32_t extendedStyle;
  int16_t x, y, width, height;
  uint16_t itemCount;
  uint16_t fontPointSize;
  uint16_t fontWeight;
  uint16_t fontItalic;
};
static_assert(sizeof(DialogHeader) == 28);
struct DialogItemHeader {
  uint32_t style;
  uint32_t extendedStyle;
  int16_t x, y, width, height;
  uint16_t id;
  uint16_t reserved;
};
static_assert(sizeof(DialogItemHeader) == 20);

// A group icon: a 16-bit count, a reserved 16-bit word, then the images.
struct GroupIconEntry {
  uint16_t width;
  uint16_t height;
  uint16_t format;
  uint16_t imageId;
};
static_assert(sizeof(GroupIconEntry) == 8);

}  // namespace resource_format
