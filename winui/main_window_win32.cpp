// The Windows window's side of the handlers: each control's notification runs
// the window's handler through OperatorWindow::Handle, on the window's thread,
// as do received chunks (see Win32Dispatcher); an error ends the handler in
// the error box and leaves the window usable.
#include "winui/main_window_win32.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "app/port_station.h"
#include "winui/control_ids.h"
#include "winui/dpi_win32.h"
#include "winui/operator_boxes_win32.h"
#include "winui/owned_window_win32.h"

namespace comflash::winui {
namespace {

constexpr const char* kClassName = "comflash-window";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kTimer2 = 2;
constexpr int kComboListItems = 8;  // ports shown when the list drops down

std::size_t IndexOf(std::string_view name) {
    return layout::IndexOf(name);
}

COLORREF ColourRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

std::string TextOf(HWND control) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The class and style of each kind of control.
struct Making {
    const char* className;
    DWORD style;
};

Making MakingOf(const layout::Control& laid) {
    // Buttons with a coloured caption draw themselves; the others are the
    // system's own.
    const DWORD buttonStyle = laid.colour == layout::kNoColour ? BS_PUSHBUTTON : BS_OWNERDRAW;
    switch (laid.kind) {
        case layout::Kind::Button:
            return {WC_BUTTONA, buttonStyle};
        case layout::Kind::Memo:
            return {WC_EDITA, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER};
        case layout::Kind::PortList:
            return {WC_COMBOBOXA, CBS_DROPDOWNLIST | WS_VSCROLL};
        case layout::Kind::CheckBox:
            return {WC_BUTTONA, BS_AUTOCHECKBOX};
        case layout::Kind::Label:
            return {WC_STATICA, SS_LEFT | SS_CENTERIMAGE};
        case layout::Kind::TrackBar:
            return {TRACKBAR_CLASSA, TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM};
        case layout::Kind::Edit:
            return {WC_EDITA, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER};
    }
    return {WC_STATICA, 0};
}

}  // namespace

TForm1::TForm1(const ImageSource& image) {
    if (layout::Controls().size() != kControlCount)
        throw std::logic_error("the window holds another number of controls than its layout");
    RegisterTopLevelClass(kClassName, &WindowProcedure);
    face_ = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    window_ = CreateWindowExA(0, kClassName, "", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              layout::kClientWidth, layout::kClientHeight, nullptr, nullptr,
                              GetModuleHandleA(nullptr), this);
    if (window_ == nullptr)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot create the window");
    CreateControls();
    LayOut(DpiOf(window_));
    // Centred on the desktop.
    RECT frame{};
    GetWindowRect(window_, &frame);
    RECT desktop{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &desktop, 0);
    SetWindowPos(window_, nullptr,
                 desktop.left + (desktop.right - desktop.left - (frame.right - frame.left)) / 2,
                 desktop.top + (desktop.bottom - desktop.top - (frame.bottom - frame.top)) / 2, 0,
                 0, SWP_NOSIZE | SWP_NOZORDER);
    logic_.FormCreate(image);
    SetTimer(window_, kTimer1, static_cast<UINT>(kTimer1Period.count()), nullptr);
    SetTimer(window_, kTimer2, static_cast<UINT>(kTimer2Period.count()), nullptr);
}

TForm1::~TForm1() {
    KillTimer(window_, kTimer1);
    KillTimer(window_, kTimer2);
    logic_.Comm().ClosePort();
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    for (HFONT font : fonts_)
        DeleteObject(font);
    DeleteObject(windowFont_);
    DeleteObject(face_);
}

HWND TForm1::Control(std::string_view name) const {
    return controls_[IndexOf(name)];
}

void TForm1::CreateControls() {
    const auto controls = layout::Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const layout::Control& laid = controls[i];
        const Making making = MakingOf(laid);
        const DWORD style = WS_CHILD | making.style | (laid.visible ? WS_VISIBLE : 0) |
                            (laid.tabOrder >= 0 ? WS_TABSTOP : 0);
        const std::string caption(laid.kind == layout::Kind::PortList ? "" : laid.caption);
        controls_[i] = CreateWindowExA(
            laid.kind == layout::Kind::Memo ? WS_EX_CLIENTEDGE : 0, making.className,
            caption.c_str(), style, laid.left, laid.top, laid.width, laid.height, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(laid.name))),
            GetModuleHandleA(nullptr), nullptr);
        if (controls_[i] == nullptr)
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "cannot create the control " + std::string(laid.name));
        if (laid.kind == layout::Kind::CheckBox)
            SendMessageA(controls_[i], BM_SETCHECK, laid.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    HWND memo = Control("Memo1");
    SendMessageA(memo, EM_SETLIMITTEXT, 0, 0);  // as long as the batch
    HWND ports = Control("ComboBox1");
    for (int port = 1; port <= layout::kPortCount; ++port) {
        const std::string name = "COM" + std::to_string(port);
        SendMessageA(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageA(ports, CB_SETCURSEL, 0, 0);
    HWND track = Control("TrackBar1");
    SendMessageA(track, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    SendMessageA(track, TBM_SETLINESIZE, 0, 2);
    SendMessageA(track, TBM_SETPAGESIZE, 0, 2);
    SendMessageA(track, TBM_SETTICFREQ, 10, 0);
    EnableWindow(Control("BitBtn2"), FALSE);
    EnableWindow(Control("BitBtn3"), FALSE);

    // The tab order of the table: each control after the one before it.
    std::vector<const layout::Control*> tabbed;
    for (const layout::Control& control : controls) {
        if (control.tabOrder >= 0)
            tabbed.push_back(&control);
    }
    std::sort(tabbed.begin(), tabbed.end(),
              [](const auto* a, const auto* b) { return a->tabOrder < b->tabOrder; });
    HWND after = HWND_TOP;
    for (const layout::Control* control : tabbed) {
        HWND next = Control(control->name);
        SetWindowPos(next, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = next;
    }
    SetFocus(Control(tabbed.front()->name));
}

void TForm1::LayOut(int dpi) {
    const auto scaled = [dpi](int length) { return layout::Scaled(length, dpi); };
    for (HFONT font : fonts_)
        DeleteObject(font);
    DeleteObject(windowFont_);
    windowFont_ = MakeFont(layout::kFontFamily, layout::kWindowFontPixels, false, dpi);

    const auto controls = layout::Controls();
    std::array<RECT, kControlCount> places{};
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const layout::Control& laid = controls[i];
        fonts_[i] = laid.fontPixels == 0
                        ? nullptr
                        : MakeFont(layout::kFontFamily, laid.fontPixels, laid.bold, dpi);
        SendMessageA(controls_[i], WM_SETFONT,
                     reinterpret_cast<WPARAM>(fonts_[i] != nullptr ? fonts_[i] : windowFont_),
                     FALSE);
        places[i] = {scaled(laid.left), scaled(laid.top), scaled(laid.left + laid.width),
                     scaled(laid.top + laid.height)};
    }

    // The right-hand column grows to what its captions need in the fonts
    // this machine gave: it meets nothing but the window's edge, which moves
    // out with it, and the track bar still spans the window.
    const auto font = [&](std::string_view name) {
        const std::size_t i = IndexOf(name);
        return fonts_[i] != nullptr ? fonts_[i] : windowFont_;
    };
    const auto widest = [&](std::string_view name, std::initializer_list<std::string_view> texts) {
        int wide = 0;
        for (std::string_view text : texts)
            wide = std::max(wide, TextWidth(font(name), std::string(text)));
        return wide;
    };
    const int buttonMargins = 2 * (GetSystemMetrics(SM_CXEDGE) + scaled(6));
    const std::pair<std::string_view, int> needs[] = {
        {"Button1",
         buttonMargins + widest("Button1", {layout::kOpenCaptions[0], layout::kOpenCaptions[1]})},
        {"ComboBox1",
         GetSystemMetrics(SM_CXVSCROLL) + scaled(10) + widest("ComboBox1", {layout::kWidestPort})},
        {"Button2", buttonMargins + widest("Button2", {"Clear"})},
        {"SelAuto", GetSystemMetrics(SM_CXMENUCHECK) + scaled(6) + widest("SelAuto", {"Auto"})},
        {"Label1", widest("Label1", {layout::kWidestOk})},
        {"Label2", widest("Label2", {layout::kWidestError})},
    };
    int right = scaled(layout::kClientWidth);
    for (const auto& [name, need] : needs) {
        RECT& place = places[IndexOf(name)];
        place.right = std::max(place.right, place.left + need);
        right = std::max(right, static_cast<int>(place.right));
    }
    RECT& track = places[IndexOf("TrackBar1")];
    track.right += right - scaled(layout::kClientWidth);

    for (std::size_t i = 0; i < controls.size(); ++i) {
        const RECT& place = places[i];
        // A drop-down list's height is that of its open list.
        const int listHeight = controls[i].kind == layout::Kind::PortList
                                   ? scaled(layout::kPortItemHeight) * kComboListItems
                                   : 0;
        MoveWindow(controls_[i], place.left, place.top, place.right - place.left,
                   place.bottom - place.top + listHeight, TRUE);
    }
    SendMessageA(Control("ComboBox1"), CB_SETITEMHEIGHT, 0, scaled(layout::kPortItemHeight));

    const SIZE outer = OuterSize(kWindowStyle, 0, right, scaled(layout::kClientHeight), dpi);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
}

LRESULT CALLBACK TForm1::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = OwnerOf<TForm1>(window, message, lParam);
    if (form == nullptr || form->window_ == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return form->OnMessage(message, wParam, lParam);
}

LRESULT TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)
                OnCommand(LOWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1)
                logic_.Handle([this] { logic_.Timer1Timer(); });
            else if (wParam == kTimer2)
                logic_.Handle([this] { logic_.Timer2Timer(); });
            return 0;
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            return Colour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
        case WM_DPICHANGED: {
            LayOut(HIWORD(wParam));
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window_, message, wParam, lParam);
    }
}

