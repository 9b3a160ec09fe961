#pragma once
// Windows, window classes and the message queues, without drawing.
//
// A window belongs to the thread that created it: its messages go to that
// thread's queue, and its procedure runs on that thread. Handles carry a
// generation count, so a handle kept after its window was destroyed is
// refused (WindowExists answers false, posts fail) instead of reaching a new
// window that reuses the slot. Handles also name their process: a handle read
// from another process's window word can be posted to (see instance.h).
//
// Text is kept as UTF-16; the 8-bit calls convert with the Windows-1252 code
// page that the setup's text uses.

#include <cstdint>
#include <string>

#include "platform/messages.h"

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

// Right and bottom are exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

struct WindowHandle {
  uint64_t value = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(WindowHandle, WindowHandle) = default;
  // A handle stored in a window word or a message parameter.
  static WindowHandle FromWord(intptr_t word) { return {static_cast<uint64_t>(word)}; }
  intptr_t ToWord() const { return static_cast<intptr_t>(value); }
};

using WindowProcedure = MessageResult (*)(WindowHandle window, uint32_t message, MessageWord word,
                                          MessageLong value);

// Window styles, kept as given; the ones a layer acts on are noted.
constexpr uint32_t kStylePopup = 0x80000000;  // top-level; the parent argument is the owner
constexpr uint32_t kStyleChild = 0x40000000;  // lives in its parent's client area
constexpr uint32_t kStyleVisible = 0x10000000;
constexpr uint32_t kStyleDisabled = 0x08000000;
constexpr uint32_t kStyleCaption = 0x00C00000;
constexpr uint32_t kStyleBorder = 0x00800000;
constexpr uint32_t kStyleDialogFrame = 0x00400000;
constexpr uint32_t kStyleVerticalScroll = 0x00200000;
constexpr uint32_t kStyleHorizontalScroll = 0x00100000;
constexpr uint32_t kStyleSystemMenu = 0x00080000;
constexpr uint32_t kStyleThickFrame = 0x00040000;
constexpr uint32_t kStyleGroup = 0x00020000;
constexpr uint32_t kStyleMinimizeBox = 0x00020000;
constexpr uint32_t kStyleTabStop = 0x00010000;
constexpr uint32_t kStyleMaximizeBox = 0x00010000;

// Class styles, kept as data for the screen layer.
constexpr uint32_t kClassStyleVerticalRedraw = 0x0001;
constexpr uint32_t kClassStyleHorizontalRedraw = 0x0002;
constexpr uint32_t kClassStyleDoubleClicks = 0x0008;
constexpr uint32_t kClassStyleGlobal = 0x4000;

// A class description. Registering copies it; CopyWindowClass hands back a
// copy, so a class can be registered again under another name.
struct WindowClass {
  std::u16string name;  // compared without regard to letter case
  WindowProcedure procedure = nullptr;
  uint32_t styles = 0;
  int32_t windowWords = 0;  // pointer-sized words per window ("4 window bytes" is one word)
  uint32_t cursor = 0;      // system cursor number, 0 for none
  int32_t icon = 0;         // icon resource id of the program, 0 for none
};

bool RegisterWindowClass(const WindowClass& description);
bool UnregisterWindowClass(const char16_t* name);
bool CopyWindowClass(const char16_t* name, WindowClass* description);
bool CopyWindowClass(const char* name, WindowClass* description);

// The layer's own class "Static": the default procedure and no window words.
extern const char16_t kStaticClassName[];

// Handed to the procedure with kMessageCreate.
struct WindowCreation {
  void* creationData;
  WindowHandle parent;  // the parent of a child, the owner of a top-level window
  uint32_t style;
  int32_t x, y, width, height;
  uint32_t controlId;
};

// Creates a window and sends it kMessageCreate; a procedure that answers -1
// fails the creation (the window is destroyed again and null returned). A
// window with kStyleChild lives in the parent's client area and its position
// is relative to it; any other window is top-level, positioned on the screen,
// and owned by the parent argument, which may be null.
WindowHandle CreateWindowOfClass(const char16_t* className, const char16_t* text, uint32_t style,
                                 int32_t x, int32_t y, int32_t width, int32_t height,
                                 WindowHandle parent, uint32_t controlId, void* creationData);
