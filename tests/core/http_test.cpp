#include "core/http.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <streambuf>
#include <thread>

#include "core/files.h"
#include "core/handle.h"
#include "core/text.h"
#include "tests/support/fixture_server.h"
#include "tests/support/testkit.h"

using testkit::FixtureServer;
using testkit::ScratchDir;

namespace {

// The fixture server's byte pattern: byte i is i % 251.
std::string Pattern(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = char(i % 251);
    return bytes;
}

// A loopback port nobody listens on: bound once to learn a free number, then released.
uint16_t UnusedPort() {
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::closesocket(s);
    return ntohs(address.sin_port);
}

// Counts what is written and raises the cancel flag after the first piece, or refuses writes.
class ProbeBuffer : public std::streambuf {
public:
    ProbeBuffer(CancelFlag* cancelAfterFirst, bool refuse) : m_cancel(cancelAfterFirst), m_refuse(refuse) {}
    size_t written = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize count) override {
        if (m_refuse) return 0;
        written += size_t(count);
        if (m_cancel) *m_cancel = true;
        return count;
    }
    int_type overflow(int_type c) override { return m_refuse ? traits_type::eof() : c; }

private:
    CancelFlag* m_cancel;
    bool m_refuse;
};

// A running server and a destination already holding an older download.
struct OldDownload {
    FixtureServer server;
    ScratchDir dir;
    std::wstring destination = dir / L"file.bin";
    OldDownload() { testkit::WriteFile(destination, "old content"); }
    std::string Current() const { return testkit::ReadFile(destination); }
    bool PartLeft() const { return PathExists(destination + L".part"); }
};

#define START_SERVER(name, ...)       \
    FixtureServer name{__VA_ARGS__}; \
    ASSERT_TRUE(name.Started()) << name.Error()

}  // namespace

// ---- Pure helpers ----

TEST(ResolveUrl, RelativeLink_ReplacesLastSegmentAndDropsQuery) {
    EXPECT_EQ(ResolveUrl("https://h.example/dir/page.html?x=1/2", "file.zip"), "https://h.example/dir/file.zip");
    EXPECT_EQ(ResolveUrl("https://h.example/dir/#frag/x", "file.zip"), "https://h.example/dir/file.zip");
    EXPECT_EQ(ResolveUrl("https://h.example/dir/sub/", "../a.zip"), "https://h.example/dir/sub/../a.zip");
}

TEST(ResolveUrl, RootedLink_KeepsSchemeAndHost) {
    EXPECT_EQ(ResolveUrl("https://h.example/dir/page.html?q", "/abs.zip"), "https://h.example/abs.zip");
    EXPECT_EQ(ResolveUrl("http://h.example:8080", "/abs.zip"), "http://h.example:8080/abs.zip");
    EXPECT_EQ(ResolveUrl("https://h.example?x=/y", "/abs.zip"), "https://h.example/abs.zip");
    EXPECT_EQ(ResolveUrl("https://h.example#a/b", "/abs.zip"), "https://h.example/abs.zip");
}

TEST(ResolveUrl, BaseWithoutPath_AddsSlash) {
    EXPECT_EQ(ResolveUrl("https://h.example", "a"), "https://h.example/a");
    EXPECT_EQ(ResolveUrl("https://h.example?x=/y", "a"), "https://h.example/a");
}

TEST(ResolveUrl, AbsoluteLinkOrUnusableBase_LinkUnchanged) {
    EXPECT_EQ(ResolveUrl("https://h.example/d/", "HTTP://other/x"), "HTTP://other/x");
    EXPECT_EQ(ResolveUrl("https://h.example/d/", "https://other/x"), "https://other/x");
    EXPECT_EQ(ResolveUrl("h.example/dir/", "a.zip"), "a.zip");
    EXPECT_EQ(ResolveUrl("ab", "a.zip"), "a.zip");
    EXPECT_EQ(ResolveUrl("", "/a.zip"), "/a.zip");
}

TEST(ResolveUrl, SchemeRelativeLink_TakesBaseScheme) {
    EXPECT_EQ(ResolveUrl("https://h.example/dir/page", "//cdn.example/x.zip"), "https://cdn.example/x.zip");
}

TEST(WinHttpErrorText, TableCodes_FixedWords) {
    EXPECT_EQ(WinHttpErrorText(12002), "timeout");
    EXPECT_EQ(WinHttpErrorText(12007), "host not found (no Internet connection?)");
    EXPECT_EQ(WinHttpErrorText(12017), "cancelled");
    EXPECT_EQ(WinHttpErrorText(12029), "cannot connect");
    EXPECT_EQ(WinHttpErrorText(12030), "connection reset");
    EXPECT_EQ(WinHttpErrorText(12175), "TLS / certificate error");
}