void TForm1::OnCommand(int id) {
    if (id == ControlId("Button1"))
        logic_.Handle([this] { logic_.Button1Click(); });
    else if (id == ControlId("Button2"))
        logic_.Handle([this] { logic_.Button2Click(); });
    else if (id == ControlId("BitBtn2"))
        logic_.Handle([this] { logic_.BitBtn2Click(); });
    else if (id == ControlId("BitBtn3"))
        logic_.Handle([this] { logic_.BitBtn3Click(); });
    else if (id == ControlId("SelAuto"))
        logic_.Handle([this] { logic_.SelAutoClick(); });
}

// A push button whose caption has the layout's colour: the system's button,
// then the caption over it.
void TForm1::DrawButton(const DRAWITEMSTRUCT& item) const {
    const std::size_t index = static_cast<std::size_t>(item.CtlID - ControlId("Memo1"));
    if (index >= kControlCount)
        return;
    const layout::Control& laid = layout::Controls()[index];
    RECT area = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    if (HTHEME theme = OpenThemeData(item.hwndItem, L"BUTTON")) {
        const int state = disabled ? PBS_DISABLED : pushed ? PBS_PRESSED : PBS_NORMAL;
        DrawThemeBackground(theme, item.hDC, BP_PUSHBUTTON, state, &area, nullptr);
        CloseThemeData(theme);
    } else {
        DrawFrameControl(
            item.hDC, &area, DFC_BUTTON,
            DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
    }
    const std::string caption = TextOf(item.hwndItem);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, disabled ? GetSysColor(COLOR_GRAYTEXT) : ColourRef(laid.colour));
    const HGDIOBJ before = SelectObject(
        item.hDC, reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0)));
    DrawTextA(item.hDC, caption.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(item.hDC, before);
    if ((item.itemState & ODS_FOCUS) != 0) {
        InflateRect(&area, -4, -4);
        DrawFocusRect(item.hDC, &area);
    }
}

