// The hand-written line scanners must give what the patterns they stand for give (checked
// against std::regex on many short random lines), and long lines must be safe and linear.
#include "stack/php/ini_scan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <regex>

namespace {

const auto kIcase = std::regex::ECMAScript | std::regex::icase;

// A random line of up to `maxPieces` pieces, plus `middle` after the first up to 3 of them.
std::string RandomLine(std::mt19937& random, const std::vector<std::string>& pieces, size_t maxPieces,
                       const std::string& middle = "") {
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string line;
    for (size_t n = std::uniform_int_distribution<size_t>(0, 3)(random); n > 0; --n) line += pieces[pick(random)];
    line += middle;
    for (size_t n = std::uniform_int_distribution<size_t>(0, maxPieces)(random); n > 0; --n) line += pieces[pick(random)];
    return line;
}

}  // namespace

TEST(PhpIniScan, MatchExtensionLine_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(R"(^(\s*)(;)?(zend_extension|extension)(\s*=\s*)("?)([^";\r\n]+?)("?)(\s*;.*)?$)", kIcase);
    const std::vector<std::string> pieces = {" ", " ", "\t", "\r", "\n", "\v", ";", ";", "\"", "\"", "=", "=", "a", "x",
                                             "php_", ".dll", "\\", "extension", "Extension", "zend_extension", "#"};
    std::mt19937 random(20240611);
    int matched = 0;
    for (int i = 0; i < 100000; ++i) {
        // Most lines start like an extension line, so the value and tail rules get exercised.
        const std::string line = RandomLine(random, pieces, 8, i % 3 == 0 ? "zend_extension" : "extension");
        SCOPED_TRACE(testing::PrintToString(line));
        std::smatch m;
        const auto actual = MatchExtensionLine(line);
        ASSERT_EQ(std::regex_match(line, m, pattern), actual.has_value());
        if (!actual) continue;
        ++matched;
        EXPECT_EQ(actual->commented, m[2].matched);
        EXPECT_EQ((std::vector<std::string>{actual->indent, actual->keyword, actual->equals, actual->openQuote, actual->value,
                                            actual->closeQuote, actual->trailing}),
                  (std::vector<std::string>{m.str(1), m.str(3), m.str(4), m.str(5), m.str(6), m.str(7), m.str(8)}));
    }
    EXPECT_GT(matched, 1000);   // the sample really reaches the matching side
}

TEST(PhpIniScan, KeyAssignmentAndDirectiveValue_RandomLines_AgreeWithThePatterns) {
    const std::pair<KeyPattern, const char*> cases[] = {
        {{"session.save_path", CommentMark::None, false}, R"(^\s*session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Required, false}, R"(^\s*;session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Required, true}, R"(^\s*;\s*session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Optional, false}, R"(^\s*;?session\.save_path\s*=)"},
        {{"session.save_path", CommentMark::Optional, true}, R"(^\s*;?\s*session\.save_path\s*=)"},
    };
    const std::vector<std::string> pieces = {" ", "\t", "\r", "\n", ";", ";", "=", "=", "\"", "x", "session.save_path",
                                             "SESSION.Save_Path", "sessionXsave_path", "#"};
    std::mt19937 random(7);
    for (const auto& [key, regex] : cases) {
        const std::regex pattern(regex, kIcase);
        int found = 0;
        for (int i = 0; i < 20000; ++i) {
            const std::string line = RandomLine(random, pieces, 3, i % 2 ? "Session.save_path" : "session.save_path");
            SCOPED_TRACE(regex + (" on " + testing::PrintToString(line)));
            std::smatch m;
            const auto actual = MatchKeyAssignment(line, key);
            ASSERT_EQ(std::regex_search(line, m, pattern), actual.has_value());
            found += actual ? 1 : 0;
            EXPECT_EQ(actual.value_or(size_t(m.length(0))), size_t(m.length(0)));
        }
        EXPECT_GT(found, 100) << regex;
    }
    const std::regex directive(R"(^\s*session\.save_path\s*=\s*(.*)$)", kIcase);
    for (int i = 0; i < 20000; ++i) {
        const std::string line = RandomLine(random, pieces, 7);
        SCOPED_TRACE(testing::PrintToString(line));
        std::smatch m;
        const auto actual = MatchDirectiveValue(line, "session.save_path");
        ASSERT_EQ(std::regex_search(line, m, directive), actual.has_value());
        EXPECT_EQ(actual.value_or(m.str(1)), m.str(1));
    }
}

TEST(PhpIniScan, ExtensionNameFromValue_Forms_GiveBareLowerCaseName) {
    const std::pair<const char*, const char*> cases[] = {
        {"php_mbstring.dll", "mbstring"}, {" \"C:\\php\\ext\\PHP_MBSTRING.DLL\"\r", "mbstring"},
        {"{PHPZENDPATH}/php_xdebug.dll", "xdebug"}, {"\"", "\""}, {"dir/", ""}};   // one quote alone is no pair
    for (const auto& [value, name] : cases) EXPECT_EQ(ExtensionNameFromValue(value), name) << value;
}

TEST(PhpIniScan, LongLines_ScanWithoutRecursionInLinearTime) {
    const size_t n = 100 * 1024;
    const std::string blanks(n, ' ');
    std::string crBlanks;   // blanks broken by CRs after "=": each run is a start the value may take back
    for (size_t k = 0; k < 2 * n; ++k) crBlanks += " \r";
    const auto start = std::chrono::steady_clock::now();
    const auto a = MatchExtensionLine("extension=" + std::string(n, 'a'));
    EXPECT_TRUE(a && a->value.size() == n);
    const auto onlyBlanks = MatchExtensionLine("extension=" + blanks);
    EXPECT_TRUE(onlyBlanks && onlyBlanks->value == " ");   // the value wins back one blank of the "=" part
    const auto commented = MatchExtensionLine(";extension=" + blanks + "x" + blanks + "; c" + std::string(n, 'c'));
    EXPECT_TRUE(commented && commented->value == "x");
    EXPECT_FALSE(MatchExtensionLine("extension=\"" + std::string(n, 'b') + "\"" + blanks));   // blanks after the quote, no comment
    EXPECT_EQ(MatchDirectiveValue(blanks + "memory_limit" + blanks + "=" + blanks + "1G", "memory_limit"), "1G");
    EXPECT_FALSE(MatchKeyAssignment(std::string(n, ';'), {"memory_limit", CommentMark::Required, true}));
    EXPECT_FALSE(MatchExtensionLine("extension=" + crBlanks + "\"a\"b"));
    const auto broken = MatchExtensionLine("extension=" + crBlanks + "; c");
    EXPECT_TRUE(broken && broken->value == " " && broken->trailing == "\r; c");
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count(), 5);
}
