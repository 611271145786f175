// Reads the simulator's report: one JSON object per line.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace comflash::simtest {

class Json {
public:
    using Array = std::vector<Json>;
    using Object = std::map<std::string, Json, std::less<>>;

    static Json Parse(std::string_view text);  // throws std::runtime_error

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool Bool() const { return std::get<bool>(value_); }
    long long Int() const { return static_cast<long long>(std::get<double>(value_)); }
    const std::string& String() const { return std::get<std::string>(value_); }
    const Array& Items() const { return *std::get<std::shared_ptr<Array>>(value_); }
    // Every integer of an array of numbers.
    std::vector<long long> Ints() const;
    bool Has(std::string_view key) const;
    const Json& operator[](std::string_view key) const;  // throws when missing

private:
    friend class JsonParser;
    std::variant<std::monostate, bool, double, std::string, std::shared_ptr<Array>,
                 std::shared_ptr<Object>>
        value_;
};

std::vector<Json> ReadJsonLines(const std::filesystem::path& path);

}  // namespace comflash::simtest
