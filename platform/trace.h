#pragma once
// Debugger output. Trace lines go to standard error by default; the
// environment variable VORLAN_TRACE_FILE names a file to append them to
// instead, and VORLAN_TRACE=off silences them.

// Writes one piece of trace text (UTF-8) as it stands; the caller supplies
// any line feed.
void TraceOutput(const char* text);

// Stops in the debugger: raises SIGTRAP, which ends the process when no
// debugger is attached.
void BreakIntoDebugger();
