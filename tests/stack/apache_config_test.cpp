// The Apache template document: load and save round trips, the host layout, where added and
// erased hosts land, module lines, address parsing and the questions asked of a document.
#include "stack/apache/config.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using testkit::ReadFile;
using testkit::ScratchDir;
using testkit::WriteFile;

namespace {

// LF-joined lines to CR LF-joined text, so expectations read like the file.
std::string Crlf(const std::string& lfText) {
    std::string out = lfText;
    ReplaceAllInPlace(out, "\n", "\r\n");
    return out;
}

// Loads the text from a file, lets the test edit, saves, and returns the file afterwards.
template <class Edit>
std::string SaveEdited(const std::string& text, Edit edit) {
    ScratchDir dir;
    const std::wstring file = dir / L"httpd_zerva.conf";
    WriteFile(file, text);
    ApacheConfig config;
    EXPECT_TRUE(config.Load(file));
    edit(config);
    EXPECT_TRUE(config.Save());
    return ReadFile(file);
}

std::string SaveUnchanged(const std::string& text) {
    return SaveEdited(text, [](ApacheConfig&) {});
}

}  // namespace

// ---- Round trips ----

TEST(ApacheConfig, Save_Unchanged_KeepsOutsideLinesAndCanonicalHosts) {
    const std::string text =
        "# Main configuration\n"
        "\n"
        "ServerRoot \"{APACHEPATH}\"\n"
        "   Listen 80   \n"
        "LoadModule alias_module modules/mod_alias.so\n"
        "\t#LoadModule info_module modules/mod_info.so\n"
        "\n"
        "<VirtualHost *:80>\n"
        "\tDocumentRoot \"{DOCUMENTPATH}\"\n"
        "\tServerName \"localhost\"\n"
        "\t<Directory \"{DOCUMENTPATH}\">\n"
        "\t\tAllowOverride All\n"
        "\t\tOptions FollowSymLinks Indexes\n"
        "\t\t{ONLINE_MODE}\n"
        "\t</Directory>\n"
        "</VirtualHost>\n"
        "# trailing comment\t\n";
    // Only the line ends and the indented module line change.
    std::string expected = Crlf(text);
    ReplaceAllInPlace(expected, "\t#LoadModule info_module", "#LoadModule info_module");
    EXPECT_EQ(SaveUnchanged(text), expected);
    // Saving what was saved changes nothing, CR LF input included.
    EXPECT_EQ(SaveUnchanged(expected), expected);
}

TEST(ApacheConfig, Save_BuiltinTemplate_OnlyLineEndsChange) {
    EXPECT_EQ(SaveUnchanged(kBuiltinApacheTemplate), Crlf(kBuiltinApacheTemplate));
}

TEST(ApacheConfig, Load_Fields_ReadFromHostAndModules) {
    ScratchDir dir;
    WriteFile(dir / L"a.conf",
              "LoadModule rewrite_module \"modules/mod_rewrite.so\"\r\n"
              "<VirtualHost 127.0.0.1:8080>\r\n"
              "ServerName \"blog.localhost\"\r\n"
              "ServerAlias \"www.blog.localhost blog.test\"\r\n"
              "DocumentRoot C:/www/blog\r\n"
              "</VirtualHost>\r\n"
              "#  LoadModule ssl_module modules/mod_ssl.so\r\n");
    ApacheConfig config;
    ASSERT_TRUE(config.Load(dir / L"a.conf"));
    EXPECT_TRUE(config.loaded);
    ASSERT_EQ(config.vhosts.size(), 1u);
    EXPECT_EQ(config.loadedVhostCount, 1u);
    const VirtualHost& host = config.vhosts[0];
    EXPECT_EQ(host.address, "127.0.0.1");
    EXPECT_EQ(host.port, 8080);
    EXPECT_EQ(host.serverName, "blog.localhost");
    EXPECT_EQ(host.serverAlias, "www.blog.localhost blog.test");
    EXPECT_EQ(host.documentRoot, "C:/www/blog");
    ASSERT_EQ(config.modules.size(), 2u);
    EXPECT_EQ(config.modules[0].name, "rewrite_module");
    EXPECT_EQ(config.modules[0].path, "\"modules/mod_rewrite.so\"");
    EXPECT_TRUE(config.modules[0].enabled);
    EXPECT_EQ(config.modules[1].name, "ssl_module");
    EXPECT_FALSE(config.modules[1].enabled);
    // Indices point into the lines outside hosts, where the whole host is one line.
    EXPECT_EQ(config.modules[1].lineIndex, 2u);
    EXPECT_EQ(config.lines[config.modules[1].lineIndex], "#  LoadModule ssl_module modules/mod_ssl.so");
}

