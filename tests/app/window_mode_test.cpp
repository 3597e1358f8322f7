// The window mode of the real zerva.exe: screenshots of each page, the single instance with its
// hand-over, a hidden start in tray mode, closing with nothing running; and the start-up checks:
// the single instance against an elevated copy, the write test's restart as administrator.
#include "app/window_mode.h"

#include <objbase.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/options.h"
#include "app/window.h"
#include "core/files.h"
#include "core/log.h"
#include "core/online.h"
#include "core/version.h"
#include "tests/app/app_fixture.h"
#include "ui/logo.h"
#include "ui/theme.h"

using namespace apptest;

namespace {

struct Png {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

// A PNG file's pixels, decoded by the Windows Imaging Component.
std::optional<Png> ReadPng(const std::wstring& path) {
    const std::string bytes = testkit::ReadFile(path);
    Png png;
    if (!StartsWith(bytes, "\x89PNG\r\n\x1a\n") || !DecodeImageRgba(bytes, png.rgba, png.width, png.height)) return {};
    return png;
}

// The colour most pixels have, as 0xRRGGBBAA.
uint32_t MainColour(const Png& png) {
    std::map<uint32_t, size_t> counts;
    for (size_t i = 0; i + 3 < png.rgba.size(); i += 4)
        ++counts[uint32_t(png.rgba[i]) << 24 | png.rgba[i + 1] << 16 | png.rgba[i + 2] << 8 | png.rgba[i + 3]];
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })->first;
}

// The surfaces of a theme, opaque: the window background the frame clears with, the sidebar's,
// the cards' (console, pages) and the dialogs'. A screenshot is mostly one of them.
std::set<uint32_t> ThemeSurfaces(bool dark) {
    ImGui::CreateContext();
    ui::ApplyTheme(1.0f, dark);
    const auto rgba = [](const ImVec4& c) {
        const auto byte = [](float v) { return uint32_t(v * 255.0f + 0.5f); };
        return byte(c.x) << 24 | byte(c.y) << 16 | byte(c.z) << 8 | 0xFF;
    };
    const ImGuiStyle& style = ImGui::GetStyle();
    std::set<uint32_t> surfaces = {rgba(style.Colors[ImGuiCol_WindowBg]), rgba(ui::WindowBgColor()),
                                   rgba(ui::CardColor()), rgba(style.Colors[ImGuiCol_PopupBg])};
    ImGui::DestroyContext();
    return surfaces;
}

// The main window of process `pid`, or null: other tests of the session have windows of the class too.
HWND MainWindowOf(uint32_t pid) {
    for (HWND window = nullptr; (window = ::FindWindowExW(nullptr, window, kMainWindowClass, nullptr)) != nullptr;) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == pid) return window;
    }
    return nullptr;
}

class WindowModeTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        // The PNG decoder. Left initialised until the process ends, so COM never unloads the
        // imaging library under a thread of its own.
        (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    proc::EnvList Env() const { return {{kOnlineBaseVariable, m_closed}}; }
    std::wstring RootArg() const { return L"--root \"" + root.Path() + L"\" "; }

private:
    std::wstring m_closed = ClosedOnlineBase();
};

