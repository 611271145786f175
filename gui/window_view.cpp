#include "gui/window_view.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>

#include "gui/main_window.h"
#include "gui/operator_boxes.h"

namespace comflash {

void WindowView::AppendLog(const std::string& line) {
    form_.AppendLog(line);
}

void WindowView::SetProgress(int position) {
    form_.TrackBar1->setValue(position);  // the slider clamps to 0..100
}

void WindowView::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    form_.ShowCounters(okCount, errorCount);
}

bool WindowView::AskYesNo(const std::string& text, const std::string& title) {
    return AskYesNoBox(&form_, text, title);
}

void WindowView::ShowMessage(const std::string& text, const std::string& title) {
    ShowMessageBox(&form_, text, title);
}

bool WindowView::AutoChecked() {
    return form_.SelAuto->isChecked();
}

bool WindowView::FastChecked() {
    return form_.CheckBox1->isChecked();
}

bool WindowView::L3Checked() {
    return form_.CheckBox3->isChecked();
}

std::string WindowView::SerialNumberText() {
    return form_.Edit1->text().toStdString();
}

void WindowView::SetSerialNumberText(const std::string& text) {
    form_.Edit1->setText(QString::fromStdString(text));
}

void WindowView::ClearReadBack() {
    form_.Edit2->clear();
}

void WindowView::StepFailed(const std::exception& error) {
    ShowErrorBox(&form_, error);
}

}  // namespace comflash
