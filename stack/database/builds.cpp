#include "stack/database/builds.h"

#include <algorithm>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "stack/apache/builds.h"
#include "stack/php/ini_scan.h"

namespace {

std::optional<DbInstall> FirstNamed(const std::vector<DbInstall>& builds, const std::string& name) {
    for (const DbInstall& build : builds)
        if (EqualsIgnoreCase(build.name, name)) return build;
    return std::nullopt;
}

std::wstring ServerExeIn(const std::wstring& binDir) {
    return FirstExistingFile(binDir, {L"mariadbd.exe", L"mysqld.exe"});
}

std::string MacroPath(const std::wstring& path) {
    std::string text = PathToUtf8(path);
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

// "C:\x", "C:/x", "\x" and "\\server\x" name their place themselves; anything else hangs off a folder.
bool IsAbsolutePath(std::wstring_view path) {
    if (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) return true;
    return path.size() >= 2 && path[1] == L':' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

}  // namespace

// ---- Builds ----

std::vector<DbInstall> ScanDbInstalls() {
    std::vector<DbInstall> builds;
    const std::wstring base = DatabaseDir();
    for (const std::string& name : ListSubdirectories(base)) {
        const std::wstring dir = base + L"\\" + Utf8ToWide(name);
        if (ServerExeIn(dir + L"\\bin").empty()) continue;  // not a build, e.g. a half-extracted folder
        builds.push_back(MakeDbInstall(name, dir));
    }
    std::stable_sort(builds.begin(), builds.end(), InstallNewerFirst<DbInstall>);
    return builds;
}

DbInstall MakeDbInstall(const std::string& name, const std::wstring& dir) {
    DbInstall build;
    build.name = name;
    build.dir = dir;
    const std::wstring bin = DbBinDir(build);
    build.serverExe = ServerExeIn(bin);
    build.adminExe = FirstExistingFile(bin, {L"mariadb-admin.exe", L"mysqladmin.exe"});
    build.clientExe = FirstExistingFile(bin, {L"mariadb.exe", L"mysql.exe"});
    build.installDbExe = FirstExistingFile(bin, {L"mariadb-install-db.exe", L"mysql_install_db.exe"});
    build.isMariaDb = PathExists(bin + L"\\mariadbd.exe") || PathExists(bin + L"\\mariadb.exe") ||
                      ContainsIgnoreCase(name, "mariadb");
    build.version = ExtractVersion(name);
    if (build.version.empty()) build.version = VersionResourceText(build.serverExe);
    build.arch = PeArchitecture(build.serverExe);
    build.configured = PathExists(MyTemplatePath(build));
    return build;
}

std::optional<DbInstall> CurrentDb() {
    const std::vector<DbInstall> builds = ScanDbInstalls();
    if (auto chosen = FirstNamed(builds, GetCurrentDbName())) return chosen;
    if (builds.empty()) return std::nullopt;
    return builds.front();
}

std::optional<DbInstall> FindDb(const std::string& name) { return FirstNamed(ScanDbInstalls(), name); }

std::string GetCurrentDbName() { return Config::Instance().Get(setting::kMysqlCurrentVersion); }

void SetCurrentDbName(const std::string& name) { Config::Instance().Set(setting::kMysqlCurrentVersion, name); }

std::string DbProductName(const DbInstall& build) {
    return std::string(build.isMariaDb ? "MariaDB " : "MySQL ") + (build.version.empty() ? build.name : build.version);
}

std::wstring FirstExistingFile(const std::wstring& folder, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) {
        const std::wstring path = folder + L"\\" + name;
        if (PathExists(path)) return path;
    }
    return {};
}

std::wstring DbBinDir(const DbInstall& build) { return build.dir + L"\\bin"; }
std::wstring DbDataDir(const DbInstall& build) { return build.dir + L"\\data"; }
std::wstring MyTemplatePath(const DbInstall& build) { return build.dir + L"\\my_zerva.ini"; }
std::wstring MyInitialIniPath(const DbInstall& build) { return build.dir + L"\\my_initial.ini"; }
std::wstring MyIniPath(const DbInstall& build) { return build.dir + L"\\my.ini"; }

// ---- Template and my.ini ----

bool EnsureMyTemplate(const DbInstall& build, std::string& error) {
    const std::wstring target = MyTemplatePath(build);
    if (PathExists(target)) return true;
    const std::string text = MyTemplate();
    if (!WriteFileAtomic(target, text, &error)) return false;
    // Without the pristine copy the template still works; only restoring it becomes impossible.
    // Copied through WriteFileAtomic, so a failed copy never leaves half a file behind.
    (void)WriteFileAtomic(MyInitialIniPath(build), text);
    return true;
}

MacroMap MakeMyIniMacros(const std::wstring& buildDir, const std::wstring& rootDir, const std::wstring& tempDir,
                         int port, bool online) {
    return {
        {"MYSQLPATH", MacroPath(buildDir)},
        {"MYSQLBINPATH", MacroPath(buildDir + L"\\bin")},
        {"MYSQLDATAPATH", MacroPath(buildDir + L"\\data")},
        {"MYSQL_PORT", std::to_string(port)},
        {"MYSQL_BIND", online ? "0.0.0.0" : "127.0.0.1"},
        {"TEMPPATH", MacroPath(tempDir)},
        {"ZERVAPATH", MacroPath(rootDir)},
    };
}

MacroMap MyIniMacros(const DbInstall& build) {
    return MakeMyIniMacros(build.dir, RootDir(), TempDir(), MysqlPort(), IsOnlineMode());
}

bool WriteMyIni(const DbInstall& build, std::string& error) {
    const std::wstring source = MyTemplatePath(build);
    std::optional<std::string> text = ReadTextFile(source);
    if (!text) {
        error = "cannot read " + WideToUtf8(source);
        return false;
    }
    const std::wstring target = MyIniPath(build);
    if (!WriteFileAtomic(target, ExpandMacros(std::move(*text), MyIniMacros(build)), &error)) return false;
    return true;
}

bool ResetMyTemplate(const DbInstall& build) {
    std::string bytes;
    return ReadWholeFile(MyInitialIniPath(build), bytes) && WriteFileAtomic(MyTemplatePath(build), bytes);
}

// ---- The port the server is given ----

namespace {

// The server reads an included file from depth 1; at this depth it reads the file but skips its
// directives (with a warning), which also ends a file that includes itself.
constexpr int kMaxIncludeDepth = 10;

struct PortReading {
    const std::vector<std::string>& groups;
    const OptionIncludes& includes;
    std::optional<PortOption> port;
};

void ReadOptionText(PortReading& reading, std::string_view text, const std::string& file, int depth);

// A group name is compared ignoring case; the blanks before "]" are dropped, the ones after "["
// are part of the name ("[ mysqld]" is no group the server reads).
bool IsReadGroup(std::string_view line, size_t close, const std::vector<std::string>& groups) {
    std::string_view name = line.substr(1, close - 1);
    while (!name.empty() && IsSpace(name.back())) name.remove_suffix(1);
    return std::any_of(groups.begin(), groups.end(),
                       [&](const std::string& group) { return EqualsIgnoreCase(name, group); });
}

// An option's value as the server reads it: between quotes when it starts with one, else up to a
// comment sign, blanks trimmed.
std::string OptionValue(std::string_view raw) {
    const std::string value = Trim(raw);
    if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
        const size_t close = value.find(value[0], 1);
        return value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return Trim(std::string_view(value).substr(0, value.find('#')));
}

// The folder's files the server includes: on Windows those whose name ends, after its last
// period, in ".ini" or ".cnf" exactly (".INI" is not), in byte order of their names. None when
// the folder cannot be listed.
std::optional<std::vector<std::string>> IncludedFolderFiles(const OptionIncludes& includes, const std::string& folder) {
    std::optional<std::vector<std::string>> listed =
        includes.listFolder ? includes.listFolder(folder) : std::vector<std::string>{};
    if (!listed) return std::nullopt;
    std::vector<std::string>& names = *listed;
    std::erase_if(names, [](const std::string& name) {
        const size_t dot = name.rfind('.');
        return dot == std::string::npos || (name.compare(dot, std::string::npos, ".ini") != 0 &&
                                            name.compare(dot, std::string::npos, ".cnf") != 0);
    });
    std::sort(names.begin(), names.end());
    const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    for (std::string& name : names) name = folder + (separated ? "" : "\\") + name;
    return listed;
}

// "!include <file>" or "!includedir <folder>" (a lower-case word after "!" and blanks, then a
// blank), followed where it stands; other directives are skipped. The argument is cut as the
// server cuts it: the raw line's last character (its line end) and the blanks before it go, so
// a last line without a line end loses the last letter of its path. False for a directive
// without its argument, or for a folder the server cannot list (a missing one): errors that end
// the file they are in, while a missing file is only skipped.
bool FollowDirective(PortReading& reading, std::string_view raw, size_t bang, int depth) {
    const size_t word = SkipSpaces(raw, bang + 1);
    const auto isKeyword = [&](std::string_view keyword) {
        return raw.substr(word, keyword.size()) == keyword && word + keyword.size() < raw.size() &&
               IsSpace(raw[word + keyword.size()]);
    };
    constexpr std::string_view kFolder = "includedir", kFile = "include";
    const bool folder = isKeyword(kFolder);
    if (!folder && !isKeyword(kFile)) return true;
    std::string_view argument = raw.substr(SkipSpaces(raw, word + (folder ? kFolder : kFile).size()));
    if (argument.empty()) return false;
    argument.remove_suffix(1);
    while (!argument.empty() && IsSpace(argument.back())) argument.remove_suffix(1);
    if (argument.empty()) return false;
    const std::string path(argument);
    const std::optional<std::vector<std::string>> files =
        folder ? IncludedFolderFiles(reading.includes, path) : std::vector{path};
    if (!files) return false;
    for (const std::string& file : *files)
        if (const std::optional<std::string> text = reading.includes.readFile(file))
            ReadOptionText(reading, *text, file, depth + 1);
    return true;
}

// The server reads lines up to each LF. In its own option file (depth 0) a line it cannot take
// stops it from starting at all, which the start then reports; here such a line is passed over.
// In an included file it ends that file, and the server goes on after the directive.
void ReadOptionText(PortReading& reading, std::string_view text, const std::string& file, int depth) {
    bool inGroup = false, anyGroup = false;
    for (size_t start = 0, next = 0; start < text.size(); start = next) {
        const size_t lf = text.find('\n', start);
        next = lf == std::string_view::npos ? text.size() : lf + 1;
        const std::string_view raw = text.substr(start, next - start);
        const size_t first = SkipSpaces(raw, 0);
        if (first == raw.size() || raw[first] == '#' || raw[first] == ';') continue;
        bool understood = true;
        if (raw[first] == '!') {
            if (depth < kMaxIncludeDepth && reading.includes.readFile)
                understood = FollowDirective(reading, raw, first, depth);
        } else if (raw[first] == '[') {
            const size_t close = raw.find(']', first);
            understood = close != std::string_view::npos;
            anyGroup = anyGroup || understood;
            inGroup = understood && IsReadGroup(raw.substr(first), close - first, reading.groups);
        } else if (!anyGroup) {
            understood = false;
        } else if (inGroup) {
            const std::string line = Trim(raw);
            const size_t equals = line.find('=');
            std::string name = ToLower(Trim(line.substr(0, equals)));
            std::replace(name.begin(), name.end(), '_', '-');
            if (StartsWith(name, "loose-")) name.erase(0, 6);
            if (name != "port") continue;
            reading.port = PortOption{equals == std::string::npos ? "" : OptionValue(line.substr(equals + 1)), file};
        }
        if (!understood && depth > 0) return;
    }
}

}  // namespace

std::vector<std::string> ServerOptionGroups(bool isMariaDb, std::string_view version) {
    std::vector<std::string> groups = {"mysqld", "server"};
    if (isMariaDb) groups.insert(groups.end(), {"mariadb", "mariadbd", "client-server"});
    // Only the series the server was built as: [mysqld-5.7] is not read by 11.4, and [server] and
    // [client-server] have no versioned form.
    if (version.find('.') == std::string_view::npos) return groups;
    std::vector<std::string> versioned = {"mysqld"};
    if (isMariaDb) versioned.insert(versioned.end(), {"mariadb", "mariadbd"});
    for (std::string& name : versioned) groups.push_back(name.append("-").append(VersionMajorMinor(version)));
    return groups;
}

std::optional<PortOption> ServerPortOption(std::string_view optionFile, const std::vector<std::string>& groups,
                                           const OptionIncludes& includes) {
    PortReading reading{groups, includes, std::nullopt};
    ReadOptionText(reading, optionFile, "", 0);
    return reading.port;
}

std::optional<int> ListenablePort(std::string_view value) {
    int port = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
        if (port > 65535) return std::nullopt;
    }
    if (port == 0) return std::nullopt;  // also the empty value
    return port;
}

