// Serial numbers from the settings store's "SN": the next number to write.
// Beside it, "Unconfirmed" lists the numbers taken whose fate is not known
// yet: a number goes in when it is taken, before its record leaves, and out
// once it is written, refused or given back; one whose acknowledgement was
// lost stays until its device comes back holding it.
// Taking one stores the number after it, under the store's lock and on disk
// before the number is handed out, so a crash at any instant leaves "SN" past
// every number that may have reached a device, and two processes sharing the
// store never take the same number.
#pragma once

#include "app/serial_number_source.h"
#include "app/settings_store.h"

namespace comflash {

class StoredSerialNumbers final : public SerialNumberSource {
public:
    explicit StoredSerialNumbers(const SettingsStore& settings) : settings_(settings) {}

    std::string Next() const override;
    std::string Take(const std::string& port, const std::string& atLeast) override;
    void Settle(const std::string& number, SerialFate fate) override;
    bool Unconfirmed(const std::string& number) const override;

    // Stores `text` as the next number after the checks of a write. A number
    // behind the stored one in the same series may repeat numbers already in
    // devices: refused unless `force`.
    void SetNext(const std::string& text, bool force);

private:
    const SettingsStore& settings_;
};

}  // namespace comflash
