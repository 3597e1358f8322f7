// ui/console.h: the console at the bottom of the frame: the interface's copy of the process-wide
// log (asked for by sequence number, capped at 4000 lines) and its rule for following the end,
// apart from the drawing (ui::ConsolePanel, declared in ui/frame.h). GUI thread only.
#pragma once
#include <cstdint>
#include <vector>

#include "core/log.h"

namespace ui {

struct ConsoleCopy {
    static constexpr size_t kMaxLines = 4000;
    // Within this many pixels of the bottom the view counts as following the end.
    static constexpr float kFollowSlack = 4.0f;

    std::vector<LogEntry> lines;  // oldest first, at most kMaxLines
    uint64_t nextSeq = 0;         // the newest sequence number the log had given at the last fetch
    uint64_t shownSeq = 0;        // the newest line's sequence number at the last drawn frame
    size_t shownCount = 0;        // the number of lines at the last drawn frame
    bool firstDraw = true;        // the first drawn console jumps to its end

    // Appends the entries newer than nextSeq and drops the oldest beyond kMaxLines.
    void Fetch(LogBuffer& log);
    // Empties the copy; the log itself is cleared by the caller.
    void Clear();
    // Called once per drawn list with the scroll position and its maximum read before drawing:
    // true when the view must move to the last line (it followed the end, or this is the first
    // draw, and the lines changed). Remembers the lines and clears the first-draw flag.
    bool TakeFollow(float scrollY, float scrollMaxY);
};

// The process's console copy (lives until exit).
ConsoleCopy& Console();

}  // namespace ui