WindowHandle CreateWindowOfClass(const char* className, const char* text, uint32_t style, int32_t x,
                                 int32_t y, int32_t width, int32_t height, WindowHandle parent,
                                 uint32_t controlId, void* creationData);

// Destroys the window's owned windows and children (each subtree before its
// root, each window receiving kMessageDestroy), then the window itself; kills
// their timers and drops their queued messages. Only the owning thread may.
bool DestroyWindow(WindowHandle window);

// False for a null handle and for a handle whose window was destroyed.
bool WindowExists(WindowHandle window);

uint32_t GetWindowThreadId(WindowHandle window);

// Procedure. SetWindowProcedure returns the previous one, so a replacement
// can pass on what it does not handle.
WindowProcedure GetWindowProcedure(WindowHandle window);
WindowProcedure SetWindowProcedure(WindowHandle window, WindowProcedure procedure);
// What a procedure does with a message it does not handle: kMessageSetText
// stores the text, kMessageClose destroys the window; the rest answer 0.
MessageResult DefaultWindowProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                     MessageLong value);

// Relations. Children are enumerated in creation order.
WindowHandle GetParentWindow(WindowHandle window);  // null for a top-level window
WindowHandle GetOwnerWindow(WindowHandle window);
WindowHandle GetFirstChild(WindowHandle window);
WindowHandle GetNextSibling(WindowHandle window);
WindowHandle GetChildById(WindowHandle parent, uint32_t controlId);

// Window words, indexed from 0 in words. Set returns the previous value; a
// bad index or handle gives 0 with the last error set.
intptr_t GetWindowWord(WindowHandle window, int32_t index);
intptr_t SetWindowWord(WindowHandle window, int32_t index, intptr_t value);

// Style and control id, as given at creation (the id is kept as 32 bits; a
// template's -1 arrives as 65535).
uint32_t GetWindowStyle(WindowHandle window);
uint32_t SetWindowStyle(WindowHandle window, uint32_t style);
uint32_t GetControlId(WindowHandle window);

// Text. Setting sends kMessageSetText (the default procedure stores it);
// getting copies at most capacity - 1 units and a terminator and returns the
// units copied, 0 on failure.
bool SetWindowText(WindowHandle window, const char16_t* text);
bool SetWindowText(WindowHandle window, const char* text);
int32_t GetWindowText(WindowHandle window, char16_t* buffer, int32_t capacity);
int32_t GetWindowText(WindowHandle window, char* buffer, int32_t capacity);
int32_t GetWindowTextLength(WindowHandle window);
int32_t GetWindowClassName(WindowHandle window, char16_t* buffer, int32_t capacity);
int32_t GetWindowClassName(WindowHandle window, char* buffer, int32_t capacity);

// Geometry. Windows have no frame here: the client area is the whole window.
bool GetWindowRectangle(WindowHandle window, Rect* screen);
bool GetClientRectangle(WindowHandle window, Rect* client);  // left and top are 0
// Moves and sizes (position relative to the parent's client area for a
// child); sends kMessageMove and kMessageSize when they change.
bool MoveWindow(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height);
bool ClientToScreen(WindowHandle window, Point* point);
bool ScreenToClient(WindowHandle window, Point* point);

// Finds a top-level window by class name (without regard to case): this
// process's windows first, in creation order, then other processes' of the
// same user. A handle of another process's window answers WindowExists,
// GetWindowWord and PostWindowMessage; the other calls refuse it.
WindowHandle FindTopLevelWindow(const char16_t* className);
WindowHandle FindTopLevelWindow(const char* className);

// Messages.

struct Message {
  WindowHandle window;  // null for a thread message
  uint32_t message = 0;
  MessageWord word = 0;
  MessageLong value = 0;
  uint32_t time = 0;  // TickCount when it was queued
  Point position;     // cursor on the screen when queued; (0, 0) without a screen
};

