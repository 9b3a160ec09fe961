#include "platform/screen.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/trace.h"

namespace {

bool DisplayPresent() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

ScreenBackend* Choose() {
  const char* wanted = std::getenv("VORLAN_BACKEND");
  bool sdl = wanted && *wanted ? std::strcmp(wanted, "sdl") == 0 : DisplayPresent();
  if (wanted && *wanted && std::strcmp(wanted, "sdl") != 0 &&
      std::strcmp(wanted, "headless") != 0) {
    TraceOutput("VORLAN_BACKEND is neither sdl nor headless: using headless\n");
  }
#ifdef VORLAN_HAVE_SDL
  if (sdl) {
    if (ScreenBackend* backend = CreateSdlBackend()) return backend;
    TraceOutput("The sdl backend could not start: using headless\n");
  }
#else
  if (sdl && wanted && *wanted) TraceOutput("Built without SDL2: using the headless backend\n");
#endif
  return CreateHeadlessBackend();
}

}  // namespace

ScreenBackend* GetScreenBackend() {
  // Made once and never destroyed: windows may still go away while the
  // process ends.
  static ScreenBackend* backend = Choose();
  return backend;
}

Rect GetScreenBounds() {
  return GetScreenBackend()->GetScreenRectangle();
}

Rect GetWorkArea() {
  return GetScreenBackend()->GetWorkArea();
}
