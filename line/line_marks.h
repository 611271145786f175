// The station remembers each serial-number series it has provisioned through
// the line database. Writing numbers of such a series from the station's own
// store afterwards would repeat numbers other stations have written since, so
// front ends refuse it unless the operator says the station now works alone.
#pragma once

#include <string>

#include "app/settings_store.h"

namespace comflash::line {

bool ProvisionedThroughLine(const SettingsStore& settings, const std::string& prefix);
void MarkProvisionedThroughLine(const SettingsStore& settings, const std::string& prefix);

// For writing serial numbers without the line: raises SerialNumberError when
// `number` belongs to a series this station provisioned through the line,
// unless `standalone`.
void CheckStandaloneWrite(const SettingsStore& settings, const std::string& number,
                          bool standalone);

}  // namespace comflash::line
