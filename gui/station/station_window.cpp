#include "gui/station/station_window.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <algorithm>
#include <cmath>

#include "app/port_station.h"
#include "app/serial_number.h"
#include "app/settings_folder.h"
#include "app/station_ports.h"
#include "gui/station/port_tile.h"
#include "image/image_loader.h"
#include "protocol/crc16.h"
#include "serial/port_map.h"

namespace comflash::station {
namespace {

constexpr int kComPorts = 32;
// Time for the last state and counters to be painted before the picture.
constexpr int kPictureSettleMs = 500;
// How often the devices-per-hour figure moves on while nothing finishes.
constexpr int kHourRefreshMs = 10000;

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

// A moment for the line at the start, so that its first state is known.
constexpr std::chrono::seconds kLineStartWait{3};
// The end of the program waits this long for the line to take what it is owed.
constexpr std::chrono::seconds kLineFlushWait{10};

// --line, else COMFLASH_LINE, else the stored "Line"; --line remembered (an
// empty one forgets).
std::unique_ptr<LineLink> OpenLine(const StationOptions& options, const SettingsStore& settings) {
    if (options.line)
        settings.WriteSetting(kLineSetting, *options.line);
    const LineChoice choice{options.line, options.station, options.standalone};
    const auto address = ChosenLine(choice, settings.ReadSetting(kLineSetting));
    if (!address)
        return nullptr;
    return LineLink::Open(*address, choice, settings);
}

QFont Sized(QFont font, int pixels, bool bold) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// Tiles side by side as far as a bench monitor allows.
int ColumnsFor(std::size_t tiles) {
    if (tiles <= 2)
        return static_cast<int>(std::max<std::size_t>(tiles, 1));
    if (tiles <= 4)
        return 2;
    if (tiles <= 9)
        return 3;
    return 4;
}

}  // namespace

StationWindow::StationWindow(const ImageSource& image, const StationOptions& options,
                             QWidget* parent)
    : QWidget(parent),
      line_(OpenLine(options, settings_)),
      serialNumbers_(line_ ? line_->SerialNumbers() : storedNumbers_),
      writingSerialNumbers_(options.writeSerialNumbers),
      standalone_(options.standalone),
      rules_{.devices = std::nullopt,
             .reopenWhenLost = true,
             .overwriteSerialNumbers = options.overwriteSerialNumbers,
             .readBackSerialNumbers = options.verifySerialNumbers,
             .quickTurnaround = options.quickTurnaround} {
    LoadEmbeddedImage(image, image_);
    imageCrc_ = Crc16Ccitt({image_.Data.data(), image_.Length});
    if (options.record)
        record_.emplace(*options.record);

    setWindowTitle(QString::fromLatin1(kStationTitle));
    CreateControls();
    if (!options.ports.empty()) {
        ports_ = options.ports;
        settings_.WriteSetting(kPortsSetting, JoinPortList(ports_));
    } else {
        ports_ = SplitPortList(settings_.ReadSetting(kPortsSetting));
    }
    BuildTiles();
    if (line_)
        line_->WaitReachable(kLineStartWait);
    SayLineState();
    if (image_.Length == 0)
        Say(QStringLiteral("The tool holds no firmware image: no port can be opened."));
    else if (ports_.empty())
        Say(QStringLiteral("No ports chosen: pick them under Ports."));
    OnOpenChanged();
}

StationWindow::~StationWindow() {
    timer1_->stop();
    timer2_->stop();
    CloseAll();
    // Before the dispatcher and the stores they are built on.
    for (PortTile* tile : tiles_)
        delete tile;
    tiles_.clear();
}

void StationWindow::CreateControls() {
    updateMode_ = new QRadioButton(QStringLiteral("Update firmware"), this);
    serialMode_ = new QRadioButton(QStringLiteral("Write serial numbers"), this);
    auto* modes = new QButtonGroup(this);
    modes->addButton(updateMode_);
    modes->addButton(serialMode_);
    (writingSerialNumbers_ ? serialMode_ : updateMode_)->setChecked(true);
    connect(serialMode_, &QRadioButton::toggled, this,
            [this](bool writing) { SetWritingSerialNumbers(writing); });
    nextSerial_ = new QLabel(this);
    nextSerial_->setFont(Sized(font(), 15, true));

    portsButton_ = new QToolButton(this);
    portsButton_->setText(QStringLiteral("Ports"));
    portsButton_->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(portsButton_);
    connect(menu, &QMenu::aboutToShow, this, [this] { FillPortsMenu(); });
    portsButton_->setMenu(menu);

    openAll_ = new QPushButton(QStringLiteral("Open all"), this);
    closeAll_ = new QPushButton(QStringLiteral("Close all"), this);
    for (QPushButton* button : {openAll_, closeAll_})
        button->setFont(Sized(font(), 15, true));
    connect(openAll_, &QPushButton::clicked, this, [this] { OpenAll(); });
    connect(closeAll_, &QPushButton::clicked, this, [this] { CloseAll(); });

    totals_ = new QLabel(this);
    totals_->setFont(Sized(font(), 20, true));
    hour_ = new QLabel(this);
    hour_->setFont(Sized(font(), 16, false));
    lineState_ = new QLabel(this);

    board_ = new QWidget(this);
    grid_ = new QGridLayout(board_);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(board_);

    status_ = new QLabel(this);
    status_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(updateMode_);
    top->addWidget(serialMode_);
    top->addSpacing(16);
    top->addWidget(nextSerial_);
    top->addStretch(1);
    top->addWidget(portsButton_);
    top->addWidget(openAll_);
    top->addWidget(closeAll_);
    auto* totalsRow = new QHBoxLayout;
    totalsRow->addWidget(totals_);
    totalsRow->addSpacing(24);
    totalsRow->addWidget(hour_);
    totalsRow->addStretch(1);
    totalsRow->addWidget(lineState_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(totalsRow);
    layout->addWidget(scroll, 1);
    layout->addWidget(status_);

    timer1_ = new QTimer(this);
    timer1_->setInterval(static_cast<int>(kTimer1Period.count()));
    timer2_ = new QTimer(this);
    timer2_->setInterval(static_cast<int>(kTimer2Period.count()));
    timer2_->setTimerType(Qt::PreciseTimer);
    connect(timer1_, &QTimer::timeout, this, [this] {
        SayLineState();
        for (PortTile* tile : tiles_)
            tile->Tick1();
    });
    connect(timer2_, &QTimer::timeout, this, [this] {
        for (PortTile* tile : tiles_)
            tile->Tick2();
    });
    hourTimer_ = new QTimer(this);
    hourTimer_->setInterval(kHourRefreshMs);
    connect(hourTimer_, &QTimer::timeout, this, [this] { ShowTotals(); });
    timer1_->start();
    timer2_->start();
    hourTimer_->start();
    ShowTotals();
}

StationShared StationWindow::Shared() {
    return StationShared{image_,
                         serialNumbers_,
                         writingSerialNumbers_ ? &provisioning_ : nullptr,
                         record_ ? &*record_ : nullptr,
                         imageCrc_,
                         line_ ? &line_->Record() : nullptr};
}

void StationWindow::BuildTiles() {
    for (PortTile* tile : tiles_)
        delete tile;
    tiles_.clear();
    const int columns = ColumnsFor(ports_.size());
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        auto* tile = new PortTile(ports_[i], dispatcher_, Shared(), rules_, board_);
        tile->SetOpenAllowed(image_.Length > 0);
        connect(tile, &PortTile::Finished, this, [this](bool good) { OnDeviceFinished(good); });
        connect(tile, &PortTile::OpenChanged, this, [this] { OnOpenChanged(); });
        connect(tile, &PortTile::SerialNumberUsed, this, [this] { ShowNextSerialNumber(); });
        connect(tile, &PortTile::Problem, this, [this](const QString& text) { Say(text); });
        grid_->addWidget(tile, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        tiles_.push_back(tile);
    }
}

bool StationWindow::AnyOpen() const {
    return std::any_of(tiles_.begin(), tiles_.end(),
                       [](const PortTile* tile) { return tile->IsOpen(); });
}

void StationWindow::OpenAll() {
    if (image_.Length == 0 || !SerialNumberReady())
        return;
    status_->clear();
    bool opened = false;
    for (PortTile* tile : tiles_)
        opened = tile->Open() || opened;
    if (opened)
        tally_.Opened(StationTally::Clock::now());
    ShowTotals();
}

void StationWindow::CloseAll() {
    const bool anyOpen = AnyOpen();
    for (PortTile* tile : tiles_)
        tile->Close();
    // What became of the numbers, as the command line says at its end.
    if (anyOpen && writingSerialNumbers_ && !provisioning_.Summary().empty())
        Say(ToQt(provisioning_.Summary()));
}

bool StationWindow::SerialNumberReady() {
    if (!writingSerialNumbers_)
        return true;
    try {
        // The stored number names the series, on a line too.
        const std::string text = storedNumbers_.Next();
        if (!SerialNumberLongEnough(text)) {
            Say(ToQt("Write SN Disable! The stored serial number '" + text +
                     "' is shorter than 6 characters: store the first number with comflash-cli "
                     "--set-sn TEXT (it lives in " +
                     settings_.Location() + ")"));
            return false;
        }
        CheckSerialNumberWritable(text);
        if (!line_)
            CheckStandaloneWrite(settings_, text, standalone_);
    } catch (const std::exception& error) {
        Say(ToQt(error.what()));
        return false;
    }
    return true;
}

void StationWindow::SayLineState() {
    if (!line_) {
        lineState_->setVisible(false);
        return;
    }
    const auto change = line_->StateChange();
    if (!change) {
        if (lineState_->text().isEmpty())
            lineState_->setText(ToQt("line database: station " + line_->Station()));
        return;
    }
    if (change->starts_with("line database unreachable")) {
        lineState_->setText(QStringLiteral("line database unreachable"));
        Say(ToQt(*change + (writingSerialNumbers_
                                ? ": hellos go unanswered until it is back"
                                : ": device rows wait on disk until it is back")));
    } else {
        lineState_->setText(ToQt("line database: station " + line_->Station()));
        Say(ToQt(*change));
    }
    ShowNextSerialNumber();
}

QString StationWindow::LineText() const {
    return lineState_->isVisibleTo(this) ? lineState_->text() : QString();
}

std::string StationWindow::FlushLine() {
    return line_ ? line_->Flush(kLineFlushWait) : std::string();
}

bool StationWindow::SetPorts(const std::vector<std::string>& ports) {
    if (AnyOpen())
        return false;
    ports_ = SplitPortList(JoinPortList(ports));
    settings_.WriteSetting(kPortsSetting, JoinPortList(ports_));
    BuildTiles();
    OnOpenChanged();
    return true;
}

bool StationWindow::SetWritingSerialNumbers(bool writing) {
    if (writing == writingSerialNumbers_)
        return true;
    if (AnyOpen()) {
        (writingSerialNumbers_ ? serialMode_ : updateMode_)->setChecked(true);
        return false;
    }
    writingSerialNumbers_ = writing;
    (writing ? serialMode_ : updateMode_)->setChecked(true);
    for (PortTile* tile : tiles_)
        tile->SetProvisioning(writing ? &provisioning_ : nullptr);
    ShowNextSerialNumber();
    return true;
}

void StationWindow::TogglePort(const std::string& port, bool chosen) {
    std::vector<std::string> ports = ports_;
    std::erase(ports, port);
    if (chosen)
        ports.push_back(port);
    SetPorts(ports);
}

// The port list of the other programs, each name with the device it opens,
// then the device paths chosen, and a field to add one.
void StationWindow::FillPortsMenu() {
    QMenu* menu = portsButton_->menu();
    menu->clear();
    const auto addChoice = [&](const std::string& port, const QString& text) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(std::find(ports_.begin(), ports_.end(), port) != ports_.end());
        connect(action, &QAction::toggled, this,
                [this, port](bool chosen) { TogglePort(port, chosen); });
    };
    for (int n = 1; n <= kComPorts; ++n) {
        const std::string name = "COM" + std::to_string(n);
        addChoice(name, ToQt(name + "  (" + ResolvePortName(name, PortMapFile()) + ")"));
    }
    menu->addSeparator();
    for (const std::string& port : ports_) {
        if (!port.starts_with("COM"))
            addChoice(port, ToQt(port));
    }
    auto* field = new QLineEdit(menu);
    field->setPlaceholderText(QStringLiteral("device path, Enter adds it"));
    connect(field, &QLineEdit::returnPressed, this, [this, field, menu] {
        const std::string port = field->text().trimmed().toStdString();
        menu->close();
        if (!port.empty())
            TogglePort(port, true);
    });
    auto* fieldAction = new QWidgetAction(menu);
    fieldAction->setDefaultWidget(field);
    menu->addAction(fieldAction);
}

void StationWindow::OnDeviceFinished(bool good) {
    tally_.Finished(good, StationTally::Clock::now());
    ShowTotals();
    ShowNextSerialNumber();
    emit DevicesFinished(tally_.Good() + tally_.Failed());
}

// The mode and the port list hold still while any port is open.
void StationWindow::OnOpenChanged() {
    const bool anyOpen = AnyOpen();
    updateMode_->setEnabled(!anyOpen);
    serialMode_->setEnabled(!anyOpen);
    portsButton_->setEnabled(!anyOpen);
    openAll_->setEnabled(image_.Length > 0 && !tiles_.empty());
    closeAll_->setEnabled(anyOpen);
    ShowNextSerialNumber();
}

void StationWindow::ShowTotals() {
    const auto now = StationTally::Clock::now();
    totals_->setText(ToQt(tally_.TotalsText()));
    hour_->setText(ToQt(tally_.HourText(now)));
}

void StationWindow::ShowNextSerialNumber() {
    nextSerial_->setVisible(writingSerialNumbers_);
    if (!writingSerialNumbers_)
        return;
    try {
        const std::string next = serialNumbers_.Next();
        nextSerial_->setText(next.empty() ? QStringLiteral("no serial number stored")
                                          : ToQt("next serial number: " + next));
    } catch (const std::exception& error) {
        nextSerial_->setText(ToQt(std::string("serial number: ") + error.what()));
    }
}

void StationWindow::Say(const QString& text) {
    status_->setText(text);
}

QString StationWindow::TotalsText() const {
    return totals_->text();
}

QString StationWindow::HourText() const {
    return hour_->text();
}

QString StationWindow::NextSerialNumberText() const {
    return nextSerial_->isVisibleTo(this) ? nextSerial_->text() : QString();
}

QString StationWindow::StatusText() const {
    return status_->text();
}

void StationWindow::PictureAfter(unsigned devices, const QString& file,
                                 std::function<void(bool)> done) {
    const auto take = [this, file, done] {
        QTimer::singleShot(kPictureSettleMs, this,
                           [this, file, done] { done(grab().save(file, "PNG")); });
    };
    if (devices == 0) {
        take();
        return;
    }
    auto taken = std::make_shared<bool>(false);
    connect(this, &StationWindow::DevicesFinished, this, [devices, take, taken](unsigned finished) {
        if (!*taken && finished >= devices) {
            *taken = true;
            take();
        }
    });
}

}  // namespace comflash::station
