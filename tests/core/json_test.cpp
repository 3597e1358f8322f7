#include "core/json.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Parses each text and expects the outcome; a failed parse must also give a null value.
void ExpectOutcomes(const std::vector<std::pair<std::string, bool>>& cases) {
    for (const auto& [text, wanted] : cases) {
        bool ok = !wanted;
        const JsonValue value = JsonParse(text, &ok);
        EXPECT_EQ(ok, wanted) << "text: " << text;
        EXPECT_TRUE(wanted || value.type == JsonType::Null) << "value kept after failure: " << text;
    }
}

std::string Nested(int levels, std::string_view inner = "") {
    return std::string(size_t(levels), '[') + std::string(inner) + std::string(size_t(levels), ']');
}

}  // namespace

TEST(JsonParse, Grammar_OneValueBetweenBlanks_BrokenStructureFails) {
    ExpectOutcomes({
        {"5", true}, {"\"text\"", true}, {"null", true}, {" \t\r\n{ } \n", true}, {"\xEF\xBB\xBF{\"a\":1}", true},
        {"[ 1 ,\t2\r\n]", true}, {"[]", true},
        {"5 x", false}, {"{} {}", false}, {"truex", false}, {"", false}, {"   ", false},
        {" \xEF\xBB\xBF{}", false},                               // a byte-order mark only counts at the start
        {"[1,\f2]", false}, {"[1,\v2]", false}, {"\f5", false},   // blanks are space, tab, CR, LF only
        {"[1,]", false}, {"{\"a\":1,}", false}, {"[,]", false}, {"[1 2]", false}, {"{\"a\" 1}", false},
        {"{a:1}", false}, {"[1", false}, {"{\"a\":", false}, {"tru", false}, {"nul", false}, {"True", false},
    });
}

TEST(JsonParse, Values_TypesOrderAndDuplicateMembersKept_FindGivesSharedNull) {
    bool ok = false;
    const JsonValue doc = JsonParse(R"({"b":1,"a":{"x":[true,false,null,"two"]},"b":2})", &ok);
    ASSERT_TRUE(ok && doc.object.size() == 3u);
    EXPECT_TRUE(doc.object[1].first == "a" && doc.object[2].second.number == 2.0);
    EXPECT_EQ(doc.Find("b").number, 1.0);   // the first of a duplicated key
    const std::vector<JsonValue>& list = doc.Find("a").Find("x").array;
    ASSERT_EQ(list.size(), 4u);
    EXPECT_TRUE(list[0].type == JsonType::Boolean && list[0].boolean && !list[1].boolean);
    EXPECT_TRUE(list[2].type == JsonType::Null && list[3].string == "two");
    EXPECT_EQ(doc.Find("B").type, JsonType::Null);   // byte comparison, case counts
    EXPECT_EQ(&doc.Find("nope"), &doc.Find("a").Find("x").Find("y"));
    EXPECT_EQ(doc.Find("nope").Find("deeper").AsString("none"), "none");
}

TEST(JsonParse, Depth_257LevelsParse_DeeperFailsWithoutCrash) {
    std::string objects;
    for (int i = 0; i < 256; ++i) objects += "{\"k\":";
    const std::string closing(256, '}');
    ExpectOutcomes({
        {Nested(257), true}, {Nested(258), false}, {Nested(256, "1"), true}, {Nested(257, "1"), false},
        {objects + "{}" + closing, true}, {objects + "{\"k\":1}" + closing, false},
        {Nested(100000), false}, {std::string(100000, '['), false},
    });
}

TEST(JsonParse, String_EscapesAndSurrogatesDecoded_UnpairedCodesAlone_RawBytesKept) {
    const std::pair<std::string, std::string> cases[] = {
        {R"("a\"b\/c\\d\b\f\n\r\t")", "a\"b/c\\d\b\f\n\r\t"}, {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
        {R"("\u0000")", std::string(1, '\0')}, {"\"tab\there\x01\xFF\"", "tab\there\x01\xFF"},
        {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"}, {R"("\udbff\udfff")", "\xF4\x8F\xBF\xBF"},
        // A high surrogate without its low one: the next escape is not swallowed.
        {R"("\uD83D\u0041")", "\xED\xA0\xBD" "A"}, {R"("\uD83D\uD83D\uDE00")", "\xED\xA0\xBD\xF0\x9F\x98\x80"},
        {R"("\uD83D")", "\xED\xA0\xBD"}, {R"("\uDE00")", "\xED\xB8\x80"},
    };
    for (const auto& [text, decoded] : cases) {
        bool ok = false;
        EXPECT_TRUE(JsonParse(text, &ok).string == decoded && ok) << "text: " << text;
    }
    ExpectOutcomes({{R"("\x41")", false}, {R"("\u12")", false}, {R"("\u12G4")", false}, {R"("\)", false},
                    {"\"open", false}, {"\"ends in escape\\", false}, {R"("\uD83D\uZZZZ")", false}});
}

TEST(JsonParse, Number_ValidBeginningOfTheRunTaken) {
    const std::pair<const char*, double> cases[] = {
        {"1e5", 100000.0}, {"-0.5", -0.5}, {"01", 1.0}, {"2.5E-3", 0.0025}, {"12345678901234567890", 12345678901234567890.0},
        {"1-2", 1.0}, {"-", 0.0}, {"1e", 1.0}, {"1.2.3", 1.2},
    };
    for (const auto& [text, number] : cases) {
        bool ok = false;
        const JsonValue value = JsonParse(text, &ok);
        EXPECT_TRUE(ok && value.type == JsonType::Number && value.number == number) << "text: " << text;
    }
    EXPECT_EQ(JsonParse("[1,2e1]").array.at(1).number, 20.0);
    // strtod alone would read hexadecimal and infinity: the run stops at the first other character.
    ExpectOutcomes({{"+1", false}, {".5", false}, {"0x1A", false}, {"[0x1A]", false}, {"-inf", false}, {"-nan", false}});
}

TEST(JsonValue, AsString_EachType_FormattedOrDefault) {
    const std::pair<const char*, const char*> cases[] = {
        {"3.0", "3"}, {"2.5", "2.5"}, {"-7", "-7"}, {"1e20", "1e+20"}, {"0.1234567", "0.123457"},
        {"9007199254740993", "9007199254740992"},
        // 2^63 is just out of the integer range, -2^63 just inside; no cast outside it.
        {"9223372036854775808", "9.22337e+18"}, {"-9223372036854775808", "-9223372036854775808"},
        {"1e999", "inf"}, {"-1e999", "-inf"}, {"true", "true"}, {"false", "false"}, {"\"8.4.1\"", "8.4.1"},
        {"[1]", "default"}, {"{}", "default"}, {"null", "default"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(JsonParse(text).AsString("default"), shown) << "text: " << text;
}
