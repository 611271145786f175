// One port of the fixture in the Qt station window: it draws its tile model
// (the port's name and the socket it stands for, a state that reads from
// across the bench, the progress, the counters, its last log lines on demand)
// and has its own Open and Close.
#pragma once

#include <QFrame>
#include <QStringList>
#include <string>

#include "frontend/tile_model.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace comflash::station {

class PortTile final : public QFrame {
    Q_OBJECT

public:
    PortTile(TileModel& model, QWidget* parent = nullptr);

    const std::string& Port() const { return model_.Port(); }
    bool IsOpen() const { return model_.IsOpen(); }
    TileFace Face() const { return model_.Face(); }
    QString StateText() const;
    QString CountersText() const;
    // The socket name the tile shows under the port's name.
    QString SocketText() const;
    // The last lines of the port's log, oldest first.
    QStringList LogLines() const;
    QPushButton* OpenCloseButton() const { return openClose_; }
    QToolButton* LogButton() const { return logButton_; }
    const PortStation& Station() const { return model_.Station(); }

    // Draws the model as it is now.
    void Redraw();
    // The window tells the tile what its model reported.
    void DeviceFinished(bool good) { emit Finished(good); }
    void PortOpenChanged() { emit OpenChanged(); }

signals:
    // A device's run on this port is over.
    void Finished(bool good);
    // Opened, closed, lost or back.
    void OpenChanged();

private:
    void CreateControls();
    void ToggleLog(bool shown);

    TileModel& model_;
    std::size_t logShown_ = 0;  // the model's LinesLogged when the log view was drawn

    QLabel* name_ = nullptr;
    QLabel* socket_ = nullptr;
    QLabel* stateLabel_ = nullptr;
    QLabel* detail_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* counters_ = nullptr;
    QPushButton* openClose_ = nullptr;
    QToolButton* logButton_ = nullptr;
    QPlainTextEdit* logView_ = nullptr;
};

}  // namespace comflash::station
