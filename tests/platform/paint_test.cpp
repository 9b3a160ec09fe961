// Window painting, show and activation, and input routing, on the headless
// backend.

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/picture.h"
#include "platform/region.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace {

constexpr Color kWhite = MakeColor(248, 248, 248);
constexpr Color kRed = MakeColor(248, 0, 0);
constexpr Color kBlue = MakeColor(0, 0, 248);
constexpr Color kGreen = MakeColor(0, 248, 0);

struct Logged {
  WindowHandle window;
  uint32_t message;
  MessageWord word;
  MessageLong value;
};

// What the test windows saw, and the colour each paints itself.
std::vector<Logged> journal;
std::map<uint64_t, Color> paintColor;

bool Journaled(uint32_t message) {
  switch (message) {
    case kMessagePaint:
    case kMessageShowWindow:
    case kMessageActivate:
    case kMessageSetFocus:
    case kMessageKillFocus:
    case kMessageCaptureChanged:
    case kMessageUser:
      return true;
    default:
      return message >= kMessageFirstMouse && message <= kMessageLastMouse;
  }
}

MessageResult Procedure(WindowHandle window, uint32_t message, MessageWord word,
                        MessageLong value) {
  if (Journaled(message)) journal.push_back({window, message, word, value});
  if (message == kMessagePaint) {
    PaintInfo paint;
    DeviceContext* dc = BeginPaint(window, &paint);
    Rect client;
    GetClientRectangle(window, &client);
    FillRectangle(dc, client, paintColor[window.value]);
    EndPaint(window, &paint);
    return 0;
  }
  return DefaultWindowProcedure(window, message, word, value);
}

class PaintTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("VORLAN_BACKEND", "headless", 1);
    WindowClass description;
    description.name = u"PaintTestWindow";
    description.procedure = Procedure;
    RegisterWindowClass(description);
  }

  void TearDown() override {
    for (WindowHandle window : made_) {
      if (WindowExists(window)) DestroyWindow(window);
    }
    DispatchPendingMessages();
    journal.clear();
  }

  WindowHandle TopLevel(int32_t x, int32_t y, int32_t width, int32_t height, Color color) {
    WindowHandle window = CreateWindowOfClass(u"PaintTestWindow", u"", kStylePopup, x, y, width,
                                              height, {}, 0, nullptr);
    paintColor[window.value] = color;
    made_.push_back(window);
    return window;
  }

  WindowHandle Child(WindowHandle parent, int32_t x, int32_t y, int32_t width, int32_t height,
                     Color color) {
    WindowHandle window = CreateWindowOfClass(u"PaintTestWindow", u"", kStyleChild | kStyleVisible,
                                              x, y, width, height, parent, 7, nullptr);
    paintColor[window.value] = color;
    return window;
  }

  // Shows a window, lets everything land and forgets what was logged.
  void ShowSettled(WindowHandle window) {
    ShowWindow(window, kShowNormal);
    DispatchPendingMessages();
    journal.clear();
  }

  static std::vector<Logged> Taken(uint32_t message) {
    std::vector<Logged> found;
    for (const Logged& entry : journal) {
      if (entry.message == message) found.push_back(entry);
    }
    return found;
  }

  // The pixel the window shows, as 0xAARRGGBB; 0 when it cannot be read.
  static uint32_t PixelAt(WindowHandle window, int32_t x, int32_t y) {
    uint32_t pixel = 0;
    EXPECT_TRUE(ReadWindowPicture(window, {x, y, x + 1, y + 1}, &pixel, 1));
    return pixel;
  }

 private:
  std::vector<WindowHandle> made_;
};

uint32_t Argb(Color color) {
  return 0xFF000000u | (static_cast<uint32_t>(ColorRed(color)) << 16) |
         (static_cast<uint32_t>(ColorGreen(color)) << 8) | ColorBlue(color);
}

