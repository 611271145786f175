#include "frontend/operator_window.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "app/serial_number.h"
#include "frontend/main_window_layout.h"
#include "serial/comms_error.h"

namespace comflash {
namespace {

// A stored decimal number: leading blanks and a sign allowed, nothing after
// the digits.
int StrToInt(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return static_cast<int>(value);
}

}  // namespace

std::string ErrorBoxText(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    return message;
}

OperatorWindow::OperatorWindow(Dispatcher& dispatcher, PortView& view, WindowControls& controls)
    : view_(view),
      controls_(controls),
      run_(RunOptions{}, dispatcher, LinePolicy::None),
      station_(dispatcher, run_.Parts(), view, run_.Rules(false)) {}

void OperatorWindow::ShowError(const std::exception& error) {
    // The box keeps the fixed text; the log keeps why, for the operator and
    // whoever reads the log later.
    if (const auto* comms = dynamic_cast<const ECommsError*>(&error);
        comms != nullptr && !comms->Reason().empty()) {
        view_.AppendLog(comms->TextWithReason());
    }
    controls_.ShowErrorBox(error);
}

void OperatorWindow::FormCreate(const ImageSource& image) {
    Handle([&] { RunStartUp(image); });
    if (run_.Image().Length == 0)
        controls_.DisableOpen();
}

void OperatorWindow::RunStartUp(const ImageSource& image) {
    controls_.SetCaption(layout::kWindowCaption);
    view_.ShowCounters(Session().OkCount(), Session().ErrorCount());
    run_.LoadImage(image);
    view_.AppendLog(kToolTitleLine);

    controls_.SetSerialField(run_.Settings().ReadSetting("SN"));
    controls_.ClearReadBackField();

    const std::string port = run_.Settings().ReadSetting("COM");
    const int index = port.empty() ? 0 : StrToInt(port);
    controls_.SelectPort(index >= 0 && index < layout::kPortCount ? index : -1);

    // Setting the box runs SelAutoClick when the state changes, so that a
    // stored text other than "1" is written back as "0".
    const bool ticked = run_.Settings().ReadSetting("Auto") == "1";
    const bool changes = ticked != controls_.AutoTicked();
    controls_.SetAutoTicked(ticked);
    if (changes)
        SelAutoClick();
}

// The station resets the controller and the track bar in both directions.
void OperatorWindow::Button1Click() {
    if (PortOpen_) {
        station_.Close();
        PortOpen_ = false;
    } else {
        station_.Open(controls_.SelectedPortName());
        PortOpen_ = true;
    }
    controls_.ShowPortOpen(PortOpen_);
    run_.Settings().WriteSetting("COM", std::to_string(controls_.SelectedPort()));
}

void OperatorWindow::Button2Click() {
    controls_.ClearLog();
}

void OperatorWindow::SelAutoClick() {
    run_.Settings().WriteSetting("Auto", controls_.AutoTicked() ? "1" : "0");
}

void OperatorWindow::BitBtn2Click() {
    station_.ReadSerialNumber();
}

void OperatorWindow::BitBtn3Click() {
    station_.WriteSerialNumber();
}

}  // namespace comflash
