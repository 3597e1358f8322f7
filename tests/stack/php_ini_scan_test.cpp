// Tests of the hand-written line scanners: their results must equal those of the patterns they
// stand for (checked against std::regex on many short lines), and long lines must be safe.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <regex>
#include <string_view>

#include "stack/php/ini_scan.h"

namespace {

const char* const kExtensionPattern =
    R"(^(\s*)(;)?(zend_extension|extension)(\s*=\s*)("?)([^";\r\n]+?)("?)(\s*;.*)?$)";

// Short random lines built from the pieces that matter to the patterns.
std::string RandomLine(std::mt19937& random, const std::vector<std::string>& pieces, size_t maxPieces) {
    std::uniform_int_distribution<size_t> count(0, maxPieces);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string line;
    for (size_t n = count(random); n > 0; --n) line += pieces[pick(random)];
    return line;
}

std::string Repeat(std::string_view piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t k = 0; k < times; ++k) out += piece;
    return out;
}

std::string Printable(const std::string& line) {
    std::string out;
    for (char c : line) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\v') out += "\\v";
        else out += c;
    }
    return out;
}

}  // namespace

TEST(PhpIniScan, MatchExtensionLine_CommentedLineWithQuotesAndComment_SplitsGroups) {
    const auto m = MatchExtensionLine("  ;Extension = \"php_curl.dll\" ; network");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->indent, "  ");
    EXPECT_TRUE(m->commented);
    EXPECT_EQ(m->keyword, "Extension");
    EXPECT_EQ(m->equals, " = ");
    EXPECT_EQ(m->openQuote, "\"");
    EXPECT_EQ(m->value, "php_curl.dll");
    EXPECT_EQ(m->closeQuote, "\"");
    EXPECT_EQ(m->trailing, " ; network");
    EXPECT_FALSE(m->IsZend());
    EXPECT_EQ(m->Rebuild(false), "  Extension = \"php_curl.dll\" ; network");
    EXPECT_EQ(m->Rebuild(true), "  ;Extension = \"php_curl.dll\" ; network");
}

TEST(PhpIniScan, MatchExtensionLine_NotExtensionLines_DoNotMatch) {
    EXPECT_FALSE(MatchExtensionLine("; extension=curl"));  // a blank between ";" and the keyword
    EXPECT_FALSE(MatchExtensionLine("extension_dir = \"ext\""));
    EXPECT_FALSE(MatchExtensionLine("extension="));
    EXPECT_FALSE(MatchExtensionLine("extension=curl\r"));  // "$" never follows a lone CR
    EXPECT_FALSE(MatchExtensionLine("extension=a\"b"));
    const auto zend = MatchExtensionLine("ZEND_EXTENSION=opcache");
    ASSERT_TRUE(zend);
    EXPECT_TRUE(zend->IsZend());
    EXPECT_EQ(zend->value, "opcache");
}

TEST(PhpIniScan, MatchExtensionLine_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(kExtensionPattern, std::regex::ECMAScript | std::regex::icase);
    const std::vector<std::string> pieces = {" ", " ", "\t", "\r", "\n", "\v", ";", ";", "\"", "\"", "=", "=",
                                             "a", "x", "php_", ".dll", "\\", "extension", "Extension",
                                             "zend_extension", "#"};
    std::mt19937 random(20240611);
    int matched = 0;
    for (int i = 0; i < 100000; ++i) {
        // Most lines start like an extension line, so the value and tail rules get exercised.
        std::string line = RandomLine(random, pieces, 3);
        line += (i % 3 == 0) ? "zend_extension" : "extension";
        line += RandomLine(random, pieces, 8);
        std::smatch expected;
        const bool regexMatched = std::regex_match(line, expected, pattern);
        const auto actual = MatchExtensionLine(line);
        ASSERT_EQ(regexMatched, actual.has_value()) << Printable(line);
        if (!actual) continue;
        ++matched;
        EXPECT_EQ(actual->indent, expected.str(1)) << Printable(line);
        EXPECT_EQ(actual->commented, expected[2].matched) << Printable(line);
        EXPECT_EQ(actual->keyword, expected.str(3)) << Printable(line);
        EXPECT_EQ(actual->equals, expected.str(4)) << Printable(line);
        EXPECT_EQ(actual->openQuote, expected.str(5)) << Printable(line);
        EXPECT_EQ(actual->value, expected.str(6)) << Printable(line);
        EXPECT_EQ(actual->closeQuote, expected.str(7)) << Printable(line);
        EXPECT_EQ(actual->trailing, expected.str(8)) << Printable(line);
    }
    EXPECT_GT(matched, 1000);  // the sample really reaches the matching side
}

