#include "platform/backends/headless/headless.h"

#include <cstdio>
#include <cstdlib>

namespace {

Rect ScreenSize() {
  Rect screen{0, 0, 1024, 768};
  if (const char* text = std::getenv("VORLAN_SCREEN_SIZE")) {
    int width = 0, height = 0;
    if (std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0 &&
        width <= 16384 && height <= 16384) {
      screen = {0, 0, width, height};
    }
  }
  return screen;
}

}  // namespace

Rect HeadlessBackend::GetScreenRectangle() {
  return ScreenSize();
}

Rect HeadlessBackend::GetWorkArea() {
  return ScreenSize();
}

ScreenBackend* CreateHeadlessBackend() {
  return new HeadlessBackend;
}
