#include "control/catalog_parse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/http.h"
#include "core/text.h"
#include "tests/control/catalog_fixtures.h"

using namespace catalogtest;
using Lines = std::vector<std::string>;

namespace {

// Every field of each package on one line, so a failure shows the whole difference.
Lines Describe(const CatalogEntry& entry) {
    Lines lines;
    for (const Package& p : entry.packages)
        lines.push_back(Format("%d|%s|%s|%s|%s|%s|%d|%s|%s|%s|%d", int(p.comp), p.version.c_str(), p.label.c_str(),
                               p.url.c_str(), p.fileName.c_str(), p.sha256.c_str(), p.arch, p.folder.c_str(),
                               p.detail.c_str(), p.date.c_str(), int(p.installed)));
    return lines;
}

const std::string kSum = "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789";

}  // namespace

// ---- Names and order ----

TEST(CatalogNames, PlainName_OneHarmlessComponentOnly) {
    for (const char* good : {"mariadb-11.4.4", "phpMyAdmin-5.2.2-all-languages.zip", "a b", ".hidden", "x..y"})
        EXPECT_TRUE(IsPlainName(good)) << good;
    for (const char* bad : {"", ".", "..", "..\\..\\x", "../x", "a/b", "a\\b", "c:", "C:x", "x.", "x ", "a\tb",
                            "a\x7f", "a\nb"})
        EXPECT_FALSE(IsPlainName(bad)) << bad;
}

TEST(CatalogNames, ForceHttpsAndNewerFirst) {
    EXPECT_EQ(ForceHttps("http://a/b"), "https://a/b");
    EXPECT_EQ(ForceHttps("HTTP://a/b"), "https://a/b");
    EXPECT_EQ(ForceHttps("https://a/b"), "https://a/b");
    EXPECT_EQ(ForceHttps("ftp://a/http://"), "ftp://a/http://");
    auto make = [](const char* version, int arch) {
        Package p;
        p.version = version;
        p.arch = arch;
        return p;
    };
    EXPECT_TRUE(PackageNewerFirst(make("8.3.10", 1), make("8.3.9", 2)));
    EXPECT_FALSE(PackageNewerFirst(make("8.3.9", 2), make("8.3.10", 1)));
    EXPECT_TRUE(PackageNewerFirst(make("8.3.10", 2), make("8.3.10", 1)));
    EXPECT_FALSE(PackageNewerFirst(make("8.3.10", 1), make("8.3.10", 2)));
    EXPECT_FALSE(PackageNewerFirst(make("8.3.10", 2), make("8.3.10", 2)));
    EXPECT_FALSE(PackageNewerFirst(make("8.3.10", 1), make("8.3.10", 3)));
}

// ---- HTML listings ----

TEST(ParseApachePage, Builds_FieldsNewestFirstDuplicatesOnce) {
    const CatalogEntry entry = ParseApachePage(kApachePage, "https://www.apachelounge.com/download/");
    EXPECT_EQ(entry.error, "");
    const std::string base = "https://www.apachelounge.com/download/VS18/binaries/";
    EXPECT_EQ(Describe(entry),
              (Lines{"1|2.4.65|Apache 2.4.65|" + base + "httpd-2.4.65-251009-Win64-VS18.zip|"
                     "httpd-2.4.65-251009-Win64-VS18.zip||2|httpd-2.4.65-x64|VS18, build 251009||0",
                     "1|2.4.65|Apache 2.4.65|" + base + "httpd-2.4.65-251009-win32-vs18.zip|"
                     "httpd-2.4.65-251009-win32-vs18.zip||1|httpd-2.4.65-x86|vs18, build 251009||0",
                     "1|2.4.9|Apache 2.4.9|https://archive.example/VS17/binaries/httpd-2.4.9-240718-Win64-VS17.zip|"
                     "httpd-2.4.9-240718-Win64-VS17.zip||2|httpd-2.4.9-x64|VS17, build 240718||0"}));
}

TEST(ParseApachePage, NoBuild_ErrorNamesTheHost) {
    EXPECT_EQ(ParseApachePage("<a href=\"/x/httpd-2.4.1-1-win64-VS17.zip\">", "https://www.apachelounge.com/download/").error,
              "no Apache build found on www.apachelounge.com");
    const CatalogEntry local = ParseApachePage("", "http://127.0.0.1:8080/download/");
    EXPECT_EQ(local.error, "no Apache build found on 127.0.0.1");
    EXPECT_TRUE(local.packages.empty());
}

