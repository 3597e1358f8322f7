// core/http.h: the program's only network client: HTTP and HTTPS GET on WinHTTP into memory, a
// stream or a file, with a caller-owned cancel flag and progress counters shared with the UI.
// Every call blocks and opens its own session: call it from worker threads only.
#pragma once
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

struct HttpOptions {
    std::string referer;           // sent as the Referer header when not empty
    bool browserAgent = false;     // browser-like User-Agent instead of the plain one
    uint32_t timeoutMs = 30000;    // name resolution, connection, sending and receiving each
};

struct HttpResult {
    bool ok = false;               // the whole body arrived
    uint32_t status = 0;           // HTTP status; 0 when no response arrived
    std::string error;             // short English reason when !ok
    std::string finalUrl;          // the address that answered, after redirects; "" before a response
};

// Written by the transfer (or the zip extractor), read by the UI at any time.
struct TransferProgress {
    std::atomic<uint64_t> done{0};     // bytes handled so far
    std::atomic<uint64_t> total{0};    // announced length, 0 when unknown
};

// Setting the flag stops a transfer at its next read with the error "cancelled".
using CancelFlag = std::atomic<bool>;

// GET into memory. A body reaching 64 MiB fails with "write error". On failure the part
// received so far stays in `body`. Returns result.ok.
bool HttpGet(HttpResult& result, const std::string& url, const HttpOptions& options,
             const CancelFlag* cancel, TransferProgress* progress, std::string& body);
// GET into a stream; a stream that fails after a write ends it with "write error".
bool HttpGetToStream(HttpResult& result, const std::string& url, const HttpOptions& options,
                     const CancelFlag* cancel, TransferProgress* progress, std::ostream& out);
// HttpGet without progress counters.
bool HttpGetString(HttpResult& result, const std::string& url, std::string& body,
                   const HttpOptions& options = {}, const CancelFlag* cancel = nullptr);
// GET into destination + ".part", then moved over the destination in one step. On any failure
// the ".part" file is removed (or, when only the final move failed, kept) and an existing
// destination is left untouched.
bool DownloadFile(HttpResult& result, const std::string& url, const std::wstring& destination,
                  const HttpOptions& options, const CancelFlag* cancel, TransferProgress* progress);

// An address found in a page made absolute against the page's address.
std::string ResolveUrl(std::string_view base, std::string_view link);
// Short English words for a WinHTTP or system error code.
std::string WinHttpErrorText(uint32_t code);