TEST_F(PaintTest, PaintsComeAfterPostedMessagesAndParentsBeforeChildren) {
  WindowHandle top = TopLevel(10, 10, 100, 80, kWhite);
  WindowHandle child = Child(top, 10, 10, 30, 20, kRed);
  ShowWindow(top, kShowNormal);
  PostWindowMessage(top, kMessageUser, 0, 0);
  DispatchPendingMessages();
  std::vector<std::pair<WindowHandle, uint32_t>> order;
  for (const Logged& entry : journal) {
    if (entry.message == kMessageUser || entry.message == kMessagePaint) {
      order.emplace_back(entry.window, entry.message);
    }
  }
  const std::vector<std::pair<WindowHandle, uint32_t>> expected = {
      {top, kMessageUser}, {top, kMessagePaint}, {child, kMessagePaint}};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(PixelAt(top, 5, 5), Argb(kWhite));
  EXPECT_EQ(PixelAt(top, 15, 15), Argb(kRed));
  EXPECT_EQ(PixelAt(child, 0, 0), Argb(kRed));
  Rect update;
  EXPECT_FALSE(GetUpdateRectangle(top, &update));  // painting validated it
}

TEST_F(PaintTest, PaintDrawsOnlyIntoTheInvalidArea) {
  WindowHandle top = TopLevel(0, 0, 40, 30, kWhite);
  ShowSettled(top);
  paintColor[top.value] = kBlue;
  Rect area{5, 6, 10, 12};
  InvalidateRectangle(top, &area, false);
  Rect update;
  ASSERT_TRUE(GetUpdateRectangle(top, &update));
  EXPECT_EQ(update.left, 5);
  EXPECT_EQ(update.bottom, 12);
  DispatchPendingMessages();
  ASSERT_EQ(Taken(kMessagePaint).size(), 1u);
  EXPECT_EQ(PixelAt(top, 5, 6), Argb(kBlue));
  EXPECT_EQ(PixelAt(top, 9, 11), Argb(kBlue));
  EXPECT_EQ(PixelAt(top, 10, 11), Argb(kWhite));
  EXPECT_EQ(PixelAt(top, 5, 12), Argb(kWhite));
  EXPECT_EQ(PixelAt(top, 4, 6), Argb(kWhite));
}

TEST_F(PaintTest, ChildDrawingStaysInsideTheChildAndItsRegion) {
  WindowHandle top = TopLevel(0, 0, 40, 30, kWhite);
  WindowHandle child = Child(top, 30, 20, 20, 20, kRed);  // reaches past the parent
  SetWindowRegion(child, CreateRectangleRegion({0, 0, 5, 20}), true);
  ShowSettled(top);
  DeviceContext* dc = GetWindowDC(child);
  ASSERT_NE(dc, nullptr);
  FillRectangle(dc, {-30, -20, 100, 100}, kGreen);
  ReleaseWindowDC(child, dc);
  EXPECT_EQ(PixelAt(top, 30, 20), Argb(kGreen));
  EXPECT_EQ(PixelAt(top, 34, 29), Argb(kGreen));
  EXPECT_EQ(PixelAt(top, 35, 20), Argb(kWhite));  // outside the child's region
  EXPECT_EQ(PixelAt(top, 29, 20), Argb(kWhite));  // outside the child
  EXPECT_EQ(PixelAt(top, 30, 19), Argb(kWhite));
}

TEST_F(PaintTest, HiddenAndFrozenWindowsAreNotPainted) {
  WindowHandle top = TopLevel(0, 0, 20, 20, kWhite);
  InvalidateRectangle(top, nullptr, true);
  DispatchPendingMessages();
  EXPECT_TRUE(Taken(kMessagePaint).empty());  // hidden

  ShowSettled(top);
  SetWindowRedraw(top, false);
  paintColor[top.value] = kRed;
  InvalidateRectangle(top, nullptr, true);
  DeviceContext* dc = GetWindowDC(top);
  FillRectangle(dc, {0, 0, 20, 20}, kBlue);  // drawing while frozen shows nothing
  ReleaseWindowDC(top, dc);
  DispatchPendingMessages();
  EXPECT_TRUE(Taken(kMessagePaint).empty());
  EXPECT_EQ(PixelAt(top, 3, 3), Argb(kWhite));

  SetWindowRedraw(top, true);
  DispatchPendingMessages();
  EXPECT_EQ(Taken(kMessagePaint).size(), 1u);
  EXPECT_EQ(PixelAt(top, 3, 3), Argb(kRed));
}

