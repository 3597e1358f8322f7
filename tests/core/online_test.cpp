#include "core/online.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

TEST(ApplyOnlineBase, OriginReplacedPathAndQueryKept) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"https://windows.php.net/downloads/releases/", "http://127.0.0.1:8123", "http://127.0.0.1:8123/downloads/releases/"},
        {"https://files.phpmyadmin.net", "http://127.0.0.1:8123/", "http://127.0.0.1:8123"},
        {"https://user@host:99/a?b=/c#d", " https://mirror.example ", "https://mirror.example/a?b=/c#d"},
        {"https://host?x=/y", "HTTP://m:1", "HTTP://m:1?x=/y"},
        {"https://host/a", "http://m/base//", "http://m/base/a"},
        // No usable base, or no scheme in the address: unchanged.
        {"https://host/a", "", "https://host/a"},
        {"https://host/a", "ftp://m", "https://host/a"},
        {"https://host/a", "http://", "https://host/a"},
        {"https://host/a", "127.0.0.1:8123", "https://host/a"},
        {"/relative/path", "http://m", "/relative/path"},
    };
    for (const auto& [url, base, expected] : cases) EXPECT_EQ(ApplyOnlineBase(url, base), expected) << url << " " << base;
}

TEST(OnlineAddress, FollowsTheEnvironmentVariable) {
    ASSERT_TRUE(::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr));
    EXPECT_EQ(OnlineAddress("https://curl.se/ca/cacert.pem"), "https://curl.se/ca/cacert.pem");
    ASSERT_TRUE(::SetEnvironmentVariableW(kOnlineBaseVariable, L"http://127.0.0.1:9"));
    EXPECT_EQ(OnlineAddress("https://curl.se/ca/cacert.pem"), "http://127.0.0.1:9/ca/cacert.pem");
    ASSERT_TRUE(::SetEnvironmentVariableW(kOnlineBaseVariable, std::wstring(600, L'x').c_str()));
    EXPECT_EQ(OnlineAddress("https://curl.se/ca/cacert.pem"), "https://curl.se/ca/cacert.pem");
    ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
}
