#pragma once
// What crosses between processes of the same user: named mutexes, and the
// top-level windows that FindTopLevelWindow (window.h) finds in another
// process and PostWindowMessage reaches there. Both live in the user's
// runtime directory ($XDG_RUNTIME_DIR/vorlan, else /tmp/vorlan-UID).

#include <cstdint>

#include "platform/thread.h"

struct NamedMutexHandle {
  uint32_t value = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(NamedMutexHandle, NamedMutexHandle) = default;
};

// Opens (creating it if needed) the mutex of that name, case-sensitive. With
// owned set it waits until it holds it, so two copies starting at once take
// turns. Returns null on failure. Ownership belongs to the handle: a second
// handle of the same name in the same process waits like another process.
NamedMutexHandle CreateNamedMutex(const char16_t* name, bool owned);
NamedMutexHandle CreateNamedMutex(const char* name, bool owned);

WaitResult WaitForNamedMutex(NamedMutexHandle mutex, uint32_t milliseconds);
bool ReleaseNamedMutex(NamedMutexHandle mutex);
// Closing releases it if held. A process that ends releases its mutexes.
bool CloseNamedMutex(NamedMutexHandle mutex);
