// Database builds: MariaDB or MySQL by programs and name, tool names, versions, the current build,
// the template and my.ini in both network modes (from a template with a byte-order mark too), and
// the three ways to the error log.
#include "stack/database/builds.h"

#include <windows.h>

#include <map>

#include "core/handle.h"
#include "tests/stack/stack_fixture.h"

using stacktest::kStandin;

namespace {
class DbBuilds : public stacktest::DbRootTest {};

// The first line of `text` that starts with `start`.
std::string Line(const std::string& text, const std::string& start) {
    for (const std::string& line : SplitLines(text))
        if (StartsWith(line, start)) return line;
    return "<none>";
}
}  // namespace

TEST_F(DbBuilds, Scan_KindToolsVersionsAndOrder) {
    const std::string x86 = stacktest::PeImage(stacktest::kX86);
    MakeDb("mysql-8.0.36-winx64", {{"bin/mysqld.exe", x86}, {"bin/mysqladmin.exe", x86}});
    MakeDb("mariadb-11.4.2-winx64", {{"bin/mariadbd.exe", kStandin}, {"bin/mariadb-admin.exe", ""},
                                     {"bin/mysqladmin.exe", ""}, {"bin/mysql.exe", ""}, {"bin/mariadb.exe", ""},
                                     {"bin/mysql_install_db.exe", ""}, {"bin/mariadb-install-db.exe", ""}});
    MakeDb("MariaDB-10.6", {{"bin/mysqld.exe", x86}, {"bin/mysql.exe", ""}});
    MakeDb("custom", {{"bin/mysqld.exe", kStandin}});  // 8.0.36 from its version resource
    MakeDb("mysql-9.9.9", {{"bin/mysql.exe", ""}});    // no server: not a build
    const auto builds = ScanDbInstalls();
    ASSERT_EQ(stacktest::Names(builds), (std::vector<std::string>{"mariadb-11.4.2-winx64", "MariaDB-10.6", "custom",
                                                                 "mysql-8.0.36-winx64"}));
    // Product name, architecture, then the program names below bin.
    const std::vector<std::vector<std::string>> expected = {
        {"MariaDB 11.4.2", "2", "mariadbd.exe", "mariadb-admin.exe", "mariadb.exe", "mariadb-install-db.exe"},
        {"MariaDB 10.6", "1", "mysqld.exe", "", "mysql.exe", ""},
        {"MySQL 8.0.36", "2", "mysqld.exe", "", "", ""},
        {"MySQL 8.0.36", "1", "mysqld.exe", "mysqladmin.exe", "", ""}};
    for (size_t i = 0; i < builds.size(); ++i) {
        const DbInstall& b = builds[i];
        const auto name = [&](const std::wstring& path) { return path.empty() ? "" : WideToUtf8(path.substr(b.dir.size() + 5)); };
        EXPECT_EQ((std::vector<std::string>{DbProductName(b), std::to_string(b.arch), name(b.serverExe), name(b.adminExe),
                                            name(b.clientExe), name(b.installDbExe)}), expected[i]);
    }
}

TEST_F(DbBuilds, Current_SettingInAnyCaseElseNewest) {
    EXPECT_FALSE(CurrentDb());
    MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    MakeDb("mysql-8.4.0", {{"bin/mysqld.exe", ""}});
    for (const auto& [chosen, current] : std::vector<std::pair<std::string, std::string>>{
             {"", "mysql-8.4.0"}, {"MYSQL-8.0.36", "mysql-8.0.36"}, {"removed-1.0", "mysql-8.4.0"}}) {
        SetCurrentDbName(chosen);
        EXPECT_EQ(GetCurrentDbName(), chosen);
        EXPECT_EQ(CurrentDb().value_or(DbInstall{}).name, current) << chosen;
    }
}

