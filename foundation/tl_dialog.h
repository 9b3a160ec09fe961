#pragma once
// Talking to the developer: trace lines to the debugger output.

#include "foundation/tl_string.h"

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
