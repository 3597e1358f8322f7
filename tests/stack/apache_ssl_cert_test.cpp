// The localhost certificate: made once by the build's openssl.exe (the stand-in) with the exact
// request file, arguments and environment; a failing run leaves no half pair behind.
#include "stack/apache/ssl_cert.h"

#include <windows.h>

#include "tests/stack/stack_fixture.h"

using stacktest::LoggedDuring;
using stacktest::Recorded;
using stacktest::RecordedEnv;

namespace {
class SslCert : public stacktest::RootTest {
protected:
    ApacheInstall MakeApache(bool withOpenSsl) {
        stacktest::Files files = {{"bin/httpd.exe", stacktest::kStandin}};
        if (withOpenSsl) files.push_back({"bin/openssl.exe", stacktest::kStandin});
        return MakeApacheInstall("httpd 2.4.62", MakeFolder(ApacheDir() + L"\\httpd 2.4.62", files));
    }
    bool Ensure(const ApacheInstall& build, std::vector<LogEntry>* logged = nullptr) {
        bool made = false;
        const std::vector<LogEntry> entries = LoggedDuring([&] { made = EnsureSslCertificate(build); });
        if (logged) *logged = entries;
        return made;
    }
};
}  // namespace

TEST_F(SslCert, MadeOnce_ExactRequestArgumentsEnvironment) {
    const ApacheInstall build = MakeApache(true);
    const std::wstring request = root / L"temp\\zerva_openssl.cnf";
    std::vector<LogEntry> logged;
    ASSERT_TRUE(Ensure(build, &logged));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_TRUE(logged[0].text == "SSL certificate generated for https://localhost (self-signed)." &&
                logged[0].source == console::kApache && logged[0].level == level::kSuccess);
    EXPECT_EQ(testkit::ReadFile(request), kOpenSslRequest);
    EXPECT_EQ(Recorded(request, "arg"),
              (std::vector<std::string>{"req", "-x509", "-nodes", "-newkey", "rsa:2048", "-sha256", "-days", "3650",
                                        "-config", WideToUtf8(request), "-keyout", WideToUtf8(SslKeyPath(build)),
                                        "-out", WideToUtf8(SslCertificatePath(build))}));
    EXPECT_EQ(RecordedEnv(request, "OPENSSL_CONF"), WideToUtf8(request));
    EXPECT_TRUE(StartsWith(RecordedEnv(request, "PATH"), WideToUtf8(build.dir) + "\\bin;"));
    EXPECT_TRUE(PathExists(SslCertificatePath(build)) && PathExists(SslKeyPath(build)));
    // Both present: nothing runs and nothing is logged, whatever the files hold.
    ASSERT_TRUE(DeleteFileW((request + L".run").c_str()));
    testkit::WriteFile(SslKeyPath(build), "expired");
    EXPECT_TRUE(Ensure(build, &logged) && logged.empty() && !PathExists(request + L".run"));
    // Only the key left: a fresh pair replaces it.
    ASSERT_TRUE(DeleteFileW(SslCertificatePath(build).c_str()));
    EXPECT_TRUE(Ensure(build) && PathExists(SslCertificatePath(build)));
    EXPECT_NE(testkit::ReadFile(SslKeyPath(build)), "expired");
}

TEST_F(SslCert, FailingOrMissingOpenSsl_LeavesNoHalfPair) {
    std::vector<LogEntry> logged;
    EXPECT_FALSE(Ensure(MakeApache(false), &logged) || !logged.empty());   // silently
    const ApacheInstall build = MakeApache(true);
    // A lone leftover certificate, and a run that writes a new key and then fails: the two would
    // make a pair that does not belong together. A failed run's pair is no certificate either.
    for (const char* mode : {"key-then-fail", "fail", "pair-then-fail"}) {
        SCOPED_TRACE(mode);
        testkit::WriteFile(SslCertificatePath(build), "leftover");
        testkit::WriteFile(build.dir + L"\\bin\\standin-openssl.txt", mode);
        EXPECT_FALSE(Ensure(build, &logged));
        EXPECT_FALSE(PathExists(SslCertificatePath(build)) || PathExists(SslKeyPath(build)));
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_TRUE(logged[0].level == level::kWarning &&
                    StartsWith(logged[0].text, "Could not generate the SSL certificate: openssl: asked to fail"));
    }
    // The next call tries again. A request file that cannot be written is named with why.
    ASSERT_TRUE(DeleteFileW((build.dir + L"\\bin\\standin-openssl.txt").c_str()));
    ASSERT_TRUE(RemoveTree(OpenSslRequestPath()) && EnsureDirectory(OpenSslRequestPath()));
    EXPECT_FALSE(Ensure(build, &logged));
    EXPECT_EQ(logged.size() == 1 ? logged[0].text : "", "Could not generate the SSL certificate: cannot write " +
                                                          WideToUtf8(OpenSslRequestPath()) + ": it is a folder");
    ASSERT_TRUE(RemoveTree(OpenSslRequestPath()));
    EXPECT_TRUE(Ensure(build));
}

// Regenerating sets the working pair aside until a new one exists: a failure puts it back with a
// warning, so HTTPS still starts next time.
TEST_F(SslCert, Regenerate_NewPairOrOldPairBack) {
    const std::tuple<bool, const char*, std::vector<std::string>> cases[] = {
        {true, "", {}},   // made
        {true, "fail", {"Could not generate the SSL certificate: openssl: asked to fail", "The previous SSL certificate was kept."}},
        {false, "", {"Could not generate the SSL certificate: cannot find "}},
    };
    for (const auto& [openssl, mode, warnings] : cases) {
        SCOPED_TRACE(std::string(mode) + (openssl ? "" : "no openssl.exe"));
        const ApacheInstall build = MakeApache(openssl);
        if (*mode) testkit::WriteFile(build.dir + L"\\bin\\standin-openssl.txt", mode);
        testkit::WriteFile(SslCertificatePath(build), "old crt");
        testkit::WriteFile(SslKeyPath(build), "old key");
        bool made = false;
        std::vector<std::string> warned;
        for (const LogEntry& entry : LoggedDuring([&] { made = RegenerateSslCertificate(build); }))
            if (entry.level == level::kWarning) warned.push_back(entry.text);
        EXPECT_EQ(made, warnings.empty());
        EXPECT_EQ(testkit::ReadFile(SslCertificatePath(build)) + testkit::ReadFile(SslKeyPath(build)) == "old crtold key", !made);
        EXPECT_FALSE(PathExists(SslCertificatePath(build) + L".previous") || PathExists(SslKeyPath(build) + L".previous"));
        ASSERT_EQ(warned.size(), warnings.size());
        for (size_t i = 0; i < warned.size(); ++i) EXPECT_TRUE(StartsWith(warned[i], warnings[i])) << warned[i];
        ASSERT_TRUE(RemoveTree(build.dir));
    }
}
