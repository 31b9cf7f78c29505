#pragma once
// A small strict JSON reader for checking what the measurer prints: the
// whole grammar (objects, arrays, strings with every escape, numbers, true,
// false, null), nothing accepted beyond it, and no trailing text.

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ressona::testing {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool flag = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    bool has(const std::string& name) const { return members.count(name) != 0; }
    const JsonValue& operator[](const std::string& name) const { return members.at(name); }
    const JsonValue& operator[](std::size_t index) const { return items.at(index); }
    std::vector<double> numbers() const {
        std::vector<double> values;
        for (const JsonValue& item : items) values.push_back(item.number);
        return values;
    }
};

class JsonReader {
  public:
    // The value the text holds, or nothing when the text is not exactly one JSON value.
    static std::optional<JsonValue> parse(std::string_view text) {
        JsonReader reader(text);
        JsonValue value;
        if (!reader.readValue(value, 0)) return std::nullopt;
        reader.skipSpace();
        if (reader.at_ != text.size()) return std::nullopt;
        return value;
    }

  private:
    explicit JsonReader(std::string_view text) : text_(text) {}

    void skipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' ||
                                      text_[at_] == '\r' || text_[at_] == '\t')) {
            ++at_;
        }
    }
    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool readValue(JsonValue& value, int depth) {
        if (depth > 64) return false;
        skipSpace();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '{') return readObject(value, depth);
        if (c == '[') return readArray(value, depth);
        if (c == '"') {
            value.kind = JsonValue::Kind::String;
            return readString(value.text);
        }
        if (literal("true")) return value.kind = JsonValue::Kind::Bool, value.flag = true, true;
        if (literal("false")) return value.kind = JsonValue::Kind::Bool, true;
        if (literal("null")) return value.kind = JsonValue::Kind::Null, true;
        return readNumber(value);
    }
    bool readObject(JsonValue& value, int depth) {
        value.kind = JsonValue::Kind::Object;
        ++at_;
        skipSpace();
        if (literal("}")) return true;
        for (;;) {
            skipSpace();
            std::string name;
            if (at_ >= text_.size() || text_[at_] != '"' || !readString(name)) return false;
            skipSpace();
            if (!literal(":")) return false;
            JsonValue member;
            if (!readValue(member, depth + 1)) return false;
            if (!value.members.emplace(name, std::move(member)).second) return false;  // no repeats
            skipSpace();
            if (literal("}")) return true;
            if (!literal(",")) return false;
        }
    }
    bool readArray(JsonValue& value, int depth) {
        value.kind = JsonValue::Kind::Array;
        ++at_;
        skipSpace();
        if (literal("]")) return true;
        for (;;) {
            JsonValue item;
            if (!readValue(item, depth + 1)) return false;
            value.items.push_back(std::move(item));
            skipSpace();
            if (literal("]")) return true;
            if (!literal(",")) return false;
        }
    }
    static int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    static void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool readString(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;  // control characters must be escaped
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char e = text_[at_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (at_ + 4 > text_.size()) return false;
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int d = hexDigit(text_[at_++]);
                        if (d < 0) return false;
                        code = code * 16 + static_cast<unsigned>(d);
                    }
                    appendUtf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool readNumber(JsonValue& value) {
        const std::size_t start = at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ - from;
        };
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        const std::size_t intStart = at_;
        const std::size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && text_[intStart] == '0')) return false;
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (digits() == 0) return false;
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (digits() == 0) return false;
        }
        value.kind = JsonValue::Kind::Number;
        value.number = std::strtod(std::string(text_.substr(start, at_ - start)).c_str(), nullptr);
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace ressona::testing
