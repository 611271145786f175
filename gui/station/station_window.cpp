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
#include "app/settings_folder.h"
#include "app/station_ports.h"
#include "gui/station/port_tile.h"
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
    : QWidget(parent), run_(options.run, dispatcher_, LinePolicy::Remembered) {
    run_.LoadImage(image);
    run_.OnNotice([this](const std::string& text) { Say(ToQt(text)); });

    setWindowTitle(QString::fromLatin1(kStationTitle));
    CreateControls();
    if (!options.run.ports.empty()) {
        ports_ = options.run.ports;
        run_.Settings().WriteSetting(kPortsSetting, JoinPortList(ports_));
    } else {
        ports_ = SplitPortList(run_.Settings().ReadSetting(kPortsSetting));
    }
    BuildTiles();
    if (const StationRun::Joined joined = run_.JoinLine(kLineStartWait); !joined.reached)
        Say(ToQt(joined.text));
    SayLineState();
    if (Image().Length == 0)
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
    (WritingSerialNumbers() ? serialMode_ : updateMode_)->setChecked(true);
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

void StationWindow::BuildTiles() {
    for (PortTile* tile : tiles_)
        delete tile;
    tiles_.clear();
    const int columns = ColumnsFor(ports_.size());
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        auto* tile =
            new PortTile(ports_[i], dispatcher_, run_.Parts(), run_.Rules(true), board_);
        tile->SetOpenAllowed(Image().Length > 0);
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
    if (Image().Length == 0 || !SerialNumberReady())
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
    const std::string summary = run_.Numbers().Summary();
    if (anyOpen && WritingSerialNumbers() && !summary.empty())
        Say(ToQt(summary));
}

bool StationWindow::SerialNumberReady() {
    try {
        run_.CheckReadyToOpen();
    } catch (const std::exception& error) {
        Say(ToQt(error.what()));
        return false;
    }
    return true;
}

void StationWindow::SayLineState() {
    if (!run_.OnLine()) {
        lineState_->setVisible(false);
        return;
    }
    if (const auto change = run_.LineChange())
        Say(ToQt(*change));
    lineState_->setText(ToQt(run_.LineStateText()));
    ShowNextSerialNumber();
}

QString StationWindow::LineText() const {
    return lineState_->isVisibleTo(this) ? lineState_->text() : QString();
}

std::vector<std::string> StationWindow::Finish() {
    const StationRun::Ending ending = run_.Finish(kLineFlushWait);
    std::vector<std::string> said = ending.notices;
    if (!ending.summary.empty())
        said.insert(said.begin(), ending.summary);
    return said;
}

bool StationWindow::SetPorts(const std::vector<std::string>& ports) {
    if (AnyOpen())
        return false;
    ports_ = SplitPortList(JoinPortList(ports));
    run_.Settings().WriteSetting(kPortsSetting, JoinPortList(ports_));
    BuildTiles();
    OnOpenChanged();
    return true;
}

bool StationWindow::SetWritingSerialNumbers(bool writing) {
    if (writing == WritingSerialNumbers())
        return true;
    if (AnyOpen()) {
        (WritingSerialNumbers() ? serialMode_ : updateMode_)->setChecked(true);
        return false;
    }
    run_.SetWritingSerialNumbers(writing);
    (writing ? serialMode_ : updateMode_)->setChecked(true);
    for (PortTile* tile : tiles_)
        tile->SetProvisioning(writing);
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
    openAll_->setEnabled(Image().Length > 0 && !tiles_.empty());
    closeAll_->setEnabled(anyOpen);
    ShowNextSerialNumber();
}

void StationWindow::ShowTotals() {
    const auto now = StationTally::Clock::now();
    totals_->setText(ToQt(tally_.TotalsText()));
    hour_->setText(ToQt(tally_.HourText(now)));
}

// Asked of the source away from this thread: the line database may be slow.
void StationWindow::ShowNextSerialNumber() {
    nextSerial_->setVisible(WritingSerialNumbers());
    if (!WritingSerialNumbers())
        return;
    run_.Numbers().FetchNext([this](const std::string& next, const std::string& error) {
        if (!error.empty())
            nextSerial_->setText(ToQt("serial number: " + error));
        else if (next.empty())
            nextSerial_->setText(QStringLiteral("no serial number stored"));
        else
            nextSerial_->setText(ToQt("next serial number: " + next));
    });
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
