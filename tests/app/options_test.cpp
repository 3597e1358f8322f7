// The options of zerva.exe: folders made absolute for the root and the download cache.
#include "app/options.h"

#include <gtest/gtest.h>

#include "core/text.h"

// A drive root keeps its separator ("C:" alone is the drive's current folder, not its root); any
// other folder loses its trailing ones, so paths joined under it never hold a doubled separator.
TEST(Options, AbsoluteFolder_DriveRootKeptWhole_TrailingSeparatorsOfOtherFoldersGone) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\", L"C:\\"}, {L"Z:/", L"Z:\\"}, {L"C:\\Zerva\\", L"C:\\Zerva"}, {L"C:\\Zerva\\\\", L"C:\\Zerva"},
        {L"C:\\Zerva/", L"C:\\Zerva"}, {L"C:\\Zerva\\bin\\..\\", L"C:\\Zerva"}, {L"C:\\Zerva", L"C:\\Zerva"},
    };
    for (const auto& [given, made] : cases) {
        EXPECT_EQ(WideToUtf8(AbsoluteFolder(given)), WideToUtf8(made)) << WideToUtf8(given);
        StartOptions options;
        options.root = given;
        EXPECT_EQ(WideToUtf8(ChooseRootFolder(options)), WideToUtf8(made)) << WideToUtf8(given);
    }
}
