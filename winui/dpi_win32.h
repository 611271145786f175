// The Windows windows are laid out at 96 dpi and scaled to the monitor they
// are on (per-monitor aware, as their manifest declares), and draw their
// text in the layout's fonts at that scale.
#pragma once

#include <windows.h>

#include <string>

namespace comflash::winui {

// The dots per inch of the monitor `window` is on (96 where the system
// cannot tell per window).
int DpiOf(HWND window);

// A font of `pixels` character height at 96 dpi, scaled to `dpi`. Owned by
// the caller (DeleteObject).
HFONT MakeFont(const std::string& family, int pixels, bool bold, int dpi);

// The window's outer size for a client area of `width` × `height` pixels.
SIZE OuterSize(DWORD style, DWORD exStyle, int width, int height, int dpi);

// How wide `text` is drawn in `font`.
int TextWidth(HFONT font, const std::string& text);

}  // namespace comflash::winui
