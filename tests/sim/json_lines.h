// Reads the JSON the programs write (the simulator's report, the CLI's
// record and events): one object per line, read with nlohmann/json and
// looked at through a few strict accessors that fail a test loudly instead of
// guessing. Only the library's declarations come in here: its whole header
// would cost every test that reads a report far more to compile than the
// test itself.
#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace comflash::simtest {

class Json {
public:
    using Array = std::vector<Json>;

    static Json Parse(std::string_view text);  // throws std::runtime_error

    bool IsNull() const;
    bool Bool() const;
    long long Int() const;
    std::string String() const;
    Array Items() const;
    // Every integer of an array of numbers.
    std::vector<long long> Ints() const;
    bool Has(std::string_view key) const;
    Json operator[](std::string_view key) const;  // throws when missing
    // The value as the library holds it, for anything the accessors lack.
    const nlohmann::json& Value() const { return *node_; }

private:
    Json(std::shared_ptr<const nlohmann::json> root, const nlohmann::json* node)
        : root_(std::move(root)), node_(node) {}

    // The whole document stays alive as long as any part of it is looked at.
    std::shared_ptr<const nlohmann::json> root_;
    const nlohmann::json* node_;
};

std::vector<Json> ReadJsonLines(const std::filesystem::path& path);

}  // namespace comflash::simtest
