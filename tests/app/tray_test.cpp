// The tray icon added, re-added after an Explorer restart and removed, seen from the shell.
#include "app/tray.h"

#include <gtest/gtest.h>

#include "tests/app/app_fixture.h"

namespace {

TEST(Tray, AddedReAddedWithoutLeakingItsIconAndRemoved) {
    const HMODULE icons = ::LoadLibraryExW(apptest::ZervaExe().c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(icons);
    TraySetIconModule(icons);
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"tray", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    EXPECT_FALSE(apptest::ShellHasIcon(window));

    TrayAddIcon(window);
    const HICON first = TrayIconHandle();
    ASSERT_TRUE(first);
    EXPECT_TRUE(apptest::ShellHasIcon(window));
    TrayUpdate();
    TrayBalloon(std::string(300, 'x'), std::string(600, 'y'));  // cut to the record's sizes
    EXPECT_TRUE(apptest::ShellHasIcon(window));

    // "TaskbarCreated": the icon is added again and the handle it replaces is destroyed.
    TrayAddIcon(window);
    ICONINFO info{};
    EXPECT_FALSE(::GetIconInfo(first, &info)) << "the previous icon handle leaked";
    ASSERT_TRUE(TrayIconHandle());
    EXPECT_TRUE(::GetIconInfo(TrayIconHandle(), &info));
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);

    const HICON last = TrayIconHandle();
    TrayRemoveIcon();
    EXPECT_FALSE(apptest::ShellHasIcon(window));
    EXPECT_FALSE(TrayIconHandle());
    EXPECT_FALSE(::GetIconInfo(last, &info));
    TrayRemoveIcon();  // a second removal does nothing
    ::DestroyWindow(window);
    TraySetIconModule(nullptr);
    ::FreeLibrary(icons);
}

// The shell refuses icons until Explorer is ready (at logon): the add is tried again in its time.
int g_refused = 0;
bool g_refusing = true;
uint64_t g_now = 1000000;

BOOL WINAPI RefusingShell(DWORD message, PNOTIFYICONDATAW data) {
    const bool refuse = g_refusing && (message == NIM_ADD || message == NIM_MODIFY);
    g_refused += refuse;
    return refuse ? FALSE : ::Shell_NotifyIconW(message, data);
}

TEST(Tray, ARefusedIconIsOfferedAgainUntilTheShellTakesIt) {
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"tray", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    TraySetShellForTests(RefusingShell);
    TraySetClockForTests([] { return g_now; });
    TrayAddIcon(window);
    const int refused = g_refused;
    EXPECT_GT(refused, 0);
    g_now += kTrayAddRetryMs - 1;
    TrayUpdate();
    EXPECT_EQ(g_refused, refused) << "not offered again on every pass of the loop";
    g_now += 1;
    TrayUpdate();
    EXPECT_GT(g_refused, refused) << "offered again";
    g_refusing = false;
    g_now += kTrayAddRetryMs;
    TrayUpdate();
    EXPECT_TRUE(apptest::ShellHasIcon(window)) << "taken once the shell is ready";
    TrayRemoveIcon();
    EXPECT_FALSE(apptest::ShellHasIcon(window));
    TraySetClockForTests(nullptr);
    TraySetShellForTests(nullptr);
    ::DestroyWindow(window);
}

}  // namespace
