// A top-level window made and served by a C++ object: its class, and the
// object, which comes as CreateWindowEx's last argument and is kept in the
// window's user data, where the window procedure finds it for every message.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

namespace comflash::winui {

// The object behind `window`; null until WM_NCCREATE has handed it over.
template <typename Owner>
Owner* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creating = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creating->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Registers the class of a program's top-level window: its icon, the arrow,
// and the dialog face behind its controls. Registered once per program; a
// second window of the class finds it there.
inline void RegisterTopLevelClass(const char* className, WNDPROC procedure) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // the arrow
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                std::string("cannot register the window class ") + className);
}

}  // namespace comflash::winui
