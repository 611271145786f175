#include "app/station_ports.h"

#include <algorithm>
#include <cctype>

namespace comflash {
namespace {

std::string Trimmed(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

}  // namespace

std::vector<std::string> SplitPortList(const std::string& text) {
    std::vector<std::string> ports;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find(';', from), text.size());
        const std::string port = Trimmed(text.substr(from, end - from));
        if (!port.empty() && std::find(ports.begin(), ports.end(), port) == ports.end())
            ports.push_back(port);
        from = end + 1;
    }
    return ports;
}

std::string JoinPortList(const std::vector<std::string>& ports) {
    std::string text;
    for (const std::string& port : ports) {
        if (port.find(';') != std::string::npos)
            continue;
        text += (text.empty() ? "" : ";") + port;
    }
    return text;
}

}  // namespace comflash
