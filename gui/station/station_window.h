// comflash-station: one window for a fixture of several ports. A tile per
// port, the totals over all of them above, one switch between updating and
// writing serial numbers, and Open all / Close all. Every port runs as with
// Auto ticked and no box is ever opened: what the window would ask or
// announce goes to the port's tile and log.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/port_station.h"
#include "app/station_tally.h"
#include "frontend/station_run.h"
#include "frontend/window_options.h"
#include "gui/common/qt_dispatcher.h"
#include "image/image_source.h"
#include "protocol/firmware_image.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class QGridLayout;

namespace comflash::station {

class PortTile;

inline constexpr char kStationTitle[] = "comflash-station";

class StationWindow final : public QWidget {
    Q_OBJECT

    // Declared first: the tiles' stations are built on them.
    QtDispatcher dispatcher_;
    StationRun run_;

public:
    // Loads the image, opens the record file (raising std::runtime_error when
    // it cannot), picks the ports (--port, else the stored "Ports") and the
    // mode, and the line (--line, else COMFLASH_LINE, else the stored "Line";
    // raising UsageError or the line's error when it cannot be used), waiting
    // a moment for it. Opens nothing: OpenAll does, as --open asks.
    StationWindow(const ImageSource& image, const StationOptions& options,
                  QWidget* parent = nullptr);
    // Closes every port first; a device cut off is recorded as interrupted.
    ~StationWindow() override;
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    void OpenAll();
    void CloseAll();
    bool AnyOpen() const;
    // New tiles for these ports, remembered as "Ports"; only while all are
    // closed (false otherwise).
    bool SetPorts(const std::vector<std::string>& ports);
    // Only while all ports are closed (false otherwise).
    bool SetWritingSerialNumbers(bool writing);
    bool WritingSerialNumbers() const { return run_.WritingSerialNumbers(); }

    // Once `devices` have finished over all ports (at once for 0), a picture
    // of the window goes to `file` (PNG), and `done` learns whether it was saved.
    void PictureAfter(unsigned devices, const QString& file, std::function<void(bool)> done);

    const std::vector<PortTile*>& Tiles() const { return tiles_; }
    const StationTally& Tally() const { return tally_; }
    const std::vector<std::string>& Ports() const { return ports_; }
    const FirmwareImage& Image() const { return run_.Image(); }
    // On a line: its station name, else empty.
    std::string LineStation() const { return run_.LineStation(); }
    QString LineText() const;
    // The end of the program, after CloseAll: every serial number settled
    // and recorded, what the station owes the line sent to it within a
    // bounded time; what is left to say.
    std::vector<std::string> Finish();
    QString TotalsText() const;
    QString HourText() const;
    QString NextSerialNumberText() const;
    QString StatusText() const;
    QPushButton* OpenAllButton() const { return openAll_; }
    QPushButton* CloseAllButton() const { return closeAll_; }
    QRadioButton* UpdateModeButton() const { return updateMode_; }
    QRadioButton* SerialModeButton() const { return serialMode_; }
    QToolButton* PortsButton() const { return portsButton_; }

signals:
    // After every finished device, with the count over all ports.
    void DevicesFinished(unsigned finished);

private:
    void CreateControls();
    void BuildTiles();
    void FillPortsMenu();
    void TogglePort(const std::string& port, bool chosen);
    void OnDeviceFinished(bool good);
    void OnOpenChanged();
    void ShowTotals();
    void ShowNextSerialNumber();
    void Say(const QString& text);
    // In serial-number mode, the stored number must be one the tool can write
    // and advance before any port opens.
    bool SerialNumberReady();
    // "line database unreachable" once when the line goes, and once when it is back.
    void SayLineState();

    std::vector<std::string> ports_;
    StationTally tally_;
    std::vector<PortTile*> tiles_;

    QRadioButton* updateMode_ = nullptr;
    QRadioButton* serialMode_ = nullptr;
    QLabel* nextSerial_ = nullptr;
    QToolButton* portsButton_ = nullptr;
    QPushButton* openAll_ = nullptr;
    QPushButton* closeAll_ = nullptr;
    QLabel* totals_ = nullptr;
    QLabel* hour_ = nullptr;
    QLabel* lineState_ = nullptr;
    QWidget* board_ = nullptr;
    QGridLayout* grid_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    QTimer* hourTimer_ = nullptr;
};

}  // namespace comflash::station
