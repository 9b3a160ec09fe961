#include "platform/input.h"

#include <atomic>

#include "platform/screen.h"

namespace {

std::atomic<uint32_t>& MouseButtons() {
  static std::atomic<uint32_t> buttons{0};
  return buttons;
}

std::atomic<int64_t>& Cursor() {
  static std::atomic<int64_t> cursor{0};
  return cursor;
}

uint32_t ButtonOf(uint32_t message) {
  switch (message) {
    case kMessageLeftButtonDown:
    case kMessageLeftButtonUp:
      return kMouseKeyLeft;
    case kMessageRightButtonDown:
    case kMessageRightButtonUp:
      return kMouseKeyRight;
    case kMessageMiddleButtonDown:
    case kMessageMiddleButtonUp:
      return kMouseKeyMiddle;
    default:
      return 0;
  }
}

}  // namespace

bool InjectMouse(WindowHandle window, uint32_t message, int32_t x, int32_t y) {
  Point screen{x, y};
  if (!ClientToScreen(window, &screen)) return false;
  uint32_t button = ButtonOf(message);
  if (message == kMessageLeftButtonDown || message == kMessageRightButtonDown ||
      message == kMessageMiddleButtonDown) {
    MouseButtons() |= button;
  } else if (button) {
    MouseButtons() &= ~button;
  }
  uint32_t keys = MouseButtons();
  if (IsKeyDown(kKeyShift)) keys |= kMouseKeyShift;
  if (IsKeyDown(kKeyControl)) keys |= kMouseKeyControl;
  Cursor() = (static_cast<int64_t>(screen.x) << 32) | static_cast<uint32_t>(screen.y);
  DeliverMouse(message, screen, keys);
  return true;
}

bool InjectClick(WindowHandle window, int32_t x, int32_t y) {
  return InjectMouse(window, kMessageLeftButtonDown, x, y) &&
         InjectMouse(window, kMessageLeftButtonUp, x, y);
}

void InjectKeyDown(uint32_t virtualKey) {
  DeliverKey(kMessageKeyDown, virtualKey, 1);
}

void InjectKeyUp(uint32_t virtualKey) {
  DeliverKey(kMessageKeyUp, virtualKey, 0xC0000001u);
}

void InjectCharacter(char16_t character) {
  DeliverKey(kMessageCharacter, character, 1);
}

void InjectKey(uint32_t virtualKey, char16_t character) {
  InjectKeyDown(virtualKey);
  if (character) InjectCharacter(character);
  InjectKeyUp(virtualKey);
}

Point GetCursorPosition() {
  int64_t packed = Cursor();
  return {static_cast<int32_t>(packed >> 32), static_cast<int32_t>(static_cast<uint32_t>(packed))};
}

int32_t DispatchPendingMessages() {
  int32_t count = 0;
  Message message;
  // A window that never validates would be painted for ever: give up then.
  while (count < 100000 && PeekNextMessage(&message, false)) {
    if (message.message == kMessageQuit) break;
    PeekNextMessage(&message, true);
    DispatchWindowMessage(message);
    ++count;
  }
  return count;
}
