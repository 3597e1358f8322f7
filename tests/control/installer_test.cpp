#include "control/installer.h"

#include <tuple>

#include "control/start.h"
#include "core/detached.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/settings.h"
#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/database/builds.h"
#include "stack/php/builds.h"
#include "tests/control/control_fixture.h"
#include "tests/control/online_fixture.h"
#include "tests/support/path_limit.h"
#include "tests/support/zip_writer.h"

using controltest::ControlTest;
using installer::GetStatus;
using testkit::ZipEntrySpec;
using testkit::MakeZip;

namespace {

class InstallerTest : public controltest::OnlineTest {
protected:
    // Serves the archive, and returns its package for the component.
    Package Serve(Comp comp, const std::string& version, const std::vector<ZipEntrySpec>& entries, bool withSum = true) {
        Package p;
        const std::string name = std::vector<std::string>{"php", "httpd", "mariadb", "phpMyAdmin"}[int(comp)];
        p.comp = comp, p.version = version, p.label = name + " " + version, p.fileName = name + "-" + version + ".zip";
        p.folder = comp == Comp::PhpMyAdmin ? "phpmyadmin" : p.fileName.substr(0, p.fileName.size() - 4);
        p.url = server.Url("/files/" + p.fileName);
        const std::string zip = MakeZip(entries);
        server.Serve("/files/" + p.fileName, zip);
        testkit::WriteFile(root / L"zip", zip);
        lastSize = zip.size(), lastSum = Sha256File(root / L"zip").value_or("");
        if (withSum) p.sha256 = lastSum;
        return p;
    }
    std::vector<ZipEntrySpec> PhpFiles(const std::string& top) {
        return {{top + "php.exe", testkit::ReadFile(testkit::StandinPath(L"php.exe"))},
                {top + "php.ini-development", "[PHP]\n;extension=curl\n"}, {top + "php8ts.pdb", "symbols"}};
    }
    // Runs one job on the worker and waits for its end.
    void RunJob(const std::function<void()>& queue) {
        const int32_t before = GetStatus().jobsDone;
        queue();
        ASSERT_TRUE(testkit::WaitFor([&] { return GetStatus().jobsDone > before && !GetStatus().busy; }));
    }
    bool Exists(const std::wstring& relative) { return PathExists(root / relative); }
    void ExpectFiles(const std::vector<std::pair<std::wstring, bool>>& files) {
        for (const auto& [path, there] : files) EXPECT_EQ(Exists(path), there) << WideToUtf8(path);
    }
    std::string lastSum;
    size_t lastSize = 0;
};

}  // namespace

TEST(InstallerSteps, ArchiveRoot_ShortestPrefixFirstOfEqualOnes) {
    const std::tuple<std::vector<std::string>, std::string, bool, std::string> roots[] = {
        {{"php-8.3.14/", "php-8.3.14/PHP.EXE", "php-8.3.14/ext/php.exe"}, "php.exe", true, "php-8.3.14/"},
        {{"a/b/bin/httpd.exe", "a/bin/httpd.exe", "c/bin/httpd.exe"}, "bin/httpd.exe", true, "a/"},
        {{"bin/httpd.exe"}, "bin/httpd.exe", true, ""},
        {{"xbin/httpd.exe", "bin/httpd.exe.bak"}, "bin/httpd.exe", false, ""},
    };
    for (const auto& [names, marker, found, prefix] : roots) {
        std::string got;
        EXPECT_TRUE(installer::FindArchiveRoot(names, marker, got) == found && got == prefix) << marker << ": " << got;
    }
}

