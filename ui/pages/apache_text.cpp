// ui/pages/apache_text.cpp: the Apache page's pure text steps (declared in apache.h); any thread.
#include <algorithm>
#include <cctype>

#include "core/layout.h"
#include "core/text.h"
#include "ui/pages/apache.h"

namespace {

std::vector<std::string> OptionWords(std::string_view options) {
    std::vector<std::string> words;
    for (const std::string& token : Split(options, ' ')) {
        const std::string word = Trim(token);
        if (!word.empty()) words.push_back(word);
    }
    return words;
}

bool IsRelative(const std::string& word) { return word[0] == '+' || word[0] == '-'; }

}  // namespace

namespace ui {

bool HasOption(std::string_view options, std::string_view word) {
    std::string plus(1, '+');
    plus += word;
    const std::vector<std::string> words = OptionWords(options);
    return std::any_of(words.begin(), words.end(), [&](const std::string& token) {
        return EqualsIgnoreCase(token, word) || EqualsIgnoreCase(token, plus);
    });
}

void SetOption(std::string& options, std::string_view word, bool on) {
    std::vector<std::string> kept;
    for (const std::string& token : OptionWords(options)) {
        const std::string_view bare = IsRelative(token) ? std::string_view(token).substr(1) : std::string_view(token);
        if (EqualsIgnoreCase(bare, word)) continue;
        if (on && EqualsIgnoreCase(token, "None")) continue;
        kept.push_back(token);
    }
    if (on) {
        const bool relative = std::any_of(kept.begin(), kept.end(), IsRelative);
        std::string added = relative ? "+" : "";
        added += word;
        kept.push_back(std::move(added));
    }
    options = kept.empty() ? "None" : Join(kept, " ");
}

std::string ToDocumentPath(std::string_view folder) {
    const std::string path = ToForwardSlashes(folder);
    const std::string www = ToForwardSlashes(WideToUtf8(WwwDir()));
    // Only the www folder itself or something inside it: "www2" is another folder.
    if (StartsWithIgnoreCase(path, www) && (path.size() == www.size() || path[www.size()] == '/'))
        return "{DOCUMENTPATH}" + path.substr(www.size());
    return path;
}

void ApplyOtherDirectives(std::vector<VirtualHost>& hosts, const std::vector<std::string>& texts) {
    for (size_t i = 0; i < hosts.size() && i < texts.size(); ++i) {
        std::vector<std::string> lines;
        for (const std::string& line : SplitLines(texts[i])) {
            std::string trimmed = Trim(line);
            if (!trimmed.empty()) lines.push_back(std::move(trimmed));
        }
        hosts[i].otherLines = std::move(lines);
    }
}

std::string SiteNameFromText(std::string_view text) {
    std::string name;
    for (const char c : ToLower(Trim(text))) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_') name += c;
    }
    return name;
}

std::string SiteIndexPhp(std::string_view name) {
    const std::string n(name);
    return "<?php\n// " + n + "\n?><!doctype html>\n<html><head><meta charset=\"utf-8\"><title>" + n +
           "</title></head>\n<body style=\"font-family:Segoe UI,sans-serif;margin:3em\">\n<h1>" + n +
           "</h1>\n<p>PHP <?= PHP_VERSION ?> - <?= date('Y-m-d H:i:s') ?></p>\n</body></html>\n";
}

int32_t ClampPort(int32_t port) { return std::clamp(port, 1, 65535); }

}  // namespace ui
