// app/frame_loop.h: the message and frame loop of the window: its waits (the window is drawn
// continuously only while the user acts or a job runs; nothing is drawn while hidden or while
// the session is locked), the tray updates and balloons, one frame per visible pass (presented
// only when its picture changed or the window needs it), the screenshot capture, and the rebuild
// after a lost device. GUI thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// What the loop has done so far; tests watch it from a timer of the loop's own thread.
struct FrameLoopCounts {
    int passes = 0;         // passes after the pump while the window exists
    int visiblePasses = 0;  // passes that laid out a frame
    int rendered = 0;       // frames rendered (each presented, but for a screenshot capture)
    uint64_t waitedMs = 0;  // the waits for input asked for before the passes, summed
};

struct FrameLoopOptions {
    bool screenshot = false;      // draws into the capture window, then saves and ends
    std::wstring screenshotPath;  // --screenshot
    int frames = 14;              // --frames: the capture follows the first frame that makes the count reach it
    FrameLoopCounts* counts = nullptr;  // tests: kept up to date while the loop runs
};

// Exit codes the loop can end with.
inline constexpr int kLoopEnded = 0;
inline constexpr int kLoopNoDevice = 1;         // a lost device could not be rebuilt, or no font texture made
inline constexpr int kLoopScreenshotFailed = 1;  // the capture could not be written

// The wait after a visible pass that left its frame out while the loop draws continuously: about
// one refresh at 60 Hz, what vertical sync in Present would have waited.
inline constexpr DWORD kSkippedFrameWaitMs = 16;
// The wait of a hidden window, or of one on a locked session: only messages can change anything.
inline constexpr DWORD kHiddenFrameWaitMs = 400;

// Milliseconds to wait for input before the pass: 400 hidden (or on a locked session), 100
// visible after 750 ms without input and nothing busy, or while the last Present (`lastPresent`)
// found the window occluded (the fallback's swap chain on a locked screen returns at once,
// without the wait for vertical sync), else kSkippedFrameWaitMs after a frame left out, else 0;
// never in screenshot mode.
DWORD FrameWaitMs(bool screenshot, bool hidden, uint64_t msSinceInput, bool busy, bool lastSkipped,
                  HRESULT lastPresent);
// The capture is due once the frames drawn reach the option; 0 or less captures the first frame.
bool CaptureDue(int framesDrawn, int framesOption);

// Runs until WM_QUIT; returns one of the codes above.
int RunFrameLoop(HWND window, const FrameLoopOptions& options);
