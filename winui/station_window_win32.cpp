#include "winui/station_window_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <system_error>

#include "app/port_station.h"
#include "app/station_ports.h"
#include "app/tile_state.h"
#include "serial/port_map.h"
#include "winui/control_ids.h"
#include "winui/dpi_win32.h"
#include "winui/owned_window_win32.h"

namespace comflash::winui {
namespace {

constexpr const char* kClassName = "comflash-station-window";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kTimer2 = 2;
constexpr UINT_PTR kHourTimer = 3;
// How often the devices-per-hour figure moves on while nothing finishes.
constexpr UINT kHourRefreshMs = 10000;
constexpr int kComPorts = 32;
constexpr UINT kFirstPortCommand = 100;  // the Ports menu: COM1 is 100

// The window's measures at 96 dpi.
constexpr int kMargin = 8;
constexpr int kGap = 8;
constexpr int kTopRow = 34;
constexpr int kTotalsRow = 34;
constexpr int kStatusHeight = 40;
constexpr int kTileWidth = 340;
constexpr int kTileHeight = 186;
constexpr int kLogHeight = 130;
constexpr int kStartWidth = 880;
constexpr int kStartHeight = 600;

COLORREF ColourRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The tones, in the order of TileTone, for their brushes.
constexpr TileTone kTones[] = {TileTone::Closed, TileTone::Waiting, TileTone::Busy,
                               TileTone::Good,   TileTone::Failed,  TileTone::Lost};

}  // namespace

StationWindow::StationWindow(const ImageSource& image, const StationOptions& options) {
    RegisterTopLevelClass(kClassName, &WindowProcedure);
    face_ = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    for (TileTone tone : kTones)
        toneBrushes_.push_back(CreateSolidBrush(ColourRef(ColoursOf(tone).background)));
    window_ = CreateWindowExA(0, kClassName, kStationTitle, kWindowStyle, CW_USEDEFAULT,
                              CW_USEDEFAULT, kStartWidth, kStartHeight, nullptr, nullptr,
                              GetModuleHandleA(nullptr), this);
    if (window_ == nullptr)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot create the station window");
    dpi_ = DpiOf(window_);
    MakeFonts(dpi_);
    CreateControls();
    SetWindowPos(window_, nullptr, 0, 0, layout::Scaled(kStartWidth, dpi_),
                 layout::Scaled(kStartHeight, dpi_), SWP_NOMOVE | SWP_NOZORDER);
    model_ = std::make_unique<StationModel>(image, options, dispatcher_, Events());
    MakeTileViews();
    model_->ShowNextSerialNumber();
    ShowState();
    SetTimer(window_, kTimer1, static_cast<UINT>(kTimer1Period.count()), nullptr);
    SetTimer(window_, kTimer2, static_cast<UINT>(kTimer2Period.count()), nullptr);
    SetTimer(window_, kHourTimer, kHourRefreshMs, nullptr);
}

StationWindow::~StationWindow() {
    KillTimer(window_, kTimer1);
    KillTimer(window_, kTimer2);
    KillTimer(window_, kHourTimer);
    if (model_)
        model_->CloseAll();
    closing_ = true;
    model_.reset();
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    for (HFONT font : fonts_)
        DeleteObject(font);
    for (HBRUSH brush : toneBrushes_)
        DeleteObject(brush);
    DeleteObject(face_);
}

StationEvents StationWindow::Events() {
    return StationEvents{
        .tilesMade =
            [this] {
                if (model_ && !closing_)
                    MakeTileViews();
            },
        .tileChanged =
            [this](std::size_t tile) {
                if (!closing_ && tile < tiles_.size())
                    DrawTile(tile);
            },
        .tileFinished = [](std::size_t, bool) {},
        .tileOpenChanged =
            [this](std::size_t tile) {
                if (!closing_ && tile < tiles_.size())
                    DrawTile(tile);
            },
        .stateChanged =
            [this] {
                if (!closing_ && model_)
                    ShowState();
            },
        .say = [this](const std::string& text) { SetWindowTextA(status_, text.c_str()); },
        .nextSerialNumber =
            [this](const std::string& text) {
                SetWindowTextA(nextSerial_, text.c_str());
                ShowWindow(nextSerial_, text.empty() ? SW_HIDE : SW_SHOW);
            },
        .devicesFinished =
            [this](unsigned finished) {
                if (devicesFinished_)
                    devicesFinished_(finished);
            }};
}

HWND StationWindow::Child(const char* className, const char* text, DWORD style, int id, Font font) {
    HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                 window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
    if (child == nullptr)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                std::string("cannot create the control ") + text);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(font)), FALSE);
    return child;
}

