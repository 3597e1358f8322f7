// The template made once from a build's modules, httpd.conf from it (macros, Listen lines, PHP and
// HTTPS blocks), the conf\extra files, and "httpd.exe -t" through the stand-in.
#include "stack/apache/httpd_conf.h"

#include <windows.h>

#include <algorithm>
#include <regex>

#include "stack/apache/ssl_cert.h"
#include "tests/stack/stack_fixture.h"

using stacktest::kStandin;
using stacktest::Recorded;
using stacktest::RecordedEnv;

namespace {
bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Blocks close in order and quotes pair up in the non-comment lines, which hold no macro (Apache's
// own ${NAME} is for Apache) and no repeated Listen line.
void ExpectWellFormed(const std::string& conf) {
    static const std::regex kMacro(R"((^|[^$])\{[A-Z][A-Z0-9_]*\})");
    std::vector<std::string> open, listens;
    for (const std::string& line : SplitLines(conf)) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        EXPECT_TRUE(std::count(t.begin(), t.end(), '"') % 2 == 0 && !std::regex_search(t, kMacro)) << t;
        if (StartsWith(t, "Listen ")) listens.push_back(t);
        if (StartsWith(t, "</")) {
            ASSERT_FALSE(open.empty()) << t;
            EXPECT_EQ(t, "</" + open.back() + ">");
            open.pop_back();
        } else if (StartsWith(t, "<")) {
            open.push_back(t.substr(1, t.find_first_of(" >") - 1));
        }
    }
    EXPECT_TRUE(open.empty());
    std::sort(listens.begin(), listens.end());
    EXPECT_EQ(std::adjacent_find(listens.begin(), listens.end()), listens.end());
}

class HttpdConf : public stacktest::RootTest {
protected:
    ApacheInstall MakeApache(const std::string& name, stacktest::Files files) {
        files.push_back({"bin/httpd.exe", kStandin});
        return MakeApacheInstall(name, MakeFolder(ApacheDir() + L"\\" + Utf8ToWide(name), files));
    }
    // A build with the ssl module, its template made from the built-in text.
    ApacheInstall ConfiguredBuild(const std::string& name = "httpd-2.4.62") {
        const ApacheInstall build = MakeApache(
            name, {{"conf/httpd.conf", "LoadModule ssl_module modules/mod_ssl.so\n"}, {"modules/mod_ssl.so", ""}});
        std::string error;
        EXPECT_TRUE(BuildApacheTemplate(build, error)) << error;
        return build;
    }
    std::string WriteConf(const ApacheInstall& build, const std::optional<PhpInstall>& php) {
        std::string error;
        EXPECT_TRUE(WriteHttpdConf(build, php, error)) << error;
        return testkit::ReadFile(HttpdConfPath(build));
    }
    PhpInstall MakePhp() {
        MakeFolder(PhpDir() + L"\\php-8.3.14", {{"php.exe", ""}, {"php8apache2_4.dll", ""}});
        return *FindPhp("php-8.3.14");
    }
};
}  // namespace

