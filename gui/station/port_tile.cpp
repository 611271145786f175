#include "gui/station/port_tile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>


namespace comflash::station {
namespace {

QString Css(std::uint32_t rgb) {
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
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

PortTile::PortTile(TileModel& model, QWidget* parent) : QFrame(parent), model_(model) {
    CreateControls();
    Redraw();
}

void PortTile::CreateControls() {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(2);
    setMinimumWidth(340);

    name_ = new QLabel(ToQt(model_.Port()), this);
    name_->setFont(Sized(font(), 20, true));
    socket_ = new QLabel(this);
    socket_->setFont(Sized(font(), 11, false));
    socket_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    openClose_ = new QPushButton(QStringLiteral("Open"), this);
    openClose_->setFont(Sized(font(), 14, true));
    connect(openClose_, &QPushButton::clicked, this, [this] {
        if (model_.IsOpen())
            model_.Close();
        else
            model_.Open();
    });

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
    logView_->setMaximumBlockCount(static_cast<int>(TileModel::kLogLinesKept));
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
    for (const std::string& line : model_.Log())
        lines << ToQt(line);
    return lines;
}

void PortTile::Redraw() {
    const TileFace face = model_.Face();
    stateLabel_->setText(ToQt(face.state));
    detail_->setText(ToQt(face.detail));
    const TileColours colours = ColoursOf(face.tone);
    stateLabel_->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; "
                       "border-radius: 6px; padding: 4px; }")
            .arg(Css(colours.background), Css(colours.text)));
    socket_->setText(ToQt(model_.SocketText()));
    socket_->setToolTip(ToQt(model_.SocketTip()));
    progress_->setValue(model_.Progress());
    counters_->setText(ToQt(model_.CountersText()));
    openClose_->setText(model_.IsOpen() ? QStringLiteral("Close") : QStringLiteral("Open"));
    openClose_->setEnabled(model_.OpenAllowed());
    if (logView_->isVisible()) {
        // The lines logged since the view last looked, as far as the model
        // still keeps them.
        const auto& log = model_.Log();
        const std::size_t fresh = std::min(model_.LinesLogged() - logShown_, log.size());
        for (std::size_t i = log.size() - fresh; i < log.size(); ++i)
            logView_->appendPlainText(ToQt(log[i]));
    }
    logShown_ = model_.LinesLogged();
}

void PortTile::ToggleLog(bool shown) {
    if (shown) {
        logView_->setPlainText(LogLines().join(QLatin1Char('\n')));
        logView_->moveCursor(QTextCursor::End);
        logShown_ = model_.LinesLogged();
    }
    logView_->setVisible(shown);
}

}  // namespace comflash::station
