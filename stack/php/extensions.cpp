#include "stack/php/extensions.h"

#include <algorithm>
#include <functional>

#include "core/files.h"
#include "core/text.h"
#include "stack/php/ini_scan.h"

namespace {

// A directive key the line scanners can take literally. A line break would split the written
// line in two (the second one a directive of its own), and a key starting with a blank or ";"
// or holding "=" would match other directives' lines.
bool IsUsableKey(std::string_view key) {
    return !key.empty() && !IsSpace(key.front()) && key.front() != ';' && !HasLineBreak(key) &&
           key.find('=') == std::string_view::npos;
}

bool IsZendName(const std::string& name) {
    const auto& zend = ZendExtensions();
    return std::find(zend.begin(), zend.end(), name) != zend.end();
}

// Rereads the template, edits its lines and writes it back once, with CR LF line ends.
bool EditTemplate(const PhpInstall& build, std::string& error,
                  const std::function<void(std::vector<std::string>& lines)>& edit) {
    const std::wstring path = PhpTemplatePath(build);
    std::vector<std::string> lines;
    if (!ReadLines(path, lines)) {
        error = "cannot read " + WideToUtf8(path);
        return false;
    }
    edit(lines);
    return WriteFileAtomic(path, JoinLinesCrLf(lines), &error);
}

}  // namespace

const std::vector<std::string>& ZendExtensions() {
    static const std::vector<std::string> names = {"opcache", "xdebug", "ioncube_loader_win"};
    return names;
}

// ---- Extensions ----

std::vector<PhpExtension> ListPhpExtensions(const PhpInstall& build) {
    std::vector<std::string> lines;
    (void)ReadLines(PhpTemplatePath(build), lines);  // unreadable: the ext folder alone is listed
    const std::wstring extDir = PhpExtDir(build);
    const MacroMap macros = {{"PHPEXTPATH", WideToUtf8(extDir)}, {"PHPZENDPATH", WideToUtf8(PhpZendDir(build))}};

    std::vector<PhpExtension> list;
    const auto find = [&list](const std::string& name) {
        return std::find_if(list.begin(), list.end(), [&](const PhpExtension& e) { return e.name == name; });
    };
    const std::vector<bool> global = GlobalLines(lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!global[i]) continue;  // PHP loads no extension named in a host's or folder's section
        const auto match = MatchExtensionLine(lines[i]);
        if (!match) continue;
        const std::string name = ExtensionNameFromValue(match->value);
        if (name.empty() || name == "modulename") continue;  // the samples' placeholder
        const auto known = find(name);
        if (known != list.end()) {
            known->enabled = known->enabled || !match->commented;
            continue;
        }
        bool present = PathExists(extDir + L"\\php_" + Utf8ToWide(name) + L".dll");
        if (!present) {
            // A value holding a drive colon is an absolute path, such as one into zend_ext.
            const std::string path = ExpandMacros(match->value, macros);
            present = path.find(':') != std::string::npos && PathExists(Utf8ToWide(path));
        }
        list.push_back({name, !match->commented, match->IsZend(), present});
    }
    for (const auto& file : ListFiles(extDir, "php_*.dll")) {
        const std::string name = ExtensionNameFromValue(file);
        if (find(name) == list.end()) list.push_back({name, false, IsZendName(name), true});
    }
    std::sort(list.begin(), list.end(), [](const PhpExtension& a, const PhpExtension& b) { return a.name < b.name; });
    return list;
}

void SwitchExtensionLines(std::vector<std::string>& lines, const std::string& name, bool enable) {
    bool handled = false;
    size_t lastExtensionLine = lines.size();
    const std::vector<bool> global = GlobalLines(lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!global[i]) continue;
        const auto match = MatchExtensionLine(lines[i]);
        if (!match) continue;
        lastExtensionLine = i;
        if (ExtensionNameFromValue(match->value) != name) continue;
        // Samples often document an extension twice; switching on only the first line keeps
        // PHP from loading it twice, while switching off must catch every active line.
        if (enable && handled) continue;
        handled = true;
        if (match->commented != enable) continue;  // already as wanted
        lines[i] = match->Rebuild(!enable);
    }
    if (handled || !enable) return;
    std::string line = (IsZendName(name) ? "zend_extension=" : "extension=") + name;
    const size_t at = lastExtensionLine == lines.size() ? GlobalInsertIndex(lines) : lastExtensionLine + 1;
    lines.insert(lines.begin() + std::ptrdiff_t(at), std::move(line));
}

bool SetPhpExtension(const PhpInstall& build, const std::map<std::string, bool>& changes, std::string& error) {
    for (const auto& [name, enable] : changes) {
        if (name.empty() || HasLineBreak(name)) {
            error = "invalid extension name";
            return false;
        }
    }
    return EditTemplate(build, error, [&](std::vector<std::string>& lines) {
        for (const auto& [name, enable] : changes) SwitchExtensionLines(lines, name, enable);
    });
}

// ---- Directives ----

std::optional<std::string> FindDirectiveValue(const std::vector<std::string>& lines, std::string_view key) {
    if (!IsUsableKey(key)) return std::nullopt;
    // PHP applies the last active line of a directive set twice; a line in a host's or folder's
    // section is not the one every request gets.
    const std::vector<bool> global = GlobalLines(lines);
    for (size_t i = lines.size(); i-- > 0;) {
        if (!global[i]) continue;
        const auto raw = MatchDirectiveValue(lines[i], key);
        if (!raw) continue;
        if (!raw->empty() && raw->front() == '"') {
            const size_t close = raw->find('"', 1);
            return close == std::string::npos ? raw->substr(1) : raw->substr(1, close - 1);
        }
        return Trim(std::string_view(*raw).substr(0, raw->find(';')));
    }
    return std::nullopt;
}

