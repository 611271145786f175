#include "gui/window_host.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include "gui/main_window.h"
#include "gui/operator_boxes.h"

namespace comflash {

bool WindowHost::SendData(const std::uint8_t* data, std::uint16_t length) {
    return form_.Comm1.SendData(data, length);
}

void WindowHost::SetBaudRate(std::uint32_t baudRate) {
    form_.Comm1.SetBaudRate(baudRate);
}

void WindowHost::AppendLog(const std::string& line) {
    form_.AppendLog(line);
}

void WindowHost::SetProgress(int position) {
    form_.TrackBar1->setValue(position);  // the slider clamps to 0..100
}

void WindowHost::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    form_.ShowCounters(okCount, errorCount);
}

bool WindowHost::AskYesNo(const std::string& text, const std::string& title) {
    return AskYesNoBox(&form_, text, title);
}

void WindowHost::ShowMessage(const std::string& text, const std::string& title) {
    ShowMessageBox(&form_, text, title);
}

bool WindowHost::AutoChecked() {
    return form_.SelAuto->isChecked();
}

bool WindowHost::FastChecked() {
    return form_.CheckBox1->isChecked();
}

bool WindowHost::L3Checked() {
    return form_.CheckBox3->isChecked();
}

std::string WindowHost::SerialNumberText() {
    return form_.Edit1->text().toStdString();
}

void WindowHost::SetSerialNumberText(const std::string& text) {
    form_.Edit1->setText(QString::fromStdString(text));
}

std::string WindowHost::PortName() {
    return form_.ComboBox1->currentText().toStdString();
}

void WindowHost::ClearReadBack() {
    form_.Edit2->clear();
}

std::chrono::system_clock::time_point WindowHost::Now() {
    return std::chrono::system_clock::now();
}

}  // namespace comflash
