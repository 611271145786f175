// comflash-station on Windows: the station model drawn with the system's
// own controls. A tile per port (its name and the adapter it stands for, its
// state in words on a band of its tone's colour, progress, counters, its last
// log lines on demand, its own Open/Close), the totals and devices per hour
// above, the mode and Open all / Close all at the top, the status below.
// Never a modal box.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontend/station_model.h"
#include "frontend/window_options.h"
#include "image/image_source.h"
#include "winui/win32_dispatcher.h"

namespace comflash::winui {

class StationWindow final {
public:
    // Builds the model (raising as it does) and the window over it, not
    // shown yet. Opens nothing: OpenAll does, as --open asks.
    StationWindow(const ImageSource& image, const StationOptions& options);
    // Closes every port first; a device cut off is recorded as interrupted.
    ~StationWindow();
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    HWND Handle() const { return window_; }
    StationModel& Model() { return *model_; }
    // Told after every finished device, with the count over all ports.
    void OnDevicesFinished(std::function<void(unsigned)> finished) {
        devicesFinished_ = std::move(finished);
    }

private:
    // A tile's controls.
    struct TileView {
        HWND name, socket, openClose, state, detail, progress, counters, logButton, log;
        RECT bounds{};  // the tile's etched frame, drawn by the window itself
        bool logShown = false;
        std::size_t logLinesShown = 0;  // the model's LinesLogged when the log was drawn
    };
    enum class Font { Name, Socket, TileButton, State, Detail, Counters, Top, Totals, Hour, Body };
    static constexpr std::size_t kFonts = 10;

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    StationEvents Events();
    void CreateControls();
    void MakeFonts(int dpi);
    void MakeTileViews();
    void LayOut();
    void PaintTileFrames();
    void DrawTile(std::size_t tile);
    void ShowState();
    void OnCommand(int id);
    void ShowPortsMenu();
    LRESULT Colour(HWND control, HDC dc);
    HWND Child(const char* className, const char* text, DWORD style, int id, Font font);
    HFONT FontOf(Font font) const { return fonts_[static_cast<std::size_t>(font)]; }

    HWND window_ = nullptr;
    int dpi_ = 96;
    HWND updateMode_ = nullptr;
    HWND serialMode_ = nullptr;
    HWND nextSerial_ = nullptr;
    HWND portsButton_ = nullptr;
    HWND openAll_ = nullptr;
    HWND closeAll_ = nullptr;
    HWND totals_ = nullptr;
    HWND hour_ = nullptr;
    HWND lineState_ = nullptr;
    HWND status_ = nullptr;
    std::vector<TileView> tiles_;
    std::array<HFONT, kFonts> fonts_{};
    std::vector<HBRUSH> toneBrushes_;
    HBRUSH face_ = nullptr;
    bool closing_ = false;  // the window goes: the model's last events draw nothing
    std::function<void(unsigned)> devicesFinished_;
    // Declared last: the model's ports are built on the dispatcher, and its
    // events reach the controls above.
    Win32Dispatcher dispatcher_;
    std::unique_ptr<StationModel> model_;
};

}  // namespace comflash::winui
