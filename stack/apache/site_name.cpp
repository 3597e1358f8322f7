#include "stack/apache/site_name.h"

#include <algorithm>

#include "core/text.h"

bool IsValidSiteName(std::string_view name) {
    if (name.empty()) return false;
    const bool alphabet = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
    if (!alphabet) return false;
    for (const char* device : {"con", "prn", "aux", "nul"})
        if (name == device) return false;
    const bool numberedDevice = name.size() == 4 && (name.substr(0, 3) == "com" || name.substr(0, 3) == "lpt") &&
                                name[3] >= '0' && name[3] <= '9';
    return !numberedDevice;
}

std::optional<std::string> NormalizeSiteName(std::string_view text) {
    std::string name = ToLower(Trim(text));
    if (!IsValidSiteName(name)) return std::nullopt;
    return name;
}
