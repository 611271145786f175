// TForm1: the operator's one window. It is its port station's view: the
// controls the controller reports to (the log, the progress, the counters,
// its boxes) and the choices it reads. It owns the run (the image, the
// settings and the serial numbers), the port station (the serial component
// Comm1 and its update controller) and the two timers that drive it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

#include "app/port_station.h"
#include "app/port_view.h"
#include "app/update_session.h"
#include "frontend/station_run.h"
#include "gui/common/qt_dispatcher.h"
#include "image/image_source.h"
#include "protocol/firmware_image.h"
#include "serial/comm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTimer;

namespace comflash {

inline constexpr char kWindowCaption[] = "FW Update For QL42V1.31-N-20090724";
inline constexpr char kToolTitleLine[] = "Firmware Update Tools";

class TForm1 : public QWidget, private PortView {
    Q_OBJECT

    // Declared first: the port station is built on them; Comm1 is its port.
    QtDispatcher dispatcher_;
    StationRun run_;
    PortStation station_;

public:
    // Builds the window and runs its start-up (FormCreate); an error there is
    // shown in the error box before this returns. The image is read from
    // `imageSource` during start-up only.
    explicit TForm1(const ImageSource& imageSource, QWidget* parent = nullptr);
    // Closes the port first, so no serial thread outlives the window.
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    QPlainTextEdit* Memo1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QTimer* Timer1 = nullptr;
    TComm& Comm1;  // the station's port
    QPushButton* Button2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QCheckBox* SelAuto = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTimer* Timer2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;

    void Button1Click();  // Open / Close
    void Button2Click();  // Clear
    void Timer1Timer();
    void FormCreate(const ImageSource& imageSource);
    void CheckBox1Click();
    void BitBtn2Click();  // Read SN
    void BitBtn3Click();  // Write SN
    void SelAutoClick();
    void Timer2Timer();

    // The log: one line per call, one per part of a text with line breaks.
    void AppendLog(const std::string& text) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    // Where a caption does not fit its control in the font the machine gave
    // it, the control grows to the right, and the fixed window with it;
    // nothing shrinks or moves. Runs when the controls are made; again after
    // a control's font changes.
    void FitCaptionsToFonts();

    // Chosen on the command line only: the window shows no control for it.
    void SetQuickTurnaround(bool on) { station_.SetQuickTurnaround(on); }
    bool QuickTurnaround() const { return station_.QuickTurnaround(); }

    bool PortOpen() const { return PortOpen_; }
    const FirmwareImage& Image() const { return run_.Image(); }
    const UpdateSession& Session() const { return station_.Session(); }

signals:
    // After every change of the counters, for whoever follows the batch.
    void CountersShown(int okCount, int errorCount);

private:
    // PortView: the controls the controller reports to and reads.
    void SetProgress(int position) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override;
    bool FastChecked() override;
    bool L3Checked() override;
    void ShowNextSerialNumber(const std::string& number) override;
    void ClearReadBack() override;
    // The standard error box; the window stays usable.
    void StepFailed(const std::exception& error) override;

    void CreateControls();
    void ConnectHandlers();
    void RunStartUp(const ImageSource& imageSource);
    void CentreOnScreen();
    // The device path the selected name opens, read when the tip is asked
    // for, so that an edited port map shows at once.
    QString PortToolTip() const;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Runs a handler; an error it raises is shown in the error box and ends it.
    template <typename Handler>
    void Guarded(Handler handler);

    bool PortOpen_ = false;
};

}  // namespace comflash
