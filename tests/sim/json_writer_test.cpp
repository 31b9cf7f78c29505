#include "measure/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "sim/json_value.h"

namespace ressona {
namespace {

using testing::JsonReader;
using testing::JsonValue;

TEST(JsonWriterTest, StringsOfAnyBytesStayValidJson) {
    const std::string awkward = std::string("quote \" backslash \\ tab \t newline \n nul ") + '\0' +
                                " bell \a del \x7f" + " e-acute \xC3\xA9 euro \xE2\x82\xAC" +
                                " lone \xFF cut \xE2\x82 overlong \xC0\xAF surrogate \xED\xA0\x80";
    std::ostringstream out;
    JsonWriter json(out);
    json.beginObject();
    json.key("text").value(awkward);
    json.key(awkward).value(true);
    json.endObject();
    const auto parsed = JsonReader::parse(out.str());
    ASSERT_TRUE(parsed) << out.str();
    const std::string& text = (*parsed)["text"].text;
    EXPECT_NE(text.find("quote \" backslash \\ tab \t newline \n nul "), std::string::npos);
    EXPECT_NE(text.find(std::string(1, '\0')), std::string::npos);
    EXPECT_NE(text.find("e-acute \xC3\xA9 euro \xE2\x82\xAC"), std::string::npos) << "kept as is";
    EXPECT_NE(text.find("lone \xEF\xBF\xBD cut \xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(text.find('\xFF'), std::string::npos);
    EXPECT_EQ(text.find("\xC0\xAF"), std::string::npos);
    EXPECT_EQ(text.find("\xED\xA0\x80"), std::string::npos);
    EXPECT_EQ(parsed->members.size(), 2u);
    // Nothing below 0x20 travels unescaped.
    for (char c : out.str()) EXPECT_FALSE(c != '\n' && static_cast<unsigned char>(c) < 0x20);
}

TEST(JsonWriterTest, NumbersAreExactAndNonFiniteOnesAreNull) {
    const float floats[] = {0.1f,
                            -0.0f,
                            1e-30f,
                            3.4028235e38f,
                            65536.0f,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity()};
    std::ostringstream out;
    JsonWriter json(out);
    json.beginObject();
    json.key("floats").array(std::span<const float>(floats));
    json.key("double").value(1.0 / 3.0);
    json.key("minusInfinity").value(-std::numeric_limits<double>::infinity());
    json.key("integer").value(std::int64_t{-9007199254740991});
    json.key("unsigned").value(std::uint32_t{4294967295u});
    json.key("empty");
    json.beginArray();
    json.endArray();
    json.key("nothing");
    json.beginObject();
    json.endObject();
    json.endObject();
    const auto parsed = JsonReader::parse(out.str());
    ASSERT_TRUE(parsed) << out.str();
    const JsonValue& values = (*parsed)["floats"];
    ASSERT_EQ(values.items.size(), 7u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(static_cast<float>(values[i].number), floats[i]) << i << ": round trip";
    }
    EXPECT_TRUE(std::signbit(values[1].number));
    EXPECT_EQ(values[5].kind, JsonValue::Kind::Null);
    EXPECT_EQ(values[6].kind, JsonValue::Kind::Null);
    EXPECT_NE(out.str().find("[0.1, "), std::string::npos) << "shortest form: " << out.str();
    EXPECT_EQ((*parsed)["double"].number, 1.0 / 3.0);
    EXPECT_EQ((*parsed)["minusInfinity"].kind, JsonValue::Kind::Null);
    EXPECT_EQ((*parsed)["integer"].number, -9007199254740991.0);
    EXPECT_EQ((*parsed)["unsigned"].number, 4294967295.0);
    EXPECT_TRUE((*parsed)["empty"].items.empty());
    EXPECT_TRUE((*parsed)["nothing"].members.empty());
}

TEST(JsonWriterTest, TheCheckingReaderRefusesWhatIsNotJson) {
    for (const char* bad : {"", "{", "{\"a\" 1}", "{\"a\":1,}", "[1,]", "01", "1.", "-", "1e",
                            "\"tab\there\"", "nan", "{\"a\":1}{", "{\"a\":1,\"a\":2}", "'a'"}) {
        EXPECT_FALSE(JsonReader::parse(bad)) << bad;
    }
    EXPECT_TRUE(JsonReader::parse(" {\"a\": [1, -0.5e-3, true, null, \"\\u00e9\"]} "));
}

}  // namespace
}  // namespace ressona
