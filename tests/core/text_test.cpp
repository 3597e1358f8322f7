#include "core/text.h"

#include <gtest/gtest.h>

#include "core/translate.h"

using Lines = std::vector<std::string>;

TEST(Text, CaseHelpers_FoldAsciiOnly) {
    EXPECT_EQ(ToLower("ABC-xyz \xC3\x89"), "abc-xyz \xC3\x89");  // É stays as it is
    EXPECT_TRUE(EqualsIgnoreCase("Apache2.4", "apache2.4"));
    EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
    EXPECT_TRUE(StartsWith("httpd.conf", ""));
    EXPECT_FALSE(StartsWith("httpd", "httpd.conf"));
    EXPECT_TRUE(StartsWithIgnoreCase("LoadModule x", "loadmodule"));
    EXPECT_TRUE(EndsWith("php.ini-development", "-development"));
    EXPECT_FALSE(EndsWith("ini", "php.ini"));
    EXPECT_TRUE(ContainsIgnoreCase("Server ERROR here", "error"));
    EXPECT_TRUE(ContainsIgnoreCase("abc", ""));
    EXPECT_FALSE(ContainsIgnoreCase("ab", "abc"));
}

TEST(Text, Trim_StripsOnlySpaceTabCrLf) {
    EXPECT_EQ(Trim(" \t\r\nvalue \r\n"), "value");
    EXPECT_EQ(Trim(" \t \r\n"), "");
    EXPECT_EQ(Trim("\vx\f"), "\vx\f");
}

TEST(Text, Split_KeepsEmptyPieces) {
    EXPECT_EQ(Split("", '.'), Lines{""});
    EXPECT_EQ(Split("a.", '.'), (Lines{"a", ""}));
    EXPECT_EQ(Split("a..b", '.'), (Lines{"a", "", "b"}));
    EXPECT_EQ(Split(".", '.'), (Lines{"", ""}));
}

