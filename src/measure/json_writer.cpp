#include "measure/json_writer.h"

#include <charconv>
#include <cmath>

namespace ressona {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at text[i], or 0 when it is none.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

template <typename T>
void writeNumber(std::ostream& out, T number) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
    if (ec != std::errc()) {
        out << "null";
        return;
    }
    out.write(buffer, end - buffer);
}

}  // namespace

std::string jsonEscaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '"':
                    escaped += "\\\"";
                    break;
                case '\\':
                    escaped += "\\\\";
                    break;
                case '\n':
                    escaped += "\\n";
                    break;
                case '\r':
                    escaped += "\\r";
                    break;
                case '\t':
                    escaped += "\\t";
                    break;
                case '\b':
                    escaped += "\\b";
                    break;
                case '\f':
                    escaped += "\\f";
                    break;
                default:
                    if (c < 0x20 || c == 0x7F) {
                        static constexpr char kHex[] = "0123456789abcdef";
                        escaped += "\\u00";
                        escaped += kHex[c >> 4];
                        escaped += kHex[c & 0xF];
                    } else {
                        escaped += static_cast<char>(c);
                    }
            }
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            escaped += kReplacement;
            ++i;
        } else {
            escaped.append(text.substr(i, length));
            i += length;
        }
    }
    return escaped;
}

void JsonWriter::newline() {
    out_ << '\n';
    for (std::size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

// Writes what comes before a value or a key: a comma after an earlier
// member, and for members of an object their own line.
void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    Level& level = levels_.back();
    if (!level.empty) out_ << (level.object ? "," : ", ");
    if (level.object) newline();
    level.empty = false;
}

void JsonWriter::beginObject() {
    separate();
    out_ << '{';
    levels_.push_back({true, true});
}

void JsonWriter::endObject() {
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) newline();
    out_ << '}';
}

void JsonWriter::beginArray() {
    separate();
    out_ << '[';
    levels_.push_back({false, true});
}

void JsonWriter::endArray() {
    levels_.pop_back();
    out_ << ']';
}

JsonWriter& JsonWriter::key(std::string_view name) {
    separate();
    out_ << '"' << jsonEscaped(name) << "\": ";
    afterKey_ = true;
    return *this;
}

void JsonWriter::value(std::string_view text) {
    separate();
    out_ << '"' << jsonEscaped(text) << '"';
}

void JsonWriter::value(bool flag) {
    separate();
    out_ << (flag ? "true" : "false");
}

void JsonWriter::value(std::int64_t number) {
    separate();
    writeNumber(out_, number);
}

void JsonWriter::value(double number) {
    separate();
    if (!std::isfinite(number)) {
        out_ << "null";
        return;
    }
    writeNumber(out_, number);
}

void JsonWriter::value(float number) {
    separate();
    if (!std::isfinite(number)) {
        out_ << "null";
        return;
    }
    writeNumber(out_, number);
}

void JsonWriter::null() {
    separate();
    out_ << "null";
}

}  // namespace ressona
