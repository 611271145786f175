#include "gui/station/port_tile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "app/station_ports.h"
#include "serial/comms_error.h"
#include "serial/port_map.h"

namespace comflash::station {
namespace {

// Enough to see how the last devices went; the record keeps the rest.
constexpr std::size_t kLogLinesKept = 200;

// Background and text of the state; the words say the same.
struct Colours {
    const char* background;
    const char* text;
};

Colours ColoursOf(TileTone tone) {
    switch (tone) {
        case TileTone::Closed:
            return {"#d6d6d6", "#202020"};
        case TileTone::Waiting:
            return {"#d8e6f3", "#102a43"};
        case TileTone::Busy:
            return {"#ffd54f", "#202020"};
        case TileTone::Good:
            return {"#2e7d32", "#ffffff"};
        case TileTone::Failed:
            return {"#c62828", "#ffffff"};
        case TileTone::Lost:
            return {"#5e35b1", "#ffffff"};
    }
    return {"#d6d6d6", "#202020"};
}

QFont Sized(QFont font, int pixels, bool bold) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

PortTile::PortTile(std::string port, Dispatcher& dispatcher, const StationShared& shared,
                   const StationRules& rules, QWidget* parent)
    : QFrame(parent), port_(std::move(port)), station_(dispatcher, shared, *this, rules) {
    CreateControls();
    ShowSocket();
    ShowCounters(0, 0);
    ShowFace();
}

PortTile::~PortTile() = default;

void PortTile::CreateControls() {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(2);
    setMinimumWidth(340);

    name_ = new QLabel(ToQt(port_), this);
    name_->setFont(Sized(font(), 20, true));
    socket_ = new QLabel(this);
    socket_->setFont(Sized(font(), 11, false));
    socket_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    openClose_ = new QPushButton(QStringLiteral("Open"), this);
    openClose_->setFont(Sized(font(), 14, true));
    connect(openClose_, &QPushButton::clicked, this, [this] { OnOpenCloseClicked(); });

    stateLabel_ = new QLabel(this);
    stateLabel_->setFont(Sized(font(), 26, true));
    stateLabel_->setAlignment(Qt::AlignCenter);
    stateLabel_->setMinimumHeight(56);
    stateLabel_->setAutoFillBackground(true);
    stateLabel_->setWordWrap(true);
    detail_ = new QLabel(this);
    detail_->setFont(Sized(font(), 13, false));
    detail_->setWordWrap(true);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setFormat(QStringLiteral("%p %"));

    counters_ = new QLabel(this);
    counters_->setFont(Sized(font(), 15, true));
    logButton_ = new QToolButton(this);
    logButton_->setText(QStringLiteral("Log"));
    logButton_->setCheckable(true);
    connect(logButton_, &QToolButton::toggled, this, [this](bool shown) { ToggleLog(shown); });

    logView_ = new QPlainTextEdit(this);
    logView_->setReadOnly(true);
    logView_->setMaximumBlockCount(static_cast<int>(kLogLinesKept));
    logView_->setMinimumHeight(120);
    logView_->hide();

    auto* header = new QGridLayout;
    header->addWidget(name_, 0, 0);
    header->addWidget(openClose_, 0, 1, 2, 1, Qt::AlignRight | Qt::AlignTop);
    header->addWidget(socket_, 1, 0);
    header->setColumnStretch(0, 1);

    auto* footer = new QHBoxLayout;
    footer->addWidget(counters_);
    footer->addStretch(1);
    footer->addWidget(logButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(stateLabel_);
    layout->addWidget(detail_);
    layout->addWidget(progress_);
    layout->addLayout(footer);
    layout->addWidget(logView_);
}

bool PortTile::IsOpen() const {
    return station_.IsOpen() || station_.WaitingForReturn();
}

bool PortTile::Open() {
    if (IsOpen())
        return true;
    ShowSocket();
    try {
        station_.Open(port_);
    } catch (const ECommsError& error) {
        return OpenFailed(error.what(), error.Reason());
    } catch (const std::exception& error) {
        return OpenFailed(error.what(), {});
    }
    state_.Opened();
    ShowFace();
    emit OpenChanged();
    return true;
}

bool PortTile::OpenFailed(const std::string& text, const std::string& reason) {
    const std::string said = reason.empty() ? text : text + ": " + reason;
    state_.OpenFailed(text, reason);
    AppendLog("cannot open the port: " + said);
    ShowFace();
    emit Problem(ToQt(port_ + ": " + said));
    return false;
}

void PortTile::Close() {
    if (!IsOpen())
        return;
    try {
        station_.Close();
    } catch (const std::exception& error) {
        // The port is closed; what failed is the record of the device cut off.
        AppendLog(error.what());
        emit Problem(ToQt(port_ + ": " + error.what()));
    }
    state_.Closed();
    ShowFace();
    emit OpenChanged();
}

void PortTile::OnOpenCloseClicked() {
    if (IsOpen())
        Close();
    else
        Open();
}

void PortTile::SetOpenAllowed(bool allowed) {
    openAllowed_ = allowed;
    ShowFace();
}

QString PortTile::StateText() const {
    return stateLabel_->text();
}

QString PortTile::CountersText() const {
    return counters_->text();
}

QString PortTile::SocketText() const {
    return socket_->text();
}

QStringList PortTile::LogLines() const {
    QStringList lines;
    for (const std::string& line : log_)
        lines << ToQt(line);
    return lines;
}

// The device path the name opens now, and the socket of the fixture it is.
void PortTile::ShowSocket() {
    const std::string device = ResolvePortName(port_, PortMapFile());
    const std::string socket = FixtureSocket(device);
    socket_->setText(socket == port_ ? QString() : ToQt(socket));
    socket_->setToolTip(ToQt(port_ + " opens " + device));
}

void PortTile::ShowFace() {
    const TileFace face = state_.Face();
    stateLabel_->setText(ToQt(face.state));
    detail_->setText(ToQt(face.detail));
    const Colours colours = ColoursOf(face.tone);
    stateLabel_->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; "
                       "border-radius: 6px; padding: 4px; }")
            .arg(QLatin1String(colours.background), QLatin1String(colours.text)));
    const bool open = IsOpen();
    openClose_->setText(open ? QStringLiteral("Close") : QStringLiteral("Open"));
    openClose_->setEnabled(open || openAllowed_);
}

void PortTile::ToggleLog(bool shown) {
    if (shown) {
        logView_->setPlainText(LogLines().join(QLatin1Char('\n')));
        logView_->moveCursor(QTextCursor::End);
    }
    logView_->setVisible(shown);
}

void PortTile::AppendLog(const std::string& line) {
    log_.push_back(line);
    if (log_.size() > kLogLinesKept)
        log_.pop_front();
    if (logView_->isVisible())
        logView_->appendPlainText(ToQt(line));
    state_.LogLine(line);
}

void PortTile::SetProgress(int position) {
    progress_->setValue(position);
    state_.Progress(position);
    ShowFace();
}

void PortTile::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    counters_->setText(QStringLiteral("Ok:%1  Err:%2").arg(okCount).arg(errorCount));
}

