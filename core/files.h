// core/files.h: file-system and system helpers: whole-file and tail reads, the atomic write that
// every generated file goes through, sorted listings, tree removal, hashes, executable facts,
// Windows error texts and the shell calls. Any thread. Paths are wide; names and contents UTF-8.
// Every Windows file call takes its path through ExtendedPath, so deep roots work past 260 characters.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- Paths for Windows file calls ----
// An absolute path (C:\... or \\server\share\...) folded as Windows folds it before a file call:
// "/" read as "\", doubled separators and "." segments dropped, ".." climbing (never above the
// drive or share), a period ending a segment and the periods and blanks ending the last one
// trimmed. Any other path (relative, C:x, \x, a device, one already extended) comes back as it is.
std::wstring NormalizePath(const std::wstring& path);
// NormalizePath's result in the extended form (\\?\C:\..., \\?\UNC\server\share\...), which file
// calls take beyond 260 characters and use as it stands; other paths as they are. For the calls
// only: paths shown, stored or written into files keep their plain form.
std::wstring ExtendedPath(const std::wstring& path);

// ---- Reading and writing ----
// The whole file as bytes; empty optional when it cannot be opened.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::wstring& path);
[[nodiscard]] bool ReadWholeFile(const std::wstring& path, std::string& out);
// A text file a user may save from any editor, as UTF-8 (TextFileToUtf8: a UTF-8 byte-order mark
// dropped, UTF-16 with its mark converted); empty optional when it cannot be opened.
[[nodiscard]] std::optional<std::string> ReadTextFile(const std::wstring& path);
// The last `maximum` bytes, starting at a whole line when the read did not start at byte 0.
std::string ReadFileTail(const std::wstring& path, int64_t maximum);
// Writes path + ".zvtmp" and moves it over the target: readers see the old or the new file,
// never a partial one. While another program briefly holds the target the move is retried
// (MoveFileReplacing). On failure the old file is intact, no temporary file remains and `error`
// gets "cannot write " + path + ": " + the system's reason, or "it is a folder" for a folder there.
[[nodiscard]] bool WriteFileAtomic(const std::wstring& path, std::string_view data, std::string* error = nullptr);
// Writes all of `data` at the position of `file` (a HANDLE open for writing). False with the
// reason: the system's text of the error, or, for a write the system reported done that wrote
// nothing (what a full disk does), the text of a full disk.
[[nodiscard]] bool WriteAll(void* file, std::string_view data, std::string& reason);
// Moves `source` over `target` in one step. Another program holding the target (an editor, a
// virus scanner) refuses the move for a moment: it is retried for about a second, with `onBusy`
// (when set) called after each refused attempt, then given up. `source` stays on failure.
// Error: "cannot write " + target + ": " + the system's reason, or "it is a folder" (not retried).
[[nodiscard]] bool MoveFileReplacing(const std::wstring& source, const std::wstring& target, std::string* error,
                                     const std::function<void()>& onBusy = {});
// Creates the destination's parent folders, then copies; fails when it exists and !overwrite.
[[nodiscard]] bool CopyFileTo(const std::wstring& source, const std::wstring& destination, bool overwrite);
// Copies a file through WriteFileAtomic: the destination is the old file or the whole copy, never
// a part, and replaces an existing one. For generated configuration files and their pristine
// copies. Errors: "cannot read " + source, or those of WriteFileAtomic.
[[nodiscard]] bool CopyFileAtomic(const std::wstring& source, const std::wstring& destination,
                                  std::string* error = nullptr);

// ---- File facts ----
bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
uint64_t FileSize(const std::wstring& path);        // 0 when missing
uint64_t FileWriteTime(const std::wstring& path);   // FILETIME ticks; 0 when missing
// The four 16-bit parts of the fixed file version, high to low; 0 without a version resource.
uint64_t FileVersion(const std::wstring& path);
// 1 x86, 2 x64, 3 arm64, 0 for anything else (not a PE file, unknown machine, unreadable).
int PeArchitecture(const std::wstring& path);

// ---- Folders ----
// The folder part of a path (up to the last "\\" or "/"); empty when there is none.
std::wstring ParentFolder(const std::wstring& path);
[[nodiscard]] bool EnsureDirectory(const std::wstring& path);
// Removes a file or a whole folder. Links and junctions inside are removed themselves, never
// followed, so nothing outside the tree is touched. True when nothing is left at the path.
[[nodiscard]] bool RemoveTree(const std::wstring& path);
// Folder names sorted ASCII case-insensitively; empty on any error.
std::vector<std::string> ListSubdirectories(const std::wstring& folder);
// Regular files matching a wildcard pattern (PathMatchSpecW rules), sorted byte-wise.
std::vector<std::string> ListFiles(const std::wstring& folder, const std::string& pattern);
bool IsDirectoryWritable(const std::wstring& folder);

// ---- System ----
// The running executable's full path; empty when the system cannot say.
std::wstring ExePath();
std::string ExeDirectory();
std::string ComputerName();
// The system's message for a Windows error code (0: the calling thread's last error),
// or "error <code>" when it has none. Some messages name the file they are about by an insert
// ("%1 is not a valid Win32 application."): `insert`, the path the failing call was given, takes
// its place; without one the text keeps the insert as the system wrote it.
std::string LastErrorText(uint32_t code = 0, std::wstring_view insert = {});
// `length` letters and digits from the system's secure generator. Empty when the generator
// fails, never a predictable text: for a non-zero length, an empty result is the failure.
[[nodiscard]] std::string RandomAlnum(size_t length);
// Makes every later RandomAlnum fail (true) or work again (false), so tests reach its callers'
// failure paths.
void FailRandomForTesting(bool fail);
// 64 lower-case hex digits; empty when the file cannot be read or hashing fails.
[[nodiscard]] std::optional<std::string> Sha256File(const std::wstring& path);

// ---- Shell ----
void OpenInExplorer(const std::wstring& folder);
void OpenWithShell(const std::string& target);
// Opens `file` in `editor` ("notepad.exe" when empty), falling back to Notepad on failure.
void OpenInEditor(const std::string& editor, const std::wstring& file);
