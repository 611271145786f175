// comflash-station drawn with Qt: a tile per port, the totals over all of
// them above, one switch between updating and writing serial numbers, and
// Open all / Close all. What it does is the station model's; the window draws
// it and hands it the operator's clicks. It never opens a box.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontend/station_model.h"
#include "frontend/window_options.h"
#include "gui/common/qt_dispatcher.h"
#include "image/image_source.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class QGridLayout;

namespace comflash::station {

class PortTile;

class StationWindow final : public QWidget {
    Q_OBJECT

    // Declared first: the model's ports are built on it.
    QtDispatcher dispatcher_;

public:
    // Builds the station model (see StationModel; raises as it does) and the
    // window over it. Opens nothing: OpenAll does, as --open asks.
    StationWindow(const ImageSource& image, const StationOptions& options,
                  QWidget* parent = nullptr);
    // Closes every port first; a device cut off is recorded as interrupted.
    ~StationWindow() override;
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    void OpenAll() { model_->OpenAll(); }
    void CloseAll() { model_->CloseAll(); }
    bool AnyOpen() const { return model_->AnyOpen(); }
    bool SetPorts(const std::vector<std::string>& ports) { return model_->SetPorts(ports); }
    bool SetWritingSerialNumbers(bool writing);
    bool WritingSerialNumbers() const { return model_->WritingSerialNumbers(); }
    std::vector<std::string> Finish() { return model_->Finish(); }

    // Once `devices` have finished over all ports (at once for 0), a picture
    // of the window goes to `file` (PNG), and `done` learns whether it was saved.
    void PictureAfter(unsigned devices, const QString& file, std::function<void(bool)> done);

    const std::vector<PortTile*>& Tiles() const { return tiles_; }
    const StationTally& Tally() const { return model_->Tally(); }
    const std::vector<std::string>& Ports() const { return model_->Ports(); }
    const FirmwareImage& Image() const { return model_->Image(); }
    std::string LineStation() const { return model_->LineStation(); }
    QString LineText() const;
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
    StationEvents Events();
    void CreateControls();
    void MakeTileViews();
    void FillPortsMenu();
    // The mode, the port list and the buttons, the totals and the line.
    void ShowState();

    std::vector<PortTile*> tiles_;
    bool closing_ = false;  // the window goes: the model's last events draw nothing

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

    // Last: its events reach the controls above.
    std::unique_ptr<StationModel> model_;
};

}  // namespace comflash::station
