// core/layout.h: the root folder and its standard sub-folders, the first-run layout, the
// built-in configuration templates and their override folder. The root and cache folders are
// set once at start-up before any other thread exists, and only read afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// True when the UTF-8 path lies under the root folder (case-insensitive, either slash), as given
// or as the system resolves it (IsInsideFolder). An empty root holds every path.
bool IsInsideRoot(const std::string& path);
// True when the UTF-8 path lies under `folder` as given or under the folder's final path: the
// system names process images by their resolved path (a subst or mapped drive's real drive or
// share, a junction's target), while folders are given as the user reached them. The final path
// is asked once per folder; one that cannot be had (an offline share, a folder not made yet) is
// asked again no sooner than a minute later. Any thread.
bool IsInsideFolder(const std::string& path, const std::wstring& folder);
// The folder or file `path` as the system resolves it, in the plain form ("C:\real\folder",
// "\\host\share\folder"), or `path` as given when it cannot be resolved: what a process of
// another logon session (an elevated copy, without the user's subst and mapped drives) can
// reach. Asked and kept as IsInsideFolder asks. Any thread.
std::wstring ResolvedPath(const std::wstring& path);

// ---- Pure pieces, exposed for their tests ----
// A final path in its plain form: without the "\\?\" prefix ("\\?\UNC\host\share" is
// "\\host\share"); any other path as it is.
std::string PlainPath(std::string_view path);
// The form paths are compared in: the plain form, '/' separators, ASCII lower case.
std::string PathKey(std::string_view path);
// Whether `path` lies under one of `folders` (the folder itself does not); empty folders are skipped.
bool IsPathUnder(std::string_view path, const std::vector<std::string>& folders);

// ---- The system's answer, and its test seams ----
// The final path of a folder or file ("\\?\C:\real\folder", "\\?\UNC\host\share\folder"),
// asked of the system each call; empty when it cannot be opened.
std::string FinalPathOf(const std::wstring& path);
// Stand in for FinalPathOf and for the millisecond clock that times a retry (null restores them);
// either way every path learnt so far is forgotten.
using FinalPathCall = std::string (*)(const std::wstring& path);
using TickCall = uint64_t (*)();
void SetPathResolutionForTests(FinalPathCall finalPath, TickCall now);

// The built-in texts, LF line ends (core/templates.cpp).
extern const char* const kBuiltinApacheTemplate;
extern const char* const kBuiltinMyTemplate;
extern const char* const kBuiltinPhpMyAdminTemplate;
extern const char* const kDefaultHomePage;
