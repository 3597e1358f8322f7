#include "core/log.h"

#include <ctime>

#include "core/text.h"

const char* LogSourceName(ConsoleSource source) {
    switch (source) {
        case console::kApache: return "Apache";
        case console::kMySql: return "MySQL";
        case console::kPhp: return "PHP";
        case console::kInstall: return "Install";
        default: return "Zerva";
    }
}

LogBuffer& LogBuffer::Instance() {
    // Never destroyed: detached threads (output readers, catalog loaders) may still use it while
    // the process runs its exit-time destructors.
    static LogBuffer* instance = new LogBuffer();
    return *instance;
}

void LogBuffer::Append(ConsoleSource source, LogLevel level, std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    std::lock_guard<std::mutex> lock(m_mutex);
    LogEntry entry;
    entry.seq = m_nextSeq++;
    entry.time = static_cast<int64_t>(std::time(nullptr));
    entry.source = source;
    entry.level = level;
    entry.text = std::move(text);
    m_entries.push_back(std::move(entry));
    while (m_entries.size() > kMaxEntries) m_entries.pop_front();
}

uint64_t LogBuffer::Snapshot(std::vector<LogEntry>& out, uint64_t sinceSeq) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Entries are in sequence order: skip the ones the reader already holds without copying.
    auto it = m_entries.begin();
    if (!m_entries.empty() && sinceSeq >= m_entries.front().seq)
        it += std::min<uint64_t>(sinceSeq - m_entries.front().seq + 1, m_entries.size());
    out.insert(out.end(), it, m_entries.end());
    return m_nextSeq - 1;
}

void LogBuffer::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
}

std::string LogBuffer::ToText() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string text;
    for (const auto& entry : m_entries) {
        std::time_t time = static_cast<std::time_t>(entry.time);
        std::tm local{};
        localtime_s(&local, &time);
        char clock[16];
        std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
        text += clock;
        text += " [";
        text += LogSourceName(entry.source);
        text += "] ";
        text += entry.text;
        text += "\r\n";
    }
    return text;
}

void LogInfo(ConsoleSource source, std::string text) {
    LogBuffer::Instance().Append(source, level::kInfo, std::move(text));
}
void LogSuccess(ConsoleSource source, std::string text) {
    LogBuffer::Instance().Append(source, level::kSuccess, std::move(text));
}
void LogWarning(ConsoleSource source, std::string text) {
    LogBuffer::Instance().Append(source, level::kWarning, std::move(text));
}
void LogError(ConsoleSource source, std::string text) {
    LogBuffer::Instance().Append(source, level::kError, std::move(text));
}

LogLevel LineLevel(const std::string& line) {
    const std::string lower = ToLower(line);
    for (const char* word : {"error", "fatal", "could not", "failed", "cannot"})
        if (lower.find(word) != std::string::npos) return level::kError;
    for (const char* word : {"warn", "deprecated"})
        if (lower.find(word) != std::string::npos) return level::kWarning;
    return level::kInfo;
}
