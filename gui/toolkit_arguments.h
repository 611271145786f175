// What the two windows' command lines share: the toolkit's own options are
// passed over, and QCommandLineParser's refusals are put in the words the
// other programs use.
#pragma once

#include <QStringList>
#include <optional>
#include <string>
#include <vector>

class QCommandLineParser;

namespace comflash {

// The arguments that are ours, behind `program`. Those with one dash are the
// toolkit's (-platform offscreen, -style Fusion) and are left out, with the
// value of those that take one.
QStringList OwnArguments(const char* program, const std::vector<std::string>& arguments);

// Why the parser refused the command line, for the operator: an unknown
// option, one that needs a value, or a flag given one.
std::string RefusalText(const QCommandLineParser& parser, const std::string& program);

// A whole decimal count, or nothing.
std::optional<unsigned> ParseCount(const std::string& text);

}  // namespace comflash
