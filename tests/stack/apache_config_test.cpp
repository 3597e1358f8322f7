// The Apache template document: load and save round trips, the host layout, where added and
// erased hosts land, module lines, address parsing and the questions asked of a document.
#include "stack/apache/config.h"
#include "stack/apache/site.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>

#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "stack/apache/config_lines.h"
#include "tests/support/testkit.h"

using testkit::ReadFile;
using testkit::ScratchDir;
using testkit::WriteFile;

namespace {
std::string Crlf(std::string text) { return ReplaceAllInPlace(text, "\n", "\r\n"), text; }

// Loads the text from a file, lets the test edit, saves, and returns the file afterwards.
std::string SaveEdited(const std::string& text, const std::function<void(ApacheConfig&)>& edit = {}) {
    ScratchDir dir;
    const std::wstring file = dir / L"httpd_zerva.conf";
    WriteFile(file, text);
    ApacheConfig config;
    EXPECT_TRUE(config.Load(file));
    if (edit) edit(config);
    EXPECT_TRUE(config.Save());
    EXPECT_EQ(config.loadedVhostCount, config.vhosts.size());  // reloaded: every host is a loaded one
    return ReadFile(file);
}

std::string Host(const std::string& name, int port) {
    return "<VirtualHost *:" + std::to_string(port) + ">\n\tServerName \"" + name + "\"\n</VirtualHost>\n";
}

std::string Block(const VirtualHost& host) {
    std::string out;
    return WriteVhostBlock(host, out), out;
}
}  // namespace

TEST(ApacheConfig, Save_Unchanged_KeepsOutsideLinesAndCanonicalHosts) {
    const std::string text =
        "# Main configuration\n\nServerRoot \"{APACHEPATH}\"\n   Listen 80   \n"
        "LoadModule alias_module modules/mod_alias.so\n\t#LoadModule info_module modules/mod_info.so\n\n"
        "<VirtualHost *:80>\n\tDocumentRoot \"{DOCUMENTPATH}\"\n\tServerName \"localhost\"\n"
        "\t<Directory \"{DOCUMENTPATH}\">\n\t\tAllowOverride All\n\t\tOptions FollowSymLinks Indexes\n"
        "\t\t{ONLINE_MODE}\n\t</Directory>\n</VirtualHost>\n# trailing comment\t\n";
    // Only the line ends and the indented module line change.
    std::string expected = Crlf(text);
    ReplaceAllInPlace(expected, "\t#LoadModule info_module", "#LoadModule info_module");
    EXPECT_EQ(SaveEdited(text), expected);
    // Saving what was saved changes nothing, CR LF input included.
    EXPECT_EQ(SaveEdited(expected), expected);
    EXPECT_EQ(SaveEdited(kBuiltinApacheTemplate), Crlf(kBuiltinApacheTemplate));
}

