#include "core/http.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/files.h"
#include "core/handle.h"
#include "core/text.h"
#include "tests/support/fixture_server.h"
#include "tests/support/testkit.h"

using testkit::FixtureRequest;
using testkit::FixtureServer;
using testkit::ScratchDir;
using testkit::UnusedPort;

namespace {

// The fixture server's byte pattern: byte i is i % 251.
std::string Pattern(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = char(i % 251);
    return bytes;
}

// One plain server for the whole test program, started by the first test that needs it. Tests
// share nothing else: each one reads only the requests it made itself (RequestsDuring).
FixtureServer& Server() {
    static FixtureServer server;
    if (!server.Started()) ADD_FAILURE() << server.Error();
    return server;
}

// The requests the shared server received while `action` ran.
std::vector<FixtureRequest> RequestsDuring(const std::function<void()>& action) {
    const size_t before = Server().Requests().size();
    action();
    std::vector<FixtureRequest> all = Server().Requests();
    all.erase(all.begin(), all.begin() + std::min(before, all.size()));
    return all;
}

// A destination already holding an older download.
struct OldDownload {
    ScratchDir dir;
    std::wstring destination = dir / L"file.bin";
    OldDownload() { testkit::WriteFile(destination, "old content"); }
    bool PartLeft() const { return PathExists(destination + L".part"); }
    void ExpectKept(bool partLeft = false) const {
        EXPECT_EQ(testkit::ReadFile(destination), "old content");
        EXPECT_EQ(PartLeft(), partLeft);
    }
};

}  // namespace

// ---- Pure helpers ----

