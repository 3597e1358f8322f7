// Every page, tab and dialog from the narrowest window up, in English and French, with DejaVu
// fonts standing in for the Windows text fonts (they are wider than Segoe UI): nothing laid out
// past the right edge of a window that does not scroll sideways, past the bottom of a card that
// does not scroll, or past the edge of its table column. The helpers of ui/pages/rows.cpp, made
// for these layouts, are held here through the pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/catalog.h"
#include "control/updater.h"
#include "control/server.h"
#include "control/server_status.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "imgui_internal.h"
#include "stack/php/builds.h"
#include "stack/phpmyadmin/config.h"
#include "tests/control/catalog_fixtures.h"
#include "tests/support/fixture_server.h"
#include "tests/ui/page_fixture.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/pages/apache.h"
#include "ui/pages/components.h"
#include "ui/pages/php.h"
#include "ui/pages/rows.h"
#include "ui/shell.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// The client area of the smallest main window Windows allows (860 x 560 with its frame), and the
// width the window opens with on a large enough screen.
constexpr float kNarrowestWidth = 844, kNarrowestHeight = 521, kFirstWidth = 1200;

// The Windows text fonts' stand-ins, for the object's lifetime.
struct DejaVuFonts : testkit::ScratchDir {
    DejaVuFonts() {
        const std::wstring dejaVu = Utf8ToWide(ZERVA_DEJAVU_DIR_WIN);
        for (const auto& [from, to] : {std::pair{L"DejaVuSans.ttf", L"segoeui.ttf"}, {L"DejaVuSans-Bold.ttf", L"seguisb.ttf"},
                                       {L"DejaVuSansMono.ttf", L"consola.ttf"}})
            EXPECT_TRUE(CopyFileTo(dejaVu + L"\\" + from, *this / to, true));
        ui::SetFontsFolderForTests(Path());
        ui::ApplyTheme(1.0f, true);
    }
    ~DejaVuFonts() { ui::SetFontsFolderForTests({}); }
};

bool InDialog(const ImGuiWindow* window) { return (window->RootWindow->Flags & ImGuiWindowFlags_Popup) != 0; }

// The pages, the sidebar and the dialogs; the console box is the frame's own. The box of a
// multi-line field (the host's other directives) scrolls its own text, and Dear ImGui counts an idle
// one's text as wide as the box from its inner padding on: past its edge, though nothing shows.
bool InPageOrDialog(const ImGuiWindow* window) {
    const std::string_view name = window->Name;
    if (name.find("/##extra_") != std::string_view::npos) return false;
    return InDialog(window) || name.find("##page") != std::string_view::npos ||
           name.find("##sidebar") != std::string_view::npos;
}

// What the last frame laid out past an edge in the windows `Checked` picks, one line per window
// or table column.
std::vector<std::string> Overflows(bool (*Checked)(const ImGuiWindow*)) {
    ImGuiContext& g = *GImGui;
    std::vector<std::string> found;
    for (const ImGuiWindow* window : g.Windows) {
        if (!window->Active || window->SkipItems || !Checked(window)) continue;
        // The visible area: items in the padding still show, beyond it they are cut.
        const ImRect& visible = window->InnerClipRect;
        const ImVec2 reached = window->DC.CursorMaxPos;
        if (!(window->Flags & ImGuiWindowFlags_HorizontalScrollbar) && reached.x > visible.Max.x + 0.5f)
            found.push_back(Format("%s: %.0f px too wide", window->Name, reached.x - visible.Max.x));
        if ((window->Flags & ImGuiWindowFlags_ChildWindow) && (window->Flags & ImGuiWindowFlags_NoScrollbar) &&
            reached.y > visible.Max.y + 0.5f)
            found.push_back(Format("%s: %.0f px too tall", window->Name, reached.y - visible.Max.y));
    }
    for (int i = 0; i < g.Tables.GetMapSize(); ++i) {
        const ImGuiTable* table = g.Tables.TryGetMapData(i);
        if (!table || table->LastFrameActive != g.FrameCount || !Checked(table->OuterWindow)) continue;
        for (int c = 0; c < table->ColumnsCount; ++c) {
            const ImGuiTableColumn& column = table->Columns[c];
            const float reached = std::max(column.ContentMaxXUnfrozen, column.ContentMaxXFrozen);
            if (column.IsEnabled && column.IsVisibleX && reached > column.MaxX + 0.5f)
                found.push_back(Format("%s column %d: %.0f px too wide", table->OuterWindow->Name, c, reached - column.MaxX));
        }
    }
    return found;
}

