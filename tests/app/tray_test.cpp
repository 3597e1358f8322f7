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

}  // namespace