TEST_F(WindowModeTest, Screenshot_EachPageAndSizeAndFrameCount_AnOpaquePngOfTheThemesBackground) {
    struct Shot {
        std::wstring args;
        uint32_t width, height;
    };
    // "--frames" of 0, a negative count or a word capture the first frame rather than never.
    const std::vector<Shot> shots = {
        {L"", 1280, 820},
        {L"--page apache --size 640x400", 640, 400},
        {L"--page php --size 1600x900 --frames 20", 1600, 900},
        {L"--page mysql --size 800", 800, 820},
        {L"--page components --frames 0 --size 320x200", 320, 200},
        {L"--page logs --frames -3 --size 320x200", 320, 200},
        {L"--page prefs --frames many --size 320x200", 320, 200},
        {L"--page update --size 320x200", 320, 200},
    };
    MakePhp();  // one build keeps away the first-run wizard, whose modal dims the whole window
    // Stand-ins of tests running beside this one would count as foreign servers: a callout for
    // each would fill the dashboard and outweigh its background.
    Config::Instance().SetBool(setting::kDetectOthersPackage, false);
    for (const bool dark : {true, false}) {
        Config::Instance().Set(setting::kTheme, dark ? "dark" : "light");
        const std::set<uint32_t> surfaces = ThemeSurfaces(dark);
        // Screenshot runs take no single-instance lock: they run side by side.
        std::vector<std::unique_ptr<ZervaProcess>> runs;
        for (size_t i = 0; i < shots.size(); ++i)
            runs.push_back(std::make_unique<ZervaProcess>(
                RootArg() + L"--screenshot \"" + (root / (L"shot" + std::to_wstring(i) + L".png")) + L"\" " +
                    shots[i].args,
                Env()));
        for (size_t i = 0; i < shots.size(); ++i) {
            SCOPED_TRACE(WideToUtf8(shots[i].args) + (dark ? " dark" : " light"));
            EXPECT_EQ(runs[i]->Wait(), 0u) << WindowsOf(runs[i]->Pid());
            const std::optional<Png> png = ReadPng(root / (L"shot" + std::to_wstring(i) + L".png"));
            ASSERT_TRUE(png);
            EXPECT_EQ(png->width, shots[i].width);
            EXPECT_EQ(png->height, shots[i].height);
            EXPECT_TRUE(surfaces.count(MainColour(*png))) << std::hex << MainColour(*png);
        }
    }
    EXPECT_NE(ThemeSurfaces(true), ThemeSurfaces(false));
    EXPECT_FALSE(PathExists(root / L"imgui.ini")) << "no ImGui settings file";
}

TEST_F(WindowModeTest, Screenshot_ThatCannotBeWritten_Exit1AndNoPartialFile) {
    ZervaProcess run(RootArg() + L"--screenshot \"" + root.Path() + L"\" --size 64x64", Env());
    EXPECT_EQ(run.Wait(), 1u);
    EXPECT_FALSE(PathExists(root.Path() + L".zvtmp"));
}

// One test for everything that takes the single-instance lock, so no two run at once.
// One test for every window-mode start: they would meet at the single-instance lock.
TEST_F(WindowModeTest, HiddenTrayStart_SecondInstanceHandsOver_CloseSavesAndExits0) {
    // Not in the saved form: only the settings save at the end writes it that way.
    const std::string ini = "START_SYSTRAY_MODE = \"1\"\r\nSTART_ON_START = \"0\"\r\nCHECK_UPDATES = \"0\"\r\n";
    testkit::WriteFile(root / L"zerva.ini", ini);
    {
        // Tray mode hides the window only when an Apache build is current: on an empty root the
        // window shows, so the first-run wizard is seen.
        ZervaProcess empty(RootArg(), Env());
        HWND window = nullptr;
        ASSERT_TRUE(testkit::WaitFor([&] { return (window = MainWindowOf(empty.Pid())) != nullptr; }));
        EXPECT_TRUE(testkit::WaitFor([&] { return ::IsWindowVisible(window) != FALSE; })) << WindowsOf(empty.Pid());
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(empty.Wait(), 0u);
    }
    MakeApache(webPort);
    testkit::WriteFile(root / L"zerva.ini", ini);
    ZervaProcess first(RootArg(), Env());
    HWND window = nullptr;  // screenshot runs use another class
    ASSERT_TRUE(testkit::WaitFor([&] { return (window = MainWindowOf(first.Pid())) != nullptr; }));
    ASSERT_TRUE(testkit::WaitFor([&] { return ShellHasIcon(window); })) << "the tray icon";
    EXPECT_FALSE(::IsWindowVisible(window)) << "tray mode starts hidden";
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    EXPECT_EQ(WideToUtf8(title), std::string("Zerva ") + kZervaVersion);

    // A screenshot run neither checks nor takes the lock.
    ZervaProcess shot(RootArg() + L"--screenshot \"" + (root / L"shot.png") + L"\" --size 64x64", Env());
    EXPECT_EQ(shot.Wait(), 0u);

    ZervaProcess second(RootArg(), Env());
    EXPECT_EQ(second.Wait(), 0u);
    EXPECT_TRUE(testkit::WaitFor([&] { return ::IsWindowVisible(window) != FALSE; })) << "shown by the hand-over";
    EXPECT_EQ(testkit::ReadFile(root / L"zerva.ini"), ini) << "the second instance leaves the settings alone";

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.Wait(), 0u);
    const std::string saved = testkit::ReadFile(root / L"zerva.ini");
    EXPECT_TRUE(StartsWith(saved, "# Zerva configuration")) << saved;
    EXPECT_NE(saved.find("START_SYSTRAY_MODE = \"1\""), std::string::npos) << saved;
    EXPECT_FALSE(::IsWindow(window));
}

