#include "platform/window.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/error.h"
#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/region.h"
#include "platform/screen.h"
#include "platform/thread.h"
#include "platform/trace.h"

// The cross-process half lives in instance.cpp.
namespace instance_detail {
void PublishTopLevelWindow(WindowHandle window, const std::string& classKey);
void WithdrawTopLevelWindow(WindowHandle window, const std::string& classKey);
WindowHandle FindRemoteTopLevelWindow(const std::string& classKey);
bool RemoteWindowExists(WindowHandle window);
bool RemoteGetWindowWord(WindowHandle window, int32_t index, intptr_t* value);
bool RemotePostMessage(WindowHandle window, uint32_t message, MessageWord word, MessageLong value);
}  // namespace instance_detail

// Pictures and contexts live in graphics.cpp.
namespace graphics_detail {
std::shared_ptr<Bitmap> CreateSurface(int32_t width, int32_t height);
void CopySurface(Bitmap* destination, const Bitmap* source);
DeviceContext* CreateWindowContext(std::shared_ptr<Bitmap> surface, Point origin,
                                   std::vector<Rect> clip);
bool DestroyWindowContext(DeviceContext* dc, Rect* drawn);
bool ReadColors(const Bitmap* bitmap, const Rect& area, uint32_t* pixels, int32_t pitch);
}  // namespace graphics_detail

const char16_t kStaticClassName[] = u"Static";

namespace {

// A handle is the slot index + 1 (20 bits), the slot's generation (22 bits)
// and the process id (22 bits, the kernel's limit for process ids).
constexpr uint64_t kIndexBits = 20;
constexpr uint64_t kGenerationBits = 22;
constexpr uint64_t kIndexMask = (uint64_t{1} << kIndexBits) - 1;
constexpr uint64_t kGenerationMask = (uint64_t{1} << kGenerationBits) - 1;

uint64_t ProcessOf(WindowHandle window) {
  return window.value >> (kIndexBits + kGenerationBits);
}
bool IsLocal(WindowHandle window) {
  return ProcessOf(window) == static_cast<uint64_t>(getpid());
}

struct Queue;

struct RegionDeleter {
  void operator()(Region* region) const { DeleteRegion(region); }
};
using RegionPointer = std::unique_ptr<Region, RegionDeleter>;

struct WindowRecord {
  WindowHandle handle;
  std::u16string className;
  std::string classKey;  // the folded name that other processes look for
  WindowProcedure procedure = nullptr;
  uint32_t style = 0;
  uint32_t controlId = 0;
  WindowHandle parent;
  WindowHandle owner;
  std::vector<WindowHandle> children;
  std::vector<intptr_t> words;
  std::u16string text;
  Rect rect;  // relative to the parent's client area, or the screen
  uint32_t threadId = 0;
  std::shared_ptr<Queue> queue;
  bool destroying = false;
  // On the screen.
  bool visible = false;
  bool redraw = true;
  bool topMost = false;
  bool erase = false;
  RegionPointer update;             // invalid area, client coordinates; null when valid
  RegionPointer shape;              // window region, window coordinates; null for the rectangle
  std::shared_ptr<Bitmap> surface;  // top-level windows: the picture
  uint32_t classCursor = 0;
};

struct Timer {
  WindowHandle window;
  uint32_t id = 0;
  uint32_t period = 0;
  uint64_t due = 0;  // milliseconds on the monotonic clock
};

// A message sent from another thread, waiting on the sender's stack until
// the owning thread has run the procedure.
struct PendingSend {
  WindowHandle window;
  uint32_t message = 0;
  MessageWord word = 0;
  MessageLong value = 0;
  MessageResult result = 0;
  uint32_t error = kErrorSuccess;
  bool done = false;
  std::shared_ptr<Queue> sender;
};

struct Queue {
  uint32_t threadId = 0;
  std::deque<Message> posted;
  std::deque<PendingSend*> sends;
  std::vector<Timer> timers;
  bool quitPending = false;
  int32_t quitCode = 0;
  bool alive = true;
  MessageQueueHook* hook = nullptr;
  std::condition_variable wake;
};

struct ClassRecord {
  WindowClass description;
};

struct Slot {
  uint32_t generation = 0;
  std::unique_ptr<WindowRecord> record;
};

// Everything below is guarded by one lock; procedures are always called
// without it, so they may post, send, create and destroy freely and an
// exception leaving a procedure passes through untouched.
struct State {
  std::mutex mutex;
  std::vector<Slot> slots;
  std::deque<uint32_t> freeSlots;  // oldest first, so generations spread
  std::vector<ClassRecord> classes;
  std::vector<WindowHandle> topLevel;  // creation order
  std::unordered_map<uint32_t, std::shared_ptr<Queue>> queues;
  uint32_t firstGeneration = 0;
  // On the screen.
  std::vector<WindowHandle> zOrder;  // top-level windows, front first
  WindowHandle capture;
  WindowHandle focus;
  WindowHandle active;
  Point cursor;
  std::array<bool, 256> keys{};  // virtual keys down, as the input said
  uint32_t systemCursor = 0;     // the system cursor shown
};

State& Global() {
  // Never destroyed: other threads may still post while the process ends.
  static State* state = [] {
    State* created = new State;
    created->classes.push_back({{kStaticClassName, DefaultWindowProcedure, 0, 0, 0, 0}});
    // A new process starts its generations elsewhere, so a handle of an
    // ended process that reused the id is unlikely to match.
    created->firstGeneration = static_cast<uint32_t>(
        (PerformanceCount() ^ (static_cast<uint64_t>(getpid()) << 7)) & kGenerationMask);
    return created;
  }();
  return *state;
}

uint64_t NowMilliseconds() {
  return PerformanceCount() / (PerformanceFrequency() / 1000);
}

char16_t FoldCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  return c;
}

bool SameName(const std::u16string& a, const char16_t* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == 0 || FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return b[i] == 0;
}