TEST(WinHttpErrorText, OtherCodes_SystemMessageOrNumber) {
    const std::string denied = WinHttpErrorText(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(denied.empty());
    EXPECT_EQ(denied, Trim(denied));
    EXPECT_FALSE(StartsWith(denied, "WinHTTP error"));
    // Customer-defined codes have no system message anywhere.
    EXPECT_EQ(WinHttpErrorText(0x20000123u), "WinHTTP error 536871203");
}

// ---- Requests ----

TEST(HttpGet, SizedBody_OkWithStatusAndProgress) {
    START_SERVER(server);
    TransferProgress progress;
    progress.done = 99;
    HttpResult result;
    std::string body = "stale";
    EXPECT_TRUE(HttpGet(result, server.Url("/bytes?n=600000"), {}, nullptr, &progress, body));
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.status, 200u);
    EXPECT_TRUE(result.error.empty());
    EXPECT_EQ(progress.total.load(), 600000u);
    EXPECT_EQ(progress.done.load(), 600000u);
    EXPECT_TRUE(body == Pattern(600000)) << "body differs, size " << body.size();
}

TEST(HttpGet, ChunkedBody_TotalStaysZeroWhileDoneGrows) {
    START_SERVER(server);
    TransferProgress progress;
    HttpResult result;
    std::string body;
    EXPECT_TRUE(HttpGet(result, server.Url("/chunked?n=300001&piece=7000"), {}, nullptr, &progress, body))
        << result.error;
    EXPECT_EQ(progress.total.load(), 0u);
    EXPECT_EQ(progress.done.load(), 300001u);
    EXPECT_TRUE(body == Pattern(300001));
}

TEST(HttpGet, BareHost_RequestsRoot) {
    START_SERVER(server);
    HttpResult result;
    std::string body;
    ASSERT_TRUE(HttpGetString(result, server.Url(), body)) << result.error;
    EXPECT_EQ(body, "hello, world\n");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/");
}

TEST(HttpGet, Headers_PlainAgentAcceptAndNoReferer) {
    START_SERVER(server);
    HttpResult result;
    std::string body;
    ASSERT_TRUE(HttpGetString(result, server.Url("/hello?a=1&b=2"), body)) << result.error;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/hello?a=1&b=2");
    const std::string agent = requests[0].Header("User-Agent");
    EXPECT_TRUE(StartsWith(agent, "Zerva/4.0.0 (Windows; +https://")) << agent;
    EXPECT_TRUE(EndsWith(agent, ")")) << agent;
    EXPECT_EQ(requests[0].Header("Accept"), "*/*");
    EXPECT_EQ(requests[0].Header("Referer"), "<absent>");
}

TEST(HttpGet, Headers_BrowserAgentAndReferer) {
    START_SERVER(server);
    HttpOptions options;
    options.browserAgent = true;
    options.referer = "https://downloads.example/list.html";
    HttpResult result;
    std::string body;
    ASSERT_TRUE(HttpGetString(result, server.Url("/hello"), body, options)) << result.error;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("User-Agent"),
              "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/130.0 Safari/537.36 Zerva/4.0.0");
    EXPECT_EQ(requests[0].Header("Referer"), "https://downloads.example/list.html");
}

TEST(HttpGet, Headers_RefererWithLineBreak_CannotAddHeaders) {
    START_SERVER(server);
    HttpOptions options;
    options.referer = "https://a.example/\r\nX-Injected: yes";
    HttpResult result;
    std::string body;
    ASSERT_TRUE(HttpGetString(result, server.Url("/hello"), body, options)) << result.error;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Referer"), "https://a.example/");
    EXPECT_EQ(requests[0].Header("X-Injected"), "<absent>");
}

TEST(HttpGet, NotFound_FailsWithStatusAndBodyUnread) {
    START_SERVER(server);
    TransferProgress progress;
    HttpResult result;
    std::string body;
    EXPECT_FALSE(HttpGet(result, server.Url("/status?code=404"), {}, nullptr, &progress, body));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, 404u);
    EXPECT_EQ(result.error, "HTTP 404");
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(progress.done.load(), 0u);
    ASSERT_FALSE(HttpGetString(result, server.Url("/status?code=503"), body));
    EXPECT_EQ(result.error, "HTTP 503");
}

TEST(HttpGet, Redirect_FollowedToTarget) {
    START_SERVER(server);
    HttpResult result;
    std::string body;
    ASSERT_TRUE(HttpGetString(result, server.Url("/redirect?to=/hello"), body)) << result.error;
    EXPECT_EQ(result.status, 200u);
    EXPECT_EQ(body, "hello, world\n");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].path, "/hello");
}

