// A station window of its own for each test, in the window tests' settings
// folder, with a record of what each tile said whenever one of its devices
// finished or its port opened, closed, went or came back.
#pragma once

#include <QStringList>
#include <memory>
#include <vector>

#include "gui/station/port_tile.h"
#include "frontend/window_options.h"
#include "gui/station/station_window.h"
#include "image/builtin_image_source.h"
#include "tests/gui/window_fixture.h"

namespace comflash::guitest {

class StationTest : public WindowTest {
protected:
    // The station goes before the settings folder does.
    ~StationTest() override;

    station::StationWindow& StartStation(const StationOptions& options,
                                         const ImageSource& image);
    station::StationWindow& StartStation(const StationOptions& options = {}) {
        return StartStation(options, image_);
    }
    station::StationWindow& Station() { return *station_; }
    station::PortTile& Tile(std::size_t index) { return *station_->Tiles().at(index); }

    // What the tile said each time a device of its port finished.
    QStringList FinishedStates(std::size_t tile) const { return finished_.at(tile); }
    // What the tile said each time its port opened, closed, went or came back.
    QStringList PortStates(std::size_t tile) const { return portStates_.at(tile); }
    unsigned FinishedDevices() const;

private:
    BuiltInImageSource image_;
    std::unique_ptr<station::StationWindow> station_;
    std::vector<QStringList> finished_;
    std::vector<QStringList> portStates_;
};

}  // namespace comflash::guitest