TEST(ApacheConfig, Save_HostBlocks_RewrittenInFixedLayout) {
    const std::tuple<const char*, const char*, const char*> cases[] = {   // name, text, saved
        {"fields first, then other lines, aliases, directories; every address kept; one alias name with a blank in it",
         "<VirtualHost *:443 *:8443>\n  # Site comment\n\n  #ZERVA managed line\n  Alias /docs \"C:/docs\"\n"
         "  <Directory C:/www/site>\n    Options Indexes\n    Require local\n    Require ip 10.0.0.1\n"
         "  </Directory>\n  SSLEngine on\n  Alias \"/pics\" \"C:/my pics\"\n  Alias /raw C:/raw\n"
         "  ServerAlias \"a.localhost b.localhost\"\n  ServerName first.localhost\n  DocumentRoot C:/www/site\n"
         "  ServerName second.localhost\n</VirtualHost>\n",
         "<VirtualHost *:443 *:8443>\n"
         "\tDocumentRoot \"C:/www/site\"\n\tServerName \"second.localhost\"\n\tServerAlias \"a.localhost b.localhost\"\n"
         "\t# Site comment\n\tAlias /docs \"C:/docs\"\n\tSSLEngine on\n"
         "\tAlias \"/pics\" \"C:/my pics\"\n\tAlias \"/raw\" \"C:/raw\"\n"
         "\t<Directory \"C:/www/site\">\n\t\tOptions Indexes\n\t\tRequire local\n\t\tRequire ip 10.0.0.1\n\t</Directory>\n"
         "</VirtualHost>\n"},
        {"nested blocks indented by depth",
         "<VirtualHost *:80>\n<IfModule ssl_module>\n<IfModule headers_module>\nHeader set X-A 1\n</IfModule>\n"
         "SSLEngine off\n</IfModule>\n<Directory \"C:/w\">\n<Files \"x.php\">\nRequire all denied\n</Files>\n"
         "</Directory>\nServerName n.localhost\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tServerName \"n.localhost\"\n"
         "\t<IfModule ssl_module>\n\t\t<IfModule headers_module>\n\t\t\tHeader set X-A 1\n\t\t</IfModule>\n"
         "\t\tSSLEngine off\n\t</IfModule>\n"
         // Inside a <Directory> block every other line is written at one depth.
         "\t<Directory \"C:/w\">\n\t\t<Files \"x.php\">\n\t\tRequire all denied\n\t\t</Files>\n\t</Directory>\n"
         "</VirtualHost>\n"},
        {"the names of several ServerAlias lines add up, each as Apache reads it",
         "<VirtualHost *:80>\nServerAlias a.localhost\nServerAlias \"b.localhost\" 'c.localhost' \"c d\"\n"
         "ServerAlias d.localhost\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tServerAlias a.localhost b.localhost c.localhost \"c d\" d.localhost\n</VirtualHost>\n"},
        {"single quotes read as quotes; a second argument where Apache takes one stays as written",
         "<VirtualHost '*:80'>\nServerName 'sq.localhost'\nDocumentRoot 'C:/my www'\nAlias '/a' 'C:/a b'\n"
         "<Directory 'C:/my www'>\nOptions Indexes\n</Directory>\nServerName x.localhost extra\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tDocumentRoot \"C:/my www\"\n\tServerName \"sq.localhost\"\n"
         "\tServerName x.localhost extra\n\tAlias \"/a\" \"C:/a b\"\n"
         "\t<Directory \"C:/my www\">\n\t\tOptions Indexes\n\t</Directory>\n</VirtualHost>\n"},
        {"backslashes: what Apache reads is what it reads back",
         "<VirtualHost *:80>\nDocumentRoot \\\\\\\\nas\\\\www\nAlias \"/x\" \"C:\\x\\\\\"\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tDocumentRoot \"\\\\\\nas\\www\"\n\tAlias \"/x\" \"C:\\x\\\\\"\n</VirtualHost>\n"},
        // Apache merges an Options with + or - words into the one before it.
        {"a later Options or AllowOverride of a <Directory> kept as written after the first",
         "<VirtualHost *:80>\n<Directory \"C:/w\">\nOptions FollowSymLinks Indexes\nAllowOverride None\n"
         "Require all granted\nOptions +ExecCGI\nAllowOverride All\n</Directory>\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\t<Directory \"C:/w\">\n\t\tAllowOverride None\n\t\tOptions FollowSymLinks Indexes\n"
         "\t\tRequire all granted\n\t\tOptions +ExecCGI\n\t\tAllowOverride All\n\t</Directory>\n</VirtualHost>\n"},
        // Apache reads a start tag's argument up to the line's last '>', an end tag as the line's first
        // word, and ignores what follows either.
        {"comments after block tags kept after them",
         "<VirtualHost *:8080> # main\nServerName a.localhost\n<Directory C:/w> # www\nOptions None\n</Directory>\t# www\n"
         "</VirtualHost>\t# main\n",
         "<VirtualHost *:8080> # main\n\tServerName \"a.localhost\"\n\t<Directory \"C:/w\"> # www\n\t\tOptions None\n"
         "\t</Directory> # www\n</VirtualHost> # main\n"},
        {"sections of a regular expression kept as written where they stand",
         "<VirtualHost *:80>\n<Directory ~ ^.*/priv>\nRequire all denied\n</Directory>\n<Directory \"~\" \"^/x\">\n"
         "Require all denied\n</Directory>\n<DirectoryMatch ^/y>\nRequire all denied\n</DirectoryMatch>\nServerName a\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tServerName \"a\"\n\t<Directory ~ ^.*/priv>\n\t\tRequire all denied\n\t</Directory>\n"
         "\t<Directory \"~\" \"^/x\">\n\t\tRequire all denied\n\t</Directory>\n"
         "\t<DirectoryMatch ^/y>\n\t\tRequire all denied\n\t</DirectoryMatch>\n</VirtualHost>\n"},
        // Apache merges the sections of one folder in file order; a record is written after the other lines.
        {"a <Directory> block before one of its folder kept among the other lines, or an Include, stays where it stood",
         "<VirtualHost *:80>\n<Directory C:/w> # first\nRequire all denied\n</Directory>\n<Directory C:/other>\n"
         "Options None\n</Directory>\n<IfModule dir_module>\n<Directory \"c:\\W/\">\nRequire all granted\n</Directory>\n"
         "</IfModule>\n<Directory C:/w>\nOptions None\n</Directory>\nServerName a\n</VirtualHost>\n"
         "<VirtualHost *:81>\nAlias /a C:/a\n<Directory C:/w>\nRequire all denied\n</Directory>\nScriptAlias /cgi/ C:/cgi/\n"
         "<IfModule x>\n<Directory C:/w/>\n</Directory>\n</IfModule>\n</VirtualHost>\n"
         "<VirtualHost *:82>\n<Directory C:/w>\nRequire all denied\n</Directory>\nInclude conf/w.conf\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tServerName \"a\"\n\t<Directory C:/w> # first\n\t\tRequire all denied\n\t</Directory>\n"
         "\t<IfModule dir_module>\n\t\t<Directory \"c:\\W/\">\n\t\t\tRequire all granted\n\t\t</Directory>\n\t</IfModule>\n"
         "\t<Directory \"C:/other\">\n\t\tOptions None\n\t</Directory>\n\t<Directory \"C:/w\">\n\t\tOptions None\n\t</Directory>\n"
         "</VirtualHost>\n<VirtualHost *:81>\n\tAlias /a C:/a\n\t<Directory C:/w>\n\t\tRequire all denied\n\t</Directory>\n"
         "\tScriptAlias /cgi/ C:/cgi/\n\t<IfModule x>\n\t\t<Directory C:/w/>\n\t\t</Directory>\n\t</IfModule>\n</VirtualHost>\n"
         "<VirtualHost *:82>\n\t<Directory C:/w>\n\t\tRequire all denied\n\t</Directory>\n\tInclude conf/w.conf\n</VirtualHost>\n"},
        // Fields are written first: a line that an earlier one may set or change stays where it stands.
        {"a field after the same directive in a nested block, an Include, or a Define its value reads",
         "<VirtualHost *:80>\n<IfModule ssl_module>\nSSLEngine on\n</IfModule>\nServerName blog.localhost\n"
         "<IfModule dir_module>\nDocumentRoot C:/old\n</IfModule>\nDocumentRoot C:/new\nDefine SHOP shop.localhost\n"
         "ServerAlias www.localhost\nServerAlias ${SHOP}\nInclude conf/extra/more.conf\nServerAlias old.localhost\n"
         "<Directory C:/a>\n<IfModule dir_module>\nOptions Indexes\n</IfModule>\nOptions -Indexes\nAllowOverride All\n"
         "</Directory>\n<Directory C:/b>\nInclude conf/extra/b.conf\n{ONLINE_MODE}\n</Directory>\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tServerName \"blog.localhost\"\n\tServerAlias www.localhost\n"
         "\t<IfModule ssl_module>\n\t\tSSLEngine on\n\t</IfModule>\n"
         "\t<IfModule dir_module>\n\t\tDocumentRoot C:/old\n\t</IfModule>\n\tDocumentRoot C:/new\n\tDefine SHOP shop.localhost\n"
         "\tServerAlias ${SHOP}\n\tInclude conf/extra/more.conf\n\tServerAlias old.localhost\n"
         "\t<Directory \"C:/a\">\n\t\tAllowOverride All\n\t\t<IfModule dir_module>\n\t\tOptions Indexes\n\t\t</IfModule>\n"
         "\t\tOptions -Indexes\n\t</Directory>\n"
         "\t<Directory \"C:/b\">\n\t\tInclude conf/extra/b.conf\n\t\t{ONLINE_MODE}\n\t</Directory>\n</VirtualHost>\n"},
        // Apache keeps the last line of each: once one stays where it stands, so do the later ones.
        {"a field after a line of its directive kept among the other lines",
         "<VirtualHost *:80>\nDefine N a.localhost\nServerName ${N}\nServerName b.localhost\nDefine D C:/a\nDocumentRoot ${D}\n"
         "DocumentRoot C:/b\n<Directory C:/w>\nDefine O None\nOptions ${O}\nOptions Indexes\nRequire all granted\n</Directory>\n"
         "</VirtualHost>\n",
         "<VirtualHost *:80>\n\tDefine N a.localhost\n\tServerName ${N}\n\tServerName b.localhost\n\tDefine D C:/a\n"
         "\tDocumentRoot ${D}\n\tDocumentRoot C:/b\n\t<Directory \"C:/w\">\n\t\tRequire all granted\n\t\tDefine O None\n"
         "\t\tOptions ${O}\n\t\tOptions Indexes\n\t</Directory>\n</VirtualHost>\n"},
        {"missing end lines: the blocks run to the end and are closed",
         "Listen 80\n<VirtualHost *:80>\nServerName open.localhost\n<Directory \"C:/w\">\nAllowOverride None\n",
         "Listen 80\n<VirtualHost *:80>\n\tServerName \"open.localhost\"\n"
         "\t<Directory \"C:/w\">\n\t\tAllowOverride None\n\t</Directory>\n</VirtualHost>\n"},
        // Read as Apache reads the file: through a byte-order mark, a line ending in a backslash
        // joined with the next (not after a blank), a line written back with one kept alone.
        {"a byte-order mark, then lines Apache joins: written back joined",
         "\xEF\xBB\xBF<VirtualHost \\\n*:8080>\n<Directory \"C:/w\">\nOptions Indexes \\\n  FollowSymLinks\n"
         "Require all granted\n</Directory>\nHeader set A \\\n \\\n b\nSetEnv D C:\\d\\ \n</VirtualHost>\n",
         "<VirtualHost *:8080>\n\tHeader set A   b\n\tSetEnv D C:\\d\\ \n\t<Directory \"C:/w\">\n"
         "\t\tOptions Indexes   FollowSymLinks\n\t\tRequire all granted\n\t</Directory>\n</VirtualHost>\n"},
        {"outside the hosts: kept as written, a module line hidden in a comment, a module line written joined",
         "Define X \\\n   y\n# note \\\n  LoadModule a_module   modules/a.so\nLoadModule b_module \\\n  modules/b.so\n",
         "Define X \\\n   y\n# note \\\n  LoadModule a_module   modules/a.so\nLoadModule b_module modules/b.so\n"},
        // A line end after the file's last backslash asks for a line there is none of: Apache drops it.
        {"the last line's final backslash as Apache reads it: dropped before a line end",
         "Listen 80\nLoadModule c_module modules/mod_c.so\\\n", "Listen 80\nLoadModule c_module modules/mod_c.so\n"},
        // Apache takes the first Alias, ScriptAlias, AliasMatch or ScriptAliasMatch that matches.
        {"Alias lines kept in file order among the other lines when one that is no entry follows an entry",
         "<VirtualHost *:80>\nAlias \"/app/static\" \"C:/s\"\nAlias /app \"C:/app\"\n</VirtualHost>\n<VirtualHost *:81>\n"
         "Alias /a C:/a\n<IfModule cgi_module>\nScriptAlias /cgi-bin/ \"C:/cgi/\"\n</IfModule>\nAlias /b C:/b\n</VirtualHost>\n"
         "<VirtualHost *:82>\nAlias /docs C:/docs\nIncludeOptional conf/extra/*.conf\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tAlias \"/app/static\" \"C:/s\"\n\tAlias /app \"C:/app\"\n</VirtualHost>\n<VirtualHost *:81>\n"
         "\tAlias /a C:/a\n\t<IfModule cgi_module>\n\t\tScriptAlias /cgi-bin/ \"C:/cgi/\"\n\t</IfModule>\n\tAlias /b C:/b\n"
         "</VirtualHost>\n<VirtualHost *:82>\n\tAlias /docs C:/docs\n\tIncludeOptional conf/extra/*.conf\n</VirtualHost>\n"},
        {"an Alias after an Include is still an entry: only an entry such a line follows keeps its place",
         "<VirtualHost *:80>\nInclude conf/extra/a.conf\nAlias /a C:/a\n</VirtualHost>\n",
         "<VirtualHost *:80>\n\tInclude conf/extra/a.conf\n\tAlias \"/a\" \"C:/a\"\n</VirtualHost>\n"},
    };
    for (const auto& [name, text, saved] : cases) EXPECT_EQ(SaveEdited(text), Crlf(saved)) << name;
}

