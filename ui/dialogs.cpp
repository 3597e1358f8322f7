#include "ui/dialogs.h"

#include "control/server.h"
#include "core/config.h"
#include "core/settings.h"
#include "ui/state.h"

namespace ui {

void AlertPopup() {}

// A close request quits at once when no server runs and the worker is idle; otherwise it asks
// (quitDialogOpen) or, when the question is switched off, stops the servers first and quits once
// they are down and no job waits.
void QuitDialog() {
    UiState& state = State();
    const ServerStatus& server = state.server;
    const bool anyRunning = server.apache.running || server.mysql.running;
    if (state.quitRequested) {
        state.quitRequested = false;
        if (!anyRunning && !server.busy) {
            state.quitNow = true;
        } else if (Config::Instance().GetBool(setting::kAskCloseServerWhenExit)) {
            state.quitDialogOpen = true;
        } else {
            Server::Instance().StopAll();
            state.stopping = true;
            return;  // this frame's snapshot predates the stop job
        }
    }
    if (state.stopping && !anyRunning && !server.busy && server.queued == 0) state.quitNow = true;
}

void UpdateDialog() {}

void DrawToasts() {}

}  // namespace ui