void StationWindow::MakeFonts(int dpi) {
    struct Made {
        int pixels;
        bool bold;
    };
    // In the order of Font.
    constexpr Made kMade[kFonts] = {{20, true}, {11, false}, {14, true}, {26, true},  {13, false},
                                    {15, true}, {15, true},  {20, true}, {16, false}, {12, false}};
    for (std::size_t i = 0; i < kFonts; ++i) {
        if (fonts_[i] != nullptr)
            DeleteObject(fonts_[i]);
        fonts_[i] = MakeFont("Segoe UI", kMade[i].pixels, kMade[i].bold, dpi);
    }
}

void StationWindow::CreateControls() {
    updateMode_ = Child(WC_BUTTONA, "Update firmware", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
                        kUpdateModeId, Font::Body);
    serialMode_ =
        Child(WC_BUTTONA, "Write serial numbers", BS_AUTORADIOBUTTON, kSerialModeId, Font::Body);
    nextSerial_ = Child(WC_STATICA, "", SS_LEFT | SS_CENTERIMAGE, kNextSerialId, Font::Counters);
    portsButton_ =
        Child(WC_BUTTONA, "Ports", BS_PUSHBUTTON | WS_TABSTOP, kPortsButtonId, Font::Body);
    openAll_ = Child(WC_BUTTONA, "Open all", BS_PUSHBUTTON | WS_TABSTOP, kOpenAllId, Font::Top);
    closeAll_ = Child(WC_BUTTONA, "Close all", BS_PUSHBUTTON | WS_TABSTOP, kCloseAllId, Font::Top);
    totals_ = Child(WC_STATICA, "", SS_LEFT | SS_CENTERIMAGE, kTotalsId, Font::Totals);
    hour_ = Child(WC_STATICA, "", SS_LEFT | SS_CENTERIMAGE, kHourId, Font::Hour);
    lineState_ = Child(WC_STATICA, "", SS_RIGHT | SS_CENTERIMAGE, kLineStateId, Font::Body);
    status_ = Child(WC_STATICA, "", SS_LEFT, kStatusId, Font::Body);
}

void StationWindow::MakeTileViews() {
    for (const TileView& view : tiles_) {
        for (HWND control : {view.name, view.socket, view.openClose, view.state, view.detail,
                             view.progress, view.counters, view.logButton, view.log})
            DestroyWindow(control);
    }
    tiles_.clear();
    for (std::size_t i = 0; i < model_->Tiles().size(); ++i) {
        const auto id = [i](int control) { return TileControlId(i, control); };
        TileView view{};
        view.name = Child(WC_STATICA, model_->Tiles()[i]->Port().c_str(), SS_LEFT, id(kTileName),
                          Font::Name);
        view.socket =
            Child(WC_STATICA, "", SS_LEFT | SS_ENDELLIPSIS, id(kTileSocket), Font::Socket);
        view.openClose = Child(WC_BUTTONA, "Open", BS_PUSHBUTTON | WS_TABSTOP, id(kTileOpenClose),
                               Font::TileButton);
        view.state = Child(WC_STATICA, "", SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, id(kTileState),
                           Font::State);
        view.detail = Child(WC_STATICA, "", SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX, id(kTileDetail),
                            Font::Detail);
        view.progress = Child(PROGRESS_CLASSA, "", 0, id(kTileProgress), Font::Body);
        SendMessageA(view.progress, PBM_SETRANGE32, 0, 100);
        view.counters =
            Child(WC_STATICA, "", SS_LEFT | SS_CENTERIMAGE, id(kTileCounters), Font::Counters);
        view.logButton =
            Child(WC_BUTTONA, "Log", BS_PUSHBUTTON | WS_TABSTOP, id(kTileLogButton), Font::Body);
        view.log = Child(WC_EDITA, "",
                         ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER,
                         id(kTileLog), Font::Detail);
        ShowWindow(view.log, SW_HIDE);
        tiles_.push_back(view);
    }
    LayOut();
    for (std::size_t i = 0; i < tiles_.size(); ++i)
        DrawTile(i);
}