TEST_F(PaintTest, ShowingActivatesAndMovesTheFocus) {
  WindowHandle first = TopLevel(0, 0, 20, 20, kWhite);
  WindowHandle second = TopLevel(30, 0, 20, 20, kWhite);
  ShowSettled(first);
  EXPECT_EQ(GetActiveWindow(), first);
  EXPECT_EQ(GetFocus(), first);

  ShowWindow(second, kShowNormal);
  DispatchPendingMessages();
  std::vector<std::pair<WindowHandle, uint32_t>> order;
  for (const Logged& entry : journal) {
    if (entry.message != kMessagePaint) order.emplace_back(entry.window, entry.message);
  }
  const std::vector<std::pair<WindowHandle, uint32_t>> expected = {{second, kMessageShowWindow},
                                                                   {first, kMessageActivate},
                                                                   {second, kMessageActivate},
                                                                   {first, kMessageKillFocus},
                                                                   {second, kMessageSetFocus}};
  EXPECT_EQ(order, expected);
  std::vector<Logged> activations = Taken(kMessageActivate);
  ASSERT_EQ(activations.size(), 2u);
  EXPECT_EQ(LowWord(activations[0].word), kActivationInactive);
  EXPECT_EQ(LowWord(activations[1].word), kActivationActive);

  // Hiding the active window passes the activation on to the front-most
  // shown window; a window shown without activation does not take it back.
  journal.clear();
  ShowWindow(second, kShowHide);
  EXPECT_EQ(GetActiveWindow(), first);
  ASSERT_FALSE(Taken(kMessageShowWindow).empty());
  EXPECT_EQ(Taken(kMessageShowWindow)[0].word, 0u);
  ShowWindow(second, kShowNoActivate);
  EXPECT_EQ(GetActiveWindow(), first);
  EXPECT_TRUE(IsWindowVisible(second));
}

// Two overlapping top-level windows, the lower one with a child:
//   lower at (0, 0) 100 × 100, child at (20, 20) 30 × 30 in it;
//   upper at (50, 50) 100 × 100, shown last, so in front.
class InputTest : public PaintTest {
 protected:
  void SetUp() override {
    lower = TopLevel(0, 0, 100, 100, kWhite);
    child = Child(lower, 20, 20, 30, 30, kRed);
    upper = TopLevel(50, 50, 100, 100, kBlue);
    ShowSettled(lower);
    ShowSettled(upper);
  }

  // The mouse messages that arrived, as (window, message, x, y).
  struct Arrived {
    WindowHandle window;
    uint32_t message;
    int32_t x, y;
    friend bool operator==(const Arrived&, const Arrived&) = default;
  };
  static std::vector<Arrived> Mouse() {
    std::vector<Arrived> found;
    for (const Logged& entry : journal) {
      if (entry.message >= kMessageFirstMouse && entry.message <= kMessageLastMouse) {
        found.push_back({entry.window, entry.message, PointParameterX(entry.value),
                         PointParameterY(entry.value)});
      }
    }
    return found;
  }

 public:
  WindowHandle lower, child, upper;
};

TEST_F(InputTest, ClicksReachTheWindowUnderThePointInItsClientCoordinates) {
  const struct {
    int32_t x, y;  // in the lower window's client area
    WindowHandle InputTest::*target;
    int32_t targetX, targetY;
  } cases[] = {
      {60, 60, &InputTest::upper, 10, 10},  // the upper window covers this point
      {25, 25, &InputTest::child, 5, 5},    // the child (clicking raises the lower window)
      {10, 10, &InputTest::lower, 10, 10},  // the lower window itself
      {60, 60, &InputTest::lower, 60, 60},  // now the lower window is in front
      {49, 49, &InputTest::child, 29, 29},  // the child's last pixel
  };
  for (const auto& c : cases) {
    journal.clear();
    ASSERT_TRUE(InjectMouse(lower, kMessageLeftButtonDown, c.x, c.y));
    DispatchPendingMessages();
    std::vector<Arrived> expected = {
        {this->*c.target, kMessageLeftButtonDown, c.targetX, c.targetY}};
    EXPECT_EQ(Mouse(), expected) << c.x << "," << c.y;
    InjectMouse(lower, kMessageLeftButtonUp, c.x, c.y);
    DispatchPendingMessages();
  }
}

