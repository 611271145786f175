#include "frontend/tile_model.h"

#include <utility>

#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "app/station_ports.h"
#include "serial/comms_error.h"
#include "serial/port_map.h"

namespace comflash {

TileModel::TileModel(std::string port, Dispatcher& dispatcher, const StationParts& parts,
                     const StationRules& rules, TileEvents events)
    : port_(std::move(port)),
      events_(std::move(events)),
      station_(dispatcher, parts, *this, rules) {
    ShowCounters(0, 0);
}

bool TileModel::IsOpen() const {
    return station_.IsOpen() || station_.WaitingForReturn();
}

bool TileModel::Open() {
    if (IsOpen())
        return true;
    try {
        station_.Open(port_);
    } catch (const ECommsError& error) {
        return OpenFailed(error.what(), error.Reason());
    } catch (const std::exception& error) {
        return OpenFailed(error.what(), {});
    }
    state_.Opened();
    Changed();
    events_.openChanged();
    return true;
}

bool TileModel::OpenFailed(const std::string& text, const std::string& reason) {
    const std::string said = reason.empty() ? text : text + ": " + reason;
    state_.OpenFailed(text, reason);
    AppendLog("cannot open the port: " + said);
    events_.problem(port_ + ": " + said);
    return false;
}

void TileModel::Close() {
    if (!IsOpen())
        return;
    try {
        station_.Close();
    } catch (const std::exception& error) {
        // The port is closed; what failed is the record of the device cut off.
        AppendLog(error.what());
        events_.problem(port_ + ": " + error.what());
    }
    state_.Closed();
    Changed();
    events_.openChanged();
}

void TileModel::SetOpenAllowed(bool allowed) {
    openAllowed_ = allowed;
    Changed();
}

// The device path the name opens now, and the socket of the fixture it is.
std::string TileModel::SocketText() const {
    const std::string socket = FixtureSocket(ResolvePortName(port_, PortMapFile()));
    return socket == port_ ? std::string() : socket;
}

std::string TileModel::SocketTip() const {
    return port_ + " opens " + ResolvePortName(port_, PortMapFile());
}

void TileModel::Changed() const {
    events_.changed();
}

void TileModel::AppendLog(const std::string& line) {
    log_.push_back(line);
    ++linesLogged_;
    if (log_.size() > kLogLinesKept)
        log_.pop_front();
    Changed();
}

void TileModel::SetProgress(int position) {
    progress_ = position;
    state_.Progress(position);
    Changed();
}

void TileModel::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    counters_ = "Ok:" + std::to_string(okCount) + "  Err:" + std::to_string(errorCount);
    Changed();
}

// The station runs as with Auto ticked, so no question is asked; were one
// asked, it would be answered Yes where the operator sees it.
bool TileModel::AskYesNo(const std::string& text, const std::string& title) {
    ShowMessage(text, title);
    return true;
}

void TileModel::ShowMessage(const std::string& text, const std::string& title) {
    state_.Message(text);
    AppendLog(title + ": " + text);
}

void TileModel::RunStarted(RunKind kind, const std::string& serialNumber) {
    state_.RunStarted(kind, serialNumber);
    Changed();
    if (kind == RunKind::SerialNumber)
        events_.serialNumberUsed();
}

void TileModel::DeviceIdentified(const DeviceSerial& device) {
    state_.DeviceIdentified(device);
    Changed();
}

void TileModel::RunEnded(const FinishedDevice& device) {
    state_.RunEnded(device);
    Changed();
    // A device left alone because it already holds a number counts neither way.
    if (device.counted)
        events_.finished(device.good);
}

void TileModel::PortLost(const std::string& text) {
    state_.PortLost();
    AppendLog(text);
    events_.openChanged();
}

void TileModel::PortBack(const std::string& text) {
    state_.PortBack();
    AppendLog(text);
    events_.openChanged();
}

void TileModel::Notice(const std::string& text) {
    state_.Message(text);
    AppendLog(text);
}

// The port cannot safely go on (the settings store or the record cannot be
// written): it is closed, and the tile says why.
void TileModel::StepFailed(const std::exception& error) {
    std::string reason = error.what();
    if (const auto* settings = dynamic_cast<const ERegistryException*>(&error);
        settings != nullptr && !settings->Detail().empty()) {
        reason += " (" + settings->Detail() + ")";
    }
    Stop(reason);
}

void TileModel::Stop(const std::string& reason) {
    AppendLog(reason);
    try {
        station_.Close();
    } catch (const std::exception& error) {
        AppendLog(error.what());
    }
    state_.Stopped(reason);
    Changed();
    events_.problem(port_ + ": " + reason);
    events_.openChanged();
}

}  // namespace comflash
