// app/cli.h: the command-line mode: one command per process (status, start, stop, restart,
// install-defaults, install, site, selftest, check-update, update), its lines on the console of
// the program that started Zerva (never a new console), then the closing notices and status.
// Main thread only; owns the console handle and the sequence of the last printed log entry.
#pragma once
#include <string>
#include <vector>

#include "control/catalog_parse.h"

namespace updater {
struct UpdateInfo;
}

// Runs the command named after "--cli" and returns the exit code: 0 success, 1 the command
// failed, 2 unknown command or component.
int CliMain(const std::vector<std::wstring>& args);
// Opens the console output: standard output, else the parent's console; never a new one.
// CliMain does it first; safe to call again.
void CliOpenConsole();
// Writes the UTF-8 line and CR LF in one write, a line break inside it written as CR LF too;
// nothing without a console.
void ConsoleWriteLine(const std::string& line);
// Prints the console-log entries not printed yet: level word, [source], text.
void CliPrintNotices();
// Prints the status block: root, the current builds with their running state, phpMyAdmin, url.
void CliStatus();

int CliInstallDefaults(const std::string& phpMajorMinor);
int CliInstall(const std::string& component, const std::string& version);
int CliSite(const std::string& name);
void CliCheckUpdate(updater::UpdateInfo& info);
int CliUpdate();
// Waits, about 60 s at most, for the catalog to load or fail; the entry in whatever state it has.
CatalogEntry CliWaitCatalog(const std::string& key);
// Waits until the installer is idle, printing its steps; true when no job failed.
bool CliWaitInstall();
// Waits until the server worker is idle, printing the log; then prints and removes every alert
// as a "NOTICE" line. True when none of them was an error.
bool CliWaitServers();
