// control/start.cpp: the start sequences of Apache and the database server: configuration
// regenerated from the templates, build and port checks, the hidden spawn, and the wait until
// the server listens. Server worker only.
#include "control/start.h"

#include <optional>
#include <string>
#include <vector>

#include "control/monitor.h"
#include "control/sequences.h"
#include "control/server_status.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/files.h"
#include "core/log.h"
#include "core/proc.h"
#include "core/text.h"
#include "core/translate.h"
#include "stack/apache/builds.h"
#include "stack/apache/httpd_conf.h"
#include "stack/apache/ssl_cert.h"
#include "stack/database/builds.h"
#include "stack/database/data_dir.h"
#include "stack/php/builds.h"
#include "stack/phpmyadmin/config.h"

namespace {

constexpr int32_t kApacheListenWaitMs = 8000;
constexpr int32_t kMySqlListenWaitMs = 60000;

std::string JoinPorts(const std::vector<int32_t>& ports) {
    std::vector<std::string> texts;
    for (int32_t port : ports) texts.push_back(std::to_string(port));
    return Join(texts, ", ");
}

// The build to reinstall by its product and version, or its folder name when it has no version.
std::string NotAProgramNotice(const std::wstring& program, const std::string& product, const std::string& version,
                              const std::string& folder) {
    const std::string build = product + " " + (version.empty() ? folder : version);
    return Format(Tr("%s is not a valid Windows program: the build is damaged or incomplete.\n"
                     "Reinstall %s from the Components page."),
                  WideToUtf8(program).c_str(), build.c_str());
}

// A server program that is no program is said to be so, with the way out, rather than compared
// as an architecture "?" or left to the system's start error.
template <class Install>
bool IsProgram(const Install& build) {
    if (build.arch != 0) return true;
    QueueAlert(Alert{Tr("Not a valid Windows program"), NotAProgramText(build), true, alert_action::kComponents});
    return false;
}

// Checks the current PHP build Apache is to load, configures it on first use and writes its
// php.ini; `php` becomes the build to use, empty for none. False, after logging or alerting,
// when the start must not go on.
bool PreparePhp(const ApacheInstall& apache, std::optional<PhpInstall>& php) {
    php = CurrentPhp();
    if (!php) {
        LogWarning(console::kApache, Tr("No PHP version installed: Apache starts without PHP."));
        return true;
    }
    if (!IsProgram(*php)) return false;
    if (php->apacheDll.empty()) {
        QueueAlert(Alert{
            Tr("PHP version not usable"),
            Format(Tr("%s has no Apache module (php*apache2_4.dll). Use a Thread Safe (TS) build."),
                   PhpInstallLabel(*php).c_str()),
            true, alert_action::kPhp});
        return false;
    }
    if (php->arch != apache.arch) {
        QueueAlert(Alert{
            Tr("Incompatible architectures"),
            Format(Tr("PHP %s is %s but Apache %s is %s.\nApache can only load a PHP build of the same architecture."),
                   php->version.c_str(), ArchName(php->arch), apache.version.c_str(), ArchName(apache.arch)),
            true, alert_action::kPhp});
        return false;
    }
    if (!php->configured) {
        const auto templates = ListPhpIniTemplates(*php);
        std::string error = "no php.ini template";
        if (!templates.empty() && BuildPhpTemplate(*php, templates.front(), error)) error.clear();
        if (!error.empty()) {
            LogError(console::kPhp, "PHP " + php->version + ": " + error);
            return false;
        }
        LogInfo(console::kPhp, Format(Tr("PHP %s configured from %s."), php->version.c_str(), templates.front().c_str()));
        const std::string name = php->name;
        php = FindPhp(name);
        // Without the configured record neither the runtime copy nor php.ini can be made.
        if (!php) {
            LogError(console::kPhp, Format(Tr("PHP build %s is no longer found."), name.c_str()));
            return false;
        }
    }
    CopyVcRuntime(php->dir, php->arch);
    std::string error;
    if (!WritePhpIni(*php, HttpdConfMacros(apache, php), error)) {
        LogError(console::kPhp, error);
        return false;
    }
    return true;
}

// Configuration test and port checks; fails after logging and alerting.
bool CheckApacheConfig(const ApacheInstall& apache, const std::optional<PhpInstall>& php) {
    std::string output;
    if (!TestApacheConfig(apache, php, output)) {
        for (const auto& line : SplitLines(output)) LogError(console::kApache, line);
        QueueAlert(Alert{Tr("Apache configuration error"), output.empty() ? Tr("httpd -t failed.") : output, true,
                         alert_action::kApache});
        return false;
    }
    for (int32_t port : ParseListenPorts(HttpdConfPath(apache)))
        if (!CheckPortFree(port, "Apache", alert_action::kApache)) return false;
    return true;
}

// The files my.ini includes, reached as the server reaches them: it runs in the build's folder
// (the spawn's workDir), where relative paths start, and reads their bytes as they are. A folder
// that is not there cannot be listed, where an empty one lists no file.
OptionIncludes ServerIncludes(const DbInstall& db) {
    return {[dir = db.dir](const std::string& path) { return ReadWholeFile(PathFromFolder(dir, path)); },
            [dir = db.dir](const std::string& folder) -> std::optional<std::vector<std::string>> {
                const std::wstring path = PathFromFolder(dir, folder);
                if (!IsDirectory(path)) return std::nullopt;
                return ListFiles(path, "*");
            }};
}

// Whether the template's own last port line holds {MYSQL_PORT}: the line my.ini's port comes from
// when no included file sets one after it.
bool TemplatePortIsTheMacro(const DbInstall& db, const std::vector<std::string>& groups) {
    const std::optional<PortOption> line = ServerPortOption(ReadTextFile(MyTemplatePath(db)).value_or(""), groups);
    return line && line->value.find("{MYSQL_PORT}") != std::string::npos;
}

// The port my.ini gives the server must be one it can listen on: without a port line it would take
// a port of its own choosing, and with a port it cannot take it would not listen at all, while
// the start waits on MYSQL_PORT. MYSQL_PORT itself must be a port as written: letters in it
// ("abc", "3307x") would read as the default 3306 or as the digits before them, and the server
// would be started on a port nobody set. A port fixed by hand in the template or a file it
// includes, other than MYSQL_PORT, would have the start wait on the wrong port and phpMyAdmin and
// the tools knock on it. The refusal names the value and the file it comes from: the MYSQL_PORT
// setting when it is no port or the template's port line holds its macro, else the template or
// the included file, where no macro is expanded.
bool CheckDbPort(const DbInstall& db) {
    const std::string stored = Config::Instance().Get(setting::kMysqlPort);
    const bool storedIsPort = stored.empty() || ListenablePort(stored);   // empty reads as the default
    const std::vector<std::string> groups = ServerOptionGroups(db.isMariaDb, db.version);
    // my.ini as the server reads it, byte for byte; the template as the text its editor saved.
    const std::optional<PortOption> option =
        ServerPortOption(ReadWholeFile(MyIniPath(db)).value_or(""), groups, ServerIncludes(db));
    const bool included = option && !option->file.empty();
    const std::string templatePath = WideToUtf8(MyTemplatePath(db));
    const std::string where = included ? WideToUtf8(PathFromFolder(db.dir, option->file)) : templatePath;
    const int mysqlPort = MysqlPort();
    std::string problem, remedy;
    if (option && ListenablePort(option->value) && storedIsPort) {
        const std::optional<int> fixed = PortOtherThanSetting(option->value, mysqlPort);
        if (!fixed) return true;
        problem = Format(Tr("%s gives the database server the port %d, not the MySQL port %d of Zerva (MYSQL_PORT in "
                            "zerva.ini), on which Zerva and phpMyAdmin reach it."),
                         where.c_str(), *fixed, mysqlPort);
        remedy = included ? Format(Tr("Write \"port = %d\" there ({MYSQL_PORT} is not expanded in a file that "
                                      "my_zerva.ini includes), or set the port to %d on the MySQL / MariaDB page."),
                                   mysqlPort, *fixed)
                          : Format(Tr("Write \"port = {MYSQL_PORT}\" there (Edit my_zerva.ini on the MySQL / MariaDB "
                                      "page) to use port %d, or set the port to %d on that page."),
                                   mysqlPort, *fixed);
    } else if (!option) {
        problem = Format(Tr("%s has no port line under [mysqld]: the server would listen on a port of its own."),
                         templatePath.c_str());
        remedy = Tr("Add the line \"port = {MYSQL_PORT}\" (Edit my_zerva.ini on the MySQL / MariaDB page), or "
                    "restore the initial configuration there.");
    } else if (!storedIsPort || (!included && TemplatePortIsTheMacro(db, groups))) {
        problem = Format(Tr("The database port \"%s\" (MYSQL_PORT in zerva.ini) is not a port from 1 to 65535."),
                         stored.c_str());
        remedy = Tr("Set the port on the MySQL / MariaDB page.");
    } else {
        problem = Format(Tr("The database port \"%s\" in %s is not a port from 1 to 65535."), option->value.c_str(),
                         where.c_str());
        remedy = included ? Format(Tr("Write \"port = %d\" there ({MYSQL_PORT} is not expanded in a file that "
                                      "my_zerva.ini includes)."),
                                   mysqlPort)
                          : Tr("Correct it (Edit my_zerva.ini on the MySQL / MariaDB page), or restore the initial "
                               "configuration there.");
    }
    LogError(console::kMySql, problem);
    QueueAlert(Alert{Tr("MySQL port not usable"), problem + "\n" + remedy, true, alert_action::kMySql});
    return false;
}

}  // namespace

