#include "core/translate.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

// Written by the GUI thread, read by every thread.
std::atomic<bool> g_french{false};
std::atomic<void (*)(const char*)> g_untranslatedSink{nullptr};

struct Fnv1a {
    size_t operator()(std::string_view text) const {
        uint64_t hash = 0xCBF29CE484222325ull;
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 0x100000001B3ull;
        }
        return size_t(hash);
    }
};

using LookupMap = std::unordered_map<std::string_view, const char*, Fnv1a>;

const LookupMap& Lookup() {
    static const LookupMap map = [] {
        LookupMap built;
        size_t count = 0;
        const TranslationPair* table = TranslationTable(&count);
        built.reserve(count);
        for (size_t i = 0; i < count; ++i) built.emplace(table[i].english, table[i].french);  // first one wins
        return built;
    }();
    return map;
}

}  // namespace

const char* Tr(const char* text) {
    if (!text || !g_french.load(std::memory_order_relaxed)) return text;
    const LookupMap& map = Lookup();
    auto it = map.find(std::string_view(text, std::strlen(text)));
    if (it != map.end()) return it->second;
    if (auto sink = g_untranslatedSink.load(std::memory_order_relaxed)) sink(text);
    return text;
}

void SetUntranslatedSink(void (*sink)(const char* text)) { g_untranslatedSink.store(sink); }

void SetLanguage(const std::string& code) {
    bool french;
    if (code == "fr") {
        french = true;
    } else if (code == "en") {
        french = false;
    } else {
        french = (::GetUserDefaultUILanguage() & 0x3FF) == LANG_FRENCH;
    }
    g_french.store(french);
}

bool IsFrench() { return g_french.load(std::memory_order_relaxed); }
