// tests/stack/stack_fixture.h: what the Apache and PHP build tests share: a scratch root folder
// with its own settings, build folders made file by file, and executables cut down to the PE
// header the scans read.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "stack/php/builds.h"
#include "tests/support/testkit.h"

namespace stacktest {

using testkit::kArm64;
using testkit::kX86;
using testkit::PeHeader;

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

}  // namespace stacktest