// Queues a message for the window's thread and returns at once; fails
// cleanly (false, kErrorInvalidHandle) when the window is gone. Any thread.
// To another process's window only numbers travel: a pointer in a parameter
// means nothing there.
bool PostWindowMessage(WindowHandle window, uint32_t message, MessageWord word, MessageLong value);

// Queues a message without a window for a thread's own loop.
bool PostThreadMessage(uint32_t threadId, uint32_t message, MessageWord word, MessageLong value);

// Makes the calling thread's get loop end: GetNextMessage answers false with
// kMessageQuit once the messages posted before it are taken.
void PostQuit(int32_t exitCode);

// Calls the window's procedure and returns its answer. On the owning thread
// it is a direct call. From another thread it waits until the owning thread
// takes it in GetNextMessage or PeekNextMessage (or while it waits in a send
// of its own), so the procedure still runs on its own thread; it answers 0
// with the last error set when the window is gone or goes before that.
MessageResult SendWindowMessage(WindowHandle window, uint32_t message, MessageWord word,
                                MessageLong value);

// Waits for the calling thread's next message. Posted messages come in the
// order they were posted; a due timer's kMessageTimer only when none is
// waiting. Answers false when the message is kMessageQuit.
bool GetNextMessage(Message* message);

// Like GetNextMessage without waiting: false when there is none. With remove
// false the message stays at the head of the queue.
bool PeekNextMessage(Message* message, bool remove);

// Calls the message's window procedure; 0 for a thread message or a window
// that has gone.
MessageResult DispatchWindowMessage(const Message& message);

// Timers: every period milliseconds the window's thread receives
// kMessageTimer (word = id) once its queue is otherwise empty; expiries that
// pass while one is waiting are merged. Starting an id again restarts it.
// Destroying the window stops its timers. Returns the id, 0 on failure.
uint32_t StartWindowTimer(WindowHandle window, uint32_t id, uint32_t periodMilliseconds);
bool StopWindowTimer(WindowHandle window, uint32_t id);

// The screen backend hooks the queue of the thread that owns its display.
// Pump moves the input that arrived into the queue (posting it); Wait blocks
// until input arrives, Wake is called or the time-out passes; Wake is called
// from any thread when a message was queued for that thread.
class MessageQueueHook {
 public:
  virtual ~MessageQueueHook() = default;
  virtual void Pump() = 0;
  virtual void Wait(uint32_t milliseconds) = 0;
  virtual void Wake() = 0;
};

// Installs a hook for the calling thread's queue (null removes it).
void SetMessageQueueHook(MessageQueueHook* hook);

// On the screen.
//
// Painting: each window has an invalid area. Once its thread's queue holds
// no posted message, a visible window with an invalid area receives
// kMessagePaint (parents before their children, all before a due timer).
// BeginPaint hands out a context clipped to the invalid area and validates
// it; EndPaint shows what was drawn. A window that does not handle the paint
// message is validated by the default procedure. Nothing is erased unless
// the window handles kMessageEraseBackground itself.

struct DeviceContext;
struct Region;

struct PaintInfo {
  DeviceContext* dc = nullptr;
  bool erase = false;  // an invalidation asked for the background to be erased
  Rect paint;          // the invalid area's bounding box, client coordinates
};
DeviceContext* BeginPaint(WindowHandle window, PaintInfo* paint);
bool EndPaint(WindowHandle window, const PaintInfo* paint);

// Adds a rectangle (client coordinates; null for the whole client area) to
// the invalid area of the window and of its children under it.
bool InvalidateRectangle(WindowHandle window, const Rect* rect, bool erase);
bool ValidateRectangle(WindowHandle window, const Rect* rect);
// The bounding box of the invalid area; false when there is none.
bool GetUpdateRectangle(WindowHandle window, Rect* rect);
// Sends kMessagePaint at once if the window has an invalid area.
bool UpdateWindow(WindowHandle window);

// A context over the window's client area for drawing outside paint
// messages; released with ReleaseWindowDC, which shows what was drawn.
DeviceContext* GetWindowDC(WindowHandle window);
bool ReleaseWindowDC(WindowHandle window, DeviceContext* dc);

