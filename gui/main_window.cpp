// The Qt window's side of the handlers: each control's signal runs the
// window's handler through OperatorWindow::Handle, on the GUI thread, as do
// received chunks; an error ends the handler in the error box and leaves the
// window usable.
#include "gui/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include "app/settings_folder.h"
#include "gui/common/operator_boxes.h"
#include "serial/port_map.h"

namespace comflash {

TForm1::TForm1(const ImageSource& imageSource, QWidget* parent)
    : QWidget(parent), Comm1(window_.Comm()) {
    CreateControls();
    ConnectHandlers();
    CentreOnScreen();
    window_.FormCreate(imageSource);
}

TForm1::~TForm1() {
    Timer1->stop();
    Timer2->stop();
    Comm1.ClosePort();
}

void TForm1::ConnectHandlers() {
    const auto handler = [this](void (OperatorWindow::*handle)()) {
        return [this, handle] { window_.Handle([this, handle] { (window_.*handle)(); }); };
    };
    connect(Button1, &QPushButton::clicked, this, handler(&OperatorWindow::Button1Click));
    connect(Button2, &QPushButton::clicked, this, handler(&OperatorWindow::Button2Click));
    connect(BitBtn2, &QPushButton::clicked, this, handler(&OperatorWindow::BitBtn2Click));
    connect(BitBtn3, &QPushButton::clicked, this, handler(&OperatorWindow::BitBtn3Click));
    connect(SelAuto, &QCheckBox::toggled, this, handler(&OperatorWindow::SelAutoClick));
    connect(Timer1, &QTimer::timeout, this, handler(&OperatorWindow::Timer1Timer));
    connect(Timer2, &QTimer::timeout, this, handler(&OperatorWindow::Timer2Timer));
}

void TForm1::AppendLog(const std::string& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    for (const QString& line : QString::fromStdString(text).split(lineBreak))
        Memo1->appendPlainText(line);
}

void TForm1::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    Label1->setText(QStringLiteral("Ok:%1").arg(okCount));
    Label2->setText(QStringLiteral("Err:%1").arg(errorCount));
    emit CountersShown(okCount, errorCount);
}

void TForm1::SetProgress(int position) {
    TrackBar1->setValue(position);  // the slider clamps to 0..100
}

bool TForm1::AskYesNo(const std::string& text, const std::string& title) {
    return AskYesNoBox(this, text, title);
}

void TForm1::ShowMessage(const std::string& text, const std::string& title) {
    ShowMessageBox(this, text, title);
}

bool TForm1::AutoChecked() {
    return SelAuto->isChecked();
}

bool TForm1::FastChecked() {
    return CheckBox1->isChecked();
}

bool TForm1::L3Checked() {
    return CheckBox3->isChecked();
}

// The field shows the next number; what a write sends is the store's.
void TForm1::ShowNextSerialNumber(const std::string& number) {
    Edit1->setText(QString::fromStdString(number));
}

void TForm1::ClearReadBack() {
    Edit2->clear();
}

void TForm1::StepFailed(const std::exception& error) {
    comflash::ShowErrorBox(this, error);
}

void TForm1::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

int TForm1::SelectedPort() const {
    return ComboBox1->currentIndex();
}

void TForm1::SelectPort(int index) {
    ComboBox1->setCurrentIndex(index);
}

std::string TForm1::SelectedPortName() const {
    return ComboBox1->currentText().toStdString();
}

void TForm1::ShowPortOpen(bool open) {
    Button1->setText(open ? QStringLiteral("Close") : QStringLiteral("Open"));
    BitBtn2->setEnabled(open);
    BitBtn3->setEnabled(open);
}

void TForm1::DisableOpen() {
    Button1->setEnabled(false);
}

bool TForm1::AutoTicked() const {
    return SelAuto->isChecked();
}

void TForm1::SetAutoTicked(bool ticked) {
    const QSignalBlocker quiet(SelAuto);
    SelAuto->setChecked(ticked);
}

void TForm1::SetSerialField(const std::string& text) {
    Edit1->setText(QString::fromStdString(text));
}

void TForm1::ClearReadBackField() {
    Edit2->clear();
}

void TForm1::ClearLog() {
    Memo1->clear();
}

void TForm1::ShowErrorBox(const std::exception& error) {
    comflash::ShowErrorBox(this, error);
}

QString TForm1::PortToolTip() const {
    const QString name = ComboBox1->currentText();
    if (name.isEmpty())
        return QStringLiteral("No port selected: pick one before Open");
    return name + QStringLiteral(" opens ") +
           QString::fromStdString(ResolvePortName(name.toStdString(), PortMapFile()));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBox1 && event->type() == QEvent::ToolTip)
        ComboBox1->setToolTip(PortToolTip());
    return QWidget::eventFilter(watched, event);
}

}  // namespace comflash
