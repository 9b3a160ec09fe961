#pragma once
// The arithmetic between the desktop and the layer, kept apart from the SDL
// calls so it can be checked without a display: the whole-number scale of
// the picture, points in either direction, and the numbers the system gives
// keys, mouse buttons and cursors.

#include <SDL.h>

#include <cstdint>

#include "platform/input.h"
#include "platform/window.h"

// The handheld's window that decides the scale.
constexpr int32_t kScaledWindowWidth = 240;
constexpr int32_t kScaledWindowHeight = 294;
constexpr int32_t kLargestScale = 16;

// The largest whole factor by which the handheld's window fits the usable
// area (at least 1). A request of 1 to kLargestScale wins over it.
int32_t ChooseScale(const Rect& usable, int32_t requested);

// The layer's screen is the desktop divided by the scale, with its origin at
// the desktop's origin. Parts of a pixel at the edges are dropped, so a
// window placed inside the layer's work area is inside the desktop's.
Rect LayerArea(const Rect& desktop, const Rect& area, int32_t scale);

// A point inside a scaled window (desktop pixels from its top-left corner,
// possibly outside it while the mouse is captured) as a layer screen point,
// given the window's layer rectangle.
Point LayerPointFromWindow(const Rect& layerWindow, int32_t x, int32_t y, int32_t scale);

// Mouse: the message for a button going down or up (0 for buttons the
// system has no message for) and the key flags of the mouse messages
// (kMouseKey*).
uint32_t MouseButtonMessage(uint8_t button, bool down);
uint32_t MouseKeyFlags(uint32_t buttonMask, uint16_t modifiers);
// The button mask bit of an SDL button, so the flags can follow the events.
uint32_t MouseButtonMask(uint8_t button);

// Keys: the system's virtual-key number (0 for keys it has none for), the
// character a key stands for when it produces no text of its own (control
// letters, backspace, tab, return, escape; 0 otherwise), and the long
// parameter of a key message.
uint32_t VirtualKeyFromSdl(SDL_Keycode key);
uint32_t ControlCharacterFromSdl(SDL_Keycode key, uint16_t modifiers);
uint32_t KeyMessageData(SDL_Scancode scancode, bool repeat, bool up);

// The SDL cursor for one of the system's cursor numbers; false for 0 (no
// cursor) and for numbers without one.
bool SystemCursorFromNumber(uint32_t number, SDL_SystemCursor* cursor);

// Decodes one UTF-8 sequence of text input; answers the bytes used, 0 at the
// end or on a broken sequence (the rest of the text is then dropped).
int32_t DecodeUtf8(const char* text, uint32_t* codePoint);
