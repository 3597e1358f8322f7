// stack/apache/include_files.h: the files an Include or IncludeOptional line names, found as
// Apache finds them: relative to the server root, wildcards in any part of the path, a folder
// read with its subfolders. Reads the file system; any thread.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// Whether a file name matches one part of an Include path as Apache's wildcards read it: '*' any
// run of characters, '?' one, "[...]" one of a set ("[!...]" or "[^...]" one outside it, "a-z" a
// range); a leading '.' only by a '.' of the pattern. Letters in any case, as Windows names files.
bool WildcardMatch(std::string_view pattern, std::string_view name);
// The files `path` names, a relative one from `serverRoot`, in the order Apache reads them: each
// wildcard part matched in name order, a folder's files and subfolders in name order (each
// subfolder read where its name stands). None when nothing matches: Include refuses that and
// IncludeOptional passes over it; either way nothing is read.
std::vector<std::wstring> IncludedPaths(const std::string& path, const std::string& serverRoot);
