#pragma once
// The screen: the choice of backend and the interface a backend implements.
//
// The layer itself keeps every window's picture: each top-level window has
// a surface in the display's depth that the window and its children draw
// into. A backend only shows those pictures and feeds input back. Two exist:
// "sdl" (windows on the desktop) and "headless" (no display; for tests and
// CI). The choice is made once, at the first use, from VORLAN_BACKEND
// ("sdl" or "headless"); without it, sdl when DISPLAY or WAYLAND_DISPLAY is
// set and the layer was built with SDL2, else headless. Code above the
// platform uses window.h, graphics.h and input.h, never this interface.

#include <cstdint>
#include <string>

#include "platform/window.h"

struct Region;

// What a backend implements. The layer calls these from any thread, never
// while it holds a lock of its own, so a backend may call back into the
// layer (read a picture, deliver input) from within them. A backend that
// needs its calls on one thread serialises them itself.
class ScreenBackend {
 public:
  virtual ~ScreenBackend() = default;

  virtual const char* Name() const = 0;
  // The whole screen and the part of it windows may use (without panels).
  virtual Rect GetScreenRectangle() = 0;
  virtual Rect GetWorkArea() = 0;

  // A top-level window came or went. New windows are hidden.
  virtual void WindowCreated(WindowHandle window) = 0;
  virtual void WindowDestroyed(WindowHandle window) = 0;
  virtual void WindowShown(WindowHandle window, bool visible) = 0;
  // Its rectangle on the screen changed; the picture has the new size.
  virtual void WindowMoved(WindowHandle window, const Rect& screen) = 0;
  virtual void WindowTitleChanged(WindowHandle window, const std::u16string& title) = 0;
  // Its window region changed (read it with GetWindowRegion).
  virtual void WindowShapeChanged(WindowHandle window) = 0;
  // Raised above the others; topMost keeps it above windows that are not.
  virtual void WindowRaised(WindowHandle window, bool topMost) = 0;
  // Part of its picture (client coordinates) was drawn: show it.
  virtual void PictureChanged(WindowHandle window, const Rect& area) = 0;
  // The mouse was captured by a top-level window (null: released).
  virtual void CaptureChanged(WindowHandle window) = 0;
  // A system cursor number as given to the class (0: none).
  virtual void CursorChanged(uint32_t cursor) = 0;
};

// The backend in use, chosen at the first call.
ScreenBackend* GetScreenBackend();

// The factories the choice calls. The sdl one exists when the layer is
// built with SDL2 (VORLAN_HAVE_SDL defined for the platform library).
ScreenBackend* CreateHeadlessBackend();
ScreenBackend* CreateSdlBackend();

// For backends: copies part of a top-level window's picture (client
// coordinates) as 0xAARRGGBB pixels, rows pitch pixels apart; on an 8-bit
// display through the realised palette. Alpha is 255 inside the window
// region and 0 outside it. False when the window is gone or the area lies
// outside its picture.
bool ReadWindowPicture(WindowHandle window, const Rect& area, uint32_t* pixels, int32_t pitch);

// For backends: input in screen coordinates, routed as the user's input is
// (see input.h): to the capturing window, else to the top-most window under
// the point inside its region, in client coordinates. These may call the
// backend back (a click that activates a window raises it), so a backend
// must not hold a lock of its own across them.
void DeliverMouse(uint32_t message, Point screen, uint32_t keys);
// Key messages go to the focused window (else the active one).
void DeliverKey(uint32_t message, uint32_t virtualKey, uint32_t data);
// The user closed a top-level window or (de)activated it.
void DeliverCloseRequest(WindowHandle window);
void DeliverActivation(WindowHandle window, bool active);
// The backend lost part of a window's pixels: the layer repaints it.
void DeliverExposure(WindowHandle window, const Rect& area);
