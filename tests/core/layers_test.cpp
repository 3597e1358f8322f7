// The layers core <- stack <- control <- ui <- app: a source may include its own layer and the
// ones below, never one above, and product code never includes tests/ or tools/. The build
// catches most upward includes at link time; this catches the header-only ones too. Within the
// layers below the interface, modules (a header with its source) include each other in one
// direction only.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <regex>
#include <set>

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

// Module "control/server" for "control/server.h" and "control/server.cpp".
using Modules = std::map<std::string, std::set<std::string>>;

// Adds the modules of `layer` that `source`, a file of module `from`, includes.
void AddIncludes(Modules& modules, const std::string& from, std::string_view layer, const std::string& source) {
    static const std::regex include(R"re(^[ \t]*#[ \t]*include[ \t]*"([^"]+)\.h")re", std::regex::multiline);
    std::set<std::string>& targets = modules[from];
    for (std::sregex_iterator it(source.begin(), source.end(), include), end; it != end; ++it) {
        const std::string target = (*it)[1].str();
        if (target != from && StartsWith(target, std::string(layer) + "/")) targets.insert(target);
    }
}

// Each circle of includes between modules, as "a -> b -> a"; one per module that starts one.
std::vector<std::string> IncludeCircles(const Modules& modules) {
    std::vector<std::string> circles;
    std::set<std::string> done;
    std::vector<std::string> path;
    std::function<void(const std::string&)> visit = [&](const std::string& module) {
        const auto onPath = std::find(path.begin(), path.end(), module);
        if (onPath != path.end()) {
            std::string circle;
            for (auto it = onPath; it != path.end(); ++it) circle += *it + " -> ";
            circles.push_back(circle + module);
            return;
        }
        if (!done.insert(module).second) return;
        path.push_back(module);
        if (const auto found = modules.find(module); found != modules.end())
            for (const std::string& target : found->second) visit(target);
        path.pop_back();
    };
    for (const auto& [module, targets] : modules) visit(module);
    return circles;
}

}  // namespace

// The circle finder on a made-up layer first, then on the real ones.
TEST(Layers, NoIncludeCircleBetweenTheModulesOfALayer) {
    Modules sample;
    AddIncludes(sample, "control/a", "control", "#include \"control/b.h\"\n#include \"core/x.h\"\n");
    AddIncludes(sample, "control/b", "control", "#include \"control/c.h\"\n#include \"control/b.h\"\n");
    AddIncludes(sample, "control/c", "control", "#include \"control/d.h\"\n");
    EXPECT_TRUE(IncludeCircles(sample).empty());
    AddIncludes(sample, "control/c", "control", "  #  include \"control/a.h\"\n");
    EXPECT_EQ(IncludeCircles(sample), std::vector<std::string>{"control/a -> control/b -> control/c -> control/a"});

    const std::wstring root = testkit::SourceDir() + L"\\";
    for (const char* layer : {"core", "stack", "control"}) {
        Modules modules;
        for (const auto& path : testkit::SourceFiles(Utf8ToWide(layer))) {
            std::string module = ToForwardSlashes(WideToUtf8(path.substr(root.size())));
            module = module.substr(0, module.find_last_of('.'));
            AddIncludes(modules, module, layer, ReadWholeFile(path).value_or(""));
        }
        for (const std::string& circle : IncludeCircles(modules)) ADD_FAILURE() << circle;
    }
}

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