// The station runs as with Auto ticked, so no question is asked; were one
// asked, it would be answered Yes where the operator sees it.
bool PortTile::AskYesNo(const std::string& text, const std::string& title) {
    ShowMessage(text, title);
    return true;
}

void PortTile::ShowMessage(const std::string& text, const std::string& title) {
    AppendLog(title + ": " + text);
    state_.Message(text);
    ShowFace();
}

void PortTile::UpdateStarted() {
    state_.UpdateStarted();
    ShowFace();
}

void PortTile::SerialNumberSent(const std::string& number) {
    state_.SerialNumberSent(number);
    ShowFace();
    emit SerialNumberUsed();
}

void PortTile::DeviceIdentified(const DeviceSerial& device) {
    state_.DeviceIdentified(device);
    ShowFace();
}

void PortTile::DeviceFinished(const FinishedDevice& device) {
    state_.DeviceFinished(device);
    ShowFace();
    // A device left alone because it already holds a number counts neither way.
    if (device.counted)
        emit Finished(device.good);
}

void PortTile::PortLost() {
    AppendLog("the port stopped working (device or cable gone?): waiting for it to return");
    state_.PortLost();
    ShowFace();
    emit OpenChanged();
}

void PortTile::PortBack(const std::string& said) {
    AppendLog(said);
    state_.PortBack();
    ShowFace();
    emit OpenChanged();
}

void PortTile::Notice(const std::string& text) {
    AppendLog(text);
    state_.Message(text);
    ShowFace();
}

// The port cannot safely go on (the settings store or the record cannot be
// written): it is closed, and the tile says why.
void PortTile::StepFailed(const std::exception& error) {
    std::string reason = error.what();
    if (const auto* settings = dynamic_cast<const ERegistryException*>(&error);
        settings != nullptr && !settings->Detail().empty()) {
        reason += " (" + settings->Detail() + ")";
    }
    Stop(reason);
}

void PortTile::Stop(const std::string& reason) {
    AppendLog(reason);
    try {
        station_.Close();
    } catch (const std::exception& error) {
        AppendLog(error.what());
    }
    state_.Stopped(reason);
    ShowFace();
    emit Problem(ToQt(port_ + ": " + reason));
    emit OpenChanged();
}

}  // namespace comflash::station
