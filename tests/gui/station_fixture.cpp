#include "tests/gui/station_fixture.h"

namespace comflash::guitest {

StationTest::~StationTest() {
    station_.reset();
}

station::StationWindow& StationTest::StartStation(const StationOptions& options,
                                                  const ImageSource& image) {
    station_.reset();
    station_ = std::make_unique<station::StationWindow>(image, options);
    const auto& tiles = station_->Tiles();
    finished_.assign(tiles.size(), {});
    portStates_.assign(tiles.size(), {});
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        station::PortTile* tile = tiles[i];
        QObject::connect(tile, &station::PortTile::Finished, station_.get(),
                         [this, i, tile](bool) { finished_[i] << tile->StateText(); });
        QObject::connect(tile, &station::PortTile::OpenChanged, station_.get(),
                         [this, i, tile] { portStates_[i] << tile->StateText(); });
    }
    return *station_;
}

unsigned StationTest::FinishedDevices() const {
    return station_->Tally().Good() + station_->Tally().Failed();
}

}  // namespace comflash::guitest
