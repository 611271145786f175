// Start-up and the handlers of the window. Every handler runs on the GUI
// thread, received chunks included; an error it raises ends it in the error
// box and leaves the window usable.
#include "gui/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTimer>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "app/serial_number.h"
#include "app/settings_folder.h"
#include "gui/common/operator_boxes.h"
#include "image/image_loader.h"
#include "serial/port_map.h"

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

TForm1::TForm1(const ImageSource& imageSource, QWidget* parent)
    : QWidget(parent),
      run_(RunOptions{}, dispatcher_, LinePolicy::None),
      station_(dispatcher_, run_.Parts(), *this, run_.Rules(false)),
      Comm1(station_.Comm()) {
    CreateControls();
    ConnectHandlers();
    CentreOnScreen();
    FormCreate(imageSource);
}

TForm1::~TForm1() {
    Timer1->stop();
    Timer2->stop();
    Comm1.ClosePort();
}

void TForm1::ConnectHandlers() {
    const auto guarded = [this](void (TForm1::*handler)()) {
        return [this, handler] { Guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(Button1, &QPushButton::clicked, this, guarded(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TForm1::Button2Click));
    connect(BitBtn2, &QPushButton::clicked, this, guarded(&TForm1::BitBtn2Click));
    connect(BitBtn3, &QPushButton::clicked, this, guarded(&TForm1::BitBtn3Click));
    connect(SelAuto, &QCheckBox::toggled, this, guarded(&TForm1::SelAutoClick));
    connect(CheckBox1, &QCheckBox::toggled, this, guarded(&TForm1::CheckBox1Click));
    connect(Timer1, &QTimer::timeout, this, guarded(&TForm1::Timer1Timer));
    connect(Timer2, &QTimer::timeout, this, guarded(&TForm1::Timer2Timer));
}

template <typename Handler>
void TForm1::Guarded(Handler handler) {
    try {
        handler();
    } catch (const ECommsError& error) {
        // The box keeps the fixed text; the log keeps why, for the operator
        // and whoever reads the log later.
        if (!error.Reason().empty())
            AppendLog(error.TextWithReason());
        ShowErrorBox(this, error);
    } catch (const std::exception& error) {
        ShowErrorBox(this, error);
    }
}

void TForm1::FormCreate(const ImageSource& imageSource) {
    Guarded([&] { RunStartUp(imageSource); });
    // However start-up ended, a tool without an image must never open a
    // port to a device.
    if (run_.Image().Length == 0)
        Button1->setEnabled(false);
}

void TForm1::RunStartUp(const ImageSource& imageSource) {
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    ShowCounters(Session().OkCount(), Session().ErrorCount());
    run_.LoadImage(imageSource);
    AppendLog(kToolTitleLine);

    Edit1->setText(QString::fromStdString(run_.Settings().ReadSetting("SN")));
    Edit2->clear();

    const std::string port = run_.Settings().ReadSetting("COM");
    const int index = port.empty() ? 0 : StrToInt(port);
    ComboBox1->setCurrentIndex(index >= 0 && index < ComboBox1->count() ? index : -1);

    // A change of the box runs SelAutoClick, which stores the choice.
    SelAuto->setChecked(run_.Settings().ReadSetting("Auto") == "1");
}

// The station resets the controller and the track bar in both directions.
void TForm1::Button1Click() {
    if (PortOpen_) {
        station_.Close();
        PortOpen_ = false;
        Button1->setText(QStringLiteral("Open"));
        BitBtn2->setEnabled(false);
        BitBtn3->setEnabled(false);
    } else {
        station_.Open(ComboBox1->currentText().toStdString());
        PortOpen_ = true;
        Button1->setText(QStringLiteral("Close"));
        BitBtn2->setEnabled(true);
        BitBtn3->setEnabled(true);
    }
    run_.Settings().WriteSetting("COM", std::to_string(ComboBox1->currentIndex()));
}

void TForm1::Button2Click() {
    Memo1->clear();
}

void TForm1::Timer1Timer() {
    station_.Tick1();
}

void TForm1::Timer2Timer() {
    station_.Tick2();
}

void TForm1::CheckBox1Click() {}

void TForm1::BitBtn2Click() {
    station_.ReadSerialNumber();
}

void TForm1::BitBtn3Click() {
    station_.WriteSerialNumber();
}

void TForm1::SelAutoClick() {
    run_.Settings().WriteSetting("Auto", SelAuto->isChecked() ? "1" : "0");
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
    ShowErrorBox(this, error);
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