TEST_F(DbBuilds, Template_WrittenOnceAsBuiltIn_ResetRestoresIt) {
    const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    EXPECT_FALSE(ResetMyTemplate(build));  // nothing to restore from yet
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(build, error)) << error;
    EXPECT_TRUE(testkit::ReadFile(MyTemplatePath(build)) == kBuiltinMyTemplate &&
                testkit::ReadFile(MyInitialIniPath(build)) == kBuiltinMyTemplate);
    testkit::WriteFile(MyTemplatePath(build), "");  // the user's, even empty, is kept
    EXPECT_TRUE(EnsureMyTemplate(build, error) && testkit::ReadFile(MyTemplatePath(build)).empty());
    EXPECT_TRUE(ResetMyTemplate(build) && testkit::ReadFile(MyTemplatePath(build)) == kBuiltinMyTemplate);
    testkit::WriteFile(root / L"file", "a file, not a folder");
    const DbInstall unwritable = MakeDbInstall("gone", root / L"file\\gone");
    EXPECT_FALSE(EnsureMyTemplate(unwritable, error));
    EXPECT_TRUE(stacktest::CannotWriteWithReason(error, MyTemplatePath(unwritable))) << error;
    EXPECT_FALSE(WriteMyIni(unwritable, error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(MyTemplatePath(unwritable)));
}

TEST_F(DbBuilds, WriteMyIni_PortPathsAndBindInBothModes) {
    const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(build, error));
    Config::Instance().Set(setting::kMysqlPort, "3310");
    const std::string dir = ToForwardSlashes(WideToUtf8(build.dir));
    for (const auto& [mode, bind] : {std::pair{"1", "0.0.0.0"}, {"0", "127.0.0.1"}, {"2", "127.0.0.1"}, {"on", "127.0.0.1"}}) {
        Config::Instance().Set(setting::kApacheMode, mode);
        ASSERT_TRUE(WriteMyIni(build, error)) << error;
        const std::string ini = testkit::ReadFile(MyIniPath(build));
        EXPECT_EQ(Line(ini, "bind-address"), std::string("bind-address = ") + bind) << mode;
        EXPECT_EQ(Line(ini, "basedir"), "basedir = \"" + dir + "\"");
        EXPECT_EQ(Line(ini, "log-error"), "log-error = \"" + dir + "/data/mysql_error.log\"");
        EXPECT_EQ(ini.find_first_of("{\r"), std::string::npos);  // all expanded, LF line ends kept
        EXPECT_EQ(Line(ini.substr(ini.find("[client]")), "port"), "port = 3310");
    }
    EXPECT_EQ(MakeMyIniMacros(L"C:\\z\\db", L"C:\\z\\", L"C:\\t", 1, false).at("ZERVAPATH"), "C:/z");
    // A template saved with a byte-order mark is read as its text: the error log named on its first
    // line is found before my.ini exists, and my.ini has no mark.
    testkit::WriteFile(MyTemplatePath(build), "\xEF\xBB\xBFlog_error = a.err\r\n[mysqld]\r\nport = {MYSQL_PORT}\r\n");
    ASSERT_TRUE(RemoveTree(MyIniPath(build)));
    EXPECT_EQ(FindDbErrorLog(build), DbDataDir(build) + L"\\a.err");
    ASSERT_TRUE(WriteMyIni(build, error)) << error;
    EXPECT_EQ(testkit::ReadFile(MyIniPath(build)), "log_error = a.err\r\n[mysqld]\r\nport = 3310\r\n");
}

