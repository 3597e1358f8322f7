#include "core/text.h"

#include <gtest/gtest.h>

#include "core/translate.h"

using Lines = std::vector<std::string>;

TEST(Text, CaseHelpers_FoldAsciiOnly) {
    EXPECT_EQ(ToLower("ABC-xyz \xC3\x89"), "abc-xyz \xC3\x89");   // É stays as it is
    EXPECT_TRUE(EqualsIgnoreCase("Apache2.4", "apache2.4") && StartsWithIgnoreCase("LoadModule x", "loadmodule") &&
                ContainsIgnoreCase("Server ERROR here", "error"));
    EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd") || StartsWith("httpd", "httpd.conf") || EndsWith("ini", "php.ini") ||
                 ContainsIgnoreCase("ab", "abc"));
}

TEST(Text, Shaping_TrimSplitJoinReplace) {
    EXPECT_EQ(Trim(" \t\r\nvalue \r\n"), "value");
    EXPECT_EQ(Trim("\vx\f"), "\vx\f");   // space, tab, CR and LF only
    EXPECT_EQ(Split("a..b.", '.'), (Lines{"a", "", "b", ""}));
    EXPECT_EQ(Join({"a", "b", "c"}, ", "), "a, b, c");
    std::string text = "a-a-a";
    ReplaceAllInPlace(text, "a", "aa");   // the inserted text is not searched again
    EXPECT_EQ(text, "aa-aa-aa");
    EXPECT_EQ(Format("%s=%.1f", "x", 1.25), "x=1.2");
    EXPECT_EQ(Format("%s", std::string(5000, 'x').c_str()).size(), 5000u);
}

TEST(Text, SplitLines_FoldsCrLfAndDropsEmptyTail) {
    const std::pair<const char*, Lines> cases[] = {
        {"a\r\nb", {"a", "b"}}, {"a\nb\n", {"a", "b"}}, {"", {}}, {"a\n\n\nb", {"a", "", "", "b"}},
        {"a\nb\r", {"a", "b"}}, {"\n", {""}}, {"a\r\r\n", {"a\r"}},   // only the CR just before the LF goes
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLines(text), lines) << testing::PrintToString(text);
}

TEST(Text, SplitLinesAnyEnd_CrLfLfOrLoneCr) {
    const std::pair<const char*, Lines> cases[] = {
        {"a\rb\rc\r", {"a", "b", "c"}}, {"a\r\nb\nc", {"a", "b", "c"}}, {"a\r\r\nb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}}, {"", {}}, {"\r", {""}}, {"a\r\n\r\n", {"a", ""}},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLinesAnyEnd(text), lines) << testing::PrintToString(text);
}

TEST(Text, TextFileToUtf8_ByteOrderMarksOfUtf8AndUtf16) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"\xEF\xBB\xBFK = \xC3\xA9", "K = \xC3\xA9"},
        {"\xFF\xFEK\0=\0\xE9\0\r\0\n\0"s, "K=\xC3\xA9\r\n"},      // little endian, é
        {"\xFE\xFF\0K\0=\x20\xAC\xD8\x3D\xDE\x00"s, "K=\xE2\x82\xAC\xF0\x9F\x98\x80"},  // big endian, € and a pair
        {"\xFF\xFEK\0="s, "K"},   // an odd last byte is half a character
        {"K\0=\0"s, "K\0=\0"s},  // without a mark nothing is guessed
        {"\xFF\xFE", ""},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(TextFileToUtf8(bytes), text) << testing::PrintToString(bytes);
}

TEST(Text, PercentEncode_AllButUnreservedBytes) {
    EXPECT_EQ(PercentEncode("Az09-._~"), "Az09-._~");
    EXPECT_EQ(PercentEncode("my shop #2 100%/a+b?"), "my%20shop%20%232%20100%25%2Fa%2Bb%3F");
    EXPECT_EQ(PercentEncode("caf\xC3\xA9"), "caf%C3%A9");
}

