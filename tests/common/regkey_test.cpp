#include "common/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"

namespace {

std::vector<std::string>* g_traceLines = nullptr;
void CollectTrace(const char* text) {
  g_traceLines->push_back(text);
}

std::string Utf8(const string& text) {
  return std::string(text.Narrow());
}

std::vector<uint8_t> Bytes(const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

// Each test has a registry of its own.
class RegKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/regkey_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    std::string path = folder_ + "/registry.db";
    setenv("VORLAN_REGISTRY", path.c_str(), 1);
    ASSERT_TRUE(RegistrySelectDefaultStore(path.c_str()));
  }
  void TearDown() override {
    RegistrySelectDefaultStore(":memory:");
    std::filesystem::remove_all(folder_);
  }

  static bool KeyExists(RegistryKey root, const char16_t* path) {
    RegistryKey key;
    if (RegistryOpenKey(root, path, &key) != kErrorSuccess) return false;
    RegistryCloseKey(key);
    return true;
  }

  std::string folder_;
};

TEST(RegKeyPath, RootPrefixes) {
  struct Case {
    const char16_t* text;
    RegistryKey root;
    const char* path;
  };
  const Case cases[] = {
      {u"hkcu\\Software\\Qualen\\Vorlan", kRegistryCurrentUser, "Software\\Qualen\\Vorlan"},
      {u"Software\\Qualen", kRegistryCurrentUser, "Software\\Qualen"},
      {u"HKLM\\Software\\Qualen\\NLS", kRegistryLocalMachine, "Software\\Qualen\\NLS"},
      {u"HkCr\\.txt", kRegistryClassesRoot, ".txt"},
      {u"HKLM\\", kRegistryLocalMachine, ""},
      {u"HKLM", kRegistryLocalMachine, ""},
      {u"hkcr", kRegistryClassesRoot, ""},
      {u"HKLMX\\Software", kRegistryCurrentUser, "HKLMX\\Software"},
      {u"HKLM/Software", kRegistryCurrentUser, "HKLM/Software"},
      {u"HKL", kRegistryCurrentUser, "HKL"},
      {u"", kRegistryCurrentUser, ""},
  };
  for (const Case& c : cases) {
    RegKey key{string(c.text)};
    SCOPED_TRACE(Utf8(string(c.text)));
    EXPECT_EQ(key.Root(), c.root);
    EXPECT_EQ(Utf8(key.Path()), c.path);
    EXPECT_TRUE(key.ValueName().IsEmpty());
  }
}

TEST(RegKeyPath, Subkeys) {
  RegKey software(string(u"HKCU\\Software"), string(u"Ignored"));
  RegKey vorlan(software, string(u"Qualen\\Vorlan"), string(u"Settings"));
  EXPECT_EQ(vorlan.Root(), kRegistryCurrentUser);
  EXPECT_EQ(Utf8(vorlan.Path()), "Software\\Qualen\\Vorlan");
  EXPECT_EQ(Utf8(vorlan.ValueName()), "Settings");

  RegKey root(kRegistryLocalMachine, string());
  EXPECT_EQ(Utf8(RegKey(root, string(u"Software")).Path()), "Software");

  RegKey copy(vorlan);
  EXPECT_EQ(copy.Root(), kRegistryCurrentUser);
  EXPECT_EQ(Utf8(copy.Path()), "Software\\Qualen\\Vorlan");
  EXPECT_EQ(Utf8(copy.ValueName()), "Settings");
}

