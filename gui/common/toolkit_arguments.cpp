#include "gui/common/toolkit_arguments.h"

#include <algorithm>
#include <array>

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

std::vector<std::string> OwnArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> ours;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (!ToolkitOption(arguments[i])) {
            ours.push_back(arguments[i]);
            continue;
        }
        if (TakesValue(arguments[i]))
            ++i;
    }
    return ours;
}

}  // namespace comflash