std::optional<std::string> ReadPhpDirective(const PhpInstall& build, const std::string& key) {
    std::vector<std::string> lines;
    if (!ReadLines(PhpTemplatePath(build), lines)) return std::nullopt;
    return FindDirectiveValue(lines, key);
}

void SetDirectiveLine(std::vector<std::string>& lines, const std::string& key, const std::string& value) {
    std::string line = key + " = " + value;
    // Only lines outside the sections of one host or folder: the value is meant for every request.
    const std::vector<bool> global = GlobalLines(lines);
    // The last active line is the one PHP applies; an earlier one stays overridden.
    const KeyPattern active{key, CommentMark::None, false};
    for (size_t i = lines.size(); i-- > 0;) {
        if (global[i] && MatchKeyAssignment(lines[i], active)) {
            lines[i] = std::move(line);
            return;
        }
    }
    // Else the first commented line, where the distribution documents the directive.
    const KeyPattern commented{key, CommentMark::Required, true};
    for (size_t i = 0; i < lines.size(); ++i) {
        if (global[i] && MatchKeyAssignment(lines[i], commented)) {
            lines[i] = std::move(line);
            return;
        }
    }
    lines.insert(lines.begin() + std::ptrdiff_t(GlobalInsertIndex(lines)), std::move(line));
}

bool SetPhpDirective(const PhpInstall& build, const std::map<std::string, std::string>& changes, std::string& error) {
    for (const auto& [key, value] : changes) {
        if (!IsUsableKey(key)) {
            error = "invalid directive name";
            return false;
        }
        if (HasLineBreak(value)) {
            error = "invalid value for " + key;
            return false;
        }
    }
    return EditTemplate(build, error, [&](std::vector<std::string>& lines) {
        for (const auto& [key, value] : changes) SetDirectiveLine(lines, key, value);
    });
}

std::string RegexEscape(std::string_view text) {
    static constexpr std::string_view kSpecial = ".^$|()[]{}*+?\\";
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        if (kSpecial.find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

// ---- Settings table ----

const std::vector<PhpSetting>& PhpSettingsTable() {
    static const std::vector<PhpSetting> table = {
        {"display_errors", "bool", "",
         "Show PHP errors in the page output (recommended on a development server)."},
        {"display_startup_errors", "bool", "",
         "Show errors raised while PHP starts (extensions that fail to load...)."},
        {"error_reporting", "enum",
         "E_ALL|E_ALL & ~E_DEPRECATED & ~E_STRICT|E_ALL & ~E_NOTICE & ~E_DEPRECATED|E_ALL & ~E_NOTICE",
         "Which errors are reported."},
        {"log_errors", "bool", "", "Write errors to the log (Apache error.log when error_log is empty)."},
        {"error_log", "text", "", "Custom error log file (empty = Apache error log)."},
        {"html_errors", "bool", "", "Format error messages with HTML."},
        {"memory_limit", "size", "128M|256M|512M|1G|2G|-1",
         "Maximum memory a script may allocate (-1 = no limit)."},
        {"max_execution_time", "int", "30|60|120|300|0",
         "Maximum execution time of a script, in seconds (0 = no limit)."},
        {"max_input_time", "int", "60|120|300|-1",
         "Maximum time to parse input data (POST, GET, uploads), in seconds."},
        {"max_input_vars", "int", "1000|5000|10000", "Maximum number of input variables per request."},
        {"post_max_size", "size", "8M|32M|64M|128M|512M|1G",
         "Maximum size of POST data (must be larger than upload_max_filesize)."},
        {"upload_max_filesize", "size", "2M|16M|32M|64M|128M|512M|1G", "Maximum size of an uploaded file."},
        {"max_file_uploads", "int", "20|50|100", "Maximum number of files uploaded in one request."},
        {"file_uploads", "bool", "", "Allow HTTP file uploads."},
        {"short_open_tag", "bool", "", "Recognize the short <? tag (not recommended)."},
        {"allow_url_fopen", "bool", "", "Allow fopen() / file_get_contents() on URLs."},
        {"date.timezone", "text", "", "Default timezone, e.g. Europe/Paris or UTC."},
        {"default_charset", "text", "", "Default character set (UTF-8)."},
        {"output_buffering", "enum", "Off|4096|On", "Output buffering."},
        {"expose_php", "bool", "", "Add the X-Powered-By: PHP header."},
        {"opcache.enable", "bool", "", "Enable OPcache (requires the opcache zend extension)."},
        {"opcache.validate_timestamps", "bool", "", "Check for updated scripts (keep On for development)."},
        {"session.gc_maxlifetime", "int", "1440|3600|86400", "Session lifetime, in seconds."},
        {"xdebug.mode", "enum", "off|debug|develop|debug,develop|profile|coverage|trace",
         "Xdebug 3 mode (requires the xdebug zend extension)."},
        {"xdebug.start_with_request", "enum", "default|yes|trigger|no",
         "When Xdebug starts a debugging session."},
    };
    return table;
}
