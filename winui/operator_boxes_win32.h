// The Windows windows' modal boxes: the controller's questions and notices,
// and the standard error box every handler falls back on. A box runs its own
// message loop, so received chunks and ticks go on being handled while it is
// open, as they are in the Qt window.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace comflash::winui {

bool AskYesNoBox(HWND owner, const std::string& text, const std::string& title);
void ShowMessageBox(HWND owner, const std::string& text, const std::string& title);
// Error icon, the application's title, ErrorBoxText of the message; a
// settings error's detail in a paragraph below it.
void ShowErrorBox(HWND owner, const std::exception& error);

}  // namespace comflash::winui
