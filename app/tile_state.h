// What one port's tile in the station window says, worked out from the
// events of its port (opened, run started, progress, run ended, ...), never
// from the text of its log. Words first: a state that reads from across the bench
// ("waiting for a device", "updating 42 %", "good", "failed: Write Err"), a
// detail line under it, and a tone that the window turns into a colour but
// that never carries meaning the words do not.
#pragma once

#include <cstdint>
#include <string>

#include "app/port_view.h"

namespace comflash {

enum class TileTone {
    Closed,   // the port is not open
    Waiting,  // open, no device in progress
    Busy,     // a device is being updated or given its number
    Good,     // the last device is good
    Failed,   // the last device failed, or the port cannot be used
    Lost,     // the port went away and is waited for
};

// The colours a window draws a tone in, 0xRRGGBB: the band's background and
// its text. The words say the same; the colour reads from across the bench.
struct TileColours {
    std::uint32_t background;
    std::uint32_t text;
};
TileColours ColoursOf(TileTone tone);

struct TileFace {
    std::string state;
    std::string detail;
    TileTone tone = TileTone::Closed;
};

// How a finished device failed, in words: the tool's own message where it has
// one ("Write Err", "Init EEP Err", "Write 512 Err!", "Write SN Error!"),
// otherwise what happened ("no answer", "port lost").
std::string FailureWords(const FinishedDevice& device);

class TileState {
public:
    void Opened();
    void Closed();
    // The component's fixed text, and why where the system says.
    void OpenFailed(const std::string& text, const std::string& reason = {});
    // The port was closed because a step raised an error.
    void Stopped(const std::string& reason);
    void PortLost();
    void PortBack();

    void RunStarted(RunKind kind, const std::string& serialNumber);
    void Progress(int position);
    // The device's own serial number: shown under the state while it is served.
    void DeviceIdentified(const DeviceSerial& device);
    // A box's text: the tile shows it, since the station opens no box.
    void Message(const std::string& text);
    void RunEnded(const FinishedDevice& device);

    TileFace Face() const;

private:
    enum class Phase { Waiting, Updating, WritingSerial, Finished };

    TileFace Finished() const;

    bool open_ = false;
    bool lost_ = false;
    std::string problem_;  // why the port is closed, when it was not the operator
    std::string problemDetail_;
    Phase phase_ = Phase::Waiting;
    int progress_ = 0;
    bool good_ = false;
    bool leftAlone_ = false;    // the last device already held a number
    std::string outcome_;       // failure words of the last device
    std::string detail_;        // the last box or notice
    std::string numberDetail_;  // the serial number of the device, over any box
    std::string deviceDetail_;  // what the device says of its own number
};

}  // namespace comflash