TEST_F(RegKeyTest, TypedValues) {
  RegKey key(string(u"HKCU\\Software\\Qualen\\Vorlan"), string(u"Name"));
  EXPECT_EQ(Utf8(key.ReadString()), "");
  EXPECT_EQ(key.ReadNumber(), 0u);
  EXPECT_EQ(key.ValueSize(), 0u);

  ASSERT_TRUE(key.WriteString(string(u"Ĉe\u0125")));
  EXPECT_EQ(std::u16string(key.ReadString().Wide()), u"Ĉe\u0125");
  EXPECT_EQ(key.ValueSize(), 8u);  // three units and the terminator
  RegistryValueType type = RegistryValueType::None;
  uint32_t size = 0;
  ASSERT_TRUE(key.ReadRaw(&type, nullptr, &size));
  EXPECT_EQ(type, RegistryValueType::String);

  ASSERT_TRUE(key.WriteNumber(0x12345678));
  EXPECT_EQ(key.ReadNumber(), 0x12345678u);
  EXPECT_EQ(Utf8(key.ReadString()), "");  // not a string
  uint8_t raw[4];
  size = sizeof(raw);
  ASSERT_TRUE(key.ReadRaw(&type, raw, &size));
  EXPECT_EQ(type, RegistryValueType::Number);
  EXPECT_EQ(Bytes(raw, 4), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));

  // A number read of a value too big for one fails.
  ASSERT_TRUE(key.WriteBinary("12345", 5));
  EXPECT_EQ(key.ReadNumber(), 0u);

  // Texts stored by others need not be terminated; expandable ones are texts.
  const char16_t unterminated[] = {u'a', u'b'};
  ASSERT_TRUE(key.WriteRaw(RegistryValueType::ExpandString, unterminated, sizeof(unterminated)));
  EXPECT_EQ(Utf8(key.ReadString()), "ab");

  // The default value has an empty name.
  RegKey defaultValue(string(u"HKCU\\Software\\Qualen\\Vorlan"));
  ASSERT_TRUE(defaultValue.WriteString(string(u"default")));
  EXPECT_EQ(Utf8(defaultValue.ReadString()), "default");
  EXPECT_EQ(Utf8(key.ReadString()), "ab");

  ASSERT_TRUE(key.DeleteValue());
  EXPECT_EQ(key.ValueSize(), 0u);
  EXPECT_FALSE(key.DeleteValue());
}

TEST_F(RegKeyTest, BinaryBlobs) {
  RegKey key(string(u"HKCU\\Software\\Qualen\\Vorlan"), string(u"Blob"));
  EXPECT_EQ(key.ReadBinary().data, nullptr);
  const uint8_t bytes[] = {1, 2, 3, 0, 5};
  RegBlob outside(bytes, sizeof(bytes));
  ASSERT_TRUE(key.WriteBinary(outside));

  RegBlob read = key.ReadBinary();
  ASSERT_TRUE(read.owned);
  ASSERT_EQ(read.size, sizeof(bytes));
  EXPECT_EQ(Bytes(read.data, read.size), Bytes(bytes, sizeof(bytes)));
  MemBlockInfo info;
  ASSERT_TRUE(MemGetBlockInfo(read.data, &info));
  EXPECT_STREQ(info.typeTag, "rd._cbData");

  // An owned copy has bytes of its own; a copy of borrowed bytes shares them.
  RegBlob copy(read);
  EXPECT_NE(copy.data, read.data);
  ASSERT_TRUE(MemGetBlockInfo(copy.data, &info));
  EXPECT_STREQ(info.typeTag, "_cbData");
  EXPECT_TRUE(copy == read);
  RegBlob borrowed(outside);
  EXPECT_EQ(borrowed.data, outside.data);
  EXPECT_TRUE(borrowed == outside);

  // Owned and borrowed blobs never compare equal; borrowed ones by address.
  EXPECT_FALSE(read == outside);
  std::vector<uint8_t> same(bytes, bytes + sizeof(bytes));
  EXPECT_FALSE(RegBlob(same.data(), 5) == outside);
  copy.data[4] = 9;
  EXPECT_FALSE(copy == read);

  // A value of another type is not binary.
  ASSERT_TRUE(key.WriteNumber(7));
  RegBlob number = key.ReadBinary();
  EXPECT_EQ(number.data, nullptr);
  EXPECT_EQ(number.size, 0u);
}

