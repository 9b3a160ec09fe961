// The edges where outside text meets the registry and the file layer: system
// paths translated onto drive folders, key paths, and stored value bytes
// handed back through the 8-bit and UTF-16 calls. The input is read as 8-bit
// text and as UTF-16 text. A translated path must stay inside its drive's
// folder; a value must read back byte for byte, and no read may write past
// the room it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/registry.h"

namespace {

const std::string kDrives = "/tmp/vorlan_registry_fuzz/";

// Every drive stands for a folder of the fuzz run's own; the store lives in
// memory.
RegistryKey Setup() {
  static RegistryStore* store = [] {
    for (char letter = 'a'; letter <= 'z'; ++letter)
      DriveSetFolder(letter, (kDrives + letter).c_str());
    return RegistryOpenStore(":memory:");
  }();
  if (!store) std::abort();
  return RegistryStoreRoot(store, RegistryRoot::CurrentUser);
}

void CheckInsideDrive(const std::string& host) {
  if (host.compare(0, kDrives.size(), kDrives) != 0) std::abort();
  std::string rest = host.substr(kDrives.size() + 1);  // past the drive letter
  if (!rest.empty() && rest[0] != '/') std::abort();
  for (size_t at = 0; (at = rest.find("/..", at)) != std::string::npos; ++at) {
    size_t end = at + 3;
    if (end == rest.size() || rest[end] == '/') std::abort();
  }
}

// Reads a value through a buffer of exactly the room the call is given.
template <class Name>
void ReadBack(RegistryKey key, const Name* name, uint32_t room) {
  std::vector<uint8_t> buffer(room);
  uint32_t size = room;
  RegistryValueType type;
  uint32_t result = RegistryQueryValue(key, name, &type, room ? buffer.data() : nullptr, &size);
  if (result == kErrorSuccess && room && size > room) std::abort();
}

template <class Name>
void CheckRegistry(const Name* path, const void* bytes, uint32_t size) {
  RegistryKey root = Setup();
  RegistryKey key;
  if (RegistryCreateKey(root, path, &key) != kErrorSuccess) return;
  if (RegistrySetValue(key, path, RegistryValueType::String, bytes, size) == kErrorSuccess) {
    uint32_t needed = 0;
    if (RegistryQueryValue(key, path, nullptr, nullptr, &needed) != kErrorSuccess) std::abort();
    for (uint32_t room : {needed, needed ? needed - 1 : 0u, 1u}) ReadBack(key, path, room);
    ReadBack(key, u"", 16);
  }
  // Raw bytes as the wide calls store them come back unchanged.
  if (RegistrySetValue(key, u"raw", RegistryValueType::Binary, bytes, size) != kErrorSuccess)
    std::abort();
  std::vector<uint8_t> back(size + 1);
  uint32_t got = size + 1;
  if (RegistryQueryValue(key, u"raw", nullptr, back.data(), &got) != kErrorSuccess || got != size ||
      (size && std::memcmp(back.data(), bytes, size) != 0))
    std::abort();
  for (uint32_t index = 0;; ++index) {
    char name[8];
    uint32_t length = sizeof(name);
    uint32_t result = RegistryEnumerateValue(key, index, name, &length, nullptr, nullptr, nullptr);
    if (result == kErrorNoMoreItems) break;
    if (result == kErrorSuccess && std::strlen(name) != length) std::abort();
    if (index > 4) std::abort();
  }
  RegistryCloseKey(key);
  if (RegistryDeleteTree(root, "") != kErrorSuccess) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  Setup();
  std::string narrow(size ? reinterpret_cast<const char*>(data) : "", size);
  std::u16string wide(size / 2, u'\0');
  if (!wide.empty()) std::memcpy(wide.data(), data, wide.size() * 2);
  // Both stop at the first NUL, as a caller's text would.
  std::string host;
  if (TranslatePath(narrow.c_str(), &host)) CheckInsideDrive(host);
  if (TranslatePath(wide.c_str(), &host)) CheckInsideDrive(host);

  CheckRegistry(narrow.c_str(), data, static_cast<uint32_t>(size));
  CheckRegistry(wide.c_str(), data, static_cast<uint32_t>(size));
  return 0;
}