// Redraw freeze: while off, the window gets no paint messages and nothing
// drawn into it is shown; switching it on again invalidates it whole.
bool SetWindowRedraw(WindowHandle window, bool redraw);

// Show commands. Showing or hiding sends kMessageShowWindow (word 1 or 0);
// showing invalidates the window and, for a top-level window without
// kShowNoActivate, activates it.
constexpr int32_t kShowHide = 0;
constexpr int32_t kShowNormal = 1;
constexpr int32_t kShowNoActivate = 4;
// Answers whether the window was visible before.
bool ShowWindow(WindowHandle window, int32_t command);
// Visible: shown, and so are all its parents.
bool IsWindowVisible(WindowHandle window);

// Moves, sizes and restacks in one call; the flags say what to leave alone.
constexpr uint32_t kPlaceNoSize = 0x0001;
constexpr uint32_t kPlaceNoMove = 0x0002;
constexpr uint32_t kPlaceNoZOrder = 0x0004;
constexpr uint32_t kPlaceNoActivate = 0x0010;
constexpr uint32_t kPlaceShowWindow = 0x0040;
constexpr uint32_t kPlaceHideWindow = 0x0080;
// Restacking choices for a top-level window.
enum class Stacking { kTop, kTopMost, kNotTopMost };
bool PlaceWindow(WindowHandle window, Stacking stacking, int32_t x, int32_t y, int32_t width,
                 int32_t height, uint32_t flags);

// The window region (window coordinates) clips the window's drawing and its
// mouse input. The window takes the region and deletes it later; null
// restores the rectangle. GetWindowRegion copies it into an existing region
// and answers false when the window has none.
bool SetWindowRegion(WindowHandle window, Region* region, bool redraw);
bool GetWindowRegion(WindowHandle window, Region* copy);

// A disabled window and its children get no mouse or key input; the windows
// it owns still do (a modal dialog disables its owner, not itself). Answers
// whether the window was disabled before; a change sends kMessageEnable.
bool EnableWindow(WindowHandle window, bool enable);
bool IsWindowEnabled(WindowHandle window);

// Mouse capture: the captured window receives all mouse input, in its client
// coordinates, wherever the mouse is. Per process. SetCapture answers the
// window that had it; losing it sends kMessageCaptureChanged.
WindowHandle SetCapture(WindowHandle window);
bool ReleaseCapture();
WindowHandle GetCapture();

// Keyboard focus (any window) and the active top-level window. Changing the
// focus sends kMessageKillFocus to the old and kMessageSetFocus to the new;
// changing the active window sends kMessageActivate (inactive, then active).
// When the active window is hidden or destroyed, its owner becomes active if
// it is shown and enabled, else the front-most window that is. Messages to
// another thread's window are posted, not sent.
WindowHandle SetFocus(WindowHandle window);
WindowHandle GetFocus();
WindowHandle SetActiveWindow(WindowHandle window);
WindowHandle GetActiveWindow();
// The foreground window: raised above the others and made active.
bool SetForegroundWindow(WindowHandle window);
WindowHandle GetForegroundWindow();

// The top-most visible window under a screen point, inside its region and
// down to the deepest child; null when there is none.
WindowHandle WindowFromPoint(Point screen);

// System cursors, by the numbers classes and callers use. Setting answers
// the cursor shown before. Moving the mouse over a window whose class names
// a cursor shows that one.
constexpr uint32_t kCursorArrow = 32512;
constexpr uint32_t kCursorSizeNorthwestSoutheast = 32642;
constexpr uint32_t kCursorSizeNortheastSouthwest = 32643;
constexpr uint32_t kCursorSizeWestEast = 32644;
constexpr uint32_t kCursorSizeNorthSouth = 32645;
uint32_t SetSystemCursor(uint32_t cursor);

// The screen, and the part of it windows may use (without the desktop's
// panels), in screen coordinates.
Rect GetScreenBounds();
Rect GetWorkArea();

// Posts kMessageClose, as the close box of the window's frame does.
bool RequestWindowClose(WindowHandle window);
