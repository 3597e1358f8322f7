// ui/dialogs.h: the window-level dialogs drawn after the page: the alert popup, the quit logic
// and dialog, the update dialog, and the toasts. GUI thread, inside a frame; called by ui::Frame
// once per frame in this order (the wizard and the confirm dialog are drawn between them).
#pragma once
#include <cstdint>

#include "control/server.h"
#include "control/updater.h"

namespace ui {

void AlertPopup();
void QuitDialog();
void UpdateDialog();
void DrawToasts();

// ---- The decisions behind the dialogs, apart from the drawing ----

// What a close request does.
enum class QuitStart {
    kNow,        // nothing runs, nothing is being installed
    kAsk,        // the quit question
    kStopFirst,  // the question is switched off: stop the servers, then quit
};
// An installation or removal in progress is always asked about, whatever the setting says:
// ending the process in its middle can lose the component it replaces.
QuitStart DecideQuit(bool anyServerRunning, bool workerBusy, bool installerBusy, bool askSetting);

enum class QuitWait { kWaiting, kQuit, kFailed };
// The wait before quitting. With `stopServers` it lasts until both servers are down and the
// worker is idle with nothing queued; the stop failed when an error alert came, or when the
// worker is idle again after a status refresh newer than `stopTick` (the monitor pass counter
// when the worker was first seen idle after the stop job) and a server still runs. Any wait also
// lasts while the installer works.
QuitWait CheckQuitWait(const ServerStatus& server, bool installerBusy, bool stopServers, uint64_t stopTick,
                       bool errorAlertArrived);

// Which of its states the update dialog shows.
enum class UpdateView {
    kChecking,     // a check runs
    kCheckError,   // no check runs and no version is known
    kUpToDate,     // the latest version is the installed one (or older)
    kAvailable,    // a newer version with a download address and a checksum
    kManualOnly,   // a newer version that only the web page offers
};
UpdateView ClassifyUpdate(const updater::UpdateInfo& check);

}  // namespace ui
