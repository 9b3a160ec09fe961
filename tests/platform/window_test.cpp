#include "platform/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/thread.h"

namespace {

struct Seen {
  WindowHandle window;
  uint32_t message;
  MessageWord word;
  uint32_t threadId;
};

std::vector<Seen> seen;
void* lastCreationData = nullptr;

MessageResult RecordingProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                 MessageLong value) {
  seen.push_back({window, message, word, CurrentThreadId()});
  if (message == kMessageCreate) {
    lastCreationData = reinterpret_cast<const WindowCreation*>(value)->creationData;
  }
  if (message == kMessageUser) return static_cast<MessageResult>(word * 2);
  return DefaultWindowProcedure(window, message, word, value);
}

std::vector<uint32_t> MessagesSeen(uint32_t message) {
  std::vector<uint32_t> words;
  for (const Seen& s : seen) {
    if (s.message == message) words.push_back(static_cast<uint32_t>(s.word));
  }
  return words;
}

// Drains what is queued for this thread without waiting.
void DrainQueue() {
  Message message;
  while (PeekNextMessage(&message, true)) {
  }
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WindowClass description;
    description.name = u"RecordingWindow";
    description.procedure = RecordingProcedure;
    description.windowWords = 2;
    ASSERT_TRUE(RegisterWindowClass(description));
  }
  void SetUp() override { seen.clear(); }
  void TearDown() override {
    for (WindowHandle window : created_) {
      if (WindowExists(window)) DestroyWindow(window);
    }
    DrainQueue();
  }

  WindowHandle Make(WindowHandle parent = {}, uint32_t id = 0, uint32_t style = kStylePopup) {
    WindowHandle window =
        CreateWindowOfClass(u"recordingwindow", u"", style, 0, 0, 100, 50, parent, id, nullptr);
    if (!parent) created_.push_back(window);
    return window;
  }

  std::vector<WindowHandle> created_;
};

TEST_F(WindowTest, CreationSendsCreateWithTheCallersData) {
  int data = 0;
  WindowHandle window =
      CreateWindowOfClass("RECORDINGWINDOW", "Title", kStylePopup, 1, 2, 3, 4, {}, 0, &data);
  created_.push_back(window);
  ASSERT_TRUE(window);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().message, kMessageCreate);
  EXPECT_EQ(lastCreationData, &data);
  char text[16];
  EXPECT_EQ(GetWindowText(window, text, 16), 5);
  EXPECT_STREQ(text, "Title");
}

TEST_F(WindowTest, CreationFailsForUnknownClassOrRefusingProcedure) {
  SetLastErrorCode(kErrorSuccess);
  EXPECT_FALSE(CreateWindowOfClass(u"NoSuchClass", u"", 0, 0, 0, 1, 1, {}, 0, nullptr));
  EXPECT_NE(GetLastErrorCode(), kErrorSuccess);

  static WindowHandle refused;
  WindowClass refusing;
  refusing.name = u"RefusingWindow";
  refusing.procedure = [](WindowHandle window, uint32_t message, MessageWord,
                          MessageLong) -> MessageResult {
    if (message == kMessageCreate) {
      refused = window;
      return -1;
    }
    return 0;
  };
  ASSERT_TRUE(RegisterWindowClass(refusing));
  EXPECT_FALSE(CreateWindowOfClass(u"RefusingWindow", u"", 0, 0, 0, 1, 1, {}, 0, nullptr));
  EXPECT_TRUE(refused);
  EXPECT_FALSE(WindowExists(refused));
  EXPECT_TRUE(UnregisterWindowClass(u"refusingwindow"));
}