// The game keeps its records as versioned values of version 1.0.
TEST_F(RegKeyTest, VersionedValues) {
  RegKey key(string(u"HKCU\\Software\\Qualen\\Vorlan"), string(u"SavedGame"));
  uint8_t record[20];
  for (uint8_t i = 0; i < sizeof(record); ++i) record[i] = static_cast<uint8_t>(0xA0 + i);
  ASSERT_TRUE(key.WriteVersioned(kRegVersion10, record, sizeof(record)));

  RegBlob stored = key.ReadBinary();
  ASSERT_EQ(stored.size, 24u);
  EXPECT_EQ(Bytes(stored.data, 4), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}));

  struct Case {
    uint32_t version;
    uint32_t size;
    bool read;
  };
  const Case cases[] = {
      {0x00010000, 24, true},                            // room to spare: zeros after the record
      {0x00010000, 20, true},  {0x00010000, 8, true},    // a short buffer takes the front
      {0x00010000, 0, true},   {0x00010001, 20, false},  // wants 1.1
      {0x00020000, 20, false},                           // wants 2.0
      {0x00000000, 20, false},                           // wants 0.0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.version << " into " << std::dec << c.size);
    std::vector<uint8_t> buffer(c.size + 1, 0x55);
    EXPECT_EQ(key.ReadVersioned(c.version, buffer.data(), c.size), c.read);
    if (!c.read) {
      EXPECT_EQ(buffer, std::vector<uint8_t>(c.size + 1, 0x55)) << "a failed read wrote";
      continue;
    }
    for (uint32_t i = 0; i < c.size; ++i) {
      EXPECT_EQ(buffer[i], i < sizeof(record) ? record[i] : 0) << i;
    }
    EXPECT_EQ(buffer[c.size], 0x55) << "wrote past the buffer";
  }

  // A later minor version reads as 1.0.
  ASSERT_TRUE(key.WriteVersioned(0x00010003, record, 4));
  uint8_t front[4] = {};
  EXPECT_TRUE(key.ReadVersioned(kRegVersion10, front, sizeof(front)));
  EXPECT_EQ(Bytes(front, 4), Bytes(record, 4));

  // Too short for a version, or not binary at all.
  ASSERT_TRUE(key.WriteBinary("\x00\x00\x01", 3));
  EXPECT_FALSE(key.ReadVersioned(kRegVersion10, front, sizeof(front)));
  ASSERT_TRUE(key.WriteRaw(RegistryValueType::String, "\x00\x00\x01\x00\x01\x00", 6));
  EXPECT_FALSE(key.ReadVersioned(kRegVersion10, front, sizeof(front)));
  RegKey missing(string(u"HKCU\\Software\\Nobody"), string(u"SavedGame"));
  EXPECT_FALSE(missing.ReadVersioned(kRegVersion10, front, sizeof(front)));
}

TEST_F(RegKeyTest, CopyValue) {
  RegKey from(string(u"HKLM\\Software\\Qualen\\NLS"), string(u"Lang-Vorlan CE"));
  RegKey to(string(u"HKCU\\Software\\Qualen\\Copy"), string(u"Lang"));
  ASSERT_TRUE(from.WriteString(string(u"EO")));
  ASSERT_TRUE(to.CopyValueFrom(from));
  RegistryValueType type = RegistryValueType::None;
  uint32_t size = 0;
  ASSERT_TRUE(to.ReadRaw(&type, nullptr, &size));
  EXPECT_EQ(type, RegistryValueType::String);
  EXPECT_EQ(Utf8(to.ReadString()), "EO");

  // Nothing to copy: the copy goes too.
  ASSERT_TRUE(from.DeleteValue());
  ASSERT_TRUE(to.CopyValueFrom(from));
  EXPECT_EQ(to.ValueSize(), 0u);
  EXPECT_TRUE(KeyExists(kRegistryCurrentUser, u"Software\\Qualen\\Copy"));
}

// Empty blobs and missing values leave nothing to free: the memory manager
// must not be handed a null address, which it reports in its box.
uint32_t g_reports = 0;
MemReportAnswer CountReport(const char*, const char*) {
  ++g_reports;
  return MemReportAnswer::Continue;
}

