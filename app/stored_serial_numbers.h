// Serial numbers from the settings store. "SN" is the next number to write;
// beside it the store keeps the life of every number it handed out:
//   "Taken"        numbers handed out whose fate is not known yet; a number
//                  is named here, on disk, before it leaves the store, and
//                  one still here after its run ended may be in a device;
//   "Unconfirmed"  numbers whose record left without an understood answer,
//                  until their device comes back holding them;
//   "Series"       the highest number handed out in each series (prefix)
//                  this store has used, so that going back in a series
//                  needs --force whatever series was stored in between.
// Every change is one read-modify-write under the store's lock, so a crash
// at any instant leaves "SN" past every number that may have reached a
// device and every number taken named, and two processes sharing the store
// never take the same number.
#pragma once

#include <string>
#include <vector>

#include "app/serial_number_source.h"
#include "app/settings_store.h"

namespace comflash {

// What storing a new next number reopened.
struct SetNextReport {
    // Numbers at or behind the series' highest one handed out, which --force
    // hands out again (0 without --force).
    long reopened = 0;
    std::string highest;  // that highest number, when some were reopened
    // Among them, numbers still taken or unconfirmed: never handed out again
    // but passed over; their devices are the ones to check.
    std::vector<std::string> passedOver;
};

class StoredSerialNumbers final : public SerialNumberSource {
public:
    explicit StoredSerialNumbers(const SettingsStore& settings) : settings_(settings) {}

    std::string Next() const override;
    TakenNumber Take(const std::string& port) override;
    SerialFate Settle(const std::string& number, SerialFate fate) override;
    bool Unconfirmed(const std::string& number) const override;

    // Stores `text` as the next number after the checks of a write. A number
    // at or behind the highest one its series handed out may repeat numbers
    // already in devices: refused unless `force`.
    SetNextReport SetNext(const std::string& text, bool force);

    // Numbers taken whose fate is not known, and unconfirmed ones, for showing.
    std::vector<std::string> TakenNumbers() const;
    std::vector<std::string> UnconfirmedNumbers() const;

private:
    const SettingsStore& settings_;
};

}  // namespace comflash
