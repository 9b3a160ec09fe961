#pragma once
// Dynamic libraries, loaded at run time by the name the system gives them.
//
// A plain name such as "rapi.dll" is looked for, in this order, as
// librapi.so and as rapi.dll in the folder of the running program, then as
// librapi.so and as rapi.dll on the library search path. The ".dll" ending is
// optional ("rapi" finds librapi.so too); a name that already ends in ".so"
// is taken as it is. In the program's folder names are found without regard
// to ASCII letter case, as the system finds them; on the search path they are
// not. A name with a drive or a backslash is a system path
// (platform/file.h): "C:\Program Files\Qualen Software\uninstaller.dll" loads
// that file, or failing that libuninstaller.so in the same folder.
//
// Failures leave the reason as the thread's last error.

#include <cstdint>

#include "platform/error.h"

constexpr uint32_t kErrorModuleNotFound = 126;
constexpr uint32_t kErrorFunctionNotFound = 127;

struct DynamicModule;

// What a function lookup gives; cast it to the function's real type.
using ModuleFunction = void (*)();

// Null when the library is nowhere to be found or cannot be loaded
// (kErrorModuleNotFound). Each load must be paired with one ModuleUnload.
DynamicModule* ModuleLoad(const char* name);
DynamicModule* ModuleLoad(const char16_t* name);

// The exported function of that name, or null (kErrorFunctionNotFound).
ModuleFunction ModuleFindFunction(DynamicModule* module, const char* name);

// Releases a loaded library; its functions must not be called afterwards.
bool ModuleUnload(DynamicModule* module);
