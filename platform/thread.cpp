#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <thread>
#include <vector>

#include "platform/error.h"

namespace {

// Handles index a table of shared records. A slot's low bits are its index,
// its high bits a generation, so a closed handle never names a new object.
constexpr uint32_t kIndexBits = 16;
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;

// The state a thread or an event shares with its waiters. A thread is
// "signalled" once it has ended, as a manual event would be.
struct Waitable {
  std::mutex mutex;
  std::condition_variable changed;
  bool signalled = false;
  bool manual = true;
  bool closed = false;
  uint32_t exitCode = 0;
};

template <class Tag>
class HandleTable {
 public:
  uint32_t Add(std::shared_ptr<Waitable> object) {
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
    } else {
      if (slots_.size() >= kIndexMask) return 0;
      slots_.push_back({});
      index = static_cast<uint32_t>(slots_.size() - 1);
    }
    Slot& slot = slots_[index];
    slot.generation = (slot.generation + 1) & ((1u << (32 - kIndexBits)) - 1);
    if (slot.generation == 0) slot.generation = 1;
    slot.object = std::move(object);
    return (slot.generation << kIndexBits) | (index + 1);
  }

  std::shared_ptr<Waitable> Find(uint32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot* slot = Locate(value);
    return slot ? slot->object : nullptr;
  }

  std::shared_ptr<Waitable> Remove(uint32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot* slot = Locate(value);
    if (!slot) return nullptr;
    std::shared_ptr<Waitable> object = std::move(slot->object);
    slot->object = nullptr;
    free_.insert(free_.begin(), (value & kIndexMask) - 1);
    return object;
  }

 private:
  struct Slot {
    uint32_t generation = 0;
    std::shared_ptr<Waitable> object;
  };

  Slot* Locate(uint32_t value) {
    uint32_t index = value & kIndexMask;
    if (index == 0 || index > slots_.size()) return nullptr;
    Slot& slot = slots_[index - 1];
    if (!slot.object || slot.generation != (value >> kIndexBits)) return nullptr;
    return &slot;
  }

  std::mutex mutex_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;  // reused oldest first, so generations spread
};

struct ThreadTag {};
struct EventTag {};

HandleTable<ThreadTag>& Threads() {
  static HandleTable<ThreadTag>* table = new HandleTable<ThreadTag>;
  return *table;
}

HandleTable<EventTag>& Events() {
  static HandleTable<EventTag>* table = new HandleTable<EventTag>;
  return *table;
}

std::shared_ptr<Waitable> Lookup(uint32_t value, bool thread) {
  std::shared_ptr<Waitable> object = thread ? Threads().Find(value) : Events().Find(value);
  if (!object) SetLastErrorCode(kErrorInvalidHandle);
  return object;
}

WaitResult Wait(Waitable& object, uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(object.mutex);
  auto ready = [&object] { return object.signalled || object.closed; };
  if (milliseconds == kWaitForever) {
    object.changed.wait(lock, ready);
  } else if (!object.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
    return WaitResult::TimedOut;
  }
  if (!object.signalled) {
    SetLastErrorCode(kErrorInvalidHandle);
    return WaitResult::Failed;
  }
  if (!object.manual) object.signalled = false;
  return WaitResult::Signalled;
}

int NiceValue(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::Lowest:
      return 10;
    case ThreadPriority::BelowNormal:
      return 5;
    case ThreadPriority::Normal:
      return 0;
    case ThreadPriority::AboveNormal:
      return -5;
    case ThreadPriority::Highest:
      return -10;
  }
  return 0;
}

std::atomic<uint32_t> nextThreadId{1};

}  // namespace

ThreadHandle StartThread(ThreadFunction function, void* parameter, ThreadPriority priority) {
  if (!function) {
    SetLastErrorCode(kErrorInvalidParameter);
    return {};
  }
  auto state = std::make_shared<Waitable>();
  uint32_t value = Threads().Add(state);
  if (!value) {
    SetLastErrorCode(kErrorNotEnoughMemory);
    return {};
  }
  try {
    std::thread([state, function, parameter, priority] {
      // Per-thread nice values apply to the calling thread only on Linux;
      // raising priority without privileges fails and is left at that.
      if (priority != ThreadPriority::Normal) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), NiceValue(priority));
      }
      uint32_t exitCode = function(parameter);
      std::lock_guard<std::mutex> lock(state->mutex);
      state->exitCode = exitCode;
      state->signalled = true;
      state->changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    Threads().Remove(value);
    SetLastErrorCode(kErrorNotEnoughMemory);
    return {};
  }
  return {value};
}

bool CloseThreadHandle(ThreadHandle thread) {
  if (!Threads().Remove(thread.value)) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  return true;
}

WaitResult WaitForThreadEnd(ThreadHandle thread, uint32_t milliseconds) {
  std::shared_ptr<Waitable> state = Lookup(thread.value, true);
  if (!state) return WaitResult::Failed;
  return Wait(*state, milliseconds);
}

bool ThreadHasEnded(ThreadHandle thread, uint32_t* exitCode) {
  std::shared_ptr<Waitable> state = Lookup(thread.value, true);
  if (!state) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  if (!state->signalled) {
    SetLastErrorCode(kErrorSuccess);
    return false;
  }
  if (exitCode) *exitCode = state->exitCode;
  return true;
}

uint32_t CurrentThreadId() {
  thread_local uint32_t id = nextThreadId.fetch_add(1);
  return id;
}

EventHandle CreateEventHandle(EventReset reset, bool initiallySet) {
  auto event = std::make_shared<Waitable>();
  event->manual = reset == EventReset::Manual;
  event->signalled = initiallySet;
  uint32_t value = Events().Add(std::move(event));
  if (!value) SetLastErrorCode(kErrorNotEnoughMemory);
  return {value};
}

bool SignalEvent(EventHandle handle) {
  std::shared_ptr<Waitable> event = Lookup(handle.value, false);
  if (!event) return false;
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signalled = true;
  if (event->manual) {
    event->changed.notify_all();
  } else {
    event->changed.notify_one();
  }
  return true;
}

bool ClearEvent(EventHandle handle) {
  std::shared_ptr<Waitable> event = Lookup(handle.value, false);
  if (!event) return false;
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signalled = false;
  return true;
}

WaitResult WaitForEvent(EventHandle handle, uint32_t milliseconds) {
  std::shared_ptr<Waitable> event = Lookup(handle.value, false);
  if (!event) return WaitResult::Failed;
  return Wait(*event, milliseconds);
}

bool CloseEventHandle(EventHandle handle) {
  std::shared_ptr<Waitable> event = Events().Remove(handle.value);
  if (!event) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  std::lock_guard<std::mutex> lock(event->mutex);
  event->closed = true;
  event->changed.notify_all();
  return true;
}