void StationWindow::LayOut() {
    const auto s = [this](int length) { return layout::Scaled(length, dpi_); };
    RECT client{};
    GetClientRect(window_, &client);
    const int width = client.right;
    const int height = client.bottom;

    // The top row: the mode and the next number on the left, the buttons on the right.
    MoveWindow(updateMode_, s(kMargin), s(kMargin), s(140), s(26), TRUE);
    MoveWindow(serialMode_, s(kMargin + 144), s(kMargin), s(180), s(26), TRUE);
    MoveWindow(nextSerial_, s(kMargin + 340), s(kMargin), s(300), s(26), TRUE);
    MoveWindow(closeAll_, width - s(kMargin + 110), s(kMargin - 2), s(110), s(30), TRUE);
    MoveWindow(openAll_, width - s(kMargin + 226), s(kMargin - 2), s(110), s(30), TRUE);
    MoveWindow(portsButton_, width - s(kMargin + 306), s(kMargin - 2), s(74), s(30), TRUE);
    const int totalsTop = s(kMargin + kTopRow);
    MoveWindow(totals_, s(kMargin), totalsTop, s(340), s(28), TRUE);
    MoveWindow(hour_, s(kMargin + 350), totalsTop, s(380), s(28), TRUE);
    MoveWindow(lineState_, width - s(kMargin + 300), totalsTop, s(300), s(28), TRUE);
    MoveWindow(status_, s(kMargin), height - s(kStatusHeight), width - s(2 * kMargin),
               s(kStatusHeight - 4), TRUE);

    // The tiles, row by row; a row as tall as its tallest tile.
    const int columns = TileColumns(tiles_.size());
    const int tileWidth =
        std::max(s(kTileWidth), (width - s(2 * kMargin) - (columns - 1) * s(kGap)) / columns);
    int top = totalsTop + s(kTotalsRow + 4);
    for (std::size_t row = 0; row * columns < tiles_.size(); ++row) {
        bool logInRow = false;
        for (std::size_t i = row * columns; i < std::min(tiles_.size(), (row + 1) * columns); ++i)
            logInRow = logInRow || tiles_[i].logShown;
        const int tileHeight = s(kTileHeight) + (logInRow ? s(kLogHeight) : 0);
        for (std::size_t i = row * columns; i < std::min(tiles_.size(), (row + 1) * columns); ++i) {
            TileView& view = tiles_[i];
            const int left =
                s(kMargin) + static_cast<int>(i - row * columns) * (tileWidth + s(kGap));
            const int inner = tileWidth - s(16);
            view.bounds = RECT{left, top, left + tileWidth, top + tileHeight};
            MoveWindow(view.name, left + s(8), top + s(6), inner - s(100), s(28), TRUE);
            MoveWindow(view.socket, left + s(8), top + s(34), inner - s(100), s(16), TRUE);
            MoveWindow(view.openClose, left + tileWidth - s(96), top + s(8), s(88), s(32), TRUE);
            MoveWindow(view.state, left + s(8), top + s(54), inner, s(52), TRUE);
            MoveWindow(view.detail, left + s(8), top + s(110), inner, s(18), TRUE);
            MoveWindow(view.progress, left + s(8), top + s(132), inner, s(16), TRUE);
            MoveWindow(view.counters, left + s(8), top + s(152), inner - s(70), s(26), TRUE);
            MoveWindow(view.logButton, left + tileWidth - s(66), top + s(152), s(58), s(26), TRUE);
            MoveWindow(view.log, left + s(8), top + s(kTileHeight - 2), inner, s(kLogHeight - 8),
                       TRUE);
        }
        top += tileHeight + s(kGap);
    }
    // The frames are the window's own drawing: a control under the tile's
    // controls would paint over them.
    InvalidateRect(window_, nullptr, TRUE);
}