// The folded name as UTF-8, which is what the other processes compare.
std::string ClassKey(const std::u16string& name) {
  std::string key;
  for (char16_t unit : name) {
    char32_t c = FoldCase(unit);
    if (c < 0x80) {
      key += static_cast<char>(c);
    } else if (c < 0x800) {
      key += static_cast<char>(0xC0 | (c >> 6));
      key += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      key += static_cast<char>(0xE0 | (c >> 12));
      key += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      key += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return key;
}

// 8-bit window texts are Windows-1252, the code page of the setup's text.
std::u16string Widen(const char* text) {
  return text ? Windows1252ToUtf16(text) : std::u16string();
}

char Narrow(char16_t unit) {
  char byte = '?';
  UnitToWindows1252(unit, &byte);
  return byte;
}

std::u16string Copy(const char16_t* text) {
  return text ? std::u16string(text) : std::u16string();
}

int32_t CopyOut(const std::u16string& text, char16_t* buffer, int32_t capacity) {
  if (!buffer || capacity <= 0) return 0;
  int32_t count = std::min<int32_t>(static_cast<int32_t>(text.size()), capacity - 1);
  for (int32_t i = 0; i < count; ++i) buffer[i] = text[i];
  buffer[count] = 0;
  return count;
}

int32_t CopyOut(const std::u16string& text, char* buffer, int32_t capacity) {
  if (!buffer || capacity <= 0) return 0;
  int32_t count = std::min<int32_t>(static_cast<int32_t>(text.size()), capacity - 1);
  for (int32_t i = 0; i < count; ++i) buffer[i] = Narrow(text[i]);
  buffer[count] = 0;
  return count;
}

// Lock held for all of these.

WindowRecord* FindLocked(WindowHandle window) {
  State& state = Global();
  if (!IsLocal(window)) return nullptr;
  uint64_t index = window.value & kIndexMask;
  if (index == 0 || index > state.slots.size()) return nullptr;
  Slot& slot = state.slots[index - 1];
  if (!slot.record || slot.generation != ((window.value >> kIndexBits) & kGenerationMask)) {
    return nullptr;
  }
  return slot.record.get();
}

WindowRecord* FindOrFail(WindowHandle window) {
  WindowRecord* record = FindLocked(window);
  if (!record) SetLastErrorCode(kErrorInvalidHandle);
  return record;
}

ClassRecord* FindClassLocked(const char16_t* name) {
  if (!name) return nullptr;
  for (ClassRecord& record : Global().classes) {
    if (SameName(record.description.name, name)) return &record;
  }
  return nullptr;
}

void WakeLocked(Queue& queue) {
  queue.wake.notify_all();
  if (queue.hook) queue.hook->Wake();
}

// The calling thread's queue, made on first use and retired when the thread
// ends: its windows then vanish without messages (their procedures may rely
// on thread-local state that is already gone) and waiting senders fail.
struct QueueOwner {
  std::shared_ptr<Queue> queue;
  ~QueueOwner();
};

thread_local QueueOwner currentQueue;

Queue& CurrentQueueLocked() {
  if (!currentQueue.queue) {
    currentQueue.queue = std::make_shared<Queue>();
    currentQueue.queue->threadId = CurrentThreadId();
    Global().queues[currentQueue.queue->threadId] = currentQueue.queue;
  }
  return *currentQueue.queue;
}

void FailSendsLocked(Queue& queue, WindowHandle window) {
  for (auto it = queue.sends.begin(); it != queue.sends.end();) {
    PendingSend* send = *it;
    if (window && send->window != window) {
      ++it;
      continue;
    }
    send->error = kErrorInvalidHandle;
    send->done = true;
    WakeLocked(*send->sender);
    it = queue.sends.erase(it);
  }
}

void UnlinkLocked(WindowRecord& record) {
  State& state = Global();
  auto remove = [&record](std::vector<WindowHandle>& list) {
    for (auto it = list.begin(); it != list.end(); ++it) {
      if (*it == record.handle) {
        list.erase(it);
        return;
      }
    }
  };
  if (WindowRecord* parent = FindLocked(record.parent)) {
    remove(parent->children);
  } else {
    remove(state.topLevel);
    remove(state.zOrder);
  }
  if (state.capture == record.handle) state.capture = {};
  if (state.focus == record.handle) state.focus = {};
  if (state.active == record.handle) state.active = {};
  Queue& queue = *record.queue;
  std::erase_if(queue.timers, [&record](const Timer& t) { return t.window == record.handle; });
  std::erase_if(queue.posted, [&record](const Message& m) { return m.window == record.handle; });
  FailSendsLocked(queue, record.handle);
  uint64_t index = (record.handle.value & kIndexMask) - 1;
  state.slots[index].record.reset();
  state.freeSlots.push_back(static_cast<uint32_t>(index));
}

QueueOwner::~QueueOwner() {
  if (!queue) return;
  std::vector<std::pair<WindowHandle, std::string>> published;
  {
    State& state = Global();
    std::lock_guard<std::mutex> lock(state.mutex);
    queue->alive = false;
    FailSendsLocked(*queue, {});
    // Children before parents, so unlinking always finds the parent.
    bool removed = true;
    while (removed) {
      removed = false;
      for (Slot& slot : state.slots) {
        WindowRecord* record = slot.record.get();
        if (!record || record->queue != queue || !record->children.empty()) continue;
        if (!(record->style & kStyleChild))
          published.emplace_back(record->handle, record->classKey);
        UnlinkLocked(*record);
        removed = true;
      }
    }
    state.queues.erase(queue->threadId);
  }
  for (auto& [handle, key] : published) instance_detail::WithdrawTopLevelWindow(handle, key);
  queue.reset();
}

MessageResult CallProcedure(WindowHandle window, uint32_t message, MessageWord word,
                            MessageLong value) {
  WindowProcedure procedure;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return 0;
    procedure = record->procedure;
  }
  return procedure ? procedure(window, message, word, value) : 0;
}

// Runs the messages other threads sent to this one. Called with the lock
// held; drops it around each procedure call.
void ServeSends(std::unique_lock<std::mutex>& lock, Queue& queue) {
  while (!queue.sends.empty()) {
    PendingSend* send = queue.sends.front();
    queue.sends.pop_front();
    WindowRecord* record = FindLocked(send->window);
    if (!record) {
      send->error = kErrorInvalidHandle;
    } else {
      WindowProcedure procedure = record->procedure;
      lock.unlock();
      MessageResult result = 0;
      try {
        result = procedure ? procedure(send->window, send->message, send->word, send->value) : 0;
      } catch (...) {
        lock.lock();
        send->done = true;
        send->error = kErrorGeneralFailure;
        WakeLocked(*send->sender);
        throw;
      }
      lock.lock();
      send->result = result;
    }
    send->done = true;
    WakeLocked(*send->sender);
  }
}

// Shown, and so are all its parents.
bool VisibleLocked(const WindowRecord* record) {
  for (; record; record = FindLocked(record->parent)) {
    if (!record->visible) return false;
  }
  return true;
}

// Drawing shows: redraw is on for it and all its parents.
bool RedrawLocked(const WindowRecord* record) {
  for (; record; record = FindLocked(record->parent)) {
    if (!record->redraw) return false;
  }
  return true;
}

WindowHandle FindPaintInTreeLocked(WindowHandle window, const Queue& queue) {
  WindowRecord* record = FindLocked(window);
  if (!record || !record->visible || !record->redraw) return {};
  if (record->queue.get() == &queue && record->update) return window;
  for (WindowHandle child : record->children) {
    if (WindowHandle found = FindPaintInTreeLocked(child, queue)) return found;
  }
  return {};
}

// The first window of this queue's thread that needs painting, parents
// before their children.
WindowHandle FindPaintLocked(const Queue& queue) {
  for (WindowHandle top : Global().topLevel) {
    if (WindowHandle found = FindPaintInTreeLocked(top, queue)) return found;
  }
  return {};
}

// The heart of GetNextMessage and PeekNextMessage: true when a message was
// found (written to *message).
bool TakeMessage(Message* message, bool wait, bool remove) {
  State& state = Global();
  std::unique_lock<std::mutex> lock(state.mutex);
  std::shared_ptr<Queue> keep = (CurrentQueueLocked(), currentQueue.queue);
  Queue& queue = *keep;
  for (;;) {
    ServeSends(lock, queue);
    if (queue.hook) {
      MessageQueueHook* hook = queue.hook;
      lock.unlock();
      hook->Pump();
      lock.lock();
      ServeSends(lock, queue);
    }
    if (!queue.posted.empty()) {
      *message = queue.posted.front();
      if (remove) queue.posted.pop_front();
      return true;
    }
    if (queue.quitPending) {
      *message = Message{};
      message->message = kMessageQuit;
      message->word = static_cast<MessageWord>(static_cast<intptr_t>(queue.quitCode));
      message->time = TickCount();
      if (remove) queue.quitPending = false;
      return true;
    }
    if (WindowHandle paint = FindPaintLocked(queue)) {
      *message = Message{};
      message->window = paint;
      message->message = kMessagePaint;
      message->time = TickCount();
      message->position = state.cursor;
      return true;
    }
    uint64_t now = NowMilliseconds();
    Timer* due = nullptr;
    for (Timer& timer : queue.timers) {
      if (timer.due <= now && (!due || timer.due < due->due)) due = &timer;
    }
    if (due) {
      *message = Message{};
      message->window = due->window;
      message->message = kMessageTimer;
      message->word = due->id;
      message->time = TickCount();
      if (remove) due->due = now + due->period;
      return true;
    }
    if (!wait) return false;
    uint64_t next = UINT64_MAX;
    for (const Timer& timer : queue.timers) next = std::min(next, timer.due);
    if (queue.hook) {
      MessageQueueHook* hook = queue.hook;
      uint32_t timeout =
          next == UINT64_MAX
              ? kWaitForever
              : static_cast<uint32_t>(std::min<uint64_t>(next - now, kWaitForever - 1));
      lock.unlock();
      hook->Wait(timeout);
      lock.lock();
    } else if (next == UINT64_MAX) {
      queue.wake.wait(lock);
    } else {
      queue.wake.wait_for(lock, std::chrono::milliseconds(next - now));
    }
  }
}

// Top-most windows stay in front of the others.
void InsertInZOrderLocked(WindowHandle window, bool topMost) {
  std::vector<WindowHandle>& order = Global().zOrder;
  std::erase(order, window);
  auto position = order.begin();
  if (!topMost) {
    while (position != order.end()) {
      WindowRecord* record = FindLocked(*position);
      if (!record || !record->topMost) break;
      ++position;
    }
  }
  order.insert(position, window);
}

WindowHandle CreateWindowWide(const char16_t* className, std::u16string text, uint32_t style,
                              int32_t x, int32_t y, int32_t width, int32_t height,
                              WindowHandle parent, uint32_t controlId, void* creationData) {
  State& state = Global();
  WindowHandle handle;
  std::string classKey;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    ClassRecord* windowClass = FindClassLocked(className);
    if (!windowClass) {
      TraceOutput("CreateWindowOfClass called for a class that is not registered\n");
      SetLastErrorCode(kErrorInvalidParameter);
      return {};
    }
    WindowRecord* parentRecord = nullptr;
    if (parent) {
      parentRecord = FindLocked(parent);
      if (!parentRecord) {
        SetLastErrorCode(kErrorInvalidHandle);
        return {};
      }
    } else if (style & kStyleChild) {
      SetLastErrorCode(kErrorInvalidParameter);
      return {};
    }
    uint32_t index;
    if (!state.freeSlots.empty()) {
      index = state.freeSlots.front();
      state.freeSlots.pop_front();
    } else {
      if (state.slots.size() >= kIndexMask) {
        SetLastErrorCode(kErrorNotEnoughMemory);
        return {};
      }
      state.slots.push_back({state.firstGeneration, nullptr});
      index = static_cast<uint32_t>(state.slots.size() - 1);
    }
    Slot& slot = state.slots[index];
    slot.generation = (slot.generation + 1) & kGenerationMask;
    handle.value = (static_cast<uint64_t>(getpid()) << (kIndexBits + kGenerationBits)) |
                   (static_cast<uint64_t>(slot.generation) << kIndexBits) | (index + 1);
    auto record = std::make_unique<WindowRecord>();
    record->handle = handle;
    record->className = windowClass->description.name;
    record->classKey = ClassKey(record->className);
    record->procedure = windowClass->description.procedure;
    record->classCursor = windowClass->description.cursor;
    record->style = style;
    record->controlId = controlId;
    record->words.assign(static_cast<size_t>(std::max(0, windowClass->description.windowWords)), 0);
    record->text = std::move(text);
    record->rect = {x, y, x + std::max(0, width), y + std::max(0, height)};
    record->threadId = CurrentThreadId();
    CurrentQueueLocked();
    record->queue = currentQueue.queue;
    // Visibility comes after creation, through ShowWindow.
    record->style &= ~kStyleVisible;
    if (style & kStyleChild) {
      record->parent = parent;
      parentRecord->children.push_back(handle);
    } else {
      record->owner = parent;
      state.topLevel.push_back(handle);
      classKey = record->classKey;
      record->surface = graphics_detail::CreateSurface(record->rect.Width(), record->rect.Height());
      InsertInZOrderLocked(handle, false);
    }
    slot.record = std::move(record);
  }
  WindowCreation creation{creationData, parent, style, x, y, width, height, controlId};
  MessageResult answer =
      CallProcedure(handle, kMessageCreate, 0, reinterpret_cast<MessageLong>(&creation));
  if (answer == -1) {
    DestroyWindow(handle);
    SetLastErrorCode(kErrorGeneralFailure);
    return {};
  }
  if (!WindowExists(handle)) {
    SetLastErrorCode(kErrorGeneralFailure);
    return {};
  }
  if (!classKey.empty()) {
    instance_detail::PublishTopLevelWindow(handle, classKey);
    GetScreenBackend()->WindowCreated(handle);
  }
  if (style & kStyleVisible) ShowWindow(handle, kShowNormal);
  return handle;
}

