#include "app/serial_number_list.h"

#include <iterator>
#include <sstream>

namespace comflash {

SerialNumberList ReadSerialNumberList(const std::string& value) {
    if (value.find('\n') == std::string::npos) {
        std::istringstream words(value);
        return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    }
    SerialNumberList numbers;
    std::size_t start = 0;
    for (std::size_t end; (end = value.find('\n', start)) != std::string::npos; start = end + 1) {
        if (end > start)
            numbers.insert(value.substr(start, end - start));
    }
    return numbers;
}

std::string SerialNumberListText(const SerialNumberList& numbers) {
    std::string text;
    for (const auto& number : numbers)
        text += number + '\n';
    return text;
}

}  // namespace comflash
