// stack/phpmyadmin/config.h: phpMyAdmin's config.inc.php in <root>\phpapps\phpmyadmin, written from
// its template so it logs in as root without asking, kept in step with the root password and port,
// and the installed version. Any thread; no state. Nothing is logged here.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

std::wstring PhpMyAdminDir();         // <root>\phpapps\phpmyadmin
std::wstring PhpMyAdminConfigPath();  // PhpMyAdminDir()\config.inc.php

// A new config.inc.php from the template with a new secret, the port and root password of the
// settings and the temporary folder. False with the reason when it cannot be written, also when
// the phpMyAdmin folder is missing (it is never created here) or no secret can be made; the
// previous file then stays intact.
[[nodiscard]] bool WritePhpMyAdminConfig(std::string* error = nullptr);
// What UpdatePhpMyAdminConfig did.
enum class PhpMyAdminUpdate {
    Updated,        // config.inc.php carries the port and password now
    NotConfigured,  // there is no config.inc.php (phpMyAdmin not installed, or configured at the
                    // next Apache start from the settings): nothing to update
    Failed,         // the file is there but could not be read or written; `error` says why
};
// Rewrites the password and port lines of an existing config.inc.php, keeping every other line.
// A file left unchanged on failure keeps the old password, which phpMyAdmin would then log in with.
[[nodiscard]] PhpMyAdminUpdate UpdatePhpMyAdminConfig(uint32_t port, const std::string& password, std::string& error);
// "5.2.1" from a RELEASE-DATE-5.2.1 file, "?" with only index.php, "" when not installed.
std::string PhpMyAdminVersion();

// ---- Text steps behind the functions above ----
// The template with @@SECRET@@, @@PORT@@, @@PASSWORD@@ and @@TEMPDIR@@ replaced in one pass, so a
// value holding a placeholder's name stays as it is. Password and folder are escaped for PHP's
// single-quoted strings.
std::string FillPhpMyAdminTemplate(std::string_view text, const std::string& secret, int port,
                                   const std::string& password, const std::string& tempDir);
// The text with every password and port assignment of the template's form rewritten:
//   (\$cfg\['Servers'\]\[\$i\]\['password'\]\s*=\s*)'(?:[^'\\]|\\.)*'\s*;
//   (\$cfg\['Servers'\]\[\$i\]\['port'\]\s*=\s*)'[^']*'\s*;
// each replaced by its group 1 and the new value in single quotes followed by ";". Scanned by
// hand with the patterns' meaning: a regular expression never runs over a whole file.
std::string UpdatePhpMyAdminText(std::string_view text, uint32_t port, const std::string& password);
