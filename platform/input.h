#pragma once
// Input made by a program rather than a person: tests and the gallery drive
// windows with it on any backend. Injected input takes the user's path: it
// goes to the window that has captured the mouse, else to the top-most
// visible window under the point (inside its window region; none when the
// point misses every window), as a posted message in that window's client
// coordinates. Disabled windows get none. The calling thread's messages
// still have to be dispatched.

#include <cstdint>

#include "platform/window.h"

// The word parameter of mouse messages: which buttons and keys are down.
constexpr uint32_t kMouseKeyLeft = 0x0001;
constexpr uint32_t kMouseKeyRight = 0x0002;
constexpr uint32_t kMouseKeyShift = 0x0004;
constexpr uint32_t kMouseKeyControl = 0x0008;
constexpr uint32_t kMouseKeyMiddle = 0x0010;

// Virtual-key numbers of the keys the programs look at.
constexpr uint32_t kKeyBackspace = 8;
constexpr uint32_t kKeyTab = 9;
constexpr uint32_t kKeyReturn = 13;
constexpr uint32_t kKeyShift = 16;
constexpr uint32_t kKeyControl = 17;
constexpr uint32_t kKeyEscape = 27;
constexpr uint32_t kKeySpace = 32;
constexpr uint32_t kKeyPageUp = 33;
constexpr uint32_t kKeyPageDown = 34;
constexpr uint32_t kKeyEnd = 35;
constexpr uint32_t kKeyHome = 36;
constexpr uint32_t kKeyLeft = 37;
constexpr uint32_t kKeyUp = 38;
constexpr uint32_t kKeyRight = 39;
constexpr uint32_t kKeyDown = 40;
constexpr uint32_t kKeyInsert = 45;
constexpr uint32_t kKeyDelete = 46;

// A mouse message (move, button down or up) at a point in the window's
// client coordinates; the message may reach another window (one on top, a
// child, the captured one). False when the window is gone.
bool InjectMouse(WindowHandle window, uint32_t message, int32_t x, int32_t y);
// Left button down and up at one client point.
bool InjectClick(WindowHandle window, int32_t x, int32_t y);

// A key press to the focused window (else the active one): key down, the
// character (when not 0) and key up. Shift and Control stay down between
// InjectKeyDown and InjectKeyUp of those keys.
void InjectKey(uint32_t virtualKey, char16_t character);
void InjectKeyDown(uint32_t virtualKey);
void InjectKeyUp(uint32_t virtualKey);
void InjectCharacter(char16_t character);

// Whether a key is down now, as the input seen so far says.
bool IsKeyDown(uint32_t virtualKey);
// Where the mouse is on the screen.
Point GetCursorPosition();

// Dispatches the calling thread's waiting messages (paint included) until
// none is left; answers how many ran. A test's way of letting input land.
int32_t DispatchPendingMessages();
