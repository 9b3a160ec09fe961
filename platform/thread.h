#pragma once
// Threads, critical sections and events, and waiting for them.
//
// Thread and event handles are small numbers into a process-wide table, so a
// handle fits a 32-bit field of a record handed to another module. A handle
// that was closed is refused by every call (last error kErrorInvalidHandle).

#include <cstdint>
#include <mutex>

struct ThreadHandle {
  uint32_t value = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(ThreadHandle, ThreadHandle) = default;
};

struct EventHandle {
  uint32_t value = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(EventHandle, EventHandle) = default;
};

// Waiting.

constexpr uint32_t kWaitForever = 0xFFFFFFFF;

enum class WaitResult { Signalled, TimedOut, Failed };

// Threads. The priority is a hint: raising it above normal needs privileges
// the program usually lacks, and is then quietly left at normal.

enum class ThreadPriority { Lowest, BelowNormal, Normal, AboveNormal, Highest };

using ThreadFunction = uint32_t (*)(void* parameter);

// Starts function(parameter) on a new thread. Returns a null handle on failure.
ThreadHandle StartThread(ThreadFunction function, void* parameter,
                         ThreadPriority priority = ThreadPriority::Normal);

// Lets go of the handle; the thread itself runs on to its end.
bool CloseThreadHandle(ThreadHandle thread);

// Signalled once the thread's function has returned.
WaitResult WaitForThreadEnd(ThreadHandle thread, uint32_t milliseconds);

// True, with the function's result, once the thread has ended; false while it
// runs (last error 0) or for a bad handle (last error kErrorInvalidHandle).
// Lets a window thread poll a worker without blocking.
bool ThreadHasEnded(ThreadHandle thread, uint32_t* exitCode);

// A number naming the calling thread, never 0 and never reused while the
// thread runs.
uint32_t CurrentThreadId();

// Events. An automatic event wakes one waiter and clears itself; a set with
// no waiter stays set until the next wait takes it. A manual event stays set
// until it is cleared and wakes every waiter.

enum class EventReset { Automatic, Manual };

EventHandle CreateEventHandle(EventReset reset, bool initiallySet);
bool SignalEvent(EventHandle event);
bool ClearEvent(EventHandle event);
WaitResult WaitForEvent(EventHandle event, uint32_t milliseconds);
// Waiters still blocked on a closed event end with WaitResult::Failed.
bool CloseEventHandle(EventHandle event);

// A critical section, re-entrant for the thread that holds it: the memory
// manager shows its report box while holding its lock, and the box may
// allocate on the same thread.
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for the rest of a scope.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~CriticalSectionLock() { section_.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& section_;
};
