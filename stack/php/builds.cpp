#include "stack/php/builds.h"

#include <algorithm>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/php/ini_scan.h"

namespace {

// One way a sample may already carry a forced directive: the key pattern, and for the
// extension folder the distribution's relative value that must follow the "=".
struct ForcedPattern {
    KeyPattern key;
    std::string_view valuePrefix;
};

struct ForcedLine {
    const char* line;
    std::vector<ForcedPattern> patterns;  // tried in order; the first one found anywhere wins
    bool needsCaBundle;
};

const std::vector<ForcedLine>& ForcedLines() {
    using M = CommentMark;
    static const std::vector<ForcedLine> lines = {
        {"extension_dir = \"{PHPEXTPATH}\"",
         {{{"extension_dir", M::Optional, true}, "\"ext\""},
          {{"extension_dir", M::None, false}, ""},
          {{"extension_dir", M::Optional, true}, ""}},
         false},
        {"session.save_path = \"{TEMPPATH}/sessions\"",
         {{{"session.save_path", M::Required, false}, ""}, {{"session.save_path", M::None, false}, ""}},
         false},
        {"upload_tmp_dir = \"{TEMPPATH}/uploads\"", {{{"upload_tmp_dir", M::Optional, false}, ""}}, false},
        {"sys_temp_dir = \"{TEMPPATH}\"",
         {{{"sys_temp_dir", M::Required, true}, ""}, {{"sys_temp_dir", M::None, false}, ""}},
         false},
        {"curl.cainfo = \"{CACERTPATH}\"", {{{"curl.cainfo", M::Optional, false}, ""}}, true},
        {"openssl.cafile = \"{CACERTPATH}\"", {{{"openssl.cafile", M::Optional, false}, ""}}, true},
    };
    return lines;
}

bool FoundIn(const std::string& line, const ForcedPattern& pattern) {
    const auto equals = MatchKeyAssignment(line, pattern.key);
    if (!equals) return false;
    if (pattern.valuePrefix.empty()) return true;
    const size_t value = SkipSpaces(line, *equals);
    return line.size() - value >= pattern.valuePrefix.size() &&
           EqualsIgnoreCase(std::string_view(line).substr(value, pattern.valuePrefix.size()), pattern.valuePrefix);
}

void ApplyForcedLine(std::vector<std::string>& lines, const ForcedLine& forced) {
    for (const auto& pattern : forced.patterns) {
        for (auto& line : lines) {
            if (FoundIn(line, pattern)) {
                line = forced.line;
                return;
            }
        }
    }
    lines.emplace_back(forced.line);
}

bool IsDefaultExtension(const std::string& name) {
    const auto& names = DefaultPhpExtensions();
    return std::find(names.begin(), names.end(), name) != names.end();
}

PhpInstall MakePhpInstall(const std::string& name, const std::wstring& dir, const std::vector<std::string>& dlls) {
    PhpInstall build;
    build.name = name;
    build.dir = dir;
    build.version = ExtractVersion(name);
    build.hasExe = PathExists(dir + L"\\php.exe");
    build.arch = PeArchitecture(dir + L"\\php.exe");
    if (build.arch == 0 && !dlls.empty()) build.arch = PeArchitecture(dir + L"\\" + Utf8ToWide(dlls.front()));
    const auto modules = ListFiles(dir, "php*apache2_4.dll");
    if (!modules.empty()) build.apacheDll = modules.front();
    build.moduleName = PhpModuleName(build.apacheDll);
    build.configured = PathExists(PhpTemplatePath(build));
    return build;
}

}  // namespace

const std::vector<std::string>& DefaultPhpExtensions() {
    static const std::vector<std::string> names = {
        "bz2",    "curl",    "fileinfo", "gd",      "gd2",       "gettext", "intl",  "mbstring",
        "exif",   "mysql",   "mysqli",   "openssl", "pdo_mysql", "pdo_sqlite", "sqlite3", "sqlite",
        "sodium", "soap",    "sockets",  "xsl",     "zip",       "ftp",     "tidy"};
    return names;
}

// ---- Builds ----

std::vector<PhpInstall> ScanPhpInstalls() {
    std::vector<PhpInstall> builds;
    const std::wstring root = PhpDir();
    for (const auto& name : ListSubdirectories(root)) {
        const std::wstring dir = root + L"\\" + Utf8ToWide(name);
        const auto dlls = ListFiles(dir, "php*.dll");
        if (dlls.empty() && !PathExists(dir + L"\\php.exe")) continue;  // not a build, e.g. a stray folder
        builds.push_back(MakePhpInstall(name, dir, dlls));
    }
    std::sort(builds.begin(), builds.end(), InstallNewerFirst<PhpInstall>);
    return builds;
}

std::optional<PhpInstall> CurrentPhp() {
    const auto builds = ScanPhpInstalls();
    const std::string chosen = GetCurrentPhpName();
    for (const auto& build : builds)
        if (EqualsIgnoreCase(build.name, chosen)) return build;
    // Automatic choice: a build Apache can load beats a newer one without a module.
    for (const auto& build : builds)
        if (!build.apacheDll.empty()) return build;
    return std::nullopt;
}

std::optional<PhpInstall> FindPhp(const std::string& name) {
    for (auto& build : ScanPhpInstalls())
        if (EqualsIgnoreCase(build.name, name)) return build;
    return std::nullopt;
}

