// stack/database/data_dir.h: a build's data folder made on first use with root protected by the
// panel's password, the admin tool's clean shutdown and the root password change. The tools run
// hidden and block the calling worker (server or installer) up to their time-outs; no state.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/proc.h"
#include "stack/database/builds.h"

// The setting MYSQL_ROOT_PASSWORD; "tulp" when zerva.ini stores none (a data folder made elsewhere).
std::string GetMysqlRootPassword();
// <data>\mysql, the system database, is a folder.
bool HasMysqlDatabase(const DbInstall& build);

// Ensures an initialized data folder whose root account has `password` (callers pass
// GetMysqlRootPassword): the install tool when a MariaDB build has one, else the server's own
// initialization with an init script. A non-empty data folder without `mysql` is refused and left
// untouched. When zerva.ini stores no root password, a new folder never gets the published
// default: a random one is made, stored first (the initialization is refused when it cannot be)
// and given to root in place of `password`.
[[nodiscard]] bool InitDataDir(const DbInstall& build, const std::string& password, std::string& error);
// Test seam: the time-out of InitDataDir's tool in milliseconds (0: the normal 5 and 10 minutes).
void SetInitTimeoutForTest(uint32_t ms);

// The admin tool on 127.0.0.1 at MYSQL_PORT as root, reading no option file, running `subCommand`
// (words already quoted where needed).
proc::SpawnOptions MysqlAdminCommand(const DbInstall& build, const std::string& password,
                                     const std::wstring& subCommand);
// "shutdown" through the admin tool; true when it ran and exited with 0.
[[nodiscard]] bool MysqlAdminShutdown(const DbInstall& build, const std::string& password);
// Changes root's password on the running server; on failure the tool's filtered output.
[[nodiscard]] bool ChangeRootPassword(const DbInstall& build, const std::string& currentPassword,
                                      const std::string& newPassword, std::string& error);

// ---- Text steps behind the functions above ----
// The text between single quotes in SQL and PHP: backslashes doubled, then a backslash before
// every single quote.
std::string EscapeSingleQuoted(std::string_view text);
// The one line of the init script that sets root's password, with its LF.
std::string InitScriptText(const std::string& password);
// The admin tool's output without blank lines and its notes about passwords on the command line
// and deprecated program names, lines joined with LF.
std::string FilterMysqlAdminOutput(std::string_view output);
// The failure of an initialization run, or nothing when it succeeded: only a run that ended by
// itself and left <data>\mysql behind did.
std::optional<std::string> InitRunFailure(const proc::RunResult& run, bool hasMysqlDatabase);
