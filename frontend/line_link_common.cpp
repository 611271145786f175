// The line options' meaning, the same in builds with and without the line
// database.
#include "frontend/line_link.h"

#include "frontend/usage_error.h"
#include "line/line_marks.h"
#include "line/line_options.h"

namespace comflash {

std::optional<std::string> ChosenLine(const LineChoice& choice, const std::string& remembered) {
    if (choice.standalone && choice.address && !choice.address->empty())
        throw UsageError("--standalone works without the line database: leave out --line");
    std::optional<std::string> line;
    if (!choice.standalone) {
        line = line::ResolveLineAddress(choice.address);
        // An empty --line forgets the remembered line.
        if (!line && !remembered.empty() && !choice.address)
            line = remembered;
    }
    if (!line && choice.station) {
        throw UsageError("--station names this station on a line: give --line CONNINFO (or set " +
                         std::string(line::kLineEnvironment) + ") too");
    }
    return line;
}

// The station's settings remember the series it provisioned through a line,
// whichever build did it.
void CheckStandaloneWrite(const SettingsStore& settings, const std::string& number,
                          bool standalone) {
    line::CheckStandaloneWrite(settings, number, standalone);
}

}  // namespace comflash