// ---- Host layout ----

TEST(ApacheConfig, Save_HostBody_WrittenInFixedLayout) {
    const std::string text =
        "<VirtualHost *:443>\n"
        "  # Site comment\n"
        "\n"
        "  #ZERVA managed line\n"
        "  Alias /docs \"C:/docs\"\n"
        "  <Directory C:/www/site>\n"
        "    Options Indexes\n"
        "    Require local\n"
        "    Require ip 10.0.0.1\n"
        "  </Directory>\n"
        "  SSLEngine on\n"
        "  Alias \"/pics\" \"C:/my pics\"\n"
        "  Alias /raw C:/raw\n"
        "  ServerAlias \"a.localhost b.localhost\"\n"
        "  ServerName first.localhost\n"
        "  DocumentRoot C:/www/site\n"
        "  ServerName second.localhost\n"
        "</VirtualHost>\n";
    const std::string expected = Crlf(
        "<VirtualHost *:443>\n"
        "\tDocumentRoot \"C:/www/site\"\n"
        "\tServerName \"second.localhost\"\n"
        "\tServerAlias a.localhost b.localhost\n"
        "\t# Site comment\n"
        "\tAlias /docs \"C:/docs\"\n"
        "\tSSLEngine on\n"
        "\tAlias \"/pics\" \"C:/my pics\"\n"
        "\tAlias \"/raw\" \"C:/raw\"\n"
        "\t<Directory \"C:/www/site\">\n"
        "\t\tOptions Indexes\n"
        "\t\tRequire local\n"
        "\t\tRequire ip 10.0.0.1\n"
        "\t</Directory>\n"
        "</VirtualHost>\n");
    EXPECT_EQ(SaveUnchanged(text), expected);
}

TEST(ApacheConfig, Save_NestedBlocks_IndentedByDepth) {
    const std::string text =
        "<VirtualHost *:80>\n"
        "<IfModule ssl_module>\n"
        "<IfModule headers_module>\n"
        "Header set X-A 1\n"
        "</IfModule>\n"
        "SSLEngine off\n"
        "</IfModule>\n"
        "<Directory \"C:/w\">\n"
        "<Files \"x.php\">\n"
        "Require all denied\n"
        "</Files>\n"
        "</Directory>\n"
        "ServerName n.localhost\n"
        "</VirtualHost>\n";
    const std::string expected = Crlf(
        "<VirtualHost *:80>\n"
        "\tServerName \"n.localhost\"\n"
        "\t<IfModule ssl_module>\n"
        "\t\t<IfModule headers_module>\n"
        "\t\t\tHeader set X-A 1\n"
        "\t\t</IfModule>\n"
        "\t\tSSLEngine off\n"
        "\t</IfModule>\n"
        "\t<Directory \"C:/w\">\n"
        "\t\t<Files \"x.php\">\n"
        "\t\tRequire all denied\n"
        "\t\t</Files>\n"
        "\t</Directory>\n"
        "</VirtualHost>\n");
    EXPECT_EQ(SaveUnchanged(text), expected);
}

TEST(ApacheConfig, Save_MissingEndLines_BlockRunsToEndAndIsClosed) {
    const std::string text =
        "Listen 80\n"
        "<VirtualHost *:80>\n"
        "ServerName open.localhost\n"
        "<Directory \"C:/w\">\n"
        "AllowOverride None\n";
    const std::string expected = Crlf(
        "Listen 80\n"
        "<VirtualHost *:80>\n"
        "\tServerName \"open.localhost\"\n"
        "\t<Directory \"C:/w\">\n"
        "\t\tAllowOverride None\n"
        "\t</Directory>\n"
        "</VirtualHost>\n");
    EXPECT_EQ(SaveUnchanged(text), expected);
}

TEST(ApacheConfig, MakeVirtualHost_WritesDefaultBlock) {
    std::string out;
    WriteVhostBlock(MakeVirtualHost("blog", 80), out);
    EXPECT_EQ(out, Crlf("<VirtualHost *:80>\n"
                        "\tDocumentRoot \"{DOCUMENTPATH}/blog\"\n"
                        "\tServerName \"blog.localhost\"\n"
                        "\t<Directory \"{DOCUMENTPATH}/blog\">\n"
                        "\t\tAllowOverride All\n"
                        "\t\tOptions FollowSymLinks Indexes\n"
                        "\t\t{ONLINE_MODE}\n"
                        "\t</Directory>\n"
                        "</VirtualHost>\n"));
}