TEST(Text, Versions_ExtractedPartsComparedNumerically) {
    const std::pair<const char*, const char*> extracted[] = {
        {"httpd-2.4.62-win64-VS17", "2.4.62"}, {"php-8.3.0RC1", "8.3.0"}, {"build 11 only", ""},
        {"version 1.2.", "1.2"}, {"1.2.3.4.5", "1.2.3.4.5"}, {"vs17 mariadb-11.4.2", "11.4.2"}};
    for (const auto& [text, version] : extracted) EXPECT_EQ(ExtractVersion(text), version) << text;
    EXPECT_EQ(ParseVersionParts("1..2_3-4,5RC1"), (std::vector<uint64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(ParseVersionParts("99999999999999999999999.1"), (std::vector<uint64_t>{UINT64_MAX, 1}));
    const std::tuple<const char*, const char*, int> compared[] = {
        {"8.4.10", "8.4.9", 1}, {"8.4", "8.4.0", 0}, {"8", "8.0", -1},   // a lone number is no version
        {"10.1", "9.9", 1}, {"php-8.3.0RC1", "8.3.0", 0}, {"none", "nothing", 0},
        {"httpd-2.4.9", "httpd-2.4.62", -1}, {"99999999999999999999999.1", "18446744073709551615.0", 1}};
    for (const auto& [a, b, order] : compared) EXPECT_EQ(CompareVersions(a, b), order) << a << " " << b;
    EXPECT_EQ(VersionMajorMinor("8.4.10") + "|" + VersionMajorMinor("8"), "8.4|8");
}

TEST(Text, ExpandMacros_NoReexpansionOfOwnValue) {
    EXPECT_EQ(ExpandMacros("{A}{UNKNOWN}{A}{a}", {{"A", "{A}{A}"}}), "{A}{A}{UNKNOWN}{A}{A}{a}");
    // A value inserted by an earlier name is searched by later names, not the other way round.
    EXPECT_EQ(ExpandMacros("{A}", {{"A", "{B}"}, {"B", "b"}}), "b");
    EXPECT_EQ(ExpandMacros("{B}", {{"A", "a"}, {"B", "{A}"}}), "{A}");
}

TEST(Text, FormatSize_EnglishAndFrenchUnits) {
    SetLanguage("en");
    for (const auto& [bytes, text] : {std::pair{0ull, "0 B"}, {1023ull, "1023 B"}, {1024ull, "1.0 KB"},
                                      {1536ull, "1.5 KB"}, {5ull << 30, "5.0 GB"}, {1ull << 50, "1024.0 TB"}})
        EXPECT_EQ(FormatSize(bytes), text);
    SetLanguage("fr");
    EXPECT_EQ(FormatSize(0) + "|" + FormatSize(3ull << 20), "0 o|3.0 Mo");
    SetLanguage("en");
}

TEST(Text, CharacterClasses_BlankSpaceLineBreakAndFolding) {
    const struct { char c; bool blank, space, lineBreak; } cases[] = {
        {' ', true, true, false},   {'\t', true, true, false}, {'\r', true, true, true}, {'\n', true, true, true},
        {'\v', false, true, false}, {'\f', false, true, false}, {'a', false, false, false}, {'\xA0', false, false, false},
    };
    for (const auto& row : cases)
        EXPECT_TRUE(IsBlank(row.c) == row.blank && IsSpace(row.c) == row.space && IsLineBreak(row.c) == row.lineBreak)
            << int(uint8_t(row.c));
    EXPECT_TRUE(HasLineBreak("a\rb") && !HasLineBreak("a\v\fb"));
    EXPECT_TRUE(SkipSpaces(" \t\v\fx ", 0) == 4u && SkipSpaces("x  ", 1) == 3u);
    const std::string folded{FoldAscii('A'), FoldAscii('Z'), FoldAscii('z'), FoldAscii('@'), FoldAscii('\xC9')};
    EXPECT_EQ(folded, "azz@\xC9");
}