class NarrowLayout : public uitest::PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        // A root deep in a user's folders: long paths on the pages that show them.
        SetRootDir(root / L"Documents de Jean-Baptiste\\Developpement web\\Outils portables\\Zerva");
        EnsureLayout();
        // As narrow as it gets; tall, so that whole pages are laid out without scrolling.
        ImGui::GetIO().DisplaySize = ImVec2(kNarrowestWidth, 4000);
        ASSERT_TRUE(catalogs.Started()) << catalogs.Error();
        ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(catalogs.Url()).c_str());
        using namespace catalogtest;
        catalogs.Serve("/download/", kApachePage);
        catalogs.Serve("/downloads/releases/", kPhpListing);
        catalogs.Serve("/rest-api/mariadb/", kMariaDbMajors);
        catalogs.Serve("/rest-api/mariadb/11.8/", kMariaDbSeries);
        catalogs.Serve("/home_page/version.json", kPhpMyAdminVersions);
    }
    // Frames, then whatever they laid out past an edge, as failures naming `where`.
    void Check(const std::string& where, bool (*checked)(const ImGuiWindow*) = InPageOrDialog) {
        Show(3);
        for (const std::string& line : Overflows(checked)) ADD_FAILURE() << where << ": " << line;
    }
    void LoadCatalogs() {
        for (const char* key : {"apache", "php:releases", "mariadb", "mariadb:11.8", "phpmyadmin"}) {
            installer::RequestCatalog(key, false);
            ASSERT_TRUE(Until([&] { return !ui::CatalogPending(ui::FrameCatalog(key)); })) << key;
            ASSERT_TRUE(ui::FrameCatalog(key).loaded) << key << ": " << ui::FrameCatalog(key).error;
        }
    }
    // The stand-in stack running, its PHP configured with extensions, a project with a long name.
    void MakeRunningStack() {
        MakeApache(LeasedPort(), "LoadModule proxy_http_module modules/mod_proxy_http.so\r\n");
        MakePhp({{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""},
                 {"php.ini-development", "[PHP]\r\n;extension=curl\r\nextension=mbstring\r\n"},
                 {"ext/php_curl.dll", ""}, {"ext/php_mbstring.dll", ""}});
        MakeMariaDb(LeasedPort());
        std::string error;
        ASSERT_TRUE(BuildPhpTemplate(*FindPhp("php-8.3.14"), "php.ini-development", error)) << error;
        ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\a-project-whose-folder-name-runs-on-and-on-and-on-and-on"));
        MakeFolder(PhpMyAdminDir(), {{"index.php", ""}, {"RELEASE-DATE-5.2.2", ""}});
        ui::RefreshInstalls(true);
        EditStatus([](ServerStatus& status) { status.apache.running = status.mysql.running = true; });
    }

    DejaVuFonts fonts;
    testkit::FixtureServer catalogs;
};

TEST_F(NarrowLayout, EveryPageAndTab_NothingPastAnEdgeInEitherLanguageFromTheNarrowestWidth) {
    MakeRunningStack();
    const std::pair<Page, std::vector<std::vector<uitest::IdPart>>> pages[] = {
        {page::kDashboard, {{}}},
        {page::kApache, {{"##apachetabs", "###tab_vh"}, {"##apachetabs", "###tab_mod"}, {"##apachetabs", "###tab_files"}}},
        {page::kPhp, {{"##phptabs", "###tab_ext"}, {"##phptabs", "###tab_set"}, {"##phptabs", "###tab_files"}}},
        {page::kMySql, {{}}},
        {page::kComponents,
         {{"##comptabs", "###tphp"}, {"##comptabs", "###tap"}, {"##comptabs", "###tdb"}, {"##comptabs", "###tpma"}}},
        {page::kLogs, {{}}},
        {page::kSettings, {{}}}};
    LoadCatalogs();
    for (const float width : {kNarrowestWidth, kFirstWidth, 1600.0f}) {
        ImGui::GetIO().DisplaySize.x = width;
        for (const char* language : {"en", "fr"}) {
            SetLanguage(language);
            for (const auto& [number, tabs] : pages) {
                ui::SetPage(number);
                Show();
                // No module or extension chosen (a hint instead), then one with its description and link.
                for (const int chosen : {-1, 1}) {
                    ui::ApacheCache().selectedModule = ui::PhpCache().selectedExtension = chosen;
                    for (const std::vector<uitest::IdPart>& tab : tabs) {
                        ASSERT_TRUE(tab.empty() || ClickPage(tab)) << language << " page " << number;
                        Check(Format("%.0f px, %s, page %d, tab %zu, choice %d", width, language, number,
                                     size_t(&tab - tabs.data()), chosen));
                    }
                }
            }
        }
    }
}

