// A build without libpq: no line database. Asking for one is refused with the
// reason, so that a station never works alone believing it is on a line.
#include "frontend/line_link.h"

#include "frontend/usage_error.h"
#include "line/line_options.h"

namespace comflash {

bool LineBuiltIn() {
    return false;
}

std::unique_ptr<LineLink> LineLink::Open(const std::string& /*address*/,
                                         const LineChoice& /*choice*/,
                                         const SettingsStore& /*settings*/) {
    throw UsageError(std::string("a line database is named (--line or ") + line::kLineEnvironment +
                     "), but " + kLineNotBuiltIn + "; --standalone works without it");
}

}  // namespace comflash
