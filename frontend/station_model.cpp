#include "frontend/station_model.h"

#include <algorithm>

#include "app/station_ports.h"

namespace comflash {
namespace {

// A moment for the line at the start, so that its first state is known.
constexpr std::chrono::seconds kLineStartWait{3};
// The end of the program waits this long for the line to take what it is owed.
constexpr std::chrono::seconds kLineFlushWait{10};

}  // namespace

StationModel::StationModel(const ImageSource& image, const StationOptions& options,
                           Dispatcher& dispatcher, StationEvents events)
    : events_(std::move(events)),
      dispatcher_(dispatcher),
      run_(options.run, dispatcher, LinePolicy::Remembered) {
    run_.LoadImage(image);
    run_.OnNotice([this](const std::string& text) { events_.say(text); });
    if (!options.run.ports.empty()) {
        ports_ = options.run.ports;
        run_.Settings().WriteSetting(kPortsSetting, JoinPortList(ports_));
    } else {
        ports_ = SplitPortList(run_.Settings().ReadSetting(kPortsSetting));
    }
    MakeTiles();
    if (const StationRun::Joined joined = run_.JoinLine(kLineStartWait); !joined.reached)
        events_.say(joined.text);
    SayLineState();
    if (Image().Length == 0)
        events_.say("The tool holds no firmware image: no port can be opened.");
    else if (ports_.empty())
        events_.say("No ports chosen: pick them under Ports.");
}

StationModel::~StationModel() {
    CloseAll();
}

void StationModel::MakeTiles() {
    // The window lets go of the old tiles before they go.
    tiles_.clear();
    events_.tilesMade();
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        TileEvents tileEvents{
            .changed = [this, i] { events_.tileChanged(i); },
            .finished = [this, i](bool good) { OnDeviceFinished(i, good); },
            .openChanged =
                [this, i] {
                    events_.tileOpenChanged(i);
                    events_.stateChanged();
                },
            .serialNumberUsed = [this] { ShowNextSerialNumber(); },
            .problem = [this](const std::string& text) { events_.say(text); }};
        tiles_.push_back(std::make_unique<TileModel>(ports_[i], dispatcher_, run_.Parts(),
                                                     run_.Rules(true), std::move(tileEvents)));
        tiles_.back()->SetOpenAllowed(Image().Length > 0);
    }
    events_.tilesMade();
}

bool StationModel::AnyOpen() const {
    return std::any_of(tiles_.begin(), tiles_.end(),
                       [](const auto& tile) { return tile->IsOpen(); });
}

void StationModel::OpenAll() {
    if (Image().Length == 0 || !SerialNumberReady())
        return;
    events_.say({});
    bool opened = false;
    for (const auto& tile : tiles_)
        opened = tile->Open() || opened;
    if (opened)
        tally_.Opened(StationTally::Clock::now());
    events_.stateChanged();
}

void StationModel::CloseAll() {
    const bool anyOpen = AnyOpen();
    for (const auto& tile : tiles_)
        tile->Close();
    // What became of the numbers, as the command line says at its end.
    const std::string summary = run_.Numbers().Summary();
    if (anyOpen && WritingSerialNumbers() && !summary.empty())
        events_.say(summary);
}

bool StationModel::SerialNumberReady() {
    try {
        run_.CheckReadyToOpen();
    } catch (const std::exception& error) {
        events_.say(error.what());
        return false;
    }
    return true;
}

bool StationModel::SetPorts(const std::vector<std::string>& ports) {
    if (AnyOpen())
        return false;
    ports_ = SplitPortList(JoinPortList(ports));
    run_.Settings().WriteSetting(kPortsSetting, JoinPortList(ports_));
    MakeTiles();
    events_.stateChanged();
    return true;
}

bool StationModel::TogglePort(const std::string& port, bool chosen) {
    std::vector<std::string> ports = ports_;
    std::erase(ports, port);
    if (chosen)
        ports.push_back(port);
    return SetPorts(ports);
}

bool StationModel::SetWritingSerialNumbers(bool writing) {
    if (writing == WritingSerialNumbers())
        return true;
    if (AnyOpen())
        return false;
    run_.SetWritingSerialNumbers(writing);
    for (const auto& tile : tiles_)
        tile->SetProvisioning(writing);
    ShowNextSerialNumber();
    events_.stateChanged();
    return true;
}

void StationModel::Tick1() {
    SayLineState();
    for (const auto& tile : tiles_)
        tile->Tick1();
}

void StationModel::Tick2() {
    for (const auto& tile : tiles_)
        tile->Tick2();
}

// "line database unreachable" once when the line goes, and once when it is back.
void StationModel::SayLineState() {
    if (!run_.OnLine())
        return;
    if (const auto change = run_.LineChange()) {
        events_.say(*change);
        events_.stateChanged();
        ShowNextSerialNumber();
    }
}

// Asked of the source away from this thread: the line database may be slow.
void StationModel::ShowNextSerialNumber() {
    if (!WritingSerialNumbers()) {
        events_.nextSerialNumber({});
        return;
    }
    run_.Numbers().FetchNext([this](const std::string& next, const std::string& error) {
        if (!WritingSerialNumbers())
            return;
        if (!error.empty())
            events_.nextSerialNumber("serial number: " + error);
        else if (next.empty())
            events_.nextSerialNumber("no serial number stored");
        else
            events_.nextSerialNumber("next serial number: " + next);
    });
}

void StationModel::OnDeviceFinished(std::size_t tile, bool good) {
    tally_.Finished(good, StationTally::Clock::now());
    events_.stateChanged();
    ShowNextSerialNumber();
    events_.tileFinished(tile, good);
    events_.devicesFinished(tally_.Good() + tally_.Failed());
}

std::vector<std::string> StationModel::Finish() {
    const StationRun::Ending ending = run_.Finish(kLineFlushWait);
    std::vector<std::string> said = ending.notices;
    if (!ending.summary.empty())
        said.insert(said.begin(), ending.summary);
    return said;
}

}  // namespace comflash
