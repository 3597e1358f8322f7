// Database builds: MariaDB or MySQL by programs and name, tool names, versions, the current build,
// the template and my.ini in both network modes, and the three ways to the error log.
#include "stack/database/builds.h"

#include <windows.h>

#include <random>
#include <regex>

#include "core/handle.h"
#include "tests/stack/stack_fixture.h"

using stacktest::kStandin;
using stacktest::PeHeader;

namespace {

class DbBuilds : public stacktest::DbRootTest {};

std::string Line(const std::string& text, const std::string& start) {
    for (const std::string& line : SplitLines(text))
        if (StartsWith(line, start)) return line;
    return "<none>";
}

void SetWriteTime(const std::wstring& path, uint64_t ticks) {
    UniqueHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const FILETIME time{DWORD(ticks), DWORD(ticks >> 32)};
    ASSERT_TRUE(file && ::SetFileTime(file.Get(), nullptr, nullptr, &time));
}

}  // namespace

TEST_F(DbBuilds, Scan_KindToolsVersionsAndOrder) {
    const std::string x86 = PeHeader(stacktest::kX86);
    MakeDb("mysql-8.0.36-winx64", {{"bin/mysqld.exe", x86}, {"bin/mysqladmin.exe", x86}});
    MakeDb("mariadb-11.4.2-winx64", {{"bin/mariadbd.exe", kStandin}, {"bin/mariadb-admin.exe", ""},
                                     {"bin/mysqladmin.exe", ""}, {"bin/mysql.exe", ""}, {"bin/mariadb.exe", ""},
                                     {"bin/mysql_install_db.exe", ""}, {"bin/mariadb-install-db.exe", ""}});
    MakeDb("MariaDB-10.6", {{"bin/mysqld.exe", x86}, {"bin/mysql.exe", ""}});
    MakeDb("custom", {{"bin/mysqld.exe", kStandin}});      // 8.0.36 from its version resource
    MakeDb("mysql-9.9.9", {{"bin/mysql.exe", ""}});        // no server: not a build
    const auto builds = ScanDbInstalls();
    ASSERT_EQ(stacktest::Names(builds), (std::vector<std::string>{"mariadb-11.4.2-winx64", "MariaDB-10.6", "custom",
                                                                 "mysql-8.0.36-winx64"}));
    const std::wstring bin = builds[0].dir + L"\\bin\\";
    EXPECT_EQ(builds[0].serverExe, bin + L"mariadbd.exe");
    EXPECT_EQ(builds[0].adminExe, bin + L"mariadb-admin.exe");
    EXPECT_EQ(builds[0].clientExe, bin + L"mariadb.exe");
    EXPECT_EQ(builds[0].installDbExe, bin + L"mariadb-install-db.exe");
    EXPECT_EQ(builds[1].clientExe, builds[1].dir + L"\\bin\\mysql.exe");
    EXPECT_EQ(builds[3].adminExe, builds[3].dir + L"\\bin\\mysqladmin.exe");
    EXPECT_EQ(builds[3].installDbExe, L"");
    const std::vector<std::string> labels = {"MariaDB 11.4.2", "MariaDB 10.6", "MySQL 8.0.36", "MySQL 8.0.36"};
    const std::vector<int> arches = {2, 1, 2, 1};
    for (size_t i = 0; i < builds.size(); ++i) {
        EXPECT_EQ(DbProductName(builds[i]), labels[i]) << builds[i].name;
        EXPECT_EQ(builds[i].arch, arches[i]) << builds[i].name;
        EXPECT_FALSE(builds[i].configured);
    }
    EXPECT_EQ(DbProductName(MakeDbInstall("bare", DatabaseDir() + L"\\mysql-9.9.9")), "MySQL bare");
}

TEST_F(DbBuilds, Current_SettingInAnyCaseElseNewest) {
    EXPECT_FALSE(CurrentDb());
    MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    MakeDb("mysql-8.4.0", {{"bin/mysqld.exe", ""}});
    const std::pair<const char*, const char*> cases[] = {
        {"", "mysql-8.4.0"}, {"MYSQL-8.0.36", "mysql-8.0.36"}, {"removed-1.0", "mysql-8.4.0"}};
    for (const auto& [setting, current] : cases) {
        SetCurrentDbName(setting);
        EXPECT_EQ(GetCurrentDbName(), setting);
        ASSERT_TRUE(CurrentDb());
        EXPECT_EQ(CurrentDb()->name, current) << setting;
    }
    EXPECT_TRUE(FindDb("Mysql-8.0.36"));
    EXPECT_FALSE(FindDb("mysql-8.0"));
}

TEST_F(DbBuilds, Template_WrittenOnceAsBuiltIn_ResetRestoresIt) {
    const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    EXPECT_FALSE(ResetMyTemplate(build));  // nothing to restore from yet
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(build, error)) << error;
    EXPECT_EQ(testkit::ReadFile(MyTemplatePath(build)), kBuiltinMyTemplate);
    EXPECT_EQ(testkit::ReadFile(MyInitialIniPath(build)), kBuiltinMyTemplate);
    EXPECT_TRUE(MakeDbInstall(build.name, build.dir).configured);

    testkit::WriteFile(MyTemplatePath(build), "");  // the user's, even empty, is kept
    ASSERT_TRUE(EnsureMyTemplate(build, error));
    EXPECT_EQ(testkit::ReadFile(MyTemplatePath(build)), "");
    EXPECT_TRUE(ResetMyTemplate(build));
    EXPECT_EQ(testkit::ReadFile(MyTemplatePath(build)), kBuiltinMyTemplate);

    const DbInstall unwritable = MakeDbInstall("gone", root / L"file\\gone");
    testkit::WriteFile(root / L"file", "a file, not a folder");
    EXPECT_FALSE(EnsureMyTemplate(unwritable, error));
    EXPECT_EQ(error, "cannot write " + WideToUtf8(MyTemplatePath(unwritable)));
    EXPECT_FALSE(WriteMyIni(unwritable, error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(MyTemplatePath(unwritable)));
}

