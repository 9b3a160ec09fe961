#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/trace.h"

struct FileSearch {
  std::vector<FileFound> entries;
  size_t next = 0;
};

namespace {

// --- Text -------------------------------------------------------------------

std::u16string Widen(const char* text) {
  return text ? Windows1252ToUtf16(text) : std::u16string();
}

std::u16string Widen(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

template <class Char>
Char FoldCase(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

bool SameWithoutCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

bool Fail(uint32_t code) {
  SetLastErrorCode(code);
  return false;
}

bool Succeed() {
  SetLastErrorCode(kErrorSuccess);
  return true;
}

// --- Drives -----------------------------------------------------------------

struct Drives {
  std::mutex lock;
  std::string folders[26];  // empty: the default
};

Drives& DriveTable() {
  static Drives* drives = new Drives;  // never destroyed: files may be used at exit
  return *drives;
}

int DriveIndex(char letter) {
  char folded = FoldCase(letter);
  return folded >= 'a' && folded <= 'z' ? folded - 'a' : -1;
}

std::string DefaultDriveFolder(int index) {
  std::string variable = "VORLAN_DRIVE_";
  variable.push_back(static_cast<char>('A' + index));
  const char* named = std::getenv(variable.c_str());
  if (named && *named) return named;
  return UserDataFolder() + "/drives/" + static_cast<char>('a' + index);
}

std::string DriveFolder(int index) {
  Drives& drives = DriveTable();
  std::lock_guard<std::mutex> guard(drives.lock);
  std::string folder = drives.folders[index].empty() ? DefaultDriveFolder(index)
                                                     : drives.folders[index];
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool MakeFolders(const std::string& folder) {
  struct stat status;
  if (stat(folder.c_str(), &status) == 0) return S_ISDIR(status.st_mode);
  for (size_t slash = 0; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    std::string prefix = folder.substr(0, slash);
    if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// --- Paths ------------------------------------------------------------------

struct SystemPath {
  int drive = 2;                      // C
  std::vector<std::string> names;     // UTF-8, below the drive's root
};

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Splits a system path into its drive and names, resolving "." and "..".
// The last name may hold * and ? when wildcards is set.
uint32_t ParsePath(const std::u16string& path, bool wildcards, SystemPath* parsed) {
  size_t position = 0;
  if (path.size() >= 2 && path[1] == u':') {
    if (path[0] > 0x7F || DriveIndex(static_cast<char>(path[0])) < 0) return kErrorInvalidName;
    parsed->drive = DriveIndex(static_cast<char>(path[0]));
    position = 2;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return kErrorInvalidName;  // another machine's share
  }
  std::vector<std::u16string> names;
  while (position <= path.size()) {
    size_t end = position;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::u16string name = path.substr(position, end - position);
    bool last = end >= path.size();
    position = end + 1;
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (names.empty()) return kErrorAccessDenied;  // above the drive's root
      names.pop_back();
      continue;
    }
    for (char16_t c : name) {
      bool wildcard = c == u'*' || c == u'?';
      if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
          (wildcard && !(wildcards && last)))
        return kErrorInvalidName;
    }
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
    if (name.empty()) return kErrorInvalidName;
    names.push_back(name);
  }
  for (const std::u16string& name : names) parsed->names.push_back(Utf16ToUtf8(name));
  return kErrorSuccess;
}

// The entry of folder whose name equals name without case: the exact name
// when it exists, else the first such entry in byte order, else name itself.
std::string FindName(const std::string& folder, const std::string& name) {
  std::string exact = folder + "/" + name;
  struct stat status;
  if (lstat(exact.c_str(), &status) == 0) return name;
  DIR* directory = opendir(folder.c_str());
  if (!directory) return name;
  std::string best;
  while (dirent* entry = readdir(directory)) {
    std::string candidate = entry->d_name;
    if (SameWithoutCase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
  }
  closedir(directory);
  return best.empty() ? name : best;
}

// The host path of a parsed path. The last name is looked up without case
// only when resolveLast is set (a rename wants the spelling it was given).
std::string ParentOf(const std::string& host) {
  size_t slash = host.rfind('/');
  return slash == 0 ? "/" : host.substr(0, slash);
}

// A link inside a drive's folder could lead out of it: the real location of
// the deepest part of host that exists must lie inside the drive's real
// folder. Something that exists but has no real location (a dangling link)
// is refused, as opening it could make a file wherever it points.
bool StaysInside(const std::string& drive, const std::string& host) {
  char* root = realpath(drive.c_str(), nullptr);
  if (!root) return true;  // no folder yet: nothing inside it can lead out
  std::string realRoot = root;
  std::free(root);
  if (realRoot == "/") return true;
  std::string probe = host;
  for (;;) {
    if (char* real = realpath(probe.c_str(), nullptr)) {
      std::string location = real;
      std::free(real);
      return location == realRoot || location.compare(0, realRoot.size() + 1, realRoot + "/") == 0;
    }
    struct stat status;
    if (lstat(probe.c_str(), &status) == 0) return false;
    if (probe.size() <= drive.size()) return true;
    probe = ParentOf(probe);
  }
}

// The host path of a parsed path, or false when a link would lead out of the
// drive. The last name is looked up without case only when resolveLast is set
// (a rename wants the spelling it was given).
bool HostPath(const SystemPath& path, bool resolveLast, std::string* result) {
  std::string drive = DriveFolder(path.drive);
  MakeFolders(drive);
  std::string host = drive;
  for (size_t i = 0; i < path.names.size(); ++i) {
    bool last = i + 1 == path.names.size();
    host += "/" + (last && !resolveLast ? path.names[i] : FindName(host, path.names[i]));
  }
  if (!StaysInside(drive, host)) return false;
  *result = host;
  return true;
}

// Translates a caller's path; false with the last error set when refused.
bool Translate(const std::u16string& path, std::string* host, bool resolveLast = true,
               SystemPath* parsed = nullptr) {
  SystemPath local;
  SystemPath& target = parsed ? *parsed : local;
  uint32_t error = ParsePath(path, false, &target);
  if (error != kErrorSuccess) return Fail(error);
  if (!HostPath(target, resolveLast, host)) return Fail(kErrorAccessDenied);
  return true;
}

bool FolderExists(const std::string& host) {
  struct stat status;
  return stat(host.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The reason for a failed host call on host.
uint32_t ErrorFor(int error, const std::string& host) {
  switch (error) {
    case ENOENT:
      return FolderExists(ParentOf(host)) ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EBUSY:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOTEMPTY:
      return kErrorDirectoryNotEmpty;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EXDEV:
      return kErrorNotSameDevice;
    case ENAMETOOLONG:
      return kErrorInvalidName;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    default:
      return kErrorGeneralFailure;
  }
}

bool IsReadOnly(const struct stat& status) {
  return !S_ISDIR(status.st_mode) && !(status.st_mode & S_IWUSR);
}

bool EndsWithExe(const std::string& host) {
  return host.size() >= 4 && SameWithoutCase(host.substr(host.size() - 4), ".exe");
}

bool ValidHandle(FileHandle file, const char* operation) {
  if (file.descriptor >= 0) return true;
  TraceOutput((std::string(operation) + " called with an invalid file handle\n").c_str());
  SetLastErrorCode(kErrorInvalidHandle);
  return false;
}

FileHandle OpenAt(const std::u16string& path, FileAccess access, FileCreation creation) {
  std::string host;
  if (!Translate(path, &host)) return kInvalidFile;
  uint32_t accessBits = static_cast<uint32_t>(access);
  bool reading = accessBits & 1;
  bool writing = accessBits & 2;
  if (!reading && !writing) {
    SetLastErrorCode(kErrorInvalidParameter);
    return kInvalidFile;
  }
  struct stat status;
  bool existed = stat(host.c_str(), &status) == 0;
  if (existed && S_ISDIR(status.st_mode)) {
    SetLastErrorCode(kErrorAccessDenied);
    return kInvalidFile;
  }
  bool truncating = creation == FileCreation::CreateAlways || creation == FileCreation::TruncateExisting;
  // The permission bits are checked here because a process of the superuser
  // would get past them.
  if (existed && (writing || truncating) && IsReadOnly(status)) {
    SetLastErrorCode(kErrorAccessDenied);
    return kInvalidFile;
  }
  int flags = O_CLOEXEC | (reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY);
  switch (creation) {
    case FileCreation::CreateNew:
      flags |= O_CREAT | O_EXCL;
      break;
    case FileCreation::CreateAlways:
      flags |= O_CREAT | O_TRUNC;
      break;
    case FileCreation::OpenExisting:
      break;
    case FileCreation::OpenAlways:
      flags |= O_CREAT;
      break;
    case FileCreation::TruncateExisting:
      if (!writing) {
        SetLastErrorCode(kErrorInvalidParameter);
        return kInvalidFile;
      }
      flags |= O_TRUNC;
      break;
    default:
      SetLastErrorCode(kErrorInvalidParameter);
      return kInvalidFile;
  }
  mode_t mode = EndsWithExe(host) ? 0755 : 0644;
  int descriptor = open(host.c_str(), flags, mode);
  if (descriptor < 0) {
    int error = errno;
    SetLastErrorCode(error == EEXIST ? kErrorFileExists : ErrorFor(error, host));
    return kInvalidFile;
  }
  bool reportExisting =
      existed && (creation == FileCreation::CreateAlways || creation == FileCreation::OpenAlways);
  SetLastErrorCode(reportExisting ? kErrorAlreadyExists : kErrorSuccess);
  return FileHandle{descriptor};
}

uint32_t AttributesAt(const std::u16string& path) {
  std::string host;
  if (!Translate(path, &host)) return kFileInvalidAttributes;
  struct stat status;
  if (stat(host.c_str(), &status) != 0) {
    SetLastErrorCode(ErrorFor(errno, host));
    return kFileInvalidAttributes;
  }
  SetLastErrorCode(kErrorSuccess);
  if (S_ISDIR(status.st_mode)) return kFileAttributeDirectory;
  return IsReadOnly(status) ? kFileAttributeReadOnly : kFileAttributeNormal;
}

bool SetAttributesAt(const std::u16string& path, uint32_t attributes) {
  std::string host;
  if (!Translate(path, &host)) return false;
  struct stat status;
  if (stat(host.c_str(), &status) != 0) return Fail(ErrorFor(errno, host));
  if (S_ISDIR(status.st_mode)) return Succeed();
  mode_t mode = status.st_mode & 07777;
  if (attributes & kFileAttributeReadOnly)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  if (chmod(host.c_str(), mode) != 0) return Fail(ErrorFor(errno, host));
  return Succeed();
}

bool DeleteAt(const std::u16string& path) {
  std::string host;
  if (!Translate(path, &host)) return false;
  struct stat status;
  if (lstat(host.c_str(), &status) != 0) return Fail(ErrorFor(errno, host));
  if (S_ISDIR(status.st_mode) || IsReadOnly(status)) return Fail(kErrorAccessDenied);
  if (unlink(host.c_str()) != 0) return Fail(ErrorFor(errno, host));
  return Succeed();
}

// Copies the bytes and permissions of one host file to another.
bool CopyHostFile(const std::string& from, const std::string& to) {
  int source = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return Fail(ErrorFor(errno, from));
  struct stat status;
  if (fstat(source, &status) != 0 || S_ISDIR(status.st_mode)) {
    close(source);
    return Fail(kErrorAccessDenied);
  }
  int target = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (target < 0) {
    uint32_t error = ErrorFor(errno, to);
    close(source);
    return Fail(error);
  }
  char buffer[65536];
  bool ok = true;
  uint32_t error = kErrorSuccess;
  for (;;) {
    ssize_t got = read(source, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) ok = false, error = ErrorFor(errno, from);
      break;
    }
    for (ssize_t written = 0; written < got;) {
      ssize_t put = write(target, buffer + written, static_cast<size_t>(got - written));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false, error = put < 0 ? ErrorFor(errno, to) : kErrorDiskFull;
        break;
      }
      written += put;
    }
    if (!ok) break;
  }
  if (ok && fchmod(target, status.st_mode & 07777) != 0) ok = false, error = ErrorFor(errno, to);
  close(source);
  if (close(target) != 0 && ok) ok = false, error = ErrorFor(errno, to);
  if (!ok) {
    unlink(to.c_str());
    return Fail(error);
  }
  return true;
}

bool CopyAt(const std::u16string& from, const std::u16string& to, bool failIfExists) {
  std::string source, target;
  if (!Translate(from, &source) || !Translate(to, &target)) return false;
  struct stat status;
  if (stat(source.c_str(), &status) != 0) return Fail(ErrorFor(errno, source));
  if (S_ISDIR(status.st_mode)) return Fail(kErrorAccessDenied);
  struct stat existing;
  if (stat(target.c_str(), &existing) == 0) {
    if (existing.st_dev == status.st_dev && existing.st_ino == status.st_ino)
      return Fail(kErrorAccessDenied);  // onto itself
    if (failIfExists) return Fail(kErrorFileExists);
    if (S_ISDIR(existing.st_mode) || IsReadOnly(existing)) return Fail(kErrorAccessDenied);
  }
  if (!CopyHostFile(source, target)) return false;
  return Succeed();
}

bool MoveAt(const std::u16string& from, const std::u16string& to) {
  std::string source, resolved, spelled;
  SystemPath parsedFrom, parsedTo;
  if (!Translate(from, &source, true, &parsedFrom) || !Translate(to, &resolved, true, &parsedTo))
    return false;
  if (!HostPath(parsedTo, false, &spelled)) return Fail(kErrorAccessDenied);
  if (parsedFrom.names.empty() || parsedTo.names.empty()) return Fail(kErrorAccessDenied);
  struct stat status;
  if (lstat(source.c_str(), &status) != 0) return Fail(ErrorFor(errno, source));
  // A destination that exists under any spelling is refused, unless it is the
  // source itself getting a new spelling.
  struct stat existing;
  if (lstat(resolved.c_str(), &existing) == 0 &&
      !(existing.st_dev == status.st_dev && existing.st_ino == status.st_ino))
    return Fail(kErrorAlreadyExists);
  if (rename(source.c_str(), spelled.c_str()) == 0) return Succeed();
  int error = errno;
  if (error != EXDEV || S_ISDIR(status.st_mode)) return Fail(ErrorFor(error, spelled));
  // Another host file system: copy, then remove the original.
  if (!CopyHostFile(source, spelled)) return false;
  if (unlink(source.c_str()) != 0) {
    error = errno;
    unlink(spelled.c_str());
    return Fail(ErrorFor(error, source));
  }
  return Succeed();
}

bool FolderCreateAt(const std::u16string& path) {
  std::string host;
  SystemPath parsed;
  if (!Translate(path, &host, true, &parsed)) return false;
  if (parsed.names.empty()) return Fail(kErrorAlreadyExists);  // a drive's root
  if (mkdir(host.c_str(), 0755) != 0) return Fail(ErrorFor(errno, host));
  return Succeed();
}

bool FolderRemoveAt(const std::u16string& path) {
  std::string host;
  SystemPath parsed;
  if (!Translate(path, &host, true, &parsed)) return false;
  if (parsed.names.empty()) return Fail(kErrorAccessDenied);
  struct stat status;
  if (lstat(host.c_str(), &status) != 0) return Fail(ErrorFor(errno, host));
  if (!S_ISDIR(status.st_mode)) return Fail(kErrorNotAFolder);
  if (rmdir(host.c_str()) != 0) return Fail(ErrorFor(errno, host));
  return Succeed();
}

// * matches any run of characters, ? any one; letters compare without case.
bool Matches(const char16_t* pattern, const char16_t* name) {
  const char16_t* starPattern = nullptr;
  const char16_t* starName = nullptr;
  while (*name) {
    if (*pattern == u'*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == u'?' || (*pattern && FoldCase(*pattern) == FoldCase(*name))) {
      ++pattern;
      ++name;
    } else if (starPattern) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == u'*') ++pattern;
  return *pattern == 0;
}

FileSearch* FindFirstAt(const std::u16string& pattern, FileFound* found) {
  if (!found) {
    TraceOutput("FileFindFirst called without a record for the entry\n");
    SetLastErrorCode(kErrorInvalidParameter);
    return nullptr;
  }
  SystemPath parsed;
  uint32_t error = ParsePath(pattern, true, &parsed);
  if (error == kErrorSuccess && parsed.names.empty()) error = kErrorFileNotFound;
  if (error != kErrorSuccess) {
    SetLastErrorCode(error);
    return nullptr;
  }
  std::u16string wanted = Utf8ToUtf16(parsed.names.back());
  if (wanted == u"*.*") wanted.resize(1);  // "*.*" means every name, as "*" does
  parsed.names.pop_back();
  std::string folder;
  if (!HostPath(parsed, true, &folder)) {
    SetLastErrorCode(kErrorAccessDenied);
    return nullptr;
  }
  DIR* directory = opendir(folder.c_str());
  if (!directory) {
    SetLastErrorCode(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound
                                                         : ErrorFor(errno, folder));
    return nullptr;
  }
  auto* search = new FileSearch;
  while (dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::u16string wide = Utf8ToUtf16(name);
    std::string narrow = Utf16ToWindows1252(wide);
    if (wide.size() >= 260 || narrow.size() >= 260 || !Matches(wanted.c_str(), wide.c_str()))
      continue;
    FileFound entryFound{};
    struct stat status;
    if (stat((folder + "/" + name).c_str(), &status) != 0) continue;
    if (S_ISDIR(status.st_mode)) {
      entryFound.attributes = kFileAttributeDirectory;
    } else {
      entryFound.attributes = IsReadOnly(status) ? kFileAttributeReadOnly : kFileAttributeNormal;
      entryFound.size = static_cast<uint64_t>(status.st_size);
    }
    std::copy(wide.begin(), wide.end(), entryFound.name);
    std::copy(narrow.begin(), narrow.end(), entryFound.narrowName);
    search->entries.push_back(entryFound);
  }
  closedir(directory);
  if (search->entries.empty()) {
    delete search;
    SetLastErrorCode(kErrorFileNotFound);
    return nullptr;
  }
  std::sort(search->entries.begin(), search->entries.end(),
            [](const FileFound& a, const FileFound& b) {
              return std::u16string(a.name) < std::u16string(b.name);
            });
  *found = search->entries[0];
  search->next = 1;
  SetLastErrorCode(kErrorSuccess);
  return search;
}

}  // namespace

std::string UserDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/vorlan";
  const char* home = std::getenv("HOME");
  std::string base;
  if (home && *home) {
    base = home;
  } else if (const passwd* entry = getpwuid(getuid())) {
    base = entry->pw_dir;
  }
  return base + "/.local/share/vorlan";
}

// --- Open files ---------------------------------------------------------------

FileHandle FileOpen(const char* path, FileAccess access, FileCreation creation) {
  return OpenAt(Widen(path), access, creation);
}

FileHandle FileOpen(const char16_t* path, FileAccess access, FileCreation creation) {
  return OpenAt(Widen(path), access, creation);
}

bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  if (done) *done = 0;
  if (!ValidHandle(file, "FileRead")) return false;
  if (!buffer && count) return Fail(kErrorInvalidParameter);
  uint32_t total = 0;
  while (total < count) {
    ssize_t got = read(file.descriptor, static_cast<char*>(buffer) + total, count - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail(errno == EBADF ? kErrorInvalidHandle : ErrorFor(errno, ""));
    if (got == 0) break;
    total += static_cast<uint32_t>(got);
    if (done) *done = total;
  }
  return Succeed();
}

bool FileWrite(FileHandle file, const void* data, uint32_t count, uint32_t* done) {
  if (done) *done = 0;
  if (!ValidHandle(file, "FileWrite")) return false;
  if (!data && count) return Fail(kErrorInvalidParameter);
  uint32_t total = 0;
  while (total < count) {
    ssize_t put = write(file.descriptor, static_cast<const char*>(data) + total, count - total);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return Fail(errno == EBADF ? kErrorInvalidHandle : ErrorFor(errno, ""));
    if (put == 0) return Fail(kErrorDiskFull);
    total += static_cast<uint32_t>(put);
    if (done) *done = total;
  }
  return Succeed();
}

int64_t FileSeek(FileHandle file, int64_t distance, FileOrigin origin) {
  if (!ValidHandle(file, "FileSeek")) return -1;
  int whence = origin == FileOrigin::Begin ? SEEK_SET : origin == FileOrigin::Current ? SEEK_CUR
                                                                                      : SEEK_END;
  off_t position = lseek(file.descriptor, static_cast<off_t>(distance), whence);
  if (position < 0) {
    SetLastErrorCode(errno == EBADF ? kErrorInvalidHandle : kErrorInvalidParameter);
    return -1;
  }
  SetLastErrorCode(kErrorSuccess);
  return static_cast<int64_t>(position);
}

int64_t FileSize(FileHandle file) {
  if (!ValidHandle(file, "FileSize")) return -1;
  struct stat status;
  if (fstat(file.descriptor, &status) != 0) {
    SetLastErrorCode(kErrorInvalidHandle);
    return -1;
  }
  SetLastErrorCode(kErrorSuccess);
  return static_cast<int64_t>(status.st_size);
}

bool FileClose(FileHandle file) {
  if (!ValidHandle(file, "FileClose")) return false;
  if (close(file.descriptor) != 0) return Fail(errno == EBADF ? kErrorInvalidHandle : kErrorGeneralFailure);
  return Succeed();
}

// --- Files and folders by path --------------------------------------------------

uint32_t FileGetAttributes(const char* path) { return AttributesAt(Widen(path)); }
uint32_t FileGetAttributes(const char16_t* path) { return AttributesAt(Widen(path)); }

bool FileSetAttributes(const char* path, uint32_t attributes) {
  return SetAttributesAt(Widen(path), attributes);
}
bool FileSetAttributes(const char16_t* path, uint32_t attributes) {
  return SetAttributesAt(Widen(path), attributes);
}

bool FileDelete(const char* path) { return DeleteAt(Widen(path)); }
bool FileDelete(const char16_t* path) { return DeleteAt(Widen(path)); }

bool FileMove(const char* from, const char* to) { return MoveAt(Widen(from), Widen(to)); }
bool FileMove(const char16_t* from, const char16_t* to) { return MoveAt(Widen(from), Widen(to)); }

bool FileCopy(const char* from, const char* to, bool failIfExists) {
  return CopyAt(Widen(from), Widen(to), failIfExists);
}
bool FileCopy(const char16_t* from, const char16_t* to, bool failIfExists) {
  return CopyAt(Widen(from), Widen(to), failIfExists);
}

bool FolderCreate(const char* path) { return FolderCreateAt(Widen(path)); }
bool FolderCreate(const char16_t* path) { return FolderCreateAt(Widen(path)); }

bool FolderRemove(const char* path) { return FolderRemoveAt(Widen(path)); }
bool FolderRemove(const char16_t* path) { return FolderRemoveAt(Widen(path)); }

// --- Finding files ----------------------------------------------------------------

FileSearch* FileFindFirst(const char* pattern, FileFound* found) {
  return FindFirstAt(Widen(pattern), found);
}

FileSearch* FileFindFirst(const char16_t* pattern, FileFound* found) {
  return FindFirstAt(Widen(pattern), found);
}

bool FileFindNext(FileSearch* search, FileFound* found) {
  if (!search || !found) {
    TraceOutput("FileFindNext called without a search or a record\n");
    return Fail(kErrorInvalidParameter);
  }
  if (search->next >= search->entries.size()) return Fail(kErrorNoMoreFiles);
  *found = search->entries[search->next++];
  return Succeed();
}

void FileFindClose(FileSearch* search) { delete search; }

// --- Drives -----------------------------------------------------------------------

bool DriveSetFolder(char letter, const char* hostFolder) {
  int index = DriveIndex(letter);
  if (index < 0) return Fail(kErrorInvalidParameter);
  Drives& drives = DriveTable();
  std::lock_guard<std::mutex> guard(drives.lock);
  drives.folders[index] = hostFolder ? hostFolder : "";
  return Succeed();
}

std::string DriveGetFolder(char letter) {
  int index = DriveIndex(letter);
  return index < 0 ? std::string() : DriveFolder(index);
}

bool TranslatePath(const char* path, std::string* hostPath) {
  if (!hostPath) return Fail(kErrorInvalidParameter);
  if (!Translate(Widen(path), hostPath)) return false;
  return Succeed();
}

bool TranslatePath(const char16_t* path, std::string* hostPath) {
  if (!hostPath) return Fail(kErrorInvalidParameter);
  if (!Translate(Widen(path), hostPath)) return false;
  return Succeed();
}