TEST(PhpIniScan, MatchKeyAssignment_RandomLines_AgreeWithThePatterns) {
    struct Case {
        KeyPattern key;
        const char* regex;
    };
    const std::vector<Case> cases = {
        {{"session.save_path", CommentMark::None, false}, R"(^\s*session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Required, false}, R"(^\s*;session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Required, true}, R"(^\s*;\s*session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Optional, false}, R"(^\s*;?session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Optional, true}, R"(^\s*;?\s*session\.save_path\s*=)"},
    };
    const std::vector<std::string> pieces = {" ", "\t", "\r", ";", ";", "=", "=", "x", "session.save_path",
                                             "SESSION.Save_Path", "sessionXsave_path", "#"};
    std::mt19937 random(7);
    for (const auto& c : cases) {
        const std::regex pattern(c.regex, std::regex::ECMAScript | std::regex::icase);
        int found = 0;
        for (int i = 0; i < 20000; ++i) {
            const std::string line = RandomLine(random, pieces, 3) + (i % 2 ? "Session.save_path" : "session.save_path") +
                                     RandomLine(random, pieces, 3);
            std::smatch expected;
            const bool regexFound = std::regex_search(line, expected, pattern);
            const auto actual = MatchKeyAssignment(line, c.key);
            ASSERT_EQ(regexFound, actual.has_value()) << c.regex << " on " << Printable(line);
            if (!actual) continue;
            ++found;
            EXPECT_EQ(*actual, size_t(expected.length(0))) << c.regex << " on " << Printable(line);
        }
        EXPECT_GT(found, 100) << c.regex;  // the sample reaches the matching side
    }
}

TEST(PhpIniScan, MatchDirectiveValue_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(R"(^\s*memory_limit\s*=\s*(.*)$)", std::regex::ECMAScript | std::regex::icase);
    const std::vector<std::string> pieces = {" ", "\t", "\r", "\n", ";", "=", "\"", "256M", "memory_limit",
                                             "Memory_Limit"};
    std::mt19937 random(11);
    for (int i = 0; i < 20000; ++i) {
        const std::string line = RandomLine(random, pieces, 7);
        std::smatch expected;
        const bool regexMatched = std::regex_search(line, expected, pattern);
        const auto actual = MatchDirectiveValue(line, "memory_limit");
        ASSERT_EQ(regexMatched, actual.has_value()) << Printable(line);
        if (actual) {
            EXPECT_EQ(*actual, expected.str(1)) << Printable(line);
        }
    }
}

TEST(PhpIniScan, ExtensionNameFromValue_Forms_GiveBareLowerCaseName) {
    EXPECT_EQ(ExtensionNameFromValue("php_mbstring.dll"), "mbstring");
    EXPECT_EQ(ExtensionNameFromValue("mbstring"), "mbstring");
    EXPECT_EQ(ExtensionNameFromValue(" \"C:\\php\\ext\\PHP_MBSTRING.DLL\"\r"), "mbstring");
    EXPECT_EQ(ExtensionNameFromValue("{PHPZENDPATH}/php_xdebug.dll"), "xdebug");
    EXPECT_EQ(ExtensionNameFromValue("\""), "\"");  // one quote alone is no pair
    EXPECT_EQ(ExtensionNameFromValue("dir/"), "");
}

TEST(PhpIniScan, LongLines_ScanWithoutRecursionInLinearTime) {
    const size_t n = 100 * 1024;
    const std::vector<std::string> lines = {
        "extension=" + std::string(n, 'a'),
        "extension=" + std::string(n, ' '),
        ";extension=" + std::string(n, ' ') + "x" + std::string(n, ' ') + "; c" + std::string(n, 'c'),
        "extension=\"" + std::string(n, 'b') + "\"" + std::string(n, ' '),
        std::string(n, ' ') + "memory_limit" + std::string(n, ' ') + "=" + std::string(n, ' ') + "1G",
        std::string(n, ';'),
        // Blanks broken by CRs after "=": each run is a start the value may take back.
        "extension=" + Repeat(" \r", 2 * n) + "\"a\"b",
        "extension=" + Repeat(" \r", 2 * n) + "; c",
    };
    const auto start = std::chrono::steady_clock::now();
    const auto a = MatchExtensionLine(lines[0]);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value.size(), n);
    const auto blanks = MatchExtensionLine(lines[1]);
    ASSERT_TRUE(blanks);
    EXPECT_EQ(blanks->value, " ");  // the value wins back one blank of the greedy "=" part
    const auto commented = MatchExtensionLine(lines[2]);
    ASSERT_TRUE(commented);
    EXPECT_EQ(commented->value, "x");
    EXPECT_FALSE(MatchExtensionLine(lines[3]));  // blanks after the quote but no comment
    EXPECT_EQ(MatchDirectiveValue(lines[4], "memory_limit"), "1G");
    EXPECT_FALSE(MatchKeyAssignment(lines[5], {"memory_limit", CommentMark::Required, true}));
    EXPECT_FALSE(MatchExtensionLine(lines[6]));
    const auto brokenBlanks = MatchExtensionLine(lines[7]);
    ASSERT_TRUE(brokenBlanks);
    EXPECT_EQ(brokenBlanks->value, " ");
    EXPECT_EQ(brokenBlanks->trailing, "\r; c");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 5);
}
