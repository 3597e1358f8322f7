// core/http.h: the program's only network client: HTTP and HTTPS GET on WinHTTP into memory, a
// stream or a file, with a caller-owned cancel flag and progress counters shared with the UI.
// Every call blocks and opens its own session: call it from worker threads only.
#pragma once
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "core/handle.h"
#include "core/transfer.h"

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

// GET into memory. A body reaching 64 MiB fails with "write error". On failure the part
// received so far stays in `body`. Returns result.ok.
[[nodiscard]] bool HttpGet(HttpResult& result, const std::string& url, const HttpOptions& options,
             const CancelFlag* cancel, TransferProgress* progress, std::string& body);
// GET into a stream; a stream that fails after a write ends it with "write error" (a stream has
// no reason to give).
[[nodiscard]] bool HttpGetToStream(HttpResult& result, const std::string& url, const HttpOptions& options,
                     const CancelFlag* cancel, TransferProgress* progress, std::ostream& out);
// HttpGet without progress counters.
[[nodiscard]] bool HttpGetString(HttpResult& result, const std::string& url, std::string& body,
                   const HttpOptions& options = {}, const CancelFlag* cancel = nullptr);
// Opens the ".part" file for writing; empty when it cannot be opened. The default creates it
// anew; tests pass handles whose writes fail.
using PartFileOpener = std::function<UniqueHandle(const std::wstring& partPath)>;
// GET into destination + ".part", then moved over the destination in one step. Every write of the
// ".part" file is checked ("write error: " and the reason, for a write that stopped short the
// lack of disk space) before the move. On any failure the ".part" file is removed (or, when only
// the final move failed, kept) and an existing destination is left untouched.
[[nodiscard]] bool DownloadFile(HttpResult& result, const std::string& url, const std::wstring& destination,
                  const HttpOptions& options, const CancelFlag* cancel, TransferProgress* progress,
                  const PartFileOpener& openPart = {});

// An address found in a page made absolute against the page's address.
std::string ResolveUrl(std::string_view base, std::string_view link);
// Short English words for a WinHTTP or system error code.
std::string WinHttpErrorText(uint32_t code);