// Adds a rectangle (client coordinates) to the invalid area of the window
// and of the children under it.
void InvalidateLocked(WindowRecord& record, const Rect& rect, bool erase) {
  Rect client{0, 0, record.rect.Width(), record.rect.Height()};
  Rect area{std::max(rect.left, client.left), std::max(rect.top, client.top),
            std::min(rect.right, client.right), std::min(rect.bottom, client.bottom)};
  if (area.right <= area.left || area.bottom <= area.top) return;
  Region* piece = CreateRectangleRegion(area);
  if (record.update) {
    CombineRegions(record.update.get(), record.update.get(), piece, RegionOperation::kOr);
    DeleteRegion(piece);
  } else {
    record.update.reset(piece);
  }
  record.erase = record.erase || erase;
  for (WindowHandle child : record.children) {
    WindowRecord* childRecord = FindLocked(child);
    if (!childRecord) continue;
    Rect inChild{area.left - childRecord->rect.left, area.top - childRecord->rect.top,
                 area.right - childRecord->rect.left, area.bottom - childRecord->rect.top};
    InvalidateLocked(*childRecord, inChild, erase);
  }
  WakeLocked(*record.queue);
}

// Who becomes active when the active window goes: its owner when that can
// take input and is shown, else the front-most such top-level window.
WindowHandle SuccessorLocked(const WindowRecord& leaving) {
  auto eligible = [&leaving](const WindowRecord* record) {
    return record && record != &leaving && !record->destroying && record->visible &&
           !(record->style & kStyleDisabled) && record->owner != leaving.handle;
  };
  WindowRecord* owner = FindLocked(leaving.owner);
  if (eligible(owner)) return owner->handle;
  for (WindowHandle top : Global().zOrder) {
    WindowRecord* record = FindLocked(top);
    if (eligible(record)) return top;
  }
  return {};
}

void ChangeActive(WindowHandle window, uint16_t how);

void DestroyTree(WindowHandle window) {
  State& state = Global();
  std::vector<WindowHandle> dependants;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    WindowRecord* record = FindLocked(window);
    if (!record || record->destroying) return;
    record->destroying = true;
    for (WindowHandle top : state.topLevel) {
      WindowRecord* owned = FindLocked(top);
      if (owned && owned->owner == window && owned->threadId == record->threadId) {
        dependants.push_back(top);
      }
    }
    dependants.insert(dependants.end(), record->children.begin(), record->children.end());
  }
  for (WindowHandle dependant : dependants) DestroyTree(dependant);
  CallProcedure(window, kMessageDestroy, 0, 0);
  // Children created while the window was being destroyed go with it.
  for (;;) {
    std::vector<WindowHandle> late;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      WindowRecord* record = FindLocked(window);
      if (!record) return;
      late = record->children;
    }
    if (late.empty()) break;
    for (WindowHandle child : late) DestroyTree(child);
  }
  std::string classKey;
  bool topLevel = false;
  WindowHandle successor;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    WindowRecord* record = FindLocked(window);
    if (!record) return;
    topLevel = !(record->style & kStyleChild);
    if (state.active == window) successor = SuccessorLocked(*record);
    if (record->visible) {
      if (WindowRecord* parent = FindLocked(record->parent)) {
        InvalidateLocked(*parent, record->rect, true);
      }
    }
    // One another thread added since is cut loose, not left naming a gone parent.
    for (WindowHandle child : record->children) {
      if (WindowRecord* late = FindLocked(child)) late->parent = {};
    }
    for (WindowHandle top : state.topLevel) {
      if (WindowRecord* owned = FindLocked(top); owned && owned->owner == window) owned->owner = {};
    }
    if (!(record->style & kStyleChild)) classKey = record->classKey;
    UnlinkLocked(*record);
  }
  if (!classKey.empty()) instance_detail::WithdrawTopLevelWindow(window, classKey);
  if (topLevel) GetScreenBackend()->WindowDestroyed(window);
  if (successor) ChangeActive(successor, kActivationActive);
}