void StationWindow::PaintTileFrames() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window_, &paint);
    for (TileView& view : tiles_)
        DrawEdge(dc, &view.bounds, EDGE_ETCHED, BF_RECT);
    EndPaint(window_, &paint);
}

void StationWindow::DrawTile(std::size_t tile) {
    const TileModel& model = *model_->Tiles()[tile];
    TileView& view = tiles_[tile];
    const TileFace face = model.Face();
    SetWindowTextA(view.state, face.state.c_str());
    SetWindowTextA(view.detail, face.detail.c_str());
    SetWindowTextA(view.socket, model.SocketText().c_str());
    SetWindowTextA(view.counters, model.CountersText().c_str());
    SendMessageA(view.progress, PBM_SETPOS, static_cast<WPARAM>(model.Progress()), 0);
    SetWindowTextA(view.openClose, model.IsOpen() ? "Close" : "Open");
    EnableWindow(view.openClose, model.OpenAllowed());
    if (view.logShown) {
        // The lines logged since the log was drawn, as far as the model
        // still keeps them.
        const auto& log = model.Log();
        const std::size_t fresh = std::min(model.LinesLogged() - view.logLinesShown, log.size());
        for (std::size_t i = log.size() - fresh; i < log.size(); ++i) {
            const int length = GetWindowTextLengthA(view.log);
            SendMessageA(view.log, EM_SETSEL, static_cast<WPARAM>(length),
                         static_cast<LPARAM>(length));
            const std::string line = (length == 0 ? "" : "\r\n") + log[i];
            SendMessageA(view.log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
        }
    }
    view.logLinesShown = model.LinesLogged();
    InvalidateRect(view.state, nullptr, TRUE);
}

// The mode and the port list hold still while any port is open.
void StationWindow::ShowState() {
    const bool anyOpen = model_->AnyOpen();
    const bool writing = model_->WritingSerialNumbers();
    SendMessageA(updateMode_, BM_SETCHECK, writing ? BST_UNCHECKED : BST_CHECKED, 0);
    SendMessageA(serialMode_, BM_SETCHECK, writing ? BST_CHECKED : BST_UNCHECKED, 0);
    EnableWindow(updateMode_, !anyOpen);
    EnableWindow(serialMode_, !anyOpen);
    EnableWindow(portsButton_, !anyOpen);
    EnableWindow(openAll_, model_->Image().Length > 0 && !tiles_.empty());
    EnableWindow(closeAll_, anyOpen);
    SetWindowTextA(totals_, model_->TotalsText().c_str());
    SetWindowTextA(hour_, model_->HourText().c_str());
    SetWindowTextA(lineState_, model_->LineText().c_str());
    ShowWindow(lineState_, model_->OnLine() ? SW_SHOW : SW_HIDE);
}

LRESULT CALLBACK StationWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* station = OwnerOf<StationWindow>(window, message, lParam);
    if (station == nullptr || station->status_ == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return station->OnMessage(message, wParam, lParam);
}

LRESULT StationWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)
                OnCommand(LOWORD(wParam));
            return 0;
        case WM_TIMER:
            if (!model_)
                return 0;
            if (wParam == kTimer1)
                model_->Tick1();
            else if (wParam == kTimer2)
                model_->Tick2();
            else if (wParam == kHourTimer)
                ShowState();
            return 0;
        case WM_SIZE:
            LayOut();
            return 0;
        case WM_PAINT:
            PaintTileFrames();
            return 0;
        case WM_CTLCOLORSTATIC:
            return Colour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            MakeFonts(dpi_);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER);
            // The controls take their fonts again at the new size.
            if (model_)
                MakeTileViews();
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window_, message, wParam, lParam);
    }
}