TEST_F(InstallerTest, Php_EndToEndWithChecksumTemplateCurrentBuildAndCache) {
    server.Serve("/ca/cacert.pem", "-----BEGIN CERTIFICATE-----\n");
    testkit::WriteFile(root / L"bin/cacert.pem", "moved\n");   // no certificate (a saved redirect page): fetched again
    testkit::WriteFile(root / L"bin/vcruntime/x64/vcruntime140.dll", "runtime");
    Config::Instance().Set(setting::kPhpCurrentVersion, "php-gone");   // stale: replaced
    const Package first = Serve(Comp::Php, "8.3.14", PhpFiles("php-8.3.14/"));
    RunJob([&] { installer::Install(first); });
    EXPECT_EQ(GetStatus().title, "Installing php 8.3.14");
    // Debug symbols are left out, the staging folder is gone, and without a cache folder so is the archive.
    ExpectFiles({{L"bin/php/php-8.3.14/php.exe", true}, {L"bin/php/php-8.3.14/vcruntime140.dll", true},
                 {L"bin/php/php-8.3.14/php_zerva.ini", true}, {L"bin/cacert.pem", true},
                 {L"bin/php/php-8.3.14/php8ts.pdb", false}, {L"bin/php/php-8.3.14.installing", false},
                 {L"temp/downloads/php-8.3.14.zip", false}});
    EXPECT_EQ(GetCurrentPhpName(), "php-8.3.14");
    const std::string dir = WideToUtf8(root / L"bin/php/php-8.3.14");
    EXPECT_EQ(NewLogLines(), (std::vector<std::string>{
                                 "0|Installing php 8.3.14...", "0|php-8.3.14.zip downloaded (" + FormatSize(lastSize) + ")",
                                 "1|SHA-256 checksum verified: php-8.3.14.zip",
                                 "0|CA certificates bundle downloaded (" + server.Url("/ca/cacert.pem").substr(7) + ")",
                                 "1|php 8.3.14 installed -> " + dir}));

    // A second build does not take over the current one; with a cache folder the archive stays
    // and a matching copy is not fetched again.
    SetCacheDir(root / L"cache");
    const Package second = Serve(Comp::Php, "8.3.15", PhpFiles(""));
    installer::RunInstall(second);
    ASSERT_TRUE(RemoveTree(root / L"bin/php/php-8.3.15"));
    installer::RunInstall(second);
    EXPECT_EQ(RequestsFor("/files/php-8.3.15.zip"), 1);
    EXPECT_EQ(NewLogLines().at(NewLogLines().size() - 3), "0|Using the cached archive php-8.3.15.zip");
    EXPECT_TRUE(Exists(L"cache/php-8.3.15.zip") && Exists(L"bin/php/php-8.3.15/php.exe"));
    EXPECT_EQ(GetCurrentPhpName(), "php-8.3.14");

    installer::RunInstall(first);
    EXPECT_EQ(GetStatus().message, "php 8.3.14: already installed (" + dir + ")");
    EXPECT_EQ(RequestsFor("/files/php-8.3.14.zip"), 1);
    EXPECT_EQ(RequestsFor("/ca/cacert.pem"), 1) << "a bundle that holds a certificate is kept";
}

TEST_F(InstallerTest, ApacheDatabasePhpMyAdmin_ConfiguredAndMarkedInstalled) {
    testkit::WriteFile(root / L"bin/vcruntime/x64/vcruntime140.dll", "runtime");
    const Package apache = Serve(Comp::Apache, "2.4.58", {{"Apache24/bin/httpd.exe", testkit::ReadFile(testkit::StandinPath(L"httpd.exe"))},
                                                          {"Apache24/bin/httpd.pdb", "x"}});
    const Package db = Serve(Comp::Database, "11.4.2",
                             {{"m/bin/mariadbd.exe", testkit::ReadFile(testkit::StandinPath(L"mariadbd.exe"))},
                              {"m/bin/mariadb-install-db.exe", testkit::ReadFile(testkit::StandinPath(L"mariadb-install-db.exe"))},
                              {"m/include/mysql.h", "x"}, {"m/lib/libmariadb.lib", "x"}});
    const Package pma = Serve(Comp::PhpMyAdmin, "5.2.2", {{"p/index.php", "x"}, {"p/RELEASE-DATE-5.2.2", "x"}});
    for (const Package& p : {apache, db, pma}) {
        EXPECT_FALSE(installer::IsInstalled(p)) << p.label;
        RunJob([&] { installer::Install(p); });
        EXPECT_TRUE(GetStatus().message.empty() && installer::IsInstalled(p)) << p.label << ": " << GetStatus().message;
    }
    for (const auto& request : server.Requests())   // the Apache host wants a visitor from its page
        EXPECT_TRUE(request.path != "/files/httpd-2.4.58.zip" || request.Header("Referer") == server.Url("/download/"));
    EXPECT_EQ(GetCurrentApacheName() + "|" + GetCurrentDbName(), "httpd-2.4.58|mariadb-11.4.2");
    ExpectFiles({{L"bin/apache/httpd-2.4.58/bin/vcruntime140.dll", true}, {L"bin/database/mariadb-11.4.2/bin/vcruntime140.dll", true},
                 {L"bin/apache/httpd-2.4.58/conf/httpd_zerva.conf", true}, {L"bin/apache/httpd-2.4.58/bin/httpd.pdb", false},
                 {L"bin/database/mariadb-11.4.2/data/mysql", true}, {L"bin/database/mariadb-11.4.2/my.ini", true},
                 {L"bin/database/mariadb-11.4.2/include", false}, {L"bin/database/mariadb-11.4.2/lib/libmariadb.lib", false},
                 {L"temp/phpmyadmin", true}});
    EXPECT_NE(testkit::ReadFile(root / L"phpapps/phpmyadmin/config.inc.php").find("blowfish_secret"), std::string::npos);
}