TEST_F(HttpdConf, Template_ModuleBlockFromDistributionConf_CopiesKept) {
    // Distribution line, whether its module file exists, and the line the template gets.
    const std::tuple<const char*, bool, const char*> rows[] = {
        {"LoadModule access_compat_module modules/mod_access_compat.so", true,
         "LoadModule access_compat_module modules/mod_access_compat.so"},
        {"#LoadModule rewrite_module modules/mod_rewrite.so", true, "LoadModule rewrite_module modules/mod_rewrite.so"},
        {"# LoadModule speling_module modules/mod_speling.so", true, "#LoadModule speling_module modules/mod_speling.so"},
        {"LoadModule php_module \"C:/php/php8apache2_4.dll\"", true, nullptr},
        {"LoadModule ssl_module \"${SRVROOT}/modules/mod_ssl.so\"", true, "LoadModule ssl_module modules/mod_ssl.so"},
        {"LoadModule info_module modules\\mod_info.so", true, "LoadModule info_module modules/mod_info.so"},
        {"LoadModule dir_module modules/mod_dir.so", false, "#LoadModule dir_module modules/mod_dir.so"},
        {"#LoadModule rewrite_module modules/mod_rewrite.so", true, "LoadModule rewrite_module modules/mod_rewrite.so"},
    };
    std::string distribution, block;
    stacktest::Files files;
    for (const auto& [line, exists, made] : rows) {
        distribution += std::string(line) + "\n";
        if (made) block += std::string(made) + "\r\n";
        const std::string file = made ? std::string(made).substr(std::string(made).rfind(' ') + 1) : "";
        if (made && exists) files.push_back({file, ""});
    }
    files.push_back({"conf/httpd.conf", distribution});
    const ApacheInstall build = MakeApache("httpd-2.4.62", files);
    std::string error;
    ASSERT_TRUE(BuildApacheTemplate(build, error)) << error;
    std::string expected = kBuiltinApacheTemplate;
    ReplaceAllInPlace(expected, "\n", "\r\n");
    ReplaceAllInPlace(expected, "@@LOADMODULES@@\r\n", block);
    EXPECT_EQ(testkit::ReadFile(HttpdTemplatePath(build)), expected);
    EXPECT_TRUE(testkit::ReadFile(HttpdInitialConfPath(build)) == expected &&
                testkit::ReadFile(build.dir + L"\\conf\\httpd_original.conf") == distribution);
    EXPECT_TRUE(IsDirectory(build.dir + L"\\logs") && IsDirectory(build.dir + L"\\conf\\ssl"));
    // Made once: an edited template stays; a rebuilt one never replaces the original copy.
    testkit::WriteFile(HttpdTemplatePath(build), "edited\r\n");
    ASSERT_TRUE(BuildApacheTemplate(build, error));
    EXPECT_EQ(testkit::ReadFile(HttpdTemplatePath(build)), "edited\r\n");
    ASSERT_TRUE(DeleteFileW(HttpdTemplatePath(build).c_str()));
    testkit::WriteFile(build.dir + L"\\conf\\httpd.conf", "LoadModule dir_module modules/mod_dir.so\n");
    ASSERT_TRUE(BuildApacheTemplate(build, error));
    EXPECT_EQ(testkit::ReadFile(build.dir + L"\\conf\\httpd_original.conf"), distribution);
    EXPECT_EQ(testkit::ReadFile(HttpdInitialConfPath(build)), testkit::ReadFile(HttpdTemplatePath(build)));
}

TEST_F(HttpdConf, Template_FromModulesFolder_ResetFromInitialCopy) {
    const ApacheInstall build =
        MakeApache("httpd-2.4.62", {{"modules/mod_zzz.so", ""}, {"modules/mod_alias.so", ""}, {"modules/a.txt", ""}});
    std::string error;
    EXPECT_FALSE(ResetApacheTemplate(build) || PathExists(HttpdTemplatePath(build)));   // never had a template
    ASSERT_TRUE(BuildApacheTemplate(build, error)) << error;
    const std::string made = testkit::ReadFile(HttpdTemplatePath(build));
    EXPECT_TRUE(Contains(made, "\r\n\r\nLoadModule alias_module modules/mod_alias.so\r\n"
                               "#LoadModule zzz_module modules/mod_zzz.so\r\n\r\n# PHP"));
    testkit::WriteFile(HttpdTemplatePath(build), "mine\r\n");
    EXPECT_TRUE(ResetApacheTemplate(build));
    EXPECT_EQ(testkit::ReadFile(HttpdTemplatePath(build)), made);
    // The root's own template is taken as text: a byte-order mark dropped (UTF-16 converted).
    EXPECT_EQ(InsertModuleBlock("\xEF\xBB\xBF# a\n@@LOADMODULES@@\n", "M\r\n"), "# a\r\nM\r\n");
    ApacheInstall blocked = build;
    testkit::WriteFile(root / L"file", "");
    blocked.dir = root / L"file\\httpd";   // nothing can be made under a file
    EXPECT_FALSE(BuildApacheTemplate(blocked, error));
    EXPECT_TRUE(stacktest::CannotWriteWithReason(error, HttpdTemplatePath(blocked))) << error;
}