TEST_F(DbBuilds, WriteMyIni_PortPathsAndBindInBothModes) {
    const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(build, error));
    Config::Instance().Set(setting::kMysqlPort, "3310");
    const std::string dir = ToForwardSlashes(WideToUtf8(build.dir));
    const std::pair<const char*, const char*> modes[] = {
        {"1", "0.0.0.0"}, {"0", "127.0.0.1"}, {"2", "127.0.0.1"}, {"on", "127.0.0.1"}};
    for (const auto& [mode, bind] : modes) {
        Config::Instance().Set(setting::kApacheMode, mode);
        ASSERT_TRUE(WriteMyIni(build, error)) << error;
        const std::string ini = testkit::ReadFile(MyIniPath(build));
        EXPECT_EQ(Line(ini, "bind-address"), std::string("bind-address = ") + bind) << mode;
        EXPECT_EQ(Line(ini, "basedir"), "basedir = \"" + dir + "\"");
        EXPECT_EQ(Line(ini, "datadir"), "datadir = \"" + dir + "/data\"");
        EXPECT_EQ(Line(ini, "log-error"), "log-error = \"" + dir + "/data/mysql_error.log\"");
        EXPECT_EQ(Line(ini, "tmpdir"), "tmpdir = \"" + ToForwardSlashes(WideToUtf8(TempDir())) + "\"");
        EXPECT_EQ(ini.find("{"), std::string::npos);
        EXPECT_EQ(ini.find("\r"), std::string::npos);  // the template's LF line ends stay
        EXPECT_EQ(Line(ini.substr(ini.find("[client]")), "port"), "port = 3310");
    }
    const MacroMap macros = MakeMyIniMacros(L"C:\\z\\db", L"C:\\z\\", L"C:\\z\\temp", 3306, false);
    EXPECT_EQ(macros.at("MYSQLPATH"), "C:/z/db");
    EXPECT_EQ(macros.at("MYSQLBINPATH"), "C:/z/db/bin");
    EXPECT_EQ(macros.at("ZERVAPATH"), "C:/z");
}

TEST_F(DbBuilds, MatchLogErrorLine_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(R"re(^\s*log[-_]error\s*=\s*"?([^"\r\n]+?)"?\s*$)re",
                             std::regex::ECMAScript | std::regex::icase);
    const std::vector<std::string> pieces = {" ", " ", "\t", "\r", "\"", "\"", "=", "=", "a", "b.err", "/", "#"};
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> count(0, 7), pick(0, pieces.size() - 1);
    const char* starts[] = {"log-error", "LOG_ERROR", " \tlog-Error", "log error", "log-errors"};
    int matched = 0;
    for (int i = 0; i < 40000; ++i) {
        std::string line = starts[i % 5];
        for (size_t n = count(random); n > 0; --n) line += pieces[pick(random)];
        std::smatch expected;
        const auto actual = MatchLogErrorLine(line);
        ASSERT_EQ(std::regex_match(line, expected, pattern), actual.has_value()) << testing::PrintToString(line);
        if (!actual) continue;
        ++matched;
        EXPECT_EQ(*actual, expected.str(1)) << testing::PrintToString(line);
    }
    EXPECT_GT(matched, 2000);
    EXPECT_EQ(MatchLogErrorLine("log-error=" + std::string(200000, 'x')), std::string(200000, 'x'));
}

TEST_F(DbBuilds, FindDbErrorLog_IniThenTemplateThenNewestErrThenComputerName) {
    const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    const std::wstring data = DbDataDir(build);
    const std::string computer = ComputerName().empty() ? "localhost" : ComputerName();
    EXPECT_EQ(FindDbErrorLog(build), data + L"\\" + Utf8ToWide(computer) + L".err");

    testkit::WriteFile(data + L"\\b.err", "");
    testkit::WriteFile(data + L"\\a.err", "");
    testkit::WriteFile(data + L"\\c.err", "");
    SetWriteTime(data + L"\\a.err", 133000000000000000);
    SetWriteTime(data + L"\\b.err", 133000000000000000);
    SetWriteTime(data + L"\\c.err", 132000000000000000);
    EXPECT_EQ(FindDbErrorLog(build), data + L"\\a.err");  // equal times: first by name

    testkit::WriteFile(MyTemplatePath(build), "[mysqld]\nlog_error = mysql.err\n");
    EXPECT_EQ(FindDbErrorLog(build), data + L"\\mysql.err");
    testkit::WriteFile(MyIniPath(build), "[mysqld]\n  Log-Error = \"{MYSQLDATAPATH}/server.log\"  \n");
    EXPECT_EQ(WideToUtf8(FindDbErrorLog(build)), ToForwardSlashes(WideToUtf8(data)) + "/server.log");
}