TEST_F(InstallerTest, Failures_MessageNothingHalfInstalled) {
    Package bad = Serve(Comp::Php, "1.0.1", PhpFiles("x/"));
    bad.sha256 = std::string(64, '0');
    Package missing = Serve(Comp::Php, "1.0.2", PhpFiles(""));
    missing.url += "-gone";
    const Package content = Serve(Comp::Apache, "2.4.1", {{"Apache24/bin/apache.exe", "x"}});
    const Package unsafe = Serve(Comp::Php, "1.0.3", {{"php.exe", "x"}, {"../../evil.txt", "x"}});
    Package hostile = content;
    hostile.folder = "..\\..\\bin";
    const std::tuple<Package, std::string, std::wstring> cases[] = {
        {bad, "Checksum mismatch, the downloaded file was deleted: php-1.0.1.zip", L"bin/php/php-1.0.1"},
        {missing, "Download failed (" + missing.url + "): HTTP 404", L"bin/php/php-1.0.2"},
        {content, "Unexpected archive content (bin/httpd.exe not found): httpd-2.4.1.zip", L"bin/apache/httpd-2.4.1"},
        {unsafe, "Extraction failed: unsafe path in archive: ../../evil.txt", L"bin/php/php-1.0.3"},
        {hostile, "httpd 2.4.1: unsafe file or folder name (..\\..\\bin)", L"bin"},
    };
    for (const auto& [package, message, target] : cases) {
        installer::RunInstall(package);
        EXPECT_EQ(GetStatus().message, message);
        EXPECT_EQ(NewLogLines().back(), "3|" + message);
        EXPECT_TRUE((target == L"bin" || !Exists(target)) && !Exists(target + L".installing")) << message;
    }
    // The mismatching archive is deleted, another one stays for a later try; nothing got out.
    ExpectFiles({{L"temp/downloads/php-1.0.1.zip", false}, {L"temp/downloads/httpd-2.4.1.zip", true}, {L"bin/evil.txt", false}});
    EXPECT_EQ(RequestsFor("/files/httpd-2.4.1.zip"), 1);     // not for the hostile name
}

TEST_F(InstallerTest, PhpMyAdminReinstall_ConfigKeptAndOldCopyBackAfterFailure) {
    const std::string config = "<?php\r\n$cfg['blowfish_secret'] = 'kept \\' secret';\n";
    const std::wstring pma = root / L"phpapps/phpmyadmin";
    testkit::WriteFile(pma + L"\\config.inc.php", config);
    testkit::WriteFile(pma + L"\\index.php", "old");
    const auto copy = [&] { return testkit::ReadFile(pma + L"\\index.php") + "|" + testkit::ReadFile(pma + L"\\config.inc.php"); };
    const Package broken = Serve(Comp::PhpMyAdmin, "5.2.1", {{"p/index.php", "new"}, {"p/x.php", "1", true, 0, 1}}, false);
    const Package good = Serve(Comp::PhpMyAdmin, "5.2.2", {{"p/index.php", "new"}, {"p/lib/a.php", "a"}}, false);
    server.Serve("/files/phpMyAdmin-5.2.2.zip.sha256", lastSum + "  phpMyAdmin-5.2.2.zip\n");
    // A folder where config.inc.php must go: the new copy is in place but cannot be configured.
    const Package unconfigurable = Serve(Comp::PhpMyAdmin, "5.2.0", {{"p/index.php", "new"}, {"p/config.inc.php/", ""}}, false);
    installer::RunInstall(broken);
    EXPECT_TRUE(StartsWith(GetStatus().message, "Extraction failed: ")) << GetStatus().message;
    installer::RunInstall(unconfigurable);
    EXPECT_TRUE(StartsWith(GetStatus().message, "cannot write " + WideToUtf8(pma + L"\\config.inc.php") + ": "))
        << GetStatus().message;
    EXPECT_EQ(copy(), "old|" + config);
    installer::RunInstall(good);
    EXPECT_EQ(NewLogLines().at(NewLogLines().size() - 2), "1|SHA-256 checksum verified: phpMyAdmin-5.2.2.zip");
    EXPECT_EQ(copy(), "new|" + config);
    ExpectFiles({{L"temp/phpmyadmin", true}, {L"phpapps/phpmyadmin.old", false}, {L"phpapps/phpmyadmin.installing", false}});
}

