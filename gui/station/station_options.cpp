#include "gui/station/station_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>

#include "frontend/line_link.h"
#include "gui/toolkit_arguments.h"

namespace comflash::station {
namespace {

unsigned ScreenshotAfter(const QString& text) {
    const std::optional<unsigned> count = ParseCount(text.toStdString());
    if (!count)
        throw StationOptionError("--screenshot-after takes a number of devices, not \"" +
                                 text.toStdString() + "\"");
    return *count;
}

struct Declared {
    QCommandLineOption port{QStringLiteral("port"), QString(), QStringLiteral("PORT")};
    QCommandLineOption writeSerialNumbers{QStringLiteral("write-sn")};
    QCommandLineOption overwriteSerialNumbers{QStringLiteral("overwrite-sn")};
    QCommandLineOption verifySerialNumbers{QStringLiteral("verify-sn")};
    QCommandLineOption quickTurnaround{QStringLiteral("quick-turnaround")};
    QCommandLineOption tickAuto{QStringLiteral("auto")};
    QCommandLineOption open{QStringLiteral("open")};
    QCommandLineOption record{QStringLiteral("record"), QString(), QStringLiteral("FILE")};
    QCommandLineOption screenshot{QStringLiteral("screenshot"), QString(), QStringLiteral("FILE")};
    QCommandLineOption screenshotAfter{QStringLiteral("screenshot-after"), QString(),
                                       QStringLiteral("N")};
    QCommandLineOption line{QStringLiteral("line"), QString(), QStringLiteral("CONNINFO")};
    QCommandLineOption station{QStringLiteral("station"), QString(), QStringLiteral("NAME")};
    QCommandLineOption standalone{QStringLiteral("standalone")};
    QCommandLineOption version{QStringLiteral("version")};
    QCommandLineOption help{QStringLiteral("help")};
};

std::vector<std::string> Ports(const QStringList& given) {
    std::vector<std::string> ports;
    for (const QString& port : given) {
        const std::string name = port.trimmed().toStdString();
        if (name.empty())
            throw StationOptionError("--port needs a port name");
        if (name.find(';') != std::string::npos)
            throw StationOptionError("port \"" + name + "\": a port name holds no \";\"");
        if (std::find(ports.begin(), ports.end(), name) != ports.end())
            throw StationOptionError("port " + name + " is named twice");
        ports.push_back(name);
    }
    return ports;
}

void LineOptions(const QCommandLineParser& parser, const Declared& declared,
                 StationOptions& options) {
    if (parser.isSet(declared.line))
        options.line = parser.value(declared.line).trimmed().toStdString();
    if (parser.isSet(declared.station)) {
        options.station = parser.value(declared.station).trimmed().toStdString();
        if (options.station->empty())
            throw StationOptionError("--station needs a name");
    }
    options.standalone = parser.isSet(declared.standalone);
    if (!LineBuiltIn() && ((options.line && !options.line->empty()) || options.station)) {
        throw StationOptionError(std::string(options.line ? "--line" : "--station") + ": " +
                                 kLineNotBuiltIn);
    }
    if (options.standalone && options.line && !options.line->empty())
        throw StationOptionError("--standalone works without the line database: leave out --line");
}

}  // namespace

StationOptions ParseStationOptions(const std::vector<std::string>& arguments) {
    const Declared declared;
    QCommandLineParser parser;
    parser.addOptions({declared.port, declared.writeSerialNumbers, declared.overwriteSerialNumbers,
                       declared.verifySerialNumbers, declared.quickTurnaround, declared.tickAuto,
                       declared.open, declared.record, declared.screenshot,
                       declared.screenshotAfter, declared.line, declared.station,
                       declared.standalone, declared.version, declared.help});
    if (!parser.parse(OwnArguments("comflash-station", arguments)))
        throw StationOptionError(RefusalText(parser, "comflash-station"));
    if (!parser.positionalArguments().isEmpty()) {
        throw StationOptionError("unexpected argument \"" +
                                 parser.positionalArguments().front().toStdString() +
                                 "\" (ports are given with --port)");
    }

    StationOptions options;
    options.ports = Ports(parser.values(declared.port));
    options.writeSerialNumbers = parser.isSet(declared.writeSerialNumbers);
    options.overwriteSerialNumbers = parser.isSet(declared.overwriteSerialNumbers);
    options.verifySerialNumbers = parser.isSet(declared.verifySerialNumbers);
    options.quickTurnaround = parser.isSet(declared.quickTurnaround);
    options.tickAuto = parser.isSet(declared.tickAuto);
    options.open = parser.isSet(declared.open);
    options.version = parser.isSet(declared.version);
    options.help = parser.isSet(declared.help);
    if (parser.isSet(declared.record))
        options.record = parser.value(declared.record).toStdString();
    if (parser.isSet(declared.screenshot))
        options.screenshot = parser.value(declared.screenshot).toStdString();
    if (parser.isSet(declared.screenshotAfter))
        options.screenshotAfter = ScreenshotAfter(parser.value(declared.screenshotAfter));
    if (options.screenshotAfter > 0 && !options.screenshot)
        throw StationOptionError("--screenshot-after needs --screenshot FILE");
    LineOptions(parser, declared, options);
    return options;
}

namespace {

// In a build without the line database, why --line and --station are refused.
std::string LineNote() {
    if (LineBuiltIn())
        return {};
    return std::string("                           (not available: ") + kLineNotBuiltIn + ")\n";
}

}  // namespace

std::string StationUsage() {
    return "Usage: comflash-station [options]\n"
           "One window for a fixture of several ports: every port has its tile, and every\n"
           "device that says hello on one of them is updated with the built-in firmware\n"
           "(or given the next serial number), with no question asked. Without options the\n"
           "window opens with the ports it had last time; the options do right after\n"
           "start-up what the operator would do:\n"
           "\n"
           "  --port PORT              a port of the fixture (repeatable): COM1 to COM32,\n"
           "                           resolved through the port map, or a device path such\n"
           "                           as /dev/ttyUSB0; remembered for the next start\n"
           "  --write-sn               write serial numbers instead of updating\n"
           "  --overwrite-sn           when writing serial numbers, also write a device\n"
           "                           that already holds one\n"
           "  --verify-sn              when writing serial numbers, read each number back\n"
           "                           before the device counts\n"
           "  --quick-turnaround       at the update rate, take each reply as soon as its\n"
           "                           last byte is in instead of after 30 ms of silence\n"
           "  --open                   open every port\n"
           "  --record FILE            append one JSON line per finished device to FILE\n"
           "  --screenshot FILE        save a picture of the window as FILE (PNG), then quit\n"
           "  --screenshot-after N     take the picture once N devices have finished over\n"
           "                           all ports; default 0, at once\n"
           "  --line CONNINFO          take serial numbers from the line database at\n"
           "                           CONNINFO (a libpq connection string or postgresql://\n"
           "                           URI) and record every device there; remembered for\n"
           "                           the next start (--line '' forgets it); default:\n"
           "                           $COMFLASH_LINE, else the remembered one\n" +
           LineNote() +
           "  --station NAME           this station's name on the line (default: the host\n"
           "                           name)\n"
           "  --standalone             work without the line database this time, and write\n"
           "                           serial numbers of a series this station wrote\n"
           "                           through the line\n"
           "  --auto                   accepted as in comflash; the station always runs as\n"
           "                           with Auto ticked\n"
           "  --version                show the tool's version and its built-in image\n"
           "  --help                   this text\n"
           "\n"
           "Options with one dash are Qt's, for example -platform offscreen.\n"
           "\n"
           "Port names lead to devices through the file ports in the settings folder\n"
           "(${XDG_CONFIG_HOME:-~/.config}/Norvane/FW/ports), with lines such as\n"
           "COM1=/dev/ttyUSB0; a name not listed opens /dev/ttyS<n-1>.\n";
}

}  // namespace comflash::station