TEST_F(HttpdConf, Write_MacrosListenAndPhp_BothStates) {
    const ApacheInstall build = ConfiguredBuild();
    const PhpInstall php = MakePhp();
    const std::string apache = PathToUtf8(build.dir), phpDir = PathToUtf8(php.dir);
    // Certificate present: both hosts kept. A comment keeps its macros, also when indented. A
    // certificate in the environment httpd.exe gets, which has PHPRC only with PHP: a missing file
    // then, a name nothing gives (and no host disabled) without.
    testkit::WriteFile(SslCertificatePath(build), "crt");
    std::string text = testkit::ReadFile(HttpdTemplatePath(build));
    ReplaceAllInPlace(text, "ServerTokens Prod\r\n", "ServerTokens Prod\r\n  # {DOCUMENTPATH}\r\n");
    testkit::WriteFile(HttpdTemplatePath(build), text + "<VirtualHost *:8443>\r\nSSLEngine on\r\n"
                                                        "SSLCertificateFile \"${PHPRC}/none.crt\"\r\n</VirtualHost>\r\n");
    std::string conf = WriteConf(build, php);
    for (const std::string& part : {"ServerRoot \"" + apache + "\"\r\n\r\nListen 127.0.0.1:80\r\nListen 127.0.0.1:443\r\n\r\n",
                                    std::string("\r\n# [Zerva disabled] SSLCertificateFile \"${PHPRC}/none.crt\"\r\n"),
                                    std::string("\r\nServerName localhost:80\r\n"), std::string("\r\n  # {DOCUMENTPATH}\r\n"),
                                    "\r\nLoadModule php_module \"" + phpDir + "/php8apache2_4.dll\"\r\n<IfModule php_module>\r\n"
                                    "    PHPIniDir \"" + phpDir + "\"\r\n</IfModule>\r\n<FilesMatch \"\\.php$\">\r\n"
                                    "    SetHandler application/x-httpd-php\r\n</FilesMatch>\r\n",
                                    "\tSSLCertificateFile \"" + apache + "/conf/ssl/localhost.crt\"\r\n",
                                    std::string("\t\tRequire local\r\n\t</Directory>\r\n</VirtualHost>\r\n")})
        EXPECT_TRUE(Contains(conf, part)) << part;
    ExpectWellFormed(conf);
    // Without PHP (or with a build lacking the Apache module) .php files are refused; online.
    Config::Instance().Set(setting::kApacheMode, "1");
    PhpInstall noModule = php;
    noModule.apacheDll.clear();
    for (const std::optional<PhpInstall>& none : {std::optional<PhpInstall>(), std::optional<PhpInstall>(noModule)}) {
        conf = WriteConf(build, none);
        const std::string listen8443 = none ? "" : "Listen 8443\r\n";   // a build without the module still gets PHPRC
        EXPECT_TRUE(Contains(conf, "\r\n\r\nListen 80\r\nListen 443\r\n" + listen8443 + "\r\n"));
        EXPECT_TRUE(Contains(conf, "<IfModule php_disabled_module>\r\n    PHPIniDir \"\"\r\n</IfModule>\r\n"
                                   "<FilesMatch \"\\.php$\">\r\n    SetHandler application/x-httpd-php\r\n"
                                   "    Require all denied\r\n</FilesMatch>\r\n"));
        EXPECT_TRUE(Contains(conf, "\t\tRequire all granted\r\n"));
        ExpectWellFormed(conf);
    }
}

