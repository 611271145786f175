// One port of the fixture in the station window: its name and the socket it
// stands for, a state that reads from across the bench, the progress, the
// port's Ok and Err counters, its last log lines on demand, and its own Open
// and Close. The tile is its port station's view; it never opens a box.
#pragma once

#include <QFrame>
#include <deque>
#include <string>

#include "app/port_station.h"
#include "app/station_view.h"
#include "app/tile_state.h"
#include "serial/dispatcher.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace comflash::station {

class PortTile final : public QFrame, private StationView {
    Q_OBJECT

public:
    PortTile(std::string port, Dispatcher& dispatcher, const StationShared& shared,
             const StationRules& rules, QWidget* parent = nullptr);
    ~PortTile() override;
    PortTile(const PortTile&) = delete;
    PortTile& operator=(const PortTile&) = delete;

    const std::string& Port() const { return port_; }
    // Open, or waiting for the port to come back.
    bool IsOpen() const;
    // As the tile's button does. A port that cannot be opened says why on the
    // tile; false then.
    bool Open();
    void Close();
    void Tick1() { station_.Tick1(); }
    void Tick2() { station_.Tick2(); }
    // Writing serial numbers or updating; only while closed.
    void SetProvisioning(SerialProvisioning* shared) { station_.SetProvisioning(shared); }
    // The button of the tile stays enabled only while the tool has an image.
    void SetOpenAllowed(bool allowed);

    TileFace Face() const { return state_.Face(); }
    QString StateText() const;
    QString CountersText() const;
    // The socket name the tile shows under the port's name.
    QString SocketText() const;
    // The last lines of the port's log, oldest first.
    QStringList LogLines() const;
    QPushButton* OpenCloseButton() const { return openClose_; }
    QToolButton* LogButton() const { return logButton_; }
    const PortStation& Station() const { return station_; }

signals:
    // A device's run on this port is over.
    void Finished(bool good);
    // Opened, closed, lost or back.
    void OpenChanged();
    // A serial number left for a device: the next one is another.
    void SerialNumberUsed();
    // Something the whole window should say (a port that cannot be opened).
    void Problem(const QString& text);

private:
    // StationView
    void AppendLog(const std::string& line) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override { return true; }
    bool FastChecked() override { return true; }
    bool L3Checked() override { return false; }
    void UpdateStarted() override;
    void SerialNumberSent(const std::string& number) override;
    void DeviceFinished(const FinishedDevice& device) override;
    void DeviceIdentified(const DeviceSerial& device) override;
    void PortLost() override;
    void PortBack(const std::string& said) override;
    void Notice(const std::string& text) override;
    void StepFailed(const std::exception& error) override;

    void CreateControls();
    void ShowFace();
    void ShowSocket();
    void ToggleLog(bool shown);
    void OnOpenCloseClicked();
    // Says on the tile why the port did not open; false.
    bool OpenFailed(const std::string& text, const std::string& reason);
    void Stop(const std::string& reason);

    std::string port_;
    TileState state_;
    std::deque<std::string> log_;
    bool openAllowed_ = true;

    QLabel* name_ = nullptr;
    QLabel* socket_ = nullptr;
    QLabel* stateLabel_ = nullptr;
    QLabel* detail_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* counters_ = nullptr;
    QPushButton* openClose_ = nullptr;
    QToolButton* logButton_ = nullptr;
    QPlainTextEdit* logView_ = nullptr;

    // Last: built on the members above, and gone before them.
    PortStation station_;
};

}  // namespace comflash::station
