#include "frontend/main_window_layout.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace comflash::layout {
namespace {

constexpr std::array kControls = {
    Control{.name = "Memo1", .kind = Kind::Memo, .left = 0, .top = 0, .width = 289,
            .height = 249, .caption = "", .fontPixels = 0, .bold = false,
            .colour = kNoColour, .visible = true, .tabOrder = 1, .checked = false},
    Control{.name = "ComboBox1", .kind = Kind::PortList, .left = 296, .top = 56, .width = 73,
            .height = 24, .caption = "COM1", .fontPixels = 13, .bold = true,
            .colour = kNoColour, .visible = true, .tabOrder = 2, .checked = false},
    Control{.name = "Button1", .kind = Kind::Button, .left = 296, .top = 16, .width = 75,
            .height = 25, .caption = "Open", .fontPixels = 13, .bold = true,
            .colour = kBlue, .visible = true, .tabOrder = 0, .checked = false},
    Control{.name = "Button2", .kind = Kind::Button, .left = 296, .top = 96, .width = 73,
            .height = 25, .caption = "Clear", .fontPixels = 13, .bold = true,
            .colour = kNoColour, .visible = true, .tabOrder = 3, .checked = false},
    Control{.name = "CheckBox1", .kind = Kind::CheckBox, .left = 312, .top = 128, .width = 97,
            .height = 17, .caption = "Fast", .fontPixels = 0, .bold = false,
            .colour = kNoColour, .visible = false, .tabOrder = -1, .checked = true},
    Control{.name = "TrackBar1", .kind = Kind::TrackBar, .left = 0, .top = 256, .width = 377,
            .height = 33, .caption = "", .fontPixels = 0, .bold = false,
            .colour = kNoColour, .visible = true, .tabOrder = 5, .checked = false},
    Control{.name = "BitBtn2", .kind = Kind::Button, .left = 290, .top = 299, .width = 78,
            .height = 28, .caption = "Read SN", .fontPixels = 0, .bold = false,
            .colour = kBlue, .visible = false, .tabOrder = -1, .checked = false},
    Control{.name = "BitBtn3", .kind = Kind::Button, .left = 290, .top = 336, .width = 78,
            .height = 28, .caption = "Write SN", .fontPixels = 0, .bold = false,
            .colour = kGreen, .visible = false, .tabOrder = -1, .checked = false},
    Control{.name = "Edit1", .kind = Kind::Edit, .left = 16, .top = 336, .width = 249,
            .height = 28, .caption = "3037810629", .fontPixels = 16, .bold = true,
            .colour = kRed, .visible = false, .tabOrder = -1, .checked = false},
    Control{.name = "Edit2", .kind = Kind::Edit, .left = 16, .top = 299, .width = 249,
            .height = 28, .caption = "", .fontPixels = 16, .bold = true,
            .colour = kBlue, .visible = false, .tabOrder = -1, .checked = false},
    Control{.name = "SelAuto", .kind = Kind::CheckBox, .left = 312, .top = 152, .width = 97,
            .height = 17, .caption = "Auto", .fontPixels = 0, .bold = false,
            .colour = kNoColour, .visible = true, .tabOrder = 11, .checked = true},
    Control{.name = "Label1", .kind = Kind::Label, .left = 296, .top = 192, .width = 81,
            .height = 21, .caption = "OK", .fontPixels = 13, .bold = true,
            .colour = kBlue, .visible = true, .tabOrder = -1, .checked = false},
    Control{.name = "Label2", .kind = Kind::Label, .left = 296, .top = 232, .width = 81,
            .height = 21, .caption = "Error", .fontPixels = 13, .bold = true,
            .colour = kRed, .visible = true, .tabOrder = -1, .checked = false},
    Control{.name = "CheckBox3", .kind = Kind::CheckBox, .left = 16, .top = 176, .width = 97,
            .height = 17, .caption = "L3", .fontPixels = 0, .bold = false,
            .colour = kNoColour, .visible = false, .tabOrder = -1, .checked = false},
};

}  // namespace

std::span<const Control> Controls() {
    return kControls;
}

std::size_t IndexOf(std::string_view name) {
    const auto found = std::find_if(kControls.begin(), kControls.end(),
                                    [&](const Control& control) { return control.name == name; });
    if (found == kControls.end())
        throw std::logic_error("no control " + std::string(name) + " in the window's layout");
    return static_cast<std::size_t>(found - kControls.begin());
}

const Control& ControlNamed(std::string_view name) {
    return kControls[IndexOf(name)];
}

}  // namespace comflash::layout