TEST(Text, SplitLines_FoldsCrLfAndDropsEmptyTail) {
    EXPECT_EQ(SplitLines("a\r\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\n\n\nb"), (Lines{"a", "", "", "b"}));
    EXPECT_EQ(SplitLines("a\nb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("\n"), Lines{""});
    EXPECT_EQ(SplitLines("a\r\r\n"), (Lines{"a\r"}));  // only the CR just before the LF goes
}

TEST(Text, JoinAndReplace) {
    EXPECT_EQ(Join({}, ", "), "");
    EXPECT_EQ(Join({"a", "b", "c"}, ", "), "a, b, c");
    std::string text = "a-a-a";
    ReplaceAllInPlace(text, "a", "aa");  // the inserted text is not searched again
    EXPECT_EQ(text, "aa-aa-aa");
    ReplaceAllInPlace(text, "", "x");
    EXPECT_EQ(text, "aa-aa-aa");
    EXPECT_EQ(ToForwardSlashes("C:\\a\\b"), "C:/a/b");
}

TEST(Text, Format_PrintsWithDotDecimal) {
    EXPECT_EQ(Format("%s=%d", "port", 8080), "port=8080");
    EXPECT_EQ(Format("%.1f", 1.25), "1.2");
    EXPECT_EQ(Format("%s", std::string(5000, 'x').c_str()).size(), 5000u);
    EXPECT_EQ(Format("%s", ""), "");
}

TEST(Text, Utf8WideRoundTrip) {
    const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ(Utf8ToWide(text), std::wstring(L"caf\u00E9 \u20AC \U0001F600"));
    EXPECT_EQ(WideToUtf8(Utf8ToWide(text)), text);
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\uFFFDb");  // invalid input becomes the replacement character
}

TEST(Text, ExtractVersion_FirstDottedNumber) {
    EXPECT_EQ(ExtractVersion("httpd-2.4.62-win64-VS17"), "2.4.62");
    EXPECT_EQ(ExtractVersion("php-8.3.0RC1"), "8.3.0");
    EXPECT_EQ(ExtractVersion("build 11 only"), "");
    EXPECT_EQ(ExtractVersion("version 1.2."), "1.2");
    EXPECT_EQ(ExtractVersion("abc"), "");
    EXPECT_EQ(ExtractVersion("1.2.3.4.5"), "1.2.3.4.5");
    EXPECT_EQ(ExtractVersion("vs17 mariadb-11.4.2"), "11.4.2");
}

TEST(Text, ParseVersionParts_SeparatorsAndStop) {
    EXPECT_EQ(ParseVersionParts("2.4.62"), (std::vector<uint64_t>{2, 4, 62}));
    EXPECT_EQ(ParseVersionParts("1..2"), (std::vector<uint64_t>{1, 2}));
    EXPECT_EQ(ParseVersionParts("8.3.0RC1"), (std::vector<uint64_t>{8, 3, 0}));
    EXPECT_EQ(ParseVersionParts("1_2-3,4"), (std::vector<uint64_t>{1, 2, 3, 4}));
    EXPECT_TRUE(ParseVersionParts("").empty());
    EXPECT_EQ(ParseVersionParts("99999999999999999999999.1"), (std::vector<uint64_t>{UINT64_MAX, 1}));
    EXPECT_EQ(CompareVersions("99999999999999999999999.1", "18446744073709551615.0"), 1);
}

TEST(Text, CompareVersions_NumericWithMissingPartsAsZero) {
    EXPECT_EQ(CompareVersions("8.4.10", "8.4.9"), 1);
    EXPECT_EQ(CompareVersions("8.4", "8.4.0"), 0);
    EXPECT_EQ(CompareVersions("8", "8.0"), -1);  // a lone number is no version
    EXPECT_EQ(CompareVersions("10.1", "9.9"), 1);
    EXPECT_EQ(CompareVersions("8", "0.1"), -1);
    EXPECT_EQ(CompareVersions("php-8.3.0RC1", "8.3.0"), 0);
    EXPECT_EQ(CompareVersions("none", "nothing"), 0);
    EXPECT_EQ(CompareVersions("httpd-2.4.9", "httpd-2.4.62"), -1);
}

TEST(Text, VersionMajorMinor) {
    EXPECT_EQ(VersionMajorMinor("8.4.10"), "8.4");
    EXPECT_EQ(VersionMajorMinor("8"), "8");
    EXPECT_EQ(VersionMajorMinor("8.4"), "8.4");
}

TEST(Text, ExpandMacros_NoReexpansionOfOwnValue) {
    EXPECT_EQ(ExpandMacros("a {X} b", {}), "a {X} b");
    EXPECT_EQ(ExpandMacros("{A}{UNKNOWN}{A}", {{"A", "{A}{A}"}}), "{A}{A}{UNKNOWN}{A}{A}");
    // A value inserted by an earlier name is searched by later names, not the other way round.
    EXPECT_EQ(ExpandMacros("{A}", {{"A", "{B}"}, {"B", "b"}}), "b");
    EXPECT_EQ(ExpandMacros("{B}", {{"A", "a"}, {"B", "{A}"}}), "{A}");
    EXPECT_EQ(ExpandMacros("{a}", {{"A", "x"}}), "{a}");  // case-sensitive
}

TEST(Text, FormatSize_EnglishAndFrench) {
    SetLanguage("en");
    EXPECT_EQ(FormatSize(0), "0 B");
    EXPECT_EQ(FormatSize(1023), "1023 B");
    EXPECT_EQ(FormatSize(1024), "1.0 KB");
    EXPECT_EQ(FormatSize(1536), "1.5 KB");
    EXPECT_EQ(FormatSize(5ull << 30), "5.0 GB");
    EXPECT_EQ(FormatSize(1ull << 50), "1024.0 TB");
    SetLanguage("fr");
    EXPECT_EQ(FormatSize(0), "0 o");
    EXPECT_EQ(FormatSize(1536), "1.5 Ko");
    EXPECT_EQ(FormatSize(3ull << 20), "3.0 Mo");
    SetLanguage("en");
}

TEST(Text, ArchName) {
    EXPECT_STREQ(ArchName(1), "x86");
    EXPECT_STREQ(ArchName(2), "x64");
    EXPECT_STREQ(ArchName(3), "arm64");
    EXPECT_STREQ(ArchName(0), "?");
}

TEST(Text, CharacterClasses_BlankSpaceLineBreakAndFolding) {
    // character, IsBlank, IsSpace, IsLineBreak
    const struct { char c; bool blank, space, lineBreak; } cases[] = {
        {' ', true, true, false},   {'\t', true, true, false}, {'\r', true, true, true}, {'\n', true, true, true},
        {'\v', false, true, false}, {'\f', false, true, false}, {'a', false, false, false}, {'\xA0', false, false, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(int(uint8_t(row.c)));
        EXPECT_EQ(IsBlank(row.c), row.blank);
        EXPECT_EQ(IsSpace(row.c), row.space);
        EXPECT_EQ(IsLineBreak(row.c), row.lineBreak);
    }
    EXPECT_TRUE(HasLineBreak("a\rb"));
    EXPECT_FALSE(HasLineBreak("a\v\fb"));
    EXPECT_EQ(SkipSpaces(" \t\v\fx ", 0), 4u);
    EXPECT_EQ(SkipSpaces("x  ", 1), 3u);
    const std::string folded{FoldAscii('A'), FoldAscii('Z'), FoldAscii('z'), FoldAscii('@'), FoldAscii('\xC9')};
    EXPECT_EQ(folded, "azz@\xC9");
}