TEST(ParsePhpListing, Builds_ThreadSafeOnlyChecksumsResolvedAgainstServedAddress) {
    const CatalogEntry entry = ParsePhpListing(kPhpListing, "https://downloads.php.net/~windows/releases/",
                                               "https://windows.php.net/downloads/releases/",
                                               ParsePhpChecksums(kPhpReleasesJson));
    EXPECT_EQ(entry.error, "");
    const std::string base = "https://downloads.php.net/~windows/releases/";
    EXPECT_EQ(Describe(entry),
              (Lines{"0|8.3.10|PHP 8.3.10|" + base + "php-8.3.10-Win32-vs16-x64.zip|php-8.3.10-Win32-vs16-x64.zip|" +
                         kSum + "|2|php-8.3.10-x64|VS16||0",
                     "0|8.3.10|PHP 8.3.10|" + base + "php-8.3.10-Win32-vs16-x86.zip|php-8.3.10-Win32-vs16-x86.zip|"
                     "3333|1|php-8.3.10-x86|VS16||0",
                     "0|8.3.9|PHP 8.3.9|" + base + "php-8.3.9-Win32-vs16-x64.zip|php-8.3.9-Win32-vs16-x64.zip|"
                     "|2|php-8.3.9-x64|VS16||0",
                     "0|8.2.0RC1|PHP 8.2.0RC1|" + base + "php-8.2.0RC1-Win32-vs16-x86.zip|php-8.2.0RC1-Win32-vs16-x86.zip|"
                     "4444|1|php-8.2.0RC1-x86|VS16||0",
                     "0|5.6.40|PHP 5.6.40|" + base + "php-5.6.40-Win32-VC11-x64.zip|php-5.6.40-Win32-VC11-x64.zip|"
                     "|2|php-5.6.40-x64|VC11||0"}));

    const CatalogEntry rooted = ParsePhpListing(kPhpListingRooted, "https://windows.php.net/downloads/releases/x", "", {});
    ASSERT_EQ(rooted.packages.size(), 1u);
    EXPECT_EQ(rooted.packages[0].url, "https://windows.php.net/downloads/releases/php-8.4.1-Win32-vs17-x64.zip");
    EXPECT_EQ(rooted.packages[0].detail, "VS17");
}

TEST(ParsePhpListing, NoUsableBuild_ErrorNamesTheListing) {
    const std::string listing = "https://windows.php.net/downloads/qa/";
    for (const char* page : {"", "<a href=\"php-8.3.0-nts-Win32-vs16-x64.zip\">",
                             "<a href=\"php-8.3.0-Win32-vs99999999999-x64.zip\">", "<a href='php-8.3.0-Win32-vs16-x64.zip'>"})
        EXPECT_EQ(ParsePhpListing(page, listing, listing, {}).error, "no PHP build found on " + listing) << page;
    // A compiler number past 32 bits leaves that link out, not the listing.
    const CatalogEntry mixed = ParsePhpListing(
        "<a href=\"php-8.3.0-Win32-vs4294967312-x64.zip\"><a href=\"php-8.3.0-Win32-vs17-x64.zip\">", listing, listing, {});
    ASSERT_EQ(mixed.packages.size(), 1u);
    EXPECT_EQ(mixed.packages[0].detail, "VS17");
}

TEST(ParsePhpChecksums, OtherShapes_NoChecksumNoError) {
    for (const char* json : {"", "[]", "{\"8.3\": []}", "{\"8.3\": {\"ts\": {\"zip\": \"x\"}}}", "{\"8.3\": 5}", "{"})
        EXPECT_TRUE(ParsePhpChecksums(json).empty()) << json;
    const auto later = ParsePhpChecksums(
        R"({"a": {"x": {"zip": {"path": "P.zip", "sha256": "AA"}}}, "b": {"y": {"zip": {"path": "p.ZIP", "sha256": "bb"}}}})");
    EXPECT_EQ(later, (std::map<std::string, std::string>{{"p.zip", "bb"}}));
}

// ---- JSON documents ----

TEST(ParseMariaDb, Majors_StableOnlyInDocumentOrderHostileIdsSkipped) {
    const CatalogEntry entry = ParseMariaDbMajorsJson(kMariaDbMajors);
    EXPECT_EQ(entry.error, "");
    EXPECT_EQ(Describe(entry), (Lines{"2|11.8|MariaDB 11.8 (LTS)||||2||LTS|2028-06-04|0",
                                      "2|11.4|MariaDB 11.4 (LTS)||||2||LTS|2029-05-29|0",
                                      "2|11.7|MariaDB 11.7||||2||Short Term Support|2025-05-14|0"}));
    EXPECT_EQ(ParseMariaDbMajorsJson(R"({"major_releases":[{"release_id":"12.1","release_status":"RC"}]})").error,
              "MariaDB API: no stable release");
}

