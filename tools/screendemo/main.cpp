// vorlan-screendemo [--seconds N]
//
// Shows three windows: the handheld's 240 x 294 window (scaled by the
// backend), a round window cut out by its window region and a small window
// with a caption. A click draws a mark where it lands and prints the client
// point; characters typed are printed too. The program ends when a window is
// closed, or after N seconds.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/graphics.h"
#include "platform/region.h"
#include "platform/window.h"

namespace {

constexpr uint32_t kQuitTimer = 1;

struct Mark {
  WindowHandle window;
  int32_t x;
  int32_t y;
};
std::vector<Mark> marks;

Color Background(WindowHandle window, int32_t x, int32_t y) {
  char kind = static_cast<char>(GetWindowWord(window, 0));
  switch (kind) {
    case 'b':  // a checker board of 20-pixel squares, as the board's look
      return ((x / 20 + y / 20) % 2) ? MakeColor(0xE8, 0xD0, 0x90) : MakeColor(0x80, 0x50, 0x20);
    case 's':  // a gradient, so scaling and the cut edge show
      return MakeColor(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0xC0);
    default:
      return MakeColor(0x30, 0xA0, 0x50);
  }
}

void Paint(WindowHandle window) {
  PaintInfo paint;
  DeviceContext* dc = BeginPaint(window, &paint);
  if (!dc) return;
  Rect client;
  GetClientRectangle(window, &client);
  // The background is made as a 32-bit picture and copied in one blit.
  Bitmap* picture = CreateBitmap(client.right, client.bottom, 32, nullptr);
  BitmapLayout layout;
  DeviceContext* memory = CreateMemoryDC(nullptr);
  if (picture && memory && GetBitmapLayout(picture, &layout)) {
    for (int32_t y = 0; y < layout.height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(layout.bits + static_cast<size_t>(y) * layout.pitch);
      for (int32_t x = 0; x < layout.width; ++x) {
        Color color = Background(window, x, y);
        row[x] = (static_cast<uint32_t>(ColorRed(color)) << 16) |
                 (static_cast<uint32_t>(ColorGreen(color)) << 8) | ColorBlue(color);
      }
    }
    Bitmap* previous = SelectBitmap(memory, picture);
    BlitBits(dc, 0, 0, client.right, client.bottom, memory, 0, 0, kRasterCopy);
    SelectBitmap(memory, previous);
  }
  if (memory) DeleteMemoryDC(memory);
  if (picture) DeleteBitmap(picture);
  // A one-pixel frame shows the window's edges at the scale.
  FillRectangle(dc, Rect{0, 0, client.right, 1}, MakeColor(0, 0, 0));
  FillRectangle(dc, Rect{0, client.bottom - 1, client.right, client.bottom}, MakeColor(0, 0, 0));
  FillRectangle(dc, Rect{0, 0, 1, client.bottom}, MakeColor(0, 0, 0));
  FillRectangle(dc, Rect{client.right - 1, 0, client.right, client.bottom}, MakeColor(0, 0, 0));
  for (const Mark& mark : marks) {
    if (mark.window == window) {
      FillRectangle(dc, Rect{mark.x - 3, mark.y - 3, mark.x + 3, mark.y + 3},
                    MakeColor(0xE0, 0x10, 0x10));
    }
  }
  EndPaint(window, &paint);
}

MessageResult DemoProcedure(WindowHandle window, uint32_t message, MessageWord word,
                            MessageLong value) {
  switch (message) {
    case kMessagePaint:
      Paint(window);
      return 0;
    case kMessageLeftButtonDown:
    case kMessageLeftButtonUp: {
      int32_t x = PointParameterX(value);
      int32_t y = PointParameterY(value);
      std::printf("%s %d,%d in %c\n", message == kMessageLeftButtonDown ? "down" : "up", x, y,
                  static_cast<char>(GetWindowWord(window, 0)));
      std::fflush(stdout);
      if (message == kMessageLeftButtonDown) {
        marks.push_back({window, x, y});
        Rect area{x - 3, y - 3, x + 3, y + 3};
        InvalidateRectangle(window, &area, false);
      }
      return 0;
    }
    case kMessageCharacter:
      std::printf("character %u\n", static_cast<unsigned>(word));
      std::fflush(stdout);
      return 0;
    case kMessageTimer:
      if (word == kQuitTimer) PostQuit(0);
      return 0;
    case kMessageClose:
      PostQuit(0);
      return 0;
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

WindowHandle MakeWindow(char kind, const char* title, uint32_t style, Rect place) {
  WindowHandle window = CreateWindowOfClass("ScreenDemo", title, style, place.left, place.top,
                                            place.Width(), place.Height(), {}, 0, nullptr);
  if (window) SetWindowWord(window, 0, kind);
  return window;
}

// A disc as a window region: one rectangle per row.
Region* DiscRegion(int32_t diameter) {
  std::vector<Rect> rows;
  int32_t radius = diameter / 2;
  for (int32_t y = 0; y < diameter; ++y) {
    int32_t dy = y - radius;
    int32_t half = 0;
    while ((half + 1) * (half + 1) + dy * dy <= radius * radius) ++half;
    rows.push_back(Rect{radius - half, y, radius + half, y + 1});
  }
  return CreateRegionFromRectangles(rows.data(), static_cast<int32_t>(rows.size()));
}

}  // namespace

int main(int argc, char** argv) {
  int32_t seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: vorlan-screendemo [--seconds N]\n");
      return 2;
    }
  }
  WindowClass demo;
  demo.name = u"ScreenDemo";
  demo.procedure = DemoProcedure;
  demo.windowWords = 1;
  demo.cursor = kCursorArrow;
  if (!RegisterWindowClass(demo)) return 1;

  WindowHandle board = MakeWindow('b', "Vorlan", kStylePopup | kStyleCaption, Rect{0, 0, 240, 294});
  // The round window overlaps the board, so the cut-out shows what is under it.
  WindowHandle round = MakeWindow('s', "Shaped", kStylePopup, Rect{170, 60, 330, 220});
  WindowHandle plain =
      MakeWindow('p', "Plain", kStylePopup | kStyleCaption, Rect{260, 250, 460, 330});
  if (!board || !round || !plain) return 1;
  SetWindowRegion(round, DiscRegion(160), false);
  ShowWindow(board, kShowNormal);
  ShowWindow(plain, kShowNoActivate);
  ShowWindow(round, kShowNoActivate);
  if (seconds > 0) StartWindowTimer(board, kQuitTimer, static_cast<uint32_t>(seconds) * 1000);

  Message message;
  while (GetNextMessage(&message)) DispatchWindowMessage(message);
  return 0;
}
