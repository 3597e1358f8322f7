// stack/apache/site_name.h: the one rule for the name of a new site. The name becomes a folder
// under www, the host name "<name>.localhost" in httpd_zerva.conf and a word of its index.php,
// so only letters, digits, "_" and "-" pass. Pure text; any thread.
#pragma once
#include <optional>
#include <string>
#include <string_view>

// True for one or more of a-z, 0-9, "_" and "-" that is not a name Windows reserves for a
// device (con, prn, aux, nul, com0-com9, lpt0-lpt9): no folder of such a name can be made.
bool IsValidSiteName(std::string_view name);
// The typed text trimmed and lower-cased (ASCII) when that is a valid name; none otherwise.
std::optional<std::string> NormalizeSiteName(std::string_view text);