void TraceBadWordIndex(const char* operation, int32_t index, size_t words) {
  std::string text = std::string(operation) + " called with word index " + std::to_string(index) +
                     " for a window of " + std::to_string(words) + " words\n";
  TraceOutput(text.c_str());
}

template <class Field>
auto ReadField(WindowHandle window, Field field) -> decltype(field(std::declval<WindowRecord&>())) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return {};
  return field(*record);
}

}  // namespace

bool RegisterWindowClass(const WindowClass& description) {
  State& state = Global();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (description.name.empty() || description.windowWords < 0 || description.windowWords > 64) {
    TraceOutput("RegisterWindowClass called without a name or with a bad word count\n");
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  if (FindClassLocked(description.name.c_str())) {
    SetLastErrorCode(kErrorAlreadyExists);
    return false;
  }
  state.classes.push_back({description});
  return true;
}

bool UnregisterWindowClass(const char16_t* name) {
  State& state = Global();
  std::lock_guard<std::mutex> lock(state.mutex);
  for (auto it = state.classes.begin(); it != state.classes.end(); ++it) {
    if (SameName(it->description.name, name)) {
      state.classes.erase(it);
      return true;
    }
  }
  SetLastErrorCode(kErrorInvalidParameter);
  return false;
}

bool CopyWindowClass(const char16_t* name, WindowClass* description) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  ClassRecord* record = FindClassLocked(name);
  if (!record || !description) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  *description = record->description;
  return true;
}

bool CopyWindowClass(const char* name, WindowClass* description) {
  return CopyWindowClass(Widen(name).c_str(), description);
}

WindowHandle CreateWindowOfClass(const char16_t* className, const char16_t* text, uint32_t style,
                                 int32_t x, int32_t y, int32_t width, int32_t height,
                                 WindowHandle parent, uint32_t controlId, void* creationData) {
  return CreateWindowWide(className, Copy(text), style, x, y, width, height, parent, controlId,
                          creationData);
}

WindowHandle CreateWindowOfClass(const char* className, const char* text, uint32_t style, int32_t x,
                                 int32_t y, int32_t width, int32_t height, WindowHandle parent,
                                 uint32_t controlId, void* creationData) {
  return CreateWindowWide(Widen(className).c_str(), Widen(text), style, x, y, width, height, parent,
                          controlId, creationData);
}

bool DestroyWindow(WindowHandle window) {
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return false;
    if (record->threadId != CurrentThreadId()) {
      TraceOutput("DestroyWindow called from a thread that does not own the window\n");
      SetLastErrorCode(kErrorAccessDenied);
      return false;
    }
  }
  DestroyTree(window);
  return true;
}

bool WindowExists(WindowHandle window) {
  if (!window) return false;
  if (!IsLocal(window)) return instance_detail::RemoteWindowExists(window);
  std::lock_guard<std::mutex> lock(Global().mutex);
  return FindLocked(window) != nullptr;
}

uint32_t GetWindowThreadId(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) { return r.threadId; });
}

WindowProcedure GetWindowProcedure(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) { return r.procedure; });
}

WindowProcedure SetWindowProcedure(WindowHandle window, WindowProcedure procedure) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record || !procedure) {
    if (record) SetLastErrorCode(kErrorInvalidParameter);
    return nullptr;
  }
  WindowProcedure previous = record->procedure;
  record->procedure = procedure;
  return previous;
}

MessageResult DefaultWindowProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                     MessageLong value) {
  switch (message) {
    case kMessageSetText: {
      std::u16string title;
      {
        std::lock_guard<std::mutex> lock(Global().mutex);
        WindowRecord* record = FindOrFail(window);
        if (!record) return 0;
        record->text = Copy(reinterpret_cast<const char16_t*>(value));
        if (record->style & kStyleChild) return 1;
        title = record->text;
      }
      GetScreenBackend()->WindowTitleChanged(window, title);
      return 1;
    }
    case kMessagePaint: {
      PaintInfo paint;
      if (BeginPaint(window, &paint)) EndPaint(window, &paint);
      return 0;
    }
    case kMessageGetText:
      return GetWindowText(window, reinterpret_cast<char16_t*>(value), static_cast<int32_t>(word));
    case kMessageGetTextLength:
      return GetWindowTextLength(window);
    case kMessageClose:
      DestroyWindow(window);
      return 0;
    default:
      return 0;
  }
}

WindowHandle GetParentWindow(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) { return r.parent; });
}

WindowHandle GetOwnerWindow(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) { return r.owner; });
}

WindowHandle GetFirstChild(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) {
    return r.children.empty() ? WindowHandle{} : r.children.front();
  });
}

WindowHandle GetNextSibling(WindowHandle window) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return {};
  const std::vector<WindowHandle>* list = &Global().topLevel;
  if (WindowRecord* parent = FindLocked(record->parent)) list = &parent->children;
  for (size_t i = 0; i + 1 < list->size(); ++i) {
    if ((*list)[i] == window) return (*list)[i + 1];
  }
  return {};
}

WindowHandle GetChildById(WindowHandle parent, uint32_t controlId) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(parent);
  if (!record) return {};
  for (WindowHandle child : record->children) {
    WindowRecord* childRecord = FindLocked(child);
    if (childRecord && childRecord->controlId == controlId) return child;
  }
  SetLastErrorCode(kErrorInvalidParameter);
  return {};
}

intptr_t GetWindowWord(WindowHandle window, int32_t index) {
  if (window && !IsLocal(window)) {
    intptr_t value = 0;
    instance_detail::RemoteGetWindowWord(window, index, &value);
    return value;
  }
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return 0;
  if (index < 0 || static_cast<size_t>(index) >= record->words.size()) {
    TraceBadWordIndex("GetWindowWord", index, record->words.size());
    SetLastErrorCode(kErrorInvalidParameter);
    return 0;
  }
  SetLastErrorCode(kErrorSuccess);
  return record->words[static_cast<size_t>(index)];
}

intptr_t SetWindowWord(WindowHandle window, int32_t index, intptr_t value) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return 0;
  if (index < 0 || static_cast<size_t>(index) >= record->words.size()) {
    TraceBadWordIndex("SetWindowWord", index, record->words.size());
    SetLastErrorCode(kErrorInvalidParameter);
    return 0;
  }
  SetLastErrorCode(kErrorSuccess);
  intptr_t previous = record->words[static_cast<size_t>(index)];
  record->words[static_cast<size_t>(index)] = value;
  return previous;
}

uint32_t GetWindowStyle(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) { return r.style; });
}

uint32_t SetWindowStyle(WindowHandle window, uint32_t style) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return 0;
  // Being a child or not is fixed at creation: the window lists depend on it.
  uint32_t previous = record->style;
  record->style = (style & ~kStyleChild) | (previous & kStyleChild);
  return previous;
}

uint32_t GetControlId(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) { return r.controlId; });
}

bool SetWindowText(WindowHandle window, const char16_t* text) {
  if (!WindowExists(window)) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  std::u16string copy = Copy(text);
  return SendWindowMessage(window, kMessageSetText, 0,
                           reinterpret_cast<MessageLong>(copy.c_str())) != 0;
}