TEST_F(WindowTest, ClassesAreFoundWithoutCaseAndCopiedUnderNewName) {
  WindowClass copy;
  ASSERT_TRUE(CopyWindowClass("recordingWINDOW", &copy));
  EXPECT_EQ(copy.name, u"RecordingWindow");
  EXPECT_EQ(copy.procedure, RecordingProcedure);
  EXPECT_EQ(copy.windowWords, 2);
  // The same name in another case is the same class.
  copy.name = u"RECORDINGWINDOW";
  EXPECT_FALSE(RegisterWindowClass(copy));
  EXPECT_EQ(GetLastErrorCode(), kErrorAlreadyExists);
  copy.name = u"RenamedRecordingWindow";
  copy.styles = kClassStyleDoubleClicks;
  ASSERT_TRUE(RegisterWindowClass(copy));
  WindowHandle window =
      CreateWindowOfClass(u"RenamedRecordingWindow", u"", kStylePopup, 0, 0, 1, 1, {}, 0, nullptr);
  created_.push_back(window);
  char16_t name[64];
  EXPECT_EQ(GetWindowClassName(window, name, 64), 22);
  EXPECT_EQ(std::u16string(name), u"RenamedRecordingWindow");
  WindowClass again;
  ASSERT_TRUE(CopyWindowClass(u"RenamedRecordingWindow", &again));
  EXPECT_EQ(again.styles, kClassStyleDoubleClicks);
  // The layer's static class is there to be copied.
  WindowClass staticClass;
  ASSERT_TRUE(CopyWindowClass("static", &staticClass));
  EXPECT_EQ(staticClass.procedure, DefaultWindowProcedure);
}

TEST_F(WindowTest, WindowWordsHoldPointersAndRefuseBadIndices) {
  WindowHandle window = Make();
  int target = 0;
  intptr_t pointer = reinterpret_cast<intptr_t>(&target);
  EXPECT_EQ(SetWindowWord(window, 1, pointer), 0);
  EXPECT_EQ(GetWindowWord(window, 1), pointer);
  EXPECT_EQ(SetWindowWord(window, 1, 5), pointer);
  for (int32_t index : {-1, 2, 1000}) {
    SetLastErrorCode(kErrorSuccess);
    EXPECT_EQ(GetWindowWord(window, index), 0);
    EXPECT_EQ(GetLastErrorCode(), kErrorInvalidParameter);
    EXPECT_EQ(SetWindowWord(window, index, 1), 0);
  }
  // A handle stored in a word comes back as the same handle.
  SetWindowWord(window, 0, window.ToWord());
  EXPECT_EQ(WindowHandle::FromWord(GetWindowWord(window, 0)), window);
}

TEST_F(WindowTest, TextKeepsUtf16AndConvertsWindows1252) {
  WindowHandle window = Make();
  struct Case {
    const char* narrow;
    std::u16string wide;
  };
  for (const Case& c :
       {Case{"plain", u"plain"}, Case{"\x80 \xE9\x9F", u"\u20AC \u00E9\u0178"}, Case{"", u""}}) {
    ASSERT_TRUE(SetWindowText(window, c.narrow));
    char16_t wide[32];
    EXPECT_EQ(GetWindowText(window, wide, 32), static_cast<int32_t>(c.wide.size()));
    EXPECT_EQ(std::u16string(wide), c.wide);
    char narrow[32];
    GetWindowText(window, narrow, 32);
    EXPECT_STREQ(narrow, c.narrow);
  }
  // UTF-16 the code page lacks narrows to '?', and the buffer bounds the copy.
  ASSERT_TRUE(SetWindowText(window, u"\u0108apelo"));
  EXPECT_EQ(GetWindowTextLength(window), 6);
  char narrow[4];
  EXPECT_EQ(GetWindowText(window, narrow, 4), 3);
  EXPECT_STREQ(narrow, "?ap");
  EXPECT_EQ(MessagesSeen(kMessageSetText).size(), 4u);
}

TEST_F(WindowTest, PostedMessagesArriveInOrder) {
  WindowHandle window = Make();
  for (uint32_t i = 0; i < 200; ++i) ASSERT_TRUE(PostWindowMessage(window, kMessageUser + 1, i, 0));
  Message peeked;
  ASSERT_TRUE(PeekNextMessage(&peeked, false));
  EXPECT_EQ(peeked.word, 0u);
  for (uint32_t i = 0; i < 200; ++i) {
    Message message;
    ASSERT_TRUE(GetNextMessage(&message));
    EXPECT_EQ(message.window, window);
    EXPECT_EQ(message.word, i);
    DispatchWindowMessage(message);
  }
  EXPECT_FALSE(PeekNextMessage(nullptr, false));
  EXPECT_EQ(MessagesSeen(kMessageUser + 1).size(), 200u);
}

