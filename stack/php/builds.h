// stack/php/builds.h: the PHP builds installed under <root>\bin\php, the current one (setting
// PHP_CURRENT_VERSION), each build's template php_zerva.ini with its pristine copy
// php_initial.ini, and the php.ini generated from it. Nothing is cached and nothing is logged:
// failures come back as false plus an English text. Any thread; no state of its own.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

struct PhpInstall {
    std::string name;         // folder name under bin\php
    std::wstring dir;         // <root>\bin\php\<name>
    std::string version;      // first dotted number of the name; "" when it has none
    int32_t arch = 0;         // php.exe's machine, else the first php*.dll's: 0 ?, 1 x86, 2 x64, 3 arm64
    std::string apacheDll;    // first php*apache2_4.dll; "" when the build has no Apache module
    std::string moduleName;   // Apache module name of apacheDll; "" with it
    bool configured = false;  // php_zerva.ini exists
    bool hasExe = false;      // php.exe exists
};

// The 23 extensions a new template switches on when their DLL is in the ext folder.
const std::vector<std::string>& DefaultPhpExtensions();

// ---- Builds ----
// Every folder under bin\php holding php.exe or a php*.dll, newest first.
std::vector<PhpInstall> ScanPhpInstalls();
// The build named by PHP_CURRENT_VERSION (any case), else the newest with an Apache module.
std::optional<PhpInstall> CurrentPhp();
std::optional<PhpInstall> FindPhp(const std::string& name);
std::string GetCurrentPhpName();
void SetCurrentPhpName(const std::string& name);
// "8.3.14 (x64)": the version (the name when it has none) and the architecture.
std::string PhpInstallLabel(const PhpInstall& build);
// The arguments of cmd.exe for a console that prints the build's version and stays open:
// /k "<quoted php.exe> -v". cmd drops the outer pair of quotes and runs the rest as written, so
// the inner quotes survive a path holding blanks, "&" or "(".
std::wstring PhpConsoleArguments(const std::wstring& phpExe);
// "php8apache2_4.dll" gives "php_module", php5/php7 DLLs "php5_module"/"php7_module"; "" for "".
std::string PhpModuleName(std::string_view apacheDll);

std::wstring PhpTemplatePath(const PhpInstall& build);    // dir\php_zerva.ini
std::wstring PhpInitialIniPath(const PhpInstall& build);  // dir\php_initial.ini
std::wstring PhpIniPath(const PhpInstall& build);         // dir\php.ini
std::wstring PhpExtDir(const PhpInstall& build);          // dir\ext
std::wstring PhpZendDir(const PhpInstall& build);         // dir\zend_ext
// The program a build's architecture is read from, as named to the user: php.exe, or the Apache
// module of a build without php.exe.
std::wstring PhpProgramPath(const PhpInstall& build);

// ---- Template and php.ini ----
// The configuration samples of the distribution ("php.ini*"), development ones first.
std::vector<std::string> ListPhpIniTemplates(const PhpInstall& build);
// Builds php_zerva.ini from dir\<sourceName> and copies it to php_initial.ini.
[[nodiscard]] bool BuildPhpTemplate(const PhpInstall& build, const std::string& sourceName, std::string& error);
// php.ini from php_zerva.ini with the macros expanded; line ends kept. A template saved with a
// byte-order mark (UTF-8, or UTF-16 in either order) gives UTF-8 without one.
[[nodiscard]] bool WritePhpIni(const PhpInstall& build, const MacroMap& macros, std::string& error);
// php_zerva.ini back from php_initial.ini; false, changing nothing, without the copy.
[[nodiscard]] bool ResetPhpTemplate(const PhpInstall& build);
// The file's lines, each ended by CR LF, LF or a lone CR as PHP reads them, read as UTF-8 with a
// byte-order mark dropped and UTF-16 converted (editors save either); false when the file cannot
// be read. Whoever writes them back writes no mark.
[[nodiscard]] bool ReadLines(const std::wstring& path, std::vector<std::string>& lines);

// ---- Text steps behind the functions above ----
// Keeps the "php.ini*" names a template can be built from, in the order they are offered.
std::vector<std::string> OrderPhpIniTemplates(const std::vector<std::string>& fileNames);
// The sample turned into a template: forced lines (the two CA lines only withCaBundle), then
// the commented default extensions whose DLL dllPresent(name) confirms switched on.
void ShapePhpTemplate(std::vector<std::string>& lines, bool withCaBundle,
                      const std::function<bool(const std::string& name)>& dllPresent);