bool SetWindowText(WindowHandle window, const char* text) {
  return SetWindowText(window, Widen(text).c_str());
}

int32_t GetWindowText(WindowHandle window, char16_t* buffer, int32_t capacity) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  return record ? CopyOut(record->text, buffer, capacity) : 0;
}

int32_t GetWindowText(WindowHandle window, char* buffer, int32_t capacity) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  return record ? CopyOut(record->text, buffer, capacity) : 0;
}

int32_t GetWindowTextLength(WindowHandle window) {
  return ReadField(window, [](WindowRecord& r) { return static_cast<int32_t>(r.text.size()); });
}

int32_t GetWindowClassName(WindowHandle window, char16_t* buffer, int32_t capacity) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  return record ? CopyOut(record->className, buffer, capacity) : 0;
}

int32_t GetWindowClassName(WindowHandle window, char* buffer, int32_t capacity) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  return record ? CopyOut(record->className, buffer, capacity) : 0;
}

namespace {

// The screen position of the window's client origin.
bool OriginLocked(WindowHandle window, Point* origin) {
  *origin = {};
  for (WindowRecord* record = FindOrFail(window); record; record = FindLocked(record->parent)) {
    origin->x += record->rect.left;
    origin->y += record->rect.top;
  }
  return FindLocked(window) != nullptr;
}

}  // namespace

bool GetWindowRectangle(WindowHandle window, Rect* screen) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  Point origin;
  if (!record || !screen || !OriginLocked(window, &origin)) return false;
  *screen = {origin.x, origin.y, origin.x + record->rect.Width(), origin.y + record->rect.Height()};
  return true;
}

bool GetClientRectangle(WindowHandle window, Rect* client) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record || !client) return false;
  *client = {0, 0, record->rect.Width(), record->rect.Height()};
  return true;
}

bool MoveWindow(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height) {
  bool moved, sized, topLevel;
  Rect screen;
  width = std::max(0, width);
  height = std::max(0, height);
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return false;
    moved = record->rect.left != x || record->rect.top != y;
    sized = record->rect.Width() != width || record->rect.Height() != height;
    Rect old = record->rect;
    record->rect = {x, y, x + width, y + height};
    topLevel = !(record->style & kStyleChild);
    if (topLevel && sized) {
      // The picture keeps what was drawn where the window still reaches.
      std::shared_ptr<Bitmap> surface = graphics_detail::CreateSurface(width, height);
      if (surface) {
        graphics_detail::CopySurface(surface.get(), record->surface.get());
        record->surface = std::move(surface);
      }
    }
    if (sized) InvalidateLocked(*record, {0, 0, width, height}, true);
    if (!topLevel && record->visible && (moved || sized)) {
      if (WindowRecord* parent = FindLocked(record->parent)) {
        InvalidateLocked(*parent, old, true);
        InvalidateLocked(*parent, record->rect, true);
      }
    }
    screen = record->rect;
  }
  if (topLevel && (moved || sized)) GetScreenBackend()->WindowMoved(window, screen);
  if (moved) SendWindowMessage(window, kMessageMove, 0, MakePointParameter(x, y));
  if (sized) {
    SendWindowMessage(
        window, kMessageSize, 0,
        MakeLongParameter(static_cast<uint16_t>(width), static_cast<uint16_t>(height)));
  }
  return true;
}

bool ClientToScreen(WindowHandle window, Point* point) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  Point origin;
  if (!point || !OriginLocked(window, &origin)) return false;
  point->x += origin.x;
  point->y += origin.y;
  return true;
}

bool ScreenToClient(WindowHandle window, Point* point) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  Point origin;
  if (!point || !OriginLocked(window, &origin)) return false;
  point->x -= origin.x;
  point->y -= origin.y;
  return true;
}

WindowHandle FindTopLevelWindow(const char16_t* className) {
  if (!className) {
    SetLastErrorCode(kErrorInvalidParameter);
    return {};
  }
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    for (WindowHandle top : Global().topLevel) {
      WindowRecord* record = FindLocked(top);
      if (record && !record->destroying && SameName(record->className, className)) return top;
    }
  }
  WindowHandle remote = instance_detail::FindRemoteTopLevelWindow(ClassKey(className));
  if (!remote) SetLastErrorCode(kErrorFileNotFound);
  return remote;
}

WindowHandle FindTopLevelWindow(const char* className) {
  if (!className) return FindTopLevelWindow(static_cast<const char16_t*>(nullptr));
  return FindTopLevelWindow(Widen(className).c_str());
}

bool PostWindowMessage(WindowHandle window, uint32_t message, MessageWord word, MessageLong value) {
  if (window && !IsLocal(window)) {
    return instance_detail::RemotePostMessage(window, message, word, value);
  }
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return false;
  if (!record->queue->alive) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  record->queue->posted.push_back({window, message, word, value, TickCount(), Global().cursor});
  WakeLocked(*record->queue);
  return true;
}

bool PostThreadMessage(uint32_t threadId, uint32_t message, MessageWord word, MessageLong value) {
  State& state = Global();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto found = state.queues.find(threadId);
  if (found == state.queues.end() || !found->second->alive) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  found->second->posted.push_back({{}, message, word, value, TickCount(), state.cursor});
  WakeLocked(*found->second);
  return true;
}

void PostQuit(int32_t exitCode) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  Queue& queue = CurrentQueueLocked();
  queue.quitPending = true;
  queue.quitCode = exitCode;
}

MessageResult SendWindowMessage(WindowHandle window, uint32_t message, MessageWord word,
                                MessageLong value) {
  State& state = Global();
  std::unique_lock<std::mutex> lock(state.mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return 0;
  if (record->threadId == CurrentThreadId()) {
    WindowProcedure procedure = record->procedure;
    lock.unlock();
    return procedure ? procedure(window, message, word, value) : 0;
  }
  std::shared_ptr<Queue> target = record->queue;
  if (!target->alive) {
    SetLastErrorCode(kErrorInvalidHandle);
    return 0;
  }
  CurrentQueueLocked();
  std::shared_ptr<Queue> mine = currentQueue.queue;
  PendingSend send{window, message, word, value, 0, kErrorSuccess, false, mine};
  target->sends.push_back(&send);
  WakeLocked(*target);
  // While waiting, serve what others send here, so two threads sending to
  // each other do not wait for ever. The request lives in this frame, so an
  // exception from a procedure served meanwhile may leave only once the
  // request is taken back or answered; a later one is dropped.
  std::exception_ptr failure;
  while (!send.done) {
    if (!mine->sends.empty()) {
      try {
        ServeSends(lock, *mine);
      } catch (...) {
        if (!failure) failure = std::current_exception();
        if (std::erase(target->sends, &send) != 0) break;
      }
      continue;
    }
    mine->wake.wait(lock);
  }
  if (failure) std::rethrow_exception(failure);
  if (send.error != kErrorSuccess) SetLastErrorCode(send.error);
  return send.result;
}

bool GetNextMessage(Message* message) {
  Message local;
  if (!message) message = &local;
  TakeMessage(message, true, true);
  return message->message != kMessageQuit;
}

bool PeekNextMessage(Message* message, bool remove) {
  Message local;
  return TakeMessage(message ? message : &local, false, remove);
}

MessageResult DispatchWindowMessage(const Message& message) {
  if (!message.window) return 0;
  return CallProcedure(message.window, message.message, message.word, message.value);
}

uint32_t StartWindowTimer(WindowHandle window, uint32_t id, uint32_t periodMilliseconds) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return 0;
  if (id == 0) {
    TraceOutput("StartWindowTimer called with timer id 0\n");
    SetLastErrorCode(kErrorInvalidParameter);
    return 0;
  }
  uint32_t period = std::max<uint32_t>(1, periodMilliseconds);
  Queue& queue = *record->queue;
  uint64_t due = NowMilliseconds() + period;
  for (Timer& timer : queue.timers) {
    if (timer.window == window && timer.id == id) {
      timer.period = period;
      timer.due = due;
      WakeLocked(queue);
      return id;
    }
  }
  queue.timers.push_back({window, id, period, due});
  WakeLocked(queue);
  return id;
}

