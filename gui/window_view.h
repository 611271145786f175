// What the window's port station sees of it: the log, the track bar, the
// counters, the modal boxes, and the check boxes and serial-number fields,
// hidden ones included.
#pragma once

#include "app/station_view.h"

namespace comflash {

class TForm1;

class WindowView final : public StationView {
public:
    explicit WindowView(TForm1& form) : form_(form) {}

    void AppendLog(const std::string& line) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override;
    bool FastChecked() override;
    bool L3Checked() override;
    std::string SerialNumberText() override;
    void SetSerialNumberText(const std::string& text) override;
    void ClearReadBack() override;
    // The standard error box; the window stays usable.
    void StepFailed(const std::exception& error) override;

private:
    TForm1& form_;
};

}  // namespace comflash