TEST_F(WindowModeTest, ForeignMysqlFiles_OneWarningEach) {
    testkit::ScratchDir windows, drive;
    for (const std::wstring& file : {windows / L"my.ini", windows / L"System32/libmysql.dll", drive / L"my.cnf"})
        testkit::WriteFile(file, "");
    std::vector<LogEntry> logged;
    const uint64_t seq = LogBuffer::Instance().Snapshot(logged, 0);
    CheckForeignMysqlFilesIn(windows.Path(), drive.Path() + L"\\");
    logged.clear();
    LogBuffer::Instance().Snapshot(logged, seq);
    const std::string config = "A MySQL configuration file from another package was found (ignored by Zerva): ";
    std::vector<std::string> texts;
    for (const LogEntry& entry : logged) texts.push_back(entry.level == level::kWarning ? entry.text : "");
    EXPECT_EQ(texts, (std::vector<std::string>{
                         config + WideToUtf8(windows / L"my.ini"), config + WideToUtf8(drive / L"my.cnf"),
                         "libmysql.dll was installed in Windows by another package and may disturb PHP: " +
                             WideToUtf8(windows / L"System32\\libmysql.dll")}));
}

TEST(WindowModeRestart, ElevatedArguments_ReadBackAsTheOptionsGiven) {
    // This copy's arguments, and the root chosen by --root or ZERVA_ROOT, made absolute.
    const std::pair<std::vector<std::wstring>, std::wstring> cases[] = {
        {{}, L""},
        {{L"--root", L"C:\\My Zerva"}, L"C:\\My Zerva"},
        {{L"--root", L"D:\\", L"--lang", L"fr"}, L"D:\\"},  // a drive root: its backslash before the closing quote
        {{L"--cache", L"cache dir", L"--lang", L"en"}, L"Z:\\from the environment"},
    };
    for (const auto& [given, chosenRoot] : cases) {
        const StartOptions options = ScanOptions(given);
        const std::wstring arguments = ElevatedRestartArguments(options, chosenRoot);
        SCOPED_TRACE(WideToUtf8(arguments));
        EXPECT_EQ(arguments.empty(), given.empty()) << "no arguments on a plain start";
        int count = 0;
        wchar_t** argv = ::CommandLineToArgvW((L"zerva.exe " + arguments).c_str(), &count);
        ASSERT_TRUE(argv);
        const StartOptions elevated = ScanOptions(std::vector<std::wstring>(argv + 1, argv + count));
        ::LocalFree(argv);
        EXPECT_EQ(WideToUtf8(elevated.root.value_or(L"")), WideToUtf8(chosenRoot));
        EXPECT_EQ(WideToUtf8(elevated.cache), WideToUtf8(options.cache.empty() ? L"" : AbsoluteFolder(options.cache)));
        EXPECT_EQ(elevated.lang, options.lang);
    }
}

// What the seams saw: message boxes (text, type) and elevated starts (verb, file, parameters).
std::vector<std::pair<std::wstring, UINT>> g_boxes;
int g_answer = IDNO;
std::vector<std::tuple<std::wstring, std::wstring, std::wstring>> g_starts;
const wchar_t* g_mutexName = nullptr;
bool g_mutexFreeAtStart = false;

int WINAPI RecordingBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    EXPECT_EQ(std::wstring(caption), L"Zerva");
    g_boxes.emplace_back(text, type);
    return g_answer;
}

HINSTANCE WINAPI RecordingStart(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT) {
    g_starts.emplace_back(verb, file, parameters ? parameters : L"");
    // A fresh mutex of the name is a new one only once nobody holds the old one.
    UniqueHandle probe(::CreateMutexW(nullptr, FALSE, g_mutexName));
    g_mutexFreeAtStart = probe && ::GetLastError() != ERROR_ALREADY_EXISTS;
    return reinterpret_cast<HINSTANCE>(42);
}

