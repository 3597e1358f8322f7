// core/online.h: where the built-in online addresses (catalogs, archive hosts, CA bundle, update
// manifest, legacy version file, public-address endpoint) are sent. ZERVA_ONLINE_BASE, when set,
// moves all of them to another origin (a mirror, a local test server) keeping path and query.
// Any thread; nothing cached, so the variable is read at each call.
#pragma once
#include <string>
#include <string_view>

inline constexpr wchar_t kOnlineBaseVariable[] = L"ZERVA_ONLINE_BASE";

// `url` with its scheme, host and port replaced by `base` ("http://127.0.0.1:8123", a trailing
// slash and surrounding blanks ignored; a path in the base is kept as a prefix). The address comes
// back unchanged when the base is empty or not an http:// or https:// address, or when the
// address itself has no scheme.
std::string ApplyOnlineBase(std::string_view url, std::string_view base);
// A built-in address after ZERVA_ONLINE_BASE. Apply it last, after any forcing of https, so the
// base decides the scheme. Addresses the user typed are not built-in and do not go through it.
std::string OnlineAddress(std::string_view url);
