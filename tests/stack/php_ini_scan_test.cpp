// The hand-written line scanners against std::regex with the patterns they stand for, on short
// random lines; long lines must be safe and linear.
#include "stack/php/ini_scan.h"

#include <chrono>

#include "tests/stack/stack_fixture.h"

using stacktest::ExpectAgrees;
using stacktest::RandomLines;
using stacktest::Scanned;

namespace {
const auto kIcase = std::regex::ECMAScript | std::regex::icase;
}  // namespace

TEST(PhpIniScan, MatchExtensionLine_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(R"(^(\s*)(;)?(zend_extension|extension)(\s*=\s*)("?)([^";\r\n]+?)("?)(\s*;.*)?$)", kIcase);
    const auto lines = RandomLines(20240611, 100000, {"zend_extension", "extension", "extension"},
                                   {" ", " ", "\t", "\r", "\n", "\v", ";", ";", "\"", "\"", "=", "=", "a", "x", "php_",
                                    ".dll", "\\", "extension", "Extension", "zend_extension", "#"}, 3, 8);
    EXPECT_GT(ExpectAgrees(lines, pattern, true, {1, -2, 3, 4, 5, 6, 7, 8}, [](const std::string& line) -> Scanned {
                  const auto m = MatchExtensionLine(line);
                  if (!m) return std::nullopt;
                  return std::vector<std::string>{m->indent, m->commented ? "1" : "", m->keyword, m->equals,
                                                  m->openQuote, m->value, m->closeQuote, m->trailing};
              }), 1000);
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
    const auto lines = RandomLines(7, 20000, {"Session.save_path", "session.save_path"}, pieces, 3, 3);
    for (const auto& [key, regex] : cases) {
        SCOPED_TRACE(regex);
        EXPECT_GT(ExpectAgrees(lines, std::regex(regex, kIcase), false, {0}, [&key](const std::string& line) -> Scanned {
                      const auto length = MatchKeyAssignment(line, key);
                      if (!length) return std::nullopt;
                      return std::vector<std::string>{line.substr(0, *length)};
                  }), 100);
    }
    const std::regex directive(R"(^\s*session\.save_path\s*=\s*(.*)$)", kIcase);
    ExpectAgrees(RandomLines(8, 20000, {""}, pieces, 3, 7), directive, false, {1}, [](const std::string& line) -> Scanned {
        const auto value = MatchDirectiveValue(line, "session.save_path");
        if (!value) return std::nullopt;
        return std::vector<std::string>{*value};
    });
}

TEST(PhpIniScan, ExtensionNameFromValue_Forms_GiveBareLowerCaseName) {
    const std::pair<const char*, const char*> cases[] = {{"php_mbstring.dll", "mbstring"},
        {" \"C:\\php\\ext\\PHP_MBSTRING.DLL\"\r", "mbstring"}, {"{PHPZENDPATH}/php_xdebug.dll", "xdebug"},
        {"\"", "\""}, {"dir/", ""}};   // one quote alone is no pair
    for (const auto& [value, name] : cases) EXPECT_EQ(ExtensionNameFromValue(value), name) << value;
}

TEST(PhpIniScan, LongLines_ScanWithoutRecursionInLinearTime) {
    const size_t n = 100 * 1024;
    const std::string blanks(n, ' ');
    std::string crBlanks;   // blanks broken by CRs after "=": each run is a start the value may take back
    for (size_t k = 0; k < 2 * n; ++k) crBlanks += " \r";
    const auto start = std::chrono::steady_clock::now();
    const auto value = [](const std::string& line) { return MatchExtensionLine(line).value_or(ExtensionLine{}).value; };
    EXPECT_EQ(value("extension=" + std::string(n, 'a')), std::string(n, 'a'));
    EXPECT_EQ(value("extension=" + blanks), " ");   // the value wins back one blank of the "=" part
    EXPECT_EQ(value(";extension=" + blanks + "x" + blanks + "; c" + std::string(n, 'c')), "x");
    EXPECT_FALSE(MatchExtensionLine("extension=\"" + std::string(n, 'b') + "\"" + blanks));   // blanks after the quote, no comment
    EXPECT_EQ(MatchDirectiveValue(blanks + "memory_limit" + blanks + "=" + blanks + "1G", "memory_limit"), "1G");
    EXPECT_FALSE(MatchKeyAssignment(std::string(n, ';'), {"memory_limit", CommentMark::Required, true}));
    EXPECT_FALSE(MatchExtensionLine("extension=" + crBlanks + "\"a\"b"));
    const auto broken = MatchExtensionLine("extension=" + crBlanks + "; c");
    EXPECT_TRUE(broken && broken->value == " " && broken->trailing == "\r; c");
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count(), 5);
}
