#include "line/device_row.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <mutex>
#include <random>

#include "app/device_record.h"
#include "line/line_error.h"
#include "line/serial_series.h"

namespace comflash::line {
namespace {

using nlohmann::json;

std::string OneLine(const json& body) {
    // Text that is not UTF-8 (a port name in another code page) is kept with
    // replacement characters rather than refused.
    return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<std::string> OrNull(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    return text;
}

// The columns device_serial_kind, device_serial and device_serial_unknown.
// Entries spooled before the device's number was kept have none of it.
std::array<std::optional<std::string>, 3> DeviceSerialColumns(const json& body) {
    const auto found = body.find("device_serial");
    if (found == body.end())
        return {};
    if (found->is_string())
        return {std::string("number"), found->get<std::string>(), std::nullopt};
    if (body.contains("device_serial_unknown"))
        return {std::string("unknown"), std::nullopt,
                body.at("device_serial_unknown").get<std::string>()};
    return {std::string("none"), std::nullopt, std::nullopt};
}

void SendDevice(PgConnection& connection, const std::string& key, const json& body) {
    const auto [serialKind, deviceSerial, serialUnknown] = DeviceSerialColumns(body);
    connection.Exec(
        "INSERT INTO comflash_devices (key, finished_at, station, port, outcome, image_length, "
        "image_crc, serial_number, serial_fate, duration_ms, tool_version, device_serial_kind, "
        "device_serial, device_serial_unknown) "
        "VALUES ($1, to_timestamp($2::bigint / 1000.0), $3, $4, $5, $6::integer, $7::integer, "
        "$8, $9, $10::bigint, $11, $12, $13, $14) ON CONFLICT (key) DO NOTHING",
        {key, std::to_string(body.at("time").get<std::int64_t>()),
         body.at("station").get<std::string>(), body.at("port").get<std::string>(),
         body.at("outcome").get<std::string>(),
         std::to_string(body.at("image_length").get<std::uint32_t>()),
         std::to_string(body.at("image_crc").get<std::uint16_t>()),
         OrNull(body.value("serial_number", std::string{})),
         OrNull(body.value("serial_fate", std::string{})),
         std::to_string(body.at("duration_ms").get<std::int64_t>()),
         body.at("tool_version").get<std::string>(), serialKind, deviceSerial, serialUnknown});
}

SerialFate FateNamed(const std::string& name) {
    for (SerialFate fate : {SerialFate::Written, SerialFate::Refused, SerialFate::Unconfirmed,
                            SerialFate::NotSent, SerialFate::Skipped}) {
        if (name == SerialFateName(fate))
            return fate;
    }
    throw LineError("unknown serial-number fate '" + name + "'");
}

}  // namespace

std::string NewEntryKey() {
    static std::mutex mutex;
    static std::mt19937_64 generator{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};
    std::lock_guard lock(mutex);
    char key[40];
    std::snprintf(key, sizeof key, "%016llx%016llx", static_cast<unsigned long long>(generator()),
                  static_cast<unsigned long long>(generator()));
    return key;
}

SpoolEntry DeviceEntry(const DeviceRecord& record, const std::string& station,
                       const std::string& toolVersion, const std::string& key,
                       const std::string& lineId) {
    json body = {{"kind", "device"},
                 {"time", record.finishedAt},
                 {"station", station},
                 {"port", record.port},
                 {"outcome", RunResultName(record.result)},
                 {"image_length", record.imageLength},
                 {"image_crc", record.imageCrc},
                 {"duration_ms", record.durationMs},
                 {"tool_version", toolVersion}};
    if (record.serial) {
        body["serial_number"] = record.serial->number;
        body["serial_fate"] = SerialFateName(record.serial->fate);
    }
    // The device's own number under the --record file's keys, made by its code.
    JsonObject deviceSerial;
    AddDeviceSerial(deviceSerial, record.device);
    for (const auto& [name, value] : deviceSerial.items())
        body[name] = value;
    if (!lineId.empty())
        body["line"] = lineId;
    return {key, OneLine(body)};
}

SpoolEntry FateEntry(long long reservation, SerialFate fate, const std::string& lineId) {
    const json body = {{"kind", "fate"},
                       {"line", lineId},
                       {"reservation", reservation},
                       {"fate", SerialFateName(fate)}};
    return {"fate-" + std::to_string(reservation), OneLine(body)};
}

void SendEntry(PgConnection& connection, const std::string& lineId, const SpoolEntry& entry) {
    json body;
    std::string kind;
    try {
        body = json::parse(entry.body);
        kind = body.at("kind").get<std::string>();
        const std::string madeFor = body.value("line", std::string{});
        if (!madeFor.empty() && madeFor != lineId)
            throw LineError("the entry belongs to another line database (" + madeFor + ")");
        if (kind == "device") {
            SendDevice(connection, entry.key, body);
            return;
        }
        if (kind == "fate") {
            SettleReservation(connection, body.at("reservation").get<long long>(),
                              FateNamed(body.at("fate").get<std::string>()));
            return;
        }
    } catch (const json::exception& e) {
        throw LineError(std::string("the entry cannot be read: ") + e.what());
    }
    throw LineError("unknown kind of entry '" + kind + "'");
}

}  // namespace comflash::line
