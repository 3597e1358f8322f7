#include "ui/state.h"

#include <gtest/gtest.h>

#include "core/layout.h"
#include "core/translate.h"
#include "tests/stack/stack_fixture.h"

namespace {

using stacktest::RootTest;

class UiStateTest : public RootTest {
protected:
    void SetUp() override {
        RootTest::SetUp();
        static const UiState kFresh;  // assigned from a named record: GCC 12 misreads a temporary
        ui::State() = kFresh;
    }
    void TearDown() override { SetLanguage("en"); }

    ApacheInstall MakeApache() {
        return MakeApacheInstall("httpd-2.4.62", MakeFolder(ApacheDir() + L"\\httpd-2.4.62", {{"bin/httpd.exe", ""}}));
    }
    DbInstall MakeDb(const char* name) {
        return MakeDbInstall(name, MakeFolder(DatabaseDir() + L"\\" + Utf8ToWide(name), {{"bin/mysqld.exe", ""}}));
    }
    PhpInstall MakePhp(const std::string& templateText) {
        MakeFolder(PhpDir() + L"\\php-8.3.14", {{"php.exe", ""}, {"php_zerva.ini", templateText}});
        return *FindPhp("php-8.3.14");
    }
};

using Sources = std::vector<std::pair<std::string, std::wstring>>;

Sources Labelled(const std::vector<LogSource>& sources) {
    Sources out;
    for (const LogSource& s : sources) out.emplace_back(s.label, s.path);
    return out;
}

TEST_F(UiStateTest, LogSourcesFollowTheCurrentBuildsAndTitlesTheLanguage) {
    const ApacheInstall apache = MakeApache();
    const DbInstall maria = MakeDb("mariadb-11.4.2");
    const DbInstall mysql = MakeDb("mysql-8.0.36");
    EXPECT_TRUE(ui::BuildLogSources({}, {}, L"", {}).empty());
    EXPECT_EQ(Labelled(ui::BuildLogSources(apache, maria, L"", {})),
              (Sources{{"Apache - errors (error.log)", apache.dir + L"\\logs\\error.log"},
                       {"Apache - requests (access.log)", apache.dir + L"\\logs\\access.log"},
                       {"MariaDB - errors", L""}}));
    SetLanguage("fr");
    EXPECT_EQ(Labelled(ui::BuildLogSources({}, mysql, L"C:\\db\\x.err", {})),
              (Sources{{"MySQL - erreurs", L"C:\\db\\x.err"}}));
    EXPECT_EQ(ui::PageTitle(page::kDashboard) + "|" + ui::PageTitle(page::kMySql), "Tableau de bord|MySQL / MariaDB");
    EXPECT_EQ(ui::PageTitle(-1) + ui::PageTitle(8), "");
    SetLanguage("en");

    // PHP's entry only with an active, non-empty error_log; its macros expand without Apache too.
    for (const char* off : {"; error_log = \"{TEMPPATH}/php.log\"\n", "error_log =\n", "display_errors = On\n"})
        EXPECT_TRUE(ui::BuildLogSources({}, {}, L"", MakePhp(off)).empty()) << off;
    const PhpInstall php = MakePhp("error_log = \"{TEMPPATH}/php errors.log\"\n");
    EXPECT_EQ(Labelled(ui::BuildLogSources({}, {}, L"", php)),
              (Sources{{"PHP - error_log", Utf8ToWide(PathToUtf8(TempDir()) + "/php errors.log")}}));
    EXPECT_EQ(ui::BuildLogSources(apache, {}, L"", php).back().label, "PHP - error_log");
}

TEST_F(UiStateTest, InstallCacheRescansAfterItsPauseOrAFinishedInstallerJob) {
    UiState& state = ui::State();
    ui::RefreshInstallsAt(10.0, 0, false);
    EXPECT_EQ(state.generation, 1);

    const ApacheInstall apache = MakeApache();
    MakeDb("mariadb-11.4.2");
    ui::RefreshInstallsAt(12.4, 0, false);  // too soon, nothing installed meanwhile
    EXPECT_TRUE(state.generation == 1 && state.apaches.empty());

    ui::RefreshInstallsAt(12.4, 1, false);  // an installer job ended: at once
    EXPECT_EQ(state.generation, 2);
    ASSERT_EQ(state.apaches.size() + state.dbs.size(), 2u);
    EXPECT_EQ(state.currentApache->dir, apache.dir);
    EXPECT_EQ(state.dbErrorLog, FindDbErrorLog(*state.currentDb));
    EXPECT_EQ(state.logSources.back().path, state.dbErrorLog);
    EXPECT_EQ(state.logSources.size(), 3u);

    std::vector<int32_t> generations;
    for (const auto& [now, force] : {std::pair{14.8, false}, {14.9, false}, {14.9, true}}) {  // 2.5 s after, forced
        ui::RefreshInstallsAt(now, 1, force);
        generations.push_back(state.generation);
    }
    EXPECT_EQ(generations, (std::vector<int32_t>{2, 3, 4}));
}

}  // namespace
