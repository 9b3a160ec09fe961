#pragma once
// Pictures of windows as PNG files, for tests, screenshots and the gallery.

#include "platform/window.h"

// Writes what the window shows now (its client area; for a child, its part
// of the top-level window's picture) as an RGBA PNG file: on an 8-bit
// display in the realised colours; pixels outside the top-level window's
// region are fully transparent. False, with a trace line, on failure.
bool SaveWindowPicture(WindowHandle window, const char* path);
