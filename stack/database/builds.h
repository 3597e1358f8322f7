// stack/database/builds.h: the MySQL and MariaDB builds installed under <root>\bin\database, the
// current one (setting MYSQL_CURRENT_VERSION), each build's template my_zerva.ini with its pristine
// copy, the my.ini generated from it, and where the server writes its error log. Nothing is cached
// and nothing is logged: failures come back as false plus an English text. Any thread.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

struct DbInstall {
    std::string name;           // folder name under bin\database
    std::wstring dir;           // <root>\bin\database\<name>
    std::string version;        // first dotted number of the name, else the server's resource; may be ""
    bool isMariaDb = false;     // mariadbd.exe or mariadb.exe in bin, else "mariadb" in the name
    int32_t arch = 0;           // PeArchitecture of serverExe: 0 unknown, 1 x86, 2 x64, 3 arm64
    std::wstring serverExe;     // bin\mariadbd.exe, else bin\mysqld.exe
    std::wstring adminExe;      // bin\mariadb-admin.exe, else bin\mysqladmin.exe; "" when neither
    std::wstring clientExe;     // bin\mariadb.exe, else bin\mysql.exe; "" when neither
    std::wstring installDbExe;  // bin\mariadb-install-db.exe, else bin\mysql_install_db.exe; ""
    bool configured = false;    // my_zerva.ini exists
};

// ---- Builds ----
// Every folder under bin\database whose bin holds a server program, newest first.
std::vector<DbInstall> ScanDbInstalls();
DbInstall MakeDbInstall(const std::string& name, const std::wstring& dir);
// The build named by MYSQL_CURRENT_VERSION (any case), else the newest; none without builds.
std::optional<DbInstall> CurrentDb();
std::optional<DbInstall> FindDb(const std::string& name);
std::string GetCurrentDbName();
void SetCurrentDbName(const std::string& name);
// "MariaDB 11.4.2" or "MySQL 8.0.36"; the folder name stands in for a missing version.
std::string DbProductName(const DbInstall& build);
// folder\name for the first name that exists there, in list order; "" when none does.
std::wstring FirstExistingFile(const std::wstring& folder, std::initializer_list<const wchar_t*> names);

std::wstring DbBinDir(const DbInstall& build);          // dir\bin
std::wstring DbDataDir(const DbInstall& build);         // dir\data
std::wstring MyTemplatePath(const DbInstall& build);    // dir\my_zerva.ini
std::wstring MyInitialIniPath(const DbInstall& build);  // dir\my_initial.ini
std::wstring MyIniPath(const DbInstall& build);         // dir\my.ini

// ---- Template and my.ini ----
// Writes the built-in template to my_zerva.ini (and my_initial.ini) when it is missing; an
// existing template, even an empty one, is never replaced.
[[nodiscard]] bool EnsureMyTemplate(const DbInstall& build, std::string& error);
// The macros of my.ini for this build, from the root folder and the current settings.
MacroMap MyIniMacros(const DbInstall& build);
// my.ini from my_zerva.ini with the macros expanded; line ends kept. The template is read as the
// text it is (ReadTextFile); my.ini is UTF-8 without a byte-order mark, as the server reads.
[[nodiscard]] bool WriteMyIni(const DbInstall& build, std::string& error);
// my_zerva.ini back from my_initial.ini; false, changing nothing, without the copy.
[[nodiscard]] bool ResetMyTemplate(const DbInstall& build);
// The error log named by my.ini or my_zerva.ini (each read with ReadTextFile), else the
// newest data\*.err, else data\<computer name>.err. The file need not exist.
std::wstring FindDbErrorLog(const DbInstall& build);

// ---- The port the server is given ----
// The option groups a build's server reads, lower case: [mysqld], [server] and [mysqld-X.Y] for
// MySQL; MariaDB's also [mariadb], [mariadb-X.Y], [mariadbd], [mariadbd-X.Y] and [client-server].
// X.Y is the series of `version` ("11.4" of "11.4.2"); a version without one adds no X.Y group.
std::vector<std::string> ServerOptionGroups(bool isMariaDb, std::string_view version);
// How the files an option file includes are reached. Paths come as the server forms them from
// "!include <file>" and "!includedir <folder>" (relative ones start from its working folder).
struct OptionIncludes {
    // A file's bytes; none when it cannot be opened (the server skips such a file).
    std::function<std::optional<std::string>(const std::string& path)> readFile;
    // The names of the files in a folder, in any order; none when it cannot be listed (a missing
    // folder, or a file).
    std::function<std::optional<std::vector<std::string>>(const std::string& folder)> listFolder;
};
struct PortOption {
    std::string value;  // quotes and a trailing comment taken off
    std::string file;   // the included file holding it, as the server names it; "" for the option file itself
};
// The last "port" option the database server reads from an option file's text, in one of
// `groups` (ServerOptionGroups); "loose-" before the name and "_" for "-" count alike. With
// `includes`, "!include" and "!includedir" are followed where they stand as the server follows
// them: a folder's files ending in ".ini" or ".cnf" in name order, ten levels deep at most, an
// included file read until a line the server cannot take in it (an option before any group, or
// "!includedir" of a folder it cannot list). Without, they are skipped. None when no such line exists.
std::optional<PortOption> ServerPortOption(std::string_view optionFile, const std::vector<std::string>& groups,
                                           const OptionIncludes& includes = {});
// The port a value names when a server can listen on it: decimal digits only, 1 to 65535.
std::optional<int> ListenablePort(std::string_view value);
// A port fixed by hand in place of {MYSQL_PORT}: the port an option's value gives the server when
// it can listen on it and it is not `settingPort` (MYSQL_PORT, the port the start waits on and
// phpMyAdmin and the tools are given). None when it is that port, or no port to listen on at all.
std::optional<int> PortOtherThanSetting(std::string_view value, int settingPort);
// The file a path names for a server started in `workDir`: a relative one from that folder, one
// rooted without a drive ("\x") on its drive; others as they are.
std::wstring PathFromFolder(const std::wstring& workDir, std::string_view path);

// ---- Text steps behind the functions above ----
// The macro map from its inputs: paths UTF-8 with forward slashes and no trailing slash;
// MYSQL_BIND "0.0.0.0" when online, else "127.0.0.1".
MacroMap MakeMyIniMacros(const std::wstring& buildDir, const std::wstring& rootDir, const std::wstring& tempDir,
                         int port, bool online);
// Group 1 of ^\s*log[-_]error\s*=\s*"?([^"\r\n]+?)"?\s*$ (ASCII case-insensitive) matched
// against the whole line, or nothing. Scanned by hand: a user's long line cannot overflow
// the stack as libstdc++'s recursive matcher would.
std::optional<std::string> MatchLogErrorLine(std::string_view line);