class WindowModeCalls : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        g_starts.clear();
        g_mutexName = mutexName.c_str();
        SetWindowModeCallsForTests(RecordingBox, RecordingStart);
    }
    void TearDown() override { SetWindowModeCallsForTests(nullptr, nullptr); }
    const std::wstring mutexName = L"Local\\ZervaTest.Instance." + Utf8ToWide(testkit::UniqueName());
};

TEST_F(WindowModeCalls, SingleInstance_ACopyWhoseMutexRefusesThisOne_CountsAsRunning_TheUserIsTold) {
    // An elevated copy's mutex refuses a normal one: here a mutex whose empty access list
    // refuses everyone.
    PSECURITY_DESCRIPTOR refusing = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &refusing, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), refusing, FALSE};
    UniqueHandle elevated(::CreateMutexW(&attributes, TRUE, mutexName.c_str()));
    ::LocalFree(refusing);
    ASSERT_TRUE(elevated);
    EXPECT_FALSE(TakeSingleInstance(mutexName.c_str()));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_TRUE(StartsWith(WideToUtf8(g_boxes[0].first), "Zerva is already running as administrator.") &&
                g_boxes[0].second == UINT(MB_OK | MB_ICONINFORMATION)) << WideToUtf8(g_boxes[0].first);
    elevated.Reset();
    EXPECT_TRUE(TakeSingleInstance(mutexName.c_str())) << "the only copy now";
    EXPECT_FALSE(TakeSingleInstance(mutexName.c_str())) << "a copy that can open the mutex hands over";
    EXPECT_EQ(g_boxes.size(), 1u) << "without a message box";
}

TEST_F(WindowModeCalls, UnwritableRoot_RestartAsAdministratorWithTheArguments_TheMutexLetGoFirst) {
    testkit::ScratchDir scratch;
    const std::wstring missing = scratch / L"missing";
    ASSERT_TRUE(TakeSingleInstance(mutexName.c_str()));
    const std::wstring chosenRoot = L"C:\\My Zerva";   // not there: handed on as given
    for (const int answer : {IDNO, IDYES}) {
        g_answer = answer;
        EXPECT_FALSE(CheckFolderWritable(missing, ScanOptions({L"--root", chosenRoot}), chosenRoot, ExePath()));
    }
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_TRUE(StartsWith(WideToUtf8(g_boxes[0].first), "Zerva cannot write in its folder:\n" + WideToUtf8(missing)) &&
                g_boxes[0].second == UINT(MB_YESNO | MB_ICONWARNING)) << WideToUtf8(g_boxes[0].first);
    EXPECT_EQ(g_starts, (decltype(g_starts){{L"runas", ExePath(), L"--root \"C:\\My Zerva\""}})) << "only on Yes";
    EXPECT_TRUE(g_mutexFreeAtStart) << "the elevated copy would find the mutex held and hand over to no window";
    EXPECT_TRUE(CheckFolderWritable(scratch.Path(), {}, L"", ExePath()) && g_boxes.size() == 2u)
        << "a writable folder asks nothing";
}

// The elevated copy runs in another logon session, which has none of the user's subst and mapped
// drives (a link stands for one here): it is started from the program's resolved path, and a chosen
// root is handed on resolved. A folder apart fails the write test: the link's target can be written.
TEST_F(WindowModeCalls, UnwritableRootThroughALink_TheElevatedCopyGetsResolvedPaths) {
    testkit::ScratchDir real, linkHome, scratch;
    const testkit::DirectoryLink drive(linkHome / L"S", real.Path());
    if (!drive.Made()) GTEST_SKIP() << "this system makes no directory links";
    testkit::WriteFile(real / L"zerva.exe", "");
    g_answer = IDYES;
    EXPECT_FALSE(CheckFolderWritable(scratch / L"missing", ScanOptions({L"--root", drive.Path()}), drive.Path(),
                                     drive.Path() + L"\\zerva.exe"));
    EXPECT_EQ(g_starts, (decltype(g_starts){{L"runas", real / L"zerva.exe", L"--root \"" + real.Path() + L"\""}}));
}

}  // namespace
