#include "core/translate.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"

namespace {

// The printf conversions of a format, in order; "%%" is no conversion.
std::vector<std::string> Placeholders(const std::string& format) {
    static const std::regex conversion(R"(%[-+ #0]*[0-9*]*(\.[0-9*]+)?(hh|h|ll|l|L|z|j|t|I64)?[diouxXeEfgGcspn%])");
    std::vector<std::string> found;
    for (std::sregex_iterator it(format.begin(), format.end(), conversion), end; it != end; ++it)
        if (it->str() != "%%") found.push_back(it->str());
    return found;
}

// Every string literal written directly as Tr's argument, adjacent literals joined, with the
// escapes the sources use (\" \\ \n) undone.
std::vector<std::string> TrLiterals(const std::string& source) {
    static const std::regex call(R"re(\bTr\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\))re");
    static const std::regex piece(R"re("((?:[^"\\]|\\.)*)")re");
    std::vector<std::string> found;
    for (std::sregex_iterator it(source.begin(), source.end(), call), end; it != end; ++it) {
        const std::string literals = (*it)[1].str();
        std::string text;
        for (std::sregex_iterator p(literals.begin(), literals.end(), piece); p != end; ++p) {
            const std::string body = (*p)[1].str();
            for (size_t i = 0; i < body.size(); ++i)
                text += body[i] != '\\' || i + 1 == body.size() ? body[i] : (body[++i] == 'n' ? '\n' : body[i]);
        }
        found.push_back(text);
    }
    return found;
}

// Every string literal of a C++ source, adjacent literals joined, escapes undone as above; raw
// strings, character literals and comments are stepped over.
std::set<std::string> StringLiterals(const std::string& source) {
    std::set<std::string> found;
    std::string joined;
    bool inRun = false;  // only blanks since the last literal ended
    for (size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        if (c == '/' && source.compare(i, 2, "//") == 0) {  // comments hold apostrophes
            i = source.find('\n', i);
            if (i == std::string::npos) break;
        } else if (c == '/' && source.compare(i, 2, "/*") == 0) {
            i = source.find("*/", i + 2);
            if (i == std::string::npos) break;
            ++i;
        } else if (c == 'R' && source.compare(i + 1, 1, "\"") == 0) {  // R"delim( ... )delim"
            const size_t open = source.find('(', i + 2);
            if (open == std::string::npos) break;
            std::string close = ")";
            close.append(source, i + 2, open - i - 2).push_back('"');
            const size_t end = source.find(close, open);
            if (end == std::string::npos) break;
            i = end + close.size() - 1;
        } else if (c == '\'') {
            i = source.find('\'', i + (source[i + 1] == '\\' ? 3 : 2));
            if (i == std::string::npos) break;
        } else if (c == '"') {
            std::string text;
            for (++i; i < source.size() && source[i] != '"'; ++i)
                text += source[i] != '\\' ? source[i] : (source[++i] == 'n' ? '\n' : source[i]);
            if (!inRun) joined.clear();
            joined += text;
            found.insert(text);
            found.insert(joined);
            inRun = true;
            continue;
        }
        if (!IsBlank(c)) inRun = false;
    }
    return found;
}

}  // namespace

TEST(Translate, Language_FrenchTranslatesExactMatchesOnlyEnglishGivesSamePointer) {
    const bool windowsFrench = (::GetUserDefaultUILanguage() & 0x3FF) == LANG_FRENCH;
    for (const char* other : {"auto", "FR", "", "de"}) {
        SetLanguage(other);
        EXPECT_EQ(IsFrench(), windowsFrench) << other;
    }
    const char *known = "Not installed", *unknown = "No such text in the table", *otherCase = "not installed";
    SetLanguage("fr");
    EXPECT_TRUE(IsFrench());
    EXPECT_STREQ(Tr(known), "Non installé");
    EXPECT_TRUE(Tr(unknown) == unknown && Tr(otherCase) == otherCase && Tr(nullptr) == nullptr);
    SetLanguage("en");
    EXPECT_TRUE(!IsFrench() && Tr(known) == known);
}

TEST(TranslationTable, DistinctKeysAndMatchingPlaceholders) {
    size_t count = 0;
    const TranslationPair* table = TranslationTable(&count);
    ASSERT_GT(count, 0u);
    std::set<std::string> seen;
    for (size_t i = 0; i < count; ++i) {
        ASSERT_TRUE(table[i].english && table[i].french);
        EXPECT_TRUE(seen.insert(table[i].english).second) << "twice: " << table[i].english;
        EXPECT_STRNE(table[i].french, "") << table[i].english;
        EXPECT_EQ(Placeholders(table[i].english), Placeholders(table[i].french)) << table[i].english;
    }
}

TEST(TranslationTable, EveryTrLiteralInTheSourcesHasAnEntry) {
    // The scan is only as good as its parser.
    EXPECT_EQ(TrLiterals(R"(x = Tr("A \"q\"\n"); y = Tr( "B" "C" ); z = Tr(variable); Tr("%d %%"))"),
              (std::vector<std::string>{"A \"q\"\n", "BC", "%d %%"}));
    EXPECT_EQ(Placeholders("%d / %5.1f %% %s %llu"), (std::vector<std::string>{"%d", "%5.1f", "%s", "%llu"}));
    size_t count = 0;
    const TranslationPair* table = TranslationTable(&count);
    std::set<std::string> english;
    for (size_t i = 0; i < count; ++i) english.insert(table[i].english);
    std::vector<std::wstring> sources;
    for (const wchar_t* folder : {L"core", L"stack", L"control", L"app", L"ui"})
        for (auto& file : testkit::SourceFiles(folder)) sources.push_back(std::move(file));
    ASSERT_FALSE(sources.empty()) << "sources not found under " << WideToUtf8(testkit::SourceDir());
    for (const auto& path : sources)
        for (const auto& literal : TrLiterals(ReadWholeFile(path).value_or("")))
            EXPECT_TRUE(english.count(literal)) << WideToUtf8(path) << ": no French for \"" << literal << "\"";
}

// A pair whose English text no source holds any more is a translation the program never shows.
TEST(TranslationTable, EveryEntryIsUsedByTheSources) {
    EXPECT_EQ(StringLiterals("a = \"x\" \"y\\\"\"; c = '\"'; // it's\nr = R\"(\"z\")\"; d = \"w\";"),
              (std::set<std::string>{"x", "xy\"", "y\"", "w"}));
    std::set<std::string> literals;
    for (const wchar_t* folder : {L"core", L"stack", L"control", L"app", L"ui"})
        for (const auto& path : testkit::SourceFiles(folder))
            if (!EndsWith(WideToUtf8(path), "translations.cpp"))
                literals.merge(StringLiterals(ReadWholeFile(path).value_or("")));
    size_t count = 0;
    const TranslationPair* table = TranslationTable(&count);
    for (size_t i = 0; i < count; ++i)
        EXPECT_TRUE(literals.count(table[i].english)) << "no source uses \"" << table[i].english << "\"";
}
