#include "stack/database/data_dir.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "core/cmdline.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "stack/apache/builds.h"

namespace {

constexpr uint32_t kInstallToolTimeoutMs = 300000;
constexpr uint32_t kInitializeTimeoutMs = 600000;
constexpr uint32_t kAdminTimeoutMs = 30000;
constexpr size_t kNewRootPasswordLength = 20;

constexpr auto kHalfMadeRemovalTime = std::chrono::milliseconds(10000);

std::atomic<uint32_t> g_initTimeoutForTest{0};

uint32_t InitTimeout(uint32_t productMs) {
    const uint32_t forTest = g_initTimeoutForTest.load();
    return forTest > 0 ? forTest : productMs;
}

std::wstring PortText() { return std::to_wstring(MysqlPort()); }

proc::SpawnOptions InitOptions(const DbInstall& build, const std::wstring& exe) {
    proc::SpawnOptions options;
    options.exe = exe;
    options.workDir = build.dir;
    options.logSource = console::kMySql;
    return options;
}

proc::RunResult RunInstallTool(const DbInstall& build, const std::string& password) {
    proc::SpawnOptions options = InitOptions(build, build.installDbExe);
    options.args = CommandLine()
                       .AddOption(L"--datadir=", DbDataDir(build))
                       .AddOption(L"--password=", Utf8ToWide(password))
                       .Add(L"--port=" + PortText())
                       .Text();
    return proc::Run(std::move(options), InitTimeout(kInstallToolTimeoutMs));
}

// The server initializes the data folder itself and runs the script, which sets root's password.
// Without the script root would keep an empty password, so a script that cannot be written stops
// everything before the server runs.
bool RunServerInitialization(const DbInstall& build, const std::string& password, proc::RunResult& run,
                             std::string& error) {
    if (!WriteMyIni(build, error)) return false;
    const std::wstring script = TempDir() + L"\\zerva_init.sql";
    if (!WriteFileAtomic(script, InitScriptText(password), &error)) return false;
    proc::SpawnOptions options = InitOptions(build, build.serverExe);
    options.args = CommandLine()
                       .AddOption(L"--defaults-file=", MyIniPath(build))
                       .Add(L"--initialize-insecure --console")
                       .AddOption(L"--init-file=", script)
                       .Text();
    run = proc::Run(std::move(options), InitTimeout(kInitializeTimeoutMs));
    (void)RemoveTree(script);  // it holds the password in clear
    return true;
}

// The password a first initialization gives root: the stored one, else a new random one, stored
// before any tool sees it so that nothing is ever initialized with a password Zerva forgot.
bool PasswordForNewFolder(const std::string& given, std::string& password, std::string& error) {
    Config& config = Config::Instance();
    if (config.Has(setting::kMysqlRootPassword)) {
        password = given;
        return true;
    }
    password = RandomAlnum(kNewRootPasswordLength);
    if (password.empty()) {
        error = "cannot make a root password: the random source failed";
        return false;
    }
    if (!config.Set(setting::kMysqlRootPassword, password)) {
        config.Forget(setting::kMysqlRootPassword);
        error = "cannot store the new root password: cannot write zerva.ini";
        return false;
    }
    return true;
}

// Removes what a killed run half made. Windows ends the run's processes, and lets go of their
// files, after the kill has returned: a file still held fails the removal, which is tried again
// until the folder is gone or the time is up.
bool RemoveHalfMadeFolder(const std::wstring& data) {
    const auto deadline = std::chrono::steady_clock::now() + kHalfMadeRemovalTime;
    while (!RemoveTree(data)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// Nothing but a folder with nothing in it counts as empty; a stray file is someone's data.
bool IsEmptyFolder(const std::wstring& path) {
    return IsDirectory(path) && ListFiles(path, "*").empty() && ListSubdirectories(path).empty();
}

}  // namespace

void SetInitTimeoutForTest(uint32_t ms) { g_initTimeoutForTest = ms; }

std::string GetMysqlRootPassword() { return Config::Instance().Get(setting::kMysqlRootPassword); }

bool HasMysqlDatabase(const DbInstall& build) { return IsDirectory(DbDataDir(build) + L"\\mysql"); }

bool InitDataDir(const DbInstall& build, const std::string& given, std::string& error) {
    if (HasMysqlDatabase(build)) return true;
    const std::wstring data = DbDataDir(build);
    if (PathExists(data)) {
        if (!IsEmptyFolder(data)) {
            error = "the data folder is not empty but contains no 'mysql' database: " + WideToUtf8(data);
            return false;
        }
        if (!RemoveTree(data)) {
            error = "cannot delete " + WideToUtf8(data);
            return false;
        }
    }
    std::string password;
    if (!PasswordForNewFolder(given, password, error)) return false;
    LogInfo(console::kMySql,
            Format(Tr("Initializing the data directory (first start of %s)..."), DbProductName(build).c_str()));
    proc::RunResult run;
    if (build.isMariaDb && !build.installDbExe.empty()) {
        run = RunInstallTool(build, password);
    } else if (!RunServerInitialization(build, password, run, error)) {
        return false;
    }
    for (const std::string& line : SplitLines(run.output))
        if (!Trim(line).empty()) LogInfo(console::kMySql, line);
    if (auto failure = InitRunFailure(run, HasMysqlDatabase(build))) {
        // The folder did not exist before this run: whatever a killed run left is half made, and
        // would pass as initialized at the next start.
        error = *failure;
        if (run.timedOut && !RemoveHalfMadeFolder(data))
            error += "; the half-made data folder could not be deleted, delete it before the next start: " +
                     WideToUtf8(data);
        return false;
    }
    LogSuccess(console::kMySql, Tr("Data directory created (user root)."));
    return true;
}

proc::SpawnOptions MysqlAdminCommand(const DbInstall& build, const std::string& password,
                                     const std::wstring& subCommand) {
    proc::SpawnOptions options;
    options.exe = build.adminExe;
    options.workDir = DbBinDir(build);
    options.args = CommandLine()
                       .Add(L"--no-defaults -u root")
                       .AddOption(L"--password=", Utf8ToWide(password))
                       .Add(L"--host=127.0.0.1 --port=" + PortText())
                       .Add(subCommand)
                       .Text();
    return options;
}

bool MysqlAdminShutdown(const DbInstall& build, const std::string& password) {
    if (build.adminExe.empty()) return false;
    const proc::RunResult run = proc::Run(MysqlAdminCommand(build, password, L"shutdown"), kAdminTimeoutMs);
    return run.started && !run.timedOut && run.exitCode == 0;
}

bool ChangeRootPassword(const DbInstall& build, const std::string& currentPassword, const std::string& newPassword,
                        std::string& error) {
    if (build.adminExe.empty()) {
        error = "mysqladmin not found";
        return false;
    }
    const std::wstring subCommand = CommandLine().Add(L"password").AddQuoted(Utf8ToWide(newPassword)).Text();
    const proc::RunResult run = proc::Run(MysqlAdminCommand(build, currentPassword, subCommand), kAdminTimeoutMs);
    if (run.started && !run.timedOut && run.exitCode == 0) return true;
    error = run.started ? FilterMysqlAdminOutput(run.output) : run.error;
    if (error.empty()) error = "mysqladmin failed";
    return false;
}

// ---- Text steps ----

std::string EscapeSingleQuoted(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\\' || c == '\'') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string InitScriptText(const std::string& password) {
    return "ALTER USER 'root'@'localhost' IDENTIFIED BY '" + EscapeSingleQuoted(password) + "';\n";
}

std::string FilterMysqlAdminOutput(std::string_view output) {
    std::vector<std::string> kept;
    for (const std::string& line : SplitLines(output)) {
        if (Trim(line).empty() || ContainsIgnoreCase(line, "password on the command line") ||
            ContainsIgnoreCase(line, "Deprecated program name"))
            continue;
        kept.push_back(line);
    }
    return Join(kept, "\n");
}

std::optional<std::string> InitRunFailure(const proc::RunResult& run, bool hasMysqlDatabase) {
    if (!run.started) return run.error;
    if (run.timedOut) return std::string("data directory initialization timed out");
    if (hasMysqlDatabase) return std::nullopt;
    return "data directory initialization failed (exit code " + std::to_string(run.exitCode) + ")";
}
