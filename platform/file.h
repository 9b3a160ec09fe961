#pragma once
// Files and folders, addressed by the system's paths: "C:\Program Files\Vorlan"
// names the folder Program Files/Vorlan inside the directory that stands for
// drive C. A path that starts with a backslash ("\Qualen Software") is on the
// current drive, C; so is a path with no drive and no leading backslash. Both
// separators, backslash and slash, are accepted.
//
// Each drive letter stands for a host directory: the one given through
// DriveSetFolder, else the one the environment variable VORLAN_DRIVE_<letter>
// names (VORLAN_DRIVE_C), else drives/<letter> in the folder vorlan of the
// user's data directory ($XDG_DATA_HOME, or ~/.local/share). A drive's
// directory is made when a path first needs it.
//
// A path never leaves its drive's directory: a ".." that would climb above
// the drive's root is refused (kErrorAccessDenied), and so is a path through
// a symbolic link that leads out of the directory or nowhere; so are UNC
// paths and names
// with characters the system forbids (<>:"|?* and control characters;
// kErrorInvalidName). Trailing dots and spaces of a name are dropped, as the
// system does.
//
// Letter case: a name is looked up without case (ASCII letters only), as the
// system's file system does, so "C:\PROGRAM FILES\vorlan.EXE" opens an existing
// "Program Files/Vorlan.exe". A file or folder that does not exist yet is made
// with the spelling given.
//
// Every call reports failure through its result (false, -1, kInvalidFile or
// null) and leaves the reason as the thread's last error. Paths come as 8-bit
// text in the fixed ANSI code page (Windows-1252) or as UTF-16; host names are
// UTF-8. File sharing modes do not exist here: every open shares.

#include <cstdint>
#include <string>

#include "platform/error.h"

// Further reasons a file call fails, next to those of platform/error.h.
constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorDirectoryNotEmpty = 145;
constexpr uint32_t kErrorNotAFolder = 267;

// --- Open files ---------------------------------------------------------------

struct FileHandle {
  int32_t descriptor = -1;
  friend bool operator==(FileHandle, FileHandle) = default;
};
constexpr FileHandle kInvalidFile{-1};

enum class FileAccess : uint32_t { Read = 1, Write = 2, ReadWrite = 3 };

// What to do when the file exists or not.
enum class FileCreation : uint32_t {
  CreateNew = 1,         // fails (kErrorFileExists) when it exists
  CreateAlways = 2,      // made empty, whether it existed or not
  OpenExisting = 3,      // fails (kErrorFileNotFound) when missing
  OpenAlways = 4,        // opened as it is, made when missing
  TruncateExisting = 5,  // made empty; fails when missing
};

// Opens a file. A read-only file cannot be opened for writing and a folder
// cannot be opened at all (kErrorAccessDenied). When CreateAlways or
// OpenAlways finds the file already there, the call succeeds and leaves
// kErrorAlreadyExists as the last error. A file made with a name ending in
// ".exe" is made executable: an installed program must run.
FileHandle FileOpen(const char* path, FileAccess access, FileCreation creation);
FileHandle FileOpen(const char16_t* path, FileAccess access, FileCreation creation);

// Reads up to count bytes; fewer only at the end of the file (done 0 at the
// end itself, still a success). done may be null.
bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done);
// Writes all count bytes or fails.
bool FileWrite(FileHandle file, const void* data, uint32_t count, uint32_t* done);

enum class FileOrigin : uint32_t { Begin = 0, Current = 1, End = 2 };
// Moves the position; returns the new position from the start, or -1.
int64_t FileSeek(FileHandle file, int64_t distance, FileOrigin origin);
// The size in bytes, or -1.
int64_t FileSize(FileHandle file);
bool FileClose(FileHandle file);

// --- Files and folders by path --------------------------------------------------

constexpr uint32_t kFileAttributeReadOnly = 0x01;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeNormal = 0x80;  // a file with no other attribute
constexpr uint32_t kFileInvalidAttributes = 0xFFFFFFFF;

// The attributes of a file or folder, kFileInvalidAttributes when it does not
// exist.
uint32_t FileGetAttributes(const char* path);
uint32_t FileGetAttributes(const char16_t* path);

// Only the read-only attribute has a meaning here: set, it takes away every
// write permission of a file; absent (for example attributes 0), it gives the
// owner write permission back. Folders keep their permissions.
bool FileSetAttributes(const char* path, uint32_t attributes);
bool FileSetAttributes(const char16_t* path, uint32_t attributes);

// Deletes a file; a read-only file or a folder is refused (kErrorAccessDenied).
bool FileDelete(const char* path);
bool FileDelete(const char16_t* path);

// Moves or renames a file or folder; fails (kErrorAlreadyExists) when the
// destination exists. A file may move to another drive; a folder may not
// when the drives lie on different host file systems (kErrorNotSameDevice).
bool FileMove(const char* from, const char* to);
bool FileMove(const char16_t* from, const char16_t* to);

// Copies a file with its read-only attribute. An existing destination fails
// the copy when failIfExists is set (kErrorFileExists); otherwise it is
// replaced unless it is read-only (kErrorAccessDenied).
bool FileCopy(const char* from, const char* to, bool failIfExists);
bool FileCopy(const char16_t* from, const char16_t* to, bool failIfExists);

// Makes one folder; its parent must exist (kErrorPathNotFound) and the folder
// must not (kErrorAlreadyExists).
bool FolderCreate(const char* path);
bool FolderCreate(const char16_t* path);

// Removes an empty folder (kErrorDirectoryNotEmpty otherwise). A drive's root
// is never removed.
bool FolderRemove(const char* path);
bool FolderRemove(const char16_t* path);

// --- Finding files ----------------------------------------------------------------

// One entry found. A name longer than the arrays is never handed out.
struct FileFound {
  uint32_t attributes;
  uint64_t size;
  char16_t name[260];
  char narrowName[260];  // the name in the ANSI code page; '?' for what it lacks
};

struct FileSearch;

// Starts a search for the entries of a folder whose names match the last part
// of pattern, where * stands for any run of characters and ? for any one
// character, compared without case ("C:\Games\*.lnk"; "*.*" matches every
// name). Entries come sorted by name; "." and ".." are never among them.
// Returns the search with the first entry in found, or null
// (kErrorFileNotFound when nothing matches, kErrorPathNotFound when the
// folder is missing).
FileSearch* FileFindFirst(const char* pattern, FileFound* found);
FileSearch* FileFindFirst(const char16_t* pattern, FileFound* found);
// The next entry; false with kErrorNoMoreFiles after the last one.
bool FileFindNext(FileSearch* search, FileFound* found);
void FileFindClose(FileSearch* search);
constexpr uint32_t kErrorNoMoreFiles = 18;

// --- Drives -----------------------------------------------------------------------

// The host folder under which the programs keep their data by default (the
// drives, the registry database): $XDG_DATA_HOME/vorlan, else
// ~/.local/share/vorlan.
std::string UserDataFolder();

// Makes a drive letter (A to Z, either case) stand for a host directory; a
// null folder brings back the default. False for a letter that is no drive.
bool DriveSetFolder(char letter, const char* hostFolder);
// The host directory a drive letter stands for; empty for a letter that is no
// drive.
std::string DriveGetFolder(char letter);

// The host path a system path stands for, after the rules above (existing
// names found without case). False, with the last error set, for a path that
// is refused.
bool TranslatePath(const char* path, std::string* hostPath);
bool TranslatePath(const char16_t* path, std::string* hostPath);
