// Start-up and the handlers of the window. Every handler runs on the GUI
// thread, received chunks included; an error it raises ends it in the error
// box and leaves the window usable.
#include "gui/main_window.h"

#include "app/device_line.h"

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
#include "gui/operator_boxes.h"
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
    : QWidget(parent), Comm1(dispatcher_), host_(*this), session_(host_, serialNumbers_, image_) {
    CreateControls();
    ConfigureDeviceLine(Comm1);
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
    Comm1.OnReceiveData = [this](TComm& sender, const std::uint8_t* buffer, std::uint16_t length) {
        Guarded([&] { Comm1ReceiveData(sender, buffer, length); });
    };
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
    if (image_.Length == 0)
        Button1->setEnabled(false);
}

void TForm1::RunStartUp(const ImageSource& imageSource) {
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    ShowCounters(session_.OkCount(), session_.ErrorCount());
    LoadEmbeddedImage(imageSource, image_);
    AppendLog(kToolTitleLine);

    Edit1->setText(QString::fromStdString(settings_.ReadSetting("SN")));
    Edit2->clear();

    const std::string port = settings_.ReadSetting("COM");
    const int index = port.empty() ? 0 : StrToInt(port);
    ComboBox1->setCurrentIndex(index >= 0 && index < ComboBox1->count() ? index : -1);

    // A change of the box runs SelAutoClick, which stores the choice.
    SelAuto->setChecked(settings_.ReadSetting("Auto") == "1");
}

void TForm1::Button1Click() {
    session_.ResetForOpenClose();
    TrackBar1->setValue(0);
    if (PortOpen_) {
        Comm1.ClosePort();
        PortOpen_ = false;
        Button1->setText(QStringLiteral("Open"));
        BitBtn2->setEnabled(false);
        BitBtn3->setEnabled(false);
    } else {
        session_.SetBaseRate();
        Comm1.SetCommName(ComboBox1->currentText().toStdString());
        Comm1.OpenPort();
        session_.PortOpened();
        PortOpen_ = true;
        Button1->setText(QStringLiteral("Close"));
        BitBtn2->setEnabled(true);
        BitBtn3->setEnabled(true);
    }
    settings_.WriteSetting("COM", std::to_string(ComboBox1->currentIndex()));
}

void TForm1::Button2Click() {
    Memo1->clear();
}

void TForm1::Timer1Timer() {
    session_.Timer1Timer();
}

void TForm1::Timer2Timer() {
    session_.Timer2Timer();
}

void TForm1::Comm1ReceiveData(TComm& /*sender*/, const std::uint8_t* buffer, std::uint16_t length) {
    session_.Comm1ReceiveData(buffer, length);
}

void TForm1::CheckBox1Click() {}

void TForm1::BitBtn2Click() {
    session_.ReadSerialNumber();
}

void TForm1::BitBtn3Click() {
    session_.WriteSerialNumber();
}

void TForm1::SelAutoClick() {
    settings_.WriteSetting("Auto", SelAuto->isChecked() ? "1" : "0");
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

QString TForm1::PortToolTip() const {
    const QString name = ComboBox1->currentText();
    if (name.isEmpty())
        return QStringLiteral("No port selected: pick one before Open");
    return name + QStringLiteral(" opens ") +
           QString::fromStdString(ResolvePortName(name.toStdString()));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBox1 && event->type() == QEvent::ToolTip)
        ComboBox1->setToolTip(PortToolTip());
    return QWidget::eventFilter(watched, event);
}

}  // namespace comflash