struct Poster {
  WindowHandle window;
  uint32_t base;
};

uint32_t PostHundred(void* parameter) {
  auto* poster = static_cast<Poster*>(parameter);
  for (uint32_t i = 0; i < 100; ++i) {
    auto* payload = new uint32_t(poster->base + i);  // a heap record, as the search posts
    if (!PostWindowMessage(poster->window, kMessageCommand, poster->base,
                           reinterpret_cast<MessageLong>(payload))) {
      delete payload;
      return 1;
    }
  }
  return 0;
}

TEST_F(WindowTest, MessagesPostedFromOtherThreadsArriveInTheirOrder) {
  WindowHandle window = Make();
  Poster posters[2] = {{window, 1000}, {window, 2000}};
  ThreadHandle threads[2] = {StartThread(PostHundred, &posters[0]),
                             StartThread(PostHundred, &posters[1])};
  uint32_t next[2] = {1000, 2000};
  for (int received = 0; received < 200; ++received) {
    Message message;
    ASSERT_TRUE(GetNextMessage(&message));
    ASSERT_EQ(message.message, kMessageCommand);
    auto* payload = reinterpret_cast<uint32_t*>(message.value);
    int from = message.word == 1000 ? 0 : 1;
    EXPECT_EQ(*payload, next[from]++);
    delete payload;
  }
  for (ThreadHandle thread : threads) {
    uint32_t code = 1;
    ASSERT_EQ(WaitForThreadEnd(thread, 5000), WaitResult::Signalled);
    ThreadHasEnded(thread, &code);
    EXPECT_EQ(code, 0u);
    CloseThreadHandle(thread);
  }
}

TEST_F(WindowTest, TimerWakesAWaitingLoopAfterPostedMessages) {
  WindowHandle window = Make();
  ASSERT_EQ(StartWindowTimer(window, 1099, 20), 1099u);
  uint32_t start = TickCount();
  Message message;
  ASSERT_TRUE(GetNextMessage(&message));  // nothing else is queued: only the timer can wake it
  EXPECT_EQ(message.message, kMessageTimer);
  EXPECT_EQ(message.word, 1099u);
  EXPECT_EQ(message.window, window);
  EXPECT_GE(TickCount() - start, 19u);

  // A due timer waits behind posted messages.
  SleepMilliseconds(30);
  PostWindowMessage(window, kMessageUser, 1, 0);
  ASSERT_TRUE(GetNextMessage(&message));
  EXPECT_EQ(message.message, kMessageUser);
  ASSERT_TRUE(GetNextMessage(&message));
  EXPECT_EQ(message.message, kMessageTimer);
  EXPECT_TRUE(StopWindowTimer(window, 1099));
  EXPECT_FALSE(StopWindowTimer(window, 1099));
}

// A loop that fell behind gets one timer message, not one per missed period,
// and starting the id again moves its next expiry.
TEST_F(WindowTest, MissedTimerExpiriesAreMergedAndRestartingDelays) {
  WindowHandle window = Make();
  ASSERT_EQ(StartWindowTimer(window, 3, 100), 3u);
  SleepMilliseconds(350);
  Message message;
  ASSERT_TRUE(PeekNextMessage(&message, true));
  EXPECT_EQ(message.message, kMessageTimer);
  EXPECT_FALSE(PeekNextMessage(&message, true));

  SleepMilliseconds(60);
  ASSERT_EQ(StartWindowTimer(window, 3, 200), 3u);
  SleepMilliseconds(60);  // due by the first start, not by the second
  EXPECT_FALSE(PeekNextMessage(&message, true));
  StopWindowTimer(window, 3);
}

TEST_F(WindowTest, TimerStartedFromAnotherThreadWakesTheOwner) {
  static WindowHandle window;
  window = Make();
  ThreadHandle thread = StartThread(
      [](void*) -> uint32_t {
        SleepMilliseconds(20);
        return StartWindowTimer(window, 7, 10);
      },
      nullptr);
  Message message;
  ASSERT_TRUE(GetNextMessage(&message));
  EXPECT_EQ(message.message, kMessageTimer);
  EXPECT_EQ(message.word, 7u);
  WaitForThreadEnd(thread, 5000);
  CloseThreadHandle(thread);
}