// Labels, check boxes and read-only fields: the layout's text colour on the
// window's face.
LRESULT TForm1::Colour(HWND control, HDC dc) const {
    const std::size_t index = static_cast<std::size_t>(GetDlgCtrlID(control) - ControlId("Memo1"));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    if (index < kControlCount && layout::Controls()[index].colour != layout::kNoColour)
        SetTextColor(dc, ColourRef(layout::Controls()[index].colour));
    if (control == Control("Memo1"))
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(face_);
}

void TForm1::AppendLog(const std::string& text) {
    // One line per part of a text with line breaks.
    std::string lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find_first_of("\r\n", start);
        const std::string line = text.substr(start, end - start);
        lines +=
            (lines.empty() && GetWindowTextLengthA(Control("Memo1")) == 0 ? "" : "\r\n") + line;
        if (end == std::string::npos)
            break;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    HWND memo = Control("Memo1");
    const int length = GetWindowTextLengthA(memo);
    SendMessageA(memo, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    SendMessageA(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(lines.c_str()));
}

void TForm1::SetProgress(int position) {
    SendMessageA(Control("TrackBar1"), TBM_SETPOS, TRUE, std::clamp(position, 0, 100));
}

void TForm1::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    SetWindowTextA(Control("Label1"), ("Ok:" + std::to_string(okCount)).c_str());
    SetWindowTextA(Control("Label2"), ("Err:" + std::to_string(errorCount)).c_str());
    if (countersShown_)
        countersShown_(okCount, errorCount);
}

