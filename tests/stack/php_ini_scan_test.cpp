// Tests of the hand-written line scanners: their results must equal those of the patterns they
// stand for (checked against std::regex on many short lines), and long lines must be safe.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <regex>
#include <string_view>

#include "stack/php/ini_scan.h"

namespace {

const auto kIcase = std::regex::ECMAScript | std::regex::icase;

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
    for (size_t k = 0; k < times; ++k) out += piece;
    return out;
}

}  // namespace

TEST(PhpIniScan, MatchExtensionLine_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(R"(^(\s*)(;)?(zend_extension|extension)(\s*=\s*)("?)([^";\r\n]+?)("?)(\s*;.*)?$)", kIcase);
    const std::vector<std::string> pieces = {" ", " ", "\t", "\r", "\n", "\v", ";", ";", "\"", "\"", "=", "=",
                                             "a", "x", "php_", ".dll", "\\", "extension", "Extension",
                                             "zend_extension", "#"};
    std::mt19937 random(20240611);
    int matched = 0;
    for (int i = 0; i < 100000; ++i) {
        // Most lines start like an extension line, so the value and tail rules get exercised.
        const std::string line = RandomLine(random, pieces, 3) + ((i % 3 == 0) ? "zend_extension" : "extension") +
                                 RandomLine(random, pieces, 8);
        SCOPED_TRACE(testing::PrintToString(line));
        std::smatch expected;
        const auto actual = MatchExtensionLine(line);
        ASSERT_EQ(std::regex_match(line, expected, pattern), actual.has_value());
        if (!actual) continue;
        ++matched;
        EXPECT_EQ(actual->commented, expected[2].matched);
        const std::vector<std::string> groups = {actual->indent, actual->keyword, actual->equals, actual->openQuote,
                                                 actual->value, actual->closeQuote, actual->trailing};
        EXPECT_EQ(groups, (std::vector<std::string>{expected.str(1), expected.str(3), expected.str(4), expected.str(5),
                                                    expected.str(6), expected.str(7), expected.str(8)}));
    }
    EXPECT_GT(matched, 1000);  // the sample really reaches the matching side
}

TEST(PhpIniScan, MatchKeyAssignment_RandomLines_AgreeWithThePatterns) {
    const std::pair<KeyPattern, const char*> cases[] = {
        {{"session.save_path", CommentMark::None, false}, R"(^\s*session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Required, false}, R"(^\s*;session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Required, true}, R"(^\s*;\s*session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Optional, false}, R"(^\s*;?session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Optional, true}, R"(^\s*;?\s*session\.save_path\s*=)"},
    };
    const std::vector<std::string> pieces = {" ", "\t", "\r", ";", ";", "=", "=", "x", "session.save_path",
                                             "SESSION.Save_Path", "sessionXsave_path", "#"};
    std::mt19937 random(7);
    for (const auto& [key, regex] : cases) {
        const std::regex pattern(regex, kIcase);
        int found = 0;
        for (int i = 0; i < 20000; ++i) {
            const std::string line = RandomLine(random, pieces, 3) + (i % 2 ? "Session.save_path" : "session.save_path") +
                                     RandomLine(random, pieces, 3);
            SCOPED_TRACE(regex + (" on " + testing::PrintToString(line)));
            std::smatch expected;
            const auto actual = MatchKeyAssignment(line, key);
            ASSERT_EQ(std::regex_search(line, expected, pattern), actual.has_value());
            if (!actual) continue;
            ++found;
            EXPECT_EQ(*actual, size_t(expected.length(0)));
        }
        EXPECT_GT(found, 100) << regex;  // the sample reaches the matching side
    }
}

TEST(PhpIniScan, MatchDirectiveValue_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(R"(^\s*memory_limit\s*=\s*(.*)$)", kIcase);
    const std::vector<std::string> pieces = {" ", "\t", "\r", "\n", ";", "=", "\"", "256M", "memory_limit",
                                             "Memory_Limit"};
    std::mt19937 random(11);
    for (int i = 0; i < 20000; ++i) {
        const std::string line = RandomLine(random, pieces, 7);
        SCOPED_TRACE(testing::PrintToString(line));
        std::smatch expected;
        const auto actual = MatchDirectiveValue(line, "memory_limit");
        ASSERT_EQ(std::regex_search(line, expected, pattern), actual.has_value());
        if (actual) {
            EXPECT_EQ(*actual, expected.str(1));
        }
    }
}

TEST(PhpIniScan, ExtensionNameFromValue_Forms_GiveBareLowerCaseName) {
    const std::pair<const char*, const char*> cases[] = {
        {"php_mbstring.dll", "mbstring"}, {"mbstring", "mbstring"},
        {" \"C:\\php\\ext\\PHP_MBSTRING.DLL\"\r", "mbstring"}, {"{PHPZENDPATH}/php_xdebug.dll", "xdebug"},
        {"\"", "\""},  // one quote alone is no pair
        {"dir/", ""}};
    for (const auto& [value, name] : cases) EXPECT_EQ(ExtensionNameFromValue(value), name) << value;
}

TEST(PhpIniScan, LongLines_ScanWithoutRecursionInLinearTime) {
    const size_t n = 100 * 1024;
    const std::string blanks(n, ' ');
    const auto start = std::chrono::steady_clock::now();
    const auto a = MatchExtensionLine("extension=" + std::string(n, 'a'));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->value.size(), n);
    const auto onlyBlanks = MatchExtensionLine("extension=" + blanks);
    ASSERT_TRUE(onlyBlanks);
    EXPECT_EQ(onlyBlanks->value, " ");  // the value wins back one blank of the greedy "=" part
    const auto commented = MatchExtensionLine(";extension=" + blanks + "x" + blanks + "; c" + std::string(n, 'c'));
    ASSERT_TRUE(commented);
    EXPECT_EQ(commented->value, "x");
    // Blanks after the quote but no comment.
    EXPECT_FALSE(MatchExtensionLine("extension=\"" + std::string(n, 'b') + "\"" + blanks));
    EXPECT_EQ(MatchDirectiveValue(blanks + "memory_limit" + blanks + "=" + blanks + "1G", "memory_limit"), "1G");
    EXPECT_FALSE(MatchKeyAssignment(std::string(n, ';'), {"memory_limit", CommentMark::Required, true}));
    // Blanks broken by CRs after "=": each run is a start the value may take back.
    EXPECT_FALSE(MatchExtensionLine("extension=" + Repeat(" \r", 2 * n) + "\"a\"b"));
    const auto brokenBlanks = MatchExtensionLine("extension=" + Repeat(" \r", 2 * n) + "; c");
    ASSERT_TRUE(brokenBlanks);
    EXPECT_EQ(brokenBlanks->value, " ");
    EXPECT_EQ(brokenBlanks->trailing, "\r; c");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 5);
}