// ---- Added, erased and toggled ----

TEST(ApacheConfig, Save_AddedHosts_FollowLastLoadedBlock) {
    const std::string text =
        "<VirtualHost *:80>\nServerName a\n</VirtualHost>\n"
        "# between\n"
        "<VirtualHost *:80>\nServerName b\n</VirtualHost>\n"
        "<VirtualHost *:80>\nServerName c\n</VirtualHost>\n"
        "# after\n";
    const std::string saved = SaveEdited(text, [](ApacheConfig& config) {
        config.vhosts.push_back(MakeVirtualHost("d", 8080));
        config.vhosts.push_back(MakeVirtualHost("e", 8081));
    });
    const size_t c = saved.find("ServerName \"c\"");
    const size_t d = saved.find("\r\n\r\n<VirtualHost *:8080>\r\n");
    const size_t e = saved.find("\r\n\r\n<VirtualHost *:8081>\r\n");
    const size_t after = saved.find("# after");
    ASSERT_NE(c, std::string::npos);
    ASSERT_NE(d, std::string::npos);
    ASSERT_NE(e, std::string::npos);
    EXPECT_LT(c, d);
    EXPECT_LT(d, e);
    EXPECT_LT(e, after);
    EXPECT_LT(saved.find("# between"), saved.find("ServerName \"b\""));
}

TEST(ApacheConfig, Save_AddedHostWithoutHosts_AppendedAtEnd) {
    ScratchDir dir;
    const std::wstring file = dir / L"httpd_zerva.conf";
    WriteFile(file, "Listen 80\n");
    ApacheConfig config;
    ASSERT_TRUE(config.Load(file));
    config.vhosts.push_back(MakeVirtualHost("blog", 80));
    ASSERT_TRUE(config.Save());
    std::string expected = "Listen 80\r\n\r\n";
    WriteVhostBlock(MakeVirtualHost("blog", 80), expected);
    EXPECT_EQ(ReadFile(file), expected);
    // The saved document was reloaded: the new host is now a loaded one.
    EXPECT_EQ(config.loadedVhostCount, 1u);
    EXPECT_EQ(config.lines.size(), 3u);
}

TEST(ApacheConfig, Save_ErasedFirstHost_SecondTakesItsPlace) {
    const std::string text =
        "# top\n<VirtualHost *:80>\nServerName a\n</VirtualHost>\n"
        "# middle\n<VirtualHost *:81>\nServerName b\n</VirtualHost>\n# end\n";
    const std::string saved = SaveEdited(text, [](ApacheConfig& config) {
        config.vhosts.erase(config.vhosts.begin());
    });
    EXPECT_EQ(saved, Crlf("# top\n<VirtualHost *:81>\n\tServerName \"b\"\n</VirtualHost>\n"
                          "# middle\n# end\n"));
}

TEST(ApacheConfig, Save_ModuleFlags_WrittenCanonically) {
    const std::string text =
        "  LoadModule a_module modules/a.so  \n"
        "<VirtualHost *:80>\nLoadModule inner_module x.so\n</VirtualHost>\n"
        "#   loadmodule b_module \"modules/b c.so\"\n";
    const std::string saved = SaveEdited(text, [](ApacheConfig& config) {
        ASSERT_EQ(config.modules.size(), 2u);  // the line inside the host is not a module line
        config.modules[0].enabled = false;
        config.modules[1].enabled = true;
    });
    EXPECT_EQ(saved, Crlf("#LoadModule a_module modules/a.so\n"
                          "<VirtualHost *:80>\n\tLoadModule inner_module x.so\n</VirtualHost>\n"
                          "LoadModule b_module \"modules/b c.so\"\n"));
}

// ---- Odd files ----

TEST(ApacheConfig, LoadSave_MissingOrUnwritable_FailCleanly) {
    ScratchDir dir;
    ApacheConfig missing;
    EXPECT_FALSE(missing.Load(dir / L"none.conf"));
    EXPECT_FALSE(missing.loaded);
    EXPECT_FALSE(missing.Save());
    EXPECT_FALSE(PathExists(dir / L"none.conf"));

    const std::wstring file = dir / L"httpd_zerva.conf";
    WriteFile(file, "Listen 80\n");
    ApacheConfig config;
    ASSERT_TRUE(config.Load(file));
    config.vhosts.push_back(MakeVirtualHost("x", 80));
    // A folder now stands where the file was: the write cannot land.
    ASSERT_TRUE(RemoveTree(file));
    ASSERT_TRUE(EnsureDirectory(file));
    EXPECT_FALSE(config.Save());
    EXPECT_TRUE(IsDirectory(file));
    EXPECT_EQ(config.vhosts.size(), 1u);
}

