#include "ui/fonts.h"

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

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
    // Asked for at 22.8 (icons of the body and bold fonts) and 34.5 (title), rounded down by the build.
    EXPECT_EQ(AtlasSources(), (Sources{{condensed, 24, false}, {icons, 22, true}, {bold, 24, false},
                                       {icons, 22, true}, {bold, 34, false}, {icons, 33, true},
                                       {mono, 21, false}, {condensed, 45, false}, {icons, 45, true}}));
    harness.Frame({});
    // The text ranges hold Latin letters and the euro sign, nothing beyond them.
    ImFont* body = ui::Fonts()[ui::kFontBody];
    EXPECT_NE(body->FindGlyphNoFallback(0x00E9), nullptr);
    EXPECT_NE(body->FindGlyphNoFallback(0x20AC), nullptr);
    EXPECT_EQ(body->FindGlyphNoFallback(0x0416), nullptr);
}

// At a very high DPI the atlas of the five fonts outgrows the textures a device can make: its
// glyphs are then made smaller until it fits, and still drawn at their full size.
TEST(Fonts, AtAVeryHighDpiTheAtlasFitsTheTextureLimit_OversampledTwiceEachWayWhereItFits) {
    uitest::Harness harness;
    FontsFolder folder;
    folder.Add(L"DejaVuSans.ttf", L"segoeui.ttf");
    folder.Add(L"DejaVuSans-Bold.ttf", L"seguisb.ttf");
    folder.Add(L"DejaVuSansMono.ttf", L"consola.ttf");
    folder.Add(L"DejaVuSerif.ttf", L"segmdl2.ttf");
    // scale, longest texture side -> the glyphs made as asked for (oversampled 2 x 2, at full density)
    const std::tuple<float, int, bool> cases[] = {
        {1.0f, 8192, true}, {3.0f, 8192, true}, {4.0f, 8192, false}, {6.0f, 16384, false}, {5.0f, 2048, false}};
    for (const auto& [scale, side, asAskedFor] : cases) {
        SCOPED_TRACE(testing::Message() << scale << " " << side);
        ui::SetFontTextureLimit(side);
        ui::ApplyTheme(scale, true);
        const ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
        EXPECT_TRUE(atlas.TexWidth <= side && atlas.TexHeight <= side) << atlas.TexWidth << " x " << atlas.TexHeight;
        const ImFontConfig& body = atlas.ConfigData[0];
        EXPECT_EQ(body.OversampleH == 2 && body.OversampleV == 2 && body.RasterizerDensity == 1.0f, asAskedFor);
        EXPECT_EQ(ui::Fonts()[ui::kFontBody]->FontSize, float(int(scale * 16))) << "drawn at its full size";
        EXPECT_EQ(ui::Fonts()[ui::kFontBig]->FindGlyph('W')->Visible, true);
        harness.Frame({});
    }
    ui::SetFontTextureLimit(ui::MaxTextureSide(nullptr));
}

// A device of each feature level Zerva asks for, or null when this machine has none.
Microsoft::WRL::ComPtr<ID3D11Device> DeviceAt(D3D_FEATURE_LEVEL level) {
    Microsoft::WRL::ComPtr<ID3D11Device> device;
    (void)::D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, &level, 1, D3D11_SDK_VERSION, &device,
                              nullptr, nullptr);
    return device;
}

TEST(Fonts, FontTextureCanBeMadeOnlyWhenTheAtlasFitsTheDevice) {
    uitest::Harness harness;
    const auto device = DeviceAt(D3D_FEATURE_LEVEL_11_0);
    ASSERT_TRUE(device);
    EXPECT_EQ(ui::MaxTextureSide(device.Get()), 16384);
    if (const auto older = DeviceAt(D3D_FEATURE_LEVEL_10_0)) {
        EXPECT_EQ(ui::MaxTextureSide(older.Get()), 8192);
    }
    EXPECT_EQ(ui::MaxTextureSide(nullptr), 8192);

    ui::ApplyTheme(1.0f, true);
    EXPECT_TRUE(ui::FontTextureCanBeMade(device.Get()));
    EXPECT_FALSE(ui::FontTextureCanBeMade(nullptr));
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    atlas->AddCustomRectRegular(8, 20000);
    atlas->ClearTexData();  // built again, with the rectangle
    EXPECT_FALSE(ui::FontTextureCanBeMade(device.Get()));
    EXPECT_GT(atlas->TexHeight, 16384);
}

}  // namespace
