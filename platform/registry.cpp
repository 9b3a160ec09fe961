#include "platform/registry.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/trace.h"

struct RegistryStore {
  std::mutex lock;  // one statement at a time on the connection
  sqlite3* database = nullptr;
  std::string path;
  RegistryKey roots[3];
};

namespace {

// --- Text -------------------------------------------------------------------

std::u16string Widen(const char16_t* text) {
  return text ? std::u16string(text) : std::u16string();
}

std::u16string Widen(const char* text) {
  return text ? Windows1252ToUtf16(text) : std::u16string();
}

std::string Fold(const std::string& name) {
  std::string folded = name;
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

bool IsStringType(RegistryValueType type) {
  return type == RegistryValueType::String || type == RegistryValueType::ExpandString;
}

uint32_t Fail(uint32_t code) {
  SetLastErrorCode(code);
  return code;
}

uint32_t Succeed() {
  SetLastErrorCode(kErrorSuccess);
  return kErrorSuccess;
}

// Splits a key path at backslashes. One leading or trailing backslash is
// tolerated (paths joined onto an empty one start with it); an empty name
// between two backslashes is not.
uint32_t SplitKeyPath(const std::u16string& path, std::vector<std::string>* names) {
  size_t begin = 0;
  size_t end = path.size();
  if (begin < end && path[begin] == u'\\') ++begin;
  if (end > begin && path[end - 1] == u'\\') --end;
  if (begin == end) return kErrorSuccess;
  size_t start = begin;
  for (size_t i = begin; i <= end; ++i) {
    if (i < end && path[i] != u'\\') continue;
    if (i == start || i - start > kRegistryLongestKeyName) return kErrorInvalidParameter;
    names->push_back(Utf16ToUtf8(path.substr(start, i - start)));
    start = i + 1;
  }
  return kErrorSuccess;
}

// --- The database -----------------------------------------------------------

// Key rows 1 to 3 are the roots, in the order of RegistryRoot.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS RegistryKeys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " folded TEXT NOT NULL,"
    " UNIQUE(parent, folded));"
    "CREATE TABLE IF NOT EXISTS RegistryValues("
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " folded TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, folded));"
    "INSERT OR IGNORE INTO RegistryKeys(id, parent, name, folded) VALUES"
    " (1, 0, 'HKCR', 'hkcr'), (2, 0, 'HKCU', 'hkcu'), (3, 0, 'HKLM', 'hklm');";

constexpr int kBusyMilliseconds = 10000;

// The database refuses larger values anyway; this keeps sizes within int.
constexpr uint32_t kLargestValue = 0x7FFFFFFF;

class Statement {
 public:
  Statement(sqlite3* database, const char* sql) {
    if (sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr) != SQLITE_OK) statement_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return statement_ != nullptr; }
  Statement& Bind(int index, int64_t value) {
    if (statement_) sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Statement& Bind(int index, const std::string& text) {
    if (statement_)
      sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, const void* data, uint32_t size) {
    static const char kEmpty = 0;
    if (statement_)
      sqlite3_bind_blob(statement_, index, size ? data : &kEmpty, static_cast<int>(size),
                        SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return statement_ ? sqlite3_step(statement_) : SQLITE_ERROR; }
  int64_t Integer(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string();
  }
  std::string Blob(int column) {
    const void* data = sqlite3_column_blob(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                : std::string();
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

bool Execute(sqlite3* database, const char* sql) {
  return sqlite3_exec(database, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

uint32_t DatabaseError(sqlite3* database) {
  int code = sqlite3_errcode(database) & 0xFF;
  if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return kErrorTimeout;
  if (code == SQLITE_NOMEM) return kErrorNotEnoughMemory;
  if (code == SQLITE_READONLY || code == SQLITE_PERM || code == SQLITE_CANTOPEN)
    return kErrorAccessDenied;
  return kErrorGeneralFailure;
}

// A read transaction sees one consistent state of the store; a write
// transaction takes the write lock at once, so that it never has to give up
// half way because another process wrote first.
class Transaction {
 public:
  Transaction(sqlite3* database, bool write) : database_(database) {
    open_ = Execute(database, write ? "BEGIN IMMEDIATE" : "BEGIN");
  }
  ~Transaction() {
    if (open_) Execute(database_, "ROLLBACK");
  }
  bool Open() const { return open_; }
  bool Commit() {
    if (!open_) return false;
    if (!Execute(database_, "COMMIT")) return false;  // the destructor rolls back
    open_ = false;
    return true;
  }

 private:
  sqlite3* database_;
  bool open_ = false;
};

// Child key row of parent with the folded name, 0 when there is none, -1 on a
// database failure.
int64_t FindChild(sqlite3* database, int64_t parent, const std::string& folded) {
  Statement find(database, "SELECT id FROM RegistryKeys WHERE parent = ? AND folded = ?");
  find.Bind(1, parent).Bind(2, folded);
  int step = find.Step();
  if (step == SQLITE_ROW) return find.Integer(0);
  return step == SQLITE_DONE ? 0 : -1;
}

// 1 when the key row exists, 0 when not, -1 on a database failure.
int KeyExists(sqlite3* database, int64_t row) {
  Statement find(database, "SELECT 1 FROM RegistryKeys WHERE id = ?");
  find.Bind(1, row);
  int step = find.Step();
  if (step == SQLITE_ROW) return 1;
  return step == SQLITE_DONE ? 0 : -1;
}

// --- Handles ----------------------------------------------------------------

constexpr uint64_t kRootBit = 0x8000000000000000ull;

struct OpenKey {
  std::shared_ptr<RegistryStore> store;
  int64_t row = 0;
  bool permanent = false;  // a store root: closing it does nothing
};

struct Handles {
  std::mutex lock;
  std::unordered_map<uint64_t, OpenKey> keys;
  uint64_t next = 1;
  std::map<RegistryStore*, std::shared_ptr<RegistryStore>> stores;
  std::shared_ptr<RegistryStore> defaultStore;
  bool defaultChosen = false;  // defaultPath was set through the API
  std::string defaultPath;
};

Handles& Table() {
  static Handles* table = new Handles;  // never destroyed: keys may be closed at exit
  return *table;
}

bool MakeFolders(const std::string& folder) {
  for (size_t slash = 1; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    std::string prefix = folder.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string EnvironmentStorePath() {
  const char* named = std::getenv("VORLAN_REGISTRY");
  if (named && *named) return named;
  return UserDataFolder() + "/registry.db";
}

std::shared_ptr<RegistryStore> OpenDatabase(const std::string& path, uint32_t* error) {
  auto store = std::make_shared<RegistryStore>();
  store->path = path;
  if (path != ":memory:") {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) {
      *error = kErrorPathNotFound;
      return nullptr;
    }
  }
  sqlite3* database = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &database, flags, nullptr) != SQLITE_OK) {
    *error = kErrorAccessDenied;
    sqlite3_close(database);
    return nullptr;
  }
  sqlite3_busy_timeout(database, kBusyMilliseconds);
  // WAL lets a reader go on while the other program writes; FULL makes every
  // commit reach the disk before the call returns.
  bool ready = Execute(database, "PRAGMA journal_mode = WAL") &&
               Execute(database, "PRAGMA synchronous = FULL");
  if (ready) {
    Transaction schema(database, true);
    ready = schema.Open() && Execute(database, kSchema) && schema.Commit();
  }
  if (!ready) {
    *error = DatabaseError(database);
    if (*error == kErrorGeneralFailure) *error = kErrorAccessDenied;
    sqlite3_close(database);
    return nullptr;
  }
  store->database = database;
  return store;
}

// Registers a store's root handles; the table lock must be held.
void AddRoots(Handles& table, const std::shared_ptr<RegistryStore>& store) {
  for (int root = 0; root < 3; ++root) {
    uint64_t handle = table.next++;
    table.keys[handle] = OpenKey{store, root + 1, true};
    store->roots[root] = RegistryKey{handle};
  }
}

// Forgets every handle of a store and closes its database; the table lock
// must be held.
void DropStore(Handles& table, const std::shared_ptr<RegistryStore>& store) {
  for (auto it = table.keys.begin(); it != table.keys.end();) {
    if (it->second.store == store)
      it = table.keys.erase(it);
    else
      ++it;
  }
  std::lock_guard<std::mutex> guard(store->lock);
  sqlite3_close(store->database);
  store->database = nullptr;
}

// Finds the store and key row behind a handle.
uint32_t Resolve(RegistryKey key, std::shared_ptr<RegistryStore>* store, int64_t* row,
                 bool* permanent = nullptr) {
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  if (key.value & kRootBit) {
    uint64_t root = key.value & ~kRootBit;
    if (root > 2) return kErrorInvalidHandle;
    if (!table.defaultStore) {
      if (!table.defaultChosen) table.defaultPath = EnvironmentStorePath();
      uint32_t error = kErrorSuccess;
      table.defaultStore = OpenDatabase(table.defaultPath, &error);
      if (!table.defaultStore) return error;
    }
    *store = table.defaultStore;
    *row = static_cast<int64_t>(root) + 1;
    if (permanent) *permanent = true;
    return kErrorSuccess;
  }
  auto found = table.keys.find(key.value);
  if (found == table.keys.end()) return kErrorInvalidHandle;
  *store = found->second.store;
  *row = found->second.row;
  if (permanent) *permanent = found->second.permanent;
  return kErrorSuccess;
}

RegistryKey AddHandle(const std::shared_ptr<RegistryStore>& store, int64_t row) {
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  uint64_t handle = table.next++;
  table.keys[handle] = OpenKey{store, row, false};
  return RegistryKey{handle};
}

// Runs work on the store behind key with its connection locked. work gets the
// database and the key row and returns a result code.
template <class Work>
uint32_t WithKey(RegistryKey key, Work work) {
  std::shared_ptr<RegistryStore> store;
  int64_t row = 0;
  uint32_t error = Resolve(key, &store, &row);
  if (error != kErrorSuccess) return Fail(error);
  std::lock_guard<std::mutex> guard(store->lock);
  if (!store->database) return Fail(kErrorInvalidHandle);
  error = work(store, row);
  return error == kErrorSuccess ? Succeed() : Fail(error);
}

// Inside a transaction: the key row still exists.
uint32_t CheckKey(sqlite3* database, int64_t row) {
  int exists = KeyExists(database, row);
  if (exists < 0) return DatabaseError(database);
  return exists ? kErrorSuccess : kErrorKeyDeleted;
}

// Runs work(database, row) for an open key inside a read transaction, once
// the key is known to still exist.
template <class Work>
uint32_t ReadKey(RegistryKey key, Work work) {
  return WithKey(key, [&](const std::shared_ptr<RegistryStore>& store, int64_t row) {
    sqlite3* database = store->database;
    Transaction transaction(database, false);
    if (!transaction.Open()) return DatabaseError(database);
    uint32_t result = CheckKey(database, row);
    if (result != kErrorSuccess) return result;
    return work(database, row);
  });
}

// Inside a transaction: walks names below row. Missing keys are made when
// create is set (created then tells whether the last one was new).
uint32_t WalkPath(sqlite3* database, int64_t row, const std::vector<std::string>& names,
                  bool create, int64_t* found, bool* created) {
  bool madeLast = false;
  for (const std::string& name : names) {
    std::string folded = Fold(name);
    int64_t child = FindChild(database, row, folded);
    if (child < 0) return DatabaseError(database);
    madeLast = false;
    if (child == 0) {
      if (!create) return kErrorFileNotFound;
      Statement insert(database, "INSERT INTO RegistryKeys(parent, name, folded) VALUES(?, ?, ?)");
      insert.Bind(1, row).Bind(2, name).Bind(3, folded);
      if (insert.Step() != SQLITE_DONE) return DatabaseError(database);
      child = sqlite3_last_insert_rowid(database);
      madeLast = true;
    }
    row = child;
  }
  *found = row;
  if (created) *created = madeLast;
  return kErrorSuccess;
}

uint32_t OpenOrCreate(RegistryKey parent, const std::u16string& path, RegistryKey* key,
                      bool create, bool* created, const char* operation) {
  if (!key) {
    TraceOutput((std::string(operation) + " called with a null key pointer\n").c_str());
    return Fail(kErrorInvalidParameter);
  }
  *key = kRegistryNoKey;
  std::vector<std::string> names;
  uint32_t error = SplitKeyPath(path, &names);
  if (error != kErrorSuccess) return Fail(error);
  std::shared_ptr<RegistryStore> opened;
  int64_t target = 0;
  error = WithKey(parent, [&](const std::shared_ptr<RegistryStore>& store, int64_t row) {
    sqlite3* database = store->database;
    Transaction transaction(database, create);
    if (!transaction.Open()) return DatabaseError(database);
    uint32_t result = CheckKey(database, row);
    if (result == kErrorSuccess) result = WalkPath(database, row, names, create, &target, created);
    if (result != kErrorSuccess) return result;
    if (!transaction.Commit()) return DatabaseError(database);
    opened = store;
    return kErrorSuccess;
  });
  // The handle is made after the store's lock is released: the table lock is
  // always taken first.
  if (error == kErrorSuccess) *key = AddHandle(opened, target);
  return error;
}

// Deletes the subtree at row with all its values; the key row itself stays
// (empty) when keepTop is set.
bool DeleteSubtree(sqlite3* database, int64_t row, bool keepTop) {
  const char* values =
      "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
      " SELECT k.id FROM RegistryKeys k JOIN tree ON k.parent = tree.id)"
      " DELETE FROM RegistryValues WHERE key IN (SELECT id FROM tree)";
  const char* keys =
      "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
      " SELECT k.id FROM RegistryKeys k JOIN tree ON k.parent = tree.id)"
      " DELETE FROM RegistryKeys WHERE id IN (SELECT id FROM tree) AND (?2 = 0 OR id <> ?1)";
  Statement deleteValues(database, values);
  deleteValues.Bind(1, row);
  if (deleteValues.Step() != SQLITE_DONE) return false;
  Statement deleteKeys(database, keys);
  deleteKeys.Bind(1, row).Bind(2, keepTop ? 1 : 0);
  return deleteKeys.Step() == SQLITE_DONE;
}

uint32_t DeleteKeyAt(RegistryKey parent, const std::u16string& path, bool tree) {
  std::vector<std::string> names;
  uint32_t error = SplitKeyPath(path, &names);
  if (error != kErrorSuccess) return Fail(error);
  return WithKey(parent, [&](const std::shared_ptr<RegistryStore>& store, int64_t row) {
    sqlite3* database = store->database;
    Transaction transaction(database, true);
    if (!transaction.Open()) return DatabaseError(database);
    uint32_t result = CheckKey(database, row);
    int64_t target = 0;
    if (result == kErrorSuccess) result = WalkPath(database, row, names, false, &target, nullptr);
    if (result != kErrorSuccess) return result;
    if (!tree) {
      if (target <= 3) return kErrorAccessDenied;  // a root
      Statement children(database, "SELECT 1 FROM RegistryKeys WHERE parent = ? LIMIT 1");
      children.Bind(1, target);
      int step = children.Step();
      if (step == SQLITE_ROW) return kErrorAccessDenied;
      if (step != SQLITE_DONE) return DatabaseError(database);
    }
    if (!DeleteSubtree(database, target, tree && names.empty())) return DatabaseError(database);
    if (!transaction.Commit()) return DatabaseError(database);
    return kErrorSuccess;
  });
}

// Hands a name out in a caller's buffer of room characters.
template <class Char>
uint32_t CopyName(const std::basic_string<Char>& name, Char* buffer, uint32_t* length) {
  uint32_t room = *length;
  *length = static_cast<uint32_t>(name.size());
  if (!buffer || name.size() + 1 > room) return kErrorMoreData;
  std::memcpy(buffer, name.data(), name.size() * sizeof(Char));
  buffer[name.size()] = 0;
  return kErrorSuccess;
}

std::string ToCallerName(const std::string& stored, char) {
  std::u16string wide = Utf8ToUtf16(stored);
  return Utf16ToWindows1252(wide);
}

std::u16string ToCallerName(const std::string& stored, char16_t) { return Utf8ToUtf16(stored); }

// The data of a stored value as the 8-bit calls hand it out. An odd last
// byte of a string value cannot be part of a UTF-16 text and is dropped.
std::string NarrowData(RegistryValueType type, const std::string& stored) {
  if (!IsStringType(type)) return stored;
  std::u16string units(stored.size() / 2, u'\0');
  std::memcpy(units.data(), stored.data(), units.size() * 2);
  return Utf16ToWindows1252(units);
}

uint32_t HandOutData(RegistryValueType storedType, const std::string& bytes,
                     RegistryValueType* type, void* data, uint32_t* size) {
  if (type) *type = storedType;
  if (!size) return data ? kErrorInvalidParameter : kErrorSuccess;
  uint32_t room = *size;
  *size = static_cast<uint32_t>(bytes.size());
  if (!data) return kErrorSuccess;
  if (bytes.size() > room) return kErrorMoreData;
  std::memcpy(data, bytes.data(), bytes.size());
  return kErrorSuccess;
}

struct StoredValue {
  std::string name;
  RegistryValueType type = RegistryValueType::None;
  std::string data;
};

uint32_t QueryAt(RegistryKey key, const std::string& folded, bool narrow,
                 RegistryValueType* type, void* data, uint32_t* size) {
  return ReadKey(key, [&](sqlite3* database, int64_t row) {
    Statement read(database, "SELECT type, data FROM RegistryValues WHERE key = ? AND folded = ?");
    read.Bind(1, row).Bind(2, folded);
    int step = read.Step();
    if (step == SQLITE_DONE) return kErrorFileNotFound;
    if (step != SQLITE_ROW) return DatabaseError(database);
    auto storedType = static_cast<RegistryValueType>(static_cast<uint32_t>(read.Integer(0)));
    std::string bytes = read.Blob(1);
    if (narrow) bytes = NarrowData(storedType, bytes);
    return HandOutData(storedType, bytes, type, data, size);
  });
}

uint32_t SetAt(RegistryKey key, const std::u16string& name, RegistryValueType type,
               const void* data, uint32_t size) {
  if (name.size() > kRegistryLongestValueName || (!data && size > 0) || size > kLargestValue)
    return Fail(kErrorInvalidParameter);
  std::string stored = Utf16ToUtf8(name);
  std::string folded = Fold(stored);
  return WithKey(key, [&](const std::shared_ptr<RegistryStore>& store, int64_t row) {
    sqlite3* database = store->database;
    Transaction transaction(database, true);
    if (!transaction.Open()) return DatabaseError(database);
    uint32_t result = CheckKey(database, row);
    if (result != kErrorSuccess) return result;
    // A value keeps the spelling of its name from when it was first set.
    Statement write(database,
                    "INSERT INTO RegistryValues(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)"
                    " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type,"
                    " data = excluded.data");
    write.Bind(1, row).Bind(2, stored).Bind(3, folded).Bind(4, static_cast<int64_t>(type));
    write.BindBlob(5, data, size);
    if (write.Step() != SQLITE_DONE) return DatabaseError(database);
    if (!transaction.Commit()) return DatabaseError(database);
    return kErrorSuccess;
  });
}

uint32_t DeleteValueAt(RegistryKey key, const std::u16string& name) {
  std::string folded = Fold(Utf16ToUtf8(name));
  return WithKey(key, [&](const std::shared_ptr<RegistryStore>& store, int64_t row) {
    sqlite3* database = store->database;
    Transaction transaction(database, true);
    if (!transaction.Open()) return DatabaseError(database);
    uint32_t result = CheckKey(database, row);
    if (result != kErrorSuccess) return result;
    Statement erase(database, "DELETE FROM RegistryValues WHERE key = ? AND folded = ?");
    erase.Bind(1, row).Bind(2, folded);
    if (erase.Step() != SQLITE_DONE) return DatabaseError(database);
    if (sqlite3_changes(database) == 0) return kErrorFileNotFound;
    if (!transaction.Commit()) return DatabaseError(database);
    return kErrorSuccess;
  });
}

template <class Char>
uint32_t EnumerateKeyAt(RegistryKey key, uint32_t index, Char* name, uint32_t* length) {
  if (!length) {
    TraceOutput("RegistryEnumerateKey called with a null length\n");
    return Fail(kErrorInvalidParameter);
  }
  return ReadKey(key, [&](sqlite3* database, int64_t row) {
    Statement list(database,
                   "SELECT name FROM RegistryKeys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
    list.Bind(1, row).Bind(2, static_cast<int64_t>(index));
    int step = list.Step();
    if (step == SQLITE_DONE) return kErrorNoMoreItems;
    if (step != SQLITE_ROW) return DatabaseError(database);
    return CopyName(ToCallerName(list.Text(0), Char()), name, length);
  });
}

template <class Char>
uint32_t EnumerateValueAt(RegistryKey key, uint32_t index, Char* name, uint32_t* length,
                          RegistryValueType* type, void* data, uint32_t* size) {
  if (!length) {
    TraceOutput("RegistryEnumerateValue called with a null length\n");
    return Fail(kErrorInvalidParameter);
  }
  return ReadKey(key, [&](sqlite3* database, int64_t row) {
    Statement list(database,
                   "SELECT name, type, data FROM RegistryValues WHERE key = ?"
                   " ORDER BY folded LIMIT 1 OFFSET ?");
    list.Bind(1, row).Bind(2, static_cast<int64_t>(index));
    int step = list.Step();
    if (step == SQLITE_DONE) return kErrorNoMoreItems;
    if (step != SQLITE_ROW) return DatabaseError(database);
    auto storedType = static_cast<RegistryValueType>(static_cast<uint32_t>(list.Integer(1)));
    std::string bytes = list.Blob(2);
    if (sizeof(Char) == 1) bytes = NarrowData(storedType, bytes);
    uint32_t result = CopyName(ToCallerName(list.Text(0), Char()), name, length);
    if (result != kErrorSuccess) return result;
    return HandOutData(storedType, bytes, type, data, size);
  });
}

}  // namespace

// --- Keys -------------------------------------------------------------------

uint32_t RegistryOpenKey(RegistryKey parent, const char16_t* path, RegistryKey* key) {
  return OpenOrCreate(parent, Widen(path), key, false, nullptr, "RegistryOpenKey");
}

uint32_t RegistryOpenKey(RegistryKey parent, const char* path, RegistryKey* key) {
  return OpenOrCreate(parent, Widen(path), key, false, nullptr, "RegistryOpenKey");
}

uint32_t RegistryCreateKey(RegistryKey parent, const char16_t* path, RegistryKey* key,
                           bool* created) {
  return OpenOrCreate(parent, Widen(path), key, true, created, "RegistryCreateKey");
}

uint32_t RegistryCreateKey(RegistryKey parent, const char* path, RegistryKey* key,
                           bool* created) {
  return OpenOrCreate(parent, Widen(path), key, true, created, "RegistryCreateKey");
}

uint32_t RegistryCloseKey(RegistryKey key) {
  if (key.value & kRootBit) return (key.value & ~kRootBit) <= 2 ? Succeed() : Fail(kErrorInvalidHandle);
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.keys.find(key.value);
  if (found == table.keys.end()) return Fail(kErrorInvalidHandle);
  if (!found->second.permanent) table.keys.erase(found);
  return Succeed();
}

uint32_t RegistryDeleteKey(RegistryKey parent, const char16_t* path) {
  return DeleteKeyAt(parent, Widen(path), false);
}

uint32_t RegistryDeleteKey(RegistryKey parent, const char* path) {
  return DeleteKeyAt(parent, Widen(path), false);
}

uint32_t RegistryDeleteTree(RegistryKey parent, const char16_t* path) {
  return DeleteKeyAt(parent, Widen(path), true);
}

uint32_t RegistryDeleteTree(RegistryKey parent, const char* path) {
  return DeleteKeyAt(parent, Widen(path), true);
}

uint32_t RegistryEnumerateKey(RegistryKey key, uint32_t index, char16_t* name, uint32_t* length) {
  return EnumerateKeyAt(key, index, name, length);
}

uint32_t RegistryEnumerateKey(RegistryKey key, uint32_t index, char* name, uint32_t* length) {
  return EnumerateKeyAt(key, index, name, length);
}

uint32_t RegistryQueryKeyInfo(RegistryKey key, RegistryKeyInfo* info) {
  if (!info) {
    TraceOutput("RegistryQueryKeyInfo called with a null record\n");
    return Fail(kErrorInvalidParameter);
  }
  return ReadKey(key, [&](sqlite3* database, int64_t row) {
    RegistryKeyInfo counted{};
    Statement keys(database, "SELECT name FROM RegistryKeys WHERE parent = ?");
    keys.Bind(1, row);
    int step;
    while ((step = keys.Step()) == SQLITE_ROW) {
      ++counted.subkeyCount;
      uint32_t length = static_cast<uint32_t>(Utf8ToUtf16(keys.Text(0)).size());
      if (length > counted.longestSubkeyName) counted.longestSubkeyName = length;
    }
    if (step != SQLITE_DONE) return DatabaseError(database);
    Statement values(database, "SELECT name, length(data) FROM RegistryValues WHERE key = ?");
    values.Bind(1, row);
    while ((step = values.Step()) == SQLITE_ROW) {
      ++counted.valueCount;
      uint32_t length = static_cast<uint32_t>(Utf8ToUtf16(values.Text(0)).size());
      if (length > counted.longestValueName) counted.longestValueName = length;
      uint32_t size = static_cast<uint32_t>(values.Integer(1));
      if (size > counted.largestValueSize) counted.largestValueSize = size;
    }
    if (step != SQLITE_DONE) return DatabaseError(database);
    *info = counted;
    return kErrorSuccess;
  });
}

// --- Values -----------------------------------------------------------------

uint32_t RegistrySetValue(RegistryKey key, const char16_t* name, RegistryValueType type,
                          const void* data, uint32_t size) {
  return SetAt(key, Widen(name), type, data, size);
}

uint32_t RegistrySetValue(RegistryKey key, const char* name, RegistryValueType type,
                          const void* data, uint32_t size) {
  if (!IsStringType(type) || !data) return SetAt(key, Widen(name), type, data, size);
  if (size > kLargestValue / 2) return Fail(kErrorInvalidParameter);
  std::u16string wide = Windows1252ToUtf16({static_cast<const char*>(data), size});
  return SetAt(key, Widen(name), type, wide.data(), size * 2);
}

uint32_t RegistryQueryValue(RegistryKey key, const char16_t* name, RegistryValueType* type,
                            void* data, uint32_t* size) {
  return QueryAt(key, Fold(Utf16ToUtf8(Widen(name))), false, type, data, size);
}

uint32_t RegistryQueryValue(RegistryKey key, const char* name, RegistryValueType* type,
                            void* data, uint32_t* size) {
  return QueryAt(key, Fold(Utf16ToUtf8(Widen(name))), true, type, data, size);
}

uint32_t RegistryDeleteValue(RegistryKey key, const char16_t* name) {
  return DeleteValueAt(key, Widen(name));
}

uint32_t RegistryDeleteValue(RegistryKey key, const char* name) {
  return DeleteValueAt(key, Widen(name));
}

uint32_t RegistryEnumerateValue(RegistryKey key, uint32_t index, char16_t* name, uint32_t* length,
                                RegistryValueType* type, void* data, uint32_t* size) {
  return EnumerateValueAt(key, index, name, length, type, data, size);
}

uint32_t RegistryEnumerateValue(RegistryKey key, uint32_t index, char* name, uint32_t* length,
                                RegistryValueType* type, void* data, uint32_t* size) {
  return EnumerateValueAt(key, index, name, length, type, data, size);
}

// --- Stores -----------------------------------------------------------------

RegistryStore* RegistryOpenStore(const char* path) {
  if (!path || !*path) {
    TraceOutput("RegistryOpenStore called without a file name\n");
    SetLastErrorCode(kErrorInvalidParameter);
    return nullptr;
  }
  uint32_t error = kErrorSuccess;
  std::shared_ptr<RegistryStore> store = OpenDatabase(path, &error);
  if (!store) {
    SetLastErrorCode(error);
    return nullptr;
  }
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  AddRoots(table, store);
  table.stores[store.get()] = store;
  SetLastErrorCode(kErrorSuccess);
  return store.get();
}

void RegistryCloseStore(RegistryStore* store) {
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.stores.find(store);
  if (found == table.stores.end()) {
    TraceOutput("RegistryCloseStore called for a store that is not open\n");
    return;
  }
  DropStore(table, found->second);
  table.stores.erase(found);
}

RegistryKey RegistryStoreRoot(RegistryStore* store, RegistryRoot root) {
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  uint32_t index = static_cast<uint32_t>(root);
  if (table.stores.find(store) == table.stores.end() || index > 2) {
    TraceOutput("RegistryStoreRoot called for a store that is not open\n");
    SetLastErrorCode(kErrorInvalidHandle);
    return kRegistryNoKey;
  }
  return store->roots[index];
}

std::string RegistryDefaultStorePath() {
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  return table.defaultChosen ? table.defaultPath : EnvironmentStorePath();
}

bool RegistrySelectDefaultStore(const char* path) {
  Handles& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  if (table.defaultStore) DropStore(table, table.defaultStore);
  table.defaultStore.reset();
  table.defaultChosen = path != nullptr;
  table.defaultPath = path ? path : EnvironmentStorePath();
  uint32_t error = kErrorSuccess;
  table.defaultStore = OpenDatabase(table.defaultPath, &error);
  SetLastErrorCode(error);
  return table.defaultStore != nullptr;
}
