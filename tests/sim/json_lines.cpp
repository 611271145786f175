#include "json_lines.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace comflash::simtest {

Json Json::Parse(std::string_view text) {
    try {
        auto root = std::make_shared<const nlohmann::json>(nlohmann::json::parse(text));
        const nlohmann::json* node = root.get();
        return Json(std::move(root), node);
    } catch (const nlohmann::json::parse_error& error) {
        throw std::runtime_error("JSON: " + std::string(error.what()) + " in " + std::string(text));
    }
}

bool Json::IsNull() const {
    return node_->is_null();
}
bool Json::Bool() const {
    return node_->get<bool>();
}
long long Json::Int() const {
    return node_->get<long long>();
}
std::string Json::String() const {
    return node_->get<std::string>();
}
std::vector<long long> Json::Ints() const {
    return node_->get<std::vector<long long>>();
}
bool Json::Has(std::string_view key) const {
    return node_->contains(key);
}

Json::Array Json::Items() const {
    Array items;
    for (const nlohmann::json& item : node_->get_ref<const nlohmann::json::array_t&>())
        items.push_back(Json(root_, &item));
    return items;
}

Json Json::operator[](std::string_view key) const {
    const auto found = node_->find(key);
    if (found == node_->end())
        throw std::runtime_error("JSON: no field " + std::string(key) + " in " + node_->dump());
    return Json(root_, &*found);
}

std::vector<Json> ReadJsonLines(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::vector<Json> lines;
    std::string line;
    // A line still being written has no newline yet: it is left for later.
    while (std::getline(file, line) && !file.eof()) {
        if (!line.empty())
            lines.push_back(Json::Parse(line));
    }
    return lines;
}

}  // namespace comflash::simtest