// The dialogs over the narrowest window in French, an alert with a long word and one with a long
// message: the message scrolls in its box, the dialog and its buttons stay on screen. The sidebar's
// update row grows a line for "Mise à jour disponible", longer than the row, and the status lines
// and credit link still end inside the window.
TEST_F(NarrowLayout, DialogsAndSidebar_NothingPastAnEdgeInFrench_TheUpdateRowGrowsALine) {
    MakeRunningStack();
    ImGui::GetIO().DisplaySize = ImVec2(kNarrowestWidth, kNarrowestHeight);
    catalogs.Serve("/update.json", Format(R"({"version": "4.1.0", "url": "%s", "sha256": "%s"})",
                                          catalogs.Url("/Zerva.exe").c_str(), std::string(64, '0').c_str()));
    Config::Instance().Set(setting::kUpdateUrl, catalogs.Url("/update.json"));
    ui::OpenUpdateDialog();
    ASSERT_TRUE(Until([] { return ui::State().updateCheck.done; }));
    ASSERT_TRUE(ui::State().updateCheck.available);
    const auto updateRow = [&](const char* language) {
        SetLanguage(language);
        Show(3);
        const uitest::Item* item = FindId(harness, "updaterow");
        const uitest::Item* credit = FindId(harness, "credit");
        EXPECT_TRUE(item && credit) << language;
        EXPECT_LE(credit ? credit->max.y : 1e9f, kNarrowestHeight) << language;
        return item ? item->max.y - item->min.y : 0.0f;
    };
    const float english = updateRow("en");
    EXPECT_GE(updateRow("fr") - english, ImGui::GetTextLineHeight());
    Check("update dialog", InDialog);
    ASSERT_TRUE(ClickId("upd_close"));

    const std::string path = WideToUtf8(WwwDir()) + "\\a-folder-whose-name-is-one-long-word-" + std::string(60, 'x');
    QueueAlert(Alert{Format(Tr("Port %d unavailable"), 3306),
                     Format(Tr("Port %d needed by %s is already used by %s.\n\nStop that program or change the port in Zerva."),
                            3306, "MySQL", path.c_str()),
                     true, alert_action::kMySql});
    Check("alert", InDialog);
    ASSERT_TRUE(ClickId("notice_ok"));
    std::string lines;
    for (int i = 1; i <= 40; ++i) lines += Format("AH00526: Syntax error on line %d of httpd.conf\n", i);
    QueueAlert(Alert{Tr("Apache configuration error"), lines, true, alert_action::kApache});
    Check("a long alert", InDialog);
    const ImGuiWindow* notice = ImGui::FindWindowByName("###notice");
    ASSERT_TRUE(notice);
    EXPECT_TRUE(notice->Pos.y >= 0 && notice->Pos.y + notice->Size.y <= kNarrowestHeight) << notice->Size.y;
    EXPECT_TRUE(ClickId("notice_ok")) << "reachable";
    ui::RequestWizard();
    Check("wizard", InDialog);
}

