// core/log.h: the process-wide console log: the newest 4000 messages with a sequence number,
// time, source and level. Any thread writes; readers copy only what is newer than they hold.
#pragma once
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// Where a message comes from: 0 the panel, 1 Apache, 2 the database server, 3 PHP, 4 the installer.
using ConsoleSource = uint8_t;
// 0 info, 1 success, 2 warning, 3 error.
using LogLevel = uint8_t;

namespace console {
inline constexpr ConsoleSource kZerva = 0;
inline constexpr ConsoleSource kApache = 1;
inline constexpr ConsoleSource kMySql = 2;
inline constexpr ConsoleSource kPhp = 3;
inline constexpr ConsoleSource kInstall = 4;
}  // namespace console

namespace level {
inline constexpr LogLevel kInfo = 0;
inline constexpr LogLevel kSuccess = 1;
inline constexpr LogLevel kWarning = 2;
inline constexpr LogLevel kError = 3;
}  // namespace level

struct LogEntry {
    uint64_t seq = 0;            // 1 for the first entry of the process, never reused
    int64_t time = 0;            // seconds since 1970 UTC, when added
    ConsoleSource source = 0;
    LogLevel level = 0;
    std::string text;            // UTF-8, without trailing CR/LF
};

// "Zerva", "Apache", "MySQL", "PHP", "Install"; unknown sources are "Zerva".
const char* LogSourceName(ConsoleSource source);

class LogBuffer {
public:
    static constexpr size_t kMaxEntries = 4000;

    static LogBuffer& Instance();
    void Append(ConsoleSource source, LogLevel level, std::string text);
    // Appends copies of the entries newer than sinceSeq to `out` (not cleared first) and returns
    // the newest sequence number ever given (0 before the first entry).
    uint64_t Snapshot(std::vector<LogEntry>& out, uint64_t sinceSeq);
    void Clear();
    // "HH:MM:SS [Source] text" CR LF per entry, local time, oldest first.
    std::string ToText();

private:
    std::mutex m_mutex;
    std::deque<LogEntry> m_entries;
    uint64_t m_nextSeq = 1;
};

void LogInfo(ConsoleSource source, std::string text);
void LogSuccess(ConsoleSource source, std::string text);
void LogWarning(ConsoleSource source, std::string text);
void LogError(ConsoleSource source, std::string text);

// Level of a child program's output line by its keywords: 3 error words, 2 warnings, else 0.
LogLevel LineLevel(const std::string& line);
