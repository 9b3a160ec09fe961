#pragma once
// The standard controls of dialogs: push button, check box, radio button,
// group box, static text, list box and drop-down list, drawn by the layer
// with its own graphics and fonts, so they look the same on every backend.
//
// Each control tells its parent what the user did with kMessageCommand
// (word: control id low, notification high; long: the control's handle),
// sent at once: kNotifyButtonClicked for a click on a button,
// kNotifySelectionChange when the user picks another entry of a list (a list
// box reports that whatever its styles say). Setting a check or a selection
// by message reports nothing.
//
// Texts given by message (kMessageListAddString, kMessageComboAddString)
// are UTF-16 (const char16_t* in the long parameter); the dialog helpers of
// dialog.h take 8-bit text as well.

#include <cstdint>

#include "platform/graphics.h"
#include "platform/messages.h"
#include "platform/window.h"

// Class names, compared without regard to case.
extern const char16_t kButtonClassName[];    // u"Button"
extern const char16_t kListBoxClassName[];   // u"ListBox"
extern const char16_t kComboBoxClassName[];  // u"ComboBox"
// The static text uses the layer's "Static" class name (window.h).

// Registers the classes above (and gives "Static" its drawing). Safe to call
// any number of times from any thread; the dialog functions call it.
void RegisterStandardControls();

// A child of a template class that nobody registered ("msctls_progress32",
// "user"): the class is registered under that name with this procedure,
// which keeps the text, style and id and draws nothing, so that a template
// always creates and its children can still be read back.
MessageResult PlaceholderControlProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                          MessageLong value);

// Button styles: the type is the low 4 bits.
constexpr uint32_t kButtonTypeMask = 0x000F;
constexpr uint32_t kButtonPush = 0x0000;
constexpr uint32_t kButtonDefaultPush = 0x0001;
constexpr uint32_t kButtonCheckBox = 0x0002;
constexpr uint32_t kButtonAutoCheckBox = 0x0003;
constexpr uint32_t kButtonRadio = 0x0004;
constexpr uint32_t kButtonThreeState = 0x0005;
constexpr uint32_t kButtonAutoThreeState = 0x0006;
constexpr uint32_t kButtonGroupBox = 0x0007;
constexpr uint32_t kButtonAutoRadio = 0x0009;

// Check states (kMessageButtonGetCheck / kMessageButtonSetCheck).
constexpr uint32_t kUnchecked = 0;
constexpr uint32_t kChecked = 1;
constexpr uint32_t kIndeterminate = 2;

// Static styles: the alignment is the low bits; text wraps at blanks.
constexpr uint32_t kStaticLeft = 0x0000;
constexpr uint32_t kStaticCenter = 0x0001;
constexpr uint32_t kStaticRight = 0x0002;
constexpr uint32_t kStaticNoPrefix = 0x0080;

// Combo box styles: only the drop-down list is drawn; the others behave as
// one.
constexpr uint32_t kComboDropDownList = 0x0003;

// Further list messages (see messages.h for the others). The long parameter
// of the text messages is a char16_t buffer large enough for the text and
// its terminator; they answer the length, or kListError.
constexpr uint32_t kMessageComboGetItemText = 0x0148;
constexpr uint32_t kMessageComboGetItemTextLength = 0x0149;
constexpr uint32_t kMessageComboShowDropDown = 0x014F;  // word: 1 open, 0 close
constexpr uint32_t kMessageListGetText = 0x0189;
constexpr uint32_t kMessageListGetTextLength = 0x018A;
constexpr MessageResult kListError = -1;

// The colours the controls, dialogs and message boxes draw with.
constexpr Color kColorFace = MakeColor(0xEE, 0xEE, 0xEC);
constexpr Color kColorHighlight = MakeColor(0xFF, 0xFF, 0xFF);
constexpr Color kColorShadow = MakeColor(0xA0, 0xA0, 0x9C);
constexpr Color kColorDarkShadow = MakeColor(0x60, 0x60, 0x5C);
constexpr Color kColorWindow = MakeColor(0xFF, 0xFF, 0xFF);
constexpr Color kColorWindowText = MakeColor(0x10, 0x10, 0x10);
constexpr Color kColorGrayText = MakeColor(0x90, 0x90, 0x8C);
constexpr Color kColorSelection = MakeColor(0x30, 0x68, 0xC8);
constexpr Color kColorSelectionText = MakeColor(0xFF, 0xFF, 0xFF);
