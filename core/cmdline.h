// core/cmdline.h: the one builder of the command lines Zerva hands to other programs. Values are
// quoted by the rules the C runtime and CommandLineToArgvW read arguments with, so no value (a
// password, a path) can end its argument early or add one of its own. Pure; any thread.
#pragma once
#include <string>
#include <string_view>

// `value` between double quotes: an inner quote becomes \", and backslashes are doubled where
// they stand before a quote, the closing one included. Read back, it is exactly `value`.
std::wstring QuoteArg(std::wstring_view value);

class CommandLine {
public:
    // Fixed words of Zerva's own, appended as they stand ("-t -f", "--console"); never a value.
    CommandLine& Add(std::wstring_view words);
    // One value as a quoted argument: "C:\zerva\bin".
    CommandLine& AddQuoted(std::wstring_view value);
    // An option glued to its quoted value: --password="secret".
    CommandLine& AddOption(std::wstring_view option, std::wstring_view value);
    // The parts joined by single blanks.
    const std::wstring& Text() const { return m_text; }

private:
    void Append(std::wstring_view part);
    std::wstring m_text;
};
