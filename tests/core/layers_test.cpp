// The layers core <- stack <- control <- ui <- app: a source may include its own layer and the
// ones below, never one above, and product code never includes tests/ or tools/. The build
// catches most upward includes at link time; this catches the header-only ones too.
#include <gtest/gtest.h>

#include <regex>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"

namespace {

constexpr const char* kLayers[] = {"core", "stack", "control", "ui", "app"};

// The layer's rank, or -1 for any other top folder.
int Rank(std::string_view folder) {
    for (int i = 0; i < int(std::size(kLayers)); ++i)
        if (folder == kLayers[i]) return i;
    return -1;
}

// The quoted includes of `source`, a file of `layer`, pointing to a higher layer, tests/ or tools/.
std::vector<std::string> UpwardIncludes(std::string_view layer, const std::string& source) {
    static const std::regex include(R"re(^[ \t]*#[ \t]*include[ \t]*"([^"/]+)/[^"]*")re", std::regex::multiline);
    std::vector<std::string> found;
    for (std::sregex_iterator it(source.begin(), source.end(), include), end; it != end; ++it) {
        const std::string target = (*it)[1].str();
        if (Rank(target) > Rank(layer) || target == "tests" || target == "tools") found.push_back((*it)[0].str());
    }
    return found;
}

}  // namespace

TEST(Layers, UpwardIncludes_FoundOnlyAboveTheLayer) {
    const std::string source =
        "#include \"core/text.h\"\n#include \"stack/php/builds.h\"\n  # include \"control/server.h\"\n"
        "#include <ui/x.h>\n#include \"tests/support/testkit.h\"\n// #include \"app/main.h\"\n";
    EXPECT_EQ(UpwardIncludes("core", source),
              (std::vector<std::string>{"#include \"stack/php/builds.h\"", "  # include \"control/server.h\"",
                                        "#include \"tests/support/testkit.h\""}));
    EXPECT_EQ(UpwardIncludes("control", source), std::vector<std::string>{"#include \"tests/support/testkit.h\""});
    EXPECT_EQ(UpwardIncludes("app", "#include \"ui/window.h\"\n#include \"version.h\"\n"), std::vector<std::string>{});
}

TEST(Layers, NoSourceIncludesAHigherLayer) {
    size_t scanned = 0;
    for (const char* layer : kLayers)
        for (const auto& path : testkit::SourceFiles(Utf8ToWide(layer))) {
            ++scanned;
            for (const auto& line : UpwardIncludes(layer, ReadWholeFile(path).value_or("")))
                ADD_FAILURE() << WideToUtf8(path) << ": " << line;
        }
    EXPECT_GT(scanned, 20u) << "sources not found under " << WideToUtf8(testkit::SourceDir());
}