TEST(ParseMariaDb, Files_WindowsZipsNewestFirstHttpsHostileNamesSkipped) {
    const CatalogEntry entry = ParseMariaDbFilesJson(kMariaDbSeries, "11.4");
    EXPECT_EQ(entry.error, "");
    EXPECT_EQ(Describe(entry),
              (Lines{"2|11.4.10|MariaDB 11.4.10|https://downloads.mariadb.org/rest-api/mariadb/11.4.10/MARIADB-11.4.10-WINX64.ZIP|"
                     "MARIADB-11.4.10-WINX64.ZIP|abc|2|mariadb-11.4.10||2025-11-20|0",
                     "2|11.4.9|MariaDB 11.4.9|https://x/9.zip|mariadb-11.4.9-winx64.zip|99|2|mariadb-11.4.9||2025-08-06|0",
                     "2|11.4.4|MariaDB 11.4.4|https://downloads.mariadb.org/rest-api/mariadb/11.4.4/mariadb-11.4.4-winx64.zip|"
                     "mariadb-11.4.4-winx64.zip|c0ffee00|2|mariadb-11.4.4||2024-11-01|0"}));
    EXPECT_EQ(ParseMariaDbFilesJson(R"({"releases":{}})", "10.6").error, "no Windows ZIP for MariaDB 10.6");
}

TEST(ParsePhpMyAdmin, Releases_InDocumentOrderHostileVersionsSkipped) {
    const CatalogEntry entry = ParsePhpMyAdminJson(kPhpMyAdminVersions, "https://files.phpmyadmin.net");
    EXPECT_EQ(entry.error, "");
    EXPECT_EQ(Describe(entry),
              (Lines{"3|5.2.2|phpMyAdmin 5.2.2|https://files.phpmyadmin.net/phpMyAdmin/5.2.2/phpMyAdmin-5.2.2-all-languages.zip|"
                     "phpMyAdmin-5.2.2-all-languages.zip||2|phpmyadmin|PHP >=7.2,<8.5|2025-01-21|0",
                     "3|4.9.11|phpMyAdmin 4.9.11|https://files.phpmyadmin.net/phpMyAdmin/4.9.11/phpMyAdmin-4.9.11-all-languages.zip|"
                     "phpMyAdmin-4.9.11-all-languages.zip||2|phpmyadmin|PHP >=5.5,<8.0|2022-02-11|0"}));
    EXPECT_EQ(ParsePhpMyAdminJson(R"({"releases":[]})", "https://h").error, "phpMyAdmin: empty version list");
}

// ---- Damaged documents ----

// Every parser, given any prefix of its document or a randomly damaged copy, returns packages or
// an error text, never both empty, and never crashes.
TEST(CatalogParsers, TruncatedAndRandomDocuments_ErrorTextNoCrash) {
    using Parser = CatalogEntry (*)(std::string_view);
    const std::pair<std::string, Parser> parsers[] = {
        {kApachePage, [](std::string_view t) { return ParseApachePage(t, "https://h/download/"); }},
        {kPhpListing, [](std::string_view t) { return ParsePhpListing(t, "https://h/r/", "https://h/r/", ParsePhpChecksums(t)); }},
        {kPhpReleasesJson, [](std::string_view t) { return ParsePhpListing(kPhpListing, "https://h/", "", ParsePhpChecksums(t)); }},
        {kMariaDbMajors, [](std::string_view t) { return ParseMariaDbMajorsJson(t); }},
        {kMariaDbSeries, [](std::string_view t) { return ParseMariaDbFilesJson(t, "11.4"); }},
        {kPhpMyAdminVersions, [](std::string_view t) { return ParsePhpMyAdminJson(t, "https://h"); }},
    };
    std::mt19937 random(12345);
    for (const auto& [document, parse] : parsers) {
        for (size_t length = 0; length < document.size(); ++length) {
            const CatalogEntry entry = parse(std::string_view(document).substr(0, length));
            EXPECT_NE(entry.packages.empty(), entry.error.empty()) << length << ": " << document.substr(0, length);
        }
        for (int round = 0; round < 300; ++round) {
            std::string damaged = document;
            for (int n = 0; n < 8; ++n) damaged[random() % damaged.size()] = char(random() % 256);
            const CatalogEntry entry = parse(damaged);
            EXPECT_NE(entry.packages.empty(), entry.error.empty()) << damaged;
        }
    }
    // Long runs that would exhaust the stack of a recursive matcher.
    const std::string endless = "<a href=\"" + std::string(2000000, 'p') + "php-8.3.0-Win32-vs16-x64.zip\">";
    EXPECT_EQ(ParsePhpListing(endless, "https://h/", "https://h/", {}).packages.size(), 1u);
    const std::string deep = "<a href=\"" + std::string(1000000, 'a') + "/binaries/httpd-2.4.1-1-win64-VS17.zip\">";
    EXPECT_EQ(ParseApachePage(deep, "https://h/").packages.size(), 1u);
}