std::string GetCurrentPhpName() { return Config::Instance().Get(setting::kPhpCurrentVersion); }

void SetCurrentPhpName(const std::string& name) { Config::Instance().Set(setting::kPhpCurrentVersion, name); }

std::string PhpInstallLabel(const PhpInstall& build) {
    return (build.version.empty() ? build.name : build.version) + " (" + ArchName(build.arch) + ")";
}

std::wstring PhpConsoleArguments(const std::wstring& phpExe) { return L"/k \"\"" + phpExe + L"\" -v\""; }

std::string PhpModuleName(std::string_view apacheDll) {
    constexpr size_t kSuffix = 13;  // "apache2_4.dll"
    if (apacheDll.empty()) return "";
    const std::string stem = ToLower(apacheDll.substr(0, apacheDll.size() > kSuffix ? apacheDll.size() - kSuffix : 0));
    if (stem == "php5" || stem == "php7") return stem + "_module";
    return "php_module";
}

std::wstring PhpTemplatePath(const PhpInstall& build) { return build.dir + L"\\php_zerva.ini"; }
std::wstring PhpInitialIniPath(const PhpInstall& build) { return build.dir + L"\\php_initial.ini"; }
std::wstring PhpIniPath(const PhpInstall& build) { return build.dir + L"\\php.ini"; }
std::wstring PhpExtDir(const PhpInstall& build) { return build.dir + L"\\ext"; }
std::wstring PhpZendDir(const PhpInstall& build) { return build.dir + L"\\zend_ext"; }

std::wstring PhpProgramPath(const PhpInstall& build) {
    // From the scan, not the disk: the pages name it on every frame while the build is broken.
    const std::wstring exe = build.dir + L"\\php.exe";
    return build.hasExe || build.apacheDll.empty() ? exe : build.dir + L"\\" + Utf8ToWide(build.apacheDll);
}

// ---- Template and php.ini ----

std::vector<std::string> OrderPhpIniTemplates(const std::vector<std::string>& fileNames) {
    std::vector<std::string> development, others;
    for (const auto& name : fileNames) {
        const std::string lower = ToLower(name);
        if (lower == "php.ini" || lower == "php_zerva.ini" || lower == "php_initial.ini") continue;
        // The temporary sibling of an interrupted atomic write is no sample.
        if (EndsWith(lower, ".zvtmp")) continue;
        (ContainsIgnoreCase(name, "development") ? development : others).push_back(name);
    }
    std::sort(development.begin(), development.end());
    std::sort(others.begin(), others.end());
    development.insert(development.end(), others.begin(), others.end());
    return development;
}

std::vector<std::string> ListPhpIniTemplates(const PhpInstall& build) {
    return OrderPhpIniTemplates(ListFiles(build.dir, "php.ini*"));
}

void ShapePhpTemplate(std::vector<std::string>& lines, bool withCaBundle,
                      const std::function<bool(const std::string& name)>& dllPresent) {
    for (const auto& forced : ForcedLines())
        if (withCaBundle || !forced.needsCaBundle) ApplyForcedLine(lines, forced);
    for (auto& line : lines) {
        const auto match = MatchExtensionLine(line);
        // "; extension=x" (a blank after the mark) is prose in the samples and stays as it is.
        if (!match || !match->commented || match->IsZend()) continue;
        const std::string name = ExtensionNameFromValue(match->value);
        if (IsDefaultExtension(name) && dllPresent(name)) line = match->Rebuild(false);
    }
}

bool BuildPhpTemplate(const PhpInstall& build, const std::string& sourceName, std::string& error) {
    const std::wstring source = build.dir + L"\\" + Utf8ToWide(sourceName);
    std::vector<std::string> lines;
    if (!ReadLines(source, lines)) {
        error = "cannot read " + WideToUtf8(source);
        return false;
    }
    const std::wstring extDir = PhpExtDir(build);
    ShapePhpTemplate(lines, PathExists(CaBundlePath()), [&](const std::string& name) {
        return PathExists(extDir + L"\\php_" + Utf8ToWide(name) + L".dll");
    });
    const std::wstring target = PhpTemplatePath(build);
    if (!WriteFileAtomic(target, JoinLinesCrLf(lines), &error)) return false;
    // Without the pristine copy the template still works; only restoring it becomes impossible.
    (void)CopyFileAtomic(target, PhpInitialIniPath(build));
    return true;
}

bool WritePhpIni(const PhpInstall& build, const MacroMap& macros, std::string& error) {
    const std::wstring source = PhpTemplatePath(build);
    // PHP reads php.ini as plain bytes: a byte-order mark would spoil its first line, UTF-16 all of it.
    std::optional<std::string> text = ReadTextFile(source);
    if (!text) {
        error = "cannot read " + WideToUtf8(source);
        return false;
    }
    const std::wstring target = PhpIniPath(build);
    if (!WriteFileAtomic(target, ExpandMacros(std::move(*text), macros), &error)) return false;
    return true;
}

bool ResetPhpTemplate(const PhpInstall& build) {
    const std::wstring initial = PhpInitialIniPath(build);
    if (!PathExists(initial)) return false;
    return CopyFileAtomic(initial, PhpTemplatePath(build));
}

bool ReadLines(const std::wstring& path, std::vector<std::string>& lines) {
    const std::optional<std::string> text = ReadTextFile(path);
    if (!text) return false;
    lines = SplitLinesAnyEnd(*text);
    return true;
}
