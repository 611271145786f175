// A window made and served by a C++ object: the object comes as
// CreateWindowEx's last argument and is kept in the window's user data, where
// the window procedure finds it for every later message.
#pragma once

#include <windows.h>

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

}  // namespace comflash::winui
