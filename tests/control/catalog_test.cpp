#include "control/catalog.h"

#include <gtest/gtest.h>

#include "core/detached.h"
#include "core/files.h"
#include "core/text.h"
#include "tests/control/catalog_fixtures.h"
#include "tests/control/online_fixture.h"

using namespace catalogtest;

namespace {

class CatalogTest : public controltest::OnlineTest {
protected:
    // A build folder holding a copy of a stand-in program.
    void MakeBuild(const std::wstring& dir, const std::wstring& exe) {
        ASSERT_TRUE(CopyFileTo(testkit::StandinPath(exe.substr(exe.rfind(L'\\') + 1)), dir + L"\\" + exe, true));
    }
};

}  // namespace

TEST_F(CatalogTest, EveryKey_LoadedThroughTheOverrideWithItsAgentAndInstalledMarks) {
    // The documents at the sources' fixed paths; the PHP listing moved behind redirects, as it has.
    server.Serve("/download/", kApachePage);
    server.Redirect("/downloads/releases/", "/~windows/releases/");
    server.Redirect("/downloads/releases/releases.json", server.Url("/~windows/releases/releases.json"));
    server.Serve("/~windows/releases/", kPhpListing);
    server.Serve("/~windows/releases/releases.json", kPhpReleasesJson);
    server.Serve("/rest-api/mariadb/", kMariaDbMajors);
    server.Serve("/rest-api/mariadb/11.4/", kMariaDbSeries);
    server.Serve("/home_page/version.json", kPhpMyAdminVersions);
    MakeBuild(PhpDir() + L"\\php-8.3.10-x64", L"php.exe");
    MakeBuild(PhpDir() + L"\\php8.3.9", L"php.exe");   // by version and machine (x64)
    MakeBuild(ApacheDir() + L"\\httpd-2.4.65-x64", L"bin\\httpd.exe");
    const char* keys[] = {"apache", "php:releases", "mariadb", "mariadb:11.4", "phpmyadmin", "other"};
    for (const char* key : keys) installer::RequestCatalog(key, false);
    for (const char* key : keys) EXPECT_TRUE(WaitCatalog(key).loaded) << key << ": " << installer::GetCatalog(key).error;
    auto marks = [](const std::vector<Package>& packages) {
        std::string text;
        for (const Package& p : packages) text += p.installed ? '1' : '0';
        return text;
    };
    const auto apache = installer::GetCatalog("apache").packages;
    ASSERT_EQ(apache.size(), 3u);
    EXPECT_EQ(apache[0].url, server.Url("/download/VS18/binaries/httpd-2.4.65-251009-Win64-VS18.zip"));
    EXPECT_EQ(apache[2].url, server.Url("/VS17/binaries/httpd-2.4.9-240718-Win64-VS17.zip"));   // another host
    EXPECT_EQ(marks(apache), "100");
    // The listing was served from where the redirect led, and so were its checksums.
    const auto php = installer::GetCatalog("php:releases").packages;
    ASSERT_EQ(php.size(), 6u);
    EXPECT_EQ(php[1].url + "|" + php[1].sha256, server.Url("/~windows/releases/php-8.3.10-Win32-vs16-x64.zip") + "|" + kSum);
    EXPECT_EQ(marks(php), "010100");
    EXPECT_EQ(installer::GetCatalog("mariadb:11.4").packages.at(2).url,
              server.Url("/rest-api/mariadb/11.4.4/mariadb-11.4.4-winx64.zip"));   // was http://
    EXPECT_EQ(marks(installer::GetCatalog("mariadb").packages), "000");
    EXPECT_EQ(installer::GetCatalog("phpmyadmin").packages.at(0).url,
              server.Url("/phpMyAdmin/5.2.2/phpMyAdmin-5.2.2-all-languages.zip"));
    EXPECT_TRUE(installer::GetCatalog("other").packages.empty());

    // Only the Apache page is asked for as a browser.
    for (const auto& request : server.Requests()) {
        const bool browser = StartsWith(request.Header("User-Agent"), "Mozilla/5.0 ");
        EXPECT_EQ(browser, request.path == "/download/") << request.path;
        EXPECT_TRUE(ContainsIgnoreCase(request.Header("User-Agent"), "Zerva/")) << request.path;
        EXPECT_EQ(request.Header("Referer"), "<absent>") << request.path;
    }

    // After a job the marks follow the builds, but a catalog reloaded meanwhile keeps its reload.
    MakeBuild(ApacheDir() + L"\\httpd-2.4.9-x64", L"bin\\httpd.exe");
    server.Serve("/~windows/releases/", "<a href=\"php-8.4.1-Win32-vs17-x64.zip\">");
    installer::RefreshAfterJob([] {
        installer::RequestCatalog("php:releases", true);
        WaitCatalog("php:releases");
    });
    EXPECT_EQ(marks(installer::GetCatalog("apache").packages), "101");
    EXPECT_EQ(installer::GetCatalog("php:releases").packages.size(), 1u);
}

TEST_F(CatalogTest, FailedLoad_RetriedByPlainRequestsOnlyAfterTheDelay_RefusedThreadEndsTheLoad) {
    const std::string path = "/home_page/version.json";
    installer::RequestCatalog("phpmyadmin", false);
    EXPECT_EQ(WaitCatalog("phpmyadmin").error, "HTTP 404");
    EXPECT_EQ(NewLogLines(), (std::vector<std::string>{"2|Cannot load the catalog phpmyadmin: HTTP 404"}));
    // A page asking every frame: no new thread, no new request, no new warning.
    for (int frame = 0; frame < 50; ++frame) {
        installer::RequestCatalog("phpmyadmin", false);
        ASSERT_FALSE(installer::GetCatalog("phpmyadmin").loading);
    }
    EXPECT_EQ(RequestsFor(path), 1);
    installer::RequestCatalog("phpmyadmin", true);   // "Retry" reloads at once
    EXPECT_EQ(WaitCatalog("phpmyadmin").error, "HTTP 404");
    EXPECT_EQ(RequestsFor(path), 2);

    server.Serve(path, kPhpMyAdminVersions);
    installer::AgeCatalogFailures(installer::kCatalogRetryDelay);
    installer::RequestCatalog("phpmyadmin", false);
    EXPECT_EQ(WaitCatalog("phpmyadmin").packages.size(), 2u);
    installer::RequestCatalog("phpmyadmin", false);   // loaded: nothing to do
    EXPECT_EQ(RequestsFor(path), 3);

    FailThreadStartsForTesting(true);
    installer::RequestCatalog("phpmyadmin", true);
    FailThreadStartsForTesting(false);
    const CatalogEntry entry = installer::GetCatalog("phpmyadmin");
    EXPECT_TRUE(!entry.loading && !entry.loaded && entry.packages.empty());
    EXPECT_EQ(entry.error, "cannot start a thread to load the catalog");
}