void StationWindow::OnCommand(int id) {
    if (!model_)
        return;
    if (id == kUpdateModeId || id == kSerialModeId) {
        model_->SetWritingSerialNumbers(id == kSerialModeId);
        ShowState();
    } else if (id == kOpenAllId) {
        model_->OpenAll();
    } else if (id == kCloseAllId) {
        model_->CloseAll();
    } else if (id == kPortsButtonId) {
        ShowPortsMenu();
    } else if (id >= kTileIdBase) {
        const std::size_t tile = static_cast<std::size_t>((id - kTileIdBase) / kTileIdStride);
        const int control = (id - kTileIdBase) % kTileIdStride;
        if (tile >= tiles_.size())
            return;
        TileModel& model = *model_->Tiles()[tile];
        if (control == kTileOpenClose) {
            if (model.IsOpen())
                model.Close();
            else
                model.Open();
        } else if (control == kTileLogButton) {
            TileView& view = tiles_[tile];
            view.logShown = !view.logShown;
            ShowWindow(view.log, view.logShown ? SW_SHOW : SW_HIDE);
            SetWindowTextA(view.log, "");
            view.logLinesShown = model.LinesLogged() - model.Log().size();
            DrawTile(tile);
            LayOut();
        }
    }
}

// The COM names, each with the adapter the system shows under it; ticked
// the ports of the fixture.
void StationWindow::ShowPortsMenu() {
    HMENU menu = CreatePopupMenu();
    const auto& chosen = model_->Ports();
    for (int n = 1; n <= kComPorts; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string socket = FixtureSocket(ResolvePortName(name, {}));
        const std::string text = socket == name ? name : name + "  (" + socket + ")";
        const bool ticked = std::find(chosen.begin(), chosen.end(), name) != chosen.end();
        AppendMenuA(menu, MF_STRING | (ticked ? MF_CHECKED : MF_UNCHECKED),
                    kFirstPortCommand + static_cast<UINT>(n), text.c_str());
    }
    RECT button{};
    GetWindowRect(portsButton_, &button);
    const UINT picked =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN,
                                         button.left, button.bottom, 0, window_, nullptr));
    DestroyMenu(menu);
    if (picked > kFirstPortCommand && picked <= kFirstPortCommand + kComPorts) {
        const std::string name = "COM" + std::to_string(picked - kFirstPortCommand);
        const bool ticked = std::find(chosen.begin(), chosen.end(), name) != chosen.end();
        model_->TogglePort(name, !ticked);
    }
}

// The state band of a tile in its tone's colour; the other labels on the
// window's face.
LRESULT StationWindow::Colour(HWND control, HDC dc) {
    for (std::size_t i = 0; i < tiles_.size() && model_; ++i) {
        if (tiles_[i].state != control)
            continue;
        const TileTone tone = model_->Tiles()[i]->Face().tone;
        const TileColours colours = ColoursOf(tone);
        SetTextColor(dc, ColourRef(colours.text));
        SetBkColor(dc, ColourRef(colours.background));
        return reinterpret_cast<LRESULT>(toneBrushes_[static_cast<std::size_t>(tone)]);
    }
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(face_);
}

}  // namespace comflash::winui
