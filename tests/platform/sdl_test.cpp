// The SDL2 backend. The arithmetic between the desktop and the layer is
// checked everywhere; the windows themselves on an X server of the test's
// own (Xvfb), read back through Xlib, and skipped where Xvfb is missing.

#if __has_include(<SDL.h>)

#include <stddef.h>
#include <sys/types.h>

#include <cstring>
#include <string>
#include <vector>

// Xlib's names (Region, Font, Window, None, ...) clash with the layer's: it
// lives in a namespace of its own, and only this block speaks to it.
namespace x11 {
extern "C" {
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
}

void* Open(const char* name) {
  return XOpenDisplay(name);
}
void Close(void* display) {
  XCloseDisplay(static_cast<Display*>(display));
}

// The colour of a pixel of the screen, 0xRRGGBB.
uint32_t ScreenPixel(void* opaque, int x, int y) {
  auto* display = static_cast<Display*>(opaque);
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFF;
  uint32_t pixel = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

unsigned long FindWindow(void* opaque, const char* title) {
  auto* display = static_cast<Display*>(opaque);
  Window root, parent;
  Window* children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name) {
      if (std::strcmp(name, title) == 0) found = children[i];
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

// The rectangles of a window's bounding shape: x, y, width, height each.
std::vector<std::vector<int>> Shape(void* opaque, unsigned long window) {
  int count = 0;
  int ordering = 0;
  XRectangle* rectangles =
      XShapeGetRectangles(static_cast<Display*>(opaque), window, ShapeBounding, &count, &ordering);
  std::vector<std::vector<int>> shape;
  for (int i = 0; i < count; ++i) {
    shape.push_back({rectangles[i].x, rectangles[i].y, rectangles[i].width, rectangles[i].height});
  }
  if (rectangles) XFree(rectangles);
  return shape;
}

// x, y, width, height of a window on the screen; empty when it is gone.
std::vector<int> Geometry(void* opaque, unsigned long window) {
  XWindowAttributes attributes;
  if (!window || !XGetWindowAttributes(static_cast<Display*>(opaque), window, &attributes)) {
    return {};
  }
  return {attributes.x, attributes.y, attributes.width, attributes.height};
}

bool Viewable(void* opaque, unsigned long window) {
  XWindowAttributes attributes;
  return window && XGetWindowAttributes(static_cast<Display*>(opaque), window, &attributes) &&
         attributes.map_state == IsViewable;
}

void MovePointer(void* opaque, int x, int y) {
  auto* display = static_cast<Display*>(opaque);
  XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x, y);
  XFlush(display);
}
}  // namespace x11

#undef None
#undef Bool
#undef True
#undef False
#undef Status
#undef Always

#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/backends/sdl/sdl_mapping.h"
#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/region.h"
#include "platform/screen.h"
#include "platform/thread.h"
#include "platform/window.h"

extern char** environ;

namespace {

// The arithmetic.

TEST(SdlMapping, ScaleIsTheLargestWholeFactorThatFitsTheHandheldWindow) {
  struct Case {
    Rect usable;
    int32_t requested;
    int32_t scale;
  };
  const Case cases[] = {
      {{0, 0, 1024, 768}, 0, 2},    // 294 * 3 is too tall
      {{0, 0, 1920, 1040}, 0, 3},   // a full-HD desktop less its panel
      {{0, 0, 3840, 2100}, 0, 7},   // the height decides
      {{0, 0, 800, 3000}, 0, 3},    // the width decides
      {{0, 0, 200, 200}, 0, 1},     // never below 1
      {{0, 0, 1920, 1040}, 1, 1},   // a request wins
      {{0, 0, 1024, 768}, 5, 5},    // even one that does not fit
      {{0, 0, 1920, 1040}, 99, 3},  // a request out of range is ignored
      {{0, 0, 1920, 1040}, -2, 3}, {{0, 0, 100000, 100000}, 0, kLargestScale},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseScale(c.usable, c.requested), c.scale)
        << c.usable.Width() << " x " << c.usable.Height() << " asking " << c.requested;
  }
}

TEST(SdlMapping, LayerAreasKeepInsideTheDesktopArea) {
  Rect desktop{0, 0, 1024, 768};
  Rect work = LayerArea(desktop, Rect{0, 0, 1024, 740}, 2);
  EXPECT_EQ(work.left, 0);
  EXPECT_EQ(work.right, 512);
  EXPECT_EQ(work.bottom, 370);
  // A panel on the left: the partly covered layer column is dropped.
  work = LayerArea(desktop, Rect{64, 25, 1024, 768}, 3);
  EXPECT_EQ(work.left, 22);
  EXPECT_EQ(work.top, 9);
  EXPECT_EQ(work.right, 341);
  EXPECT_EQ(work.bottom, 256);
  // A desktop that does not start at the origin.
  Rect shifted{1920, 0, 3840, 1080};
  work = LayerArea(shifted, Rect{1920, 40, 3840, 1080}, 3);
  EXPECT_EQ(work.left, 0);
  EXPECT_EQ(work.top, 14);
  EXPECT_EQ(work.right, 640);
  EXPECT_EQ(work.bottom, 360);
}

TEST(SdlMapping, WindowPointsScaleBackRoundingDown) {
  Rect window{10, 20, 250, 314};
  struct Case {
    int32_t x, y, scale;
    Point expected;
  };
  const Case cases[] = {
      {0, 0, 2, {10, 20}},  {1, 1, 2, {10, 20}},
      {3, 5, 2, {11, 22}},  {479, 587, 2, {249, 313}},  // the last pixel of a 240 x 294 window
      {-1, -1, 2, {9, 19}},  // a captured mouse just left of and above it
      {-2, -3, 2, {9, 18}}, {-3, 0, 3, {9, 20}},
      {-4, 0, 3, {8, 20}},  {600, 700, 1, {610, 720}},
  };
  for (const Case& c : cases) {
    Point point = LayerPointFromWindow(window, c.x, c.y, c.scale);
    EXPECT_EQ(point.x, c.expected.x) << c.x << " at " << c.scale;
    EXPECT_EQ(point.y, c.expected.y) << c.y << " at " << c.scale;
  }
}

TEST(SdlMapping, KeysGetTheSystemsNumbers) {
  struct Case {
    SDL_Keycode key;
    uint32_t virtualKey;
  };
  const Case cases[] = {
      {SDLK_a, 'A'},         {SDLK_z, 'Z'},     {SDLK_0, '0'},     {SDLK_9, '9'},
      {SDLK_F1, 0x70},       {SDLK_F12, 0x7B},  {SDLK_PAGEUP, 33}, {SDLK_PAGEDOWN, 34},
      {SDLK_END, 35},        {SDLK_HOME, 36},   {SDLK_LEFT, 37},   {SDLK_UP, 38},
      {SDLK_RIGHT, 39},      {SDLK_DOWN, 40},   {SDLK_INSERT, 45}, {SDLK_DELETE, 46},
      {SDLK_BACKSPACE, 8},   {SDLK_TAB, 9},     {SDLK_RETURN, 13}, {SDLK_KP_ENTER, 13},
      {SDLK_LSHIFT, 16},     {SDLK_RSHIFT, 16}, {SDLK_LCTRL, 17},  {SDLK_RCTRL, 17},
      {SDLK_ESCAPE, 27},     {SDLK_SPACE, 32},  {SDLK_KP_5, 0x65}, {SDLK_COMMA, 0xBC},
      {SDLK_APPLICATION, 0}, {SDLK_F13, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeyFromSdl(c.key), c.virtualKey) << SDL_GetKeyName(c.key);
  }
}

TEST(SdlMapping, KeysWithoutTextBecomeControlCharacters) {
  struct Case {
    SDL_Keycode key;
    uint16_t modifiers;
    uint32_t character;
  };
  const Case cases[] = {
      {SDLK_c, KMOD_LCTRL, 3},
      {SDLK_x, KMOD_RCTRL, 24},
      {SDLK_v, KMOD_LCTRL, 22},
      {SDLK_a, KMOD_LCTRL, 1},
      {SDLK_BACKSPACE, 0, 8},
      {SDLK_TAB, 0, 9},
      {SDLK_RETURN, 0, 13},
      {SDLK_KP_ENTER, 0, 13},
      {SDLK_ESCAPE, 0, 27},
      // Plain letters come as text input, and Alt makes a desktop shortcut.
      {SDLK_c, 0, 0},
      {SDLK_c, KMOD_LSHIFT, 0},
      {SDLK_c, KMOD_LCTRL | KMOD_LALT, 0},
      {SDLK_1, KMOD_LCTRL, 0},
      {SDLK_LEFT, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ControlCharacterFromSdl(c.key, c.modifiers), c.character)
        << SDL_GetKeyName(c.key) << " with " << c.modifiers;
  }
  EXPECT_EQ(KeyMessageData(SDL_SCANCODE_A, false, false), 0x00040001u);
  EXPECT_EQ(KeyMessageData(SDL_SCANCODE_A, true, false), 0x40040001u);
  EXPECT_EQ(KeyMessageData(SDL_SCANCODE_A, false, true), 0xC0040001u);
}

TEST(SdlMapping, MouseButtonsAndFlags) {
  EXPECT_EQ(MouseButtonMessage(SDL_BUTTON_LEFT, true), kMessageLeftButtonDown);
  EXPECT_EQ(MouseButtonMessage(SDL_BUTTON_LEFT, false), kMessageLeftButtonUp);
  EXPECT_EQ(MouseButtonMessage(SDL_BUTTON_RIGHT, true), kMessageRightButtonDown);
  EXPECT_EQ(MouseButtonMessage(SDL_BUTTON_MIDDLE, false), kMessageMiddleButtonUp);
  EXPECT_EQ(MouseButtonMessage(SDL_BUTTON_X1, true), 0u);
  EXPECT_EQ(MouseKeyFlags(0, 0), 0u);
  EXPECT_EQ(MouseKeyFlags(SDL_BUTTON_LMASK | SDL_BUTTON_RMASK, 0), kMouseKeyLeft | kMouseKeyRight);
  EXPECT_EQ(MouseKeyFlags(SDL_BUTTON_MMASK, KMOD_RSHIFT | KMOD_LCTRL),
            kMouseKeyMiddle | kMouseKeyShift | kMouseKeyControl);
  EXPECT_EQ(MouseButtonMask(SDL_BUTTON_RIGHT), static_cast<uint32_t>(SDL_BUTTON_RMASK));
  EXPECT_EQ(MouseButtonMask(0), 0u);
  EXPECT_EQ(MouseButtonMask(200), 0u);
}

TEST(SdlMapping, TextInputDecodesOnlyWellFormedUtf8) {
  struct Case {
    const char* text;
    int32_t used;
    uint32_t codePoint;
  };
  const Case cases[] = {
      {"A", 1, 'A'},
      {"\xC5\x9D", 2, 0x15D},            // the Esperanto s with circumflex
      {"\xE2\x82\xAC", 3, 0x20AC},       // the euro sign
      {"\xF0\x9F\x98\x80", 4, 0x1F600},  // beyond the 16-bit plane
      {"", 0, 0},
      {"\xC5"
       "A",
       0, 0},                      // a continuation byte missing
      {"\xC5", 0, 0},              // cut off at the end
      {"\xC0\x80", 0, 0},          // an overlong zero
      {"\xED\xA0\x80", 0, 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0, 0},  // beyond U+10FFFF
      {"\x80", 0, 0},              // a stray continuation byte
  };
  for (const Case& c : cases) {
    uint32_t code = 0;
    EXPECT_EQ(DecodeUtf8(c.text, &code), c.used) << c.text;
    if (c.used > 0) {
      EXPECT_EQ(code, c.codePoint) << c.text;
    }
  }
}

TEST(SdlMapping, CursorNumbers) {
  SDL_SystemCursor cursor;
  ASSERT_TRUE(SystemCursorFromNumber(kCursorArrow, &cursor));
  EXPECT_EQ(cursor, SDL_SYSTEM_CURSOR_ARROW);
  ASSERT_TRUE(SystemCursorFromNumber(kCursorSizeNorthwestSoutheast, &cursor));
  EXPECT_EQ(cursor, SDL_SYSTEM_CURSOR_SIZENWSE);
  ASSERT_TRUE(SystemCursorFromNumber(kCursorSizeWestEast, &cursor));
  EXPECT_EQ(cursor, SDL_SYSTEM_CURSOR_SIZEWE);
  EXPECT_FALSE(SystemCursorFromNumber(0, &cursor));
  EXPECT_FALSE(SystemCursorFromNumber(12345, &cursor));
}

// On a display.

// An X server of the test's own, started at the first need and ended with
// the process's tests.
class OwnDisplay : public ::testing::Environment {
 public:
  static OwnDisplay* Get() {
    static OwnDisplay* display = [] {
      auto* made = new OwnDisplay();
      ::testing::AddGlobalTestEnvironment(made);
      return made;
    }();
    return display;
  }