bool TForm1::AskYesNo(const std::string& text, const std::string& title) {
    return AskYesNoBox(window_, text, title);
}

void TForm1::ShowMessage(const std::string& text, const std::string& title) {
    ShowMessageBox(window_, text, title);
}

bool TForm1::AutoChecked() {
    return AutoTicked();
}

bool TForm1::FastChecked() {
    return SendMessageA(Control("CheckBox1"), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool TForm1::L3Checked() {
    return SendMessageA(Control("CheckBox3"), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The field shows the next number; what a write sends is the store's.
void TForm1::ShowNextSerialNumber(const std::string& number) {
    SetSerialField(number);
}

void TForm1::ClearReadBack() {
    ClearReadBackField();
}

void TForm1::StepFailed(const std::exception& error) {
    ShowErrorBox(error);
}

void TForm1::SetCaption(const std::string& caption) {
    SetWindowTextA(window_, caption.c_str());
}

int TForm1::SelectedPort() const {
    const LRESULT selected = SendMessageA(Control("ComboBox1"), CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void TForm1::SelectPort(int index) {
    SendMessageA(Control("ComboBox1"), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string TForm1::SelectedPortName() const {
    const int selected = SelectedPort();
    if (selected < 0)
        return {};
    char name[16] = {};
    SendMessageA(Control("ComboBox1"), CB_GETLBTEXT, static_cast<WPARAM>(selected),
                 reinterpret_cast<LPARAM>(name));
    return name;
}

void TForm1::ShowPortOpen(bool open) {
    SetWindowTextA(Control("Button1"), open ? "Close" : "Open");
    EnableWindow(Control("BitBtn2"), open);
    EnableWindow(Control("BitBtn3"), open);
}

void TForm1::DisableOpen() {
    EnableWindow(Control("Button1"), FALSE);
}

bool TForm1::AutoTicked() const {
    return SendMessageA(Control("SelAuto"), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::SetAutoTicked(bool ticked) {
    // BM_SETCHECK tells the window nothing: the handler runs only on a click.
    SendMessageA(Control("SelAuto"), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TForm1::SetSerialField(const std::string& text) {
    SetWindowTextA(Control("Edit1"), text.c_str());
}

void TForm1::ClearReadBackField() {
    SetWindowTextA(Control("Edit2"), "");
}

void TForm1::ClearLog() {
    SetWindowTextA(Control("Memo1"), "");
}

void TForm1::ShowErrorBox(const std::exception& error) {
    winui::ShowErrorBox(window_, error);
}

}  // namespace comflash::winui
