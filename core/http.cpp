// core/http.cpp: GET over WinHTTP in synchronous mode. One session per call, every handle closed
// on every path, no retries: a failed transfer is reported once and the caller decides.
#include "core/http.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <vector>

#include "core/files.h"
#include "core/text.h"
#include "core/version.h"

namespace {

constexpr DWORD kPieceSize = 262144;
constexpr size_t kMemoryLimit = 67108864;
constexpr char kBrowserAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/130.0 Safari/537.36 Zerva/" ZERVA_VERSION_TEXT;
constexpr char kPlainAgent[] = "Zerva/" ZERVA_VERSION_TEXT " (Windows; +https://github.com/zerva-panel/zerva)";

struct InternetCloser {
    void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// Receives each piece of the body; false means the destination cannot take more.
// Takes one piece of the body; false stops the transfer, with the reason when there is one.
using BodySink = std::function<bool(const char* data, size_t size, std::string& reason)>;

bool Fail(HttpResult& result, std::string error) {
    result.ok = false;
    result.error = std::move(error);
    return false;
}

// Must be called right after the failing WinHTTP call. Some WinHTTP builds pass a socket's
// time-out through as it is; it is the same condition as WinHTTP's own.
bool FailWithLastError(HttpResult& result) {
    DWORD code = ::GetLastError();
    if (code == WSAETIMEDOUT) code = ERROR_WINHTTP_TIMEOUT;
    return Fail(result, WinHttpErrorText(code));
}

// The header's value of any length; empty when the response has none.
std::wstring QueryHeaderText(HINTERNET request, DWORD query) {
    DWORD size = 0;   // in bytes, the closing NUL included
    ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                          WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(size / sizeof(wchar_t));   // now the length without the NUL
    return text;
}

// The announced body length, or 0 when absent or not a plain decimal number.
uint64_t ContentLength(HINTERNET request) {
    const std::wstring text = QueryHeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH);
    if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos) return 0;
    return std::wcstoull(text.c_str(), nullptr, 10);
}

// A value cut at its first line break, so a caller's text can never add headers of its own.
std::wstring HeaderValue(const std::string& value) {
    return Utf8ToWide(value.substr(0, value.find_first_of("\r\n")));
}

void ApplySessionOptions(HINTERNET session, uint32_t timeoutMs) {
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        ::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
    }
    // Best effort: some WinHTTP builds refuse it (12009). Without it no Accept-Encoding is sent,
    // so servers answer uncompressed and nothing is lost.
    DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_GZIP | WINHTTP_DECOMPRESSION_FLAG_DEFLATE;
    ::WinHttpSetOption(session, WINHTTP_OPTION_DECOMPRESSION, &decompression, sizeof(decompression));
    const int timeout = timeoutMs > uint32_t(INT_MAX) ? INT_MAX : int(timeoutMs);
    ::WinHttpSetTimeouts(session, timeout, timeout, timeout, timeout);
}

// Reads the body piece by piece into `sink`, checking the cancel flag before each read.
bool ReadBody(HttpResult& result, HINTERNET request, const CancelFlag* cancel, TransferProgress* progress,
              const BodySink& sink) {
    const uint64_t announced = ContentLength(request);
    if (progress) {
        progress->total = announced;
        progress->done = 0;
    }
    // A compressed body arrives decompressed, so only an identity body can be held to its length.
    const std::wstring encoding = QueryHeaderText(request, WINHTTP_QUERY_CONTENT_ENCODING);
    const bool checkLength = announced > 0 && (encoding.empty() || EqualsIgnoreCase(WideToUtf8(encoding), "identity"));
    std::vector<char> buffer(kPieceSize);
    uint64_t received = 0;
    for (;;) {
        if (cancel && cancel->load()) return Fail(result, "cancelled");
        // Waiting for what is available (rather than a full piece) keeps cancel and progress
        // responsive on a slow connection.
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available)) return FailWithLastError(result);
        if (available == 0) break;
        DWORD got = 0;
        if (!::WinHttpReadData(request, buffer.data(), std::min(available, kPieceSize), &got))
            return FailWithLastError(result);
        if (got == 0) break;
        std::string reason;
        const bool written = sink(buffer.data(), got, reason);
        received += got;
        if (progress) {
            progress->done += got;
            progress->done.notify_all();   // lets a watcher wait on the counter instead of polling
        }
        if (!written) return Fail(result, reason.empty() ? std::string("write error") : "write error: " + reason);
    }
    // A connection closed early ends the body like a normal end; never call a short body complete.
    if (checkLength && received != announced) return Fail(result, WinHttpErrorText(ERROR_WINHTTP_CONNECTION_ERROR));
    result.ok = true;
    return true;
}

