#include "core/online.h"

#include <windows.h>

#include <iterator>

#include "core/text.h"

std::string ApplyOnlineBase(std::string_view url, std::string_view base) {
    std::string origin = Trim(base);
    while (!origin.empty() && origin.back() == '/') origin.pop_back();
    const bool usable = (StartsWithIgnoreCase(origin, "http://") && origin.size() > 7) ||
                        (StartsWithIgnoreCase(origin, "https://") && origin.size() > 8);
    const size_t scheme = url.find("://");
    if (!usable || scheme == std::string_view::npos) return std::string(url);
    const size_t rest = url.find_first_of("/?#", scheme + 3);
    return origin + std::string(rest == std::string_view::npos ? std::string_view() : url.substr(rest));
}

std::string OnlineAddress(std::string_view url) {
    wchar_t buffer[512];
    const DWORD n = ::GetEnvironmentVariableW(kOnlineBaseVariable, buffer, DWORD(std::size(buffer)));
    // 0: not set; a value that does not fit is no sane origin and is ignored like a malformed one.
    if (n == 0 || n >= std::size(buffer)) return std::string(url);
    return ApplyOnlineBase(url, WideToUtf8(std::wstring_view(buffer, n)));
}
