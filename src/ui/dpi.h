// Sizes given in pixels at 96 dots per inch, made to the DPI a window is
// shown at. At 96 DPI every size is the given one.
#pragma once

#include "ui/window.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace ui {

const int kBaseDpi = 96;

// The window's DPI (GetDpiForWindow where the system has it, else the
// screen's LOGPIXELSX); with no window, the system's.
int dpi_of(HWND window);
// pixels_at_96 at dpi, rounded to the nearest pixel.
int scale_px(int pixels_at_96, int dpi);
// A copy of the bitmap stretched to width x height by repeating pixels:
// small palette art keeps its exact colours, so a mask colour stays one.
// The caller owns the copy; nullptr when it could not be made.
HBITMAP stretch_bitmap(HBITMAP source, int width, int height);

} // namespace ui