// Follows WinHTTP's redirects to know which address finally answered (links in a page are
// relative to it). Windows reports the new absolute address, Wine the Location header as sent,
// which may be relative: resolving it against the previous address serves both. The request
// handle's option WINHTTP_OPTION_URL would be simpler, but Wine keeps the first address there.
void CALLBACK OnRedirect(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD) {
    if (status != WINHTTP_CALLBACK_STATUS_REDIRECT || context == 0 || information == nullptr) return;
    std::string& address = *reinterpret_cast<std::string*>(context);
    address = ResolveUrl(address, WideToUtf8(static_cast<const wchar_t*>(information)));
}

// "redirect to <address> not followed" for a redirect that names its address, else "HTTP <code>".
std::string StatusError(HINTERNET request, DWORD status, const std::string& served) {
    if (status >= 300 && status <= 399) {
        const std::string location = Trim(WideToUtf8(QueryHeaderText(request, WINHTTP_QUERY_LOCATION)));
        if (!location.empty()) return "redirect to " + ResolveUrl(served, location) + " not followed";
    }
    return Format("HTTP %lu", static_cast<unsigned long>(status));
}

bool Transfer(HttpResult& result, const std::string& url, const HttpOptions& options, const CancelFlag* cancel,
              TransferProgress* progress, const BodySink& sink) {
    result = HttpResult{};
    const std::wstring wideUrl = Utf8ToWide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = parts.dwHostNameLength = DWORD(-1);
    parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (wideUrl.empty() || !::WinHttpCrackUrl(wideUrl.c_str(), DWORD(wideUrl.size()), 0, &parts) ||
        parts.dwHostNameLength == 0)
        return Fail(result, "invalid URL: " + url);
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                        std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    const std::wstring agent = Utf8ToWide(options.browserAgent ? kBrowserAgent : kPlainAgent);
    InternetHandle session(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                         WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        session.reset(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return FailWithLastError(result);
    ApplySessionOptions(session.get(), options.timeoutMs);

    InternetHandle connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return FailWithLastError(result);
    InternetHandle request(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return FailWithLastError(result);

    std::string served = url;
    ::WinHttpSetStatusCallback(request.get(), OnRedirect, WINHTTP_CALLBACK_FLAG_REDIRECT, 0);
    std::wstring headers = L"Accept: */*\r\n";
    if (!options.referer.empty()) headers += L"Referer: " + HeaderValue(options.referer) + L"\r\n";
    if (!::WinHttpSendRequest(request.get(), headers.c_str(), DWORD(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0,
                              reinterpret_cast<DWORD_PTR>(&served)) ||
        !::WinHttpReceiveResponse(request.get(), nullptr))
        return FailWithLastError(result);

    result.finalUrl = served;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return FailWithLastError(result);
    result.status = status;
    // Whatever WinHTTP did not follow (a redirect from HTTPS to HTTP, which its policy refuses, or
    // one without an address) is no body of ours: saved, it would pass for an archive or a sum.
    if (status < 200 || status > 299) return Fail(result, StatusError(request.get(), status, served));
    return ReadBody(result, request.get(), cancel, progress, sink);
}

}  // namespace

bool HttpGet(HttpResult& result, const std::string& url, const HttpOptions& options, const CancelFlag* cancel,
             TransferProgress* progress, std::string& body) {
    body.clear();
    return Transfer(result, url, options, cancel, progress, [&body](const char* data, size_t size, std::string&) {
        body.append(data, size);
        return body.size() < kMemoryLimit;
    });
}

bool HttpGetToStream(HttpResult& result, const std::string& url, const HttpOptions& options,
                     const CancelFlag* cancel, TransferProgress* progress, std::ostream& out) {
    return Transfer(result, url, options, cancel, progress, [&out](const char* data, size_t size, std::string&) {
        out.write(data, std::streamsize(size));
        return !out.fail();
    });
}

bool HttpGetString(HttpResult& result, const std::string& url, std::string& body, const HttpOptions& options,
                   const CancelFlag* cancel) {
    return HttpGet(result, url, options, cancel, nullptr, body);
}

bool DownloadFile(HttpResult& result, const std::string& url, const std::wstring& destination,
                  const HttpOptions& options, const CancelFlag* cancel, TransferProgress* progress,
                  const PartFileOpener& openPart) {
    result = HttpResult{};
    const std::wstring part = destination + L".part";
    const std::wstring folder = ParentFolder(destination);
    // A folder that cannot be made fails the opening of the ".part" file below.
    if (!folder.empty()) (void)EnsureDirectory(folder);
    {
        const UniqueHandle file = openPart ? openPart(part)
                                           : UniqueHandle(::CreateFileW(ExtendedPath(part).c_str(), GENERIC_WRITE,
                                                                        FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return Fail(result, "cannot write " + WideToUtf8(part));
        (void)Transfer(result, url, options, cancel, progress, [&file](const char* data, size_t size, std::string& reason) {
            return WriteAll(file.Get(), std::string_view(data, size), reason);
        });
    }   // closed before the move: Windows refuses to move a file open for writing
    if (!result.ok) {
        ::DeleteFileW(ExtendedPath(part).c_str());
        return false;
    }
    // One move replaces the old file: until it succeeds the old file is untouched, and when it
    // fails the complete download stays in the ".part" file.
    if (!::MoveFileExW(ExtendedPath(part).c_str(), ExtendedPath(destination).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = ::GetLastError();
        return Fail(result, "cannot replace " + WideToUtf8(destination) + ": " + LastErrorText(code, destination));
    }
    return true;
}

std::string ResolveUrl(std::string_view base, std::string_view link) {
    if (StartsWithIgnoreCase(link, "http://") || StartsWithIgnoreCase(link, "https://")) return std::string(link);
    const size_t scheme = base.find("://");
    if (base.size() < 3 || scheme == std::string_view::npos) return std::string(link);
    const size_t hostStart = scheme + 3;
    // "//host/path" keeps only the page's scheme; treating it as a path would double the slash.
    if (StartsWith(link, "//")) return std::string(base.substr(0, scheme + 1)) + std::string(link);
    // The origin ends where the path, the query or the fragment begins: a "/" inside a query
    // ("https://host?x=/y") is not the start of a path.
    if (StartsWith(link, "/"))
        return std::string(base.substr(0, base.find_first_of("/?#", hostStart))) + std::string(link);

    std::string folder(base.substr(0, base.find_first_of("?#")));
    const size_t lastSlash = folder.rfind('/');
    if (lastSlash != std::string::npos && lastSlash >= hostStart)
        folder.resize(lastSlash + 1);
    else
        folder += '/';
    return folder + std::string(link);
}

std::string WinHttpErrorText(uint32_t code) {
    switch (code) {
        case ERROR_WINHTTP_TIMEOUT: return "timeout";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "host not found (no Internet connection?)";
        case ERROR_WINHTTP_OPERATION_CANCELLED: return "cancelled";
        case ERROR_WINHTTP_CANNOT_CONNECT: return "cannot connect";
        case ERROR_WINHTTP_CONNECTION_ERROR: return "connection reset";
        case ERROR_WINHTTP_SECURE_FAILURE: return "TLS / certificate error";
        default: break;
    }
    wchar_t buffer[512] = {};
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
        ::GetModuleHandleW(L"winhttp.dll"), code, 0, buffer, DWORD(std::size(buffer)), nullptr);
    const std::string text = Trim(WideToUtf8(std::wstring_view(buffer, length)));
    return text.empty() ? Format("WinHTTP error %lu", static_cast<unsigned long>(code)) : text;
}