TEST(ApacheConfig, Save_AddedHostsFollowLastLoadedBlock_ErasedHostLeavesItsPlace) {
    const std::string blog = Crlf("<VirtualHost *:80>\n\tDocumentRoot \"{DOCUMENTPATH}/blog\"\n\tServerName \"blog.localhost\"\n"
                                  "\t<Directory \"{DOCUMENTPATH}/blog\">\n\t\tAllowOverride All\n"
                                  "\t\tOptions FollowSymLinks Indexes\n\t\t{ONLINE_MODE}\n\t</Directory>\n</VirtualHost>\n");
    EXPECT_EQ(Block(MakeVirtualHost("blog", 80)), blog);
    const std::string loaded = Host("a", 80) + "# between\n" + Host("b", 80) + Host("c", 80);
    const std::string saved = SaveEdited(loaded + "# after\n", [](ApacheConfig& config) {
        config.vhosts.push_back(MakeVirtualHost("d", 8080));
        config.vhosts.push_back(MakeVirtualHost("e", 8081));
    });
    EXPECT_EQ(saved, Crlf(loaded) + "\r\n" + Block(MakeVirtualHost("d", 8080)) + "\r\n" +
                         Block(MakeVirtualHost("e", 8081)) + "# after\r\n");
    // At the top level, after the blocks enclosing the last host (a continued comment closes none).
    const std::string enclosed = Host("a", 80) + "<IfDefine X>\n<IfModule ssl_module>\n" + Host("b", 443) +
                                 "</IfModule>\n# note \\\n</IfDefine>\n</IfDefine>\n";
    EXPECT_EQ(SaveEdited(enclosed + "# end\n", [](ApacheConfig& config) { config.vhosts.push_back(MakeVirtualHost("c", 80)); }),
              Crlf(enclosed) + "\r\n" + Block(MakeVirtualHost("c", 80)) + "# end\r\n");
    // After an Include that follows the last host (its file may hold the first host of an address),
    // a continued one too; one before the hosts plays no part.
    const std::string included = "Include conf/early.conf\n" + Host("a", 80) + "IncludeOptional conf/vhosts/*.conf \\\n  \n";
    EXPECT_EQ(SaveEdited(included + "# end\n", [](ApacheConfig& config) { config.vhosts.push_back(MakeVirtualHost("c", 80)); }),
              Crlf(included) + "\r\n" + Block(MakeVirtualHost("c", 80)) + "# end\r\n");
    // Without any host the new one ends the file.
    EXPECT_EQ(SaveEdited("Listen 80\n", [](ApacheConfig& config) { config.vhosts.push_back(MakeVirtualHost("blog", 80)); }),
              "Listen 80\r\n\r\n" + blog);
    EXPECT_EQ(SaveEdited("# top\n" + Host("a", 80) + "# middle\n" + Host("b", 81) + "# end\n",
                         [](ApacheConfig& config) { config.vhosts.erase(config.vhosts.begin()); }),
              Crlf("# top\n" + Host("b", 81) + "# middle\n# end\n"));
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

TEST(ApacheConfig, LoadSave_MissingOrUnwritable_FailCleanly) {
    ScratchDir dir;
    ApacheConfig missing;
    EXPECT_FALSE(missing.Load(dir / L"none.conf") || missing.loaded || missing.Save() || PathExists(dir / L"none.conf"));
    const std::wstring file = dir / L"httpd_zerva.conf";
    WriteFile(file, "Listen 80\n");
    ApacheConfig config;
    ASSERT_TRUE(config.Load(file));
    config.vhosts.push_back(MakeVirtualHost("x", 80));
    ASSERT_TRUE(RemoveTree(file) && EnsureDirectory(file));   // a folder where the file was: the write cannot land
    EXPECT_FALSE(config.Save());
    EXPECT_TRUE(IsDirectory(file) && config.vhosts.size() == 1u);
}

TEST(ApacheConfig, ParseVhostAddress_Forms) {
    // No port, or one that is no number from 1 to 65535: the address as written, without a port of its
    // own (apache2 -S lists "127.0.0.1" as "127.0.0.1:*", refuses "*:0" and "*:99999", reads "*:041080"
    // as port 41080 and cannot resolve "*:80abc").
    const std::tuple<const char*, const char*, int> cases[] = {
        {"*:80", "*", 80}, {"[::1]:8080", "[::1]", 8080}, {"[::1]", "[::1]", kNoVhostPort}, {"_default_:443", "_default_", 443},
        {"  \"127.0.0.1:8443\"  ", "127.0.0.1", 8443}, {"*:80 *:8080", "*", 80}, {"*:8080\t*:80", "*", 8080},
        {"site.test", "site.test", kNoVhostPort}, {"127.0.0.1", "127.0.0.1", kNoVhostPort}, {"*", "*", kNoVhostPort},
        {"", "*", 80}, {"*:*", "*:*", kNoVhostPort}, {"*:", "*:", kNoVhostPort},
        {"*:http", "*:http", kNoVhostPort}, {"*:-1", "*:-1", kNoVhostPort}, {"*:99999", "*:99999", kNoVhostPort},
        {"*:0", "*:0", kNoVhostPort}, {"*:041080", "*", 41080}, {"*:80abc", "*:80abc", kNoVhostPort},
        {"*:123456", "*:123456", kNoVhostPort}, {"*:99999999999", "*:99999999999", kNoVhostPort},
        {"'127.0.0.1:8443'", "127.0.0.1", 8443}};
    for (const auto& [text, address, port] : cases) {
        VirtualHost host{.address = "unset", .port = -5};
        ParseVhostAddress(text, host);
        EXPECT_EQ(std::make_pair(host.address, host.port), std::make_pair(std::string(address), port)) << text;
    }
    // Every address the host is served on, the further ones kept as written.
    VirtualHost host;
    ParseVhostAddress(" \"127.0.0.1:80\"  '[::1]:80'\t*:* site.test ", host);
    EXPECT_EQ(host.moreAddresses, "'[::1]:80'\t*:* site.test");
    std::vector<std::pair<std::string, int>> addresses;
    for (const VhostAddress& a : HostAddresses(host)) addresses.emplace_back(a.address, a.port);
    EXPECT_EQ(addresses, (std::vector<std::pair<std::string, int>>{
                             {"127.0.0.1", 80}, {"[::1]", 80}, {"*:*", kNoVhostPort}, {"site.test", kNoVhostPort}}));
    // A port change moves every address on the old port, the further ones where they stand.
    const std::tuple<const char*, int, const char*> moves[] = {   // argument, old port, start line with 8080 ("": none)
        {"127.0.0.1:80 [::1]:80", 80, "127.0.0.1:8080 [::1]:8080"},
        {"*:* \"[::1]:080\"\t'*:80'  *:8081 site.test *:800 'a b:80", 80,
         "*:* \"[::1]:8080\"\t'*:8080'  *:8081 site.test *:800 'a b:8080"},
        {"*:81 \"[::1]\" *:80", 81, "*:8080 \"[::1]\" *:80"},
        {"127.0.0.1 *:80", 80, "127.0.0.1 *:8080"},
        {"*:81 *:82", 80, ""},
    };
    for (const auto& [argument, from, written] : moves) {
        VirtualHost moved;
        ParseVhostAddress(argument, moved);
        std::string block;
        EXPECT_EQ(MoveHostPort(moved, from, 8080), *written != '\0') << argument;
        WriteVhostBlock(moved, block);
        EXPECT_EQ(block.substr(0, block.find(">\r\n")), "<VirtualHost " + std::string(*written ? written : argument)) << argument;
    }
}

TEST(ApacheConfig, AnyPortHost_SavedAsWritten) {
    ApacheConfig config;
    config.Parse("<VirtualHost *:* [::1]:8080>\nServerName any\n</VirtualHost>\n<VirtualHost [::1] *:*>\n</VirtualHost>\n"
                 "<VirtualHost *>\n</VirtualHost>\n");
    EXPECT_EQ(UniqueVhostPorts(config), (std::vector<int>{8080}));   // every port of its own Apache serves
    EXPECT_EQ(config.Render(), "<VirtualHost *:* [::1]:8080>\r\n\tServerName \"any\"\r\n</VirtualHost>\r\n"
                               "<VirtualHost [::1] *:*>\r\n</VirtualHost>\r\n<VirtualHost *>\r\n</VirtualHost>\r\n");
}

TEST(ApacheConfig, HasSslEngineAndQuotes) {
    VirtualHost host;
    const ReadState ssl = ReadAsApache("LoadModule ssl_module \"${SRVROOT}/modules/mod_ssl.so\"\n", "", {}).state;
    EXPECT_FALSE(HasSslEngine(host, ssl));
    // As Apache reads the host: one word "on", in any case, outside a section whose condition fails
    // (module names compared in their case, as Apache compares them).
    for (const auto& [line, expected] : {std::pair{"SSLCertificateFile on.crt", false}, {"sslengine ON", true}, {"  SSLEngine on", true},
                                         {"SSLEngine optional", false}, {"SSLEngine \"on\"", true}, {"SSLEngine on # x", false}}) {
        host.otherLines = {"SSLEngine off", line};   // any line of the host may switch it on
        EXPECT_EQ(HasSslEngine(host, ssl), expected) << line;
    }
    for (const auto& [module, expected] : {std::pair{"ssl_module", true}, {"SSL_module", false}, {"!ssl_module", false},
                                           {"mod_ssl.c", true}, {"\"ssl_module\"", true}}) {
        host.otherLines = {std::string("<IfModule ") + module + ">", "SSLEngine on", "</IfModule>"};
        EXPECT_EQ(HasSslEngine(host, ssl), expected) << module;
    }
    // Without the module loaded, only the sections that ask for its absence are read.
    EXPECT_FALSE(HasSslEngine(host, ReadState()));
    host.otherLines = {"<IfModule !ssl_module>", "SSLEngine on", "</IfModule>"};
    EXPECT_TRUE(HasSslEngine(host, ReadState()));
    EXPECT_EQ(Quote("a \"b\""), "\"a \\\"b\\\"\"");
    EXPECT_EQ(Quote("\\\\nas\\w\\"), "\"\\\\\\nas\\w\\\\\"");
    for (const std::string text : {"a \"b\"", "\\\\nas\\w\\", "C:\\www", "\\\"", "it's"})   // read back as written
        EXPECT_EQ(ApacheWords(Quote(text)), std::vector<std::string>{text}) << text;
    for (const auto& [text, unquoted] : {std::pair{" \t\"a b\"\r\n", "a b"}, {"\"\"x\"\"", "\"x\""}, {"\"", "\""}, {"\"a", "\"a"}, {"\"\"", ""}})
        EXPECT_EQ(Unquote(text), unquoted) << text;
}

// The names as Apache's own matching read them (checked against its virtual host choice): the
// ServerName cut at its scheme and first ':', every ServerAlias name whole, '*' and '?' as wildcards.
TEST(ApacheConfig, HostAnswersName_AsApacheMatchesARequestsHost) {
    const std::pair<const char*, bool> cases[] = {
        {"ServerName shop.localhost:41080", true}, {"ServerName \"HTTP://Shop.LOCALHOST:41080\"", true},
        {"ServerName shop.localhost.", false}, {"ServerName shopx.localhost", false}, {"", false},
        {"ServerName w.localhost\nServerAlias a.localhost\nServerAlias blog.localhost SHOP.localhost", true},
        {"ServerAlias shop.localhost:41080", false}, {"ServerAlias \"shop.localhost\"", true},
        {"ServerAlias *.localhost", true}, {"ServerAlias sh?p.localhost", true}, {"ServerAlias s*o*.l*st", true},
        {"ServerAlias *.shop.localhost", false}, {"ServerAlias ?shop.localhost", false},
        {"ServerAlias shop.localhost*x", false}, {"ServerAlias **", true},
        // Names kept among the other lines: in a block that may be active, or held where they stood.
        {"<IfModule dir_module>\nServerAlias shop.localhost\n</IfModule>", true},
        {"<IfModule x>\nServerName a.localhost\n</IfModule>\nServerName shop.localhost", true},
        {"Include a.conf\nServerAlias w.localhost sh*p.localhost", true}, {"<IfModule x>\n#ServerAlias shop.localhost\n</IfModule>", false},
    };
    for (const auto& [lines, answers] : cases) {
        ApacheConfig config;
        config.Parse(std::string("<VirtualHost *:41080>\n") + lines + "\n</VirtualHost>\n");
        EXPECT_EQ(HostAnswersName(config.vhosts.at(0), "shop.localhost"), answers) << lines;
    }
}

// The first unbalanced line in file order; the document reads such a file wrongly, so callers
// refuse to write it back.
TEST(ApacheConfig, BlockFault_FirstUnbalancedLineInFileOrder) {
    const std::string a = "<VirtualHost *:80>\nServerName a\n", b = "<VirtualHost *:81>\nServerName b\n</VirtualHost>\n";
    const std::tuple<const char*, std::string, size_t, bool, const char*> cases[] = {   // name, text, line, opens, its text
        {"the built-in template", kBuiltinApacheTemplate, 0, false, ""},
        {"nested blocks of any case", "<VirtualHost *:80>\n<IfModule x>\n  <directory \"C:/w\">\n  </DIRECTORY>\n"
                                      "</IfModule>\n</virtualhost>\n<Directory />\n</Directory>\n" + b, 0, false, ""},
        {"a <Directory> never closed, then the next host",
         a + "  <Directory \"C:/w\">  \nRequire local\n</VirtualHost>\n" + b, 3, true, "<Directory \"C:/w\">"},
        {"a host never closed, then the next host", a + b, 1, true, "<VirtualHost *:80>"},
        {"a host inside a host, closed after it", a + b + "</VirtualHost>\n", 1, true, "<VirtualHost *:80>"},
        {"a host never closed at the end", "Listen 80\n" + b + a, 5, true, "<VirtualHost *:80>"},
        {"an end tag run on past its '>' ends nothing", a + "</VirtualHost>#a\n" + b, 1, true, "<VirtualHost *:80>"},
        {"end tags followed by a comment close their blocks",
         "<VirtualHost *:80> # a\n<Directory C:/w> # w\n</Directory>\t# w\n</VirtualHost> # a\n" + b, 0, false, ""},
        {"a stray </Directory> in a host", a + "</Directory>\n</VirtualHost>\n" + b, 3, false, "</Directory>"},
        {"a stray </VirtualHost> outside", b + "\t</VirtualHost>\n", 4, false, "</VirtualHost>"},
        {"an <IfModule> left open in a host", a + "<IfModule x>\n</VirtualHost>\n" + b, 3, true, "<IfModule x>"},
        {"earliest first: a block open from the top, a stray tag after",
         "<IfModule x>\n" + b + "</Files>\n", 1, true, "<IfModule x>"},
        {"a line continued twice: the line named is the file's", "Define A \\\n  b \\\n  c\n</Files>\n", 4, false,
         "</Files>"},
    };
    for (const auto& [name, text, line, opens, lineText] : cases) {
        ApacheConfig config;
        config.Parse(text);
        const BlockFault found = config.blockFault.value_or(BlockFault{});   // line 0: none
        EXPECT_EQ(std::make_tuple(found.line, found.opens, found.text), std::make_tuple(line, opens, std::string(lineText))) << name;
    }
    EXPECT_EQ(BlockFaultMessage({7, false, "</Files>"}),
              "httpd_zerva.conf must be mended by hand: line 7 closes a block that was never opened: </Files>");
}

// Values WriteVhostBlock would write so that Apache refuses the file or reads another value.
TEST(ApacheConfig, FindUnwritableField_HostAndFieldOfTheFirst) {
    using F = FieldFault;
    using H = HostField;
    const std::tuple<const char*, std::function<void(VirtualHost&)>, std::optional<std::pair<H, F>>> cases[] = {
        {"as made", [](VirtualHost&) {}, std::nullopt},
        {"address emptied", [](VirtualHost& h) { h.address = " "; }, std::pair{H::Address, F::EmptyAddress}},
        {"two addresses", [](VirtualHost& h) { h.address = "* 10.0.0.1"; }, std::pair{H::Address, F::AddressWord}},
        {"a tag end", [](VirtualHost& h) { h.address = "*>"; }, std::pair{H::Address, F::AddressWord}},
        {"a port typed in the address", [](VirtualHost& h) { h.address = "*:8080"; }, std::pair{H::Address, F::AddressPort}},
        {"an IPv6 address and its port", [](VirtualHost& h) { h.address = "[::1]:80"; }, std::pair{H::Address, F::AddressPort}},
        {"an IPv6 address", [](VirtualHost& h) { h.address = "[::1]"; }, std::nullopt},
        {"kept as written", [](VirtualHost& h) { h.address = "*:*", h.port = kNoVhostPort; }, std::nullopt},
        {"a port out of range", [](VirtualHost& h) { h.port = 99999; }, std::pair{H::Address, F::PortRange}},
        {"a blank in ServerName", [](VirtualHost& h) { h.serverName = "my site"; }, std::pair{H::ServerName, F::NameWord}},
        {"a quote in ServerName", [](VirtualHost& h) { h.serverName = "a\"b"; }, std::pair{H::ServerName, F::NameWord}},
        {"blanks in ServerAlias", [](VirtualHost& h) { h.serverAlias = "a b  c"; }, std::nullopt},
        // Quote escapes a quote and a final backslash as Apache reads them back.
        {"a quote in DocumentRoot", [](VirtualHost& h) { h.documentRoot = "C:/a\"b"; }, std::nullopt},
        {"a final backslash", [](VirtualHost& h) { h.documentRoot = "C:\\www\\"; }, std::nullopt},
        {"blanks and backslashes inside", [](VirtualHost& h) { h.documentRoot = "C:\\my www\\x"; }, std::nullopt},
        {"an alias path and url", [](VirtualHost& h) { h.aliases.push_back({"/\"a", "C:/x\\"}); }, std::nullopt},
        {"a directory path ending in a backslash", [](VirtualHost& h) { h.directories[0].path = "C:\\x\\"; }, std::nullopt},
        {"a quote in a directory path", [](VirtualHost& h) { h.directories[0].path = "C:/\"x\""; }, std::pair{H::Directory, F::QuoteBreak}},
        {"the first field in editor order", [](VirtualHost& h) { h.documentRoot = "\"", h.address = ""; },
         std::pair{H::Address, F::EmptyAddress}},
    };
    for (const auto& [name, edit, expected] : cases) {
        std::vector<VirtualHost> hosts = {MakeVirtualHost("a", 80), MakeVirtualHost("b", 80)};
        edit(hosts[1]);
        const auto found = FindUnwritableField(hosts);
        ASSERT_EQ(found.has_value(), expected.has_value()) << name;
        if (!found) continue;
        EXPECT_EQ(found->host, 1u) << name;
        EXPECT_EQ(std::make_pair(found->field, found->fault), *expected) << name;
    }
}
