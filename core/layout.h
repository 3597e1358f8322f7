// core/layout.h: the root folder and its standard sub-folders, the first-run layout, the
// built-in configuration templates and their override folder. The root and cache folders are
// set once at start-up before any other thread exists, and only read afterwards.
#pragma once
#include <string>

void SetRootDir(const std::wstring& path);
void SetCacheDir(const std::wstring& path);
const std::wstring& RootDir();
bool HasCacheDir();

std::wstring BinDir();        // root\bin
std::wstring ApacheDir();     // root\bin\apache
std::wstring PhpDir();        // root\bin\php
std::wstring DatabaseDir();   // root\bin\database
std::wstring WwwDir();        // root\www
std::wstring PhpAppsDir();    // root\phpapps
std::wstring TempDir();       // root\temp
std::wstring SessionsDir();   // root\temp\sessions
std::wstring DownloadsDir();  // the cache folder when set, else root\temp\downloads

// Creates the folders and the first-run pages; never overwrites an existing file.
void EnsureLayout();
// root\templates\<name> when it can be read (even empty), else the built-in text.
std::string LoadTemplate(const std::wstring& name, const char* builtin);
std::string ApacheTemplate();       // "httpd_zerva.conf"
std::string MyTemplate();           // "my_zerva.ini"
std::string PhpMyAdminTemplate();   // "config.inc.php"
// True when the UTF-8 path lies under the root folder (case-insensitive, either slash).
bool IsInsideRoot(const std::string& path);

// The built-in texts, LF line ends (core/templates.cpp).
extern const char* const kBuiltinApacheTemplate;
extern const char* const kBuiltinMyTemplate;
extern const char* const kBuiltinPhpMyAdminTemplate;
extern const char* const kDefaultHomePage;
