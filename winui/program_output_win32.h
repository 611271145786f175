// What a Windows window program says before or instead of its window
// (--help, --version, a bad option): on the console it was started from,
// or into the output it was given, else in a box.
#pragma once

#include <string>

namespace comflash::winui {

enum class Said { Information, Mistake };

// `program` captions the box when there is no console to write to.
void SayOnConsoleOrInABox(const std::string& program, const std::string& text, Said said);
// Only where there is a console or output to write to (what is said at the
// end of a run, which no box may hold up); false when there is none.
bool SayOnConsole(const std::string& text, Said said);

}  // namespace comflash::winui
