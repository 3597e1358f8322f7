// ui/pages/php.h: the PHP page: the choice of the current build with its warnings, the configure
// flow of a build without php_zerva.ini, and the Extensions, Settings and Files tabs that edit
// that template (edits collected, then written in one step; Apache restarted when it runs).
// GUI thread, inside a frame; owns the page cache, which lives for the whole process.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stack/apache/builds.h"
#include "stack/php/builds.h"
#include "stack/php/extensions.h"

namespace ui {

// What the page read from the current build's template, and the edits not yet saved.
struct PhpPageCache {
    std::string buildName;                                     // the build loaded
    uint64_t templateTime = 0;                                 // php_zerva.ini's write time at load
    std::vector<PhpExtension> extensions;                      // at load
    std::map<std::string, bool> extensionEdits;                // only differences from the loaded state
    std::map<std::string, std::optional<std::string>> values;  // per settings row; none when absent
    std::map<std::string, std::string> settingEdits;           // only differences from the values
    std::string extensionFilter;
    int32_t selectedExtension = -1;                            // index into extensions
    int32_t templateChoice = 0;                                // shared by "Configure" and "Rebuild"
    bool initialExists = false;                                // php_initial.ini, at load
    // The configuration samples of templatesBuild, listed once per install refresh (a folder
    // listing has no place in every frame).
    std::vector<std::string> templates;
    std::string templatesBuild;
    int32_t templatesGeneration = -1;
};

PhpPageCache& PhpCache();
// The build's configuration samples from the cache, listed again after an install refresh.
const std::vector<std::string>& PhpPageTemplates(const PhpInstall& build);

void PagePhp();
// Loads the build's extensions and one value per settings row; drops every pending edit.
void LoadPhpPageCache(const PhpInstall& build);
// Loads the build again (when it still exists), shows the toast, restarts Apache when it runs.
void ReloadPhpPage(const PhpInstall& build, const std::string& toast);
// "on", "1", "true" or "yes", trimmed, in any case.
bool IniTruthy(std::string_view value);
void TabExtensions(const PhpInstall& build);
void TabSettings(const PhpInstall& build);
// The Files tab of a PHP build (the Apache page has its own).
void TabPhpFiles(const PhpInstall& build);

// ---- Rules behind the drawing ----
// Whether two builds' architectures differ; an unknown one (0: a program that is none) is no
// architecture to compare.
bool ArchitecturesDiffer(int32_t a, int32_t b);
// Why Apache cannot load a PHP build, the build's own faults first: its program is no Windows
// program, it has no Apache module (NTS), Apache's program is no Windows program, the two
// architectures differ. Usable otherwise, and without a current Apache build.
enum class PhpFit { Usable, NotAProgram, Nts, ApacheNotAProgram, OtherArchitecture };
PhpFit PhpFitWith(const PhpInstall& build, const std::optional<ApacheInstall>& apache);
// What the version lists add after a build's label: "  - " and "NTS", the translated "not a valid
// Windows program", or `incompatible` (translated by the caller) for another architecture.
std::string PhpFitMark(const PhpInstall& build, const std::optional<ApacheInstall>& apache, const char* incompatible);
// The entry of the version list: label, folder, and PhpFitMark with "incompatible with Apache".
std::string PhpVersionItem(const PhpInstall& build, const std::optional<ApacheInstall>& apache);
// The warning about the build Apache cannot load; "" when there is none.
std::string PhpBuildWarning(const PhpInstall& build, const std::optional<ApacheInstall>& apache);
// Stores a setting's new value as pending, or drops the pending edit when the value is what the
// file holds, or when the directive is absent and the value is empty (an emptied field).
void NotePhpSettingEdit(PhpPageCache& cache, const std::string& key, const std::string& value);
// Stores an extension's new state as pending, or drops the edit when it is the loaded state.
void NotePhpExtensionEdit(PhpPageCache& cache, const PhpExtension& extension, bool enable);
// The entries of an enum row's list and the one selected: a value outside the choices is added
// last, an empty value adds "(default)" (translated) first.
std::vector<std::string> PhpEnumItems(const char* choices, const std::string& value, int* selected);

}  // namespace ui
