// ui/pages/settings.h: the Settings page: every setting of zerva.ini edited in place (each control
// stores its value at once), "Start Zerva with Windows" in the user's Run key, the stored root
// password, and the About card. GUI thread.
#pragma once
#include <string>
#include <string_view>

struct SettingKey;

namespace ui {

// A checkbox on a boolean setting, read every frame; a click stores "1" or "0" at once. With a
// help text, a help marker follows it.
void SettingCheckbox(const SettingKey& key, const char* label, const char* help = nullptr);

// The value "Zerva" of the user's Run key: the running executable's quoted path when on, deleted
// when off. On also clears the flag by which Task Manager's start-up list disables the value.
// Registry failures are ignored.
void SetStartWithWindows(bool on);
// The Run key can be read and holds the value "Zerva", and Task Manager's start-up list does not
// disable it (Windows would not start it then).
bool StartsWithWindows();
// Whether the flag Task Manager keeps for a Run value under Explorer\StartupApproved\Run disables
// it. The flag is binary: a first byte that is even (2, 6) when enabled and odd (3) when disabled,
// then the time it was disabled. An empty flag disables nothing.
bool StartupApprovedDisables(std::string_view flag);
// Test seam: the name of the Run value and of its flag ("Zerva" when empty).
void SetRunValueNameForTests(const std::wstring& name);

// The language dropdown's item for a LANGUAGE value: 1 "fr", 2 "en", 0 anything else.
int LanguageIndex(std::string_view code);
// The host of a web address ("https://zerva.dev/file/ip.php" gives "zerva.dev"); "" without one.
std::string HostOfUrl(std::string_view url);

}  // namespace ui
