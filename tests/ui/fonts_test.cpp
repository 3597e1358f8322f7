#include "ui/fonts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"
#include "tests/ui/imgui_harness.h"
#include "ui/theme.h"

namespace {

const std::wstring kDejaVu = Utf8ToWide(ZERVA_DEJAVU_DIR_WIN);

// A scratch folder standing in for the Windows fonts folder while the test runs.
struct FontsFolder : testkit::ScratchDir {
    FontsFolder() { ui::SetFontsFolderForTests(Path()); }
    ~FontsFolder() { ui::SetFontsFolderForTests({}); }
    // Copies a DejaVu file in under a Windows font name; returns its size.
    int Add(const wchar_t* dejaVuName, const wchar_t* windowsName) {
        EXPECT_TRUE(CopyFileTo(kDejaVu + L"\\" + dejaVuName, *this / windowsName, true)) << WideToUtf8(dejaVuName);
        return int(ReadWholeFile(*this / windowsName).value_or("").size());
    }
};

// The source of each font added to the atlas, in order: a file's size, or 0 for the built-in font.
// Sizes as requested: building the atlas truncates them to whole pixels.
struct Source {
    int bytes;
    float size;
    bool merged;
    bool operator==(const Source&) const = default;
};

std::vector<Source> AtlasSources() {
    std::vector<Source> sources;
    for (const ImFontConfig& config : ImGui::GetIO().Fonts->ConfigData)
        sources.push_back({std::string(config.Name).rfind("ProggyClean", 0) == 0 ? 0 : config.FontDataSize,
                           config.SizePixels, config.MergeMode});
    return sources;
}

void PrintTo(const Source& s, std::ostream* out) { *out << "{" << s.bytes << ", " << s.size << ", " << s.merged << "}"; }

TEST(Fonts, WithoutWindowsFontsTheBuiltInFontAndWithoutBoldTheTextFile) {
    uitest::Harness harness;
    FontsFolder folder;
    EXPECT_EQ(ui::FindSystemFont({"segoeui.ttf", "arial.ttf"}), "");
    ui::ApplyTheme(1.5f, true);
    EXPECT_EQ(AtlasSources(), (std::vector<Source>{{0, 24, false}, {0, 24, false}, {0, 34.5f, false},
                                                    {0, 21, false}, {0, 45, false}}));
    harness.Frame({});
    for (int i = 0; i < ui::kFontCount; ++i) EXPECT_TRUE(ui::Fonts()[i] && ui::Fonts()[i]->IsLoaded()) << i;

    // Without a bold file bold and title use the text file; an unreadable mono file falls back to
    // the built-in font; without an icon font nothing is merged.
    const int text = folder.Add(L"DejaVuSans.ttf", L"segoeui.ttf");
    testkit::WriteFile(folder / L"consola.ttf", "not a font at all, just text");
    ui::ApplyTheme(1.0f, true);
    EXPECT_EQ(AtlasSources(), (std::vector<Source>{{text, 16, false}, {text, 16, false}, {text, 23, false},
                                                    {0, 14, false}, {text, 30, false}}));
    harness.Frame({});
}

TEST(Fonts, FallBacksAlongEachListWithIconsMerged) {
    uitest::Harness harness;
    FontsFolder folder;
    folder.Add(L"DejaVuSans.ttf", L"arial.ttf");
    const int text = folder.Add(L"DejaVuSansCondensed.ttf", L"tahoma.ttf");  // before arial in its list
    const int bold = folder.Add(L"DejaVuSans-Bold.ttf", L"tahomabd.ttf");
    const int mono = folder.Add(L"DejaVuSansMono.ttf", L"cour.ttf");
    const int icons = folder.Add(L"DejaVuSerif.ttf", L"segmdl2.ttf");        // stands in for the icon font
    EXPECT_EQ(ui::FindSystemFont({"segoeui.ttf", "tahoma.ttf", "arial.ttf"}), WideToUtf8(folder / L"tahoma.ttf"));

    ui::ApplyTheme(1.5f, false);
    EXPECT_EQ(AtlasSources(), (std::vector<Source>{{text, 24, false}, {icons, 22.8f, true},
                                                    {bold, 24, false}, {icons, 22.8f, true},
                                                    {bold, 34.5f, false}, {icons, 33, true},
                                                    {mono, 21, false},
                                                    {text, 45, false}, {icons, 45, true}}));
    harness.Frame({});
    // The text ranges hold Latin letters and the euro sign, nothing beyond them.
    ImFont* body = ui::Fonts()[ui::kFontBody];
    EXPECT_NE(body->FindGlyphNoFallback(0x00E9), nullptr);
    EXPECT_NE(body->FindGlyphNoFallback(0x20AC), nullptr);
    EXPECT_EQ(body->FindGlyphNoFallback(0x0416), nullptr);
}

TEST(Fonts, LooksInTheWindowsFontsFolder) {
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::string name = "zerva-probe-" + std::to_string(::GetCurrentProcessId()) + ".ttf";
    const std::wstring path = std::wstring(windows) + L"\\Fonts\\" + Utf8ToWide(name);
    testkit::WriteFile(path, "x");
    EXPECT_EQ(ui::FindSystemFont({"zerva-no-such-font.ttf", name.c_str()}), WideToUtf8(path));
    ::DeleteFileW(path.c_str());
}

}  // namespace
