#include "common/registry.h"

#include <cstring>

#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"

namespace {

constexpr uint32_t kVersionSize = 4;

struct RootPrefix {
  const char* name;
  RegistryKey root;
};
constexpr RootPrefix kRootPrefixes[] = {
    {"HKLM", kRegistryLocalMachine},
    {"HKCU", kRegistryCurrentUser},
    {"HKCR", kRegistryClassesRoot},
};

uint8_t* CopyBytes(const void* data, uint32_t size, const char* tag) {
  if (size == 0) return nullptr;
  auto* copy = static_cast<uint8_t*>(MEM_ALLOC(size, tag));
  if (copy) std::memcpy(copy, data, size);
  return copy;
}

// UTF-16 text of a string value, which need not be terminated within its size.
string TextOfValue(const uint8_t* data, uint32_t size) {
  string text;
  uint32_t units = size / sizeof(char16_t);
  for (uint32_t i = 0; i < units; ++i) {
    char16_t unit;
    std::memcpy(&unit, data + i * sizeof(char16_t), sizeof(unit));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Blobs

RegBlob::RegBlob(const void* bytes, uint32_t count)
    : data(static_cast<uint8_t*>(const_cast<void*>(bytes))), size(count), owned(false) {}

RegBlob::RegBlob(const RegBlob& other) : size(other.size), owned(other.owned) {
  if (!other.owned) {
    data = other.data;
    return;
  }
  data = CopyBytes(other.data, other.size, "_cbData");
  if (!data) size = 0;
}

RegBlob::RegBlob(RegBlob&& other) noexcept
    : data(other.data), size(other.size), owned(other.owned) {
  other.data = nullptr;
  other.size = 0;
  other.owned = false;
}

RegBlob& RegBlob::operator=(const RegBlob& other) {
  if (this != &other) {
    RegBlob copy(other);
    *this = static_cast<RegBlob&&>(copy);
  }
  return *this;
}

RegBlob& RegBlob::operator=(RegBlob&& other) noexcept {
  if (this != &other) {
    if (owned && data) MEM_FREE(data);
    data = other.data;
    size = other.size;
    owned = other.owned;
    other.data = nullptr;
    other.size = 0;
    other.owned = false;
  }
  return *this;
}

RegBlob::~RegBlob() {
  if (owned && data) MEM_FREE(data);
}

bool RegBlob::operator==(const RegBlob& other) const {
  if (owned != other.owned || size != other.size) return false;
  if (!owned) return data == other.data;
  return size == 0 || std::memcmp(data, other.data, size) == 0;
}

// ---------------------------------------------------------------------------
// Naming the key

RegKey::RegKey(const string& path, const string& valueName)
    : root_(kRegistryCurrentUser), path_(path), valueName_(valueName) {
  for (const RootPrefix& prefix : kRootPrefixes) {
    if (path.CompareNoCase(prefix.name) == 0) {
      root_ = prefix.root;
      path_ = string();
      return;
    }
    if (path.CompareNoCase(prefix.name, 4) == 0 && path.Text()[4] == '\\') {
      root_ = prefix.root;
      path_ = path.Substring(5);
      return;
    }
  }
}

RegKey::RegKey(RegistryKey root, const string& path, const string& valueName)
    : root_(root), path_(path), valueName_(valueName) {}

RegKey::RegKey(const RegKey& parent, const string& subkey, const string& valueName)
    : root_(parent.root_), path_(parent.path_), valueName_(valueName) {
  if (!path_.IsEmpty() && !subkey.IsEmpty()) path_ += '\\';
  path_ += subkey;
}

RegKey::RegKey(const RegKey& other)
    : root_(other.root_), path_(other.path_), valueName_(other.valueName_) {}

RegKey& RegKey::operator=(const RegKey& other) {
  root_ = other.root_;
  path_ = other.path_;
  valueName_ = other.valueName_;
  return *this;
}

void RegKey::SetValueName(const string& valueName) {
  valueName_ = valueName;
}

// ---------------------------------------------------------------------------
// Keys

RegistryKey RegKey::Create() const {
  RegistryKey key = kRegistryNoKey;
  if (RegistryCreateKey(root_, path_.Wide(), &key) != kErrorSuccess) return kRegistryNoKey;
  return key;
}

RegistryKey RegKey::Open() const {
  RegistryKey key = kRegistryNoKey;
  if (RegistryOpenKey(root_, path_.Wide(), &key) != kErrorSuccess) return kRegistryNoKey;
  return key;
}

void RegKey::Close(RegistryKey key) {
  if (key != kRegistryNoKey) RegistryCloseKey(key);
}

// ---------------------------------------------------------------------------
// Values

bool RegKey::ReadRaw(RegistryValueType* type, void* data, uint32_t* size) const {
  if (!size) {
    DebugTrace("RegKey::ReadRaw called without a size (0x%08lX)", this);
    return false;
  }
  RegistryKey key = Open();
  if (key == kRegistryNoKey) return false;
  bool read = RegistryQueryValue(key, valueName_.Wide(), type, data, size) == kErrorSuccess;
  Close(key);
  return read;
}

bool RegKey::WriteRaw(RegistryValueType type, const void* data, uint32_t size) const {
  if (!data && size != 0) {
    DebugTrace("RegKey::WriteRaw called with no data for %lu bytes (0x%08lX)", size, this);
    return false;
  }
  RegistryKey key = Create();
  if (key == kRegistryNoKey) return false;
  bool written = RegistrySetValue(key, valueName_.Wide(), type, data, size) == kErrorSuccess;
  Close(key);
  return written;
}

uint32_t RegKey::ValueSize() const {
  uint32_t size = 0;
  return ReadRaw(nullptr, nullptr, &size) ? size : 0;
}

string RegKey::ReadString() const {
  string text;
  RegistryValueType type = RegistryValueType::None;
  uint32_t size = 0;
  if (!ReadRaw(&type, nullptr, &size) || size == 0) return text;
  auto* data = static_cast<uint8_t*>(MEM_ALLOC(size, "cbData"));
  if (!data) return text;
  if (ReadRaw(&type, data, &size) &&
      (type == RegistryValueType::String || type == RegistryValueType::ExpandString)) {
    text = TextOfValue(data, size);
  }
  MEM_FREE(data);
  return text;
}

bool RegKey::WriteString(const string& text) const {
  return WriteRaw(RegistryValueType::String, text.Wide(),
                  (text.Length() + 1) * static_cast<uint32_t>(sizeof(char16_t)));
}

uint32_t RegKey::ReadNumber() const {
  uint8_t bytes[4] = {};
  uint32_t size = sizeof(bytes);
  if (!ReadRaw(nullptr, bytes, &size)) return 0;
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool RegKey::WriteNumber(uint32_t number) const {
  const uint8_t bytes[4] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                            static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
  return WriteRaw(RegistryValueType::Number, bytes, sizeof(bytes));
}

RegBlob RegKey::ReadBinary() const {
  RegBlob blob;
  RegistryValueType type = RegistryValueType::None;
  uint32_t size = 0;
  if (!ReadRaw(&type, nullptr, &size) || type != RegistryValueType::Binary) return blob;
  blob.owned = true;
  if (size == 0) return blob;
  blob.data = static_cast<uint8_t*>(MEM_ALLOC(size, "rd._cbData"));
  if (!blob.data) return blob;
  // The value may have changed since its size was asked; then it is not read.
  if (ReadRaw(&type, blob.data, &size) && type == RegistryValueType::Binary) {
    blob.size = size;
  } else {
    MEM_FREE(blob.data);
    blob.data = nullptr;
  }
  return blob;
}

bool RegKey::WriteBinary(const RegBlob& blob) const {
  return WriteBinary(blob.data, blob.size);
}

bool RegKey::WriteBinary(const void* data, uint32_t size) const {
  return WriteRaw(RegistryValueType::Binary, data, size);
}

bool RegKey::ReadVersioned(uint32_t version, void* data, uint32_t size) const {
  if (!data && size != 0) {
    DebugTrace("RegKey::ReadVersioned called with no buffer for %lu bytes (0x%08lX)", size, this);
    return false;
  }
  RegBlob blob = ReadBinary();
  if (blob.size < kVersionSize) return false;
  uint16_t minor = static_cast<uint16_t>(blob.data[0] | (blob.data[1] << 8));
  uint16_t major = static_cast<uint16_t>(blob.data[2] | (blob.data[3] << 8));
  if (major != (version >> 16) || minor < (version & 0xFFFF)) return false;
  uint32_t stored = blob.size - kVersionSize;
  uint32_t copied = stored < size ? stored : size;
  if (copied) std::memcpy(data, blob.data + kVersionSize, copied);
  if (size > copied) std::memset(static_cast<uint8_t*>(data) + copied, 0, size - copied);
  return true;
}

bool RegKey::WriteVersioned(uint32_t version, const void* data, uint32_t size) const {
  if ((!data && size != 0) || size > UINT32_MAX - kVersionSize) {
    DebugTrace("RegKey::WriteVersioned called with no data for %lu bytes (0x%08lX)", size, this);
    return false;
  }
  auto* full = static_cast<uint8_t*>(MEM_ALLOC(size + kVersionSize, "cbFull"));
  if (!full) return false;
  for (uint32_t i = 0; i < kVersionSize; ++i) full[i] = static_cast<uint8_t>(version >> (8 * i));
  if (size) std::memcpy(full + kVersionSize, data, size);
  bool written = WriteBinary(full, size + kVersionSize);
  MEM_FREE(full);
  return written;
}

bool RegKey::CopyValueFrom(const RegKey& other) const {
  RegistryValueType type = RegistryValueType::None;
  uint32_t size = 0;
  uint8_t* data = nullptr;
  bool read = other.ReadRaw(&type, nullptr, &size);
  if (read && size != 0) {
    data = static_cast<uint8_t*>(MEM_ALLOC(size, "cbData"));
    read = data && other.ReadRaw(&type, data, &size);
  }
  bool done = read ? WriteRaw(type, data, size) : DeleteValue();
  if (data) MEM_FREE(data);
  return done;
}

bool RegKey::DeleteValue() const {
  RegistryKey key = Open();
  if (key == kRegistryNoKey) return false;
  bool deleted = RegistryDeleteValue(key, valueName_.Wide()) == kErrorSuccess;
  Close(key);
  return deleted;
}

// An empty name would stand for the key itself (for a root: everything in it).
bool RegKey::DeleteSubkey(const string& subkey) const {
  if (subkey.IsEmpty()) {
    DebugTrace("RegKey::DeleteSubkey called without a subkey name (0x%08lX)", this);
    return false;
  }
  RegistryKey key = Open();
  if (key == kRegistryNoKey) return false;
  bool deleted = RegistryDeleteKey(key, subkey.Wide()) == kErrorSuccess;
  Close(key);
  return deleted;
}

// The registry removes the whole tree in one transaction, so a failure
// leaves it as it was rather than half deleted.
bool RegKey::DeleteTree(const string& subkey) const {
  if (subkey.IsEmpty()) {
    DebugTrace("RegKey::DeleteTree called without a subkey name (0x%08lX)", this);
    return false;
  }
  RegistryKey key = Open();
  if (key == kRegistryNoKey) return false;
  bool deleted = RegistryDeleteTree(key, subkey.Wide()) == kErrorSuccess;
  Close(key);
  return deleted;
}