TEST_F(WindowTest, QuitEndsTheLoopAfterEarlierMessages) {
  WindowHandle window = Make();
  PostWindowMessage(window, kMessageUser, 1, 0);
  PostQuit(7);
  Message message;
  EXPECT_TRUE(GetNextMessage(&message));
  EXPECT_EQ(message.message, kMessageUser);
  EXPECT_FALSE(GetNextMessage(&message));
  EXPECT_EQ(message.message, kMessageQuit);
  EXPECT_EQ(message.word, 7u);

  // Another thread can end this thread's loop with a thread message.
  static uint32_t loopThread;
  loopThread = CurrentThreadId();
  ThreadHandle thread = StartThread(
      [](void*) -> uint32_t {
        SleepMilliseconds(20);
        return PostThreadMessage(loopThread, kMessageQuit, 3, 0) ? 0 : 1;
      },
      nullptr);
  int loops = 0;
  while (GetNextMessage(&message)) ++loops;
  EXPECT_EQ(loops, 0);
  EXPECT_EQ(message.word, 3u);
  WaitForThreadEnd(thread, 5000);
  CloseThreadHandle(thread);
}

TEST_F(WindowTest, DestroyingSendsDestroyToChildrenThenParentAndKillsTheirState) {
  WindowHandle parent = Make();
  WindowHandle first = Make(parent, 1, kStyleChild);
  WindowHandle grandchild = Make(first, 3, kStyleChild);
  WindowHandle second = Make(parent, 2, kStyleChild);
  WindowHandle owned = Make(parent, 0, kStylePopup);  // a top-level window owned by parent
  ASSERT_TRUE(first && second && grandchild && owned);
  EXPECT_EQ(GetOwnerWindow(owned), parent);
  EXPECT_FALSE(GetParentWindow(owned));
  StartWindowTimer(parent, 1, 5);
  StartWindowTimer(second, 2, 5);
  PostWindowMessage(first, kMessageUser, 1, 0);
  seen.clear();

  ASSERT_TRUE(DestroyWindow(parent));
  std::vector<WindowHandle> order;
  for (const Seen& s : seen) {
    if (s.message == kMessageDestroy) order.push_back(s.window);
  }
  EXPECT_EQ(order, (std::vector<WindowHandle>{owned, grandchild, first, second, parent}));

  for (WindowHandle gone : {parent, first, second, grandchild, owned}) {
    EXPECT_FALSE(WindowExists(gone));
    SetLastErrorCode(kErrorSuccess);
    EXPECT_FALSE(PostWindowMessage(gone, kMessageUser, 0, 0));
    EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
    EXPECT_EQ(SendWindowMessage(gone, kMessageUser, 1, 0), 0);
    EXPECT_FALSE(DestroyWindow(gone));
  }
  // The timers went with their windows, and so did the queued message.
  SleepMilliseconds(30);
  EXPECT_FALSE(PeekNextMessage(nullptr, false));
}

TEST_F(WindowTest, StaleHandleStaysInvalidWhenItsSlotIsReused) {
  std::vector<WindowHandle> stale;
  for (int i = 0; i < 50; ++i) {
    WindowHandle window = Make();
    stale.push_back(window);
    DestroyWindow(window);
  }
  std::vector<WindowHandle> fresh;
  for (int i = 0; i < 50; ++i) fresh.push_back(Make());
  for (WindowHandle old : stale) {
    EXPECT_FALSE(WindowExists(old));
    EXPECT_EQ(GetWindowWord(old, 0), 0);
    EXPECT_EQ(GetWindowTextLength(old), 0);
    for (WindowHandle now : fresh) ASSERT_NE(old, now);
  }
  for (WindowHandle now : fresh) EXPECT_TRUE(WindowExists(now));
  EXPECT_FALSE(WindowExists(WindowHandle{}));
  EXPECT_FALSE(WindowExists(WindowHandle{12345}));
}

