#include "platform/module.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/trace.h"

struct DynamicModule {
  void* library = nullptr;
};

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithoutCase(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  for (size_t i = 0; i < ending.size(); ++i)
    if (FoldCase(text[text.size() - ending.size() + i]) != FoldCase(ending[i])) return false;
  return true;
}

// The host library name a system name stands for: rapi.dll -> librapi.so.
// Empty for a name that is a host library name already.
std::string MappedName(const std::string& name) {
  if (EndsWithoutCase(name, ".so")) return std::string();
  std::string base = EndsWithoutCase(name, ".dll") ? name.substr(0, name.size() - 4) : name;
  return base.empty() ? std::string() : "lib" + base + ".so";
}

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return std::string();
  std::string program(buffer.data(), static_cast<size_t>(length));
  size_t slash = program.rfind('/');
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool SameWithoutCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && EndsWithoutCase(a, b);
}

// The path of the entry of folder named name without regard to ASCII case:
// the system's names are not case-sensitive, "RAPI.DLL" is "rapi.dll".
std::string InFolder(const std::string& folder, const std::string& name) {
  std::string exact = folder + "/" + name;
  if (IsFile(exact)) return exact;
  std::string best;
  if (DIR* directory = opendir(folder.c_str())) {
    while (dirent* entry = readdir(directory)) {
      std::string candidate = entry->d_name;
      if (SameWithoutCase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
    }
    closedir(directory);
  }
  return best.empty() ? exact : folder + "/" + best;
}

// Opens a library file that exists; a file that is there but cannot be
// loaded is worth a trace line, since no later candidate will explain it.
void* OpenFile(const std::string& path) {
  if (!IsFile(path)) return nullptr;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = dlerror();
    TraceOutput(("ModuleLoad could not load " + path + ": " + (reason ? reason : "") + "\n").c_str());
  }
  return library;
}

// A name without a slash is looked for on the library search path.
void* OpenFromSearchPath(const std::string& name) {
  if (name.empty()) return nullptr;
  void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) dlerror();
  return library;
}

bool IsSystemPath(const std::string& name) {
  return name.find('\\') != std::string::npos || name.find('/') != std::string::npos ||
         (name.size() >= 2 && name[1] == ':');
}

DynamicModule* LoadNamed(const std::string& name, const std::string& systemPathHost) {
  void* library = nullptr;
  if (!systemPathHost.empty()) {
    library = OpenFile(systemPathHost);
    if (!library) {
      size_t slash = systemPathHost.rfind('/');
      std::string mapped = MappedName(systemPathHost.substr(slash + 1));
      if (!mapped.empty()) library = OpenFile(InFolder(systemPathHost.substr(0, slash), mapped));
    }
  } else {
    std::string mapped = MappedName(name);
    std::string folder = ProgramFolder();
    if (!folder.empty() && !mapped.empty()) library = OpenFile(InFolder(folder, mapped));
    if (!library && !folder.empty()) library = OpenFile(InFolder(folder, name));
    if (!library) library = OpenFromSearchPath(mapped);
    if (!library) library = OpenFromSearchPath(name);
  }
  if (!library) {
    SetLastErrorCode(kErrorModuleNotFound);
    return nullptr;
  }
  SetLastErrorCode(kErrorSuccess);
  return new DynamicModule{library};
}

}  // namespace

DynamicModule* ModuleLoad(const char* name) {
  if (!name || !*name) {
    TraceOutput("ModuleLoad called without a name\n");
    SetLastErrorCode(kErrorInvalidParameter);
    return nullptr;
  }
  std::string text(name);
  if (!IsSystemPath(text)) {
    // Plain names are ASCII in practice; other bytes go through as they are.
    return LoadNamed(text, std::string());
  }
  std::string host;
  if (!TranslatePath(name, &host)) {
    SetLastErrorCode(kErrorModuleNotFound);
    return nullptr;
  }
  return LoadNamed(text, host);
}

DynamicModule* ModuleLoad(const char16_t* name) {
  if (!name || !*name) {
    TraceOutput("ModuleLoad called without a name\n");
    SetLastErrorCode(kErrorInvalidParameter);
    return nullptr;
  }
  std::u16string wide(name);
  bool systemPath = wide.find(u'\\') != std::u16string::npos ||
                    wide.find(u'/') != std::u16string::npos ||
                    (wide.size() >= 2 && wide[1] == u':');
  if (systemPath) {
    std::string host;
    if (!TranslatePath(name, &host)) {
      SetLastErrorCode(kErrorModuleNotFound);
      return nullptr;
    }
    return LoadNamed(std::string(), host);
  }
  // A library name outside ASCII cannot be a name we ship.
  std::string narrow;
  for (char16_t unit : wide) {
    if (unit > 0x7F) {
      SetLastErrorCode(kErrorModuleNotFound);
      return nullptr;
    }
    narrow.push_back(static_cast<char>(unit));
  }
  return LoadNamed(narrow, std::string());
}

ModuleFunction ModuleFindFunction(DynamicModule* module, const char* name) {
  if (!module || !name) {
    TraceOutput("ModuleFindFunction called without a module or a name\n");
    SetLastErrorCode(module ? kErrorInvalidParameter : kErrorInvalidHandle);
    return nullptr;
  }
  dlerror();
  void* address = dlsym(module->library, name);
  if (!address) {
    dlerror();
    SetLastErrorCode(kErrorFunctionNotFound);
    return nullptr;
  }
  SetLastErrorCode(kErrorSuccess);
  return reinterpret_cast<ModuleFunction>(address);
}

bool ModuleUnload(DynamicModule* module) {
  if (!module) {
    TraceOutput("ModuleUnload called without a module\n");
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  bool closed = dlclose(module->library) == 0;
  delete module;
  SetLastErrorCode(closed ? kErrorSuccess : kErrorGeneralFailure);
  return closed;
}
