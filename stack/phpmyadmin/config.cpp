#include "stack/phpmyadmin/config.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/database/data_dir.h"
#include "stack/php/ini_scan.h"

namespace {

constexpr std::string_view kPasswordAssignment = "$cfg['Servers'][$i]['password']";
constexpr std::string_view kPortAssignment = "$cfg['Servers'][$i]['port']";

// Index of the closing quote of a single-quoted PHP string whose body starts at `from`, as
// '(?:[^'\\]|\\.)*' reads it: a backslash always takes the next character with it, except a line
// end, which '.' does not match.
std::optional<size_t> EscapedStringEnd(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\'') return i;
        if (text[i] != '\\') continue;
        if (i + 1 == text.size() || text[i + 1] == '\n' || text[i + 1] == '\r') return std::nullopt;
        ++i;
    }
    return std::nullopt;
}

// As '[^']*': the next quote.
std::optional<size_t> PlainStringEnd(std::string_view text, size_t from) {
    const size_t end = text.find('\'', from);
    if (end == std::string_view::npos) return std::nullopt;
    return end;
}

// Every `name \s*=\s* '<string>' \s*;` becomes `name \s*=\s* '<value>';`. Each way the pattern could
// read a string gives one closing quote at most, so the first reading is the only one.
std::string ReplaceAssignments(std::string_view text, std::string_view name,
                               std::optional<size_t> (*stringEnd)(std::string_view, size_t),
                               const std::string& value) {
    std::string out;
    size_t copied = 0;
    for (size_t at = text.find(name); at != std::string_view::npos; at = text.find(name, at + 1)) {
        const size_t equals = SkipSpaces(text, at + name.size());
        if (equals == text.size() || text[equals] != '=') continue;
        const size_t open = SkipSpaces(text, equals + 1);
        if (open == text.size() || text[open] != '\'') continue;
        const auto close = stringEnd(text, open + 1);
        if (!close) continue;
        const size_t semicolon = SkipSpaces(text, *close + 1);
        if (semicolon == text.size() || text[semicolon] != ';') continue;
        out.append(text.substr(copied, open - copied));
        out += '\'' + value + "';";
        copied = semicolon + 1;
        at = semicolon;  // the next search starts after this match
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace

std::wstring PhpMyAdminDir() { return PhpAppsDir() + L"\\phpmyadmin"; }
std::wstring PhpMyAdminConfigPath() { return PhpMyAdminDir() + L"\\config.inc.php"; }

bool WritePhpMyAdminConfig(std::string* error) {
    // WriteFileAtomic would create the folder; a config.inc.php alone is no phpMyAdmin.
    if (!IsDirectory(PhpMyAdminDir())) {
        if (error) *error = "cannot write " + WideToUtf8(PhpMyAdminConfigPath()) + ": phpMyAdmin is not installed";
        return false;
    }
    // An empty secret would leave phpMyAdmin's cookies open to forgery.
    const std::string secret = RandomAlnum(32);
    if (secret.empty()) {
        if (error) *error = "cannot write " + WideToUtf8(PhpMyAdminConfigPath()) + ": the random source failed";
        return false;
    }
    const std::string text = FillPhpMyAdminTemplate(PhpMyAdminTemplate(), secret, MysqlPort(), GetMysqlRootPassword(),
                                                    PathToUtf8(TempDir() + L"\\phpmyadmin"));
    return WriteFileAtomic(PhpMyAdminConfigPath(), text, error);
}

PhpMyAdminUpdate UpdatePhpMyAdminConfig(uint32_t port, const std::string& password, std::string& error) {
    const std::wstring path = PhpMyAdminConfigPath();
    if (!PathExists(path)) return PhpMyAdminUpdate::NotConfigured;
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = "cannot read " + WideToUtf8(path);
        return PhpMyAdminUpdate::Failed;
    }
    if (!WriteFileAtomic(path, UpdatePhpMyAdminText(text, port, password), &error)) return PhpMyAdminUpdate::Failed;
    return PhpMyAdminUpdate::Updated;
}

std::string PhpMyAdminVersion() {
    const std::wstring dir = PhpMyAdminDir();
    constexpr std::string_view kPrefix = "RELEASE-DATE-";
    const auto releases = ListFiles(dir, std::string(kPrefix) + "*");
    if (!releases.empty()) return releases.front().substr(kPrefix.size());
    return PathExists(dir + L"\\index.php") ? "?" : "";
}

// ---- Text steps ----

std::string FillPhpMyAdminTemplate(std::string_view text, const std::string& secret, int port,
                                   const std::string& password, const std::string& tempDir) {
    const std::pair<std::string_view, std::string> values[] = {
        {"@@SECRET@@", secret},
        {"@@PORT@@", std::to_string(port)},
        {"@@PASSWORD@@", EscapeSingleQuoted(password)},
        {"@@TEMPDIR@@", EscapeSingleQuoted(tempDir)},
    };
    std::string out;
    out.reserve(text.size() + 256);
    for (size_t i = 0; i < text.size();) {
        const auto found = std::find_if(std::begin(values), std::end(values), [&](const auto& entry) {
            return text.substr(i, entry.first.size()) == entry.first;
        });
        if (found == std::end(values)) {
            out += text[i++];
            continue;
        }
        out += found->second;
        i += found->first.size();
    }
    return out;
}

std::string UpdatePhpMyAdminText(std::string_view text, uint32_t port, const std::string& password) {
    const std::string withPassword =
        ReplaceAssignments(text, kPasswordAssignment, EscapedStringEnd, EscapeSingleQuoted(password));
    return ReplaceAssignments(withPassword, kPortAssignment, PlainStringEnd, std::to_string(port));
}