// Under a root whose downloads folder lies past 260 characters, phpMyAdmin's deepest files past
// 400: it installs, and installs again over itself, with Windows' 260 limit in front of the file
// calls (Wine has none), and nothing is left beside it.
TEST_F(InstallerTest, PhpMyAdmin_DeepRoot_InstalledTwicePastTheLimit) {
    const std::string deepest = "vendor/" + std::string(90, 'v') + "/" + std::string(90, 'w') + "/Deepest.php";
    const Package pma = Serve(Comp::PhpMyAdmin, "5.2.2", {{"p/index.php", "x"}, {"p/" + deepest, "deep", true}});
    const std::wstring deepRoot = root / (std::wstring(120, L'r') + L"/" + std::wstring(100, L's'));
    SetRootDir(deepRoot);
    testkit::ShortPathLimit limit;
    EnsureLayout();
    for (int pass = 0; pass < 2; ++pass) {
        installer::RunInstall(pma);
        EXPECT_EQ(NewLogLines().back(), "1|phpMyAdmin 5.2.2 installed -> " + WideToUtf8(PhpAppsDir() + L"\\phpmyadmin"));
        EXPECT_EQ(testkit::ReadFile(PhpAppsDir() + L"\\phpmyadmin\\" + Utf8ToWide(deepest)), "deep");
        EXPECT_TRUE(PathExists(PhpAppsDir() + L"\\phpmyadmin\\config.inc.php"));
        EXPECT_EQ(ListSubdirectories(PhpAppsDir()), (std::vector<std::string>{"phpmyadmin", "zerva"}));
        EXPECT_EQ(ListFiles(DownloadsDir(), "*"), std::vector<std::string>{});
    }
}

