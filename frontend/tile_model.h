// One port of the station window, whatever toolkit draws it: the port's
// station and everything its tile shows (the state in words and tone, the
// counters, the progress, the last log lines, the socket it stands for),
// kept from the port's events. The tile never opens a box: what the window
// would ask or announce goes to its log and its state.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "app/port_station.h"
#include "app/port_view.h"
#include "app/tile_state.h"
#include "serial/dispatcher.h"

namespace comflash {

// What the window hears from a tile.
struct TileEvents {
    std::function<void()> changed;                           // draw the tile again
    std::function<void(bool good)> finished;                 // a counted device is over
    std::function<void()> openChanged;                       // opened, closed, lost or back
    std::function<void()> serialNumberUsed;                  // the next number is another
    std::function<void(const std::string& text)> problem;    // for the whole window to say
};

class TileModel final : private PortView {
public:
    // Enough to see how the last devices went; the record keeps the rest.
    static constexpr std::size_t kLogLinesKept = 200;

    TileModel(std::string port, Dispatcher& dispatcher, const StationParts& parts,
              const StationRules& rules, TileEvents events);
    TileModel(const TileModel&) = delete;
    TileModel& operator=(const TileModel&) = delete;

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
    void SetProvisioning(bool on) { station_.SetProvisioning(on); }
    // The tile's button stays enabled only while the tool has an image.
    void SetOpenAllowed(bool allowed);
    bool OpenAllowed() const { return openAllowed_ || IsOpen(); }

    TileFace Face() const { return state_.Face(); }
    const std::string& CountersText() const { return counters_; }
    int Progress() const { return progress_; }
    // The last lines of the port's log, oldest first.
    const std::deque<std::string>& Log() const { return log_; }
    // How many lines the log has had in all, the dropped ones included.
    std::size_t LinesLogged() const { return linesLogged_; }
    // The socket of the fixture the port stands for, when it is more than
    // the port's name; and what the name opens, for a tip.
    std::string SocketText() const;
    std::string SocketTip() const;
    const PortStation& Station() const { return station_; }

private:
    // PortView
    void AppendLog(const std::string& line) override;
    void SetProgress(int position) override;
    void ShowCounters(std::int32_t okCount, std::int32_t errorCount) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AutoChecked() override { return true; }
    bool FastChecked() override { return true; }
    bool L3Checked() override { return false; }
    void RunStarted(RunKind kind, const std::string& serialNumber) override;
    void DeviceIdentified(const DeviceSerial& device) override;
    void RunEnded(const FinishedDevice& device) override;
    void PortLost(const std::string& text) override;
    void PortBack(const std::string& text) override;
    void Notice(const std::string& text) override;
    void StepFailed(const std::exception& error) override;

    // Says on the tile why the port did not open; false.
    bool OpenFailed(const std::string& text, const std::string& reason);
    // The port cannot safely go on: closed, and the tile says why.
    void Stop(const std::string& reason);
    void Changed() const;

    std::string port_;
    TileEvents events_;
    TileState state_;
    std::deque<std::string> log_;
    std::size_t linesLogged_ = 0;
    std::string counters_;
    int progress_ = 0;
    bool openAllowed_ = true;
    // Last: built on the members above, and gone before them.
    PortStation station_;
};

}  // namespace comflash
