#include "core/online.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

TEST(OnlineAddress, Base_ReplacesOriginKeepsPathAndQuery_UnusableBaseIgnored) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"https://zerva.dev/file/ip.php", "http://127.0.0.1:8123", "http://127.0.0.1:8123/file/ip.php"},
        {"https://h.example:444/a/b.json?x=1&y=/z", " http://127.0.0.1:8123/ ", "http://127.0.0.1:8123/a/b.json?x=1&y=/z"},
        {"http://h.example?q=1", "https://mirror.example/sub/", "https://mirror.example/sub?q=1"},
        {"https://h.example", "http://127.0.0.1:1", "http://127.0.0.1:1"},
        {"https://h.example/p", "", "https://h.example/p"},
        {"https://h.example/p", "127.0.0.1:8123", "https://h.example/p"},
        {"https://h.example/p", "http://", "https://h.example/p"},
        {"relative/path", "http://127.0.0.1:1", "relative/path"},
    };
    for (const auto& [url, base, expected] : cases) EXPECT_EQ(ApplyOnlineBase(url, base), expected) << url << " " << base;

    ::SetEnvironmentVariableW(kOnlineBaseVariable, L"http://127.0.0.1:9");
    EXPECT_EQ(OnlineAddress("https://zerva.dev/file/version.php"), "http://127.0.0.1:9/file/version.php");
    ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
    EXPECT_EQ(OnlineAddress("https://zerva.dev/file/version.php"), "https://zerva.dev/file/version.php");
}