TEST_F(InstallerTest, Uninstall_RefusedOutsideItsFolderOrFilesInUse) {
    testkit::WriteFile(root / L"bin/php/php-8/php.exe", "x");
    testkit::WriteFile(root / L"bin/apache/bin/httpd.exe", "x");
    for (const char* name : {"", ".", "..", "..\\apache", "a/b", "C:"}) {
        installer::RunUninstall(Comp::Apache, name);
        EXPECT_EQ(GetStatus().message, std::string("This folder cannot be removed from Zerva: ") + name);
    }
    EXPECT_TRUE(Exists(L"bin/apache/bin/httpd.exe"));
    const std::wstring locked = root / L"bin/php/php-8/php.exe";
    {
        UniqueHandle file(::CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        installer::RunUninstall(Comp::Php, "php-8");
        EXPECT_EQ(GetStatus().message, "Cannot delete " + WideToUtf8(root / L"bin/php/php-8") + " (files in use?)");
    }
    RunJob([] { installer::Uninstall(Comp::Php, "php-8"); });
    EXPECT_TRUE(GetStatus().title == "Removing php-8" && !Exists(L"bin/php/php-8"));
    testkit::WriteFile(root / L"phpapps/phpmyadmin/index.php", "x");
    installer::RunUninstall(Comp::PhpMyAdmin, "anything");
    EXPECT_FALSE(Exists(L"phpapps/phpmyadmin"));
    EXPECT_EQ(NewLogLines().back(), "1|anything removed");
}

// The build in use is looked at when its removal runs, not only at the click: a server started
// meanwhile (the removal waiting behind a long download) keeps its build whole.
TEST_F(ControlTest, Uninstall_BuildInUseUnderItsRunningServer_RefusedWhenTheJobRuns) {
    MakeApache(LeasedPort());
    MakePhp();
    MakeMariaDb(LeasedPort());
    const std::wstring otherPhp = MakeFolder(PhpDir() + L"\\php-8.2.9", {{"php.exe", ""}, {"php8apache2_4.dll", ""}});
    ASSERT_TRUE(DoStartApache());
    const std::string refused = "Stop the server before removing the version in use: ";
    // While Apache runs and the database is stopped: component, folder, its path, refused.
    const std::tuple<Comp, std::string, std::wstring, bool> cases[] = {
        {Comp::Apache, "httpd-2.4.58", apacheDir, true},
        {Comp::Php, "PHP-8.3.14", phpDir, true},           // the setting's case need not match
        {Comp::Php, "php-8.2.9", otherPhp, false},         // not the build in use
        {Comp::Database, "mariadb-11.4.2", dbDir, false},  // its own server is stopped
    };
    for (const auto& [comp, name, dir, refusedHere] : cases) {
        installer::RunUninstall(comp, name);
        EXPECT_EQ(PathExists(dir), refusedHere) << name;
        EXPECT_EQ(GetStatus().message == refused + name, refusedHere) << GetStatus().message;
    }
    EXPECT_TRUE(PathExists(apacheDir + L"\\bin\\httpd.exe") && PathExists(phpDir + L"\\php.ini"));
}

// The message stays for the command line; the result of each job says whether the last one failed.
TEST_F(InstallerTest, LastJobResult_FollowsEachJobWhileTheMessageStays) {
    testkit::WriteFile(root / L"bin/php/php-8/php.exe", "x");
    const std::string refused = "This folder cannot be removed from Zerva: ";
    const std::tuple<std::string, bool, std::string> jobs[] = {
        {"..", true, refused + ".."}, {"php-8", false, refused + ".."}, {"", true, refused}, {"php-8", false, refused}};
    for (const auto& [name, failed, message] : jobs) {
        RunJob([&] { installer::Uninstall(Comp::Php, name); });
        EXPECT_EQ(GetStatus().lastJobFailed, failed) << name;
        EXPECT_EQ(GetStatus().message, message) << name;
    }
    installer::RunUninstall(Comp::Php, "");   // a failure outside the queue is no job's result
    EXPECT_FALSE(GetStatus().lastJobFailed);
}

TEST_F(InstallerTest, Queue_ProgressQueuedCountAndCancel) {
    Package slow = Serve(Comp::Php, "9", {});
    slow.url = server.Url("/drip?n=100000&ms=20");
    installer::Install(slow);
    installer::Install(slow);
    ASSERT_TRUE(testkit::WaitFor([] { return GetStatus().progress > 0; }));
    installer::InstallerStatus status = GetStatus();
    EXPECT_TRUE(status.busy && status.queued == 1);
    EXPECT_TRUE(StartsWith(status.step, "Downloading php-9.zip  (") && EndsWith(status.step, " / " + FormatSize(100000) + ")"))
        << status.step;
    installer::Cancel();
    ASSERT_TRUE(testkit::WaitFor([] { return !GetStatus().busy; }));
    status = GetStatus();
    EXPECT_EQ(status.message, "Download failed (" + slow.url + "): cancelled");
    EXPECT_TRUE(status.jobsDone == 1 && status.queued == 0 && !Exists(L"temp/downloads/php-9.zip.part"));
    // The cancel ended with its job: the next install of the session runs.
    const Package next = Serve(Comp::Php, "8.3.14", PhpFiles("php-8.3.14/"));
    RunJob([&] { installer::Install(next); });
    EXPECT_TRUE(Exists(L"bin/php/php-8.3.14/php.exe")) << GetStatus().message;
}

TEST_F(InstallerTest, WorkerCannotStart_JobFailsAtOnce) {
    FailThreadStartsForTesting(true);
    installer::Uninstall(Comp::Php, "x");
    FailThreadStartsForTesting(false);
    const installer::InstallerStatus status = GetStatus();
    EXPECT_TRUE(!status.busy && status.jobsDone == 1 && status.queued == 0);
    EXPECT_EQ(status.message, "Cannot start the installer thread: Removing x");
    RunJob([] { installer::Uninstall(Comp::Php, "x"); });   // the next job starts the worker
    EXPECT_EQ(GetStatus().jobsDone, 2);
}
