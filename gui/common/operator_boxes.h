// The window's modal boxes: the controller's questions and notices, and the
// application's standard error box that every handler falls back on.
#pragma once

#include <exception>
#include <string>

#include "frontend/operator_window.h"

class QWidget;

namespace comflash {

// Error icon, the application's title, ErrorBoxText of the message; a
// settings error's detail is offered under "Show Details...".
void ShowErrorBox(QWidget* parent, const std::exception& error);

// Yes and No; true for Yes. Returns only when answered, while the event loop
// goes on handling received chunks and timer ticks.
bool AskYesNoBox(QWidget* parent, const std::string& text, const std::string& title);
// OK only.
void ShowMessageBox(QWidget* parent, const std::string& text, const std::string& title);

}  // namespace comflash