TEST(ApacheConfig, LoadSave_HundredKilobyteLines_Survive) {
    const std::string big(100 * 1024, 'q');
    const std::string text =
        "# " + big + "\n"
        "LoadModule big_module \"" + big + "\"\n"
        "<VirtualHost *:80>\n"
        "Header set X-Big " + big + "\n"
        "<IfModule " + big + ">\n"
        "</IfModule>\n"
        "</VirtualHost>\n"
        "<VirtualHost " + big + ">\n"
        "</VirtualHost>\n";
    ScratchDir dir;
    const std::wstring file = dir / L"httpd_zerva.conf";
    WriteFile(file, text);
    ApacheConfig config;
    ASSERT_TRUE(config.Load(file));
    ASSERT_EQ(config.vhosts.size(), 2u);
    ASSERT_EQ(config.modules.size(), 1u);
    EXPECT_EQ(config.modules[0].path.size(), big.size() + 2);
    EXPECT_EQ(config.vhosts[1].address, big);
    ASSERT_TRUE(config.Save());
    const std::string saved = ReadFile(file);
    EXPECT_NE(saved.find("# " + big + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\tHeader set X-Big " + big + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\t<IfModule " + big + ">\r\n\t</IfModule>\r\n"), std::string::npos);
}

// ---- Addresses ----

TEST(ApacheConfig, ParseVhostAddress_Forms) {
    struct Case {
        const char* text;
        const char* address;
        int port;
    };
    const Case cases[] = {
        {"*:80", "*", 80},
        {"[::1]:8080", "[::1]", 8080},
        {"[::1]", "[::1]", 80},
        {"_default_:443", "_default_", 443},
        {"  \"127.0.0.1:8443\"  ", "127.0.0.1", 8443},
        {"*:80 *:8080", "*", 80},
        {"*:8080\t*:80", "*", 8080},
        {"site.test", "site.test", 80},
        {"", "*", 80},
        {"*:", "*:", 80},
        {"*:http", "*:http", 80},
        {"*:99999", "*", 99999},
        {"*:123456", "*:123456", 80},
        {"*:99999999999", "*:99999999999", 80},
        {"*:-1", "*:-1", 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        VirtualHost host;
        host.address = "unset";
        host.port = -5;
        ParseVhostAddress(c.text, host);
        EXPECT_EQ(host.address, c.address);
        EXPECT_EQ(host.port, c.port);
    }
}

TEST(ApacheConfig, Save_TwoAddresses_KeepsFirstOnly) {
    const std::string saved = SaveUnchanged("<VirtualHost *:80 *:8080>\nServerName a\n</VirtualHost>\n");
    EXPECT_EQ(saved, Crlf("<VirtualHost *:80>\n\tServerName \"a\"\n</VirtualHost>\n"));
}

// ---- Questions ----

TEST(ApacheConfig, HasSslEngine_OnlyWhenSwitchedOn) {
    VirtualHost host;
    EXPECT_FALSE(HasSslEngine(host));
    host.otherLines = {"SSLEngine off", "SSLCertificateFile on.crt"};
    EXPECT_FALSE(HasSslEngine(host));
    host.otherLines.push_back("sslengine ON");
    EXPECT_TRUE(HasSslEngine(host));
    host.otherLines = {"  SSLEngine on"};
    EXPECT_TRUE(HasSslEngine(host));
}

TEST(ApacheConfig, UniqueVhostPorts_FirstAppearanceOrder) {
    ApacheConfig config;
    EXPECT_TRUE(UniqueVhostPorts(config).empty());
    for (int port : {8080, 80, 8080, 443, 80}) config.vhosts.push_back(MakeVirtualHost("s", port));
    EXPECT_EQ(UniqueVhostPorts(config), (std::vector<int>{8080, 80, 443}));
}

TEST(ApacheConfig, QuoteUnquote_OnePairOnly) {
    EXPECT_EQ(Quote("a \"b\""), "\"a \"b\"\"");
    EXPECT_EQ(Unquote(" \t\"a b\"\r\n"), "a b");
    EXPECT_EQ(Unquote("\"\"x\"\""), "\"x\"");
    EXPECT_EQ(Unquote("\""), "\"");
    EXPECT_EQ(Unquote("\"a"), "\"a");
    EXPECT_EQ(Unquote("\"\""), "");
}
