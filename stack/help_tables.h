// stack/help_tables.h: short English explanations of Apache modules and PHP extensions, with
// the address of each one's official documentation. Static data and lookups only; any thread.
#pragma once
#include <string>
#include <string_view>

// The description of a module named as in a LoadModule line ("rewrite_module"), ignoring ASCII
// case; null when the module has none. The first line is a one-line summary.
const char* ApacheModuleHelpTable(std::string_view moduleName);
// The module's page of the Apache 2.4 module reference. An unlisted name gets the address the
// reference would give it: "_module" at its end (exact case) is dropped.
std::string ApacheModuleHelp(std::string_view moduleName);

// The description of a PHP extension named as in its extension= line ("curl"), ignoring ASCII
// case; null when the extension has none.
const char* PhpExtensionHelpTable(std::string_view extensionName);
// The extension's book of the PHP manual; an unlisted name gets "book.<name>.php".
std::string PhpExtensionHelp(std::string_view extensionName);
