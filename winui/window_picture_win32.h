// A picture of a window as the screen shows it, saved as PNG through the
// system's imaging component, for --screenshot and the documentation.
#pragma once

#include <windows.h>

#include <string>

namespace comflash::winui {

// The window with its frame, copied from what is drawn on the screen. False
// when it cannot be taken or written; `why` says why then.
bool SaveWindowPicture(HWND window, const std::string& file, std::string& why);

}  // namespace comflash::winui
