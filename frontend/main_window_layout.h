// The operator's window as laid out, in one table both windows are built
// from (the Qt window on Linux, the native one on Windows): every control's
// place and size at 96 dpi, its first caption, its font and colour, whether
// it is shown, and the tab order. Captions that do not fit the font a machine
// gives a control grow it to the right (see MainWindowGrowth).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace comflash::layout {

inline constexpr const char* kWindowCaption = "FW Update For QL42V1.31-N-20090724";
inline constexpr int kClientWidth = 376;
inline constexpr int kClientHeight = 287;
inline constexpr const char* kFontFamily = "MS Sans Serif";
inline constexpr int kWindowFontPixels = 11;  // 8 point at 96 dpi
inline constexpr int kPortCount = 32;         // COM1 to COM32
inline constexpr int kPortItemHeight = 16;

enum class Kind { Button, Memo, PortList, CheckBox, Label, TrackBar, Edit };

// 0xRRGGBB; kNoColour keeps the system's.
inline constexpr std::uint32_t kNoColour = 0xFFFFFFFF;
inline constexpr std::uint32_t kBlue = 0x0000FF;
inline constexpr std::uint32_t kRed = 0xFF0000;
inline constexpr std::uint32_t kGreen = 0x008000;

struct Control {
    std::string_view name;  // the control's name: "Button1", "Memo1", ...
    Kind kind;
    int left, top, width, height;
    std::string_view caption;  // the first text; empty for none
    int fontPixels;            // character height; 0: the window's font
    bool bold;
    std::uint32_t colour;  // of the text
    bool visible;
    int tabOrder;  // -1: not in the tab order
    bool checked;  // check boxes: ticked at first
};

// Every control, in the order the window declares them.
std::span<const Control> Controls();
// The control of that name; every name of the table is one.
const Control& ControlNamed(std::string_view name);
// Its place in Controls().
std::size_t IndexOf(std::string_view name);

// The widest texts a control must show whole, for growing it to the font it
// got: the Open button's two captions, the longest port name, five-digit
// counters.
inline constexpr std::string_view kOpenCaptions[] = {"Open", "Close"};
inline constexpr std::string_view kWidestPort = "COM32";
inline constexpr std::string_view kWidestOk = "Ok:99999";
inline constexpr std::string_view kWidestError = "Err:99999";

// Scales a length at 96 dpi to `dpi`, rounding as the system does.
inline constexpr int Scaled(int length, int dpi) {
    return (length * dpi + 48) / 96;
}

}  // namespace comflash::layout
