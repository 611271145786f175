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

#include "app/settings_folder.h"
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

QFont Sized(QFont font, int pixels, bool bold) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

}  // namespace

StationWindow::StationWindow(const ImageSource& image, const StationOptions& options,
                             QWidget* parent)
    : QWidget(parent) {
    setWindowTitle(QString::fromLatin1(kStationTitle));
    CreateControls();
    model_ = std::make_unique<StationModel>(image, options, dispatcher_, Events());
    MakeTileViews();
    (WritingSerialNumbers() ? serialMode_ : updateMode_)->setChecked(true);
    model_->ShowNextSerialNumber();
    ShowState();
    timer1_->start();
    timer2_->start();
    hourTimer_->start();
}

StationWindow::~StationWindow() {
    timer1_->stop();
    timer2_->stop();
    model_->CloseAll();
    closing_ = true;
    // Before the dispatcher the model's ports are built on.
    model_.reset();
}

StationEvents StationWindow::Events() {
    return StationEvents{
        .tilesMade =
            [this] {
                if (model_)
                    MakeTileViews();
            },
        .tileChanged =
            [this](std::size_t tile) {
                if (!closing_ && tile < tiles_.size())
                    tiles_[tile]->Redraw();
            },
        .tileFinished =
            [this](std::size_t tile, bool good) {
                if (!closing_ && tile < tiles_.size())
                    tiles_[tile]->DeviceFinished(good);
            },
        .tileOpenChanged =
            [this](std::size_t tile) {
                if (!closing_ && tile < tiles_.size()) {
                    tiles_[tile]->Redraw();
                    tiles_[tile]->PortOpenChanged();
                }
            },
        .stateChanged =
            [this] {
                if (!closing_ && model_)
                    ShowState();
            },
        .say = [this](const std::string& text) { status_->setText(ToQt(text)); },
        .nextSerialNumber =
            [this](const std::string& text) {
                nextSerial_->setText(ToQt(text));
                nextSerial_->setVisible(!text.empty());
            },
        .devicesFinished = [this](unsigned finished) { emit DevicesFinished(finished); }};
}

void StationWindow::CreateControls() {
    updateMode_ = new QRadioButton(QStringLiteral("Update firmware"), this);
    serialMode_ = new QRadioButton(QStringLiteral("Write serial numbers"), this);
    auto* modes = new QButtonGroup(this);
    modes->addButton(updateMode_);
    modes->addButton(serialMode_);
    updateMode_->setChecked(true);
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
    connect(timer1_, &QTimer::timeout, this, [this] { model_->Tick1(); });
    connect(timer2_, &QTimer::timeout, this, [this] { model_->Tick2(); });
    hourTimer_ = new QTimer(this);
    hourTimer_->setInterval(kHourRefreshMs);
    connect(hourTimer_, &QTimer::timeout, this, [this] { ShowState(); });
}

void StationWindow::MakeTileViews() {
    for (PortTile* tile : tiles_)
        delete tile;
    tiles_.clear();
    const auto& models = model_->Tiles();
    const int columns = TileColumns(models.size());
    for (std::size_t i = 0; i < models.size(); ++i) {
        auto* tile = new PortTile(*models[i], board_);
        grid_->addWidget(tile, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        tiles_.push_back(tile);
    }
}

bool StationWindow::SetWritingSerialNumbers(bool writing) {
    const bool set = model_->SetWritingSerialNumbers(writing);
    (WritingSerialNumbers() ? serialMode_ : updateMode_)->setChecked(true);
    return set;
}

// The mode and the port list hold still while any port is open.
void StationWindow::ShowState() {
    const bool anyOpen = AnyOpen();
    updateMode_->setEnabled(!anyOpen);
    serialMode_->setEnabled(!anyOpen);
    portsButton_->setEnabled(!anyOpen);
    openAll_->setEnabled(Image().Length > 0 && !tiles_.empty());
    closeAll_->setEnabled(anyOpen);
    totals_->setText(ToQt(model_->TotalsText()));
    hour_->setText(ToQt(model_->HourText()));
    lineState_->setVisible(model_->OnLine());
    lineState_->setText(ToQt(model_->LineText()));
}

QString StationWindow::LineText() const {
    return lineState_->isVisibleTo(this) ? lineState_->text() : QString();
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

// The port list of the other programs, each name with the device it opens,
// then the device paths chosen, and a field to add one.
void StationWindow::FillPortsMenu() {
    QMenu* menu = portsButton_->menu();
    menu->clear();
    const auto addChoice = [&](const std::string& port, const QString& text) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(std::find(Ports().begin(), Ports().end(), port) != Ports().end());
        connect(action, &QAction::toggled, this,
                [this, port](bool chosen) { model_->TogglePort(port, chosen); });
    };
    for (int n = 1; n <= kComPorts; ++n) {
        const std::string name = "COM" + std::to_string(n);
        addChoice(name, ToQt(name + "  (" + ResolvePortName(name, PortMapFile()) + ")"));
    }
    menu->addSeparator();
    for (const std::string& port : Ports()) {
        if (!port.starts_with("COM"))
            addChoice(port, ToQt(port));
    }
    auto* field = new QLineEdit(menu);
    field->setPlaceholderText(QStringLiteral("device path, Enter adds it"));
    connect(field, &QLineEdit::returnPressed, this, [this, field, menu] {
        const std::string port = field->text().trimmed().toStdString();
        menu->close();
        if (!port.empty())
            model_->TogglePort(port, true);
    });
    auto* fieldAction = new QWidgetAction(menu);
    fieldAction->setDefaultWidget(field);
    menu->addAction(fieldAction);
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