// A PHP build is selected but its module line is switched off (the Modules tab's "PHP (selected
// version)"): no module handles .php, so the handler block refuses them.
TEST_F(HttpdConf, Write_PhpModuleLineSwitchedOff_RefusesPhpFiles) {
    const ApacheInstall build = ConfiguredBuild();
    const std::string line = "LoadModule {PHPMODULENAME} \"{PHPPATH}/{PHPAPACHE2FILE}\"";
    const std::string original = testkit::ReadFile(HttpdTemplatePath(build));
    for (const auto& [written, refuses] : {std::pair{"#" + line, true}, {"  # " + line, true}, {line, false}}) {
        std::string text = original;
        ReplaceAllInPlace(text, line, written);
        testkit::WriteFile(HttpdTemplatePath(build), text);
        const std::string conf = WriteConf(build, MakePhp());
        EXPECT_EQ(Contains(conf, "application/x-httpd-php\r\n    Require all denied\r\n</FilesMatch>"), refuses) << written;
        ExpectWellFormed(conf);
        EXPECT_EQ(GeneratedConfLoadsPhp(build), !refuses) << written;  // what the start line and the Dashboard say
    }
    // The line left on, but no PHP build to load: the generation comments it out.
    (void)WriteConf(build, std::nullopt);
    EXPECT_FALSE(GeneratedConfLoadsPhp(build));
    EXPECT_TRUE(LoadsPhpModule("ServerRoot x\r\n  loadmodule PHP7_module \"C:/php/php7apache2_4.dll\"\r\n"));
    EXPECT_FALSE(LoadsPhpModule("LoadModule rewrite_module modules/mod_rewrite.so\r\n<IfModule php_module>\r\n"));
    // As Apache reads the lines: a name between quotes is its name, a section it skips loads nothing.
    EXPECT_TRUE(LoadsPhpModule("LoadModule \"php_module\" \"C:/php/php8apache2_4.dll\"\r\n"));
    EXPECT_FALSE(LoadsPhpModule("<IfDefine NONE>\r\nLoadModule php_module \"C:/php/php8apache2_4.dll\"\r\n</IfDefine>\r\n"));
    ASSERT_TRUE(DeleteFileW(HttpdConfPath(build).c_str()));
    EXPECT_FALSE(GeneratedConfLoadsPhp(build));
}

