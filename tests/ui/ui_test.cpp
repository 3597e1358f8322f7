#include "ui/ui.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "control/server.h"
#include "control/updater.h"
#include "core/config.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/online.h"
#include "core/translate.h"
#include "tests/stack/stack_fixture.h"
#include "tests/support/testkit.h"
#include "tests/ui/imgui_harness.h"
#include "ui/theme.h"

namespace {

// A root folder of its own, and every online address sent to a closed loopback port, so checks
// and catalog loads fail at once without leaving the machine.
class UiEntryTest : public stacktest::RootTest {
protected:
    void SetUp() override {
        RootTest::SetUp();
        ui::State() = UiState{};
        ui::Toasts().clear();
        const std::string closed = "http://127.0.0.1:" + std::to_string(testkit::UnusedPort());
        ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(closed).c_str());
        Config::Instance().Set(setting::kUpdateUrl, closed + "/update.json");
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
        SetLanguage("en");
    }

    uitest::Harness harness;
};

TEST_F(UiEntryTest, UpdateDialogStartsTheFirstCheckOnly) {
    ui::OpenUpdateDialog();
    EXPECT_TRUE(ui::State().updateDialogOpen);
    EXPECT_TRUE(updater::GetCheckState().checking || updater::GetCheckState().done);
    ASSERT_TRUE(testkit::WaitFor([] { return updater::GetCheckState().done && !updater::GetCheckState().checking; }));
    EXPECT_FALSE(updater::GetCheckState().error.empty());
    ui::OpenUpdateDialog();
    EXPECT_FALSE(updater::GetCheckState().checking) << "a finished check is not repeated";
}

TEST_F(UiEntryTest, ThemeDpiAndPendingReapplyWithoutAssertions) {
    ui::ApplyTheme(1.25f, false);
    harness.Frames(2, {});

    struct Step {
        const char* theme;
        float scale;
        bool dark;
        const char* windowBg;
    } const steps[] = {{"Light", 1.0f, true, "#15171C"}, {"light", 1.5f, false, "#F3F4F8"}, {"", 1.5f, true, "#15171C"},
                       {"dark", 1.0f, true, "#15171C"}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.theme);
        Config::Instance().Set(setting::kTheme, step.theme);
        ui::SetDpiScale(step.scale);
        for (int twice = 0; twice < 2; ++twice) {
            ui::ApplyPendingTheme();
            harness.Frames(2, {});
        }
        EXPECT_EQ(ui::IsDarkTheme(), step.dark);
        EXPECT_FLOAT_EQ(ImGui::GetStyle().WindowPadding.y, 14 * step.scale);
        EXPECT_EQ(uitest::Hex(ImGui::GetStyle().Colors[ImGuiCol_WindowBg]), step.windowBg);
    }
    // Without a request nothing is rebuilt, even when the setting changed.
    Config::Instance().Set(setting::kTheme, "light");
    ui::ApplyPendingTheme();
    EXPECT_TRUE(ui::IsDarkTheme());
    ui::RequestThemeApply();
    ui::ApplyPendingTheme();
    EXPECT_FALSE(ui::IsDarkTheme());
    ui::Shutdown();
    EXPECT_EQ(ui::State().logo, nullptr);
}

TEST_F(UiEntryTest, ShellEntryPoints) {
    ui::SetPage(page::kLogs);
    EXPECT_EQ(ui::State().page, page::kLogs);
    ui::SetPage(42);  // the --page option is taken as given
    EXPECT_EQ(ui::State().page, 42);
    ui::RequestQuit();
    EXPECT_TRUE(ui::State().quitRequested);
    EXPECT_FALSE(ui::ShouldQuit());
    ui::State().quitNow = true;
    EXPECT_TRUE(ui::ShouldQuit());

    harness.Frames(1, {});
    std::vector<LogEntry> before;
    const uint64_t seq = LogBuffer::Instance().Snapshot(before, 0);
    SetLanguage("fr");
    ui::AnnounceUpdated("3.9.1");
    std::vector<LogEntry> logged;
    LogBuffer::Instance().Snapshot(logged, seq);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].text, "Zerva mis à jour de 3.9.1 vers 4.0.0.");
    EXPECT_EQ(logged[0].level, level::kSuccess);
    EXPECT_EQ(logged[0].source, console::kZerva);
    ASSERT_EQ(ui::Toasts().size(), 1u);
    EXPECT_EQ(ui::Toasts()[0].text, "Zerva mis à jour vers la version 4.0.0");
    EXPECT_FALSE(ui::Toasts()[0].error);

    EXPECT_EQ(ui::RunningServerCount(), 0);
    EXPECT_EQ(ui::TrayTooltip(), "Zerva - Apache: arrêté, MySQL: arrêté");
    EditStatus([](ServerStatus& s) { s.mysql.running = true; });
    EXPECT_EQ(ui::RunningServerCount(), 1);
    SetLanguage("en");
    EXPECT_EQ(ui::TrayTooltip(), "Zerva - Apache: stopped, MySQL: running");
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    EXPECT_EQ(ui::RunningServerCount(), 2);

}

}  // namespace