TEST_F(DbBuilds, MatchLogErrorLine_RandomLines_AgreeWithThePattern) {
    const std::regex pattern(R"re(^\s*log[-_]error\s*=\s*"?([^"\r\n]+?)"?\s*$)re", std::regex::ECMAScript | std::regex::icase);
    const auto lines = stacktest::RandomLines(20261207, 40000, {"log-error", "LOG_ERROR", " \tlog-Error", "log error", "log-errors"},
                                              {" ", " ", "\t", "\r", "\"", "\"", "=", "=", "a", "b.err", "/", "#"}, 0, 7);
    EXPECT_GT(stacktest::ExpectAgrees(lines, pattern, true, {1}, [](const std::string& line) -> stacktest::Scanned {
                  const auto value = MatchLogErrorLine(line);
                  if (!value) return std::nullopt;
                  return std::vector<std::string>{*value};
              }), 2000);
    EXPECT_EQ(MatchLogErrorLine("log-error=" + std::string(200000, 'x')), std::string(200000, 'x'));
}

TEST_F(DbBuilds, FindDbErrorLog_IniThenTemplateThenNewestErrThenComputerName) {
    const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", ""}});
    const std::wstring data = DbDataDir(build);
    const std::string computer = ComputerName().empty() ? "localhost" : ComputerName();
    EXPECT_EQ(FindDbErrorLog(build), data + L"\\" + Utf8ToWide(computer) + L".err");
    for (const auto& [name, ticks] : {std::pair{L"b.err", 133u}, {L"a.err", 133u}, {L"c.err", 132u}}) {
        testkit::WriteFile(data + L"\\" + name, "");
        UniqueHandle file(::CreateFileW((data + L"\\" + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        const uint64_t time = ticks * 1000000000000000ull;
        const FILETIME filetime{DWORD(time), DWORD(time >> 32)};
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &filetime));
    }
    EXPECT_EQ(FindDbErrorLog(build), data + L"\\a.err");  // equal times: first by name
    testkit::WriteFile(MyTemplatePath(build), "[mysqld]\rlog_error = mysql.err\r");  // lone CR line ends
    EXPECT_EQ(FindDbErrorLog(build), data + L"\\mysql.err");
    testkit::WriteFile(MyIniPath(build), "[mysqld]\n  Log-Error = \"{MYSQLDATAPATH}/server.log\"  \n");
    EXPECT_EQ(WideToUtf8(FindDbErrorLog(build)), ToForwardSlashes(WideToUtf8(data)) + "/server.log");
}

// The groups of the server's own series, and included files as the server reads them: where the
// directive stands, a folder's .ini and .cnf files in name order whatever order the listing gives,
// ten levels deep (a chain of eleven files that closes on itself), an included file given up at
// its first option outside a group (a byte-order mark before its first comment, a plain word) and
// at a folder that is not there (a file that is not there is passed over), a directive on a last
// line without a line end losing the last letter of its path, and none without its blank.
TEST(DbServerPort, LastPortOfTheServersGroupsAndIncludedFiles_ListenableOnlyFrom1To65535) {
    std::map<std::string, std::string> files = {
        {"after.ini", "[mariadb]\nport = 41310\n"},      {"conf.d\\a.cnf", "[mysqld]\nport = 2\n"},
        {"conf.d\\b.ini", "[mysqld]\nport = 3\n"},       {"conf.d\\c.INI", "[mysqld]\nport = 4\n"},
        {"conf.d\\d.ini.txt", "[mysqld]\nport = 5\n"},
        {"bom.ini", "\xEF\xBB\xBF# saved with a mark\n[mysqld]\nport = 6\n"},
        {"word.ini", "junk\n[mysqld]\nport = 5\n"},
        {"nodir.ini", "[mysqld]\nport = 7\n!include missing.ini\nport = 8\n!includedir missing\nport = 9\n"}};
    for (int i = 1; i <= 11; ++i)
        files[Format("c%d.ini", i)] = Format("[mysqld]\nport = %d\n!include c%d.ini\n", 100 + i, i % 11 + 1);
    const OptionIncludes includes{
        [&](const std::string& path) -> std::optional<std::string> {
            const auto file = files.find(path);
            return file == files.end() ? std::nullopt : std::optional(file->second);
        },
        [&](const std::string& folder) -> std::optional<std::vector<std::string>> {
            const std::string prefix = EndsWith(folder, "\\") ? folder : folder + "\\";
            std::vector<std::string> names;   // last name first
            for (const auto& [path, text] : files)
                if (StartsWith(path, prefix)) names.insert(names.begin(), path.substr(prefix.size()));
            if (names.empty()) return std::nullopt;   // only folders with files exist here
            return names;
        }};
    const auto mariaDb = ServerOptionGroups(true, "11.4.2"), mySql = ServerOptionGroups(false, "8.0.36");
    const struct {
        std::string text;
        std::optional<std::string> port;
        std::string file = "";
        const std::vector<std::string>* groups = nullptr;   // MariaDB 11.4 unless given
    } rows[] = {
        {MyTemplate(), "{MYSQL_PORT}"},
        {"[client]\nport = 3306\n", std::nullopt},                              // the tools' group only
        {"[mysqld]\nbasedir = x\n# port = 1\n;port=2\n", std::nullopt},         // comments
        {"[mysqld]\r\nport=3307\r\n[client]\r\nport=1\r\n", "3307"},
        {"[MySQLd]\nport = 1\n[mariadb-11.4]\nLoose_Port = \"3308\" # moved\n", "3308"},   // last one wins
        {"[client]\nport = 1\n[MySQLD]\nport = 3307\n[client]\nport = 2\n", "3307"},          // names in any case
        {"[server]\nport = 3309   # the usual\n[mysqld_safe]\nport = 2\n", "3309"},
        {"port = 3310\n[mysqldump]\nport = 1\n", std::nullopt},                  // outside any group
        {"[mariadbd]\nport\n", ""},
        {"[mysqld \t]\nport = 1\n[ mysqld]\nport = 2\n", "1"},
        {"[mysqld-5.7]\nport = 1\n[server-11.4]\nport = 2\n[client-server-11.4]\nport = 3\n", std::nullopt},
        {"[mysqld]\nport = 3306\n[mariadb]\nport = 1\n[client-server]\nport = 2\n", "3306", "", &mySql},
        {"[mysqld-8.0]\nport = 3306\n[mysqld-8.4]\nport = 1\n", "3306", "", &mySql},
        {"[mysqld]\r\nport = 1\r\n  !  include  after.ini \r\n", "41310", "after.ini"},
        {"[client]\n!include after.ini\nport = 1\n", "41310", "after.ini"},     // back in [client] after it
        {"[mysqld]\n!include after.ini\nport = 1\n", "1"},
        {"[mysqld]\nport = 1\n!includedir conf.d\n", "3", "conf.d\\b.ini"},
        {"[mysqld]\nport = 1\n!includedir conf.d\\\n", "3", "conf.d\\b.ini"},
        {"[mysqld]\nport = 1\n!include c1.ini\n", "110", "c10.ini"},
        {"[mysqld]\nport = 1\n!include word.ini\n", "1"},
        {"[mysqld]\nport = 1\n!include nodir.ini\n", "8", "nodir.ini"},
        {"[mysqld]\nport = 1\n!includeafter.ini\n!includedirconf.d\n", "1"},
        {"[mysqld]\nport = 1\n!include bom.ini\n!include missing.ini\n!INCLUDE after.ini\n!include after.ini", "1"},
    };
    for (const auto& row : rows) {
        const auto option = ServerPortOption(row.text, row.groups ? *row.groups : mariaDb, includes);
        EXPECT_EQ(option ? std::optional(option->value) : std::nullopt, row.port) << row.text;
        EXPECT_EQ(option ? option->file : "", row.file) << row.text;
    }
    // Not followed without a way to read them.
    EXPECT_EQ(ServerPortOption("[mysqld]\nport = 1\n!include after.ini\n", mariaDb)->value, "1");
    for (const auto& [path, file] : {std::pair{"conf.d/a.cnf", L"C:\\db\\conf.d/a.cnf"}, {"D:\\a.cnf", L"D:\\a.cnf"},
                                     {"\\a.cnf", L"C:\\a.cnf"}, {"\\\\host\\share\\a.cnf", L"\\\\host\\share\\a.cnf"}})
        EXPECT_EQ(PathFromFolder(L"C:\\db", path), file) << path;
    for (const auto& [value, port] : std::initializer_list<std::pair<std::string, std::optional<int>>>{
             {"3306", 3306}, {"1", 1}, {"65535", 65535}, {"003306", 3306}, {"0", std::nullopt}, {"-1", std::nullopt},
             {"65536", std::nullopt}, {"99999", std::nullopt}, {"", std::nullopt}, {"abc", std::nullopt},
             {"33o6", std::nullopt}, {"3307x", std::nullopt}, {" 3306", std::nullopt}, {"4294970602", std::nullopt}})
        EXPECT_EQ(ListenablePort(value), port) << value;
}