std::optional<int> PortOtherThanSetting(std::string_view value, int settingPort) {
    const std::optional<int> port = ListenablePort(value);
    if (port && *port != settingPort) return port;
    return std::nullopt;
}

std::wstring PathFromFolder(const std::wstring& workDir, std::string_view path) {
    const std::wstring wide = Utf8ToWide(path);
    const bool rooted = !wide.empty() && (wide[0] == L'\\' || wide[0] == L'/');
    if (rooted && !(wide.size() >= 2 && (wide[1] == L'\\' || wide[1] == L'/')))
        return (workDir.size() >= 2 && workDir[1] == L':' ? workDir.substr(0, 2) : std::wstring()) + wide;
    return IsAbsolutePath(wide) ? wide : workDir + L"\\" + wide;
}

// ---- Error log ----

std::optional<std::string> MatchLogErrorLine(std::string_view line) {
    size_t i = SkipSpaces(line, 0);
    const auto word = [&](std::string_view expected) {
        if (line.size() - i < expected.size() || !EqualsIgnoreCase(line.substr(i, expected.size()), expected))
            return false;
        i += expected.size();
        return true;
    };
    if (!word("log")) return std::nullopt;
    if (i == line.size() || (line[i] != '-' && line[i] != '_')) return std::nullopt;
    ++i;
    if (!word("error")) return std::nullopt;
    i = SkipSpaces(line, i);
    if (i == line.size() || line[i] != '=') return std::nullopt;
    const size_t afterEquals = i + 1;
    const size_t blanksEnd = SkipSpaces(line, afterEquals);
    size_t tail = line.size();  // where the trailing blanks begin
    while (tail > 0 && IsSpace(line[tail - 1])) --tail;
    const auto restMatches = [&](size_t at) { return at >= tail || (line[at] == '"' && at + 1 >= tail); };
    const auto valueChar = [](char c) { return c != '"' && c != '\r' && c != '\n'; };
    // Tried in the pattern's backtracking order: the most leading blanks, an opening quote taken
    // before it is left, then the shortest value. A value of blanks alone is thus possible.
    for (size_t start = blanksEnd + 1; start-- > afterEquals;) {
        for (int quote = 1; quote >= 0; --quote) {
            if (quote == 1 && (start == line.size() || line[start] != '"')) continue;
            const size_t first = start + size_t(quote);
            for (size_t end = first; end < line.size() && valueChar(line[end]);) {
                ++end;
                if (restMatches(end)) return std::string(line.substr(first, end - first));
            }
        }
    }
    return std::nullopt;
}

std::wstring FindDbErrorLog(const DbInstall& build) {
    const std::wstring data = DbDataDir(build);
    for (const std::wstring& file : {MyIniPath(build), MyTemplatePath(build)}) {
        const std::optional<std::string> text = ReadTextFile(file);
        if (!text) continue;
        for (const std::string& line : SplitLinesAnyEnd(*text)) {
            const auto value = MatchLogErrorLine(line);
            if (!value) continue;
            // Expanded either way, so a value read from the template names what my.ini would.
            const std::wstring path = Utf8ToWide(ExpandMacros(*value, MyIniMacros(build)));
            return IsAbsolutePath(path) ? path : data + L"\\" + path;
        }
    }
    std::wstring newest;
    uint64_t newestTime = 0;
    for (const std::string& name : ListFiles(data, "*.err")) {
        const std::wstring path = data + L"\\" + Utf8ToWide(name);
        const uint64_t time = FileWriteTime(path);
        if (time > newestTime) {  // strictly later: on equal times the first name stays
            newest = path;
            newestTime = time;
        }
    }
    if (!newest.empty()) return newest;
    const std::string computer = ComputerName();
    return data + L"\\" + Utf8ToWide(computer.empty() ? "localhost" : computer) + L".err";
}