std::string NotAProgramText(const ApacheInstall& build) {
    return NotAProgramNotice(HttpdExePath(build), "Apache", build.version, build.name);
}

std::string NotAProgramText(const PhpInstall& build) {
    return NotAProgramNotice(PhpProgramPath(build), "PHP", build.version, build.name);
}

std::string NotAProgramText(const DbInstall& build) {
    return NotAProgramNotice(build.serverExe, build.isMariaDb ? "MariaDB" : "MySQL", build.version, build.name);
}

bool DoStartApache() {
    if (!FindApacheProcesses().empty()) return true;
    const auto apache = CurrentApache();
    if (!apache) {
        QueueAlert(Alert{Tr("Apache is not installed"),
                         Tr("No Apache version was found in bin/apache.\nInstall one from the Components page."), true,
                         alert_action::kComponents});
        return false;
    }
    SetBusyLabel(Tr("Starting Apache..."));
    LogInfo(console::kApache, std::string(Tr("Starting Apache")) + " " + ApacheInstallLabel(*apache) + "...");
    if (!IsProgram(*apache)) return false;
    std::string error;
    if (!BuildApacheTemplate(*apache, error)) {
        LogError(console::kApache, error);
        return false;
    }
    std::optional<PhpInstall> php;
    if (!PreparePhp(*apache, php)) return false;
    CopyVcRuntime(apache->dir + L"\\bin", apache->arch);
    (void)EnsureSslCertificate(*apache);
    // phpMyAdmin is of no use to the start: a file it cannot have is a warning, not a failure.
    if (PathExists(PhpMyAdminDir() + L"\\index.php") && !PathExists(PhpMyAdminConfigPath()) &&
        !WritePhpMyAdminConfig(&error))
        LogWarning(console::kApache, error);
    if (!WriteHttpdConf(*apache, php, error)) {
        LogError(console::kApache, error);
        return false;
    }
    if (!CheckApacheConfig(*apache, php)) return false;

    RearmApacheTail(ApacheErrorLogPath(*apache));
    const std::vector<int32_t> freeBefore = FreePorts(ParseListenPorts(HttpdConfPath(*apache)));
    proc::SpawnOptions options = HttpdSpawnOptions(*apache, php);
    options.args = CommandLine().Add(L"-f").AddQuoted(HttpdConfPath(*apache)).Add(L"-d").AddQuoted(apache->dir).Text();
    options.logSource = console::kApache;
    const proc::Process server = proc::SpawnProcess(options, &error);
    if (server.Pid() == 0) {
        LogError(console::kApache, Tr("Cannot start httpd.exe: ") + error);
        return false;
    }

    const std::vector<int32_t> ports = ParseListenPorts(HttpdConfPath(*apache));
    const bool listening = WaitUntil(kApacheListenWaitMs, [&] {
        return !server.IsRunning() || PortsServed(ports, freeBefore, [] { return PidsOf(FindApacheProcesses()); });
    });
    RefreshStatus();
    if (server.IsRunning()) {
        SetApacheBaseline(ApacheConfigSignature());
        if (!listening) {
            LogWarning(console::kApache, Tr("Apache is running but does not listen on every port yet."));
        } else {
            std::string line = std::string(Tr("Apache started")) + " (" + Tr("ports") + " " + JoinPorts(ports) + ")";
            // Named only when httpd.conf loads it: its module may be switched off on the Modules tab.
            if (php && GeneratedConfLoadsPhp(*apache)) line += " - PHP " + php->version;
            LogSuccess(console::kApache, line);
        }
        return true;
    }
    LogError(console::kApache, Tr("Apache stopped right after starting. See the messages above or logs/error.log."));
    QueueAlert(Alert{Tr("Apache did not start"),
                     Tr("Apache stopped right after starting.\nCheck the console and the Apache error log."), true,
                     alert_action::kNone});
    return false;
}

