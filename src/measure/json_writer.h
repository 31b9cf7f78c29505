#pragma once
// Writes one JSON value to a stream, member by member: objects on indented
// lines, arrays on one line. Strings are escaped (control characters as
// \u00XX; bytes that are not UTF-8 become U+FFFD), numbers are written in
// their shortest exact form, and a number that is not finite is written as
// null, which JSON has instead.

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ressona {

class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The next member's name, inside an object.
    JsonWriter& key(std::string_view name);

    void value(std::string_view text);
    void value(const char* text) { value(std::string_view(text)); }
    void value(bool flag);
    void value(std::int64_t number);
    void value(std::int32_t number) { value(static_cast<std::int64_t>(number)); }
    void value(std::uint32_t number) { value(static_cast<std::int64_t>(number)); }
    void value(double number);
    void value(float number);
    void null();

    // An array of numbers in one go.
    template <typename T>
    void array(std::span<const T> numbers) {
        beginArray();
        for (const T& number : numbers) value(number);
        endArray();
    }

  private:
    void separate();
    void newline();

    struct Level {
        bool object = false;
        bool empty = true;
    };
    std::ostream& out_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

// The text as the contents of a JSON string (without the quotes).
std::string jsonEscaped(std::string_view text);

}  // namespace ressona
