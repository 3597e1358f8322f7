// ui/ui.h: the entry points through which the shell drives the interface: set-up, one frame,
// the busy question of the frame loop, theme and DPI changes, quitting, the update dialog, and
// the tray icon's server count and tooltip. GUI thread only.
#pragma once
#include <string>

#include "ui/state.h"

struct ID3D11Device;

namespace ui {

// Stores the window, device and scale, applies the theme, makes the logo and scans the builds.
void Init(const UiInit& init);
// One frame: copies the other layers' snapshots, runs the interface's automatic actions, then
// draws. Between ImGui::NewFrame and ImGui::Render.
void Frame();
// True while something moves on screen or runs in the background, so the loop keeps drawing.
bool IsBusy();

// Asks for fonts, style and title bar to be rebuilt before the next frame.
void RequestThemeApply();
// Rebuilds them when asked (theme setting or DPI changed). Call before the backends' new frame.
void ApplyPendingTheme();
bool AnyBuildInstalled();

void SetPage(Page page);
// Shows the update dialog, starting a check when none has run.
void OpenUpdateDialog();
// After a self-update: a log line and a toast naming the new version.
void AnnounceUpdated(const std::string& previousVersion);
void RequestQuit();
bool ShouldQuit();
void SetDpiScale(float scale);
// Releases the logo; call before Direct3D is released.
void Shutdown();
// After a lost device was rebuilt: the logo belonged to the old device, so it is made again on
// the new one (or left out when that fails); the font atlas is made again before the next frame
// when the new device's texture limit differs.
void DeviceRebuilt(ID3D11Device* device);

// From a fresh server snapshot (the tray asks while no frame is drawn): 0, 1 or 2 servers running.
int RunningServerCount();
// "Zerva - Apache: running, MySQL: stopped", the states translated.
std::string TrayTooltip();

}  // namespace ui