TEST(ResolveUrl, Link_RelativeRootedOrAbsolute_ResolvedAgainstBase) {
    const char* const cases[][3] = {
        // A relative link replaces the last segment; the query and fragment go.
        {"https://h.example/dir/page.html?x=1/2", "file.zip", "https://h.example/dir/file.zip"},
        {"https://h.example/dir/#frag/x", "file.zip", "https://h.example/dir/file.zip"},
        {"https://h.example/dir/sub/", "../a.zip", "https://h.example/dir/sub/../a.zip"},
        {"https://h.example", "a", "https://h.example/a"},
        {"https://h.example?x=/y", "a", "https://h.example/a"},
        // A rooted link keeps only the origin, which ends at the path, query or fragment.
        {"https://h.example/dir/page.html?q", "/abs.zip", "https://h.example/abs.zip"},
        {"http://h.example:8080", "/abs.zip", "http://h.example:8080/abs.zip"},
        {"https://h.example?x=/y", "/abs.zip", "https://h.example/abs.zip"},
        {"https://h.example#a/b", "/abs.zip", "https://h.example/abs.zip"},
        {"https://h.example/dir/page", "//cdn.example/x.zip", "https://cdn.example/x.zip"},
        // An absolute link, or a base that is no address, leaves the link as it is.
        {"https://h.example/d/", "HTTP://other/x", "HTTP://other/x"},
        {"https://h.example/d/", "https://other/x", "https://other/x"},
        {"h.example/dir/", "a.zip", "a.zip"},
        {"ab", "a.zip", "a.zip"},
        {"", "/a.zip", "/a.zip"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveUrl(c[0], c[1]), c[2]) << c[0] << " + " << c[1];
}

TEST(WinHttpErrorText, Codes_TableWordsElseSystemMessageElseNumber) {
    const std::pair<uint32_t, const char*> table[] = {
        {12002, "timeout"}, {12007, "host not found (no Internet connection?)"}, {12017, "cancelled"},
        {12029, "cannot connect"}, {12030, "connection reset"}, {12175, "TLS / certificate error"},
    };
    for (const auto& [code, text] : table) EXPECT_EQ(WinHttpErrorText(code), text) << code;
    const std::string denied = WinHttpErrorText(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(!denied.empty() && denied == Trim(denied) && !StartsWith(denied, "WinHTTP error")) << denied;
    // Customer-defined codes have no system message anywhere.
    EXPECT_EQ(WinHttpErrorText(0x20000123u), "WinHTTP error 536871203");
}

// ---- Requests ----

TEST(HttpGet, Body_SizedOrChunked_ArrivesWithProgress) {
    // A chunked body announces no length: total stays 0 while done grows.
    const std::tuple<std::string, size_t, uint64_t> cases[] = {
        {"/bytes?n=600000", 600000, 600000}, {"/chunked?n=300001&piece=7000", 300001, 0}};
    for (const auto& [path, size, total] : cases) {
        TransferProgress progress;
        progress.done = progress.total = 99;   // left from an earlier transfer
        HttpResult result;
        std::string body = "stale";
        EXPECT_TRUE(HttpGet(result, Server().Url(path), {}, nullptr, &progress, body) && result.ok) << result.error;
        EXPECT_EQ(result.status, 200u) << path;
        EXPECT_TRUE(result.error.empty()) << path;
        EXPECT_EQ(progress.total.load(), total) << path;
        EXPECT_EQ(progress.done.load(), size) << path;
        EXPECT_TRUE(body == Pattern(size)) << path << ": body differs, size " << body.size();
    }
}

TEST(HttpGet, Request_BareHostQueryRedirectOrGzip_PathAsGivenBodyPlain) {
    // Compressed bodies arrive plain whether or not WinHTTP can decompress (Wine cannot).
    const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
        {"", {"/"}, "hello, world\n"},
        {"/hello?a=1&b=2", {"/hello?a=1&b=2"}, "hello, world\n"},
        {"/redirect?to=/hello", {"/redirect?to=/hello", "/hello"}, "hello, world\n"},
        {"/gzip", {"/gzip"}, "compressed hello\n"},
    };
    for (const auto& [path, wanted, text] : cases) {
        HttpResult result;
        std::string body;
        std::vector<std::string> seen;
        for (const FixtureRequest& request : RequestsDuring([&] { HttpGetString(result, Server().Url(path), body); }))
            seen.push_back(request.path);
        EXPECT_EQ(seen, wanted);
        EXPECT_TRUE(result.ok && result.status == 200u) << path << ": " << result.error;
        EXPECT_EQ(body, text) << path;
    }
}

TEST(HttpGet, Headers_AgentAndRefererFromOptions_NothingInjected) {
    const auto sent = [](const HttpOptions& options) {
        HttpResult result;
        std::string body;
        const auto requests = RequestsDuring([&] { HttpGetString(result, Server().Url("/hello"), body, options); });
        EXPECT_TRUE(result.ok) << result.error;
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? FixtureRequest{} : requests[0];
    };
    const FixtureRequest plain = sent({});
    const std::string agent = plain.Header("User-Agent");
    EXPECT_TRUE(StartsWith(agent, "Zerva/4.0.0 (Windows; +https://") && EndsWith(agent, ")")) << agent;
    EXPECT_EQ(plain.Header("Accept"), "*/*");
    EXPECT_EQ(plain.Header("Referer"), "<absent>");

    const FixtureRequest browser = sent({"https://downloads.example/list.html", true});
    EXPECT_EQ(browser.Header("User-Agent"),
              "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/130.0 Safari/537.36 Zerva/4.0.0");
    EXPECT_EQ(browser.Header("Referer"), "https://downloads.example/list.html");

    const FixtureRequest injected = sent({"https://a.example/\r\nX-Injected: yes"});
    EXPECT_EQ(injected.Header("Referer"), "https://a.example/");
    EXPECT_EQ(injected.Header("X-Injected"), "<absent>");
}

TEST(HttpGet, NoResponse_InvalidUrlOrNoListener_FailsWithStatusZero) {
    const std::string malformed = "http//127.0.0.1:" + std::to_string(Server().Port()) + "/hello";
    const std::string noListener = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
    const auto requests = RequestsDuring([&] {
        for (const std::string& url : {malformed, std::string("ftp://127.0.0.1/x"), std::string("http://"),
                                       std::string("not a url"), std::string(), noListener}) {
            HttpResult result;
            result.status = 7;   // left from an earlier call
            std::string body;
            EXPECT_FALSE(HttpGetString(result, url, body)) << url;
            EXPECT_EQ(result.error, url == noListener ? "cannot connect" : "invalid URL: " + url);
            EXPECT_EQ(result.status, 0u) << url;
        }
    });
    EXPECT_TRUE(requests.empty());
}

TEST(HttpGet, StatusOrCancelBeforeBody_FailsWithBodyUnread) {
    const CancelFlag cancelled{true};
    const std::tuple<std::string, const CancelFlag*, uint32_t, std::string> cases[] = {
        {"/status?code=404", nullptr, 404, "HTTP 404"},
        {"/status?code=503", nullptr, 503, "HTTP 503"},
        {"/hello", &cancelled, 200, "cancelled"},
    };
    for (const auto& [path, cancel, status, error] : cases) {
        HttpResult result;
        std::string body;
        EXPECT_FALSE(HttpGet(result, Server().Url(path), {}, cancel, nullptr, body) || result.ok) << path;
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.error, error);
        EXPECT_TRUE(body.empty()) << path;
    }
}

TEST(HttpGet, BodyCutShort_StalledOrClosed_FailsKeepingWhatArrived) {
    // The time-out also bounds the wait for the headers, which a loaded machine can slow down:
    // short enough to keep the test quick, long enough that only the stall trips it.
    HttpOptions options;
    options.timeoutMs = 2000;
    for (const bool stalled : {true, false}) {
        const std::string path = stalled ? "/stall?n=100&first=10" : "/short?n=100&first=10";
        TransferProgress progress;
        HttpResult result;
        std::string body;
        EXPECT_FALSE(HttpGet(result, Server().Url(path), options, nullptr, &progress, body)) << path;
        EXPECT_EQ(result.status, 200u) << path;
        EXPECT_EQ(progress.total.load(), 100u) << path;
        if (stalled) {
            EXPECT_EQ(result.error, "timeout");
            EXPECT_EQ(body, Pattern(10));   // what arrived stays with the caller
        } else {
            // A connection closed early must not pass for the end of the body.
            EXPECT_FALSE(result.error.empty());
            EXPECT_TRUE(StartsWith(Pattern(10), body)) << body.size();
        }
    }
}