bool DoStartMySql() {
    if (!FindMySqlProcesses().empty()) return true;
    const auto db = CurrentDb();
    if (!db) {
        QueueAlert(Alert{
            Tr("MySQL / MariaDB is not installed"),
            Tr("No database server was found in bin/database.\nInstall MariaDB from the Components page."), true,
            alert_action::kComponents});
        return false;
    }
    SetBusyLabel(Tr("Starting MySQL..."));
    const std::string product = DbProductName(*db);
    LogInfo(console::kMySql, std::string(Tr("Starting")) + " " + product + "...");
    if (!IsProgram(*db)) return false;
    std::string error;
    if (!EnsureMyTemplate(*db, error) || !WriteMyIni(*db, error)) {
        LogError(console::kMySql, error);
        return false;
    }
    if (!CheckDbPort(*db)) return false;
    CopyVcRuntime(DbBinDir(*db), db->arch);
    if (!HasMysqlDatabase(*db) && !InitDataFolder(*db, error)) {
        LogError(console::kMySql, error);
        QueueAlert(Alert{Tr("MySQL initialization failed"), error, true, alert_action::kMySql});
        return false;
    }
    const int32_t port = MysqlPort();
    if (!CheckPortFree(port, "MySQL", alert_action::kMySql)) return false;

    RearmMySqlTail(FindDbErrorLog(*db));
    const std::vector<int32_t> freeBefore = FreePorts({port});
    proc::SpawnOptions options;
    options.exe = db->serverExe;
    options.args = CommandLine().AddOption(L"--defaults-file=", MyIniPath(*db)).Text();
    options.workDir = db->dir;
    options.pathPrepend = DbBinDir(*db);
    options.logSource = console::kMySql;
    const proc::Process server = proc::SpawnProcess(options, &error);
    if (server.Pid() == 0) {
        LogError(console::kMySql, Tr("Cannot start the database server: ") + error);
        return false;
    }

    const bool listening = WaitUntil(kMySqlListenWaitMs, [&] {
        return !server.IsRunning() || PortsServed({port}, freeBefore, [] { return PidsOf(FindMySqlProcesses()); });
    });
    RefreshStatus();
    if (server.IsRunning()) {
        SetMySqlBaseline(MySqlConfigSignature());
        if (!listening)
            LogWarning(console::kMySql, Tr("The database server is running but does not answer on its port yet."));
        else
            LogSuccess(console::kMySql, product + " " + Tr("started") + " (" + Tr("port") + " " + std::to_string(port) + ")");
        return true;
    }
    LogError(console::kMySql, Tr("The database server stopped right after starting. See the MySQL error log."));
    QueueAlert(Alert{
        Tr("MySQL did not start"),
        Tr("The database server stopped right after starting.\nCheck the console and the MySQL error log (Logs page)."),
        true, alert_action::kMySql});
    return false;
}
