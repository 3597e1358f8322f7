// tests/ui/apache_page_fixture.h: the Apache page drawn on a scratch root with the httpd and
// openssl stand-ins: a current build whose template holds the hosts a test gives, typing into the
// page's fields, its tabs, the shell calls it makes, and outside edits of the template.
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/handle.h"
#include "tests/ui/page_fixture.h"
#include "ui/pages/apache.h"

namespace uitest {

// Behind the template's plain host on the main port: an HTTPS host on that port too, a host kept
// as written (further addresses on the main port and another), and one whose directories hold a
// Require outside the table and none at all.
inline const std::string kOddHosts =
    "<VirtualHost *:{PORT}>\r\n    ServerName secure.localhost\r\n    SSLEngine on\r\n</VirtualHost>\r\n"
    "<VirtualHost *:* '[::1]:{PORT}'\t*:8081>\r\n    ServerName any.localhost\r\n</VirtualHost>\r\n"
    "<VirtualHost *:8081>\r\n  <Directory \"{DOCUMENTPATH}/x\">\r\n    Require ip 10.0.0\r\n  </Directory>\r\n"
    "  <Directory \"{DOCUMENTPATH}/y\">\r\n  </Directory>\r\n</VirtualHost>\r\n";

class ApachePageTest : public uitest::PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        ui::ApacheCache() = ApachePageCache{};
        ui::State().consoleOpen = false;
        ui::SetPage(page::kApache);
        ui::RecordShellCallsForTests(&calls);
        Show(1);
    }
    void TearDown() override {
        ui::RecordShellCallsForTests(nullptr);
        PageTest::TearDown();
    }
    // httpd-2.4.58, current and drawn, its template with a host on `port` and `hosts` ({PORT} is `port`).
    void MakeBuild(std::string hosts = "") {
        port = LeasedPort();
        ReplaceAllInPlace(hosts, "{PORT}", std::to_string(port));
        MakeApache(port, hosts);
        ui::RefreshInstalls(true);
        Show();
    }
    std::wstring Template() const { return apacheDir + L"\\conf\\httpd_zerva.conf"; }
    std::string TemplateText() const { return testkit::ReadFile(Template()); }
    static ApachePageCache& Cache() { return ui::ApacheCache(); }
    void Type(std::string_view id, const std::string& text) {
        ASSERT_TRUE(uitest::TypeInto(harness, id, text, [] { ui::Frame(); })) << id;
        Show();
    }
    static bool Toasted(const std::string& text) {
        const auto texts = uitest::ToastTexts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    bool ClickTab(const char* id) { return ClickPage({"##apachetabs", id}); }
    bool OpenAccess(int block) { return ClickIn("/##vhedit_", {block, "##req"}); }
    // Writes the template with a write time ahead of any this test made, as an editor saving later.
    void TouchTemplate(const std::string& text) {
        testkit::WriteFile(Template(), text);
        UniqueHandle file(::CreateFileW(Template().c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME time{};
        ::GetSystemTimeAsFileTime(&time);
        ULARGE_INTEGER later{{time.dwLowDateTime, time.dwHighDateTime}};
        later.QuadPart += 50'000'000;
        time = {later.LowPart, later.HighPart};
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &time));
    }

    int32_t port = 0;
    std::vector<ui::ShellCall> calls;   // what the page asked of the shell
};

}  // namespace uitest
