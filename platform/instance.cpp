#include "platform/instance.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/error.h"
#include "platform/trace.h"
#include "platform/window.h"

namespace instance_detail {
void PublishTopLevelWindow(WindowHandle window, const std::string& classKey);
void WithdrawTopLevelWindow(WindowHandle window, const std::string& classKey);
WindowHandle FindRemoteTopLevelWindow(const std::string& classKey);
bool RemoteWindowExists(WindowHandle window);
bool RemoteGetWindowWord(WindowHandle window, int32_t index, intptr_t* value);
bool RemotePostMessage(WindowHandle window, uint32_t message, MessageWord word, MessageLong value);
}  // namespace instance_detail

namespace {

// The user's runtime directory for this program, made on first use and
// refused when someone else could have placed it (a shared /tmp).
std::string RuntimeDirectory() {
  std::string path;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') {
    path = std::string(runtime) + "/vorlan";
  } else {
    path = "/tmp/vorlan-" + std::to_string(getuid());
  }
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
      (info.st_mode & 077) != 0) {
    return {};
  }
  return path;
}

// A name as one file-name component: letters, digits, '-' and '_' stay, every
// other byte is written %XX; very long names keep a prefix and a hash.
std::string FileComponent(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_') {
      out += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    }
  }
  if (out.size() > 150) {
    uint64_t hash = 1469598103934665603u;
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211u;
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    out = out.substr(0, 100) + tail;
  }
  return out;
}

// Named mutexes: a lock file each, held with flock, so the kernel releases it
// when the process ends however it ends.

struct MutexRecord {
  int descriptor = -1;
  uint32_t depth = 0;  // how often the handle holder took it
};

std::mutex mutexTableLock;
std::map<uint32_t, MutexRecord>& MutexTable() {
  static auto* table = new std::map<uint32_t, MutexRecord>;
  return *table;
}
uint32_t nextMutexHandle = 1;

bool TakeLock(int descriptor, uint32_t milliseconds) {
  if (milliseconds == kWaitForever) {
    while (flock(descriptor, LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }
  uint32_t start = TickCount();
  for (;;) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (TickCount() - start >= milliseconds) {
      errno = EWOULDBLOCK;
      return false;
    }
    SleepMilliseconds(2);
  }
}

NamedMutexHandle CreateNamedMutexUtf8(const std::string& name, bool owned) {
  if (name.empty()) {
    SetLastErrorCode(kErrorInvalidParameter);
    return {};
  }
  std::string directory = RuntimeDirectory();
  if (directory.empty()) {
    SetLastErrorCode(kErrorAccessDenied);
    return {};
  }
  std::string path = directory + "/mutex-" + FileComponent(name);
  int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    SetLastErrorCode(kErrorAccessDenied);
    return {};
  }
  if (owned && !TakeLock(descriptor, kWaitForever)) {
    close(descriptor);
    SetLastErrorCode(kErrorGeneralFailure);
    return {};
  }
  std::lock_guard<std::mutex> lock(mutexTableLock);
  uint32_t value = nextMutexHandle++;
  if (nextMutexHandle == 0) nextMutexHandle = 1;
  MutexTable()[value] = {descriptor, owned ? 1u : 0u};
  return {value};
}

// Cross-process windows. Each process that has top-level windows listens on
// a socket of its own; each such window is an empty file whose name holds the
// folded class name, the process id and the handle.

struct Request {
  uint32_t operation;
  uint32_t message;
  uint64_t window;
  int64_t index;
  uint64_t word;
  int64_t value;
};
static_assert(sizeof(Request) == 40);

struct Reply {
  int64_t succeeded;
  int64_t value;
  uint32_t error;
  uint32_t reserved;
};
static_assert(sizeof(Reply) == 24);

enum Operation : uint32_t { kExists = 1, kGetWord = 2, kPost = 3 };

constexpr uint64_t kProcessShift = 42;

std::string SocketPath(const std::string& directory, uint64_t process) {
  return directory + "/process-" + std::to_string(process) + ".socket";
}

std::string WindowEntry(const std::string& classKey, WindowHandle window) {
  char tail[48];
  std::snprintf(tail, sizeof tail, "@%llu@%016llx",
                static_cast<unsigned long long>(window.value >> kProcessShift),
                static_cast<unsigned long long>(window.value));
  return FileComponent(classKey) + tail;
}

std::mutex listenerLock;
bool listening = false;
std::string listenerPath;

