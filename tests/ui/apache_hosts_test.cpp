// The Virtual hosts tab of the Apache page: fields refused before a save and the selection kept on
// a host (its layout is checked by layout_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/ui/apache_page_fixture.h"

namespace {

using uitest::ApachePageTest;
using uitest::Contains;
using uitest::kOddHosts;

}  // namespace

// Fields Apache would read back otherwise, or refuse: "Save and apply" names the host and the
// field, selects that host, keeps the edits and writes nothing; mended, the field is saved.
TEST_F(ApachePageTest, HostFields_WrittenBroken_RefusedNamingHostAndField) {
    MakeBuild("<VirtualHost *:8081>\r\n    ServerName b.localhost\r\n</VirtualHost>\r\n");
    const std::string before = TemplateText();
    const std::string host = "! Not saved: virtual host 2 (b.localhost), ";
    // The <Directory> path of a directory added first, as the Alias paths.
    const std::tuple<std::string, const char*, std::string> cases[] = {
        {"vaddr", "", host + "Address / port is empty (write * for every address)."},
        {"vaddr", "*:8080", host + "Address / port holds a port: write it in the port field."},
        {"vname", "b .localhost", "! Not saved: virtual host 2 (b .localhost), ServerName cannot hold blanks or double "
                                  "quotes (one name only)."},
        {"dpath", "C:/a\"b", host + "<Directory> cannot hold a double quote."},
    };
    for (const auto& [id, typed, toast] : cases) {
        if (Cache().unsaved) {
            ASSERT_TRUE(ClickId("vhundo"));
        }
        Cache().selectedHost = 1;
        Show();
        if (id == "dpath") {
            ASSERT_TRUE(ClickId("adddir"));
        }
        Type(id, typed);
        Cache().selectedHost = 0;
        Show();
        ui::Toasts().clear();
        ASSERT_TRUE(ClickId("vhsave")) << id;
        EXPECT_EQ(uitest::ToastTexts(), std::vector<std::string>{toast}) << id;
        EXPECT_TRUE(TemplateText() == before && Cache().unsaved && Cache().selectedHost == 1) << id;
    }
    // A final backslash is written so that Apache reads it back as typed.
    Type("dpath", "C:\\sites\\");
    Type("vroot", "C:\\www\\");
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Contains(TemplateText(), "\t<Directory \"C:\\sites\\\\\">\r\n") &&
                Contains(TemplateText(), "\tDocumentRoot \"C:\\www\\\\\"\r\n") && !Cache().unsaved);
}

// The selection never points past the hosts: after "Discard changes" drops an added host, and after
// the file is read again with fewer hosts, the last one is selected and shown.
TEST_F(ApachePageTest, Selection_ClampedToTheLastHost_AfterDiscardAndReload) {
    MakeBuild(kOddHosts);
    Cache().selectedHost = 3;
    Show();
    ASSERT_TRUE(ClickId("vhadd"));
    ASSERT_EQ(Cache().selectedHost, 4);
    ASSERT_TRUE(ClickId("vhundo"));
    EXPECT_EQ(Cache().document.vhosts.size(), 4u);
    EXPECT_EQ(Cache().selectedHost, 3);
    EXPECT_FALSE(Id("vname").empty());
    TouchTemplate("<VirtualHost *:" + std::to_string(port) + ">\r\n</VirtualHost>\r\n<VirtualHost *:8081>\r\n"
                  "    ServerName last.localhost\r\n</VirtualHost>\r\n");
    Show();
    ASSERT_EQ(Cache().document.vhosts.size(), 2u);
    EXPECT_EQ(Cache().selectedHost, 1);
    EXPECT_FALSE(Contains(DrawnText(), "Select a virtual host."));
}
