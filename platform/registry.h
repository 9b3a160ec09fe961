#pragma once
// The registry: keys under three roots, each key holding named, typed values.
//
// A registry lives in one database file (a store). The default store is shared
// by every program of this user: the file named by the environment variable
// VORLAN_REGISTRY, otherwise registry.db in the folder vorlan of the user's
// data directory ($XDG_DATA_HOME, or ~/.local/share). Other stores (one per
// simulated handheld) are opened by file name. Several processes may use one
// store at once; every write is a single transaction, so a writer that dies
// leaves every write it finished in place and nothing half done.
//
// Key paths are backslash-separated ("Software\Qualen\Vorlan"). Key and value
// names compare without letter case, folding only the ASCII letters A-Z; the
// case a name was created with is kept and is what enumeration returns.
//
// Every key and value call returns a result code: kErrorSuccess (0) or the
// reason it failed, which is also left as the thread's last error. Names and text come in two
// widths: UTF-16 (char16_t) and 8-bit text in the fixed ANSI code page
// (Windows-1252; a character it lacks becomes '?'). String values are always
// stored as UTF-16 with the terminator the writer gave; the 8-bit calls convert
// string data in both directions, so sizes seen through them count 8-bit bytes.

#include <cstdint>
#include <string>

#include "platform/error.h"

// An open key. The three roots of the default store are fixed handles that
// need no opening or closing; every other handle comes from RegistryOpenKey,
// RegistryCreateKey or RegistryStoreRoot.
struct RegistryKey {
  uint64_t value = 0;
  friend bool operator==(RegistryKey, RegistryKey) = default;
};

constexpr RegistryKey kRegistryNoKey{0};
constexpr RegistryKey kRegistryClassesRoot{0x8000000000000000ull};
constexpr RegistryKey kRegistryCurrentUser{0x8000000000000001ull};
constexpr RegistryKey kRegistryLocalMachine{0x8000000000000002ull};

enum class RegistryRoot : uint32_t { ClassesRoot = 0, CurrentUser = 1, LocalMachine = 2 };

// The value types, with the numbers the stored records and the device
// interface use. Any other number may be stored and is returned unchanged.
enum class RegistryValueType : uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  Number = 4,  // a 32-bit little-endian number, 4 bytes
};

// A key that was deleted (by this or another process) while a handle to it
// was open; the handle can only be closed.
constexpr uint32_t kErrorKeyDeleted = 1018;

// Longest key name component and value name, in characters.
constexpr uint32_t kRegistryLongestKeyName = 255;
constexpr uint32_t kRegistryLongestValueName = 16383;

// --- Keys -------------------------------------------------------------------

// Opens the key at path below parent. An empty or null path opens parent
// again. kErrorFileNotFound when a key of the path is missing. A path may
// start and end with one backslash; an empty name between two backslashes, or
// a name longer than kRegistryLongestKeyName, is refused
// (kErrorInvalidParameter).
uint32_t RegistryOpenKey(RegistryKey parent, const char16_t* path, RegistryKey* key);
uint32_t RegistryOpenKey(RegistryKey parent, const char* path, RegistryKey* key);

// Opens the key at path below parent, first creating every missing key of the
// path (all in one transaction). created, when given, tells whether the last
// key was made now.
uint32_t RegistryCreateKey(RegistryKey parent, const char16_t* path, RegistryKey* key,
                           bool* created = nullptr);
uint32_t RegistryCreateKey(RegistryKey parent, const char* path, RegistryKey* key,
                           bool* created = nullptr);

// Closing a root is allowed and does nothing.
uint32_t RegistryCloseKey(RegistryKey key);

// Deletes the key at path below parent (parent itself when the path is empty)
// with its values. A key that still has subkeys is not deleted
// (kErrorAccessDenied); nor is a root.
uint32_t RegistryDeleteKey(RegistryKey parent, const char16_t* path);
uint32_t RegistryDeleteKey(RegistryKey parent, const char* path);

