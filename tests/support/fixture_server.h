// tests/support/fixture_server.h: starts and stops the loopback HTTP(S) fixture server
// (tools/fixtures/http_server.py) from inside a test, one private server per object.
// Under Wine a Windows program starts the Unix python3 through drive Z: with Unix paths; such a
// child gets no process handle nor our pipes, so the server's folder carries the rest: "port"
// once it listens (we wait on a change notification), "requests.log" and "server.log". It stops
// when a loopback socket it connected to at start-up closes: with Stop, or with our process.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/testkit.h"

namespace testkit {

// One request as the server saw it; header names as the client sent them.
struct FixtureRequest {
    std::string path;
    std::map<std::string, std::string> headers;
    // Value of a header by ASCII case-insensitive name, or "<absent>".
    std::string Header(std::string_view name) const;
};

class FixtureServer {
public:
    // Starts the server and waits until it listens. With `tls` it serves HTTPS for "localhost"
    // with a certificate from a CA made for this server alone (see CaCertificate).
    explicit FixtureServer(bool tls = false);
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    // False (with Error) when the server could not be started; tests ASSERT on it.
    bool Started() const { return m_port != 0; }
    const std::string& Error() const { return m_error; }
    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" or, with TLS, "https://localhost:<port>", then `path`.
    std::string Url(std::string_view path = "") const;
    // From now on a GET of `path` ("/file/a.json", no query) answers `body` with status 200; a
    // path ending in "/" is that folder's page.
    void Serve(std::string_view path, std::string_view body);
    // From now on a GET of `from` answers a 302 redirect to `to` (a path or an absolute address).
    void Redirect(std::string_view from, std::string_view to);
    // Every request received so far, in order of arrival.
    std::vector<FixtureRequest> Requests() const;
    // The DER bytes of this server's CA (TLS only).
    std::string CaCertificate() const;
    // Stops the server; safe to call twice.
    void Stop();

private:
    ScratchDir m_dir;
    bool m_tls = false;
    uint16_t m_port = 0;
    std::string m_error;
    uintptr_t m_lifeline = ~uintptr_t(0);   // the listening SOCKET the server holds on to
    bool m_winsock = false;                  // WSAStartup succeeded and needs its WSACleanup
};

// Adds a DER certificate to the current user's trusted roots for the object's lifetime. Under Wine
// this needs no confirmation (Windows would ask), and the store belongs to the test prefix.
class TrustedRoot {
public:
    explicit TrustedRoot(const std::string& der);
    ~TrustedRoot();
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;
    bool Added() const { return m_added; }

private:
    std::string m_der;
    bool m_added = false;
};

}  // namespace testkit