TEST_F(WindowTest, SendCallsDirectlyOnTheOwnerAndWaitsForItFromOtherThreads) {
  static WindowHandle window;
  window = Make();
  seen.clear();
  EXPECT_EQ(SendWindowMessage(window, kMessageUser, 21, 0), 42);
  ASSERT_EQ(seen.size(), 1u);  // called at once, nothing queued

  ThreadHandle sender = StartThread(
      [](void*) -> uint32_t {
        MessageResult answer = SendWindowMessage(window, kMessageUser, 50, 0);
        PostWindowMessage(window, kMessageUser + 1, static_cast<MessageWord>(answer), 0);
        return 0;
      },
      nullptr);
  // The send is served while this thread waits for its messages; the
  // sender's post after it ends the loop.
  Message message;
  do {
    ASSERT_TRUE(GetNextMessage(&message));
  } while (message.message != kMessageUser + 1);
  EXPECT_EQ(message.word, 100u);
  ASSERT_EQ(WaitForThreadEnd(sender, 5000), WaitResult::Signalled);
  CloseThreadHandle(sender);
  ASSERT_EQ(MessagesSeen(kMessageUser), (std::vector<uint32_t>{21, 50}));
  EXPECT_EQ(seen.back().threadId, CurrentThreadId());
}

TEST_F(WindowTest, SendFromAnotherThreadFailsWhenTheWindowGoes) {
  static WindowHandle window;
  window = Make();
  ThreadHandle sender = StartThread(
      [](void*) -> uint32_t {
        SetLastErrorCode(kErrorSuccess);
        MessageResult result = SendWindowMessage(window, kMessageUser, 50, 0);
        return result == 0 && GetLastErrorCode() == kErrorInvalidHandle ? 1 : 0;
      },
      nullptr);
  SleepMilliseconds(50);  // the sender is waiting now (or will find the window gone)
  DestroyWindow(window);
  ASSERT_EQ(WaitForThreadEnd(sender, 5000), WaitResult::Signalled);
  uint32_t failedCleanly = 0;
  ThreadHasEnded(sender, &failedCleanly);
  EXPECT_EQ(failedCleanly, 1u);
  CloseThreadHandle(sender);
  EXPECT_TRUE(MessagesSeen(kMessageUser).empty());
}

// A procedure that throws while its thread waits in a send of its own: the
// exception must not leave the send before the other thread has answered it,
// for that answer is written into the waiting sender's frame.
struct CrossSend {
  WindowHandle here;   // this thread's window; throws on kMessageUser + 2
  WindowHandle there;  // the other thread's; sends back on kMessageUser + 3
  EventHandle ready;
  std::atomic<bool> answered{false};
};
CrossSend* crossSend = nullptr;

MessageResult CrossSendProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                 MessageLong value) {
  if (message == kMessageUser + 2) throw std::runtime_error("procedure failed");
  if (message == kMessageUser + 3) {
    SendWindowMessage(crossSend->here, kMessageUser + 2, 0, 0);
    SleepMilliseconds(50);  // long enough for an early exception to be seen
    crossSend->answered = true;
    return 5;
  }
  if (message == kMessageUser + 4) PostQuit(0);
  return DefaultWindowProcedure(window, message, word, value);
}

