// tests/support/fixture_server.h: one private loopback HTTP(S) fixture server per object
// (tools/fixtures/http_server.py, the Unix python3 started through drive Z:). Such a child gets no
// handle nor pipes under Wine: its folder holds "port" once it listens, "requests.log" and
// "server.log". It stops when a loopback socket it connected to closes: on Stop, or with us.
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
    // Starts the server, waits until it listens. With `tls`: HTTPS for "localhost" from a CA of its own.
    explicit FixtureServer(bool tls = false);
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    bool Started() const { return m_port != 0; }   // false (see Error) when it could not start
    const std::string& Error() const { return m_error; }
    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" or, with TLS, "https://localhost:<port>", then `path`.
    std::string Url(std::string_view path = "") const;
    // From now on a GET of `path` ("/file/a.json", no query; "/" ending: a folder page) answers `body`.
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