// The wizard's lines in French, once their catalogs failed: a catalog site too long to stand
// beside "unavailable (no Internet connection?)" goes on a line of its own instead of over it.
TEST_F(NarrowLayout, Wizard_ASiteThatDoesNotFitBesideItsStatusGoesBelowIt) {
    SetLanguage("fr");
    const auto wizardHeight = [&](const std::string& base) {
        ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(base).c_str());
        for (const char* key : {"apache", "php:releases", "mariadb", "phpmyadmin"}) installer::RequestCatalog(key, true);
        ui::RequestWizard();
        EXPECT_TRUE(Until([] {
            for (const char* key : {"apache", "php:releases", "mariadb", "phpmyadmin"})
                if (ui::CatalogPending(ui::FrameCatalog(key))) return false;
            return true;
        }));
        Show(3);
        const ImGuiWindow* wizard = ImGui::FindWindowByName("###wizard");
        const float height = wizard ? wizard->Size.y : 0;
        EXPECT_TRUE(ClickId("wz_cancel"));
        return height;
    };
    const std::string port = std::to_string(testkit::UnusedPort());
    const float shortSites = wizardHeight("http://127.0.0.1:" + port);
    // A user name before the loopback address: a site as long as a catalog host's, nothing looked up.
    const float longSites = wizardHeight("http://catalogs@127.0.0.1:" + port);
    EXPECT_GE(longSites - shortSites, 4 * ImGui::GetTextLineHeight()) << shortSites << " then " << longSites;
}

// The Virtual hosts tab with a long HTTPS host: its name is whole in the list, and every text field
// of the editor keeps room for its content, beside the list or below it.
TEST_F(NarrowLayout, ApacheHosts_ALongNameWholeInTheList_EveryFieldKeepsItsRoom) {
    MakeApache(LeasedPort(), "<VirtualHost *:8443>\r\n    ServerName a-rather-long-name-for-a-shop.localhost\r\n"
                             "    SSLEngine on\r\n    Alias \"/img\" \"{DOCUMENTPATH}/shop/img/\"\r\n"
                             "    <Directory \"{DOCUMENTPATH}/shop\">\r\n    </Directory>\r\n</VirtualHost>\r\n"
                             "LoadModule authz_groupfile_module modules/mod_authz_groupfile.so\r\n");
    ui::RefreshInstalls(true);
    ui::SetPage(page::kApache);
    const std::string row = std::string(ui::icon::kShield) + "  a-rather-long-name-for-a-shop.localhost";
    for (const float width : {kNarrowestWidth, 1600.0f}) {
        for (const char* language : {"en", "fr"}) {
            const std::string where = Format("%.0f px, %s", width, language);
            ImGui::GetIO().DisplaySize.x = width;
            SetLanguage(language);
            Show();
            ASSERT_TRUE(Click(row)) << where;
            Check(where);
            const uitest::Item* listed = harness.Find(row);
            ASSERT_TRUE(listed && ui::ApacheCache().selectedHost == 1) << where;
            EXPECT_GE(listed->max.x - listed->min.x, ImGui::CalcTextSize((row + " :8443").c_str()).x) << where;
            EXPECT_LE(listed->max.x, uitest::ChildWindow(harness, "##vhlist")->InnerClipRect.Max.x + 0.5f) << where;
            for (const char* id : {"vname", "valias", "vroot", "dpath"}) {
                const uitest::Item* field = ById(id);
                EXPECT_GE(field ? field->max.x - field->min.x : 0, 240 * ui::Scale()) << where << " " << id;
            }
        }
    }
    // A module's documentation address wraps in its pane at the narrowest width, and still opens.
    ImGui::GetIO().DisplaySize.x = kNarrowestWidth;
    ASSERT_TRUE(ClickPage({"##apachetabs", "###tab_mod"}) && Click("authz_groupfile_module"));
    std::vector<ui::ShellCall> calls;
    ui::RecordShellCallsForTests(&calls);
    const bool opened = ClickId("modlink");
    ui::RecordShellCallsForTests(nullptr);
    EXPECT_TRUE(opened && calls.size() == 1u);
}

// The catalog tables whose texts fit the narrowest page share it without scrolling sideways.
TEST_F(NarrowLayout, CatalogTables_NoSidewaysScrollingWhenTheirTextsFit) {
    MakeRunningStack();
    ui::SetPage(page::kComponents);
    LoadCatalogs();
    for (const auto& [tab, table] : {std::pair{"###tap", "##apavail"}, {"###tdb", "##mdbavail"}, {"###tpma", "##pmaavail"}}) {
        ASSERT_TRUE(ClickPage({"##comptabs", tab}));
        Show();
        const ImGuiTable* drawn = GImGui->Tables.GetByKey(PathId("/##page_", {"##comptabs", tab, table}));
        ASSERT_TRUE(drawn && drawn->LastFrameActive == GImGui->FrameCount) << table;
        EXPECT_FALSE(drawn->Flags & ImGuiTableFlags_ScrollX) << table;
    }
}

}  // namespace