TEST_F(HttpdConf, Write_HttpsHostWithoutCertificate_CommentedAndWarned_ExtraFiles) {
    const ApacheInstall build = ConfiguredBuild();
    testkit::WriteFile(build.dir + L"\\conf\\extra\\httpd-ssl_zerva.conf", "# {APACHEPATH}\nListen {APACHE_PORT}\n");
    std::string conf;
    const std::vector<LogEntry> logged = stacktest::LoggedDuring([&] { conf = WriteConf(build, std::nullopt); });
    EXPECT_TRUE(Contains(conf, "\r\nListen 127.0.0.1:80\r\n\r\n\r\n") && !Contains(conf, "Listen 127.0.0.1:443"));
    EXPECT_TRUE(Contains(conf, "\r\n# [Zerva disabled] <VirtualHost *:443>\r\n") &&
                Contains(conf, "# [Zerva disabled] \tSSLEngine on\r\n") && Contains(conf, "# [Zerva disabled] </VirtualHost>\r\n"));
    ExpectWellFormed(conf);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_TRUE(logged[0].level == level::kWarning &&
                logged[0].text == "VirtualHost on port 443 disabled (SSL module or certificate missing).");
    EXPECT_EQ(testkit::ReadFile(build.dir + L"\\conf\\extra\\httpd-ssl.conf"), "# " + PathToUtf8(build.dir) + "\nListen 80\n");
    std::string error;
    ASSERT_TRUE(DeleteFileW(HttpdTemplatePath(build).c_str()));
    EXPECT_FALSE(WriteHttpdConf(build, std::nullopt, error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(HttpdTemplatePath(build)));
}

// The main port, the ports and the home address are those httpd.conf is made with, hosts judged
// as Apache reads them: a host of a section Apache skips is none, an HTTPS host without its module
// or certificate is left out, a port written through a variable counts as read, a host made an
// HTTPS one by a file it includes is one.
TEST_F(HttpdConf, MainPortPortsAndHome_AsHttpdConfIsMade) {
    const ApacheInstall build = MakeApache("httpd-2.4.62", {{"conf/a.crt", "x"}, {"conf/extra/tls.conf", "SSLEngine on\n"}});
    const std::string ssl = "LoadModule ssl_module modules/mod_ssl.so\nSSLCertificateFile conf/a.crt\n";
    const std::tuple<const char*, std::string, int, std::vector<int>, const char*> cases[] = {   // name, text, port, ports, home
        {"no template", "", 80, {80}, "http://localhost/"},
        {"no hosts", "Listen 81\n", 80, {80}, "http://localhost/"},
        {"first host without SSL",
         ssl + "<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n<VirtualHost *:8080>\n</VirtualHost>\n"
               "<VirtualHost *:81>\n</VirtualHost>\n<VirtualHost *:443>\n</VirtualHost>\n",
         8080, {443, 8080, 81}, "http://localhost:8080/"},
        {"every host with SSL",
         ssl + "<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n<VirtualHost *:8443>\nSSLEngine on\n</VirtualHost>\n",
         443, {443, 8443}, "https://localhost/"},
        {"a host without a port of its own",
         ssl + "<VirtualHost *:*>\n</VirtualHost>\n<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n", 443, {443},
         "https://localhost/"},
        {"only such a host", "<VirtualHost *:*>\n</VirtualHost>\n", 80, {80}, "http://localhost/"},
        {"only HTTPS hosts", ssl + "<VirtualHost *:41443>\nSSLEngine on\n</VirtualHost>\n", 41443, {41443},
         "https://localhost:41443/"},
        {"SSLEngine without the SSL module", "<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n<VirtualHost *:8080>\n</VirtualHost>\n",
         8080, {8080}, "http://localhost:8080/"},
        {"SSLEngine in a section of the SSL module written in other case",
         ssl + "<VirtualHost *:41443>\n<IfModule SSL_module>\nSSLEngine on\n</IfModule>\n</VirtualHost>\n", 41443, {41443},
         "http://localhost:41443/"},
        {"a host of a section Apache skips", "<IfDefine NONE>\n<VirtualHost *:9000>\n</VirtualHost>\n</IfDefine>\n"
         "<VirtualHost *:80>\n</VirtualHost>\n", 80, {80}, "http://localhost/"},
        {"a port through a variable", ssl + "Define PORT 8080\n<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n"
         "<VirtualHost *:${PORT}>\n</VirtualHost>\n", 8080, {443, 8080}, "http://localhost:8080/"},
        {"TLS from an included file", ssl + "<VirtualHost *:8443>\nInclude conf/extra/tls.conf\n</VirtualHost>\n"
         "<VirtualHost *:80>\n</VirtualHost>\n", 80, {8443, 80}, "http://localhost/"},
    };
    for (const auto& [name, text, mainPort, ports, home] : cases) {
        if (text.empty()) (void)DeleteFileW(HttpdTemplatePath(build).c_str());
        else testkit::WriteFile(HttpdTemplatePath(build), text);
        EXPECT_TRUE(MainHttpPort(build) == mainPort && TemplateVhostPorts(build) == ports && HomeUrl(build) == home) << name;
    }
}

// httpd.conf judges hosts on what httpd.exe will read: ${NAME} from the environment it gets, names
// in any case as Windows has them; the files Include names, from the server root, and the server
// certificate one of them sets.
TEST_F(HttpdConf, WriteConf_ReadsAsHttpdWill_EnvironmentInAnyCaseAndIncludedFiles) {
    // cert.conf is written again from its template at the start, before httpd.exe reads it.
    const ApacheInstall build = MakeApache("httpd-2.4.62", {{"conf/extra/cert.conf", "SSLCertificateFile conf/ssl/old.crt\n"},
                                                            {"conf/extra/cert_zerva.conf", "SSLCertificateFile \"{APACHEPATH}/conf/ssl/own.crt\"\n"},
                                                            {"conf/ssl/own.crt", "x"}});
    testkit::WriteFile(HttpdTemplatePath(build), "ServerRoot \"{APACHEPATH}\"\n{LISTEN_VIRTUAL_HOST_PORT}\n"
                                                 "LoadModule ssl_module modules/mod_ssl.so\nInclude conf/extra/cert.conf\n"
                                                 "<VirtualHost *:${zerva_test_port}>\n</VirtualHost>\n"
                                                 "<VirtualHost *:8443>\nSSLEngine on\n</VirtualHost>\n");
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ZERVA_TEST_PORT", L"8123"));
    const std::string conf = WriteConf(build, std::nullopt);
    ::SetEnvironmentVariableW(L"ZERVA_TEST_PORT", nullptr);
    EXPECT_TRUE(Contains(conf, "\r\nListen 127.0.0.1:8123\r\nListen 127.0.0.1:8443\r\n")) << conf;
    EXPECT_TRUE(Contains(conf, "\r\n<VirtualHost *:${zerva_test_port}>\r\n") && !Contains(conf, "Zerva disabled"));
}

TEST(HttpdConfText, Generate_PortsFromKeptHosts) {
    const std::string ssl = "LoadModule ssl_module modules/mod_ssl.so\n";
    const std::string https = "<VirtualHost *:443>\n  sslengine  ON\nSSLCertificateFile \"{C}/a.crt\"\n</VirtualHost>\n";
    const std::string httpsByName = "<VirtualHost *:443>\nSSLEngine on\nSSLCertificateFile \"${SRVROOT}/a.crt\"\n</VirtualHost>\n";
    struct Case {   // `asked`: the certificate paths looked up, in order; `written`: a part of the text
        const char* name;
        std::string text;
        bool certificate;
        std::vector<int> ports, disabled;
        int apachePort;
        const char* asked;
        std::string written;
    } const cases[] = {
        {"80, 443, 80", ssl + "<VirtualHost *:80>\n</VirtualHost>\n" + https + "<VirtualHost *:80>\n</VirtualHost>\n",
         true, {80, 443}, {}, 80, "c:/x/a.crt"},
        {"only HTTPS kept", ssl + https, true, {443}, {}, 443, "c:/x/a.crt"},
        {"SSL module off", "#" + ssl + https, true, {80}, {443}, 80, ""},
        {"any port and bad ports add none, every address its own", "<VirtualHost *:*>\n</VirtualHost>\n"
         "<VirtualHost *:99999999999>\n</VirtualHost>\n<VirtualHost *:0>\n</VirtualHost>\n"
         "<VirtualHost [::1]:8080 *:81 '*:8080'\t*:* \"127.0.0.1:82\">\n</VirtualHost>\n",
         true, {8080, 81, 82}, {}, 8080, ""},
        {"a host on no port of its own leaves the main port to the next", "<VirtualHost *:* *:83>\n</VirtualHost>\n"
         "<VirtualHost *:84>\n</VirtualHost>\n", true, {83, 84}, {}, 84, ""},
        {"the certificate named through a Define of a macro", ssl + "Define SRVROOT \"{C}\"\n" + httpsByName,
         true, {443}, {}, 443, "c:/x/a.crt"},
        {"names of the Define lines before, in any case, then the environment",
         "Define p 85\nDefine Q ${P}0\n<VirtualHost *:${P} *:${q}>\n</VirtualHost>\nDefine P\nUnDefine Q\n"
         "# Define E 9\n<VirtualHost *:${P}1 *:${Q} *:${E}>\n</VirtualHost>\n",
         true, {85, 850, 851, 87, 88}, {}, 85, ""},
        {"a name nothing gives disables no host", ssl + "<VirtualHost *:${NONE}>\nSSLEngine on\n"
         "SSLCertificateFile \"${NONE}/a.crt\"\n</VirtualHost>\n" + httpsByName,
         false, {80}, {443}, 80, "c:/env/a.crt"},
        {"a continued line outside the hosts written as it stands",
         "LogFormat \"%h %l\" \\\n  common\n<VirtualHost *:86>\n</VirtualHost>\n", true, {86}, {}, 86, "",
         "\r\nLogFormat \"%h %l\" \\\r\n  common\r\n<VirtualHost *:86>\r\n"},
        {"block without end", "<VirtualHost *:81>\nSSLEngine on\nServerName x\n", true, {80}, {81}, 80, ""},
        {"a byte-order mark, then a start line Apache joins",
         "\xEF\xBB\xBF<VirtualHost 127.0.0.1:8081 \\\n [::1]:8081>\n</VirtualHost>\n", true, {8081}, {}, 8081, ""},
        {"a certificate between single quotes", ssl + "<VirtualHost *:443>\nSSLEngine on\n"
         "SSLCertificateFile '{C}/a b.crt' \n</VirtualHost>\n", true, {443}, {}, 443, "c:/x/a b.crt"},
        {"a host without a certificate of its own is judged by the last one read outside the hosts",
         ssl + "<IfModule ssl_module>\nSSLCertificateFile \"{C}/first.crt\"\n</IfModule>\n<VirtualHost *:443>\n"
         "SSLEngine on\n</VirtualHost>\n<VirtualHost *:444>\nSSLEngine on\nSSLCertificateFile {C}/own.crt\n"
         "</VirtualHost>\nSSLCertificateFile {C}/last.crt\n<IfModule !ssl_module>\nSSLCertificateFile {C}/no.crt\n"
         "</IfModule>\n", true, {443, 444}, {}, 443, "c:/x/last.crt, c:/x/own.crt"},
        {"SSLEngine in the SSL module's blocks counts only as Apache reads them",
         "<VirtualHost *:8443>\n  <IfModule mod_ssl.c>\n  SSLEngine on\n  </IfModule>\n</VirtualHost>\n"
         "<VirtualHost *:444>\n<IfModule ssl_module>\n<IfModule headers_module>\n</IfModule>\nSSLEngine on\n"
         "</IfModule>\n</VirtualHost>\n<VirtualHost *:445>\n<IfModule !ssl_module>\nSSLEngine on\n</IfModule>\n"
         "</VirtualHost>\n", true, {8443, 444}, {445}, 8443, ""},
        {"a module compared in its case", ssl + "<VirtualHost *:446>\n<IfModule SSL_module>\nSSLEngine on\n</IfModule>\n"
         "</VirtualHost>\n", true, {446}, {}, 446, ""},
        {"a Define of a section Apache skips is not taken",
         "Define PORT 87\n<IfDefine ALT>\nDefine PORT 8080\n</IfDefine>\n<VirtualHost *:${PORT}>\n</VirtualHost>\n", true,
         {87}, {}, 87, ""},
        {"a host of a section Apache skips is neither listened on nor written off",
         "<IfDefine NONE>\n<VirtualHost *:9000>\nSSLEngine on\n</VirtualHost>\n</IfDefine>\n<VirtualHost *:86>\n</VirtualHost>\n",
         true, {86}, {}, 86, "", "\r\n<VirtualHost *:9000>\r\nSSLEngine on\r\n"},
        {"a host's own certificate is not the server's", ssl + "<VirtualHost *:443>\nSSLEngine on\nSSLCertificateFile {C}/own.crt\n"
         "</VirtualHost>\n<VirtualHost *:444>\nSSLEngine on\n</VirtualHost>\n", true, {443}, {444}, 443, "c:/x/own.crt"},
        {"a kept HTTPS host before a plain one leaves it the main port", ssl + https + "<VirtualHost *:8080>\n</VirtualHost>\n",
         true, {443, 8080}, {}, 8080, "c:/x/a.crt"},
        {"an address with a port Apache does not read as one",
         "<VirtualHost *:80abc>\n</VirtualHost>\n<VirtualHost *:041080>\n</VirtualHost>\n", true, {41080}, {}, 41080, ""},
        // Offline, Apache listens on the loopback addresses the hosts name, besides 127.0.0.1.
        {"loopback addresses", "{LISTEN_VIRTUAL_HOST_PORT}\n<VirtualHost [::1]:41080>\n</VirtualHost>\n"
         "<VirtualHost 127.0.0.2 [::1] *:8080>\n</VirtualHost>\n", true, {41080, 8080}, {}, 41080, "",
         "Listen 127.0.0.1:41080\r\nListen [::1]:41080\r\nListen 127.0.0.2:41080\r\nListen 127.0.0.1:8080\r\n"
         "Listen 127.0.0.2:8080\r\nListen [::1]:8080\r\n"},
        // The hosts of an included file are served too; a port the configuration listens on itself
        // gets no second Listen line, which Apache would refuse.
        {"hosts of an included file", "<VirtualHost *:80>\n</VirtualHost>\nInclude conf/extra/tools.conf\n", true,
         {80, 41081}, {}, 80, ""},
        {"a template without hosts of its own", "Include conf/extra/tools.conf\n", true, {41081}, {}, 41081, ""},
        {"a port listened on by the configuration itself", "# top\n{LISTEN_VIRTUAL_HOST_PORT}\n<VirtualHost *:8443>\n</VirtualHost>\n"
         "Include conf/extra/listen.conf\n<VirtualHost *:80>\n</VirtualHost>\n", true, {8443, 80}, {}, 8443, "",
         "# top\r\nListen 127.0.0.1:80\r\n\r\n<VirtualHost *:8443>"},
        {"no other loopback address but those written as one", "{LISTEN_VIRTUAL_HOST_PORT}\n<VirtualHost 127.1:8080 "
         "localhost:8080 127.0.0.256:8080 127.0.0.x:8080 [::2]:8080 *:8080>\n</VirtualHost>\n", true, {8080}, {}, 8080, "",
         "Listen 127.0.0.1:8080\r\n\r\n<VirtualHost"},
    };
    // The environment httpd.exe gets: Define lines come before it.
    const std::map<std::string, std::string> environment = {{"Q", "87"}, {"E", "88"}, {"SRVROOT", "c:/env"}};
    const auto lookup = [&](const std::string& name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        return found == environment.end() ? std::nullopt : std::optional(found->second);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string asked;
        ReadingInput input;
        input.macros = {{"C", "c:/x"}};
        input.environment = lookup;
        input.include = [](const std::string& path, const std::string&) {
            if (path == "conf/extra/tools.conf")
                return std::vector<IncludedFile>{{path, "<VirtualHost *:41081>\nServerName tools.localhost\n</VirtualHost>\n"}};
            if (path == "conf/extra/listen.conf") return std::vector<IncludedFile>{{path, "Listen 8443 https\n"}};
            return std::vector<IncludedFile>{};
        };
        const HttpdConfText conf = GenerateHttpdConf(c.text, input, true, false, [&](const std::string& path) {
                                                         asked += (asked.empty() ? "" : ", ") + path;
                                                         return c.certificate;
                                                     });
        EXPECT_EQ(conf.ports, c.ports);
        EXPECT_TRUE(conf.disabledPorts == c.disabled && conf.apachePort == c.apachePort);
        EXPECT_EQ(asked, c.asked);
        EXPECT_TRUE(Contains("\r\n" + conf.text, c.written)) << conf.text;
        EXPECT_FALSE(Contains(conf.text, "c:/env")) << "Apache's names stay as written";
    }
}

TEST(HttpdConfText, ListenLines) {
    EXPECT_EQ(BuildListenLines({80, 8443}, false), "Listen 127.0.0.1:80\r\nListen 127.0.0.1:8443\r\n");
    EXPECT_EQ(BuildListenLines({}, true), "Listen 80\r\n");
    EXPECT_EQ(BuildListenLines({80}, false, {{"[::1]", 80}, {"[::1]", 81}}), "Listen 127.0.0.1:80\r\nListen [::1]:80\r\n");
    EXPECT_EQ(BuildListenLines({80}, true, {{"[::1]", 80}}), "Listen 80\r\n");
}

TEST_F(HttpdConf, TestConfig_ArgumentsEnvironmentAndResult) {
    const ApacheInstall build = ConfiguredBuild("httpd 2.4.62 with blanks");
    const PhpInstall php = MakePhp();
    const std::wstring conf = HttpdConfPath(build);
    std::string output;
    (void)WriteConf(build, php);
    ASSERT_TRUE(TestApacheConfig(build, php, output)) << output;
    EXPECT_EQ(output, "Syntax OK");
    EXPECT_EQ(Recorded(conf, "arg"), (std::vector<std::string>{"-t", "-f", WideToUtf8(conf), "-d", WideToUtf8(build.dir)}));
    EXPECT_EQ(Recorded(conf, "cwd"), std::vector<std::string>{WideToUtf8(build.dir)});
    EXPECT_EQ(RecordedEnv(conf, "PHPRC"), WideToUtf8(php.dir));
    const std::wstring prefix = php.dir + L";" + php.dir + L"\\ext;" + build.dir + L"\\bin";
    EXPECT_EQ(HttpdPathPrefix(build, php), prefix);
    EXPECT_TRUE(StartsWith(RecordedEnv(conf, "PATH"), WideToUtf8(prefix) + ";"));
    // A configuration httpd refuses: its lines come back, the result is false.
    testkit::WriteFile(HttpdTemplatePath(build), "# standin: syntax-error AH00526: Syntax error on line 7\r\n"
                                                 "# standin: syntax-error Invalid command 'Bogus'\r\n");
    (void)WriteConf(build, std::nullopt);
    EXPECT_FALSE(TestApacheConfig(build, std::nullopt, output));
    EXPECT_EQ(output, "AH00526: Syntax error on line 7\nInvalid command 'Bogus'");
    EXPECT_EQ(HttpdPathPrefix(build, std::nullopt), build.dir + L"\\bin");
    EXPECT_TRUE(StartsWith(RecordedEnv(conf, "PATH"), WideToUtf8(build.dir) + "\\bin;"));
    ASSERT_TRUE(DeleteFileW(HttpdExePath(build).c_str()));
    EXPECT_FALSE(TestApacheConfig(build, std::nullopt, output) || output.empty());
}
