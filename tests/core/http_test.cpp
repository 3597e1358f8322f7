#include "core/http.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <thread>
#include <tuple>

#include "core/files.h"
#include "core/handle.h"
#include "core/text.h"
#include "tests/support/fixture_server.h"

using testkit::FixtureRequest;
using testkit::FixtureServer;
using testkit::ReadFile;

namespace {

// The fixture server's byte pattern: byte i is i % 251.
std::string Pattern(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = char(i % 251);
    return bytes;
}

// One plain server for the whole program, started by the first test that needs it. Each test
// reads only the requests it made itself (RequestsDuring).
FixtureServer& Server() {
    static FixtureServer server;
    if (!server.Started()) ADD_FAILURE() << server.Error();
    return server;
}

std::vector<FixtureRequest> RequestsDuring(const std::function<void()>& action) {
    const size_t before = Server().Requests().size();
    action();
    std::vector<FixtureRequest> all = Server().Requests();
    all.erase(all.begin(), all.begin() + std::min(before, all.size()));
    return all;
}

// A destination already holding an older download.
struct OldDownload {
    testkit::ScratchDir dir;
    std::wstring destination = dir / L"file.bin";
    OldDownload() { testkit::WriteFile(destination, "old content"); }
    bool PartLeft() const { return PathExists(destination + L".part"); }
    void ExpectKept(bool partLeft = false) const { EXPECT_TRUE(ReadFile(destination) == "old content" && PartLeft() == partLeft); }
};

}  // namespace

