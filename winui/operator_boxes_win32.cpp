#include "winui/operator_boxes_win32.h"

#include "app/settings_store.h"
#include "frontend/operator_window.h"

namespace comflash::winui {

bool AskYesNoBox(HWND owner, const std::string& text, const std::string& title) {
    return MessageBoxA(owner, text.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowMessageBox(HWND owner, const std::string& text, const std::string& title) {
    MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

void ShowErrorBox(HWND owner, const std::exception& error) {
    std::string text = ErrorBoxText(error.what());
    if (const auto* settings = dynamic_cast<const ERegistryException*>(&error);
        settings != nullptr && !settings->Detail().empty()) {
        text += "\n\n" + settings->Detail();
    }
    MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

}  // namespace comflash::winui
