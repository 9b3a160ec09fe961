#pragma once
// The game's registry library: a key named by its root and path, with one
// value name, and typed helpers that open the key, read or write the value
// and close it again, so that no handle outlives a call. Only the game has
// it; the setup reaches the registry through its own library.

#if !VORLAN_WIDE_TCHAR
#error "RegKey belongs to the game's build only"
#endif

#include <cstdint>

#include "foundation/tl_string.h"
#include "platform/registry.h"

// Bytes read from or written to a binary value. An owned blob frees its data
// with itself, and a copy of it gets bytes of its own.
struct RegBlob {
  RegBlob() = default;
  // Refers to the caller's bytes, which must outlive the blob.
  RegBlob(const void* data, uint32_t size);
  RegBlob(const RegBlob& other);
  RegBlob(RegBlob&& other) noexcept;
  RegBlob& operator=(const RegBlob& other);
  RegBlob& operator=(RegBlob&& other) noexcept;
  ~RegBlob();

  // Equal when both own their data (or neither does), the sizes agree, and
  // the bytes are equal (owned) or the data is the same (not owned).
  bool operator==(const RegBlob& other) const;

  uint8_t* data = nullptr;
  uint32_t size = 0;
  bool owned = false;
};

// The version of a versioned binary value: major in the high 16 bits, minor
// in the low ones. The value holds it as its first four bytes.
constexpr uint32_t kRegVersion10 = 0x00010000;

class RegKey {
 public:
  // "HKLM\path", "HKCU\path" or "HKCR\path" (the prefix in any case; the
  // root alone names the root itself); any other text is a path under
  // HKEY_CURRENT_USER.
  explicit RegKey(const string& path, const string& valueName = string());
  // root is kRegistryLocalMachine, kRegistryCurrentUser or kRegistryClassesRoot.
  RegKey(RegistryKey root, const string& path, const string& valueName = string());
  // The subkey of parent: the two paths joined with a backslash.
  RegKey(const RegKey& parent, const string& subkey, const string& valueName = string());
  RegKey(const RegKey& other);
  RegKey& operator=(const RegKey& other);

  RegistryKey Root() const { return root_; }
  const string& Path() const { return path_; }
  const string& ValueName() const { return valueName_; }
  void SetValueName(const string& valueName);

  // The key for full access, or kRegistryNoKey. Create makes it when missing.
  // The caller closes it.
  RegistryKey Create() const;
  RegistryKey Open() const;
  static void Close(RegistryKey key);

  // The value in raw form. size: on entry the room in data, on return the
  // value's size; with data null only type and size are answered.
  bool ReadRaw(RegistryValueType* type, void* data, uint32_t* size) const;
  bool WriteRaw(RegistryValueType type, const void* data, uint32_t size) const;
  // 0 when the value cannot be read.
  uint32_t ValueSize() const;

  // A value that is not a string reads as an empty string.
  string ReadString() const;
  bool WriteString(const string& text) const;
  // 0 when the value cannot be read.
  uint32_t ReadNumber() const;
  bool WriteNumber(uint32_t number) const;
  // An owned blob; empty when the value is missing or not binary.
  RegBlob ReadBinary() const;
  bool WriteBinary(const RegBlob& blob) const;
  bool WriteBinary(const void* data, uint32_t size) const;

  // A binary value led by its version. The read fails unless the stored major
  // version is the one wanted and its minor at least the one wanted; then the
  // buffer gets as much of the stored data as fits, the rest zeroed.
  bool ReadVersioned(uint32_t version, void* data, uint32_t size) const;
  bool WriteVersioned(uint32_t version, const void* data, uint32_t size) const;

  // Copies the other key's value here with its type; when that cannot be
  // read, this value is deleted instead.
  bool CopyValueFrom(const RegKey& other) const;
  bool DeleteValue() const;
  // A subkey without subkeys of its own; or a subkey with all below it.
  bool DeleteSubkey(const string& subkey) const;
  bool DeleteTree(const string& subkey) const;

 private:
  RegistryKey root_;
  string path_;
  string valueName_;
};
