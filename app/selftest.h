// app/selftest.h: the command "selftest": the configuration edits of the program run end to end
// on the current Apache and PHP builds of the root folder, one PASS or FAIL line per check, the
// two templates left exactly as they were, save for a test host an interrupted earlier run left.
// Main thread (the server worker runs beside it).
#pragma once
#include <string>

// 0 when every check passed; 1 otherwise, also when no Apache or no PHP build is current.
int CliSelfTest();
// Prints "PASS  " + name, or "FAIL  " + name and counts the failure.
void CliPrintCheck(int& failures, bool ok, const std::string& name);
