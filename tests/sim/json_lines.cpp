#include "json_lines.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace comflash::simtest {

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    Json ParseDocument() {
        Json value = ParseValue();
        SkipSpace();
        if (at_ != text_.size())
            Fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at " + std::to_string(at_) + " in " +
                                 std::string(text_));
    }
    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t'))
            ++at_;
    }
    bool Take(char c) {
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c))
            Fail(std::string("expected '") + c + "'");
    }
    bool TakeWord(std::string_view word) {
        if (text_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }

    Json ParseValue() {
        SkipSpace();
        if (at_ >= text_.size())
            Fail("missing value");
        Json json;
        const char c = text_[at_];
        if (c == '{') {
            json.value_ = ParseObject();
        } else if (c == '[') {
            json.value_ = ParseArray();
        } else if (c == '"') {
            json.value_ = ParseString();
        } else if (TakeWord("null")) {
        } else if (TakeWord("true")) {
            json.value_ = true;
        } else if (TakeWord("false")) {
            json.value_ = false;
        } else {
            double number = 0;
            const auto [end, error] =
                std::from_chars(text_.data() + at_, text_.data() + text_.size(), number);
            if (error != std::errc{})
                Fail("bad value");
            at_ = static_cast<std::size_t>(end - text_.data());
            json.value_ = number;
        }
        return json;
    }

    std::shared_ptr<Json::Object> ParseObject() {
        auto object = std::make_shared<Json::Object>();
        Expect('{');
        if (Take('}'))
            return object;
        do {
            SkipSpace();
            std::string key = ParseString();
            Expect(':');
            (*object)[key] = ParseValue();
        } while (Take(','));
        Expect('}');
        return object;
    }

    std::shared_ptr<Json::Array> ParseArray() {
        auto array = std::make_shared<Json::Array>();
        Expect('[');
        if (Take(']'))
            return array;
        do {
            array->push_back(ParseValue());
        } while (Take(','));
        Expect(']');
        return array;
    }

    std::string ParseString() {
        Expect('"');
        std::string out;
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c == '\\') {
                if (at_ >= text_.size())
                    Fail("cut escape");
                const char escaped = text_[at_++];
                if (escaped == 'u') {
                    unsigned code = 0;
                    std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
                    at_ += 4;
                    c = static_cast<char>(code);  // the report escapes single bytes only
                } else {
                    c = escaped;
                }
            }
            out += c;
        }
        Expect('"');
        return out;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

Json Json::Parse(std::string_view text) {
    return JsonParser(text).ParseDocument();
}

std::vector<long long> Json::Ints() const {
    std::vector<long long> values;
    for (const Json& item : Items())
        values.push_back(item.Int());
    return values;
}

bool Json::Has(std::string_view key) const {
    const auto& object = *std::get<std::shared_ptr<Object>>(value_);
    return object.find(key) != object.end();
}

const Json& Json::operator[](std::string_view key) const {
    const auto& object = *std::get<std::shared_ptr<Object>>(value_);
    const auto found = object.find(key);
    if (found == object.end())
        throw std::runtime_error("JSON: no field " + std::string(key));
    return found->second;
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