  // Starts Xvfb once; false when it cannot be had.
  bool Start() {
    if (tried_) return started_;
    tried_ = true;
    const char* binary = "/usr/bin/Xvfb";
    if (access(binary, X_OK) != 0) return false;
    int ready[2];
    if (pipe(ready) != 0) return false;
    std::string fd = std::to_string(ready[1]);
    const char* arguments[] = {binary,        "-displayfd", fd.c_str(), "-screen", "0",
                               "1024x768x24", "-nolisten",  "tcp",      nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int spawned =
        posix_spawn(&pid_, binary, &actions, nullptr, const_cast<char**>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    if (spawned != 0) {
      close(ready[0]);
      return false;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    char c;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    fcntl(ready[0], F_SETFL, O_NONBLOCK);
    while (std::chrono::steady_clock::now() < deadline) {
      ssize_t got = read(ready[0], &c, 1);
      if (got == 1) {
        if (c == '\n') break;
        number += c;
      } else if (got == 0) {
        break;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    close(ready[0]);
    if (number.empty()) {
      Stop();
      return false;
    }
    std::string name = ":" + number;
    setenv("DISPLAY", name.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("VORLAN_BACKEND", "sdl", 1);
    unsetenv("VORLAN_SCALE");
    display_ = x11::Open(name.c_str());
    started_ = display_ != nullptr;
    return started_;
  }

  void* X() const { return display_; }

  void TearDown() override { Stop(); }

 private:
  void Stop() {
    if (display_) x11::Close(display_);
    display_ = nullptr;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
  }

  bool tried_ = false;
  bool started_ = false;
  pid_t pid_ = 0;
  void* display_ = nullptr;
};

// Runs the calling thread's messages until the condition holds.
bool PumpUntil(const std::function<bool()>& condition, int32_t milliseconds = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) {
    DispatchPendingMessages();
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The display is 16 bits deep unless asked otherwise: colours keep their
// top five bits of each channel.
uint32_t ScreenPixel(int x, int y) {
  return x11::ScreenPixel(OwnDisplay::Get()->X(), x, y) & 0xF8F8F8;
}

unsigned long FindXWindow(const char* title) {
  return x11::FindWindow(OwnDisplay::Get()->X(), title);
}

struct Received {
  uint32_t message;
  int32_t x;
  int32_t y;
  uint32_t thread;
};
std::vector<Received> received;
std::mutex receivedMutex;

// Paints the colour in window word 0 and notes its input.
MessageResult ColourProcedure(WindowHandle window, uint32_t message, MessageWord word,
                              MessageLong value) {
  switch (message) {
    case kMessagePaint: {
      PaintInfo paint;
      DeviceContext* dc = BeginPaint(window, &paint);
      Rect client;
      GetClientRectangle(window, &client);
      FillRectangle(dc, client, static_cast<Color>(GetWindowWord(window, 0)));
      EndPaint(window, &paint);
      return 0;
    }
    case kMessageMouseMove:
    case kMessageLeftButtonDown:
    case kMessageLeftButtonUp:
    case kMessageKeyDown:
    case kMessageCharacter: {
      std::lock_guard<std::mutex> lock(receivedMutex);
      bool mouse = message >= kMessageFirstMouse && message <= kMessageLastMouse;
      received.push_back({message, mouse ? PointParameterX(value) : static_cast<int32_t>(word),
                          mouse ? PointParameterY(value) : 0, CurrentThreadId()});
      return 0;
    }
    case kMessageUser:
      DestroyWindow(window);
      PostQuit(0);
      return 0;
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

bool Got(uint32_t message, int32_t x, int32_t y, uint32_t thread) {
  std::lock_guard<std::mutex> lock(receivedMutex);
  for (const Received& r : received) {
    if (r.message == message && r.x == x && r.y == y && r.thread == thread) return true;
  }
  return false;
}

WindowHandle MakeColourWindow(const char* title, Color colour, Rect place) {
  WindowHandle window =
      CreateWindowOfClass("SdlTestColour", title, kStylePopup, place.left, place.top, place.Width(),
                          place.Height(), {}, 0, nullptr);
  if (window) SetWindowWord(window, 0, static_cast<intptr_t>(colour));
  return window;
}

SDL_Window* FindSdlWindow(const char* title) {
  for (uint32_t id = 1; id < 64; ++id) {
    SDL_Window* window = SDL_GetWindowFromID(id);
    if (window && std::strcmp(SDL_GetWindowTitle(window), title) == 0) return window;
  }
  return nullptr;
}

// Pushes a button event as SDL would report a click in a desktop window.
void PushButton(const char* title, uint32_t type, int x, int y) {
  SDL_Window* found = FindSdlWindow(title);
  ASSERT_NE(found, nullptr) << title;
  SDL_Event event{};
  event.type = type;
  event.button.windowID = SDL_GetWindowID(found);
  event.button.which = 0;
  event.button.button = SDL_BUTTON_LEFT;
  event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.button.clicks = 1;
  event.button.x = x;
  event.button.y = y;
  SDL_PushEvent(&event);
}

struct Helper {
  std::atomic<uint64_t> window{0};
  std::atomic<uint32_t> thread{0};
};

// A second thread with a window of its own, as a message box on its own
// thread has: the backend must carry its calls over to the video thread and
// bring its input back to this thread's queue.
uint32_t HelperThread(void* parameter) {
  auto* helper = static_cast<Helper*>(parameter);
  WindowHandle window = MakeColourWindow("Helper", MakeColor(0, 0xFF, 0), Rect{300, 150, 350, 200});
  helper->thread = CurrentThreadId();
  ShowWindow(window, kShowNoActivate);
  helper->window = window.value;
  Message message;
  while (GetNextMessage(&message)) DispatchWindowMessage(message);
  return 0;
}

TEST(SdlBackend, WindowsAreShownScaledShapedAndAnswerTheDesktopsInput) {
  if (!OwnDisplay::Get()->Start()) GTEST_SKIP() << "no Xvfb to show windows on";
  ScreenBackend* backend = GetScreenBackend();
  ASSERT_STREQ(backend->Name(), "sdl");

  // 1024 x 768 fits the handheld's window twice: the layer's screen is half.
  Rect screen = backend->GetScreenRectangle();
  EXPECT_EQ(screen.Width(), 512);
  EXPECT_EQ(screen.Height(), 384);

  WindowClass colour;
  colour.name = u"SdlTestColour";
  colour.procedure = ColourProcedure;
  colour.windowWords = 1;
  ASSERT_TRUE(RegisterWindowClass(colour));

  const Color red = MakeColor(0xFF, 0, 0);
  const Color blue = MakeColor(0, 0, 0xFF);
  WindowHandle board = MakeColourWindow("Board", red, Rect{0, 0, 240, 294});
  WindowHandle shaped = MakeColourWindow("Shaped", blue, Rect{300, 0, 340, 40});
  ASSERT_TRUE(board && shaped);
  // The left half of the shaped window, and a notch cut out of it.
  Region* left = CreateRectangleRegion(Rect{0, 0, 20, 40});
  Region* notch = CreateRectangleRegion(Rect{0, 10, 10, 20});
  CombineRegions(left, left, notch, RegionOperation::kDifference);
  DeleteRegion(notch);
  ASSERT_TRUE(SetWindowRegion(shaped, left, false));
  ShowWindow(board, kShowNormal);
  ShowWindow(shaped, kShowNoActivate);

  // Every layer pixel is a 2 x 2 block on the desktop.
  ASSERT_TRUE(PumpUntil([] { return ScreenPixel(0, 0) == 0xF80000; })) << "the board never showed";
  EXPECT_EQ(ScreenPixel(479, 587), 0xF80000u);
  EXPECT_NE(ScreenPixel(480, 300), 0xF80000u);
  EXPECT_NE(ScreenPixel(200, 588), 0xF80000u);
  ASSERT_TRUE(PumpUntil([] { return ScreenPixel(639, 79) == 0x0000F8u; }));

  // The desktop window is cut to the region, scaled.
  unsigned long x = FindXWindow("Shaped");
  ASSERT_NE(x, 0u);
  std::vector<std::vector<int>> shape = x11::Shape(OwnDisplay::Get()->X(), x);
  std::vector<std::vector<int>> expected = {{0, 0, 40, 20}, {20, 20, 20, 20}, {0, 40, 40, 40}};
  EXPECT_EQ(shape, expected);

  // The real pointer moving over the board arrives in client coordinates.
  uint32_t self = CurrentThreadId();
  x11::MovePointer(OwnDisplay::Get()->X(), 101, 51);
  EXPECT_TRUE(PumpUntil([&] { return Got(kMessageMouseMove, 50, 25, self); }));

  // Captured, the board hears the pointer wherever it goes, in its own
  // coordinates; released, it no longer does.
  SetCapture(board);
  // The desktop may give the board the focus SDL needs a moment later.
  ASSERT_TRUE(PumpUntil([] {
    SDL_Window* window = FindSdlWindow("Board");
    return window && (SDL_GetWindowFlags(window) & SDL_WINDOW_MOUSE_CAPTURE);
  }));
  x11::MovePointer(OwnDisplay::Get()->X(), 900, 700);
  EXPECT_TRUE(PumpUntil([&] { return Got(kMessageMouseMove, 450, 350, self); }));
  ReleaseCapture();
  x11::MovePointer(OwnDisplay::Get()->X(), 950, 720);
  x11::MovePointer(OwnDisplay::Get()->X(), 101, 51);
  EXPECT_TRUE(PumpUntil([&] {
    std::lock_guard<std::mutex> lock(receivedMutex);
    return received.back().x == 50 && received.back().y == 25;
  }));
  EXPECT_FALSE(Got(kMessageMouseMove, 475, 360, self));

  // A click reported by the desktop, scaled back.
  PushButton("Board", SDL_MOUSEBUTTONDOWN, 301, 11);
  PushButton("Board", SDL_MOUSEBUTTONUP, 303, 13);
  EXPECT_TRUE(PumpUntil([&] { return Got(kMessageLeftButtonUp, 151, 6, self); }));
  EXPECT_TRUE(Got(kMessageLeftButtonDown, 150, 5, self));

  // Keys go to the active window; Ctrl+C also gives its control character.
  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  key.key.windowID = 0;
  key.key.state = SDL_PRESSED;
  key.key.keysym.sym = SDLK_c;
  key.key.keysym.scancode = SDL_SCANCODE_C;
  key.key.keysym.mod = KMOD_LCTRL;
  SDL_PushEvent(&key);
  SDL_Event text{};
  text.type = SDL_TEXTINPUT;
  std::strcpy(text.text.text, "\xC5\x9D");
  SDL_PushEvent(&text);
  EXPECT_TRUE(PumpUntil([&] { return Got(kMessageCharacter, 0x15D, 0, self); }));
  EXPECT_TRUE(Got(kMessageKeyDown, 'C', 0, self));
  EXPECT_TRUE(Got(kMessageCharacter, 3, 0, self));

  // A window of another thread: shown through this, the video thread, and
  // its input delivered to its own thread.
  Helper helper;
  ThreadHandle thread = StartThread(HelperThread, &helper);
  ASSERT_TRUE(thread);
  ASSERT_TRUE(PumpUntil([] { return ScreenPixel(610, 310) == 0x00F800u; }))
      << "the other thread's window never showed";
  PushButton("Helper", SDL_MOUSEBUTTONDOWN, 20, 40);
  uint32_t helperThread = helper.thread;
  EXPECT_TRUE(PumpUntil([&] { return Got(kMessageLeftButtonDown, 10, 20, helperThread); }));
  EXPECT_FALSE(Got(kMessageLeftButtonDown, 10, 20, self));
  PostWindowMessage(WindowHandle{helper.window}, kMessageUser, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return WaitForThreadEnd(thread, 0) == WaitResult::Signalled; }));
  CloseThreadHandle(thread);
  // Its desktop window went with it.
  EXPECT_TRUE(PumpUntil([] { return FindXWindow("Helper") == 0; }));

  // Moving and sizing follow on the desktop, scaled.
  ASSERT_TRUE(MoveWindow(shaped, 100, 320, 40, 20));
  EXPECT_TRUE(PumpUntil([] {
    return x11::Geometry(OwnDisplay::Get()->X(), FindXWindow("Shaped")) ==
           std::vector<int>{200, 640, 80, 40};
  }));

  // The title follows; hiding takes the window off the desktop and showing
  // brings it back.
  ASSERT_TRUE(SetWindowText(shaped, "Renamed"));
  EXPECT_TRUE(PumpUntil([] { return FindXWindow("Renamed") != 0; }));
  ShowWindow(shaped, kShowHide);
  EXPECT_TRUE(
      PumpUntil([] { return !x11::Viewable(OwnDisplay::Get()->X(), FindXWindow("Renamed")); }));
  ShowWindow(shaped, kShowNoActivate);
  EXPECT_TRUE(
      PumpUntil([] { return x11::Viewable(OwnDisplay::Get()->X(), FindXWindow("Renamed")); }));

  DestroyWindow(shaped);
  DestroyWindow(board);
  EXPECT_TRUE(PumpUntil([] { return FindXWindow("Board") == 0; }));
}

}  // namespace

#endif
