#pragma once
// Every window message number of the system, each defined once, and the
// helpers that pack and unpack message parameters.
//
// Parameters are pointer-sized: a posted command may carry a heap record's
// address in its long parameter, and a window handle fits in either.

#include <cstdint>

using MessageWord = uintptr_t;  // the first parameter
using MessageLong = intptr_t;   // the second parameter
using MessageResult = intptr_t;

// Window life.
constexpr uint32_t kMessageNull = 0x0000;
constexpr uint32_t kMessageCreate = 0x0001;    // long: const WindowCreation*; -1 fails it
constexpr uint32_t kMessageDestroy = 0x0002;   // children get it before their parent
constexpr uint32_t kMessageMove = 0x0003;      // long: client origin, packed as a point
constexpr uint32_t kMessageSize = 0x0005;      // long: client width (low), height (high)
constexpr uint32_t kMessageActivate = 0x0006;  // word low: kActivation*
constexpr uint32_t kMessageSetFocus = 0x0007;
constexpr uint32_t kMessageKillFocus = 0x0008;
constexpr uint32_t kMessageEnable = 0x000A;
constexpr uint32_t kMessageSetText = 0x000C;  // long: const char16_t*
constexpr uint32_t kMessageGetText = 0x000D;
constexpr uint32_t kMessageGetTextLength = 0x000E;
constexpr uint32_t kMessagePaint = 0x000F;
constexpr uint32_t kMessageClose = 0x0010;
constexpr uint32_t kMessageQuit = 0x0012;  // word: exit code; ends a get loop
constexpr uint32_t kMessageEraseBackground = 0x0014;
constexpr uint32_t kMessageShowWindow = 0x0018;
constexpr uint32_t kMessageSetCursor = 0x0020;
constexpr uint32_t kMessageGetMinMaxInfo = 0x0024;
constexpr uint32_t kMessageSetFont = 0x0030;
constexpr uint32_t kMessageGetFont = 0x0031;
constexpr uint32_t kMessageWindowPositionChanged = 0x0047;
constexpr uint32_t kMessageGetDialogCode = 0x0087;

// Keyboard: kMessageFirstKey to kMessageLastKey is the keyboard class of the
// engine's message hooks.
constexpr uint32_t kMessageKeyDown = 0x0100;
constexpr uint32_t kMessageFirstKey = 0x0100;
constexpr uint32_t kMessageKeyUp = 0x0101;
constexpr uint32_t kMessageCharacter = 0x0102;
constexpr uint32_t kMessageLastKey = 0x0108;

// Dialogs and controls.
constexpr uint32_t kMessageInitDialog = 0x0110;  // long: the caller's value
constexpr uint32_t kMessageCommand = 0x0111;     // word: command (low), notification (high)
constexpr uint32_t kMessageTimer = 0x0113;       // word: timer id
constexpr uint32_t kMessageHorizontalScroll = 0x0114;
constexpr uint32_t kMessageVerticalScroll = 0x0115;

// Button control messages.
constexpr uint32_t kMessageButtonGetCheck = 0x00F0;
constexpr uint32_t kMessageButtonSetCheck = 0x00F1;
constexpr uint32_t kMessageButtonGetState = 0x00F2;
constexpr uint32_t kMessageButtonSetState = 0x00F3;
constexpr uint32_t kMessageButtonSetStyle = 0x00F4;
constexpr uint32_t kMessageButtonClick = 0x00F5;

// Drop-down list control messages.
constexpr uint32_t kMessageComboAddString = 0x0143;
constexpr uint32_t kMessageComboGetCount = 0x0146;
constexpr uint32_t kMessageComboGetSelection = 0x0147;
constexpr uint32_t kMessageComboResetContent = 0x014B;
constexpr uint32_t kMessageComboSetSelection = 0x014E;
constexpr uint32_t kMessageComboGetItemData = 0x0150;
constexpr uint32_t kMessageComboSetItemData = 0x0151;

// List box control messages.
constexpr uint32_t kMessageListAddString = 0x0180;
constexpr uint32_t kMessageListResetContent = 0x0184;
constexpr uint32_t kMessageListSetSelection = 0x0186;
constexpr uint32_t kMessageListGetSelection = 0x0188;
constexpr uint32_t kMessageListGetCount = 0x018B;
constexpr uint32_t kMessageListGetItemData = 0x0199;
constexpr uint32_t kMessageListSetItemData = 0x019A;

// Mouse (the stylus on the handheld): kMessageFirstMouse to kMessageLastMouse
// is the mouse class of the engine's message hooks. The long parameter holds
// the client point, packed as a point.
constexpr uint32_t kMessageMouseMove = 0x0200;
constexpr uint32_t kMessageFirstMouse = 0x0200;
constexpr uint32_t kMessageLeftButtonDown = 0x0201;
constexpr uint32_t kMessageLeftButtonUp = 0x0202;
constexpr uint32_t kMessageLeftButtonDoubleClick = 0x0203;
constexpr uint32_t kMessageRightButtonDown = 0x0204;
constexpr uint32_t kMessageRightButtonUp = 0x0205;
constexpr uint32_t kMessageRightButtonDoubleClick = 0x0206;
constexpr uint32_t kMessageMiddleButtonDown = 0x0207;
constexpr uint32_t kMessageMiddleButtonUp = 0x0208;
constexpr uint32_t kMessageMiddleButtonDoubleClick = 0x0209;
constexpr uint32_t kMessageLastMouse = 0x0209;
constexpr uint32_t kMessageCaptureChanged = 0x0215;

// The first message number free for a program's own messages.
constexpr uint32_t kMessageUser = 0x0400;

// Low word of kMessageActivate.
constexpr uint16_t kActivationInactive = 0;
constexpr uint16_t kActivationActive = 1;
constexpr uint16_t kActivationByClick = 2;

// Notifications (high word of kMessageCommand).
constexpr uint16_t kNotifyButtonClicked = 0;
constexpr uint16_t kNotifySelectionChange = 1;

// Command ids of the standard answers.
constexpr uint16_t kCommandOk = 1;
constexpr uint16_t kCommandCancel = 2;
constexpr uint16_t kCommandYes = 6;
constexpr uint16_t kCommandNo = 7;

// Packing.

constexpr uint16_t LowWord(uintptr_t value) {
  return static_cast<uint16_t>(value & 0xFFFF);
}
constexpr uint16_t HighWord(uintptr_t value) {
  return static_cast<uint16_t>((value >> 16) & 0xFFFF);
}
constexpr MessageWord MakeWordParameter(uint16_t low, uint16_t high) {
  return static_cast<MessageWord>(low) | (static_cast<MessageWord>(high) << 16);
}
constexpr MessageLong MakeLongParameter(uint16_t low, uint16_t high) {
  return static_cast<MessageLong>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}

// Points travel as signed 16-bit x (low word) and y (high word), so a point
// left or above a captured window comes back negative.
constexpr MessageLong MakePointParameter(int32_t x, int32_t y) {
  return MakeLongParameter(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
}
constexpr int32_t PointParameterX(MessageLong value) {
  return static_cast<int16_t>(LowWord(static_cast<uintptr_t>(value)));
}
constexpr int32_t PointParameterY(MessageLong value) {
  return static_cast<int16_t>(HighWord(static_cast<uintptr_t>(value)));
}
