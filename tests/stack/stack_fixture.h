// tests/stack/stack_fixture.h: what the Apache and PHP build tests share: a scratch root folder
// with its own settings and build folders made file by file.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "stack/database/builds.h"
#include "stack/php/builds.h"
#include "tests/support/testkit.h"

namespace stacktest {

using testkit::kArm64;
using testkit::kX86;
using testkit::PeImage;

// The passwords every tool and file must carry unchanged: quotes, backslashes (a trailing one
// too), a blank, a non-ASCII letter, nothing at all.
inline const std::vector<std::string> kAwkwardPasswords = {
    "tulp", "it's", "back\\slash", "say \"hi\"", "ends\\", "two words", "caf\xC3\xA9", "", "\\'\"\\"};

// How PHP reads a single-quoted string whose opening quote stands at `open`: "\\" and "\'" are
// one character each, any other backslash stands for itself. The value and the index just after
// the closing quote; nothing when the string never closes.
inline std::optional<std::pair<std::string, size_t>> ReadSingleQuoted(std::string_view text, size_t open) {
    if (open >= text.size() || text[open] != '\'') return std::nullopt;
    std::string value;
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\'') return std::make_pair(value, i + 1);
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '\'')) ++i;
        value += text[i];
    }
    return std::nullopt;
}

// Short random lines to hold a hand scanner against its pattern (fixed seed, so a failure repeats):
// up to `lead` pieces, one of `starts` in turn, up to `tail` pieces.
inline std::vector<std::string> RandomLines(uint32_t seed, int count, const std::vector<std::string>& starts,
                                            const std::vector<std::string>& pieces, size_t lead, size_t tail) {
    std::mt19937 random(seed);
    const auto add = [&](std::string& line, size_t most) {
        for (size_t n = random() % (most + 1); n > 0; --n) line += pieces[random() % pieces.size()];
    };
    std::vector<std::string> lines(static_cast<size_t>(count));
    for (size_t i = 0; i < lines.size(); ++i) add(lines[i], lead), lines[i] += starts[i % starts.size()], add(lines[i], tail);
    return lines;
}

// Expects `scan` to accept the lines `pattern` accepts (matched whole, or searched from the start)
// and to give its `groups` (-g: "1" when group g took part, else ""). Returns how many matched.
using Scanned = std::optional<std::vector<std::string>>;
inline int ExpectAgrees(const std::vector<std::string>& lines, const std::regex& pattern, bool whole,
                        const std::vector<int>& groups, const std::function<Scanned(const std::string&)>& scan) {
    int matched = 0;
    for (const std::string& line : lines) {
        std::smatch m;
        std::vector<std::string> expected;
        if (whole ? std::regex_match(line, m, pattern) : std::regex_search(line, m, pattern)) {
            for (int g : groups) expected.push_back(g < 0 ? (m[-g].matched ? "1" : "") : m.str(g));
            ++matched;
        }
        EXPECT_EQ(scan(line), m.empty() ? Scanned() : Scanned(expected)) << testing::PrintToString(line);
    }
    return matched;
}

// Content that stands for a copy of the stand-in program of the same file name (x64, with the
// version resource of its build: httpd.exe 2.4.58.0, php.exe 8.3.14.0).
inline const std::string kStandin = "<stand-in>";

using Files = std::vector<std::pair<std::string, std::string>>;  // relative path, content

template <class Install>
std::vector<std::string> Names(const std::vector<Install>& builds) {
    std::vector<std::string> names;
    for (const Install& build : builds) names.push_back(build.name);
    return names;
}

// The values of the "<key> <value>" lines a stand-in role recorded in "<file>.run" (arguments
// "arg", working folder "cwd", environment "env", and the role's own lines).
inline std::vector<std::string> Recorded(const std::wstring& file, const std::string& key) {
    std::vector<std::string> values;
    for (const std::string& line : SplitLines(testkit::ReadFile(file + L".run")))
        if (line.size() > key.size() && line.compare(0, key.size() + 1, key + " ") == 0)
            values.push_back(line.substr(key.size() + 1));
    return values;
}

// A variable of the recorded environment (name in any case), or "<unset>".
inline std::string RecordedEnv(const std::wstring& file, const std::string& name) {
    for (const std::string& entry : Recorded(file, "env"))
        if (StartsWithIgnoreCase(entry, name + "=")) return entry.substr(name.size() + 1);
    return "<unset>";
}

// The console log entries added while `action` ran.
inline std::vector<LogEntry> LoggedDuring(const std::function<void()>& action) {
    std::vector<LogEntry> entries;
    const uint64_t mark = LogBuffer::Instance().Snapshot(entries, UINT64_MAX);
    action();
    LogBuffer::Instance().Snapshot(entries, mark);
    return entries;
}

// A failed write's error: "cannot write <path>: " and the system's reason after it.
inline bool CannotWriteWithReason(const std::string& error, const std::wstring& path) {
    const std::string start = "cannot write " + WideToUtf8(path) + ": ";
    return StartsWith(error, start) && error.size() > start.size();
}

// Each test gets its own root folder and an empty settings store saved inside it.
class RootTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRootDir(root.Path());
        Config::Instance().Load(root / L"zerva.ini");
    }
    // Creates `dir` with the files (paths may use '/'); returns `dir`.
    static std::wstring MakeFolder(const std::wstring& dir, const Files& files) {
        EXPECT_TRUE(EnsureDirectory(dir));
        for (const auto& [relative, content] : files) {
            std::string path = relative;
            ReplaceAllInPlace(path, "/", "\\");
            const std::wstring target = dir + L"\\" + Utf8ToWide(path);
            if (content != kStandin) {
                testkit::WriteFile(target, content);
                continue;
            }
            const std::wstring name = target.substr(target.rfind(L'\\') + 1);
            EXPECT_TRUE(CopyFileTo(testkit::StandinPath(name), target, true)) << relative;
        }
        return dir;
    }
    testkit::ScratchDir root;
};

class PhpRootTest : public RootTest {
protected:
    std::wstring MakeBuild(const std::string& name, const Files& files) {
        return MakeFolder(PhpDir() + L"\\" + Utf8ToWide(name), files);
    }
    PhpInstall Find(const std::string& name) {
        auto build = FindPhp(name);
        EXPECT_TRUE(build) << name;
        return build ? *build : PhpInstall{};
    }
};

class DbRootTest : public RootTest {
protected:
    DbInstall MakeDb(const std::string& name, const Files& files) {
        return MakeDbInstall(name, MakeFolder(DatabaseDir() + L"\\" + Utf8ToWide(name), files));
    }
};
}  // namespace stacktest
