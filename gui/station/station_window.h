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

#include "app/device_record.h"
#include "app/port_station.h"
#include "app/serial_provisioning.h"
#include "app/settings_store.h"
#include "app/station_tally.h"
#include "app/stored_serial_numbers.h"
#include "frontend/line_link.h"
#include "gui/qt_dispatcher.h"
#include "gui/station/station_options.h"
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
// The line database the station works on, remembered beside "Ports".
inline constexpr char kLineSetting[] = "Line";

class StationWindow final : public QWidget {
    Q_OBJECT

    // Declared first: the tiles' stations are built on them.
    QtDispatcher dispatcher_;
    SettingsStore settings_;
    StoredSerialNumbers storedNumbers_{settings_};
    std::unique_ptr<LineLink> line_;     // on a line: its numbers and its record
    SerialNumberSource& serialNumbers_;  // the line's, else the stored ones
    SerialProvisioning provisioning_{serialNumbers_};
    FirmwareImage image_;
    std::uint16_t imageCrc_ = 0;
    std::optional<RecordFile> record_;

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
    bool WritingSerialNumbers() const { return writingSerialNumbers_; }

    // Once `devices` have finished over all ports (at once for 0), a picture
    // of the window goes to `file` (PNG), and `done` learns whether it was saved.
    void PictureAfter(unsigned devices, const QString& file, std::function<void(bool)> done);

    const std::vector<PortTile*>& Tiles() const { return tiles_; }
    const StationTally& Tally() const { return tally_; }
    const std::vector<std::string>& Ports() const { return ports_; }
    const FirmwareImage& Image() const { return image_; }
    // On a line: its station name, else empty.
    std::string LineStation() const { return line_ ? line_->Station() : std::string(); }
    QString LineText() const;
    // Sends what the station owes the line, waiting a bounded time; what
    // still waits, or empty. For the end of the program, after CloseAll.
    std::string FlushLine();
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

    StationShared Shared();

    std::vector<std::string> ports_;
    bool writingSerialNumbers_ = false;
    bool standalone_ = false;
    // What every tile's port station follows; from the command line.
    StationRules rules_;
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