// When the active window goes, its owner becomes active again (as when a
// dialog closes); without an owner, the front-most shown window does.
TEST_F(PaintTest, ActivationReturnsToTheOwner) {
  WindowHandle other = TopLevel(0, 0, 10, 10, kWhite);
  WindowHandle owner = TopLevel(20, 0, 10, 10, kWhite);
  ShowSettled(owner);
  ShowSettled(other);  // in front of the owner
  WindowHandle owned =
      CreateWindowOfClass(u"PaintTestWindow", u"", kStylePopup, 40, 0, 10, 10, owner, 0, nullptr);
  ShowSettled(owned);
  ASSERT_EQ(GetActiveWindow(), owned);
  DestroyWindow(owned);
  EXPECT_EQ(GetActiveWindow(), owner);
  std::vector<Logged> activations = Taken(kMessageActivate);
  ASSERT_FALSE(activations.empty());
  EXPECT_EQ(activations.back().window, owner);
  EXPECT_EQ(LowWord(activations.back().word), kActivationActive);

  ShowWindow(owner, kShowHide);
  EXPECT_EQ(GetActiveWindow(), other);
}

TEST_F(InputTest, ClickActivatesBeforeTheButtonArrives) {
  ASSERT_EQ(GetActiveWindow(), upper);
  journal.clear();
  InjectMouse(lower, kMessageLeftButtonDown, 10, 10);
  DispatchPendingMessages();
  EXPECT_EQ(GetActiveWindow(), lower);
  std::vector<std::pair<WindowHandle, uint32_t>> order;
  for (const Logged& entry : journal) {
    if (entry.message == kMessageActivate || entry.message == kMessageLeftButtonDown) {
      order.emplace_back(entry.window, entry.message);
    }
  }
  const std::vector<std::pair<WindowHandle, uint32_t>> expected = {
      {upper, kMessageActivate}, {lower, kMessageActivate}, {lower, kMessageLeftButtonDown}};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(LowWord(Taken(kMessageActivate)[1].word), kActivationByClick);
  InjectMouse(lower, kMessageLeftButtonUp, 10, 10);
}

// A top-most window stays in front of a window activated after it, until it
// is made not top-most again.
TEST_F(InputTest, TopMostWindowsStayInFront) {
  PlaceWindow(upper, Stacking::kTopMost, 0, 0, 0, 0,
              kPlaceNoMove | kPlaceNoSize | kPlaceNoActivate);
  SetForegroundWindow(lower);
  EXPECT_EQ(GetForegroundWindow(), lower);
  EXPECT_EQ(WindowFromPoint({60, 60}), upper);
  PlaceWindow(upper, Stacking::kNotTopMost, 0, 0, 0, 0,
              kPlaceNoMove | kPlaceNoSize | kPlaceNoActivate);
  SetForegroundWindow(lower);
  EXPECT_EQ(WindowFromPoint({60, 60}), lower);
  // Moving and sizing with the flags leaves the stacking alone.
  PlaceWindow(upper, Stacking::kTop, 40, 40, 20, 20, kPlaceNoZOrder | kPlaceNoActivate);
  EXPECT_EQ(WindowFromPoint({45, 45}), child);  // the lower window's child is in front
  Rect rect;
  GetWindowRectangle(upper, &rect);
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.Width(), 20);
  EXPECT_EQ(GetActiveWindow(), lower);
}

TEST_F(InputTest, PointsOutsideAWindowRegionFallThrough) {
  // The upper window keeps only its bottom-right quarter.
  SetWindowRegion(upper, CreateRectangleRegion({50, 50, 100, 100}), true);
  DispatchPendingMessages();
  journal.clear();
  InjectMouse(lower, kMessageMouseMove, 60, 60);    // upper (10, 10): cut away
  InjectMouse(lower, kMessageMouseMove, 110, 110);  // upper (60, 60): inside
  DispatchPendingMessages();
  const std::vector<Arrived> expected = {{lower, kMessageMouseMove, 60, 60},
                                         {upper, kMessageMouseMove, 60, 60}};
  EXPECT_EQ(Mouse(), expected);
  EXPECT_EQ(WindowFromPoint({60, 60}), lower);
  EXPECT_EQ(WindowFromPoint({200, 200}), WindowHandle{});
}

