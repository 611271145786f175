// What the operator's one window does, whatever toolkit draws it (Qt on
// Linux, Win32 on Windows): its start-up in the described order, Open/Close,
// Clear, Auto, the hidden serial-number buttons and the two ticks, over one
// run and one port station. The window itself implements the port's view and
// WindowControls, and runs every handler through Handle, which turns an error
// into the standard error box and leaves the window usable.
#pragma once

#include <exception>
#include <string>

#include "app/port_station.h"
#include "app/port_view.h"
#include "app/update_session.h"
#include "frontend/station_run.h"
#include "image/image_source.h"
#include "protocol/firmware_image.h"
#include "serial/dispatcher.h"

namespace comflash {

// The caption of the standard error box.
inline constexpr char kApplicationTitle[] = "comflash";
inline constexpr char kToolTitleLine[] = "Firmware Update Tools";

// The error box's text: the message, with a full stop appended when its last
// character sorts after "." (letters and digits do; "!" and ")" do not).
std::string ErrorBoxText(std::string message);

// The window's controls as the handlers see them.
class WindowControls {
public:
    virtual ~WindowControls() = default;

    virtual void SetCaption(const std::string& caption) = 0;
    // The port list: the selected index (-1: none) and its name ("COM3").
    virtual int SelectedPort() const = 0;
    virtual void SelectPort(int index) = 0;
    virtual std::string SelectedPortName() const = 0;
    // Button1's caption and the serial-number buttons, for an open or
    // closed port.
    virtual void ShowPortOpen(bool open) = 0;
    virtual void DisableOpen() = 0;
    // The Auto box; setting it never runs SelAutoClick itself.
    virtual bool AutoTicked() const = 0;
    virtual void SetAutoTicked(bool ticked) = 0;
    virtual void SetSerialField(const std::string& text) = 0;  // Edit1
    virtual void ClearReadBackField() = 0;                     // Edit2
    virtual void ClearLog() = 0;                               // Memo1
    // The standard error box: error icon, the application's title,
    // ErrorBoxText of the message (a settings error's detail offered beside).
    virtual void ShowErrorBox(const std::exception& error) = 0;
};

class OperatorWindow {
public:
    // `view` and `controls` are the window's; its port station reports to `view`.
    OperatorWindow(Dispatcher& dispatcher, PortView& view, WindowControls& controls);
    OperatorWindow(const OperatorWindow&) = delete;
    OperatorWindow& operator=(const OperatorWindow&) = delete;

    // Runs a handler; an error it raises is shown in the error box and ends
    // it. A port that does not open says why in the log as well.
    template <typename Handler>
    void Handle(Handler handler);

    // The start-up: caption, counters, image, the title line, "SN", "COM",
    // "Auto". However it ended, a tool without an image never opens a port.
    void FormCreate(const ImageSource& image);
    void Button1Click();  // Open / Close
    void Button2Click();  // Clear
    void SelAutoClick();
    void BitBtn2Click();  // Read SN
    void BitBtn3Click();  // Write SN
    void Timer1Timer() { station_.Tick1(); }
    void Timer2Timer() { station_.Tick2(); }

    bool PortOpen() const { return PortOpen_; }
    const FirmwareImage& Image() const { return run_.Image(); }
    const UpdateSession& Session() const { return station_.Session(); }
    TComm& Comm() { return station_.Comm(); }
    // Chosen on the command line only: the window shows no control for it.
    void SetQuickTurnaround(bool on) { station_.SetQuickTurnaround(on); }
    bool QuickTurnaround() const { return station_.QuickTurnaround(); }

private:
    void RunStartUp(const ImageSource& image);
    void ShowError(const std::exception& error);

    PortView& view_;
    WindowControls& controls_;
    StationRun run_;
    PortStation station_;
    bool PortOpen_ = false;
};

template <typename Handler>
void OperatorWindow::Handle(Handler handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

}  // namespace comflash