TEST(HttpGet, Destination_FullMemoryLimitOrFailingStream_WriteError) {
    constexpr size_t kLimit = 64u << 20;
    HttpResult result;
    std::string body;
    EXPECT_TRUE(HttpGetString(result, Server().Url("/bytes?n=" + std::to_string(kLimit - 1)), body)) << result.error;
    EXPECT_EQ(body.size(), kLimit - 1);
    EXPECT_FALSE(HttpGetString(result, Server().Url("/bytes?n=" + std::to_string(kLimit + 1000000)), body));
    EXPECT_EQ(result.error, "write error");
    EXPECT_GE(body.size(), kLimit);
    EXPECT_LT(body.size(), kLimit + 1000000);

    std::ostream out(nullptr);   // without a buffer every write fails
    EXPECT_FALSE(HttpGetToStream(result, Server().Url("/bytes?n=5000"), {}, nullptr, nullptr, out));
    EXPECT_EQ(result.error, "write error");
    EXPECT_EQ(result.status, 200u);
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
    EXPECT_TRUE(HttpGetString(result, trusted.Url("/hello"), body)) << result.error;
    EXPECT_EQ(body, "hello, world\n");

    EXPECT_FALSE(HttpGetString(result, untrusted.Url("/hello"), body));
    EXPECT_EQ(result.status, 0u);
    EXPECT_FALSE(result.error.empty() || result.error == "cannot connect") << result.error;
    EXPECT_TRUE(untrusted.Requests().empty());
}

// ---- Downloads ----

TEST(DownloadFile, Success_ReplacesOldFileOrCreatesFolders_LeavesNoPart) {
    OldDownload old;
    TransferProgress progress;
    HttpResult result;
    EXPECT_TRUE(DownloadFile(result, Server().Url("/bytes?n=700000"), old.destination, {}, nullptr, &progress))
        << result.error;
    EXPECT_TRUE(testkit::ReadFile(old.destination) == Pattern(700000));
    EXPECT_FALSE(old.PartLeft());
    EXPECT_EQ(progress.done.load(), 700000u);

    const std::wstring deep = old.dir / L"a/b/c/hello.txt";   // none of a, b, c exists
    ASSERT_TRUE(DownloadFile(result, Server().Url("/hello"), deep, {}, nullptr, nullptr)) << result.error;
    EXPECT_EQ(testkit::ReadFile(deep), "hello, world\n");
}

TEST(DownloadFile, NotFoundOrCancelled_KeepsOldFileAndRemovesPart) {
    OldDownload old;
    HttpResult result;
    EXPECT_FALSE(DownloadFile(result, Server().Url("/nothing-here"), old.destination, {}, nullptr, nullptr));
    EXPECT_EQ(result.error, "HTTP 404");
    old.ExpectKept();

    CancelFlag cancel{false};
    TransferProgress progress;
    constexpr uint64_t kEndedEarly = ~uint64_t(0);
    std::thread download([&] {
        DownloadFile(result, Server().Url("/drip?n=100000&ms=10"), old.destination, {}, &cancel, &progress);
        // A download that ended before its first piece must still wake the wait below.
        if (progress.done == 0) {
            progress.done = kEndedEarly;
            progress.done.notify_all();
        }
    });
    progress.done.wait(0);   // the transfer wakes us after its first piece
    EXPECT_NE(progress.done.load(), kEndedEarly) << result.error;
    EXPECT_TRUE(old.PartLeft());
    cancel = true;
    download.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "cancelled");
    old.ExpectKept();
}

TEST(DownloadFile, FinalMoveFails_KeepsOldFileAndCompletePart) {
    OldDownload old;
    // Held open without delete sharing, the old file cannot be replaced (nor deleted).
    UniqueHandle holder(::CreateFileW(old.destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    HttpResult result;
    EXPECT_FALSE(DownloadFile(result, Server().Url("/hello"), old.destination, {}, nullptr, nullptr));
    EXPECT_TRUE(StartsWith(result.error, "cannot replace " + WideToUtf8(old.destination) + ": ")) << result.error;
    holder.Reset();
    old.ExpectKept(true);
    EXPECT_EQ(testkit::ReadFile(old.destination + L".part"), "hello, world\n");
}

TEST(DownloadFile, PartFileCannotBeCreated_CannotWriteWithoutRequest) {
    OldDownload old;
    const std::wstring destination = old.destination + L"\\inside.bin";   // its folder is a file
    HttpResult result;
    const auto requests = RequestsDuring(
        [&] { EXPECT_FALSE(DownloadFile(result, Server().Url("/hello"), destination, {}, nullptr, nullptr)); });
    EXPECT_EQ(result.error, "cannot write " + WideToUtf8(destination + L".part"));
    EXPECT_TRUE(requests.empty());
}
