#include "gui/toolkit_arguments.h"

#include <QCommandLineParser>
#include <algorithm>
#include <array>
#include <charconv>

namespace comflash {
namespace {

// The toolkit's options that take a value in the next argument.
constexpr std::array kToolkitOptionsWithValue = {"-platform",        "-platformpluginpath",
                                                 "-platformtheme",   "-plugin",
                                                 "-style",           "-stylesheet",
                                                 "-session",         "-display",
                                                 "-geometry",        "-title",
                                                 "-qwindowgeometry", "-qwindowtitle",
                                                 "-qwindowicon",     "-qmljsdebugger"};

bool ToolkitOption(const std::string& argument) {
    return argument.size() > 1 && argument[0] == '-' && argument[1] != '-';
}

bool TakesValue(const std::string& argument) {
    return std::find(kToolkitOptionsWithValue.begin(), kToolkitOptionsWithValue.end(), argument) !=
           kToolkitOptionsWithValue.end();
}

}  // namespace

QStringList OwnArguments(const char* program, const std::vector<std::string>& arguments) {
    QStringList ours{QString::fromLatin1(program)};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (!ToolkitOption(arguments[i])) {
            ours << QString::fromStdString(arguments[i]);
            continue;
        }
        if (TakesValue(arguments[i]))
            ++i;
    }
    return ours;
}

// QCommandLineParser says "Missing value after '--port'."; the windows name
// the option the way the other programs do.
std::string RefusalText(const QCommandLineParser& parser, const std::string& program) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        return "unknown option \"--" + unknown.front().toStdString() + "\" (" + program +
               " --help lists the options)";
    }
    const QString text = parser.errorText();
    const qsizetype from = text.indexOf(QLatin1Char('\''));
    const qsizetype to = text.lastIndexOf(QLatin1Char('\''));
    const std::string option = from >= 0 && to > from
                                   ? text.mid(from + 1, to - from - 1).toStdString()
                                   : text.toStdString();
    if (text.startsWith(QStringLiteral("Missing value")))
        return option + " needs a value";
    return option + " takes no value";
}

std::optional<unsigned> ParseCount(const std::string& text) {
    unsigned count = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || stop != text.data() + text.size())
        return std::nullopt;
    return count;
}

}  // namespace comflash
