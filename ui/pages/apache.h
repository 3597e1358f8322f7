// ui/pages/apache.h: the Apache page: the current build's choice, the virtual hosts editor with the
// new-site box, and the Modules and Files tabs, all over one working copy of the build's
// httpd_zerva.conf that is written only by a save. GUI thread, inside a frame; the text helpers
// are pure and the jobs run on the server worker. Owns the page cache.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "stack/apache/builds.h"
#include "stack/apache/config.h"

// The page's state; lives for the whole process.
struct ApachePageCache {
    std::string buildName;                    // the loaded build's name; empty before the first load
    std::wstring templatePath;                // its httpd_zerva.conf
    ApacheConfig document;                    // the working copy
    uint64_t templateTime = 0;                // FileWriteTime of the template when loaded
    bool unsaved = false;                     // an edit since the last load or save
    int32_t selectedHost = 0;                 // index into document.vhosts; -1 without hosts
    std::string moduleFilter;                 // the Modules tab's filter
    int32_t selectedModule = -1;              // index into document.modules; kept across reloads
    std::string siteText;                     // the new-site field as typed
    int32_t mainPort = 80;                    // MainHttpPort when loaded
    std::vector<bool> hostHttps;              // per loaded host: HttpsHosts as httpd.exe reads the template
    int32_t portEdit = 80;                    // the "Main HTTP port" field, 1..65535
    std::vector<std::string> directiveTexts;  // per host: its other lines joined with "\n"
};

namespace ui {

ApachePageCache& ApacheCache();

// ---- Page (apache.cpp) ----
// Loads the build's template into the cache, dropping unsaved edits.
void LoadApachePageCache(const ApacheInstall& build);
// Writes the working copy to httpd_zerva.conf, reloads, toasts and restarts a running Apache;
// `afterSave` runs once it is saved. When the file changed on disk since it was loaded, asks
// first and returns false (the save then follows the answer). False, with an error toast and
// nothing written, when the template's blocks do not balance or a host field cannot be written
// as it stands (that host is selected); false too when the write failed. The edits and the
// unsaved mark stay.
bool SaveApacheConfig(std::function<void()> afterSave = {});
// Drops the edits: the cache loaded again from the cached build.
void DiscardApacheEdits();
// In place of an editing tab while the template's blocks do not balance: why the file must be
// mended by hand, with the line, and a button opening it in the editor. True when drawn.
bool TemplateFaultNotice();
// A bordered child area with padding all round (0 fills the rest, or with autoHeight the height
// follows the content); EndChild closes it.
void BeginPane(const char* id, float width, float height, bool autoHeight = false);

// ---- Virtual hosts tab (apache_hosts.cpp) ----
void TabVirtualHosts();
void VirtualHostEditor(VirtualHost& host, std::string& directiveText);
void DirectoryBlockEditor(DirectoryBlock& block, int index);
void QuickSiteBox();

// ---- Modules and Files tabs (apache_tabs.cpp) ----
void TabModules();
void TabFiles(const ApacheInstall& build);
// Writes php.ini (with a usable PHP build) and httpd.conf for the named build, then runs the
// configuration test and logs its output. Server worker; does nothing when the build is gone.
void TestApacheConfigJob(const std::string& buildName);

// ---- Text helpers (apache_text.cpp) ----
// True when a blank-separated word of the Options value is `word` or "+word" (ASCII case ignored).
bool HasOption(std::string_view options, std::string_view word);
// Switches the word in the Options value; "None" when nothing is left. Added as "+word" when
// other words are relative, since Apache refuses a value mixing both forms.
void SetOption(std::string& options, std::string_view word, bool on);
// The folder with '/' and the www folder at its start written as "{DOCUMENTPATH}".
std::string ToDocumentPath(std::string_view folder);
// Each directive text, split into trimmed non-empty lines, becomes its host's other lines.
void ApplyOtherDirectives(std::vector<VirtualHost>& hosts, const std::vector<std::string>& texts);
// The typed site text trimmed, lower-cased and reduced to a-z, 0-9, "-" and "_".
std::string SiteNameFromText(std::string_view text);
// The first page of a new site (LF line ends).
std::string SiteIndexPhp(std::string_view name);
// A port field's value brought into 1..65535.
int32_t ClampPort(int32_t port);

}  // namespace ui