TEST(ResolveUrl, Link_RelativeRootedOrAbsolute_ResolvedAgainstBase) {
    // Relative: the last segment, query and fragment go. Rooted: only the origin stays, which ends at
    // the path, query or fragment. Absolute, or a base that is no address: the link as it is.
    const char* const cases[][3] = {
        {"https://h.example/dir/page.html?x=1/2", "file.zip", "https://h.example/dir/file.zip"},
        {"https://h.example/dir/#frag/x", "file.zip", "https://h.example/dir/file.zip"},
        {"https://h.example", "a", "https://h.example/a"}, {"https://h.example?x=/y", "a", "https://h.example/a"},
        {"https://h.example/dir/page.html?q", "/abs.zip", "https://h.example/abs.zip"},
        {"http://h.example:8080", "/abs.zip", "http://h.example:8080/abs.zip"},
        {"https://h.example?x=/y", "/abs.zip", "https://h.example/abs.zip"}, {"https://h.example#a/b", "/abs.zip", "https://h.example/abs.zip"},
        {"https://h.example/dir/page", "//cdn.example/x.zip", "https://cdn.example/x.zip"},
        {"https://h.example/d/", "HTTP://other/x", "HTTP://other/x"}, {"h.example/dir/", "a.zip", "a.zip"},
        {"ab", "a.zip", "a.zip"}, {"", "/a.zip", "/a.zip"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveUrl(c[0], c[1]), c[2]) << c[0] << " + " << c[1];
}

TEST(HttpGet, Body_SizedChunkedRedirectedOrGzip_ArrivesWholeWithProgress) {
    // Path, the paths the server sees, body, announced total (0: chunked; kAny: not checked).
    // Compressed bodies arrive plain whether or not WinHTTP can decompress (Wine cannot).
    constexpr uint64_t kAny = ~uint64_t(0);
    const std::tuple<std::string, std::vector<std::string>, std::string, uint64_t> cases[] = {
        {"/bytes?n=600000", {"/bytes?n=600000"}, Pattern(600000), 600000},
        {"/chunked?n=300001&piece=7000", {"/chunked?n=300001&piece=7000"}, Pattern(300001), 0},
        {"", {"/"}, "hello, world\n", kAny}, {"/redirect?to=/hello", {"/redirect?to=/hello", "/hello"}, "hello, world\n", kAny},
        {"/gzip", {"/gzip"}, "compressed hello\n", kAny},
        {"/redirect?to=%2Fredirect%3Fto%3D%252Fhello", {"/redirect?to=%2Fredirect%3Fto%3D%252Fhello", "/redirect?to=%2Fhello",
                                                        "/hello"}, "hello, world\n", kAny},
    };
    for (const auto& [path, seen, text, total] : cases) {
        TransferProgress progress;
        progress.done = progress.total = 99;   // left from an earlier transfer
        HttpResult result;
        std::string body = "stale";   // replaced, not appended to
        std::vector<std::string> paths;
        for (const auto& request : RequestsDuring([&] { (void)HttpGet(result, Server().Url(path), {}, nullptr, &progress, body); }))
            paths.push_back(request.path);
        EXPECT_EQ(paths, seen);
        EXPECT_TRUE(result.ok && result.status == 200u && result.error.empty()) << path << ": " << result.error;
        EXPECT_TRUE(total == kAny || (progress.total == total && progress.done == text.size())) << path << ": " << progress.done.load();
        EXPECT_TRUE(body == text) << path << ": body differs, size " << body.size();
        // Links in a page are resolved against the address that finally answered.
        EXPECT_EQ(result.finalUrl, Server().Url(seen.back() == "/" ? "" : seen.back())) << path;
    }
}

TEST(HttpGet, Headers_AgentAndRefererFromOptions_NothingInjected) {
    const auto sent = [](const HttpOptions& options) {
        HttpResult result;
        std::string body;
        const auto requests = RequestsDuring([&] { (void)HttpGetString(result, Server().Url("/hello"), body, options); });
        EXPECT_TRUE(result.ok && requests.size() == 1) << result.error;
        return requests.empty() ? FixtureRequest{} : requests[0];
    };
    const FixtureRequest plain = sent({});
    const std::string agent = plain.Header("User-Agent");
    EXPECT_TRUE(StartsWith(agent, "Zerva/4.0.0 (Windows; +https://") && EndsWith(agent, ")")) << agent;
    EXPECT_EQ(plain.Header("Accept") + "|" + plain.Header("Referer"), "*/*|<absent>");
    const FixtureRequest browser = sent({"https://downloads.example/list.html", true});
    EXPECT_EQ(browser.Header("User-Agent"), "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                            "Chrome/130.0 Safari/537.36 Zerva/4.0.0");
    EXPECT_EQ(browser.Header("Referer"), "https://downloads.example/list.html");
    const FixtureRequest injected = sent({"https://a.example/\r\nX-Injected: yes"});
    EXPECT_EQ(injected.Header("Referer") + "|" + injected.Header("X-Injected"), "https://a.example/|<absent>");
}

TEST(HttpGet, Failure_BadUrlNoListenerStatusOrCancel_ReportedWithBodyUnread) {
    const CancelFlag cancelled{true};
    const std::string malformed = "http//127.0.0.1:" + std::to_string(Server().Port()) + "/hello";
    const testkit::PortLease unused;   // nobody listens on it: a freed port-0 number could be anyone's
    const std::string noListener = "http://127.0.0.1:" + std::to_string(unused.Port()) + "/";
    // URL, cancel flag, status, error; the first ones never reach a server.
    const std::tuple<std::string, const CancelFlag*, uint32_t, std::string> cases[] = {
        {malformed, nullptr, 0, "invalid URL: " + malformed}, {"ftp://127.0.0.1/x", nullptr, 0, "invalid URL: ftp://127.0.0.1/x"},
        {"http://", nullptr, 0, "invalid URL: http://"}, {"", nullptr, 0, "invalid URL: "},
        {noListener, nullptr, 0, "cannot connect"},
        {Server().Url("/status?code=400"), nullptr, 400, "HTTP 400"}, {Server().Url("/status?code=503"), nullptr, 503, "HTTP 503"},
        // What WinHTTP does not follow comes back as it is (Windows: a redirect from HTTPS to HTTP too).
        {Server().Url("/redirect?code=300&to=/hello"), nullptr, 300, "redirect to " + Server().Url("/hello") + " not followed"},
        {Server().Url("/status?code=304"), nullptr, 304, "HTTP 304"}, {Server().Url("/status?code=199"), nullptr, 199, "HTTP 199"},
        {Server().Url("/hello"), &cancelled, 200, "cancelled"},
    };
    const std::string denied = WinHttpErrorText(ERROR_ACCESS_DENIED);   // unknown codes: system text else number
    EXPECT_TRUE(!denied.empty() && denied == Trim(denied) && !StartsWith(denied, "WinHTTP error")) << denied;
    EXPECT_EQ(WinHttpErrorText(0x20000123u), "WinHTTP error 536871203");
    for (const auto& [url, cancel, status, error] : cases) {
        HttpResult result;
        result.status = 7;   // left from an earlier call
        std::string body;
        const auto requests = RequestsDuring([&] { EXPECT_FALSE(HttpGet(result, url, {}, cancel, nullptr, body)) << url; });
        EXPECT_EQ(result.error, error);
        EXPECT_TRUE(!result.ok && result.status == status && body.empty() && requests.empty() == (status == 0)) << url;
    }
}

TEST(HttpGet, BodyCutShortOrUnwritable_StalledClosedOrFailingStream_FailsKeepingWhatArrived) {
    HttpOptions options;   // also bounds the wait for the headers: long enough that only the stall trips it
    options.timeoutMs = 2000;
    for (const char* path : {"/stall?n=100&first=10", "/short?n=100&first=10"}) {
        TransferProgress progress;
        HttpResult result;
        std::string body;
        EXPECT_FALSE(HttpGet(result, Server().Url(path), options, nullptr, &progress, body)) << path;
        EXPECT_TRUE(result.status == 200u && progress.total == 100u) << path;
        // A connection closed early must not pass for the end of the body.
        EXPECT_TRUE(!result.error.empty() && StartsWith(path, "/stall") == (result.error == "timeout")) << result.error;
        EXPECT_TRUE(StartsWith(Pattern(10), body)) << body.size();   // what arrived stays with the caller
    }
    HttpResult result;
    std::ostream out(nullptr);   // without a buffer every write fails
    EXPECT_TRUE(!HttpGetToStream(result, Server().Url("/bytes?n=5000"), {}, nullptr, nullptr, out) && result.error == "write error");
}

// Each server has a CA of its own. The trusted one goes first: a process's chain engine may keep
// the root store it saw at its first handshake (Wine's does).
TEST(HttpGet, Https_TrustedOrUntrustedCertificate_SucceedsOrFailsBeforeRequest) {
    FixtureServer trusted(true), untrusted(true);
    ASSERT_TRUE(trusted.Started() && untrusted.Started()) << trusted.Error() << untrusted.Error();
    testkit::TrustedRoot root(trusted.CaCertificate());
    ASSERT_TRUE(root.Added());
    HttpResult result;
    std::string body;
    EXPECT_TRUE(HttpGetString(result, trusted.Url("/hello"), body) && body == "hello, world\n") << result.error;
    EXPECT_FALSE(HttpGetString(result, untrusted.Url("/hello"), body));
    EXPECT_FALSE(result.status != 0u || result.error.empty() || result.error == "cannot connect") << result.error;
    EXPECT_TRUE(untrusted.Requests().empty());
}

TEST(DownloadFile, Success_ReplacesOldFileOrCreatesFolders_LeavesNoPart) {
    OldDownload old;
    HttpResult result;
    EXPECT_TRUE(DownloadFile(result, Server().Url("/bytes?n=700000"), old.destination, {}, nullptr, nullptr)) << result.error;
    EXPECT_TRUE(ReadFile(old.destination) == Pattern(700000) && !old.PartLeft());
    const std::wstring deep = old.dir / L"a/b/c/hello.txt";   // none of a, b, c exists
    ASSERT_TRUE(DownloadFile(result, Server().Url("/hello"), deep, {}, nullptr, nullptr)) << result.error;
    EXPECT_EQ(ReadFile(deep), "hello, world\n");
}

TEST(DownloadFile, NotFoundOrCancelled_KeepsOldFileAndRemovesPart) {
    OldDownload old;
    HttpResult result;
    EXPECT_FALSE(DownloadFile(result, Server().Url("/nothing-here"), old.destination, {}, nullptr, nullptr));
    EXPECT_EQ(result.error, "HTTP 404");
    old.ExpectKept();
    // A redirect not followed is no file: saved, it would pass for an archive, a sum or a CA bundle.
    // Its address is longer than a short header buffer holds.
    const std::string target = "/mirror/" + std::string(200, 'm') + "/httpd.zip";
    EXPECT_FALSE(DownloadFile(result, Server().Url("/redirect?code=300&to=" + target), old.destination, {}, nullptr, nullptr));
    EXPECT_EQ(result.error, "redirect to " + Server().Url(target) + " not followed");
    old.ExpectKept();

    CancelFlag cancel{false};
    TransferProgress progress;
    constexpr uint64_t kEndedEarly = ~uint64_t(0);
    std::thread download([&] {
        (void)DownloadFile(result, Server().Url("/drip?n=100000&ms=10"), old.destination, {}, &cancel, &progress);
        if (progress.done == 0) {   // ended before its first piece: still wake the wait below
            progress.done = kEndedEarly;
            progress.done.notify_all();
        }
    });
    progress.done.wait(0);   // the transfer wakes us after its first piece
    EXPECT_NE(progress.done.load(), kEndedEarly) << result.error;
    EXPECT_TRUE(old.PartLeft());
    cancel = true;
    download.join();
    EXPECT_EQ(result.error, "cancelled");
    old.ExpectKept();
}

TEST(DownloadFile, PartOrFinalMoveFails_OldFileKept) {
    OldDownload old;
    const std::wstring inside = old.destination + L"\\inside.bin";   // its folder is a file
    HttpResult result;
    const auto requests = RequestsDuring([&] { EXPECT_FALSE(DownloadFile(result, Server().Url("/hello"), inside, {}, nullptr, nullptr)); });
    EXPECT_TRUE(result.error == "cannot write " + WideToUtf8(inside + L".part") && requests.empty()) << result.error;
    // Held open without delete sharing, the old file cannot be replaced: the complete download stays.
    UniqueHandle holder(::CreateFileW(old.destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(DownloadFile(result, Server().Url("/hello"), old.destination, {}, nullptr, nullptr));
    EXPECT_TRUE(StartsWith(result.error, "cannot replace " + WideToUtf8(old.destination) + ": ")) << result.error;
    holder.Reset();
    old.ExpectKept(true);
    EXPECT_EQ(ReadFile(old.destination + L".part"), "hello, world\n");
}

// A ".part" file whose writes fail: the error names the reason, and for a write that stopped short
// without one, the lack of disk space. The old file stays, no ".part" is left.
TEST(DownloadFile, PartWritesFailWithAnErrorOrStopShort_WriteErrorNamesTheReason_OldFileKeptNoPart) {
    const std::pair<bool, DWORD> cases[] = {{false, ERROR_ACCESS_DENIED}, {true, ERROR_DISK_FULL}};
    for (const auto& [full, code] : cases) {
        SCOPED_TRACE(full ? "full" : "read-only");
        OldDownload old;
        testkit::FailingWrites failing(old.destination + L".part");
        HttpResult result;
        const bool ok = DownloadFile(result, Server().Url("/bytes?n=300000"), old.destination, {}, nullptr, nullptr,
                                     [&](const std::wstring&) { return full ? failing.Full() : failing.ReadOnly(); });
        EXPECT_FALSE(ok);
        EXPECT_EQ(result.error, "write error: " + LastErrorText(code));
        old.ExpectKept();
    }
}