// Deletes the key at path below parent with everything below it, in one
// transaction. An empty path empties parent (its values and subkeys go) and
// keeps parent itself.
uint32_t RegistryDeleteTree(RegistryKey parent, const char16_t* path);
uint32_t RegistryDeleteTree(RegistryKey parent, const char* path);

// The index-th subkey of key, in the order of their names without case.
// length: on entry the room in name in characters (terminator included); on
// return the length of the name without its terminator. kErrorMoreData when
// the name does not fit (length then tells what it needs, name is untouched);
// kErrorNoMoreItems past the last subkey.
uint32_t RegistryEnumerateKey(RegistryKey key, uint32_t index, char16_t* name, uint32_t* length);
uint32_t RegistryEnumerateKey(RegistryKey key, uint32_t index, char* name, uint32_t* length);

struct RegistryKeyInfo {
  uint32_t subkeyCount;
  uint32_t longestSubkeyName;  // characters, without terminator
  uint32_t valueCount;
  uint32_t longestValueName;   // characters, without terminator
  uint32_t largestValueSize;   // bytes, as the UTF-16 calls count them
};
uint32_t RegistryQueryKeyInfo(RegistryKey key, RegistryKeyInfo* info);

// --- Values -----------------------------------------------------------------
// A null or empty value name is the key's default value.

// Sets a value, replacing any value of that name. The UTF-16 form stores the
// bytes as given. The 8-bit form converts the data of a String or ExpandString
// value from 8-bit text to UTF-16 (size bytes become 2 x size bytes) and
// stores other types as given.
uint32_t RegistrySetValue(RegistryKey key, const char16_t* name, RegistryValueType type,
                          const void* data, uint32_t size);
uint32_t RegistrySetValue(RegistryKey key, const char* name, RegistryValueType type,
                          const void* data, uint32_t size);

// Reads a value. type and data may be null. size: on entry the room in data
// in bytes, on return the value's size in bytes. With data null the call only
// answers type and size. When the value does not fit, the result is
// kErrorMoreData, size tells what it needs and data is untouched. A missing
// value or key gives kErrorFileNotFound. The 8-bit form returns String and
// ExpandString data converted to 8-bit text, and counts its size in 8-bit
// bytes.
uint32_t RegistryQueryValue(RegistryKey key, const char16_t* name, RegistryValueType* type,
                            void* data, uint32_t* size);
uint32_t RegistryQueryValue(RegistryKey key, const char* name, RegistryValueType* type,
                            void* data, uint32_t* size);

uint32_t RegistryDeleteValue(RegistryKey key, const char16_t* name);
uint32_t RegistryDeleteValue(RegistryKey key, const char* name);

// The index-th value of key, in the order of their names without case: its
// name as RegistryEnumerateKey gives a subkey's name, then type, data and size
// as RegistryQueryValue gives them (data and size may be null when only the
// name is wanted).
uint32_t RegistryEnumerateValue(RegistryKey key, uint32_t index, char16_t* name, uint32_t* length,
                                RegistryValueType* type, void* data, uint32_t* size);
uint32_t RegistryEnumerateValue(RegistryKey key, uint32_t index, char* name, uint32_t* length,
                                RegistryValueType* type, void* data, uint32_t* size);

// --- Stores -----------------------------------------------------------------

struct RegistryStore;

// Opens (creating when missing) the store in the database file path (a host
// file name; ":memory:" gives a private store that lives in memory). Null on
// failure, with the last error set.
RegistryStore* RegistryOpenStore(const char* path);

// Closes a store opened by RegistryOpenStore; its open keys become invalid.
void RegistryCloseStore(RegistryStore* store);

// The handle of one root of a store; it needs no closing.
RegistryKey RegistryStoreRoot(RegistryStore* store, RegistryRoot root);

// The file the default store uses (or will use when first needed).
std::string RegistryDefaultStorePath();

// Makes path the default store's file from now on (null: back to the file
// from the environment). Handles opened under the previous default store
// become invalid. False, with the last error set, when the file cannot be
// opened; the previous default store is then closed all the same.
bool RegistrySelectDefaultStore(const char* path);
