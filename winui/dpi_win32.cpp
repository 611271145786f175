#include "winui/dpi_win32.h"

namespace comflash::winui {
namespace {

// Windows 10 (1607 and later) and Wine have the per-window calls; older
// systems have one dpi for the whole screen.
template <typename Function>
Function User32Call(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

}  // namespace

int DpiOf(HWND window) {
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Call<GetDpiForWindowCall>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0)
            return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HFONT MakeFont(const std::string& family, int pixels, bool bold, int dpi) {
    // A negative height asks for the character height, as the layout gives it.
    return CreateFontA(-MulDiv(pixels, dpi, 96), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, family.c_str());
}

SIZE OuterSize(DWORD style, DWORD exStyle, int width, int height, int dpi) {
    RECT rect{0, 0, width, height};
    using AdjustForDpiCall = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Call<AdjustForDpiCall>("AdjustWindowRectExForDpi");
    if (adjustForDpi != nullptr)
        adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

int TextWidth(HFONT font, const std::string& text) {
    HDC dc = GetDC(nullptr);
    const HGDIOBJ before = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

}  // namespace comflash::winui
