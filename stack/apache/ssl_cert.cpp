#include "stack/apache/ssl_cert.h"

#include <windows.h>

#include <vector>

#include "core/cmdline.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/proc.h"
#include "core/text.h"
#include "core/translate.h"

namespace {

constexpr uint32_t kOpenSslTimeoutMs = 30000;
// The working pair's names while a new pair is made: EnsureSslCertificate clears the working names.
constexpr const wchar_t* kSetAsideSuffix = L".previous";

void RemovePair(const ApacheInstall& build) {
    ::DeleteFileW(ExtendedPath(SslCertificatePath(build)).c_str());
    ::DeleteFileW(ExtendedPath(SslKeyPath(build)).c_str());
}

}  // namespace

const char* const kOpenSslRequest =
    "[req]\r\n"
    "distinguished_name = dn\r\n"
    "prompt = no\r\n"
    "x509_extensions = ext\r\n"
    "[dn]\r\n"
    "CN = localhost\r\n"
    "O = Zerva\r\n"
    "[ext]\r\n"
    "subjectAltName = DNS:localhost,DNS:*.localhost,IP:127.0.0.1\r\n"
    "basicConstraints = CA:FALSE\r\n"
    "keyUsage = digitalSignature,keyEncipherment\r\n"
    "extendedKeyUsage = serverAuth\r\n";

std::wstring SslCertificatePath(const ApacheInstall& build) { return build.dir + L"\\conf\\ssl\\localhost.crt"; }
std::wstring SslKeyPath(const ApacheInstall& build) { return build.dir + L"\\conf\\ssl\\localhost.key"; }
std::wstring OpenSslRequestPath() { return TempDir() + L"\\zerva_openssl.cnf"; }

bool EnsureSslCertificate(const ApacheInstall& build) {
    const std::wstring certificate = SslCertificatePath(build);
    const std::wstring key = SslKeyPath(build);
    if (PathExists(certificate) && PathExists(key)) return true;
    const std::wstring openssl = build.dir + L"\\bin\\openssl.exe";
    if (!PathExists(openssl)) return false;

    // A lone leftover would pair with whatever a failing run leaves: start from neither file.
    RemovePair(build);
    (void)EnsureDirectory(build.dir + L"\\conf\\ssl");   // openssl then fails with its own reason
    const std::wstring request = OpenSslRequestPath();
    std::string failure;
    // A request file that cannot be written leaves the failure saying why.
    if (WriteFileAtomic(request, kOpenSslRequest, &failure)) {
        proc::SpawnOptions options;
        options.exe = openssl;
        options.args = CommandLine()
                           .Add(L"req -x509 -nodes -newkey rsa:2048 -sha256 -days 3650 -config")
                           .AddQuoted(request)
                           .Add(L"-keyout")
                           .AddQuoted(key)
                           .Add(L"-out")
                           .AddQuoted(certificate)
                           .Text();
        options.env.emplace_back(L"OPENSSL_CONF", request);
        options.pathPrepend = build.dir + L"\\bin";
        const proc::RunResult run = proc::Run(std::move(options), kOpenSslTimeoutMs);
        // Both files from a run that did not succeed may not belong together.
        if (run.started && !run.timedOut && run.exitCode == 0 && PathExists(certificate) && PathExists(key)) {
            LogSuccess(console::kApache, Tr("SSL certificate generated for https://localhost (self-signed)."));
            return true;
        }
        failure = Trim(run.started ? run.output : run.error);
    }
    RemovePair(build);
    LogWarning(console::kApache, Tr("Could not generate the SSL certificate: ") + failure);
    return false;
}

bool RegenerateSslCertificate(const ApacheInstall& build) {
    const std::wstring openssl = build.dir + L"\\bin\\openssl.exe";
    if (!PathExists(openssl)) {
        LogWarning(console::kApache, std::string(Tr("Could not generate the SSL certificate: ")) + "cannot find " +
                                         WideToUtf8(openssl));
        return false;
    }
    std::vector<std::wstring> setAside;
    const auto putBack = [&setAside] {
        for (const std::wstring& file : setAside) (void)MoveFileReplacing(file + kSetAsideSuffix, file, nullptr);
    };
    for (const std::wstring& file : {SslCertificatePath(build), SslKeyPath(build)}) {
        if (!PathExists(file)) continue;
        std::string error;
        if (!MoveFileReplacing(file, file + kSetAsideSuffix, &error)) {
            putBack();
            LogWarning(console::kApache, Tr("Could not generate the SSL certificate: ") + error);
            return false;
        }
        setAside.push_back(file);
    }
    if (EnsureSslCertificate(build)) {
        for (const std::wstring& file : setAside) ::DeleteFileW(ExtendedPath(file + kSetAsideSuffix).c_str());
        return true;
    }
    putBack();
    if (!setAside.empty()) LogWarning(console::kApache, Tr("The previous SSL certificate was kept."));
    return false;
}