void ForgetListenerInChild() {
  // The listening thread did not survive the fork; the child starts its own
  // when it publishes a window.
  listening = false;
  listenerPath.clear();
}

void RemoveSocketAtExit() {
  if (!listenerPath.empty()) unlink(listenerPath.c_str());
}

Reply Answer(const Request& request) {
  Reply reply{};
  WindowHandle window{request.window};
  switch (request.operation) {
    case kExists:
      reply.succeeded = WindowExists(window);
      break;
    case kGetWord:
      reply.value = GetWindowWord(window, static_cast<int32_t>(request.index));
      reply.error = GetLastErrorCode();
      reply.succeeded = reply.error == kErrorSuccess;
      break;
    case kPost:
      reply.succeeded = PostWindowMessage(window, request.message, request.word, request.value);
      if (!reply.succeeded) reply.error = GetLastErrorCode();
      break;
    default:
      reply.error = kErrorInvalidParameter;
  }
  return reply;
}

void Listen(int server) {
  for (;;) {
    int client = accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    Request request{};
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid() &&
        recv(client, &request, sizeof request, 0) == static_cast<ssize_t>(sizeof request)) {
      // Only numbers cross: the local window handle must name a window of
      // this process, which every call below checks.
      if ((request.window >> kProcessShift) == static_cast<uint64_t>(getpid())) {
        Reply reply = Answer(request);
        send(client, &reply, sizeof reply, MSG_NOSIGNAL);
      }
    }
    close(client);
  }
}

// A process that was killed, or ended without its exit handlers, leaves its
// socket behind; the next process to listen clears those of ended processes.
void RemoveSocketsOfEndedProcesses(const std::string& directory) {
  DIR* folder = opendir(directory.c_str());
  if (!folder) return;
  while (dirent* entry = readdir(folder)) {
    unsigned long long process = 0;
    int used = 0;
    if (std::sscanf(entry->d_name, "process-%llu.socket%n", &process, &used) != 1 ||
        entry->d_name[used] != 0 || process == 0) {
      continue;
    }
    if (kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH) {
      unlink((directory + "/" + entry->d_name).c_str());
    }
  }
  closedir(folder);
}

bool StartListening(const std::string& directory) {
  std::lock_guard<std::mutex> lock(listenerLock);
  if (listening) return true;
  static bool registered = [] {
    pthread_atfork(nullptr, nullptr, ForgetListenerInChild);
    std::atexit(RemoveSocketAtExit);
    return true;
  }();
  (void)registered;
  std::string path = SocketPath(directory, static_cast<uint64_t>(getpid()));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int server = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (server < 0) return false;
  unlink(path.c_str());  // left by an ended process that had our id
  RemoveSocketsOfEndedProcesses(directory);
  if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(server, 16) != 0) {
    close(server);
    return false;
  }
  try {
    std::thread(Listen, server).detach();
  } catch (const std::system_error&) {
    close(server);
    unlink(path.c_str());
    return false;
  }
  listening = true;
  listenerPath = path;
  return true;
}

// Asks the window's process; false when it cannot be reached.
bool Ask(WindowHandle window, const Request& request, Reply* reply) {
  std::string directory = RuntimeDirectory();
  if (directory.empty()) return false;
  std::string path = SocketPath(directory, window.value >> kProcessShift);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int descriptor = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return false;
  timeval limit{2, 0};  // a process that hangs must not hang the asker
  setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  bool answered = connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  send(descriptor, &request, sizeof request, MSG_NOSIGNAL) ==
                      static_cast<ssize_t>(sizeof request) &&
                  recv(descriptor, reply, sizeof *reply, 0) == static_cast<ssize_t>(sizeof *reply);
  close(descriptor);
  return answered;
}

}  // namespace

