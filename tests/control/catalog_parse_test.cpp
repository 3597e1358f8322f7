#include "control/catalog_parse.h"

#include <gtest/gtest.h>

#include <random>

#include "core/text.h"
#include "tests/control/catalog_fixtures.h"

using namespace catalogtest;
using Lines = std::vector<std::string>;

namespace {

// The error, then every field of each package on one line, so a failure shows the whole difference.
Lines Describe(const CatalogEntry& entry) {
    Lines lines;
    if (!entry.error.empty()) lines.push_back("error: " + entry.error);
    for (const Package& p : entry.packages)
        lines.push_back(Format("%d|%s|%s|%s|%s|%s|%d|%s|%s|%s|%d", int(p.comp), p.version.c_str(), p.label.c_str(),
                               p.url.c_str(), p.fileName.c_str(), p.sha256.c_str(), p.arch, p.folder.c_str(),
                               p.detail.c_str(), p.date.c_str(), int(p.installed)));
    return lines;
}

}  // namespace

TEST(CatalogNames, PlainName_OneHarmlessComponentOnly) {
    for (const char* good : {"mariadb-11.4.4", "phpMyAdmin-5.2.2-all-languages.zip", "a b", ".hidden", "x..y"})
        EXPECT_TRUE(IsPlainName(good)) << good;
    for (const char* bad : {"", ".", "..", "..\\..\\x", "../x", "a/b", "C:x", "x.", "x ", "a\tb", "a\x7f"})
        EXPECT_FALSE(IsPlainName(bad)) << bad;
}

TEST(CatalogParsers, Documents_FieldsOrderDuplicatesChecksumsAndHostileNamesSkipped_ElseTheErrorText) {
    const std::string ap = "https://www.apachelounge.com/download/", php = "https://downloads.php.net/~windows/releases/";
    const std::string db = "https://downloads.mariadb.org/rest-api/mariadb/", pma = "https://files.phpmyadmin.net/phpMyAdmin/";
    const std::pair<CatalogEntry, Lines> cases[] = {
        {ParseApachePage(kApachePage, ap),
         {"1|2.4.65|Apache 2.4.65|" + ap + "VS18/binaries/httpd-2.4.65-251009-Win64-VS18.zip|"
          "httpd-2.4.65-251009-Win64-VS18.zip||2|httpd-2.4.65-x64|VS18, build 251009||0",
          "1|2.4.65|Apache 2.4.65|" + ap + "VS18/binaries/httpd-2.4.65-251009-win32-vs18.zip|"
          "httpd-2.4.65-251009-win32-vs18.zip||1|httpd-2.4.65-x86|vs18, build 251009||0",
          "1|2.4.9|Apache 2.4.9|https://archive.example/VS17/binaries/httpd-2.4.9-240718-Win64-VS17.zip|"
          "httpd-2.4.9-240718-Win64-VS17.zip||2|httpd-2.4.9-x64|VS17, build 240718||0"}},
        // Links resolve against the address that served the listing, not the one asked for.
        {ParsePhpListing(kPhpListing, php, "https://windows.php.net/downloads/releases/", ParsePhpChecksums(kPhpReleasesJson)),
         {"0|8.4.1|PHP 8.4.1|https://downloads.php.net/downloads/releases/php-8.4.1-Win32-vs17-x64.zip|"
          "php-8.4.1-Win32-vs17-x64.zip||2|php-8.4.1-x64|VS17||0",
          "0|8.3.10|PHP 8.3.10|" + php + "php-8.3.10-Win32-vs16-x64.zip|php-8.3.10-Win32-vs16-x64.zip|" + kSum +
              "|2|php-8.3.10-x64|VS16||0",
          "0|8.3.10|PHP 8.3.10|" + php + "php-8.3.10-Win32-vs16-x86.zip|php-8.3.10-Win32-vs16-x86.zip|3333|1|php-8.3.10-x86|VS16||0",
          "0|8.3.9|PHP 8.3.9|" + php + "php-8.3.9-Win32-vs16-x64.zip|php-8.3.9-Win32-vs16-x64.zip||2|php-8.3.9-x64|VS16||0",
          "0|8.2.0RC1|PHP 8.2.0RC1|" + php + "php-8.2.0RC1-Win32-vs16-x86.zip|php-8.2.0RC1-Win32-vs16-x86.zip|4444|1|"
          "php-8.2.0RC1-x86|VS16||0",
          "0|5.6.40|PHP 5.6.40|" + php + "php-5.6.40-Win32-VC11-x64.zip|php-5.6.40-Win32-VC11-x64.zip||2|php-5.6.40-x64|VC11||0"}},
        {ParseMariaDbMajorsJson(kMariaDbMajors),
         {"2|11.8|MariaDB 11.8 (LTS)||||2||LTS|2028-06-04|0", "2|11.4|MariaDB 11.4 (LTS)||||2||LTS|2029-05-29|0",
          "2|11.7|MariaDB 11.7||||2||Short Term Support|2025-05-14|0"}},
        {ParseMariaDbFilesJson(kMariaDbSeries, "11.4"),
         {"2|11.4.10|MariaDB 11.4.10|" + db + "11.4.10/MARIADB-11.4.10-WINX64.ZIP|MARIADB-11.4.10-WINX64.ZIP|abc|2|"
          "mariadb-11.4.10||2025-11-20|0",
          "2|11.4.9|MariaDB 11.4.9|https://x/9.zip|mariadb-11.4.9-winx64.zip|99|2|mariadb-11.4.9||2025-08-06|0",
          "2|11.4.4|MariaDB 11.4.4|" + db + "11.4.4/mariadb-11.4.4-winx64.zip|mariadb-11.4.4-winx64.zip|c0ffee00|2|"
          "mariadb-11.4.4||2024-11-01|0"}},
        {ParsePhpMyAdminJson(kPhpMyAdminVersions, "https://files.phpmyadmin.net"),
         {"3|5.2.2|phpMyAdmin 5.2.2|" + pma + "5.2.2/phpMyAdmin-5.2.2-all-languages.zip|phpMyAdmin-5.2.2-all-languages.zip"
          "||2|phpmyadmin|PHP >=7.2,<8.5|2025-01-21|0",
          "3|4.9.11|phpMyAdmin 4.9.11|" + pma + "4.9.11/phpMyAdmin-4.9.11-all-languages.zip|"
          "phpMyAdmin-4.9.11-all-languages.zip||2|phpmyadmin|PHP >=5.5,<8.0|2022-02-11|0"}},
        // Nothing usable: the parser's error text.
        {ParseApachePage("<a href=\"/x/httpd-2.4.1-1-win64-VS17.zip\">", ap), {"error: no Apache build found on www.apachelounge.com"}},
        {ParseApachePage("", "http://127.0.0.1:8080/download/"), {"error: no Apache build found on 127.0.0.1"}},
        {ParsePhpListing("<a href=\"php-8.3.0-nts-Win32-vs16-x64.zip\">", php, php, {}), {"error: no PHP build found on " + php}},
        {ParsePhpListing("<a href='php-8.3.0-Win32-vs16-x64.zip'>", php, php, {}), {"error: no PHP build found on " + php}},
        {ParseMariaDbMajorsJson(R"({"major_releases":[{"release_id":"12.1","release_status":"RC"}]})"),
         {"error: MariaDB API: no stable release"}},
        {ParseMariaDbFilesJson(R"({"releases":{}})", "10.6"), {"error: no Windows ZIP for MariaDB 10.6"}},
        {ParsePhpMyAdminJson(R"({"releases":[]})", "https://h"), {"error: phpMyAdmin: empty version list"}},
    };
    for (const auto& [entry, lines] : cases) EXPECT_EQ(Describe(entry), lines);
    for (const char* json : {"", "[]", "{\"8.3\": []}", "{\"8.3\": {\"ts\": {\"zip\": \"x\"}}}", "{\"8.3\": 5}", "{"})
        EXPECT_TRUE(ParsePhpChecksums(json).empty()) << json;
}

