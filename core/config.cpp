#include "core/config.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/files.h"
#include "core/text.h"

Config& Config::Instance() {
    // Never destroyed: detached threads (output readers, catalog loaders) may still use it while
    // the process runs its exit-time destructors.
    static Config* instance = new Config();
    return *instance;
}

std::map<std::string, std::string> Config::Parse(std::string_view bytes) {
    std::map<std::string, std::string> values;
    // Saved from Notepad the file may be UTF-16 or carry a UTF-8 mark; the next save writes UTF-8.
    for (const auto& raw : SplitLinesAnyEnd(TextFileToUtf8(bytes))) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = Trim(std::string_view(line).substr(0, equals));
        std::string value = Trim(std::string_view(line).substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (key.empty()) continue;
        values[key] = std::move(value);
    }
    return values;
}

std::string Config::Serialize(const std::map<std::string, std::string>& values) {
    std::string text = "# Zerva configuration\r\n";
    for (const auto& [key, value] : values) {
        // A line break inside a value would split the file and turn the rest of the value into a
        // line of its own (possibly a key); keep every setting on its one line.
        std::string safe = value;
        for (auto& c : safe)
            if (c == '\r' || c == '\n') c = ' ';
        text += key + " = \"" + safe + "\"\r\n";
    }
    return text;
}

void Config::Load(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path;
    m_values.clear();
    std::string text;
    if (!ReadWholeFile(path, text)) return;
    m_values = Parse(text);
}

bool Config::Save() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_path.empty()) return false;
    return WriteFileAtomic(m_path, Serialize(m_values));
}

bool Config::Set(const std::string& key, const std::string& value) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_values.find(key);
        if (it != m_values.end() && it->second == value) return true;
        m_values[key] = value;
    }
    return Save();  // a failed save keeps the value in memory; the next save retries it
}

std::string Config::GetString(const std::string& key, const std::string& def) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find(key);
    return it == m_values.end() ? def : it->second;
}

bool Config::GetBool(const std::string& key, bool def) {
    const std::string value = ToLower(GetString(key, ""));
    if (value == "1" || value == "on" || value == "true" || value == "yes") return true;
    if (value == "0" || value == "off" || value == "false" || value == "no") return false;
    return def;
}

int Config::GetInt(const std::string& key, int def) {
    const std::string value = GetString(key, "");
    if (value.empty()) return def;
    // Base-10 conversion as std::stoi does it, without the exceptions: leading blanks, a sign,
    // digits up to the first non-digit; no digit or a value beyond 32 bits gives the default.
    const char* begin = value.c_str();
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE || number < INT_MIN || number > INT_MAX) return def;
    return int(number);
}

std::string Config::Get(const SettingKey& key) { return GetString(key.name, key.def); }

bool Config::GetBool(const SettingKey& key) { return GetBool(key.name, std::string_view(key.def) == "1"); }

int Config::GetInt(const SettingKey& key) { return GetInt(key.name, std::atoi(key.def)); }

bool Config::Set(const SettingKey& key, const std::string& value) { return Set(std::string(key.name), value); }

bool Config::Has(const SettingKey& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_values.count(std::string(key.name)) != 0;
}

void Config::Forget(const SettingKey& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values.erase(std::string(key.name));
}
