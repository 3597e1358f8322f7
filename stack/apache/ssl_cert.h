// stack/apache/ssl_cert.h: the self-signed localhost certificate and key of an Apache build
// (conf\ssl\localhost.crt and .key), made with the build's own openssl.exe when missing.
// Runs on the calling worker thread and blocks while openssl runs (30 s at most).
#pragma once
#include <string>

#include "stack/apache/builds.h"

std::wstring SslCertificatePath(const ApacheInstall& build);  // dir\conf\ssl\localhost.crt
std::wstring SslKeyPath(const ApacheInstall& build);          // dir\conf\ssl\localhost.key
// <root>\temp\zerva_openssl.cnf: the request configuration, rewritten before each generation.
std::wstring OpenSslRequestPath();
// Its text: no prompt, CN localhost, the names and address of this computer.
extern const char* const kOpenSslRequest;

// True when both files exist on return. Makes a fresh pair when either is missing and the build
// has bin\openssl.exe; a failed run leaves neither file behind and logs a warning.
bool EnsureSslCertificate(const ApacheInstall& build);
// A new pair in place of the working one. The old pair is set aside first and put back, with a
// warning, when no new pair can be made (no openssl.exe, a failing run), so HTTPS never loses
// its certificate to a failed attempt. True when a new pair was made.
bool RegenerateSslCertificate(const ApacheInstall& build);
