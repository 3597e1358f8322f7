#include "stack/help_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/text.h"
#include "stack/php/builds.h"

namespace {

// The listed names, modules without their "_module".
constexpr const char* kListedModules =
    "actions alias asis auth_basic auth_digest authn_alias authn_anon authn_dbd authn_dbm authn_default "
    "authn_file authnz_ldap authz_dbm authz_default authz_groupfile authz_host authz_owner authz_user "
    "autoindex cache cern_meta cgi charset_lite dav dav_fs dav_lock dbd deflate dir disk_cache dumpio env "
    "expires ext_filter file_cache filter headers ident imagemap include info isapi ldap logio log_config "
    "log_forensic mem_cache mime mime_magic negotiation proxy proxy_ajp proxy_balancer proxy_connect "
    "proxy_ftp proxy_http rewrite setenvif speling ssl status substitute unique_id userdir usertrack version "
    "vhost_alias";
constexpr const char* kListedExtensions =
    "apache apc apd array bbcode bc bcompiler bz2 calendar classkit classobj com crack ctype curl cyrus "
    "datetime dba dbase dbplus dbx dio dir dom domxml dotnet enchant errorfunc exec exif expect fam fbsql "
    "fdf fileinfo filepro filesystem filter fribidi ftp funchand geoip gettext gmp gnupg haru hash http "
    "hwapi hw i18n interbase ibm-db2 iconv id3 ifx iisfunc gd2 imagick imap inclued info ingres inotify intl "
    "java json kadm5 ldap libxml lzf mail mailparse math maxdb mbstring mcrypt mcve memcache mhash "
    "mime-magic ming misc mnogosearch mongo mqseries msession msql mssql mysql mysqli ncurses net-gopher "
    "network newt nis notes nsapi objaggregation oci8 oggvorbis openal openssl outcontrol overload ovrimos "
    "paradox parsekit pcntl pcre pdf pdo pgsql phar posix printer ps pspell qtdom radius rar readline recode "
    "regex rpmreader runkit sam sca scream sdo sdodasrel sdo-das-xml sem session session-pgsql shmop "
    "simplexml snmp soap sockets sphinx spl spl-types spplus sqlite3 sqlite ssh2 stats stream strings svn "
    "swf swish sybase_ct tcpwrap tidy tokenizer unicode uodbc url var vpopmail w32api wddx win32ps "
    "win32service xattr xdiff xml xmlreader xmlrpc xmlwriter xsl xslt yaz zip zlib";

std::string ModuleDoc(std::string_view page) { return "https://httpd.apache.org/docs/2.4/mod/" + std::string(page); }
std::string PhpManual(std::string_view page) { return "https://www.php.net/manual/en/" + std::string(page); }

}  // namespace

TEST(HelpTables, EveryListedModule_HasSummaryLineAndItsReferencePage) {
    const std::vector<std::string> stems = Split(kListedModules, ' ');
    ASSERT_EQ(stems.size(), 67u);
    for (const std::string& stem : stems) {
        const std::string name = stem + "_module";
        const char* text = ApacheModuleHelpTable(name);
        ASSERT_NE(text, nullptr) << name;
        const std::string_view body(text);
        const size_t gap = body.find("\n\n");
        EXPECT_TRUE(gap != std::string_view::npos && gap > 0 && body.size() > gap + 2) << name << ": summary, then text";
        EXPECT_EQ(body.substr(0, gap).find('\n'), std::string_view::npos) << name;
        EXPECT_EQ(ApacheModuleHelp(name), ModuleDoc("mod_" + stem + ".html"));
    }
}

// Listed or a default of current builds: a text and the manual book, or the page that exists.
TEST(HelpTables, EveryListedAndDefaultExtension_HasTextAndItsManualPage) {
    const std::vector<std::string> listed = Split(kListedExtensions, ' ');
    ASSERT_EQ(listed.size(), 177u);
    std::vector<std::string> names = listed;
    names.insert(names.end(), DefaultPhpExtensions().begin(), DefaultPhpExtensions().end());
    const std::pair<std::string_view, std::string_view> otherPages[] = {
        {"bz2", "book.bzip2"}, {"interbase", "book.ibase"}, {"gd2", "book.image"}, {"sybase_ct", "book.sybase"},
        {"gd", "book.image"}, {"pdo_mysql", "ref.pdo-mysql"}, {"pdo_sqlite", "ref.pdo-sqlite"},
    };
    for (const std::string& name : names) {
        const char* text = PhpExtensionHelpTable(name);
        ASSERT_NE(text, nullptr) << name;
        EXPECT_GT(std::string_view(text).size(), 20u) << name;
        std::string page = "book." + name;
        for (const auto& [other, real] : otherPages)
            if (other == name) page = real;
        EXPECT_EQ(PhpExtensionHelp(name), PhpManual(page + ".php")) << name;
    }
}

TEST(HelpTables, Lookups_IgnoreCaseAndBuildLinksForUnlistedNames) {
    EXPECT_EQ(ApacheModuleHelpTable("REWRITE_MODULE"), ApacheModuleHelpTable("rewrite_module"));
    EXPECT_EQ(ApacheModuleHelp("REWRITE_MODULE"), ModuleDoc("mod_rewrite.html"));
    EXPECT_EQ(PhpExtensionHelpTable("CURL"), PhpExtensionHelpTable("curl"));
    EXPECT_EQ(PhpExtensionHelp("GD2"), PhpManual("book.image.php"));
    const std::pair<std::string_view, std::string> unlistedModules[] = {
        {"foo_module", ModuleDoc("mod_foo.html")},
        {"foo", ModuleDoc("mod_foo.html")},
        {"Foo_MODULE", ModuleDoc("mod_Foo_MODULE.html")},  // the suffix test is exact
        {"{PHPMODULENAME}", ModuleDoc("mod_{PHPMODULENAME}.html")},
    };
    for (const auto& [name, link] : unlistedModules) {
        EXPECT_EQ(ApacheModuleHelpTable(name), nullptr) << name;
        EXPECT_EQ(ApacheModuleHelp(name), link) << name;
    }
    EXPECT_TRUE(PhpExtensionHelpTable("redis") == nullptr && PhpExtensionHelpTable("") == nullptr);
    EXPECT_EQ(PhpExtensionHelp("redis"), PhpManual("book.redis.php"));
}
