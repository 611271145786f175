// TForm1 on Windows: the operator's one window drawn with the system's own
// controls (user32, comctl32), laid out from the table the Qt window is built
// from and scaled to the monitor's dpi. What its handlers do is
// OperatorWindow's; the window is its port's view: the log, the progress,
// the counters and the boxes the controller reports to.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/port_view.h"
#include "app/update_session.h"
#include "frontend/main_window_layout.h"
#include "frontend/operator_window.h"
#include "image/image_source.h"
#include "winui/win32_dispatcher.h"

namespace comflash::winui {

class TForm1 final : private PortView, private WindowControls {
public:
    // Makes the window (not shown yet) and runs its start-up; an error there
    // is shown in the error box before this returns. Raises std::system_error
    // when the window cannot be made.
    explicit TForm1(const ImageSource& image);
    // Closes the port first, so no serial thread outlives the window.
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return window_; }
    // The control of the layout table named `name`.
    HWND Control(std::string_view name) const;

    void SetQuickTurnaround(bool on) { logic_.SetQuickTurnaround(on); }
    bool PortOpen() const { return logic_.PortOpen(); }
    const FirmwareImage& Image() const { return logic_.Image(); }
    // Told after every change of the counters, for whoever follows the batch.
    void OnCountersShown(std::function<void(int ok, int errors)> shown) {
        countersShown_ = std::move(shown);
    }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    // Places, sizes and fonts every control for `dpi`; where a caption does
    // not fit the font it got, the control grows to the right, and the fixed
    // window with it.
    void LayOut(int dpi);
    void OnCommand(int id);
    void DrawButton(const DRAWITEMSTRUCT& item) const;
    LRESULT Colour(HWND control, HDC dc) const;

    // PortView
    void AppendLog(const std::string& text) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override;
    bool FastChecked() override;
    bool L3Checked() override;
    void ShowNextSerialNumber(const std::string& number) override;
    void ClearReadBack() override;
    void StepFailed(const std::exception& error) override;

    // WindowControls
    void SetCaption(const std::string& caption) override;
    int SelectedPort() const override;
    void SelectPort(int index) override;
    std::string SelectedPortName() const override;
    void ShowPortOpen(bool open) override;
    void DisableOpen() override;
    bool AutoTicked() const override;
    void SetAutoTicked(bool ticked) override;
    void SetSerialField(const std::string& text) override;
    void ClearReadBackField() override;
    void ClearLog() override;
    void ShowErrorBox(const std::exception& error) override;

    static constexpr std::size_t kControlCount = 14;

    HWND window_ = nullptr;
    std::array<HWND, kControlCount> controls_{};  // in the layout table's order
    std::array<HFONT, kControlCount> fonts_{};
    HFONT windowFont_ = nullptr;
    HBRUSH face_ = nullptr;
    std::function<void(int, int)> countersShown_;
    // Declared last: the run and the port go before the window's handles.
    Win32Dispatcher dispatcher_;
    OperatorWindow logic_{dispatcher_, *this, *this};
};

}  // namespace comflash::winui
