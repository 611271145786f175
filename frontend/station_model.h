// The station window, whatever toolkit draws it: one run over a fixture of
// ports, a tile model per port, the totals over all of them, the mode
// (updating or writing serial numbers, held while ports are open), the ports
// kept as the setting "Ports", the line database's state, and the end of the
// program. The window draws it and hands it the operator's clicks.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/station_tally.h"
#include "frontend/station_run.h"
#include "frontend/tile_model.h"
#include "frontend/window_options.h"
#include "image/image_source.h"
#include "serial/dispatcher.h"

namespace comflash {

inline constexpr char kStationTitle[] = "comflash-station";

// How many tiles a row holds: side by side as far as a bench monitor allows.
inline int TileColumns(std::size_t tiles) {
    if (tiles <= 2)
        return tiles == 0 ? 1 : static_cast<int>(tiles);
    if (tiles <= 4)
        return 2;
    return tiles <= 9 ? 3 : 4;
}

// What the window hears from the station.
struct StationEvents {
    std::function<void()> tilesMade;                    // the ports changed: new tiles
    std::function<void(std::size_t tile)> tileChanged;  // draw that tile again
    // A counted device of that tile is over (the totals already count it).
    std::function<void(std::size_t tile, bool good)> tileFinished;
    // That tile's port opened, closed, went or came back.
    std::function<void(std::size_t tile)> tileOpenChanged;
    std::function<void()> stateChanged;                  // open ports, mode, totals, line
    std::function<void(const std::string& text)> say;    // the status line
    std::function<void(const std::string& text)> nextSerialNumber;  // empty: not writing
    std::function<void(unsigned finished)> devicesFinished;          // over all ports
};

class StationModel {
public:
    // Loads the image, opens the record file (raising std::runtime_error when
    // it cannot), picks the ports (--port, remembered as "Ports", else the
    // stored ones) and the mode, and the line (--line, else COMFLASH_LINE,
    // else the stored "Line"; raising UsageError or the line's error when it
    // cannot be used), waiting a moment for it. Opens nothing.
    StationModel(const ImageSource& image, const StationOptions& options, Dispatcher& dispatcher,
                 StationEvents events);
    // Closes every port first; a device cut off is recorded as interrupted.
    ~StationModel();
    StationModel(const StationModel&) = delete;
    StationModel& operator=(const StationModel&) = delete;

    const std::vector<std::unique_ptr<TileModel>>& Tiles() const { return tiles_; }
    const std::vector<std::string>& Ports() const { return ports_; }
    bool AnyOpen() const;

    void OpenAll();
    void CloseAll();
    // New tiles for these ports, remembered as "Ports"; only while all are
    // closed (false otherwise).
    bool SetPorts(const std::vector<std::string>& ports);
    bool TogglePort(const std::string& port, bool chosen);
    // Only while all ports are closed (false otherwise).
    bool SetWritingSerialNumbers(bool writing);
    bool WritingSerialNumbers() const { return run_.WritingSerialNumbers(); }

    void Tick1();  // every kTimer1Period: the ports and the line's state
    void Tick2();  // every kTimer2Period

    const StationTally& Tally() const { return tally_; }
    std::string TotalsText() const { return tally_.TotalsText(); }
    std::string HourText() const { return tally_.HourText(StationTally::Clock::now()); }
    bool OnLine() const { return run_.OnLine(); }
    std::string LineStation() const { return run_.LineStation(); }
    std::string LineText() const { return run_.LineStateText(); }
    const FirmwareImage& Image() const { return run_.Image(); }
    // Asks the number source for the next number; the answer comes as the
    // nextSerialNumber event.
    void ShowNextSerialNumber();

    // The end of the program, after CloseAll: every serial number settled
    // and recorded, what the station owes the line sent to it within a
    // bounded time; what is left to say.
    std::vector<std::string> Finish();

private:
    void MakeTiles();
    void OnDeviceFinished(std::size_t tile, bool good);
    // In serial-number mode, the stored number must be one the tool can write
    // and advance before any port opens.
    bool SerialNumberReady();
    void SayLineState();

    StationEvents events_;
    Dispatcher& dispatcher_;
    StationRun run_;
    std::vector<std::string> ports_;
    StationTally tally_;
    std::vector<std::unique_ptr<TileModel>> tiles_;
};

}  // namespace comflash
