#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

// Each test gets a store in a fresh temporary folder.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/registry_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    path_ = folder_ + "/registry.db";
    store_ = RegistryOpenStore(path_.c_str());
    ASSERT_NE(store_, nullptr);
    user_ = RegistryStoreRoot(store_, RegistryRoot::CurrentUser);
    machine_ = RegistryStoreRoot(store_, RegistryRoot::LocalMachine);
  }
  void TearDown() override {
    if (store_) RegistryCloseStore(store_);
    std::filesystem::remove_all(folder_);
  }

  RegistryKey Create(RegistryKey parent, const char* path) {
    RegistryKey key;
    EXPECT_EQ(RegistryCreateKey(parent, path, &key), kErrorSuccess) << path;
    return key;
  }

  std::string folder_;
  std::string path_;
  RegistryStore* store_ = nullptr;
  RegistryKey user_;
  RegistryKey machine_;
};

std::vector<uint8_t> Bytes(const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

std::vector<uint8_t> QueryWide(RegistryKey key, const char16_t* name, RegistryValueType* type) {
  uint32_t size = 0;
  if (RegistryQueryValue(key, name, type, nullptr, &size) != kErrorSuccess) return {};
  std::vector<uint8_t> data(size);
  EXPECT_EQ(RegistryQueryValue(key, name, type, data.data(), &size), kErrorSuccess);
  return data;
}

TEST_F(RegistryTest, ValuesRoundTripWithTheirTypesAndSizes) {
  RegistryKey key = Create(user_, "Software\\Qualen\\Vorlan");
  const uint32_t number = 0x01020304;
  const uint8_t record[24] = {0x00, 0x00, 0x01, 0x00, 7, 0, 0, 0, 0xFF};
  struct Case {
    const char16_t* name;
    RegistryValueType type;
    const void* data;
    uint32_t size;
  } cases[] = {
      {u"Lang-Vorlan CE", RegistryValueType::String, u"EN", 6},  // (length + 1) x 2
      {u"Path", RegistryValueType::ExpandString, u"%HOME%\\x", 18},
      {u"Instl", RegistryValueType::Number, &number, 4},
      {u"Settings", RegistryValueType::Binary, record, sizeof(record)},
      {u"Empty", RegistryValueType::Binary, nullptr, 0},
      {u"", RegistryValueType::String, u"default", 16},
      {u"Odd", static_cast<RegistryValueType>(11), "\x01\x02\x03", 3},
  };
  for (const Case& c : cases)
    ASSERT_EQ(RegistrySetValue(key, c.name, c.type, c.data, c.size), kErrorSuccess);
  for (const Case& c : cases) {
    RegistryValueType type = RegistryValueType::None;
    std::vector<uint8_t> data = QueryWide(key, c.name, &type);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(data, Bytes(c.data, c.size));
  }
  // A null name is the default value too.
  RegistryValueType type;
  EXPECT_EQ(QueryWide(key, static_cast<const char16_t*>(nullptr), &type), Bytes(u"default", 16));
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, EightBitCallsConvertStringsThroughTheCodePage) {
  RegistryKey key = Create(machine_, "Software\\Qualen\\NLS");
  // The setup writes 8-bit text, the game reads UTF-16, and the other way round.
  ASSERT_EQ(RegistrySetValue(key, "Lang-Vorlan CE", RegistryValueType::String, "EO", 3),
            kErrorSuccess);
  RegistryValueType type;
  EXPECT_EQ(QueryWide(key, u"lang-vorlan ce", &type), Bytes(u"EO", 6));
  EXPECT_EQ(type, RegistryValueType::String);

  ASSERT_EQ(RegistrySetValue(key, u"Opt-Vorlan CE", RegistryValueType::String, u"EN,EO", 12),
            kErrorSuccess);
  char text[16] = {};
  uint32_t size = sizeof(text);
  ASSERT_EQ(RegistryQueryValue(key, "Opt-Vorlan CE", &type, text, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);
  EXPECT_STREQ(text, "EN,EO");

  // 0x80 is the euro sign in the code page; a character outside it reads '?'.
  ASSERT_EQ(RegistrySetValue(key, "Price", RegistryValueType::String, "\x80 5", 4), kErrorSuccess);
  EXPECT_EQ(QueryWide(key, u"Price", &type), Bytes(u"\u20AC 5", 8));
  ASSERT_EQ(RegistrySetValue(key, u"Greek", RegistryValueType::String, u"\u03A9\U0001F600!", 10),
            kErrorSuccess);
  size = sizeof(text);
  ASSERT_EQ(RegistryQueryValue(key, "Greek", &type, text, &size), kErrorSuccess);
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(text, "?" "?!");

  // Numbers and binary data pass the 8-bit calls unchanged.
  const uint32_t one = 1;
  ASSERT_EQ(RegistrySetValue(key, "Instl", RegistryValueType::Number, &one, 4), kErrorSuccess);
  uint32_t read = 0;
  size = 4;
  ASSERT_EQ(RegistryQueryValue(key, u"INSTL", &type, &read, &size), kErrorSuccess);
  EXPECT_EQ(read, 1u);
  EXPECT_EQ(type, RegistryValueType::Number);
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, ShortBufferTellsTheSizeAndLeavesTheBufferAlone) {
  RegistryKey key = Create(user_, "Software");
  ASSERT_EQ(RegistrySetValue(key, u"Name", RegistryValueType::String, u"Vorlan", 14),
            kErrorSuccess);
  RegistryValueType type = RegistryValueType::None;
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(key, u"Name", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(type, RegistryValueType::String);

  char buffer[13];
  std::memset(buffer, 'x', sizeof(buffer));
  size = sizeof(buffer);
  EXPECT_EQ(RegistryQueryValue(key, u"Name", &type, buffer, &size), kErrorMoreData);
  EXPECT_EQ(GetLastErrorCode(), kErrorMoreData);
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(buffer[0], 'x');
  // Through the 8-bit call the same value is 7 bytes.
  size = 0;
  EXPECT_EQ(RegistryQueryValue(key, "Name", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 7u);
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysAndValuesAreReportedAsNotFound) {
  RegistryKey key;
  EXPECT_EQ(RegistryOpenKey(user_, "Software\\Nobody", &key), kErrorFileNotFound);
  EXPECT_EQ(GetLastErrorCode(), kErrorFileNotFound);
  EXPECT_EQ(key, kRegistryNoKey);
  key = Create(user_, "Software");
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(key, u"Nothing", nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(RegistryDeleteValue(key, u"Nothing"), kErrorFileNotFound);
  RegistryCloseKey(key);
  EXPECT_EQ(RegistryQueryValue(key, u"Nothing", nullptr, nullptr, &size), kErrorInvalidHandle);
}

TEST_F(RegistryTest, KeyPathsAndValueNamesIgnoreAsciiCase) {
  bool created = false;
  RegistryKey key;
  ASSERT_EQ(RegistryCreateKey(user_, u"Software\\Qualen\\Vorlan", &key, &created), kErrorSuccess);
  EXPECT_TRUE(created);
  ASSERT_EQ(RegistrySetValue(key, u"SavedGame", RegistryValueType::Binary, "abc", 3),
            kErrorSuccess);
  RegistryCloseKey(key);

  ASSERT_EQ(RegistryCreateKey(user_, "SOFTWARE\\qualen\\VORLAN", &key, &created), kErrorSuccess);
  EXPECT_FALSE(created);
  RegistryCloseKey(key);
  ASSERT_EQ(RegistryOpenKey(user_, "software\\QUALEN\\vorlan\\", &key), kErrorSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(key, u"SAVEDGAME", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 3u);
  // Setting a value under another spelling replaces it and keeps the first spelling.
  ASSERT_EQ(RegistrySetValue(key, u"savedgame", RegistryValueType::Binary, "abcd", 4),
            kErrorSuccess);
  char16_t name[32];
  uint32_t length = 32;
  ASSERT_EQ(RegistryEnumerateValue(key, 0, name, &length, nullptr, nullptr, nullptr),
            kErrorSuccess);
  EXPECT_EQ(std::u16string(name), u"SavedGame");
  RegistryCloseKey(key);

  // The first spelling of a key is the one kept.
  char narrow[32];
  length = sizeof(narrow);
  ASSERT_EQ(RegistryEnumerateKey(user_, 0, narrow, &length), kErrorSuccess);
  EXPECT_STREQ(narrow, "Software");
  // Only ASCII letters fold: these are two keys.
  RegistryKey upper = Create(user_, "\xC4");
  RegistryKey lower = Create(user_, "\xE4");
  RegistryKeyInfo info;
  ASSERT_EQ(RegistryQueryKeyInfo(user_, &info), kErrorSuccess);
  EXPECT_EQ(info.subkeyCount, 3u);
  RegistryCloseKey(upper);
  RegistryCloseKey(lower);
  // Roots are separate trees.
  EXPECT_EQ(RegistryOpenKey(machine_, "Software\\Qualen", &key), kErrorFileNotFound);
}

TEST_F(RegistryTest, MalformedPathsAreRefused) {
  RegistryKey key;
  EXPECT_EQ(RegistryCreateKey(user_, "Software\\\\Qualen", &key), kErrorInvalidParameter);
  EXPECT_EQ(RegistryCreateKey(user_, std::string(256, 'k').c_str(), &key), kErrorInvalidParameter);
  EXPECT_EQ(RegistryCreateKey(user_, std::string(255, 'k').c_str(), &key), kErrorSuccess);
  RegistryCloseKey(key);
  EXPECT_EQ(RegistryCreateKey(RegistryKey{12345}, "Software", &key), kErrorInvalidHandle);
}

TEST_F(RegistryTest, EnumerationWalksSubkeysAndValuesByIndex) {
  RegistryKey parent = Create(machine_, "Software\\Apps");
  for (const char* name : {"vorlan", "Alpha", "beta"}) RegistryCloseKey(Create(parent, name));
  std::vector<std::string> names;
  for (uint32_t index = 0;; ++index) {
    char name[8];
    uint32_t length = sizeof(name);
    uint32_t result = RegistryEnumerateKey(parent, index, name, &length);
    if (result == kErrorNoMoreItems) break;
    ASSERT_EQ(result, kErrorSuccess);
    EXPECT_EQ(length, std::strlen(name));
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "vorlan"}));

  // A name that does not fit is not written; the length says what it needs.
  char16_t small[6];
  std::fill(std::begin(small), std::end(small), u'x');
  uint32_t length = 6;
  EXPECT_EQ(RegistryEnumerateKey(parent, 2, small, &length), kErrorMoreData);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(small[0], u'x');

  const uint32_t zero = 0;
  ASSERT_EQ(RegistrySetValue(parent, u"InstlDirCnt", RegistryValueType::Number, &zero, 4),
            kErrorSuccess);
  ASSERT_EQ(RegistrySetValue(parent, u"InstlDir", RegistryValueType::String, u"Vorlan", 14),
            kErrorSuccess);
  char16_t name[32];
  length = 32;
  RegistryValueType type;
  char data[16];
  uint32_t size = sizeof(data);
  ASSERT_EQ(RegistryEnumerateValue(parent, 0, name, &length, &type, data, &size), kErrorSuccess);
  EXPECT_EQ(std::u16string(name), u"InstlDir");
  EXPECT_EQ(type, RegistryValueType::String);
  EXPECT_EQ(size, 14u);
  length = 32;
  size = sizeof(data);
  char narrowName[32];
  ASSERT_EQ(RegistryEnumerateValue(parent, 1, narrowName, &length, &type, data, &size),
            kErrorSuccess);
  EXPECT_STREQ(narrowName, "InstlDirCnt");
  EXPECT_EQ(type, RegistryValueType::Number);
  length = 32;
  EXPECT_EQ(RegistryEnumerateValue(parent, 2, name, &length, nullptr, nullptr, nullptr),
            kErrorNoMoreItems);

  RegistryKeyInfo info;
  ASSERT_EQ(RegistryQueryKeyInfo(parent, &info), kErrorSuccess);
  EXPECT_EQ(info.subkeyCount, 3u);
  EXPECT_EQ(info.longestSubkeyName, 6u);
  EXPECT_EQ(info.valueCount, 2u);
  EXPECT_EQ(info.longestValueName, 11u);
  EXPECT_EQ(info.largestValueSize, 14u);
  RegistryCloseKey(parent);
}

TEST_F(RegistryTest, DeleteKeyRefusesSubkeysAndDeleteTreeTakesEverything) {
  RegistryKey vorlan = Create(user_, "Software\\Qualen\\Vorlan");
  ASSERT_EQ(RegistrySetValue(vorlan, u"Settings", RegistryValueType::Binary, "s", 1),
            kErrorSuccess);
  RegistryKey nls = Create(user_, "Software\\Qualen\\NLS");
  ASSERT_EQ(RegistrySetValue(nls, u"Lang", RegistryValueType::String, u"", 2), kErrorSuccess);
  RegistryKey other = Create(user_, "Software\\Other");

  EXPECT_EQ(RegistryDeleteKey(user_, "Software\\Qualen"), kErrorAccessDenied);
  EXPECT_EQ(RegistryDeleteKey(user_, ""), kErrorAccessDenied);  // a root stays
  ASSERT_EQ(RegistryDeleteTree(user_, "software\\qualen"), kErrorSuccess);

  RegistryKey key;
  EXPECT_EQ(RegistryOpenKey(user_, "Software\\Qualen", &key), kErrorFileNotFound);
  // Handles to deleted keys fail cleanly and can still be closed.
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(vorlan, u"Settings", nullptr, nullptr, &size), kErrorKeyDeleted);
  EXPECT_EQ(RegistrySetValue(nls, u"Lang", RegistryValueType::String, u"", 2), kErrorKeyDeleted);
  EXPECT_EQ(RegistryCloseKey(vorlan), kErrorSuccess);
  EXPECT_EQ(RegistryCloseKey(nls), kErrorSuccess);
  // A key made again in the same place starts empty.
  key = Create(user_, "Software\\Qualen\\Vorlan");
  EXPECT_EQ(RegistryQueryValue(key, u"Settings", nullptr, nullptr, &size), kErrorFileNotFound);
  RegistryCloseKey(key);

  // The neighbour survives; deleting a leaf by its own handle works.
  EXPECT_EQ(RegistryDeleteKey(other, ""), kErrorSuccess);
  EXPECT_EQ(RegistryCloseKey(other), kErrorSuccess);
  RegistryKeyInfo info;
  ASSERT_EQ(RegistryQueryKeyInfo(user_, &info), kErrorSuccess);
  EXPECT_EQ(info.subkeyCount, 1u);

  // An empty path empties the key below parent and keeps the key.
  key = Create(user_, "Software");
  ASSERT_EQ(RegistrySetValue(key, u"Kept", RegistryValueType::Binary, "k", 1), kErrorSuccess);
  ASSERT_EQ(RegistryDeleteTree(key, ""), kErrorSuccess);
  ASSERT_EQ(RegistryQueryKeyInfo(key, &info), kErrorSuccess);
  EXPECT_EQ(info.subkeyCount, 0u);
  EXPECT_EQ(info.valueCount, 0u);
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, ThreadsShareAStore) {
  // The window thread and a worker use the registry at the same time.
  constexpr int kThreads = 3;
  constexpr uint32_t kKeys = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (uint32_t i = 0; i < kKeys; ++i) {
        std::string path = "Software\\Thread" + std::to_string(t) + "\\Key" + std::to_string(i);
        RegistryKey key;
        ASSERT_EQ(RegistryCreateKey(user_, path.c_str(), &key), kErrorSuccess);
        ASSERT_EQ(RegistrySetValue(key, u"Index", RegistryValueType::Number, &i, 4), kErrorSuccess);
        ASSERT_EQ(RegistryCloseKey(key), kErrorSuccess);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    RegistryKey key;
    ASSERT_EQ(RegistryOpenKey(user_, ("Software\\Thread" + std::to_string(t)).c_str(), &key),
              kErrorSuccess);
    RegistryKeyInfo info;
    ASSERT_EQ(RegistryQueryKeyInfo(key, &info), kErrorSuccess);
    EXPECT_EQ(info.subkeyCount, kKeys);
    RegistryCloseKey(key);
  }
}

// Waits for a child process and tells whether it exited with status 0.
bool ChildSucceeded(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uint32_t ReadNumber(RegistryKey key, const std::string& name) {
  uint32_t value = 0;
  uint32_t size = 4;
  if (RegistryQueryValue(key, name.c_str(), nullptr, &value, &size) != kErrorSuccess) return ~0u;
  return value;
}

TEST_F(RegistryTest, TwoProcessesShareOneStore) {
  RegistryKey key = Create(user_, "Software\\Shared");
  constexpr uint32_t kWrites = 150;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A process of its own opens the file anew, as the other program would.
    RegistryStore* store = RegistryOpenStore(path_.c_str());
    RegistryKey own;
    if (!store || RegistryOpenKey(RegistryStoreRoot(store, RegistryRoot::CurrentUser),
                                  "software\\shared", &own) != kErrorSuccess)
      _exit(1);
    for (uint32_t i = 0; i < kWrites; ++i) {
      std::string name = "child" + std::to_string(i);
      if (RegistrySetValue(own, name.c_str(), RegistryValueType::Number, &i, 4) != kErrorSuccess)
        _exit(2);
    }
    _exit(ReadNumber(own, "parent0") == 0 || ReadNumber(own, "parent0") == ~0u ? 0 : 3);
  }
  for (uint32_t i = 0; i < kWrites; ++i) {
    std::string name = "parent" + std::to_string(i);
    ASSERT_EQ(RegistrySetValue(key, name.c_str(), RegistryValueType::Number, &i, 4),
              kErrorSuccess);
  }
  ASSERT_TRUE(ChildSucceeded(child));
  for (uint32_t i = 0; i < kWrites; ++i) {
    EXPECT_EQ(ReadNumber(key, "child" + std::to_string(i)), i);
    EXPECT_EQ(ReadNumber(key, "parent" + std::to_string(i)), i);
  }
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, KilledWriterLosesNothingItCommitted) {
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(report[0]);
    RegistryStore* store = RegistryOpenStore(path_.c_str());
    RegistryKey key;
    if (!store || RegistryCreateKey(RegistryStoreRoot(store, RegistryRoot::CurrentUser),
                                    "Software\\Writer", &key) != kErrorSuccess)
      _exit(1);
    // Writes until it is killed; each index is reported once its write returned.
    for (uint32_t i = 0;; ++i) {
      std::string name = "value" + std::to_string(i);
      std::vector<uint8_t> data(64 + i % 512, static_cast<uint8_t>(i));
      if (RegistrySetValue(key, name.c_str(), RegistryValueType::Binary, data.data(),
                           static_cast<uint32_t>(data.size())) != kErrorSuccess)
        _exit(2);
      if (write(report[1], &i, sizeof(i)) != sizeof(i)) _exit(3);
    }
  }
  close(report[1]);
  uint32_t committed = 0;
  uint32_t last = 0;
  while (committed < 300 && read(report[0], &last, sizeof(last)) == sizeof(last)) ++committed;
  kill(child, SIGKILL);
  // Indexes already in the pipe were committed too.
  while (read(report[0], &last, sizeof(last)) == sizeof(last)) ++committed;
  close(report[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended before it was killed";
  ASSERT_EQ(committed, last + 1);

  RegistryCloseStore(store_);
  store_ = RegistryOpenStore(path_.c_str());
  ASSERT_NE(store_, nullptr);
  RegistryKey key;
  ASSERT_EQ(RegistryOpenKey(RegistryStoreRoot(store_, RegistryRoot::CurrentUser),
                            "Software\\Writer", &key),
            kErrorSuccess);
  for (uint32_t i = 0; i < committed; ++i) {
    std::string name = "value" + std::to_string(i);
    uint32_t size = 0;
    ASSERT_EQ(RegistryQueryValue(key, name.c_str(), nullptr, nullptr, &size), kErrorSuccess)
        << name;
    std::vector<uint8_t> data(size);
    ASSERT_EQ(RegistryQueryValue(key, name.c_str(), nullptr, data.data(), &size), kErrorSuccess);
    EXPECT_EQ(data, std::vector<uint8_t>(64 + i % 512, static_cast<uint8_t>(i))) << name;
  }
  // The store still takes writes.
  ASSERT_EQ(RegistrySetValue(key, u"after", RegistryValueType::Binary, "a", 1), kErrorSuccess);
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, DefaultStoreIsTheFileTheEnvironmentNames) {
  std::string path = folder_ + "/default/registry.db";
  setenv("VORLAN_REGISTRY", path.c_str(), 1);
  ASSERT_TRUE(RegistrySelectDefaultStore(nullptr));
  EXPECT_EQ(RegistryDefaultStorePath(), path);
  RegistryKey key;
  ASSERT_EQ(RegistryCreateKey(kRegistryCurrentUser, "Software\\Qualen\\Vorlan", &key),
            kErrorSuccess);
  ASSERT_EQ(RegistrySetValue(key, u"Settings", RegistryValueType::Binary, "xyz", 3),
            kErrorSuccess);
  RegistryCloseKey(key);
  EXPECT_EQ(RegistryCloseKey(kRegistryCurrentUser), kErrorSuccess);

  RegistryStore* same = RegistryOpenStore(path.c_str());
  ASSERT_NE(same, nullptr);
  ASSERT_EQ(RegistryOpenKey(RegistryStoreRoot(same, RegistryRoot::CurrentUser),
                            "Software\\Qualen\\Vorlan", &key),
            kErrorSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(key, u"Settings", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 3u);
  RegistryCloseStore(same);
  EXPECT_EQ(RegistryQueryValue(key, u"Settings", nullptr, nullptr, &size), kErrorInvalidHandle);

  // Without the variable the store is in the user's data folder.
  unsetenv("VORLAN_REGISTRY");
  setenv("XDG_DATA_HOME", folder_.c_str(), 1);
  EXPECT_EQ(RegistryDefaultStorePath(), folder_ + "/vorlan/registry.db");
  unsetenv("XDG_DATA_HOME");
  // Leave no default store pointing into the folder that goes away.
  setenv("VORLAN_REGISTRY", ":memory:", 1);
  EXPECT_TRUE(RegistrySelectDefaultStore(nullptr));
  unsetenv("VORLAN_REGISTRY");
}

TEST_F(RegistryTest, AFileThatIsNoDatabaseIsRefused) {
  std::string path = folder_ + "/garbage.db";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("this is not a database file, just text that is long enough to matter", file);
  std::fclose(file);
  EXPECT_EQ(RegistryOpenStore(path.c_str()), nullptr);
  EXPECT_NE(GetLastErrorCode(), kErrorSuccess);
}

}  // namespace