bool StopWindowTimer(WindowHandle window, uint32_t id) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return false;
  std::vector<Timer>& timers = record->queue->timers;
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->window == window && it->id == id) {
      timers.erase(it);
      return true;
    }
  }
  SetLastErrorCode(kErrorInvalidParameter);
  return false;
}

void SetMessageQueueHook(MessageQueueHook* hook) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  CurrentQueueLocked().hook = hook;
}

// On the screen.

namespace {

WindowRecord* TopLevelOfLocked(WindowRecord* record) {
  while (record && (record->style & kStyleChild)) record = FindLocked(record->parent);
  return record;
}

// The client origin within the top-level window's picture.
Point SurfaceOriginLocked(const WindowRecord* record) {
  Point origin;
  for (; record && (record->style & kStyleChild); record = FindLocked(record->parent)) {
    origin.x += record->rect.left;
    origin.y += record->rect.top;
  }
  return origin;
}

// What drawing into the window may reach, in picture coordinates: its client
// area within its parents', within the window regions on the way up. Empty
// while the window is hidden or its redraw is off.
Region* VisibleAreaLocked(WindowRecord* record) {
  Region* area = CreateEmptyRegion();
  if (!VisibleLocked(record) || !RedrawLocked(record)) return area;
  Point origin = SurfaceOriginLocked(record);
  SetRegionToRectangle(area, {origin.x, origin.y, origin.x + record->rect.Width(),
                              origin.y + record->rect.Height()});
  for (WindowRecord* level = record; level; level = FindLocked(level->parent)) {
    Point levelOrigin = SurfaceOriginLocked(level);
    Rect client{levelOrigin.x, levelOrigin.y, levelOrigin.x + level->rect.Width(),
                levelOrigin.y + level->rect.Height()};
    Region* limit = CreateRectangleRegion(client);
    CombineRegions(area, area, limit, RegionOperation::kAnd);
    DeleteRegion(limit);
    if (level->shape) {
      Region* shape = CreateEmptyRegion();
      CombineRegions(shape, level->shape.get(), nullptr, RegionOperation::kCopy);
      OffsetRegion(shape, levelOrigin.x, levelOrigin.y);
      CombineRegions(area, area, shape, RegionOperation::kAnd);
      DeleteRegion(shape);
    }
  }
  return area;
}

std::vector<Rect> RectanglesOf(const Region* region) {
  std::vector<Rect> rects(static_cast<size_t>(GetRegionRectangles(region, nullptr, 0)));
  GetRegionRectangles(region, rects.data(), static_cast<int32_t>(rects.size()));
  return rects;
}

// Messages to a window of another thread are posted, so a backend thread
// never runs a window procedure.
void Notify(WindowHandle window, uint32_t message, MessageWord word, MessageLong value) {
  if (!window) return;
  if (GetWindowThreadId(window) == CurrentThreadId()) {
    SendWindowMessage(window, message, word, value);
  } else {
    PostWindowMessage(window, message, word, value);
  }
}

void ChangeActive(WindowHandle window, uint16_t how) {
  WindowHandle previous;
  bool topMost = false;
  bool moveFocus = false;
  {
    State& state = Global();
    std::lock_guard<std::mutex> lock(state.mutex);
    WindowRecord* record = TopLevelOfLocked(FindLocked(window));
    window = record ? record->handle : WindowHandle{};
    previous = state.active;
    if (previous == window) return;
    state.active = window;
    if (record) {
      InsertInZOrderLocked(window, record->topMost);
      topMost = record->topMost;
      WindowRecord* focus = FindLocked(state.focus);
      moveFocus = !focus || TopLevelOfLocked(focus) != record;
    }
  }
  Notify(previous, kMessageActivate, MakeWordParameter(kActivationInactive, 0), window.ToWord());
  if (window) {
    GetScreenBackend()->WindowRaised(window, topMost);
    Notify(window, kMessageActivate, MakeWordParameter(how, 0), previous.ToWord());
    if (moveFocus) SetFocus(window);
  }
}

WindowHandle ChildFromPointLocked(WindowRecord* record, Point client) {
  for (WindowHandle child : record->children) {
    WindowRecord* childRecord = FindLocked(child);
    if (!childRecord || !childRecord->visible) continue;
    const Rect& r = childRecord->rect;
    if (client.x < r.left || client.x >= r.right || client.y < r.top || client.y >= r.bottom)
      continue;
    Point inChild{client.x - r.left, client.y - r.top};
    if (childRecord->shape && !RegionContainsPoint(childRecord->shape.get(), inChild.x, inChild.y))
      continue;
    return ChildFromPointLocked(childRecord, inChild);
  }
  return record->handle;
}

WindowHandle WindowFromPointLocked(Point screen) {
  for (WindowHandle top : Global().zOrder) {
    WindowRecord* record = FindLocked(top);
    if (!record || !record->visible || record->destroying) continue;
    const Rect& r = record->rect;
    if (screen.x < r.left || screen.x >= r.right || screen.y < r.top || screen.y >= r.bottom)
      continue;
    Point client{screen.x - r.left, screen.y - r.top};
    if (record->shape && !RegionContainsPoint(record->shape.get(), client.x, client.y)) continue;
    return ChildFromPointLocked(record, client);
  }
  return {};
}

// Input reaches a window only while it and its parents are enabled.
bool AcceptsInputLocked(const WindowRecord* record) {
  for (; record; record = FindLocked(record->parent)) {
    if (record->style & kStyleDisabled) return false;
  }
  return true;
}

bool IsButtonDown(uint32_t message) {
  return message == kMessageLeftButtonDown || message == kMessageRightButtonDown ||
         message == kMessageMiddleButtonDown;
}

}  // namespace

namespace window_detail {

// The display's palette changed: every picture shows other colours now.
void DisplayPaletteChanged() {
  std::vector<std::pair<WindowHandle, Rect>> shown;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    for (WindowHandle top : Global().topLevel) {
      WindowRecord* record = FindLocked(top);
      if (record && record->visible) {
        shown.emplace_back(top, Rect{0, 0, record->rect.Width(), record->rect.Height()});
      }
    }
  }
  for (auto& [window, area] : shown) GetScreenBackend()->PictureChanged(window, area);
}

}  // namespace window_detail

DeviceContext* BeginPaint(WindowHandle window, PaintInfo* paint) {
  std::shared_ptr<Bitmap> surface;
  Point origin;
  std::vector<Rect> clip;
  bool erase;
  Rect box;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record || !paint) return nullptr;
    WindowRecord* top = TopLevelOfLocked(record);
    if (!top || !top->surface) return nullptr;
    surface = top->surface;
    origin = SurfaceOriginLocked(record);
    Region* area = VisibleAreaLocked(record);
    if (record->update) {
      GetRegionBox(record->update.get(), &box);
      Region* update = CreateEmptyRegion();
      CombineRegions(update, record->update.get(), nullptr, RegionOperation::kCopy);
      OffsetRegion(update, origin.x, origin.y);
      CombineRegions(area, area, update, RegionOperation::kAnd);
      DeleteRegion(update);
    } else {
      SetRegionToRectangle(area, {});
    }
    clip = RectanglesOf(area);
    DeleteRegion(area);
    erase = record->erase;
    record->update.reset();
    record->erase = false;
  }
  DeviceContext* dc =
      graphics_detail::CreateWindowContext(std::move(surface), origin, std::move(clip));
  paint->dc = dc;
  paint->erase = erase;
  paint->paint = box;
  if (erase) {
    paint->erase = SendWindowMessage(window, kMessageEraseBackground,
                                     reinterpret_cast<MessageWord>(dc), 0) == 0;
  }
  return dc;
}

