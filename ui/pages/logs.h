// ui/pages/logs.h: the Logs page: the tail of one server log, followed while it grows, copied,
// opened, emptied one by one or all at once, and the PHP session files deleted. GUI thread; its
// file work is done in place and bounded (a tail of at most 512 KiB, a follow check once a second).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct LogSource;

namespace ui {

// The log file the page shows, as read at its last load.
struct LoadedLog {
    std::wstring path;
    uint64_t writeTime = 0;  // 0 when the file did not exist
    uint64_t size = 0;
    bool folder = false;     // a folder stands where the log goes: no size, no lines, nothing to empty
    std::vector<std::string> lines;
};

std::vector<LogSource> LogSources();
// Reads the file's last 512 KiB into the page's loaded log and asks the view to scroll to its end.
void LoadLogTail(const std::wstring& path);
const LoadedLog& CurrentLog();
// Deletes the files "sess_*" of the PHP sessions folder; returns how many went.
int DeletePhpSessions();

// How a log line is coloured, from its words.
enum class LineTone { Normal, Error, Warning, Notice };
LineTone ToneOfLine(std::string_view line);

// Empties a log file in place, so a server that still writes to it goes on at its start. A folder
// at the path is refused as such (Windows calls it "access denied", as it does a held file).
enum class TruncateResult { Emptied, Missing, InUse, Folder };
TruncateResult TruncateLogFile(const std::wstring& path);

}  // namespace ui
