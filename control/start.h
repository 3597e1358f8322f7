// control/start.h: the start sequences of Apache and the database server: configuration
// regenerated from the templates, build and port checks, the hidden spawn, and the wait until
// the server listens. Server worker only; sets the monitor's baselines and log tails.
#pragma once
#include <string>

struct ApacheInstall;
struct DbInstall;
struct PhpInstall;

// True when the server runs afterwards. Failures are logged and alerted here.
[[nodiscard]] bool DoStartApache();
[[nodiscard]] bool DoStartMySql();

// A build whose program names no architecture (a text file, an empty or cut-off download) is no
// program at all. The translated notice that says so with the program's path, and names the build
// to reinstall by its product and version (its folder name when it has no version). Any thread:
// the pages show it too.
std::string NotAProgramText(const ApacheInstall& build);
std::string NotAProgramText(const PhpInstall& build);
std::string NotAProgramText(const DbInstall& build);
