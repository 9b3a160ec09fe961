#pragma once
// Message boxes: a small modal window with a text, an icon and the buttons
// its type asks for, run on the calling thread (any thread may show one).
//
// The box's close request (its X) answers Cancel when it has a Cancel
// button, OK when OK is its only button, and is refused otherwise. The
// first button has the keyboard focus: Return or space presses the focused
// button, Escape acts as the close request.

#include <cstdint>

#include "platform/messages.h"
#include "platform/window.h"

// Type: buttons in the low 4 bits, icon in the next 4.
constexpr uint32_t kMessageBoxButtonMask = 0x0F;
constexpr uint32_t kMessageBoxOk = 0x00;
constexpr uint32_t kMessageBoxOkCancel = 0x01;
constexpr uint32_t kMessageBoxAbortRetryIgnore = 0x02;
constexpr uint32_t kMessageBoxYesNoCancel = 0x03;
constexpr uint32_t kMessageBoxYesNo = 0x04;
constexpr uint32_t kMessageBoxRetryCancel = 0x05;

constexpr uint32_t kMessageBoxIconMask = 0xF0;
constexpr uint32_t kMessageBoxIconStop = 0x10;
constexpr uint32_t kMessageBoxIconQuestion = 0x20;
constexpr uint32_t kMessageBoxIconWarning = 0x30;
constexpr uint32_t kMessageBoxIconInformation = 0x40;

// Answers besides kCommandOk, kCommandCancel, kCommandYes and kCommandNo
// (messages.h); each button's control id is its answer.
constexpr uint16_t kCommandAbort = 3;
constexpr uint16_t kCommandRetry = 4;
constexpr uint16_t kCommandIgnore = 5;

// Shows the box and waits for the answer. A given owner is disabled
// meanwhile and the box is centred on it; without one the box is centred on
// the work area. Answers 0 when the box could not be shown.
int32_t RunMessageBox(WindowHandle owner, const char16_t* text, const char16_t* caption,
                      uint32_t type);
int32_t RunMessageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type);

// Called on the box's thread once the box is shown, before it waits: tests
// answer it with injected clicks, the gallery takes its picture. Without an
// observer, a box on the headless backend, where nobody can answer, answers
// its first button at once after tracing its caption and text. Returns the
// previous observer; null removes it.
using MessageBoxObserver = void (*)(WindowHandle box, uint32_t type);
MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer);