namespace instance_detail {

void PublishTopLevelWindow(WindowHandle window, const std::string& classKey) {
  std::string directory = RuntimeDirectory();
  if (directory.empty() || !StartListening(directory)) return;
  std::string windows = directory + "/windows";
  mkdir(windows.c_str(), 0700);
  int descriptor = open((windows + "/" + WindowEntry(classKey, window)).c_str(),
                        O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor >= 0) close(descriptor);
}

void WithdrawTopLevelWindow(WindowHandle window, const std::string& classKey) {
  std::string directory = RuntimeDirectory();
  if (directory.empty()) return;
  unlink((directory + "/windows/" + WindowEntry(classKey, window)).c_str());
}

WindowHandle FindRemoteTopLevelWindow(const std::string& classKey) {
  std::string directory = RuntimeDirectory();
  if (directory.empty()) return {};
  std::string windows = directory + "/windows";
  std::string prefix = FileComponent(classKey) + "@";
  DIR* folder = opendir(windows.c_str());
  if (!folder) return {};
  WindowHandle found;
  while (dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    unsigned long long process = 0, value = 0;
    if (std::sscanf(name.c_str() + prefix.size(), "%llu@%llx", &process, &value) != 2) continue;
    WindowHandle candidate{value};
    if ((value >> kProcessShift) != process || process == static_cast<uint64_t>(getpid())) continue;
    if (RemoteWindowExists(candidate)) {
      found = candidate;
      break;
    }
    // Its process ended or the window is gone without withdrawing the entry.
    unlink((windows + "/" + name).c_str());
  }
  closedir(folder);
  return found;
}

bool RemoteWindowExists(WindowHandle window) {
  Request request{kExists, 0, window.value, 0, 0, 0};
  Reply reply{};
  return Ask(window, request, &reply) && reply.succeeded;
}

bool RemoteGetWindowWord(WindowHandle window, int32_t index, intptr_t* value) {
  Request request{kGetWord, 0, window.value, index, 0, 0};
  Reply reply{};
  if (!Ask(window, request, &reply)) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  SetLastErrorCode(reply.error);
  *value = static_cast<intptr_t>(reply.value);
  return reply.succeeded != 0;
}

bool RemotePostMessage(WindowHandle window, uint32_t message, MessageWord word, MessageLong value) {
  Request request{kPost, message, window.value, 0, word, value};
  Reply reply{};
  if (!Ask(window, request, &reply)) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  if (!reply.succeeded) SetLastErrorCode(reply.error);
  return reply.succeeded != 0;
}

}  // namespace instance_detail

// A lone surrogate is kept as it stands, so that two names differing only
// there do not meet in one lock file.
NamedMutexHandle CreateNamedMutex(const char16_t* name, bool owned) {
  std::u16string_view wide = name ? std::u16string_view(name) : std::u16string_view();
  return CreateNamedMutexUtf8(Utf16ToUtf8(wide, LoneSurrogate::kKeep), owned);
}

// 8-bit names are Windows-1252, so either width of one name finds one mutex.
NamedMutexHandle CreateNamedMutex(const char* name, bool owned) {
  std::u16string wide = name ? Windows1252ToUtf16(name) : std::u16string();
  return CreateNamedMutexUtf8(Utf16ToUtf8(wide, LoneSurrogate::kKeep), owned);
}

WaitResult WaitForNamedMutex(NamedMutexHandle mutex, uint32_t milliseconds) {
  int descriptor;
  {
    std::lock_guard<std::mutex> lock(mutexTableLock);
    auto found = MutexTable().find(mutex.value);
    if (found == MutexTable().end()) {
      SetLastErrorCode(kErrorInvalidHandle);
      return WaitResult::Failed;
    }
    if (found->second.depth > 0) {
      ++found->second.depth;
      return WaitResult::Signalled;
    }
    descriptor = found->second.descriptor;
  }
  if (!TakeLock(descriptor, milliseconds)) {
    if (errno == EWOULDBLOCK) return WaitResult::TimedOut;
    SetLastErrorCode(kErrorGeneralFailure);
    return WaitResult::Failed;
  }
  std::lock_guard<std::mutex> lock(mutexTableLock);
  auto found = MutexTable().find(mutex.value);
  if (found == MutexTable().end()) return WaitResult::Failed;
  ++found->second.depth;
  return WaitResult::Signalled;
}

bool ReleaseNamedMutex(NamedMutexHandle mutex) {
  std::lock_guard<std::mutex> lock(mutexTableLock);
  auto found = MutexTable().find(mutex.value);
  if (found == MutexTable().end()) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  if (found->second.depth == 0) {
    TraceOutput("ReleaseNamedMutex called for a mutex the handle does not hold\n");
    SetLastErrorCode(kErrorAccessDenied);
    return false;
  }
  if (--found->second.depth == 0) flock(found->second.descriptor, LOCK_UN);
  return true;
}

bool CloseNamedMutex(NamedMutexHandle mutex) {
  std::lock_guard<std::mutex> lock(mutexTableLock);
  auto found = MutexTable().find(mutex.value);
  if (found == MutexTable().end()) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  close(found->second.descriptor);  // drops the lock with it
  MutexTable().erase(found);
  return true;
}
