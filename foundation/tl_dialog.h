#pragma once
// Talking to the developer and to the dialog manager: trace lines to the
// debugger output, a stop box that lets the user continue or quit, message
// boxes that may run on a thread of their own, and dialogs made from the
// templates of the current language.

#include <cstdint>

#include "foundation/tl_string.h"
#include "platform/dialog.h"
#include "platform/window.h"

// Formats as sformat does (positional header included) and sends the line to
// the debugger output, adding a line feed when the text has none anywhere.
template <class... Arguments>
void DebugTrace(const char* format, const Arguments&... arguments);
template <class... Arguments>
void DebugTrace(const char16_t* format, const Arguments&... arguments);

void DebugTraceList(const char* format, const FormatArgumentList& arguments);
void DebugTraceList(const char16_t* format, const FormatArgumentList& arguments);

// Where finished trace lines (UTF-8) go; null: the platform's trace output.
// Tests install one to read what a module traced. Returns the previous one.
using DebugTraceSink = void (*)(const char* text);
DebugTraceSink SetDebugTraceSink(DebugTraceSink sink);

// Mode 1 is DebugTrace. Mode 0 shows the text in a box with OK and Cancel
// (type 0x41) captioned "OK=Continue X=Quit"; Cancel ends the process at
// once with exit code 0, exit handlers run.
template <class... Arguments>
void DebugAlert(int32_t mode, const char* format, const Arguments&... arguments);
template <class... Arguments>
void DebugAlert(int32_t mode, const char16_t* format, const Arguments&... arguments);

void DebugAlertList(int32_t mode, const char* format, const FormatArgumentList& arguments);
void DebugAlertList(int32_t mode, const char16_t* format, const FormatArgumentList& arguments);

// One pending message box.
struct MESSAGE_PARAMS {
  uint32_t type;  // message box type (platform/messagebox.h); bit 31: own thread
  string caption;
  string text;
};

constexpr uint32_t kMessageBoxOwnThread = 0x80000000u;

// Shows a box with no owner and answers the button chosen (kCommandOk ...).
// A type without an icon gets the question icon when it has buttons beyond
// OK, else the information icon. With kMessageBoxOwnThread the box runs on a
// new thread and the call answers 0 at once.
int32_t ShowMessageBox(uint32_t type, const string& caption, const string& text);

// Dialogs from the template id + the language offset, from the resource
// module. CreateLangDialog answers the modeless dialog or null;
// LangDialogBox the modal dialog's result or -1.
WindowHandle CreateLangDialog(uint32_t id, WindowHandle parent, DialogProcedure procedure,
                              MessageLong value);
intptr_t LangDialogBox(uint32_t id, WindowHandle parent, DialogProcedure procedure,
                       MessageLong value);

// Where the templates come from, installed by the language selection. Until
// one is installed the offset is 0 and templates come from the program's
// resources in any language.
struct DialogLanguage {
  uint32_t (*offset)();
  // The template of a dialog id (offset already added), or null.
  const uint8_t* (*findTemplate)(uint32_t id, uint32_t* size);
};
// The record must outlive its use; null restores the default.
void SetDialogLanguage(const DialogLanguage* language);

// Gives the memory manager its real report box: "Memory Manager" with the
// stop icon, OK and Cancel; Cancel breaks into the debugger. The programs
// call it at start-up.
void InstallMemoryReportBox();

template <class... Arguments>
void DebugTrace(const char* format, const Arguments&... arguments) {
  const FormatArgument list[] = {FormatArgument(arguments)..., FormatArgument(0)};
  DebugTraceList(format, FormatArgumentList{list, sizeof...(Arguments)});
}

template <class... Arguments>
void DebugTrace(const char16_t* format, const Arguments&... arguments) {
  const FormatArgument list[] = {FormatArgument(arguments)..., FormatArgument(0)};
  DebugTraceList(format, FormatArgumentList{list, sizeof...(Arguments)});
}

template <class... Arguments>
void DebugAlert(int32_t mode, const char* format, const Arguments&... arguments) {
  const FormatArgument list[] = {FormatArgument(arguments)..., FormatArgument(0)};
  DebugAlertList(mode, format, FormatArgumentList{list, sizeof...(Arguments)});
}

template <class... Arguments>
void DebugAlert(int32_t mode, const char16_t* format, const Arguments&... arguments) {
  const FormatArgument list[] = {FormatArgument(arguments)..., FormatArgument(0)};
  DebugAlertList(mode, format, FormatArgumentList{list, sizeof...(Arguments)});
}