TEST_F(InputTest, CaptureTakesEveryMouseMessageWherever) {
  SetCapture(child);
  journal.clear();
  InjectMouse(lower, kMessageMouseMove, 0, 0);       // left of and above the child
  InjectMouse(upper, kMessageLeftButtonUp, 90, 90);  // over another window entirely
  DispatchPendingMessages();
  const std::vector<Arrived> expected = {{child, kMessageMouseMove, -20, -20},
                                         {child, kMessageLeftButtonUp, 120, 120}};
  EXPECT_EQ(Mouse(), expected);
  EXPECT_EQ(GetCapture(), child);
  ReleaseCapture();
  DispatchPendingMessages();
  ASSERT_EQ(Taken(kMessageCaptureChanged).size(), 1u);
  EXPECT_EQ(Taken(kMessageCaptureChanged)[0].window, child);
  EXPECT_EQ(GetCapture(), WindowHandle{});
}

TEST_F(InputTest, DisabledWindowsGetNoInput) {
  EnableWindow(lower, false);
  journal.clear();
  InjectMouse(lower, kMessageLeftButtonDown, 25, 25);  // the child of a disabled window
  InjectMouse(lower, kMessageLeftButtonDown, 5, 5);
  InjectMouse(lower, kMessageLeftButtonUp, 5, 5);
  DispatchPendingMessages();
  EXPECT_TRUE(Mouse().empty());
  EXPECT_EQ(GetActiveWindow(), upper);
  EnableWindow(lower, true);
  InjectClick(lower, 5, 5);
  DispatchPendingMessages();
  EXPECT_EQ(Mouse().size(), 2u);
}

TEST_F(InputTest, KeysGoToTheFocusedWindow) {
  SetFocus(child);
  DispatchPendingMessages();
  EXPECT_EQ(GetActiveWindow(), lower);  // focusing a child activates its window
  std::vector<uint32_t> seen;
  WindowProcedure previous = SetWindowProcedure(
      child, [](WindowHandle window, uint32_t message, MessageWord word, MessageLong value) {
        if (message >= kMessageFirstKey && message <= kMessageLastKey) {
          journal.push_back({window, message, word, value});
        }
        return DefaultWindowProcedure(window, message, word, value);
      });
  journal.clear();
  InjectKeyDown(kKeyShift);
  EXPECT_TRUE(IsKeyDown(kKeyShift));
  InjectKey(kKeyHome, 0);
  InjectKey('A', u'A');
  InjectKeyUp(kKeyShift);
  EXPECT_FALSE(IsKeyDown(kKeyShift));
  DispatchPendingMessages();
  for (const Logged& entry : journal) {
    EXPECT_EQ(entry.window, child);
    seen.push_back(entry.message);
    seen.push_back(static_cast<uint32_t>(entry.word));
  }
  const std::vector<uint32_t> expected = {kMessageKeyDown,   kKeyShift, kMessageKeyDown, kKeyHome,
                                          kMessageKeyUp,     kKeyHome,  kMessageKeyDown, 'A',
                                          kMessageCharacter, u'A',      kMessageKeyUp,   'A',
                                          kMessageKeyUp,     kKeyShift};
  EXPECT_EQ(seen, expected);
  SetWindowProcedure(child, previous);
}

// A PNG of a window, read back with libpng: the pixels drawn, and the part
// outside the window region transparent.
TEST_F(InputTest, PictureOfAWindowReadsBackWithItsPixels) {
  SetWindowRegion(lower, CreateRectangleRegion({0, 0, 90, 100}), false);
  DeviceContext* dc = GetWindowDC(lower);
  FillRectangle(dc, {0, 0, 3, 2}, kGreen);
  ReleaseWindowDC(lower, dc);
  std::string path = ::testing::TempDir() + "paint_test_" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(SaveWindowPicture(lower, path.c_str()));

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  ASSERT_EQ(image.width, 100u);
  ASSERT_EQ(image.height, 100u);
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
  unlink(path.c_str());
  auto at = [&](int32_t x, int32_t y) {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * 100 + x) * 4];
    return std::vector<int>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(at(0, 0), (std::vector<int>{0, 248, 0, 255}));
  EXPECT_EQ(at(2, 1), (std::vector<int>{0, 248, 0, 255}));
  EXPECT_EQ(at(3, 1), (std::vector<int>{248, 248, 248, 255}));
  EXPECT_EQ(at(25, 25), (std::vector<int>{248, 0, 0, 255}));  // the child
  // The upper window covers (50, 50) on the screen but is not in this picture.
  EXPECT_EQ(at(60, 60), (std::vector<int>{248, 248, 248, 255}));
  EXPECT_EQ(at(95, 10)[3], 0);  // outside the window region
}

}  // namespace
