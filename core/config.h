// core/config.h: the settings store of zerva.ini: a flat key-to-value map under one mutex,
// typed reads with the caller's default, and the whole file rewritten when a value changes.
// Any thread.
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "core/settings.h"

class Config {
public:
    static Config& Instance();

    // Remembers the path and reads it; an unreadable file leaves the store empty.
    void Load(const std::wstring& path);
    // Writes every key, sorted, as `KEY = "value"` CR LF after a comment line. False without a
    // path or when the write fails (the previous file then stays intact).
    [[nodiscard]] bool Save();
    // Stores the value and saves at once, unless it is already stored byte for byte. False when
    // the save failed: the value stays in memory and goes with the next save.
    bool Set(const std::string& key, const std::string& value);

    std::string GetString(const std::string& key, const std::string& def);
    bool GetBool(const std::string& key, bool def);
    int GetInt(const std::string& key, int def);

    // The same through a row of the settings table, with the row's default.
    std::string Get(const SettingKey& key);
    bool GetBool(const SettingKey& key);
    int GetInt(const SettingKey& key);
    bool Set(const SettingKey& key, const std::string& value);
    // Whether the key is stored at all (a missing one reads as its default).
    bool Has(const SettingKey& key);
    // Forgets the key in memory; the next save leaves it out.
    void Forget(const SettingKey& key);
    void SetBool(const SettingKey& key, bool value) { Set(key, value ? "1" : "0"); }

    // Text forms of the file, for the loader, the writer and their tests. Parse takes the file's
    // bytes: UTF-8 (with or without its mark) or UTF-16 with its mark, lines ended by CR LF, LF or CR.
    static std::map<std::string, std::string> Parse(std::string_view bytes);
    static std::string Serialize(const std::map<std::string, std::string>& values);

private:
    std::mutex m_mutex;
    std::wstring m_path;
    std::map<std::string, std::string> m_values;
};
