// The Virtual hosts tab of the Apache page: fields refused before a save, the selection kept on
// a host, and the list and editor laid out in the narrowest window and a large one.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "core/translate.h"
#include "imgui_internal.h"
#include "tests/ui/apache_page_fixture.h"
#include "ui/icons.h"
#include "ui/shell.h"
#include "ui/theme.h"

namespace {

using uitest::ApachePageTest;
using uitest::Contains;
using uitest::kOddHosts;

}  // namespace

// Fields Apache would read back otherwise, or refuse: "Save and apply" names the host and the
// field, selects that host, keeps the edits and writes nothing.
TEST_F(ApachePageTest, HostFields_WrittenBroken_RefusedNamingHostAndField) {
    MakeBuild("<VirtualHost *:8081>\r\n    ServerName b.localhost\r\n</VirtualHost>\r\n");
    const std::string before = TemplateText();
    const std::string host = "! Not saved: virtual host 2 (b.localhost), ";
    const std::tuple<const char*, const char*, std::string> cases[] = {
        {"vaddr", "", host + "Address / port is empty (write * for every address)."},
        {"vaddr", "*:8080", host + "Address / port holds a port: write it in the port field."},
        {"vroot", "C:\\www\\", host + "DocumentRoot cannot hold a double quote or end with a backslash."},
        {"vroot", "C:/a\"b", host + "DocumentRoot cannot hold a double quote or end with a backslash."},
        {"vname", "b .localhost", "! Not saved: virtual host 2 (b .localhost), ServerName cannot hold blanks or double "
                                  "quotes (one name only)."},
    };
    for (const auto& [id, typed, toast] : cases) {
        Cache().selectedHost = 1;
        Show();
        Type(id, typed);
        Cache().selectedHost = 0;
        Show();
        ui::Toasts().clear();
        ASSERT_TRUE(ClickId("vhsave")) << id;
        EXPECT_EQ(uitest::ToastTexts(), std::vector<std::string>{toast}) << id;
        EXPECT_TRUE(TemplateText() == before && Cache().unsaved && Cache().selectedHost == 1) << id;
        ASSERT_TRUE(ClickId("vhundo"));
    }
    // A <Directory> path typed with a final backslash, as the Alias paths.
    Cache().selectedHost = 1;
    Show();
    ASSERT_TRUE(ClickId("adddir"));
    Type("dpath", "C:\\sites\\");
    ui::Toasts().clear();
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_EQ(uitest::ToastTexts(), std::vector<std::string>{host + "<Directory> cannot hold a double quote or end with a "
                                                                    "backslash."});
    EXPECT_EQ(TemplateText(), before);
    Type("dpath", "C:\\sites");
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Contains(TemplateText(), "\t<Directory \"C:\\sites\">\r\n") && !Cache().unsaved);
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

// The narrowest window and a large one, in both languages: the host list shows a long name
// whole, and every field of the host editor keeps room for its content inside the editor, seen
// as the page is scrolled down (items scrolled out of view are not laid out).
TEST_F(ApachePageTest, NarrowAndLargeWindows_ListAndFieldsKeepTheirRoom) {
    MakeBuild("<VirtualHost *:8443>\r\n    ServerName a-rather-long-name-for-a-shop.localhost\r\n    SSLEngine on\r\n"
              "    DocumentRoot \"{DOCUMENTPATH}/shop\"\r\n    Alias \"/img\" \"{DOCUMENTPATH}/shop/img/\"\r\n"
              "    <Directory \"{DOCUMENTPATH}/shop\">\r\n        Require local\r\n    </Directory>\r\n</VirtualHost>\r\n"
              "LoadModule authz_groupfile_module modules/mod_authz_groupfile.so\r\n");
    const std::string row = std::string(ui::icon::kShield) + "  a-rather-long-name-for-a-shop.localhost";
    const std::vector<std::string> ids = {"vaddr", "vport", "vname", "valias", "vroot", "vbrowse", "aurl", "apath",
                                          "adel", "dpath", "dbrowse", "ddel", "allowall", "extra"};
    const float least = 240 * ui::Scale();
    auto window = [&](std::string_view child) -> ImGuiWindow* {
        for (const std::string& label : harness.Labels())
            if (label.find(std::string("/") + std::string(child) + "_") != std::string::npos)
                return ImGui::FindWindowByName(label.c_str());
        return nullptr;
    };
    for (const ImVec2 size : {ImVec2(860, 560), ImVec2(1600, 1000)}) {
        for (const char* language : {"en", "fr"}) {
            SCOPED_TRACE(std::string(language) + " " + std::to_string(int(size.x)));
            SetLanguage(language);
            ImGui::GetIO().DisplaySize = size;
            Show();
            if (ImGuiWindow* page = window("##page")) ImGui::SetScrollY(page, 0);
            Show();
            ASSERT_TRUE(Click(row));
            ASSERT_EQ(Cache().selectedHost, 1);
            const uitest::Item* selectable = harness.Find(row);
            ASSERT_TRUE(selectable);
            EXPECT_GE(selectable->max.x - selectable->min.x, ImGui::CalcTextSize(row.c_str()).x +
                                                                 ImGui::GetStyle().ItemSpacing.x + ImGui::CalcTextSize(":8443").x);
            std::set<std::string> seen;
            for (float scroll = 0;; scroll += 150) {
                ImGuiWindow* page = window("##page");
                ASSERT_TRUE(page);
                ImGui::SetScrollY(page, scroll);
                Show();
                const ImGuiWindow* editor = window("##vhedit");
                ASSERT_TRUE(editor);
                const float right = editor->InnerClipRect.Max.x + 0.5f;
                for (const std::string& id : ids) {
                    const uitest::Item* item = ById(id);
                    if (!item) continue;
                    seen.insert(id);
                    EXPECT_LE(item->max.x, right) << id;
                    if (id == "vname" || id == "valias" || id == "vroot" || id == "dpath") {
                        EXPECT_GE(item->max.x - item->min.x, least) << id;
                    }
                }
                if (const uitest::Item* last = harness.Find("ExecCGI")) {
                    EXPECT_LE(last->max.x, right);
                }
                if (scroll >= page->ScrollMax.y) break;
            }
            EXPECT_EQ(seen, std::set<std::string>(ids.begin(), ids.end()));
        }
    }
    // The module's documentation address wraps inside its pane, and still opens.
    ImGui::GetIO().DisplaySize = ImVec2(860, 560);
    ImGui::SetScrollY(window("##page"), 0);
    Show();
    ASSERT_TRUE(ClickTab("###tab_mod"));
    ASSERT_TRUE(Click("authz_groupfile_module"));
    const uitest::Item* link = ById("modlink");
    ASSERT_TRUE(link);
    EXPECT_LE(link->max.x, window("##moddesc")->InnerClipRect.Max.x + 0.5f);
    std::vector<ui::ShellCall> calls;
    ui::RecordShellCallsForTests(&calls);
    const bool opened = ClickId("modlink");
    ui::RecordShellCallsForTests(nullptr);
    EXPECT_TRUE(opened && calls.size() == 1u);
    SetLanguage("en");
}
