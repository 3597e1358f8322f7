// stack/php/extensions.h: a PHP build's extensions and single directives, read from and written
// to its template php_zerva.ini (the change reaches php.ini at the next Apache start), and the
// fixed table of settings the PHP page offers. Every call rereads the template; nothing is
// logged. Any thread; the only state is the settings table, built once on first use.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stack/php/builds.h"

struct PhpExtension {
    std::string name;         // lower case, without "php_" and ".dll"
    bool enabled = false;     // an active extension line for it exists in the template
    bool zend = false;        // loaded with zend_extension
    bool dllPresent = false;  // ext\php_<name>.dll exists, or the absolute path its line names
};

struct PhpSetting {
    const char* key;          // the directive
    const char* type;         // "bool", "enum", "text", "size" or "int"
    const char* choices;      // values offered, "|" between them; "" for bool and text
    const char* description;  // English; translated where it is shown
};

// The extensions written as zend_extension: opcache, xdebug, ioncube_loader_win.
const std::vector<std::string>& ZendExtensions();

// The template's extensions (outside the sections of one host or folder) and the DLLs of the ext
// folder, sorted by name. An unreadable template still lists the DLLs.
std::vector<PhpExtension> ListPhpExtensions(const PhpInstall& build);
// Switches every named extension on (true) or off (false) and writes the template once.
[[nodiscard]] bool SetPhpExtension(const PhpInstall& build, const std::map<std::string, bool>& changes,
                                   std::string& error);
// The value of the directive's last active line outside the sections of one host or folder (the
// one PHP applies to every request), or nothing.
std::optional<std::string> ReadPhpDirective(const PhpInstall& build, const std::string& key);
// Writes "key = value" for every change (values are taken as given, quotes included) and
// writes the template once.
[[nodiscard]] bool SetPhpDirective(const PhpInstall& build, const std::map<std::string, std::string>& changes,
                                   std::string& error);
// The 25 settings of the PHP page, in display order.
const std::vector<PhpSetting>& PhpSettingsTable();
// A backslash before each of .^$|()[]{}*+?\ so the text stands for itself in a pattern.
std::string RegexEscape(std::string_view text);

// ---- Text steps behind the functions above ----
// These look only at the lines PHP reads for every request (GlobalLines): the sections of one
// host or folder are neither read nor changed.
// Switches one extension in the template's lines: on at its first line only, off at every
// active line; a missing extension that is switched on gets a line after the last extension line
// (else at GlobalInsertIndex).
void SwitchExtensionLines(std::vector<std::string>& lines, const std::string& name, bool enable);
// The value of the last active line of the directive, quotes and trailing comment removed.
std::optional<std::string> FindDirectiveValue(const std::vector<std::string>& lines, std::string_view key);
// Puts "key = value" in place of the last active line, else the first commented line, else
// at GlobalInsertIndex.
void SetDirectiveLine(std::vector<std::string>& lines, const std::string& key, const std::string& value);
