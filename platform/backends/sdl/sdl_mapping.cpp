#include "platform/backends/sdl/sdl_mapping.h"

#include <algorithm>

namespace {

// Rounds towards minus infinity, so that a captured mouse left or above the
// window lands on the pixel it is over rather than on column or row 0.
int32_t FloorDivide(int32_t value, int32_t divisor) {
  int32_t quotient = value / divisor;
  if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --quotient;
  return quotient;
}

int32_t CeilDivide(int32_t value, int32_t divisor) {
  return -FloorDivide(-value, divisor);
}

struct KeyNumber {
  SDL_Keycode key;
  uint32_t virtualKey;
};

constexpr KeyNumber kKeyNumbers[] = {
    {SDLK_BACKSPACE, 8},
    {SDLK_TAB, 9},
    {SDLK_RETURN, 13},
    {SDLK_KP_ENTER, 13},
    {SDLK_LSHIFT, 16},
    {SDLK_RSHIFT, 16},
    {SDLK_LCTRL, 17},
    {SDLK_RCTRL, 17},
    {SDLK_LALT, 18},
    {SDLK_RALT, 18},
    {SDLK_PAUSE, 19},
    {SDLK_CAPSLOCK, 20},
    {SDLK_ESCAPE, 27},
    {SDLK_SPACE, 32},
    {SDLK_PAGEUP, 33},
    {SDLK_PAGEDOWN, 34},
    {SDLK_END, 35},
    {SDLK_HOME, 36},
    {SDLK_LEFT, 37},
    {SDLK_UP, 38},
    {SDLK_RIGHT, 39},
    {SDLK_DOWN, 40},
    {SDLK_INSERT, 45},
    {SDLK_DELETE, 46},
    {SDLK_KP_0, 0x60},
    {SDLK_KP_1, 0x61},
    {SDLK_KP_2, 0x62},
    {SDLK_KP_3, 0x63},
    {SDLK_KP_4, 0x64},
    {SDLK_KP_5, 0x65},
    {SDLK_KP_6, 0x66},
    {SDLK_KP_7, 0x67},
    {SDLK_KP_8, 0x68},
    {SDLK_KP_9, 0x69},
    {SDLK_KP_MULTIPLY, 0x6A},
    {SDLK_KP_PLUS, 0x6B},
    {SDLK_KP_MINUS, 0x6D},
    {SDLK_KP_PERIOD, 0x6E},
    {SDLK_KP_DIVIDE, 0x6F},
    {SDLK_SEMICOLON, 0xBA},
    {SDLK_EQUALS, 0xBB},
    {SDLK_COMMA, 0xBC},
    {SDLK_MINUS, 0xBD},
    {SDLK_PERIOD, 0xBE},
    {SDLK_SLASH, 0xBF},
    {SDLK_BACKQUOTE, 0xC0},
    {SDLK_LEFTBRACKET, 0xDB},
    {SDLK_BACKSLASH, 0xDC},
    {SDLK_RIGHTBRACKET, 0xDD},
    {SDLK_QUOTE, 0xDE},
};

struct CursorNumber {
  uint32_t number;
  SDL_SystemCursor cursor;
};

// The numbers the system's programs name their standard cursors by: the
// ones the layer names, and the other usual ones a class may give.
constexpr CursorNumber kCursorNumbers[] = {
    {kCursorArrow, SDL_SYSTEM_CURSOR_ARROW},
    {kCursorSizeNorthwestSoutheast, SDL_SYSTEM_CURSOR_SIZENWSE},
    {kCursorSizeNortheastSouthwest, SDL_SYSTEM_CURSOR_SIZENESW},
    {kCursorSizeWestEast, SDL_SYSTEM_CURSOR_SIZEWE},
    {kCursorSizeNorthSouth, SDL_SYSTEM_CURSOR_SIZENS},
    {32513, SDL_SYSTEM_CURSOR_IBEAM},
    {32514, SDL_SYSTEM_CURSOR_WAIT},
    {32515, SDL_SYSTEM_CURSOR_CROSSHAIR},
    {32646, SDL_SYSTEM_CURSOR_SIZEALL},
    {32648, SDL_SYSTEM_CURSOR_NO},
    {32649, SDL_SYSTEM_CURSOR_HAND},
    {32650, SDL_SYSTEM_CURSOR_WAITARROW},
};

}  // namespace

