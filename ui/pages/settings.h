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
// when off. Registry failures are ignored.
void SetStartWithWindows(bool on);
// The Run key can be read and holds the value "Zerva".
bool StartsWithWindows();

// The language dropdown's item for a LANGUAGE value: 1 "fr", 2 "en", 0 anything else.
int LanguageIndex(std::string_view code);
// The host of a web address ("https://zerva.dev/file/ip.php" gives "zerva.dev"); "" without one.
std::string HostOfUrl(std::string_view url);

}  // namespace ui
