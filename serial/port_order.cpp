#include "serial/port_order.h"

#include <cstddef>

namespace comflash {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The run of digits at `at`, without its leading zeros.
std::string_view DigitRun(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && IsDigit(text[at]))
        ++at;
    std::string_view run = text.substr(start, at - start);
    while (run.size() > 1 && run.front() == '0')
        run.remove_prefix(1);
    return run;
}

}  // namespace

bool PortNameLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::string_view x = DigitRun(a, i);
            const std::string_view y = DigitRun(b, j);
            // Without leading zeros, the shorter run is the smaller number.
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

}  // namespace comflash