TEST_F(WindowTest, ExceptionWhileWaitingInASendWaitsForItsAnswer) {
  WindowClass description;
  description.name = u"CrossSendWindow";
  description.procedure = CrossSendProcedure;
  ASSERT_TRUE(RegisterWindowClass(description));
  CrossSend shared;
  crossSend = &shared;
  shared.ready = CreateEventHandle(EventReset::Manual, false);
  shared.here = CreateWindowOfClass(u"CrossSendWindow", u"", kStylePopup, 0, 0, 1, 1, {}, 0, nullptr);
  created_.push_back(shared.here);
  ThreadHandle other = StartThread(
      [](void*) -> uint32_t {
        crossSend->there =
            CreateWindowOfClass(u"CrossSendWindow", u"", kStylePopup, 0, 0, 1, 1, {}, 0, nullptr);
        SignalEvent(crossSend->ready);
        Message message;
        while (GetNextMessage(&message)) DispatchWindowMessage(message);
        DestroyWindow(crossSend->there);
        return 0;
      },
      nullptr);
  ASSERT_EQ(WaitForEvent(shared.ready, 5000), WaitResult::Signalled);

  bool thrown = false;
  try {
    SendWindowMessage(shared.there, kMessageUser + 3, 0, 0);
  } catch (const std::runtime_error&) {
    thrown = true;
    EXPECT_TRUE(shared.answered.load());
  }
  EXPECT_TRUE(thrown);
  PostWindowMessage(shared.there, kMessageUser + 4, 0, 0);
  EXPECT_EQ(WaitForThreadEnd(other, 5000), WaitResult::Signalled);
  CloseThreadHandle(other);
  CloseEventHandle(shared.ready);
  DestroyWindow(shared.here);
  crossSend = nullptr;
  UnregisterWindowClass(u"CrossSendWindow");
}

TEST_F(WindowTest, OnlyTheOwningThreadDestroys) {
  static WindowHandle window;
  window = Make();
  ThreadHandle thread = StartThread(
      [](void*) -> uint32_t { return DestroyWindow(window) ? 1 : GetLastErrorCode(); }, nullptr);
  WaitForThreadEnd(thread, 5000);
  uint32_t code = 0;
  ThreadHasEnded(thread, &code);
  CloseThreadHandle(thread);
  EXPECT_EQ(code, kErrorAccessDenied);
  EXPECT_TRUE(WindowExists(window));
}

TEST_F(WindowTest, WindowsOfAnEndedThreadAreGone) {
  static WindowHandle window;
  ThreadHandle thread = StartThread(
      [](void*) -> uint32_t {
        window =
            CreateWindowOfClass(u"RecordingWindow", u"", kStylePopup, 0, 0, 1, 1, {}, 0, nullptr);
        return 0;
      },
      nullptr);
  WaitForThreadEnd(thread, 5000);
  CloseThreadHandle(thread);
  ASSERT_TRUE(window);
  // The thread-local teardown may lag a moment behind the thread's result.
  for (int i = 0; i < 400 && WindowExists(window); ++i) SleepMilliseconds(5);
  EXPECT_FALSE(WindowExists(window));
  EXPECT_FALSE(PostWindowMessage(window, kMessageUser, 0, 0));
}

TEST_F(WindowTest, RelationsGeometryStyleAndIds) {
  WindowHandle parent =
      CreateWindowOfClass(u"RecordingWindow", u"", kStylePopup, 100, 200, 240, 294, {}, 0, nullptr);
  created_.push_back(parent);
  WindowHandle a = CreateWindowOfClass(u"RecordingWindow", u"", kStyleChild | kStyleTabStop, 10, 20,
                                       30, 40, parent, 1001, nullptr);
  WindowHandle b = Make(parent, 65535, kStyleChild);
  EXPECT_EQ(GetFirstChild(parent), a);
  EXPECT_EQ(GetNextSibling(a), b);
  EXPECT_FALSE(GetNextSibling(b));
  EXPECT_EQ(GetParentWindow(a), parent);
  EXPECT_EQ(GetChildById(parent, 1001), a);
  EXPECT_EQ(GetControlId(b), 65535u);
  EXPECT_EQ(GetWindowStyle(a), kStyleChild | kStyleTabStop);

  Rect rect;
  ASSERT_TRUE(GetWindowRectangle(a, &rect));
  EXPECT_EQ(rect.left, 110);
  EXPECT_EQ(rect.top, 220);
  EXPECT_EQ(rect.Width(), 30);
  ASSERT_TRUE(GetClientRectangle(a, &rect));
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.bottom, 40);
  Point point{5, 5};
  ASSERT_TRUE(ClientToScreen(a, &point));
  EXPECT_EQ(point.x, 115);
  EXPECT_EQ(point.y, 225);
  ASSERT_TRUE(ScreenToClient(parent, &point));
  EXPECT_EQ(point.x, 15);

  seen.clear();
  ASSERT_TRUE(MoveWindow(a, 0, 0, 240, 294));
  ASSERT_TRUE(MoveWindow(a, 0, 0, 240, 294));  // no change, no messages
  std::vector<uint32_t> messages;
  for (const Seen& s : seen) messages.push_back(s.message);
  EXPECT_EQ(messages, (std::vector<uint32_t>{kMessageMove, kMessageSize}));
}

