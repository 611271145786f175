// Reads the JSON the programs write (the simulator's report, the CLI's
// record and events): one object per line, read with nlohmann/json and
// looked at through a few strict accessors that fail a test loudly instead of
// guessing.
#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace comflash::simtest {

class Json {
public:
    using Array = std::vector<Json>;

    static Json Parse(std::string_view text);  // throws std::runtime_error

    bool IsNull() const { return node_->is_null(); }
    bool Bool() const { return node_->get<bool>(); }
    long long Int() const { return node_->get<long long>(); }
    std::string String() const { return node_->get<std::string>(); }
    Array Items() const;
    // Every integer of an array of numbers.
    std::vector<long long> Ints() const { return node_->get<std::vector<long long>>(); }
    bool Has(std::string_view key) const { return node_->contains(key); }
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