// Any prefix or damaged copy of a document gives packages or an error text, never both or neither.
TEST(CatalogParsers, TruncatedAndRandomDocuments_ErrorTextNoCrash) {
    using Parser = CatalogEntry (*)(std::string_view);
    const std::pair<std::string, Parser> parsers[] = {
        {kApachePage, [](std::string_view t) { return ParseApachePage(t, "https://h/download/"); }},
        {kPhpListing, [](std::string_view t) { return ParsePhpListing(t, "https://h/r/", "https://h/r/", {}); }},
        {kPhpReleasesJson, [](std::string_view t) { return ParsePhpListing(kPhpListing, "https://h/", "", ParsePhpChecksums(t)); }},
        {kMariaDbMajors, [](std::string_view t) { return ParseMariaDbMajorsJson(t); }},
        {kMariaDbSeries, [](std::string_view t) { return ParseMariaDbFilesJson(t, "11.4"); }},
        {kPhpMyAdminVersions, [](std::string_view t) { return ParsePhpMyAdminJson(t, "https://h"); }},
    };
    std::mt19937 random(12345);
    for (const auto& [document, parse] : parsers) {
        for (size_t length = 0; length < document.size(); ++length) {
            const CatalogEntry entry = parse(std::string_view(document).substr(0, length));
            EXPECT_NE(entry.packages.empty(), entry.error.empty()) << document.substr(0, length);
        }
        for (int round = 0; round < 300; ++round) {
            std::string damaged = document;
            for (int n = 0; n < 8; ++n) damaged[random() % damaged.size()] = char(random() % 256);
            const CatalogEntry entry = parse(damaged);
            EXPECT_NE(entry.packages.empty(), entry.error.empty()) << damaged;
        }
    }
    // Long runs that would exhaust the stack of a recursive matcher.
    const std::string run = "<a href=\"" + std::string(2000000, 'p');
    EXPECT_EQ(ParsePhpListing(run + "php-8.3.0-Win32-vs16-x64.zip\">", "https://h/", "", {}).packages.size(), 1u);
    EXPECT_EQ(ParseApachePage(run + "/binaries/httpd-2.4.1-1-win64-VS17.zip\">", "https://h/").packages.size(), 1u);
}
