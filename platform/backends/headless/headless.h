#pragma once
// The headless backend: no display at all. Pictures live only in the layer,
// where tests read them (input.h saves them as PNG files) and inject input.

#include "platform/screen.h"

class HeadlessBackend final : public ScreenBackend {
 public:
  const char* Name() const override { return "headless"; }
  // A screen of VORLAN_SCREEN_SIZE ("WIDTHxHEIGHT"), 1024 × 768 without it;
  // the whole screen is the work area.
  Rect GetScreenRectangle() override;
  Rect GetWorkArea() override;
  void WindowCreated(WindowHandle) override {}
  void WindowDestroyed(WindowHandle) override {}
  void WindowShown(WindowHandle, bool) override {}
  void WindowMoved(WindowHandle, const Rect&) override {}
  void WindowTitleChanged(WindowHandle, const std::u16string&) override {}
  void WindowShapeChanged(WindowHandle) override {}
  void WindowRaised(WindowHandle, bool) override {}
  void PictureChanged(WindowHandle, const Rect&) override {}
  void CaptureChanged(WindowHandle) override {}
  void CursorChanged(uint32_t) override {}
};
