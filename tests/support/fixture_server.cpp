#include "tests/support/fixture_server.h"

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <utility>

#include "core/files.h"
#include "core/json.h"
#include "core/text.h"

namespace testkit {

namespace {

constexpr DWORD kStartTimeoutMs = 30000;

uint16_t ReadPort(const std::wstring& file) {
    const long port = std::strtol(Trim(ReadWholeFile(file).value_or("")).c_str(), nullptr, 10);
    return port > 0 && port < 65536 ? uint16_t(port) : 0;
}

// A listening loopback socket no child inherits. The server's connection to it is never accepted:
// closing the listener resets it all the same.
SOCKET ListenOnLoopback(uint16_t& port) {
    const SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in address{AF_INET, 0, {}, {}};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(s, 1) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return s;
}

}  // namespace

std::string FixtureRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (EqualsIgnoreCase(key, name)) return value;
    return "<absent>";
}

FixtureServer::FixtureServer(bool tls) : m_tls(tls) {
    const std::string script = UnixPath(SourceDir() + L"\\tools\\fixtures\\http_server.py", m_error);
    const std::string folder = script.empty() ? std::string() : UnixPath(m_dir.Path(), m_error);
    if (folder.empty()) return;

    WSADATA wsa;
    m_winsock = ::WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    uint16_t lifelinePort = 0;
    const SOCKET lifeline = m_winsock ? ListenOnLoopback(lifelinePort) : INVALID_SOCKET;
    if (lifeline == INVALID_SOCKET) {
        m_error = Format("cannot listen for the server's lifeline (WSA error %d)", ::WSAGetLastError());
        return;
    }
    m_lifeline = lifeline;

    // Python finds its library from argv[0], searching PATH for a bare name: the full path keeps
    // another python3 earlier in PATH (a version manager's) from lending it the wrong one.
    std::wstring command = L"/usr/bin/python3 \"" + Utf8ToWide(script) + L"\" --dir \"" + Utf8ToWide(folder) +
                           L"\" --lifeline " + std::to_wstring(lifelinePort) + (tls ? L" --tls" : L"");
    const std::wstring portFile = m_dir / L"port";
    if (RunHostProgram(m_dir.Path(), L"Z:\\usr\\bin\\python3", command,
                       [&] { return (m_port = ReadPort(portFile)) != 0; }, kStartTimeoutMs, &m_error))
        return;
    if (const std::string log = Trim(ReadWholeFile(m_dir / L"server.log").value_or("")); m_error.empty())
        m_error = "the fixture server did not report its port" + (log.empty() ? "" : ": " + log);
    Stop();
}

FixtureServer::~FixtureServer() {
    Stop();
    if (m_winsock) ::WSACleanup();
}

std::string FixtureServer::Url(std::string_view path) const {
    const std::string origin = m_tls ? "https://localhost:" : "http://127.0.0.1:";
    return origin + std::to_string(m_port) + std::string(path);
}

void FixtureServer::Serve(std::string_view path, std::string_view body) {
    const std::string file = EndsWith(path, "/") ? std::string(path) + "index.html" : std::string(path);
    WriteFile(m_dir / Utf8ToWide("www" + file), body);
}

void FixtureServer::Redirect(std::string_view from, std::string_view to) {
    const std::wstring list = m_dir / L"redirects";
    WriteFile(list, ReadWholeFile(list).value_or("") + std::string(from) + " " + std::string(to) + "\n");
}

std::vector<FixtureRequest> FixtureServer::Requests() const {
    std::vector<FixtureRequest> requests;
    for (const std::string& line : SplitLines(ReadWholeFile(m_dir / L"requests.log").value_or(""))) {
        const JsonValue entry = JsonParse(line);
        FixtureRequest request;
        request.path = entry.Find("path").string;
        for (const auto& [name, value] : entry.Find("headers").object) request.headers[name] = value.string;
        requests.push_back(std::move(request));
    }
    return requests;
}

std::string FixtureServer::CaCertificate() const { return ReadWholeFile(m_dir / L"ca.der").value_or(""); }

void FixtureServer::Stop() {
    if (m_lifeline != INVALID_SOCKET) ::closesocket(std::exchange(m_lifeline, INVALID_SOCKET));
}

TrustedRoot::TrustedRoot(const std::string& der) : m_der(der) {
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"ROOT");
    if (!store) return;
    m_added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                 reinterpret_cast<const BYTE*>(m_der.data()), DWORD(m_der.size()),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    ::CertCloseStore(store, 0);
}

TrustedRoot::~TrustedRoot() {
    if (!m_added) return;
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"ROOT");
    if (!store) return;
    if (PCCERT_CONTEXT wanted = ::CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(m_der.data()), DWORD(m_der.size()))) {
        // Deleting frees the found context; the one we made is ours to free.
        if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr))
            ::CertDeleteCertificateFromStore(found);
        ::CertFreeCertificateContext(wanted);
    }
    ::CertCloseStore(store, 0);
}

}  // namespace testkit