bool EndPaint(WindowHandle window, const PaintInfo* paint) {
  if (!paint) return false;
  return ReleaseWindowDC(window, paint->dc);
}

bool InvalidateRectangle(WindowHandle window, const Rect* rect, bool erase) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return false;
  InvalidateLocked(*record, rect ? *rect : Rect{0, 0, record->rect.Width(), record->rect.Height()},
                   erase);
  return true;
}

bool ValidateRectangle(WindowHandle window, const Rect* rect) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return false;
  if (!record->update) return true;
  if (!rect) {
    record->update.reset();
    record->erase = false;
    return true;
  }
  Region* piece = CreateRectangleRegion(*rect);
  if (CombineRegions(record->update.get(), record->update.get(), piece,
                     RegionOperation::kDifference) == kRegionEmpty) {
    record->update.reset();
    record->erase = false;
  }
  DeleteRegion(piece);
  return true;
}

bool GetUpdateRectangle(WindowHandle window, Rect* rect) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record || !rect) return false;
  *rect = {};
  if (!record->update) return false;
  return GetRegionBox(record->update.get(), rect) > kRegionEmpty;
}

bool UpdateWindow(WindowHandle window) {
  bool needed;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return false;
    needed = record->update && VisibleLocked(record) && RedrawLocked(record);
  }
  if (needed) SendWindowMessage(window, kMessagePaint, 0, 0);
  return true;
}

DeviceContext* GetWindowDC(WindowHandle window) {
  std::shared_ptr<Bitmap> surface;
  Point origin;
  std::vector<Rect> clip;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return nullptr;
    WindowRecord* top = TopLevelOfLocked(record);
    if (!top || !top->surface) return nullptr;
    surface = top->surface;
    origin = SurfaceOriginLocked(record);
    Region* area = VisibleAreaLocked(record);
    clip = RectanglesOf(area);
    DeleteRegion(area);
  }
  return graphics_detail::CreateWindowContext(std::move(surface), origin, std::move(clip));
}

bool ReleaseWindowDC(WindowHandle window, DeviceContext* dc) {
  Rect drawn;
  if (!graphics_detail::DestroyWindowContext(dc, &drawn)) {
    TraceOutput("ReleaseWindowDC called with a context that is not a window's\n");
    return false;
  }
  WindowHandle top;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = TopLevelOfLocked(FindLocked(window));
    if (!record || !record->visible) return true;
    top = record->handle;
  }
  if (drawn.right > drawn.left && drawn.bottom > drawn.top) {
    GetScreenBackend()->PictureChanged(top, drawn);
  }
  return true;
}

bool SetWindowRedraw(WindowHandle window, bool redraw) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record) return false;
  bool was = record->redraw;
  record->redraw = redraw;
  if (redraw && !was) {
    InvalidateLocked(*record, {0, 0, record->rect.Width(), record->rect.Height()}, true);
  }
  return true;
}

bool ShowWindow(WindowHandle window, int32_t command) {
  bool show = command != kShowHide;
  bool was, topLevel;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return false;
    was = record->visible;
    topLevel = !(record->style & kStyleChild);
  }
  if (was != show) {
    SendWindowMessage(window, kMessageShowWindow, show ? 1 : 0, 0);
    bool releaseCapture = false;
    {
      State& state = Global();
      std::lock_guard<std::mutex> lock(state.mutex);
      WindowRecord* record = FindLocked(window);
      if (!record) return was;
      record->visible = show;
      record->style = show ? record->style | kStyleVisible : record->style & ~kStyleVisible;
      if (show) {
        InvalidateLocked(*record, {0, 0, record->rect.Width(), record->rect.Height()}, true);
      } else if (WindowRecord* parent = FindLocked(record->parent)) {
        InvalidateLocked(*parent, record->rect, true);
      }
      if (!show) {
        for (WindowRecord* held = FindLocked(state.capture); held;
             held = FindLocked(held->parent)) {
          if (held == record) releaseCapture = true;
        }
      }
    }
    if (topLevel) GetScreenBackend()->WindowShown(window, show);
    if (releaseCapture) ReleaseCapture();
  }
  if (topLevel) {
    if (show && command != kShowNoActivate) {
      ChangeActive(window, kActivationActive);
    } else if (!show && GetActiveWindow() == window) {
      WindowHandle successor;
      {
        std::lock_guard<std::mutex> lock(Global().mutex);
        if (WindowRecord* record = FindLocked(window)) successor = SuccessorLocked(*record);
      }
      ChangeActive(successor, kActivationActive);
    }
  }
  return was;
}

bool IsWindowVisible(WindowHandle window) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindLocked(window);
  return record && VisibleLocked(record);
}

bool PlaceWindow(WindowHandle window, Stacking stacking, int32_t x, int32_t y, int32_t width,
                 int32_t height, uint32_t flags) {
  Rect rect;
  bool topLevel;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return false;
    rect = record->rect;
    topLevel = !(record->style & kStyleChild);
  }
  if ((flags & (kPlaceNoMove | kPlaceNoSize)) != (kPlaceNoMove | kPlaceNoSize)) {
    int32_t newX = flags & kPlaceNoMove ? rect.left : x;
    int32_t newY = flags & kPlaceNoMove ? rect.top : y;
    int32_t newWidth = flags & kPlaceNoSize ? rect.Width() : width;
    int32_t newHeight = flags & kPlaceNoSize ? rect.Height() : height;
    if (!MoveWindow(window, newX, newY, newWidth, newHeight)) return false;
  }
  if (topLevel && !(flags & kPlaceNoZOrder)) {
    bool topMost;
    {
      std::lock_guard<std::mutex> lock(Global().mutex);
      WindowRecord* record = FindLocked(window);
      if (!record) return false;
      if (stacking == Stacking::kTopMost) record->topMost = true;
      if (stacking == Stacking::kNotTopMost) record->topMost = false;
      topMost = record->topMost;
      InsertInZOrderLocked(window, topMost);
    }
    GetScreenBackend()->WindowRaised(window, topMost);
  }
  if (flags & kPlaceShowWindow) ShowWindow(window, kShowNoActivate);
  if (flags & kPlaceHideWindow) ShowWindow(window, kShowHide);
  if (topLevel && !(flags & kPlaceNoActivate) && IsWindowVisible(window)) {
    ChangeActive(window, kActivationActive);
  }
  return true;
}

bool SetWindowRegion(WindowHandle window, Region* region, bool redraw) {
  bool topLevel;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return false;
    record->shape.reset(region);
    topLevel = !(record->style & kStyleChild);
    if (redraw)
      InvalidateLocked(*record, {0, 0, record->rect.Width(), record->rect.Height()}, true);
  }
  if (topLevel) GetScreenBackend()->WindowShapeChanged(window);
  return true;
}

bool GetWindowRegion(WindowHandle window, Region* copy) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindOrFail(window);
  if (!record || !copy || !record->shape) return false;
  return CombineRegions(copy, record->shape.get(), nullptr, RegionOperation::kCopy) != kRegionError;
}

bool EnableWindow(WindowHandle window, bool enable) {
  bool wasDisabled;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return false;
    wasDisabled = (record->style & kStyleDisabled) != 0;
    if (enable) {
      record->style &= ~kStyleDisabled;
    } else {
      record->style |= kStyleDisabled;
    }
  }
  if (wasDisabled == enable) SendWindowMessage(window, kMessageEnable, enable ? 1 : 0, 0);
  return wasDisabled;
}