TEST_F(RegKeyTest, NothingToFreeIsNotFreed) {
  g_reports = 0;
  MemReportBoxFunction previous = MemSetReportBox(CountReport);
  RegKey missing(string(u"HKCU\\Software\\Nobody"), string(u"Lang"));
  RegKey to(string(u"HKCU\\Software\\Qualen\\Copy"), string(u"Lang"));
  EXPECT_FALSE(to.CopyValueFrom(missing));
  ASSERT_TRUE(to.WriteBinary(nullptr, 0));
  ASSERT_TRUE(to.CopyValueFrom(to));
  RegBlob empty = to.ReadBinary();
  EXPECT_TRUE(empty.owned);
  EXPECT_EQ(empty.size, 0u);
  empty = to.ReadBinary();
  RegBlob copy(empty);
  copy = empty;
  MemSetReportBox(previous);
  EXPECT_EQ(g_reports, 0u);
}

TEST_F(RegKeyTest, DeleteTree) {
  RegKey qualen(string(u"HKCU\\Software\\Qualen"));
  for (const char16_t* path : {u"Vorlan\\A\\B", u"Vorlan\\A\\C", u"Vorlan\\D", u"Keep"}) {
    ASSERT_TRUE(RegKey(qualen, string(path), string(u"v")).WriteNumber(1));
  }
  EXPECT_FALSE(qualen.DeleteSubkey(string(u"Vorlan")));  // it has subkeys
  EXPECT_TRUE(KeyExists(kRegistryCurrentUser, u"Software\\Qualen\\Vorlan\\A\\B"));

  EXPECT_TRUE(qualen.DeleteTree(string(u"Vorlan")));
  EXPECT_FALSE(KeyExists(kRegistryCurrentUser, u"Software\\Qualen\\Vorlan"));
  EXPECT_TRUE(KeyExists(kRegistryCurrentUser, u"Software\\Qualen\\Keep"));
  EXPECT_FALSE(qualen.DeleteTree(string(u"Vorlan")));

  EXPECT_TRUE(qualen.DeleteSubkey(string(u"Keep")));
  EXPECT_FALSE(KeyExists(kRegistryCurrentUser, u"Software\\Qualen\\Keep"));

  // An empty name would be the key itself, and for a root all of it.
  ASSERT_TRUE(RegKey(qualen, string(u"Keep"), string(u"v")).WriteNumber(1));
  std::vector<std::string> lines;
  g_traceLines = &lines;
  DebugTraceSink previous = SetDebugTraceSink(CollectTrace);
  RegKey user(string(u"HKCU"));
  EXPECT_FALSE(user.DeleteTree(string()));
  EXPECT_FALSE(qualen.DeleteSubkey(string()));
  SetDebugTraceSink(previous);
  EXPECT_TRUE(KeyExists(kRegistryCurrentUser, u"Software\\Qualen\\Keep"));
  ASSERT_EQ(lines.size(), 2u);
  char address[32];
  std::snprintf(address, sizeof(address), "(0x%08lX)",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&user)));
  EXPECT_EQ(lines[0],
            std::string("RegKey::DeleteTree called without a subkey name ") + address + "\n");
  EXPECT_EQ(lines[1].rfind("RegKey::DeleteSubkey called without a subkey name (0x", 0), 0u);

  RegKey missing(string(u"HKCU\\Software\\Nobody"));
  EXPECT_FALSE(missing.DeleteTree(string(u"Any")));
  EXPECT_FALSE(KeyExists(kRegistryCurrentUser, u"Software\\Nobody"));
}

TEST_F(RegKeyTest, OpenAndCreate) {
  RegKey key(string(u"HKCU\\Software\\Qualen\\Vorlan"));
  EXPECT_EQ(key.Open(), kRegistryNoKey);
  RegistryKey created = key.Create();
  ASSERT_NE(created, kRegistryNoKey);
  RegKey::Close(created);
  RegistryKey opened = key.Open();
  ASSERT_NE(opened, kRegistryNoKey);
  RegKey::Close(opened);
  // A read does not make the key; only writes do.
  RegKey reader(string(u"HKCU\\Software\\Elsewhere"), string(u"x"));
  EXPECT_EQ(reader.ReadNumber(), 0u);
  EXPECT_FALSE(KeyExists(kRegistryCurrentUser, u"Software\\Elsewhere"));
}

}  // namespace