TEST(HttpGet, InvalidUrl_FailsWithoutSending) {
    START_SERVER(server);
    const std::string malformed = "http//127.0.0.1:" + std::to_string(server.Port()) + "/hello";
    for (const std::string& url : {malformed, std::string("ftp://127.0.0.1/x"), std::string("http://"),
                                   std::string("not a url"), std::string()}) {
        HttpResult result;
        result.status = 7;
        std::string body;
        EXPECT_FALSE(HttpGetString(result, url, body)) << url;
        EXPECT_EQ(result.error, "invalid URL: " + url);
        EXPECT_EQ(result.status, 0u);
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpGet, NoListener_CannotConnect) {
    HttpResult result;
    std::string body;
    EXPECT_FALSE(HttpGetString(result, "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/", body));
    EXPECT_EQ(result.status, 0u);
    EXPECT_EQ(result.error, "cannot connect");
}

TEST(HttpGet, StalledBody_TimesOut) {
    START_SERVER(server);
    // The same time-out also bounds the wait for the headers, which a loaded machine can slow
    // down: short enough to keep the test quick, long enough that only the stall trips it.
    HttpOptions options;
    options.timeoutMs = 2000;
    TransferProgress progress;
    HttpResult result;
    std::string body;
    EXPECT_FALSE(HttpGet(result, server.Url("/stall?n=100&first=10"), options, nullptr, &progress, body));
    EXPECT_EQ(result.status, 200u);
    EXPECT_EQ(result.error, "timeout");
    EXPECT_EQ(progress.total.load(), 100u);
    EXPECT_EQ(body, Pattern(10));   // what arrived stays with the caller
}

TEST(HttpGet, ConnectionClosedEarly_NotReportedComplete) {
    START_SERVER(server);
    HttpResult result;
    std::string body;
    EXPECT_FALSE(HttpGetString(result, server.Url("/short?n=5000&first=1000"), body));
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_LE(body.size(), 1000u);
}

TEST(HttpGet, CancelledBeforeFirstRead_StopsWithCancelled) {
    START_SERVER(server);
    CancelFlag cancel{true};
    HttpResult result;
    std::string body;
    EXPECT_FALSE(HttpGet(result, server.Url("/hello"), {}, &cancel, nullptr, body));
    EXPECT_EQ(result.error, "cancelled");
    EXPECT_EQ(result.status, 200u);
    EXPECT_TRUE(body.empty());
}

TEST(HttpGet, MemoryBody_ReachingLimit_WriteError) {
    START_SERVER(server);
    constexpr size_t kLimit = 64u << 20;
    HttpResult result;
    std::string body;
    EXPECT_TRUE(HttpGetString(result, server.Url("/bytes?n=" + std::to_string(kLimit - 1)), body)) << result.error;
    EXPECT_EQ(body.size(), kLimit - 1);
    EXPECT_FALSE(HttpGetString(result, server.Url("/bytes?n=" + std::to_string(kLimit + 1000000)), body));
    EXPECT_EQ(result.error, "write error");
    EXPECT_GE(body.size(), kLimit);
    EXPECT_LT(body.size(), kLimit + 1000000);
}

TEST(HttpGet, CompressedBody_ArrivesPlainWhetherOrNotDecompressionIsAvailable) {
    START_SERVER(server);
    HttpResult result;
    std::string body;
    ASSERT_TRUE(HttpGetString(result, server.Url("/gzip"), body)) << result.error;
    EXPECT_EQ(body, "compressed hello\n");
}

TEST(HttpGetToStream, CancelDuringTransfer_StopsAtNextRead) {
    START_SERVER(server);
    CancelFlag cancel{false};
    ProbeBuffer sink(&cancel, false);
    std::ostream out(&sink);
    HttpResult result;
    // 1000 bytes at one per 20 ms: a transfer that ran on would take 20 s.
    EXPECT_FALSE(HttpGetToStream(result, server.Url("/drip?n=1000&ms=20"), {}, &cancel, nullptr, out));
    EXPECT_EQ(result.error, "cancelled");
    EXPECT_GE(sink.written, 1u);
    EXPECT_LT(sink.written, 1000u);
}

TEST(HttpGetToStream, FailingStream_WriteError) {
    START_SERVER(server);
    ProbeBuffer sink(nullptr, true);
    std::ostream out(&sink);
    HttpResult result;
    EXPECT_FALSE(HttpGetToStream(result, server.Url("/bytes?n=5000"), {}, nullptr, nullptr, out));
    EXPECT_EQ(result.error, "write error");
    EXPECT_EQ(result.status, 200u);
}

// ---- HTTPS ----

TEST(HttpGet, Https_TrustedCertificate_Succeeds) {
    START_SERVER(server, true);
    testkit::TrustedRoot root(server.CaCertificate());
    ASSERT_TRUE(root.Added());
    HttpResult result;
    std::string body;
    EXPECT_TRUE(HttpGetString(result, server.Url("/hello"), body)) << result.error;
    EXPECT_EQ(body, "hello, world\n");
}

TEST(HttpGet, Https_UntrustedCertificate_FailsBeforeAnyRequest) {
    START_SERVER(server, true);
    ASSERT_FALSE(server.CaCertificate().empty());
    HttpResult result;
    std::string body;
    EXPECT_FALSE(HttpGetString(result, server.Url("/hello"), body));
    EXPECT_EQ(result.status, 0u);
    EXPECT_FALSE(result.error.empty());
    EXPECT_NE(result.error, "cannot connect");
    EXPECT_TRUE(body.empty());
    EXPECT_TRUE(server.Requests().empty());
}

// ---- Downloads ----

TEST(DownloadFile, Success_ReplacesOldFileAndLeavesNoPart) {
    OldDownload old;
    ASSERT_TRUE(old.server.Started()) << old.server.Error();
    TransferProgress progress;
    HttpResult result;
    EXPECT_TRUE(DownloadFile(result, old.server.Url("/bytes?n=700000"), old.destination, {}, nullptr, &progress))
        << result.error;
    EXPECT_TRUE(old.Current() == Pattern(700000));
    EXPECT_FALSE(old.PartLeft());
    EXPECT_EQ(progress.done.load(), 700000u);
}

TEST(DownloadFile, MissingParentFolders_Created) {
    START_SERVER(server);
    ScratchDir dir;
    const std::wstring destination = dir / L"a/b/c/hello.txt";   // none of a, b, c exists
    HttpResult result;
    ASSERT_TRUE(DownloadFile(result, server.Url("/hello"), destination, {}, nullptr, nullptr)) << result.error;
    EXPECT_EQ(testkit::ReadFile(destination), "hello, world\n");
}

TEST(DownloadFile, NotFound_KeepsOldFileAndRemovesPart) {
    OldDownload old;
    ASSERT_TRUE(old.server.Started()) << old.server.Error();
    HttpResult result;
    EXPECT_FALSE(DownloadFile(result, old.server.Url("/nothing-here"), old.destination, {}, nullptr, nullptr));
    EXPECT_EQ(result.error, "HTTP 404");
    EXPECT_EQ(old.Current(), "old content");
    EXPECT_FALSE(old.PartLeft());
}

TEST(DownloadFile, CancelDuringTransfer_KeepsOldFileAndRemovesPart) {
    OldDownload old;
    ASSERT_TRUE(old.server.Started()) << old.server.Error();
    CancelFlag cancel{false};
    TransferProgress progress;
    HttpResult result;
    constexpr uint64_t kEndedEarly = ~uint64_t(0);
    std::thread download([&] {
        DownloadFile(result, old.server.Url("/drip?n=100000&ms=10"), old.destination, {}, &cancel, &progress);
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
    EXPECT_EQ(old.Current(), "old content");
    EXPECT_FALSE(old.PartLeft());
}

TEST(DownloadFile, FinalMoveFails_KeepsOldFileAndCompletePart) {
    OldDownload old;
    ASSERT_TRUE(old.server.Started()) << old.server.Error();
    // Held open without delete sharing, the old file cannot be replaced (nor deleted).
    UniqueHandle holder(::CreateFileW(old.destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    HttpResult result;
    EXPECT_FALSE(DownloadFile(result, old.server.Url("/hello"), old.destination, {}, nullptr, nullptr));
    EXPECT_TRUE(StartsWith(result.error, "cannot replace " + WideToUtf8(old.destination) + ": ")) << result.error;
    holder.Reset();
    EXPECT_EQ(old.Current(), "old content");
    EXPECT_EQ(testkit::ReadFile(old.destination + L".part"), "hello, world\n");
}

TEST(DownloadFile, PartFileCannotBeCreated_CannotWrite) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"blocker", "a file where a folder should be");
    const std::wstring destination = dir / L"blocker/file.bin";
    HttpResult result;
    // Nothing listens here: the request must not even be tried.
    EXPECT_FALSE(DownloadFile(result, "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x", destination, {},
                              nullptr, nullptr));
    EXPECT_EQ(result.error, "cannot write " + WideToUtf8(destination + L".part"));
}