bool IsWindowEnabled(WindowHandle window) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  WindowRecord* record = FindLocked(window);
  return record && !(record->style & kStyleDisabled);
}

WindowHandle SetCapture(WindowHandle window) {
  WindowHandle previous, top;
  {
    State& state = Global();
    std::lock_guard<std::mutex> lock(state.mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record) return {};
    previous = state.capture;
    state.capture = window;
    top = TopLevelOfLocked(record)->handle;
  }
  if (previous && previous != window) {
    Notify(previous, kMessageCaptureChanged, 0, window.ToWord());
  }
  GetScreenBackend()->CaptureChanged(top);
  return previous;
}

bool ReleaseCapture() {
  WindowHandle previous;
  {
    State& state = Global();
    std::lock_guard<std::mutex> lock(state.mutex);
    previous = state.capture;
    state.capture = {};
  }
  if (previous) {
    Notify(previous, kMessageCaptureChanged, 0, 0);
    GetScreenBackend()->CaptureChanged({});
  }
  return true;
}

WindowHandle GetCapture() {
  std::lock_guard<std::mutex> lock(Global().mutex);
  return FindLocked(Global().capture) ? Global().capture : WindowHandle{};
}

WindowHandle SetFocus(WindowHandle window) {
  WindowHandle previous;
  WindowHandle top;
  {
    State& state = Global();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (window && !FindOrFail(window)) return {};
    previous = FindLocked(state.focus) ? state.focus : WindowHandle{};
    if (previous == window) return previous;
    if (window) {
      WindowRecord* topRecord = TopLevelOfLocked(FindLocked(window));
      if (topRecord && topRecord->handle != state.active) top = topRecord->handle;
    }
    state.focus = window;
  }
  if (top) ChangeActive(top, kActivationActive);
  {
    // Activation may have moved the focus to the top-level window.
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowHandle now = Global().focus;
    if (now != window) {
      previous = now;
      Global().focus = window;
    }
  }
  Notify(previous, kMessageKillFocus, static_cast<MessageWord>(window.value), 0);
  Notify(window, kMessageSetFocus, static_cast<MessageWord>(previous.value), 0);
  return previous;
}

WindowHandle GetFocus() {
  std::lock_guard<std::mutex> lock(Global().mutex);
  return FindLocked(Global().focus) ? Global().focus : WindowHandle{};
}

WindowHandle SetActiveWindow(WindowHandle window) {
  WindowHandle previous = GetActiveWindow();
  if (window && !WindowExists(window)) {
    SetLastErrorCode(kErrorInvalidHandle);
    return {};
  }
  ChangeActive(window, kActivationActive);
  return previous;
}

WindowHandle GetActiveWindow() {
  std::lock_guard<std::mutex> lock(Global().mutex);
  return FindLocked(Global().active) ? Global().active : WindowHandle{};
}

bool SetForegroundWindow(WindowHandle window) {
  bool topMost;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = TopLevelOfLocked(FindOrFail(window));
    if (!record) return false;
    window = record->handle;
    InsertInZOrderLocked(window, record->topMost);
    topMost = record->topMost;
  }
  GetScreenBackend()->WindowRaised(window, topMost);
  ChangeActive(window, kActivationActive);
  return true;
}

WindowHandle GetForegroundWindow() {
  return GetActiveWindow();
}

WindowHandle WindowFromPoint(Point screen) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  return WindowFromPointLocked(screen);
}

bool RequestWindowClose(WindowHandle window) {
  return PostWindowMessage(window, kMessageClose, 0, 0);
}

// Input from a backend or from injection.

void DeliverMouse(uint32_t message, Point screen, uint32_t keys) {
  uint32_t cursor = 0;
  WindowHandle target;
  Point client;
  bool activate = false;
  {
    State& state = Global();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.cursor = screen;
    WindowRecord* record = FindLocked(state.capture);
    if (!record) {
      record = FindLocked(WindowFromPointLocked(screen));
      if (!record || !AcceptsInputLocked(record)) return;
      WindowRecord* top = TopLevelOfLocked(record);
      activate =
          IsButtonDown(message) && top && top->handle != state.active && AcceptsInputLocked(top);
    }
    target = record->handle;
    Point origin;
    OriginLocked(target, &origin);
    client = {screen.x - origin.x, screen.y - origin.y};
    cursor = record->classCursor;
  }
  if (cursor && message == kMessageMouseMove) SetSystemCursor(cursor);
  if (activate) ChangeActive(target, kActivationByClick);
  PostWindowMessage(target, message, keys, MakePointParameter(client.x, client.y));
}

void DeliverKey(uint32_t message, uint32_t virtualKey, uint32_t data) {
  WindowHandle target;
  {
    State& state = Global();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (virtualKey < state.keys.size() && message == kMessageKeyDown) state.keys[virtualKey] = true;
    if (virtualKey < state.keys.size() && message == kMessageKeyUp) state.keys[virtualKey] = false;
    WindowRecord* record = FindLocked(state.focus);
    if (!record) record = FindLocked(state.active);
    if (!record || !AcceptsInputLocked(record)) return;
    target = record->handle;
  }
  PostWindowMessage(target, message, virtualKey, static_cast<MessageLong>(data));
}

void DeliverCloseRequest(WindowHandle window) {
  RequestWindowClose(window);
}

void DeliverActivation(WindowHandle window, bool active) {
  if (active) {
    ChangeActive(window, kActivationActive);
  } else if (GetActiveWindow() == window) {
    ChangeActive({}, kActivationInactive);
  }
}

void DeliverExposure(WindowHandle window, const Rect& area) {
  InvalidateRectangle(window, &area, false);
}

bool ReadWindowPicture(WindowHandle window, const Rect& area, uint32_t* pixels, int32_t pitch) {
  std::shared_ptr<Bitmap> surface;
  Point origin;
  Region* shape = nullptr;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    WindowRecord* record = FindOrFail(window);
    if (!record || !pixels) return false;
    WindowRecord* top = TopLevelOfLocked(record);
    if (!top || !top->surface) return false;
    surface = top->surface;
    origin = SurfaceOriginLocked(record);
    if (top->shape) {
      shape = CreateEmptyRegion();
      CombineRegions(shape, top->shape.get(), nullptr, RegionOperation::kCopy);
    }
    if (area.left < 0 || area.top < 0 || area.right > record->rect.Width() ||
        area.bottom > record->rect.Height() || area.right <= area.left || area.bottom <= area.top ||
        pitch < area.Width()) {
      if (shape) DeleteRegion(shape);
      return false;
    }
  }
  Rect inSurface{area.left + origin.x, area.top + origin.y, area.right + origin.x,
                 area.bottom + origin.y};
  bool read = graphics_detail::ReadColors(surface.get(), inSurface, pixels, pitch);
  if (read && shape) {
    for (int32_t y = inSurface.top; y < inSurface.bottom; ++y) {
      uint32_t* row = pixels + static_cast<size_t>(y - inSurface.top) * pitch;
      for (int32_t x = inSurface.left; x < inSurface.right; ++x) {
        if (!RegionContainsPoint(shape, x, y)) row[x - inSurface.left] &= 0x00FFFFFF;
      }
    }
  }
  if (shape) DeleteRegion(shape);
  return read;
}

bool IsKeyDown(uint32_t virtualKey) {
  std::lock_guard<std::mutex> lock(Global().mutex);
  return virtualKey < Global().keys.size() && Global().keys[virtualKey];
}

uint32_t SetSystemCursor(uint32_t cursor) {
  uint32_t previous;
  {
    std::lock_guard<std::mutex> lock(Global().mutex);
    previous = std::exchange(Global().systemCursor, cursor);
  }
  if (previous != cursor) GetScreenBackend()->CursorChanged(cursor);
  return previous;
}
