// A configuration as Apache reads it: each row's lines as Debian's Apache 2.4 expanded and read
// them ("apache2 -t -D DUMP_CONFIG", "-D DUMP_RUN_CFG"), with A=env in its environment.
#include "stack/apache/config_read.h"

#include "tests/stack/stack_fixture.h"

namespace {

std::vector<std::string> Read(const std::vector<std::string>& lines, const ReadingInput& input) {
    std::vector<std::string> read;
    for (const ReadLine& line : ReadAsApache(Join(lines, "\n"), "t.conf", input).lines) read.push_back(line.text);
    return read;
}

ReadingInput WithEnvironment() {
    ReadingInput input;
    input.environment = [](const std::string& name) { return name == "A" ? std::optional<std::string>("env") : std::nullopt; };
    return input;
}

}  // namespace

TEST(ApacheConfigRead, Variables_DefinesThenTheEnvironment) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"Define A 1", "Listen ${A}", "Define A", "Listen ${a}", "UnDefine a", "Listen ${A}"},
         {"Define A 1", "Listen 1", "Define A", "Listen 1", "UnDefine a", "Listen env"}},
        {{"Define E \"${A}x\"", "X \"${E} $${E} \\${E} ${E\"", "  #Define G 1", "X ${G} ${}${${E}}"},
         {"Define E \"envx\"", "X \"envx $envx \\envx ${E\"", "X ${G} ${}${${E}}"}},
        {{"Define C ${D}", "Define D 2", "X ${C}", "# ${D}"}, {"Define C ${D}", "Define D 2", "X ${D}"}},
    };
    for (const auto& [lines, read] : cases) EXPECT_EQ(Read(lines, WithEnvironment()), read) << lines[0];
}

// Sections whose condition fails are not read, nor anything in them; their own tags are no lines
// Apache keeps. <IfDefine> compares names in their case, <IfModule> modules by name or source.
TEST(ApacheConfigRead, Sections_OnlyThoseWhoseConditionHolds) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"Define PORT 80", "<IfDefine ALT>", "Define PORT 8080", "UnDefine PORT", "</IfDefine>", "Listen ${PORT}"},
         {"Define PORT 80", "Listen 80"}},
        {{"Define X", "<IfDefine !X>", "a", "</IfDefine>", "<IfDefine  X >", "b", "</IfDefine>", "<IfDefine x>", "c",
          "</IfDefine>", "<IfDefine !\"ALT\">", "d", "</IfDefine>"},
         {"Define X", "b", "d"}},
        {{"LoadModule ssl_module modules/mod_ssl.so", "<IfModule SSL_module>", "a", "</IfModule>", "<IfModule mod_ssl.c>",
          "<IfModule ! ssl_module>", "b", "</IfModule>", "c", "</IfModule>", "<IfModule mod_so.c>", "<IfModule mpm_winnt_module>",
          "d", "</IfModule>", "</IfModule>"},
         {"LoadModule ssl_module modules/mod_ssl.so", "c", "d"}},
        // A section inside a skipped one is skipped whatever its own condition; other blocks stay.
        {{"<IfModule rewrite_module>", "<IfDefine !NONE>", "Define R", "</IfDefine>", "</IfModule>", "<IfDefine R>", "r",
          "</IfDefine>", "<VirtualHost *:80>", "<IfVersion >= 2.4>", "v", "</IfVersion>", "</VirtualHost>"},
         {"<VirtualHost *:80>", "v", "</VirtualHost>"}},
    };
    for (const auto& [lines, read] : cases) EXPECT_EQ(Read(lines, {}), read) << lines[0];
}

// Include and IncludeOptional read their files where they stand, from the server root that the
// last ServerRoot line before them sets, each file's lines numbered as its own.
TEST(ApacheConfigRead, Includes_ReadWhereTheyStand) {
    std::vector<std::pair<std::string, std::string>> asked;
    ReadingInput input;
    input.serverRoot = "C:/apache";
    input.macros = {{"APACHEPATH", "C:/httpd"}};
    input.include = [&asked](const std::string& path, const std::string& root) {
        asked.emplace_back(path, root);
        std::vector<IncludedFile> files;
        if (path == "a.conf") files.push_back({"C:/httpd/a.conf", "# a\nDefine IN_A {APACHEPATH}\n\nInclude a.conf\n"});
        if (path == "b/*.conf") files = {{"b/1.conf", "one"}, {"b/2.conf", "two \\\n  more"}};
        if (path == "twice.conf") files = {{"twice.conf", "Include twice.conf\nInclude twice.conf\n"}};
        return files;
    };
    const ApacheReading reading = ReadAsApache(
        "ServerRoot \"{APACHEPATH}\"\nInclude a.conf\n<IfDefine IN_A>\nIncludeOptional b/*.conf\n</IfDefine>\n"
        "<IfDefine NONE>\nInclude c.conf\n</IfDefine>\nlast\n", "httpd_zerva.conf", input);
    std::vector<std::string> read;
    for (const ReadLine& line : reading.lines)
        read.push_back(reading.files[line.file] + ":" + std::to_string(line.number) + " " + line.text);
    // a.conf includes itself: the reading ends that, deep down, as Apache's limit would.
    EXPECT_EQ(read.front(), "httpd_zerva.conf:1 ServerRoot \"C:/httpd\"");
    EXPECT_EQ(read[1], "C:/httpd/a.conf:2 Define IN_A {APACHEPATH}") << "Zerva's macros are the template's alone";
    EXPECT_EQ(std::vector<std::string>(read.end() - 3, read.end()),
              (std::vector<std::string>{"b/1.conf:1 one", "b/2.conf:1 two   more", "httpd_zerva.conf:9 last"}));
    EXPECT_EQ(asked.front(), (std::pair<std::string, std::string>{"a.conf", "C:/httpd"}));
    EXPECT_EQ(asked.back(), (std::pair<std::string, std::string>{"b/*.conf", "C:/httpd"}));
    EXPECT_LT(asked.size(), 40u);
    // One that includes itself twice is read a bounded number of times.
    asked.clear();
    EXPECT_LE(ReadAsApache("Include twice.conf\n", "t.conf", input).files.size(), 512u);
    EXPECT_LT(asked.size(), 1100u);
}
