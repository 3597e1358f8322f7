// tests/stack/php_fixture.h: a scratch root folder with PHP build folders made on disk, shared by
// the PHP build and extension tests: stand-in php.exe, crafted PE headers, ext DLLs, samples.
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

namespace phptest {

// The smallest file PeArchitecture accepts: "MZ", the PE offset at 0x3C, "PE\0\0", the machine.
inline std::string PeHeader(uint16_t machine) {
    std::string bytes(0x46, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0x40;
    bytes[0x40] = 'P';
    bytes[0x41] = 'E';
    bytes[0x44] = char(machine & 0xFF);
    bytes[0x45] = char(machine >> 8);
    return bytes;
}
inline constexpr uint16_t kX86 = 0x14C;
inline constexpr uint16_t kArm64 = 0xAA64;

using Files = std::vector<std::pair<std::string, std::string>>;  // relative path, content

// Each test gets its own root folder and an empty settings store saved inside it.
class PhpRootTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRootDir(root.Path());
        Config::Instance().Load(root / L"zerva.ini");
    }

    // bin\php\<name> with the files; "php.exe" as content "standin" copies the x64 stand-in.
    std::wstring MakeBuild(const std::string& name, const Files& files) {
        const std::wstring dir = PhpDir() + L"\\" + Utf8ToWide(name);
        EXPECT_TRUE(EnsureDirectory(dir));
        for (const auto& [path, content] : files) {
            std::wstring target = dir + L"\\" + Utf8ToWide(path);
            for (auto& c : target)
                if (c == L'/') c = L'\\';
            if (content == "standin") EXPECT_TRUE(CopyFileTo(testkit::StandinPath(L"php.exe"), target, true));
            else testkit::WriteFile(target, content);
        }
        return dir;
    }

    PhpInstall Find(const std::string& name) {
        auto build = FindPhp(name);
        EXPECT_TRUE(build) << name;
        return build ? *build : PhpInstall{};
    }

    testkit::ScratchDir root;
};

}  // namespace phptest