TEST_F(WindowTest, TopLevelWindowsAreFoundByClassWithoutCase) {
  WindowClass description;
  ASSERT_TRUE(CopyWindowClass(u"Static", &description));
  description.name = u"Finder Test IPC";
  description.windowWords = 1;
  ASSERT_TRUE(RegisterWindowClass(description));
  EXPECT_FALSE(FindTopLevelWindow(u"Finder Test IPC"));
  WindowHandle parent = Make();
  // A child of that class is not a top-level window.
  CreateWindowOfClass(u"Finder Test IPC", u"", kStyleChild, 0, 0, 1, 1, parent, 0, nullptr);
  EXPECT_FALSE(FindTopLevelWindow("finder test ipc"));
  WindowHandle top =
      CreateWindowOfClass(u"Finder Test IPC", u"", kStylePopup, -10, -10, 5, 5, {}, 0, nullptr);
  created_.push_back(top);
  EXPECT_EQ(FindTopLevelWindow("FINDER TEST IPC"), top);
  DestroyWindow(top);
  EXPECT_FALSE(FindTopLevelWindow(u"Finder Test IPC"));
}

// A child made by the parent's destroy handler must not outlive the parent.
TEST_F(WindowTest, ChildCreatedWhileItsParentIsDestroyedGoesWithIt) {
  static WindowHandle late;
  late = {};
  WindowClass description;
  description.name = u"LateChildWindow";
  description.procedure = [](WindowHandle window, uint32_t message, MessageWord word,
                             MessageLong value) -> MessageResult {
    if (message == kMessageDestroy && !GetParentWindow(window)) {
      late = CreateWindowOfClass(u"RecordingWindow", u"", kStyleChild, 0, 0, 5, 5, window, 9,
                                 nullptr);
    }
    return DefaultWindowProcedure(window, message, word, value);
  };
  ASSERT_TRUE(RegisterWindowClass(description));
  WindowHandle parent =
      CreateWindowOfClass(u"LateChildWindow", u"", kStylePopup, 0, 0, 10, 10, {}, 0, nullptr);
  ASSERT_TRUE(DestroyWindow(parent));
  ASSERT_TRUE(late);
  EXPECT_FALSE(WindowExists(late));
  std::vector<WindowHandle> destroyed;
  for (const Seen& s : seen) {
    if (s.message == kMessageDestroy) destroyed.push_back(s.window);
  }
  EXPECT_EQ(destroyed, std::vector<WindowHandle>{late});
  EXPECT_TRUE(UnregisterWindowClass(u"LateChildWindow"));
}

TEST_F(WindowTest, ClosingWithTheDefaultProcedureDestroys) {
  WindowHandle window = Make();
  SendWindowMessage(window, kMessageClose, 0, 0);
  EXPECT_FALSE(WindowExists(window));
}

struct FakeBackend : MessageQueueHook {
  WindowHandle window;
  int pumps = 0;
  int waits = 0;
  void Pump() override {
    if (++pumps == 3) PostWindowMessage(window, kMessageMouseMove, 0, MakePointParameter(-3, 4));
  }
  void Wait(uint32_t) override { ++waits; }
  void Wake() override {}
};

TEST_F(WindowTest, QueueHookFeedsInputAndWaitsInsteadOfTheQueue) {
  FakeBackend backend;
  backend.window = Make();
  SetMessageQueueHook(&backend);
  Message message;
  ASSERT_TRUE(GetNextMessage(&message));
  SetMessageQueueHook(nullptr);
  EXPECT_EQ(message.message, kMessageMouseMove);
  EXPECT_EQ(PointParameterX(message.value), -3);
  EXPECT_EQ(PointParameterY(message.value), 4);
  EXPECT_EQ(backend.waits, 2);
}

}  // namespace
