#include "core/json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Parses(std::string_view text) {
    bool ok = false;
    JsonParse(text, &ok);
    return ok;
}

std::string Nested(int levels, std::string_view inner = "") {
    return std::string(size_t(levels), '[') + std::string(inner) + std::string(size_t(levels), ']');
}

double NumberOf(std::string_view text) {
    bool ok = false;
    const JsonValue value = JsonParse(text, &ok);
    EXPECT_TRUE(ok) << text;
    EXPECT_EQ(value.type, JsonType::Number) << text;
    return value.number;
}

std::string StringOf(std::string_view text) {
    bool ok = false;
    const JsonValue value = JsonParse(text, &ok);
    EXPECT_TRUE(ok) << text;
    return value.string;
}

}  // namespace

// ---- Grammar ----

TEST(JsonParse, Document_ScalarAtTop_Parses) {
    bool ok = false;
    const JsonValue five = JsonParse("5", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(five.type, JsonType::Number);
    EXPECT_EQ(five.number, 5.0);
    EXPECT_TRUE(Parses("\"text\""));
    EXPECT_TRUE(Parses("null"));
    EXPECT_TRUE(Parses(" \t\r\n{ } \n"));
    EXPECT_TRUE(Parses("\xEF\xBB\xBF{\"a\":1}"));
}

TEST(JsonParse, Document_TrailingGarbage_FailsWithNullValue) {
    bool ok = true;
    const JsonValue value = JsonParse("5 x", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(value.type, JsonType::Null);
    EXPECT_FALSE(Parses("{} {}"));
    EXPECT_FALSE(Parses("truex"));
    EXPECT_FALSE(Parses(""));
    EXPECT_FALSE(Parses("   "));
    // A byte-order mark only counts at the very start.
    EXPECT_FALSE(Parses(" \xEF\xBB\xBF{}"));
}

TEST(JsonParse, Blanks_OnlySpaceTabCrLf_Count) {
    EXPECT_FALSE(Parses("[1,\f2]"));
    EXPECT_FALSE(Parses("[1,\v2]"));
    EXPECT_FALSE(Parses("\f5"));
    EXPECT_TRUE(Parses("[ 1 ,\t2\r\n]"));
}

TEST(JsonParse, Containers_EmptyAndTrailingComma) {
    bool ok = false;
    EXPECT_EQ(JsonParse("[]", &ok).type, JsonType::Array);
    EXPECT_TRUE(ok);
    EXPECT_EQ(JsonParse("{}", &ok).type, JsonType::Object);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(Parses("[1,]"));
    EXPECT_FALSE(Parses("{\"a\":1,}"));
    EXPECT_FALSE(Parses("[,]"));
    EXPECT_FALSE(Parses("[1 2]"));
    EXPECT_FALSE(Parses("{\"a\" 1}"));
    EXPECT_FALSE(Parses("{a:1}"));
    EXPECT_FALSE(Parses("[1"));
    EXPECT_FALSE(Parses("{\"a\":"));
}

TEST(JsonParse, Literals_MustBeSpelledOut) {
    bool ok = false;
    const JsonValue value = JsonParse("[true,false,null]", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(value.array.size(), 3u);
    EXPECT_EQ(value.array[0].type, JsonType::Boolean);
    EXPECT_EQ(value.array[0].boolean, 1);
    EXPECT_EQ(value.array[1].boolean, 0);
    EXPECT_EQ(value.array[2].type, JsonType::Null);
    EXPECT_FALSE(Parses("tru"));
    EXPECT_FALSE(Parses("nul"));
    EXPECT_FALSE(Parses("True"));
}

TEST(JsonParse, Object_MembersInOrderWithDuplicates) {
    bool ok = false;
    const JsonValue doc = JsonParse(R"({"b":1,"a":{"x":[1,"two"]},"b":2})", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(doc.object.size(), 3u);
    EXPECT_EQ(doc.object[0].first, "b");
    EXPECT_EQ(doc.object[1].first, "a");
    EXPECT_EQ(doc.object[2].second.number, 2.0);
    EXPECT_EQ(doc.Find("b").number, 1.0);
    EXPECT_EQ(doc.Find("a").Find("x").array[1].string, "two");
}

TEST(JsonValue, Find_MissingKeyOrNotObject_GivesSharedNull) {
    const JsonValue doc = JsonParse(R"({"Key":1,"list":[1]})");
    EXPECT_EQ(doc.Find("key").type, JsonType::Null);   // byte comparison, case counts
    EXPECT_EQ(doc.Find("list").Find("0").type, JsonType::Null);
    EXPECT_EQ(&doc.Find("nope"), &doc.Find("Key").Find("x"));
    EXPECT_EQ(doc.Find("nope").Find("deeper").AsString("none"), "none");
}

TEST(JsonValue, Copy_IsDeep) {
    JsonValue original = JsonParse(R"({"a":[1,2]})");
    JsonValue copy = original;
    original.object[0].second.array.clear();
    EXPECT_EQ(copy.Find("a").array.size(), 2u);
}

// ---- Depth ----

TEST(JsonParse, Depth_257LevelsParse_258Fail) {
    EXPECT_TRUE(Parses(Nested(257)));
    EXPECT_FALSE(Parses(Nested(258)));
    EXPECT_TRUE(Parses(Nested(256, "1")));
    EXPECT_FALSE(Parses(Nested(257, "1")));
    std::string objects;
    for (int i = 0; i < 256; ++i) objects += "{\"k\":";
    const std::string closing(256, '}');
    EXPECT_TRUE(Parses(objects + "{}" + closing));
    EXPECT_FALSE(Parses(objects + "{\"k\":1}" + closing));
}

TEST(JsonParse, Depth_VeryDeepInput_FailsWithoutCrash) {
    EXPECT_FALSE(Parses(Nested(100000)));
    EXPECT_FALSE(Parses(std::string(100000, '[')));
}

// ---- Strings ----

TEST(JsonParse, String_Escapes_Decoded) {
    EXPECT_EQ(StringOf(R"("a\"b\/c\\d\b\f\n\r\t")"), "a\"b/c\\d\b\f\n\r\t");
    EXPECT_EQ(StringOf(R"("\u0041\u00e9\u20AC")"), "A\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(StringOf(R"("\u0000")"), std::string(1, '\0'));
}

TEST(JsonParse, String_RawBytes_CopiedUnchanged) {
    EXPECT_EQ(StringOf("\"tab\there\x01\xFF\""), "tab\there\x01\xFF");
}

TEST(JsonParse, String_BadEscapeOrUnterminated_Fails) {
    EXPECT_FALSE(Parses(R"("\x41")"));
    EXPECT_FALSE(Parses(R"("\u12")"));
    EXPECT_FALSE(Parses(R"("\u12G4")"));
    EXPECT_FALSE(Parses(R"("\)"));
    EXPECT_FALSE(Parses("\"open"));
    EXPECT_FALSE(Parses("\"ends in escape\\"));
}

TEST(JsonParse, Surrogates_RealPair_CombinedIntoOneCodePoint) {
    EXPECT_EQ(StringOf(R"("\uD83D\uDE00")"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(StringOf(R"("\udbff\udfff")"), "\xF4\x8F\xBF\xBF");
}

TEST(JsonParse, Surrogates_HighWithoutLow_EachCodeEncodedAlone) {
    // High followed by a non-surrogate: both kept as they are, the second not swallowed.
    EXPECT_EQ(StringOf(R"("\uD83D\u0041")"), "\xED\xA0\xBD" "A");
    // Two high surrogates: neither is a pair.
    EXPECT_EQ(StringOf(R"("\uD83D\uD83D\uDE00")"), "\xED\xA0\xBD\xF0\x9F\x98\x80");
    // High at the end of the string, or followed by plain text.
    EXPECT_EQ(StringOf(R"("\uD83D")"), "\xED\xA0\xBD");
    EXPECT_EQ(StringOf(R"("\uD83Dx")"), "\xED\xA0\xBD" "x");
    // A lone low surrogate.
    EXPECT_EQ(StringOf(R"("\uDE00")"), "\xED\xB8\x80");
    // A broken escape after a high surrogate still fails the parse.
    EXPECT_FALSE(Parses(R"("\uD83D\uZZZZ")"));
}

// ---- Numbers ----

TEST(JsonParse, Number_ValidForms) {
    EXPECT_EQ(NumberOf("1e5"), 100000.0);
    EXPECT_EQ(NumberOf("-0.5"), -0.5);
    EXPECT_EQ(NumberOf("01"), 1.0);
    EXPECT_EQ(NumberOf("2.5E-3"), 0.0025);
    EXPECT_EQ(NumberOf("12345678901234567890"), 12345678901234567890.0);
}

TEST(JsonParse, Number_MalformedRun_TakesValidBeginning) {
    EXPECT_EQ(NumberOf("1-2"), 1.0);
    EXPECT_EQ(NumberOf("-"), 0.0);
    EXPECT_EQ(NumberOf("1e"), 1.0);
    EXPECT_EQ(NumberOf("1.2.3"), 1.2);
    EXPECT_FALSE(Parses("+1"));
    EXPECT_FALSE(Parses(".5"));
}

TEST(JsonParse, Number_ReadOnlyFromItsOwnRun) {
    // strtod would read hexadecimal and infinity; the run stops at the first other character.
    EXPECT_FALSE(Parses("0x1A"));
    EXPECT_FALSE(Parses("-inf"));
    EXPECT_FALSE(Parses("-nan"));
    bool ok = false;
    const JsonValue list = JsonParse("[0x1A]", &ok);
    EXPECT_FALSE(ok);
    const JsonValue pair = JsonParse("[1,2e1]", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(pair.array[1].number, 20.0);
}

// ---- AsString ----

TEST(JsonValue, AsString_Numbers) {
    EXPECT_EQ(JsonParse("3.0").AsString(), "3");
    EXPECT_EQ(JsonParse("2.5").AsString(), "2.5");
    EXPECT_EQ(JsonParse("-7").AsString(), "-7");
    EXPECT_EQ(JsonParse("1e20").AsString(), "1e+20");
    EXPECT_EQ(JsonParse("0.1234567").AsString(), "0.123457");
    EXPECT_EQ(JsonParse("9007199254740993").AsString(), "9007199254740992");
}

TEST(JsonValue, AsString_OutOfInt64Range_NeverCastToInteger) {
    // 2^63 is just out of range, -2^63 just inside.
    EXPECT_EQ(JsonParse("9223372036854775808").AsString(), "9.22337e+18");
    EXPECT_EQ(JsonParse("-9223372036854775808").AsString(), "-9223372036854775808");
    EXPECT_EQ(JsonParse("-1e300").AsString(), "-1e+300");
    EXPECT_EQ(JsonParse("1e999").AsString(), "inf");
    EXPECT_EQ(JsonParse("-1e999").AsString(), "-inf");
}

TEST(JsonValue, AsString_OtherTypes) {
    EXPECT_EQ(JsonParse("true").AsString(), "true");
    EXPECT_EQ(JsonParse("false").AsString("x"), "false");
    EXPECT_EQ(JsonParse("\"8.4.1\"").AsString(), "8.4.1");
    EXPECT_EQ(JsonParse("[1]").AsString("default"), "default");
    EXPECT_EQ(JsonParse("{}").AsString("default"), "default");
    EXPECT_EQ(JsonParse("null").AsString("default"), "default");
}
