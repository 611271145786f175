// TForm1: the operator's one window, drawn with Qt. Its controls are laid out
// from the table both windows share (frontend/main_window_layout.h); what its
// handlers do is OperatorWindow's, and the window is its port's view: the log,
// the progress, the counters and the boxes the controller reports to.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

#include "app/port_view.h"
#include "app/update_session.h"
#include "frontend/operator_window.h"
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

class TForm1 : public QWidget, private PortView, private WindowControls {
    Q_OBJECT

    // Declared first: the window's run and port are built on it.
    QtDispatcher dispatcher_;
    OperatorWindow window_{dispatcher_, *this, *this};

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
    TComm& Comm1;  // the port station's port
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

    // The log: one line per call, one per part of a text with line breaks.
    void AppendLog(const std::string& text) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    // Where a caption does not fit its control in the font the machine gave
    // it, the control grows to the right, and the fixed window with it;
    // nothing shrinks or moves. Runs when the controls are made; again after
    // a control's font changes.
    void FitCaptionsToFonts();

    void SetQuickTurnaround(bool on) { window_.SetQuickTurnaround(on); }
    bool QuickTurnaround() const { return window_.QuickTurnaround(); }

    bool PortOpen() const { return window_.PortOpen(); }
    const FirmwareImage& Image() const { return window_.Image(); }
    const UpdateSession& Session() const { return window_.Session(); }

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
    void StepFailed(const std::exception& error) override;

    // WindowControls: what the handlers set and read.
    void SetCaption(const std::string& caption) override;
    int SelectedPort() const override;
    void SelectPort(int index) override;
    std::string SelectedPortName() const override;
    void ShowPortOpen(bool open) override;
    void DisableOpen() override;
    bool AutoTicked() const override;
    void SetAutoTicked(bool ticked) override;
    void SetSerialField(const std::string& text) override;
    void ClearReadBackField() override;
    void ClearLog() override;
    void ShowErrorBox(const std::exception& error) override;

    void CreateControls();
    void ConnectHandlers();
    void CentreOnScreen();
    // The device path the selected name opens, read when the tip is asked
    // for, so that an edited port map shows at once.
    QString PortToolTip() const;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace comflash