// ---- The scanners against the patterns they stand for ----

namespace {

// The same lists built with std::regex from the patterns (safe on these short pages).
Lines ByRegex(const std::string& page, bool php) {
    static const std::regex apache(
        R"re(href="([^"]*?/binaries/(httpd-(\d+\.\d+\.\d+)-(\d+)-[Ww]in(64|32)-([Vv][Ss]\d+)\.zip))")re");
    static const std::regex phpPattern(
        R"re(href="([^"]*?)(php-(\d+\.\d+\.\d+(?:[A-Za-z]+\d*)?)(-nts)?-Win32-(?:VC|vs|VS|vc)(\d+)-(x86|x64)\.zip)")re",
        std::regex::icase);
    CatalogEntry entry;
    std::set<std::string> seen;
    for (std::sregex_iterator it(page.begin(), page.end(), php ? phpPattern : apache), end; it != end; ++it) {
        const std::smatch& m = *it;
        Package p;
        if (php) {
            const unsigned long long compiler = std::strtoull(m[5].str().c_str(), nullptr, 10);
            if (m[4].matched || compiler > INT32_MAX || !seen.insert(ToLower(m[2].str())).second) continue;
            p.url = ResolveUrl("https://h/r/", m[1].str() + m[2].str());
            p.arch = EqualsIgnoreCase(m[6].str(), "x86") ? 1 : 2;
            p.detail = (compiler <= 15 ? "VC" : "VS") + std::to_string(compiler);
            p.label = "PHP " + m[3].str();
            p.folder = "php-" + m[3].str() + "-" + ArchName(p.arch);
        } else {
            if (!seen.insert(m[2].str()).second) continue;
            p.comp = Comp::Apache;
            p.url = ResolveUrl("https://h/r/", m[1].str());
            p.arch = m[5].str() == "64" ? 2 : 1;
            p.detail = m[6].str() + ", build " + m[4].str();
            p.label = "Apache " + m[3].str();
            p.folder = "httpd-" + m[3].str() + "-" + ArchName(p.arch);
        }
        p.fileName = m[2].str();
        p.version = m[3].str();
        entry.packages.push_back(p);
    }
    std::stable_sort(entry.packages.begin(), entry.packages.end(), PackageNewerFirst);
    return Describe(entry);
}

}  // namespace

TEST(CatalogScanners, RandomPages_SameBuildsAsThePatterns) {
    const char* pieces[] = {"href=\"", "HREF=\"", "\"", "/", "/binaries/", "httpd-", "php-", "PHP-", "2.4.", "8.", "3",
                            "10", "-", "Win64", "win32", "-Win32-", "-WIN32-", "VS", "vs", "VC", "17", "x64", "X86",
                            "-x64", ".zip", ".ZIP", "-nts", "RC", "p", "h", " ", "\n"};
    std::mt19937 random(777);
    int found = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string page;
        const int count = 5 + int(random() % 30);
        for (int i = 0; i < count; ++i) page += pieces[random() % std::size(pieces)];
        // Seed a likely link now and then so that matches are common enough to compare.
        if (round % 3 == 0) page += "href=\"a/binaries/httpd-2.4.10-1-Win64-VS18.zip\"";
        if (round % 3 == 1) page += "href=\"php-8.3.10RC2-Win32-vs17-x86.zip\"";
        for (const bool php : {false, true}) {
            const Lines expected = ByRegex(page, php);
            const CatalogEntry entry = php ? ParsePhpListing(page, "https://h/r/", "", {})
                                           : ParseApachePage(page, "https://h/r/");
            ASSERT_EQ(Describe(entry), expected) << page;
            found += int(expected.size());
        }
    }
    EXPECT_GT(found, 2000);
}
