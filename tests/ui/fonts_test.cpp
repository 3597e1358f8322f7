#include "ui/fonts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"
#include "tests/ui/imgui_harness.h"
#include "ui/theme.h"

namespace {

// A scratch folder standing in for the Windows fonts folder while the test runs.
struct FontsFolder : testkit::ScratchDir {
    FontsFolder() { ui::SetFontsFolderForTests(Path()); }
    ~FontsFolder() { ui::SetFontsFolderForTests({}); }
    // Copies a DejaVu file in under a Windows font name; returns its size.
    int Add(const wchar_t* dejaVuName, const wchar_t* windowsName) {
        EXPECT_TRUE(CopyFileTo(Utf8ToWide(ZERVA_DEJAVU_DIR_WIN) + L"\\" + dejaVuName, *this / windowsName, true));
        return int(ReadWholeFile(*this / windowsName).value_or("").size());
    }
};

// Each font added to the atlas, in order: the file's size (0 for the built-in font), the size as
// requested, merged or not.
using Sources = std::vector<std::tuple<int, float, bool>>;

Sources AtlasSources() {
    Sources sources;
    for (const ImFontConfig& config : ImGui::GetIO().Fonts->ConfigData)
        sources.emplace_back(std::string(config.Name).starts_with("ProggyClean") ? 0 : config.FontDataSize,
                             config.SizePixels, config.MergeMode);
    return sources;
}

TEST(Fonts, FallBacksAlongEachListToTheTextFileAndTheBuiltInFont) {
    wchar_t windows[MAX_PATH] = {};  // by default the Windows fonts folder
    ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::string probe = "zerva-probe-" + std::to_string(::GetCurrentProcessId()) + ".ttf";
    const std::wstring path = std::wstring(windows) + L"\\Fonts\\" + Utf8ToWide(probe);
    testkit::WriteFile(path, "x");
    EXPECT_EQ(ui::FindSystemFont({"zerva-no-such-font.ttf", probe.c_str()}), WideToUtf8(path));
    ::DeleteFileW(path.c_str());

    uitest::Harness harness;
    FontsFolder folder;
    ui::ApplyTheme(1.5f, true);
    // Without an icon font the atlas is built at once, and building rounds sizes down to whole pixels.
    EXPECT_EQ(AtlasSources(), (Sources{{0, 24, false}, {0, 24, false}, {0, 34, false}, {0, 21, false},
                                       {0, 45, false}}));
    harness.Frame({});
    for (int i = 0; i < ui::kFontCount; ++i) EXPECT_TRUE(ui::Fonts()[i] && ui::Fonts()[i]->IsLoaded()) << i;

    // No bold file: bold and title use the text file; an unreadable mono file: the built-in font.
    const int text = folder.Add(L"DejaVuSans.ttf", L"segoeui.ttf");
    testkit::WriteFile(folder / L"consola.ttf", "not a font at all, just text");
    ui::ApplyTheme(1.0f, true);
    EXPECT_EQ(AtlasSources(), (Sources{{text, 16, false}, {text, 16, false}, {text, 23, false}, {0, 14, false},
                                       {text, 30, false}}));
    harness.Frame({});
    // Without an icon font an icon is left blank, never drawn as the fallback "?".
    for (const ImWchar icon : {0xE70D, 0xE768, 0xE946, 0xEA37})
        EXPECT_FALSE(ui::Fonts()[ui::kFontTitle]->FindGlyph(icon)->Visible) << std::hex << icon;
    EXPECT_TRUE(ui::Fonts()[ui::kFontBody]->FindGlyph(0x0416)->Visible) << "other missing letters keep the fallback";

    FontsFolder other;
    other.Add(L"DejaVuSans.ttf", L"arial.ttf");
    const int condensed = other.Add(L"DejaVuSansCondensed.ttf", L"tahoma.ttf");  // before arial in its list
    const int bold = other.Add(L"DejaVuSans-Bold.ttf", L"tahomabd.ttf");
    const int mono = other.Add(L"DejaVuSansMono.ttf", L"cour.ttf");
    const int icons = other.Add(L"DejaVuSerif.ttf", L"segmdl2.ttf");  // stands in for the icon font
    ui::ApplyTheme(1.5f, false);
    EXPECT_EQ(AtlasSources(), (Sources{{condensed, 24, false}, {icons, 22.8f, true}, {bold, 24, false},
                                       {icons, 22.8f, true}, {bold, 34.5f, false}, {icons, 33, true},
                                       {mono, 21, false}, {condensed, 45, false}, {icons, 45, true}}));
    harness.Frame({});
    // The text ranges hold Latin letters and the euro sign, nothing beyond them.
    ImFont* body = ui::Fonts()[ui::kFontBody];
    EXPECT_NE(body->FindGlyphNoFallback(0x00E9), nullptr);
    EXPECT_NE(body->FindGlyphNoFallback(0x20AC), nullptr);
    EXPECT_EQ(body->FindGlyphNoFallback(0x0416), nullptr);
}

}  // namespace