int32_t ChooseScale(const Rect& usable, int32_t requested) {
  if (requested >= 1 && requested <= kLargestScale) return requested;
  int32_t scale =
      std::min(usable.Width() / kScaledWindowWidth, usable.Height() / kScaledWindowHeight);
  return std::clamp(scale, 1, kLargestScale);
}

Rect LayerArea(const Rect& desktop, const Rect& area, int32_t scale) {
  Rect layer;
  layer.left = CeilDivide(area.left - desktop.left, scale);
  layer.top = CeilDivide(area.top - desktop.top, scale);
  layer.right = FloorDivide(area.right - desktop.left, scale);
  layer.bottom = FloorDivide(area.bottom - desktop.top, scale);
  if (layer.right < layer.left) layer.right = layer.left;
  if (layer.bottom < layer.top) layer.bottom = layer.top;
  return layer;
}

Point LayerPointFromWindow(const Rect& layerWindow, int32_t x, int32_t y, int32_t scale) {
  return Point{layerWindow.left + FloorDivide(x, scale), layerWindow.top + FloorDivide(y, scale)};
}

uint32_t MouseButtonMessage(uint8_t button, bool down) {
  switch (button) {
    case SDL_BUTTON_LEFT:
      return down ? kMessageLeftButtonDown : kMessageLeftButtonUp;
    case SDL_BUTTON_RIGHT:
      return down ? kMessageRightButtonDown : kMessageRightButtonUp;
    case SDL_BUTTON_MIDDLE:
      return down ? kMessageMiddleButtonDown : kMessageMiddleButtonUp;
    default:
      return 0;
  }
}

uint32_t MouseButtonMask(uint8_t button) {
  return button >= 1 && button <= 32 ? SDL_BUTTON(button) : 0;
}

uint32_t MouseKeyFlags(uint32_t buttonMask, uint16_t modifiers) {
  uint32_t flags = 0;
  if (buttonMask & SDL_BUTTON_LMASK) flags |= kMouseKeyLeft;
  if (buttonMask & SDL_BUTTON_RMASK) flags |= kMouseKeyRight;
  if (buttonMask & SDL_BUTTON_MMASK) flags |= kMouseKeyMiddle;
  if (modifiers & KMOD_SHIFT) flags |= kMouseKeyShift;
  if (modifiers & KMOD_CTRL) flags |= kMouseKeyControl;
  return flags;
}

uint32_t VirtualKeyFromSdl(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint32_t>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint32_t>(key);
  if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + static_cast<uint32_t>(key - SDLK_F1);
  for (const KeyNumber& entry : kKeyNumbers) {
    if (entry.key == key) return entry.virtualKey;
  }
  return 0;
}

uint32_t ControlCharacterFromSdl(SDL_Keycode key, uint16_t modifiers) {
  // With Alt held the key is a shortcut of the desktop, not text.
  if (modifiers & KMOD_ALT) return 0;
  if ((modifiers & KMOD_CTRL) && key >= SDLK_a && key <= SDLK_z) {
    return static_cast<uint32_t>(key - SDLK_a + 1);
  }
  switch (key) {
    case SDLK_BACKSPACE:
      return 8;
    case SDLK_TAB:
      return 9;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return 13;
    case SDLK_ESCAPE:
      return 27;
    default:
      return 0;
  }
}

uint32_t KeyMessageData(SDL_Scancode scancode, bool repeat, bool up) {
  uint32_t data = 1 | ((static_cast<uint32_t>(scancode) & 0xFF) << 16);
  if (repeat || up) data |= 0x40000000;
  if (up) data |= 0x80000000;
  return data;
}

bool SystemCursorFromNumber(uint32_t number, SDL_SystemCursor* cursor) {
  for (const CursorNumber& entry : kCursorNumbers) {
    if (entry.number == number) {
      *cursor = entry.cursor;
      return true;
    }
  }
  return false;
}

int32_t DecodeUtf8(const char* text, uint32_t* codePoint) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  unsigned char first = bytes[0];
  if (first == 0) return 0;
  int32_t length;
  uint32_t value;
  if (first < 0x80) {
    *codePoint = first;
    return 1;
  } else if ((first & 0xE0) == 0xC0) {
    length = 2;
    value = first & 0x1F;
  } else if ((first & 0xF0) == 0xE0) {
    length = 3;
    value = first & 0x0F;
  } else if ((first & 0xF8) == 0xF0) {
    length = 4;
    value = first & 0x07;
  } else {
    return 0;
  }
  for (int32_t i = 1; i < length; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (bytes[i] & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  *codePoint = value;
  return length;
}
