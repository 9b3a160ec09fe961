#pragma once
// Dialogs made from compiled templates (resource.h): a window of the
// template's class with one child per item, driven by a dialog procedure.
//
// Dialog units. Templates place everything in dialog units: a quarter of
// the dialog font's average character width across, an eighth of its height
// down. The dialog font is the template's face and size (8 points when the
// template names none), drawn by the layer's fonts. Its base units are not
// measured from the glyphs but fixed in proportion to its pixel height
// h = points × 96 / 72 (rounded): base x = 6h / 11 and base y = 13h / 11
// (rounded), which gives the 6 × 13 pixels of an 8-point dialog font that
// the game's and the setup's layouts were drawn for, whatever font files are
// installed. Pixels = units × base / 4 across and units × base / 8 down,
// rounded.
//
// A dialog window has no frame of its own: its client area is the template's
// rectangle. A top-level dialog is placed relative to its owner's client
// origin (the screen without one), or centred on the work area when the
// template has the centre style.
//
// Reading a template's controls without showing them: create the dialog
// from a template without the visible style (with a procedure that handles
// nothing), walk its children in template order (GetFirstChild,
// GetNextSibling) for their style, id, class name, text, rectangle in pixels,
// enabled state and check, then destroy it. Unknown classes keep their name.

#include <cstdint>

#include "platform/messages.h"
#include "platform/resource.h"
#include "platform/window.h"

// Answers non-zero for a message it handled. For kMessageInitDialog (word:
// the first control with the tab-stop style; long: the caller's value) a
// non-zero answer gives that control the keyboard focus.
using DialogProcedure = MessageResult (*)(WindowHandle dialog, uint32_t message, MessageWord word,
                                          MessageLong value);

// The class templates use when they name none.
extern const char16_t kDialogClassName[];  // u"Dialog"

// The procedure of dialog windows. A program that registers a class of its
// own for a template to name ("VorlanClass") gives it this procedure. It
// passes every message to the dialog procedure first; what that does not
// handle gets the standard behaviour: the close request becomes command 2
// (posted), painting fills the dialog's face, the rest goes to
// DefaultWindowProcedure.
MessageResult DialogWindowProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                    MessageLong value);

// Creates a modeless dialog: the window (top-level and owned by owner, or a
// child of owner when the template has the child style), its controls in
// template order, the font sent to each with kMessageSetFont, then
// kMessageInitDialog with initialValue; shown when the template has the
// visible style. A control class nobody registered becomes a placeholder
// (controls.h), so an unknown class never fails the dialog. Null when the
// template is malformed or the window cannot be created.
WindowHandle CreateDialogFromTemplate(const uint8_t* data, uint32_t size, WindowHandle owner,
                                      DialogProcedure procedure, MessageLong initialValue);

// Runs a modal dialog: the owner (when enabled) is disabled, the dialog
// shown, and messages of the calling thread are handled until EndDialog is
// called or the dialog goes; then the owner is enabled again and the dialog
// destroyed. Answers the value given to EndDialog (0 when the dialog went
// without one), or -1 when it could not be created. A quit request seen
// meanwhile ends the dialog and is posted again for the outer loop.
intptr_t RunDialogFromTemplate(const uint8_t* data, uint32_t size, WindowHandle owner,
                               DialogProcedure procedure, MessageLong initialValue);

// Ends a dialog with a result: a modal one's loop returns it; a modeless one
// is hidden (its owner destroys it). False for a window that is no dialog.
bool EndDialog(WindowHandle dialog, intptr_t result);

// Dialog units.
struct DialogBaseUnits {
  int32_t x = 6;
  int32_t y = 13;
};
DialogBaseUnits GetDialogBaseUnits(const DialogTemplate& dialog);
// A rectangle in dialog units (left, top, width, height as templates give
// them) in pixels.
Rect DialogUnitsToPixels(const DialogBaseUnits& units, int32_t x, int32_t y, int32_t width,
                         int32_t height);
// For a created dialog: converts a rectangle of dialog units (left, top,
// right, bottom) in place.
bool MapDialogRectangle(WindowHandle dialog, Rect* rect);

// Dialog item helpers: the control of an id among the dialog's children,
// then the same as the message or window call. Checks are kUnchecked,
// kChecked or kIndeterminate (controls.h).
WindowHandle GetDialogItem(WindowHandle dialog, uint32_t id);
MessageResult SendDialogItemMessage(WindowHandle dialog, uint32_t id, uint32_t message,
                                    MessageWord word, MessageLong value);
bool SetDialogItemText(WindowHandle dialog, uint32_t id, const char16_t* text);
bool SetDialogItemText(WindowHandle dialog, uint32_t id, const char* text);
int32_t GetDialogItemText(WindowHandle dialog, uint32_t id, char16_t* buffer, int32_t capacity);
int32_t GetDialogItemText(WindowHandle dialog, uint32_t id, char* buffer, int32_t capacity);
bool CheckDialogButton(WindowHandle dialog, uint32_t id, uint32_t check);
uint32_t IsDialogButtonChecked(WindowHandle dialog, uint32_t id);
// Checks checkId and unchecks the other buttons of firstId ... lastId.
bool CheckRadioButton(WindowHandle dialog, uint32_t firstId, uint32_t lastId, uint32_t checkId);
bool EnableDialogItem(WindowHandle dialog, uint32_t id, bool enable);
bool IsDialogItemEnabled(WindowHandle dialog, uint32_t id);

// Entries of a list box or drop-down list, whichever the control is.
// Adding answers the new entry's index, or -1.
int32_t AddDialogItemEntry(WindowHandle dialog, uint32_t id, const char16_t* text, intptr_t data);
int32_t AddDialogItemEntry(WindowHandle dialog, uint32_t id, const char* text, intptr_t data);
bool ClearDialogItemEntries(WindowHandle dialog, uint32_t id);
int32_t GetDialogItemEntryCount(WindowHandle dialog, uint32_t id);
// -1 selects nothing; false for an index out of range.
bool SetDialogItemSelection(WindowHandle dialog, uint32_t id, int32_t index);
// -1 when nothing is selected.
int32_t GetDialogItemSelection(WindowHandle dialog, uint32_t id);
// The value stored with an entry; -1 for an index out of range.
intptr_t GetDialogItemEntryData(WindowHandle dialog, uint32_t id, int32_t index);
