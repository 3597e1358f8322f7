#include "core/cmdline.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace {

// What a Windows program receives: CommandLineToArgvW over a program name and the text.
std::vector<std::wstring> ReadBack(const std::wstring& args) {
    const std::wstring line = L"prog.exe " + args;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> out;
    for (int i = 1; argv && i < count; ++i) out.emplace_back(argv[i]);
    ::LocalFree(argv);
    return out;
}

}  // namespace

TEST(CommandLine, OrdinaryValuesGiveThePlainText) {
    EXPECT_EQ(CommandLine().Add(L"-u root").AddOption(L"--password=", L"tulp").Add(L"-f").AddQuoted(L"C:\\z\\my.ini").Text(),
              L"-u root --password=\"tulp\" -f \"C:\\z\\my.ini\"");
}

TEST(CommandLine, EveryValueReadsBackWhole) {
    const std::wstring values[] = {
        L"", L" ", L"plain", L"with blank", L"it's", L"a\"b", L"\"", L"\"\"", L"trail\\",
        L"trail\\\\", L"C:\\Program Files\\x\\", L"back\\\"quote", L"\\\\server\\share",
        L"tab\there", L"caf\u00e9 \u00fc", L"\\", L"a\\\\\"b\\", L"--port=1 --x", L"%PATH%",
    };
    for (const std::wstring& value : values) {
        SCOPED_TRACE(testing::Message() << "value " << testing::PrintToString(value));
        EXPECT_EQ(ReadBack(QuoteArg(value)), std::vector<std::wstring>{value});
        // Between two other arguments, and glued to an option.
        const std::wstring line = CommandLine().Add(L"-a").AddQuoted(value).AddOption(L"--password=", value).Add(L"-z").Text();
        EXPECT_EQ(ReadBack(line), (std::vector<std::wstring>{L"-a", value, L"--password=" + value, L"-z"}));
    }
}
