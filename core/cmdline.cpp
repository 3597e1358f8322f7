#include "core/cmdline.h"

std::wstring QuoteArg(std::wstring_view value) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // A run of backslashes is literal unless a quote follows it; then each one is doubled
        // and the quote escaped.
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');   // they stand before the closing quote
    quoted += L'"';
    return quoted;
}

void CommandLine::Append(std::wstring_view part) {
    if (!m_text.empty()) m_text += L' ';
    m_text += part;
}

CommandLine& CommandLine::Add(std::wstring_view words) {
    Append(words);
    return *this;
}

CommandLine& CommandLine::AddQuoted(std::wstring_view value) {
    Append(QuoteArg(value));
    return *this;
}

CommandLine& CommandLine::AddOption(std::wstring_view option, std::wstring_view value) {
    Append(std::wstring(option) + QuoteArg(value));
    return *this;
}
