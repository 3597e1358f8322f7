#include "stack/help_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "stack/php/builds.h"

namespace {

constexpr std::string_view kModuleDocs = "https://httpd.apache.org/docs/2.4/mod/";
constexpr std::string_view kPhpManual = "https://www.php.net/manual/en/";

constexpr const char* kListedModules[] = {
    "actions_module", "alias_module", "asis_module", "auth_basic_module", "auth_digest_module",
    "authn_alias_module", "authn_anon_module", "authn_dbd_module", "authn_dbm_module",
    "authn_default_module", "authn_file_module", "authnz_ldap_module", "authz_dbm_module",
    "authz_default_module", "authz_groupfile_module", "authz_host_module", "authz_owner_module",
    "authz_user_module", "autoindex_module", "cache_module", "cern_meta_module", "cgi_module",
    "charset_lite_module", "dav_module", "dav_fs_module", "dav_lock_module", "dbd_module",
    "deflate_module", "dir_module", "disk_cache_module", "dumpio_module", "env_module",
    "expires_module", "ext_filter_module", "file_cache_module", "filter_module", "headers_module",
    "ident_module", "imagemap_module", "include_module", "info_module", "isapi_module",
    "ldap_module", "logio_module", "log_config_module", "log_forensic_module", "mem_cache_module",
    "mime_module", "mime_magic_module", "negotiation_module", "proxy_module", "proxy_ajp_module",
    "proxy_balancer_module", "proxy_connect_module", "proxy_ftp_module", "proxy_http_module",
    "rewrite_module", "setenvif_module", "speling_module", "ssl_module", "status_module",
    "substitute_module", "unique_id_module", "userdir_module", "usertrack_module",
    "version_module", "vhost_alias_module",
};

constexpr const char* kListedExtensions[] = {
    "apache", "apc", "apd", "array", "bbcode", "bc", "bcompiler", "bz2", "calendar", "classkit",
    "classobj", "com", "crack", "ctype", "curl", "cyrus", "datetime", "dba", "dbase", "dbplus",
    "dbx", "dio", "dir", "dom", "domxml", "dotnet", "enchant", "errorfunc", "exec", "exif",
    "expect", "fam", "fbsql", "fdf", "fileinfo", "filepro", "filesystem", "filter", "fribidi",
    "ftp", "funchand", "geoip", "gettext", "gmp", "gnupg", "haru", "hash", "http", "hwapi", "hw",
    "i18n", "interbase", "ibm-db2", "iconv", "id3", "ifx", "iisfunc", "gd2", "imagick", "imap",
    "inclued", "info", "ingres", "inotify", "intl", "java", "json", "kadm5", "ldap", "libxml",
    "lzf", "mail", "mailparse", "math", "maxdb", "mbstring", "mcrypt", "mcve", "memcache", "mhash",
    "mime-magic", "ming", "misc", "mnogosearch", "mongo", "mqseries", "msession", "msql", "mssql",
    "mysql", "mysqli", "ncurses", "net-gopher", "network", "newt", "nis", "notes", "nsapi",
    "objaggregation", "oci8", "oggvorbis", "openal", "openssl", "outcontrol", "overload",
    "ovrimos", "paradox", "parsekit", "pcntl", "pcre", "pdf", "pdo", "pgsql", "phar", "posix",
    "printer", "ps", "pspell", "qtdom", "radius", "rar", "readline", "recode", "regex",
    "rpmreader", "runkit", "sam", "sca", "scream", "sdo", "sdodasrel", "sdo-das-xml", "sem",
    "session", "session-pgsql", "shmop", "simplexml", "snmp", "soap", "sockets", "sphinx", "spl",
    "spl-types", "spplus", "sqlite3", "sqlite", "ssh2", "stats", "stream", "strings", "svn", "swf",
    "swish", "sybase_ct", "tcpwrap", "tidy", "tokenizer", "unicode", "uodbc", "url", "var",
    "vpopmail", "w32api", "wddx", "win32ps", "win32service", "xattr", "xdiff", "xml", "xmlreader",
    "xmlrpc", "xmlwriter", "xsl", "xslt", "yaz", "zip", "zlib",
};

std::string ModuleDoc(std::string_view page) { return std::string(kModuleDocs) + std::string(page); }
std::string PhpManual(std::string_view page) { return std::string(kPhpManual) + std::string(page); }

}  // namespace

TEST(HelpTables, EveryListedModule_HasSummaryLineAndItsReferencePage) {
    for (const char* name : kListedModules) {
        const char* text = ApacheModuleHelpTable(name);
        ASSERT_NE(text, nullptr) << name;
        const std::string_view body(text);
        const size_t gap = body.find("\n\n");
        EXPECT_NE(gap, std::string_view::npos) << name << ": no one-line summary";
        EXPECT_GT(gap, 0u) << name;
        EXPECT_EQ(body.substr(0, gap).find('\n'), std::string_view::npos) << name;
        EXPECT_GT(body.size(), gap + 2) << name << ": nothing after the summary";
        std::string stem(name);
        stem.resize(stem.size() - std::string_view("_module").size());
        EXPECT_EQ(ApacheModuleHelp(name), ModuleDoc("mod_" + stem + ".html"));
    }
}

TEST(HelpTables, EveryListedExtension_HasTextAndItsManualBook) {
    const std::pair<std::string_view, std::string_view> otherBooks[] = {
        {"bz2", "book.bzip2.php"}, {"interbase", "book.ibase.php"}, {"gd2", "book.image.php"},
        {"sybase_ct", "book.sybase.php"},
    };
    for (const char* name : kListedExtensions) {
        const char* text = PhpExtensionHelpTable(name);
        ASSERT_NE(text, nullptr) << name;
        EXPECT_GT(std::string_view(text).size(), 20u) << name;
        std::string page = "book." + std::string(name) + ".php";
        for (const auto& [other, book] : otherBooks) {
            if (other == name) page = book;
        }
        EXPECT_EQ(PhpExtensionHelp(name), PhpManual(page)) << name;
    }
}

// A new build's default extensions are the ones a user sees first: each needs its real page,
// and the rule alone would make up pages that do not exist for these four.
TEST(HelpTables, DefaultExtensions_AllDescribedWithRealPages) {
    for (const std::string& name : DefaultPhpExtensions()) {
        EXPECT_NE(PhpExtensionHelpTable(name), nullptr) << name;
    }
    const std::pair<std::string_view, std::string_view> pages[] = {
        {"gd", "book.image.php"}, {"pdo_mysql", "ref.pdo-mysql.php"},
        {"pdo_sqlite", "ref.pdo-sqlite.php"}, {"sodium", "book.sodium.php"},
    };
    for (const auto& [name, page] : pages) EXPECT_EQ(PhpExtensionHelp(name), PhpManual(page)) << name;
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
    EXPECT_EQ(PhpExtensionHelpTable("redis"), nullptr);
    EXPECT_EQ(PhpExtensionHelp("redis"), PhpManual("book.redis.php"));
    EXPECT_EQ(PhpExtensionHelpTable(""), nullptr);
}
