#include "line/line_options.h"

#include <cstdlib>

namespace comflash::line {

std::optional<std::string> ResolveLineAddress(const std::optional<std::string>& option) {
    if (option && !option->empty())
        return option;
    const char* environment = std::getenv(kLineEnvironment);
    if (environment != nullptr && *environment != '\0')
        return std::string(environment);
    return std::nullopt;
}

}  // namespace comflash::line
