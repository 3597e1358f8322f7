#include "core/files.h"

#include <windows.h>
#include <bcrypt.h>   // BCryptOpenAlgorithmProvider, BCryptHashData, BCryptGenRandom
#include <shellapi.h> // ShellExecuteW
#include <shlwapi.h>  // PathMatchSpecW

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

#include "core/handle.h"
#include "core/text.h"

// ---- Section index ----
// Paths for Windows file calls: NormalizePath, ExtendedPath
// Reading and writing: ReadWholeFile, ReadFileTail, WriteFileAtomic, MoveFileReplacing, CopyFileTo,
//   CopyFileAtomic
// File facts: PathExists, IsDirectory, FileSize, FileWriteTime, FileVersion, PeArchitecture
// Folders: ParentFolder, EnsureDirectory, RemoveTree, ListSubdirectories, ListFiles, IsDirectoryWritable
// System: ExePath, ExeDirectory, ComputerName, LastErrorText, RandomAlnum, Sha256File
// Shell: OpenInExplorer, OpenWithShell, OpenInEditor

namespace {

UniqueHandle OpenForReading(const std::wstring& path) {
    return UniqueHandle(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Reads up to `size` bytes at the current position; false on a read error.
bool ReadExactly(HANDLE file, std::string& out, size_t size) {
    out.resize(size);
    size_t got = 0;
    while (got < size) {
        DWORD chunk = DWORD(std::min<size_t>(size - got, 1u << 30));
        DWORD read = 0;
        if (!::ReadFile(file, out.data() + got, chunk, &read, nullptr)) return false;
        if (read == 0) break;
        got += read;
    }
    out.resize(got);
    return true;
}

bool IsDotOrDotDot(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// `folder` + "\\" + `name`, one separator between them even in the extended form, which folds none.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* name) {
    return folder + (!folder.empty() && folder.back() == L'\\' ? L"" : L"\\") + name;
}

// Calls `visit` for each entry of the folder but "." and "..".
void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW data;
    const FindHandle find(::FindFirstFileW(ExtendedPath(JoinPath(folder, L"*")).c_str(), &data));
    if (!find) return;
    do {
        if (!IsDotOrDotDot(data.cFileName)) visit(data);
    } while (::FindNextFileW(find.Get(), &data));
}

// Removes a folder's content; links and junctions are removed as entries, never entered. The
// folder comes in the extended form, so the names found are joined to it as they are: a name
// Windows would fold (a trailing period) still reaches its own entry.
void RemoveContents(const std::wstring& folder) {
    ForEachEntry(folder, [&folder](const WIN32_FIND_DATAW& data) {
        const std::wstring child = JoinPath(folder, data.cFileName);
        ::SetFileAttributesW(ExtendedPath(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isDir && !isLink) RemoveContents(child);
        // A directory junction or symbolic link: RemoveDirectoryW drops the link only.
        if (isDir)
            ::RemoveDirectoryW(ExtendedPath(child).c_str());
        else
            ::DeleteFileW(ExtendedPath(child).c_str());
    });
}

// The temporary sibling of an atomic write: removed on every path but the successful move.
class TempSibling {
public:
    explicit TempSibling(std::wstring path) : m_path(std::move(path)) {}
    ~TempSibling() {
        if (!m_path.empty()) ::DeleteFileW(ExtendedPath(m_path).c_str());
    }
    TempSibling(const TempSibling&) = delete;
    TempSibling& operator=(const TempSibling&) = delete;
    const std::wstring& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::wstring m_path;
};

// Sharing, lock and access violations: what a program holding the target gives a replacing move.
// Access denied also has lasting causes (a read-only target); those only cost the wait.
bool IsHeldByAnother(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

constexpr ULONGLONG kReplaceRetryMs = 1000;
constexpr DWORD kReplacePauseMs = 25;

// Must be called right after the failing call: "cannot write " + path + ": " + the reason.
bool FailWrite(std::string* error, const std::wstring& path, DWORD code) {
    // A short write sets no error code; LastErrorText(0) would read whatever is left.
    if (error) *error = "cannot write " + WideToUtf8(path) + ": " + LastErrorText(code ? code : ERROR_WRITE_FAULT, path);
    return false;
}

}  // namespace

// ---- Paths for Windows file calls ----

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The length of an absolute path's root: 3 for "C:\", up to the end of the share name for
// "\\server\share"; 0 for any other path. "\\?\" and "\\.\" paths already bypass the folding.
size_t AbsoluteRootLength(const std::wstring& path) {
    const auto isLetter = [](wchar_t c) { return (c | 0x20) >= L'a' && (c | 0x20) <= L'z'; };
    if (path.size() >= 3 && isLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return 3;
    if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
    if ((path[2] == L'?' || path[2] == L'.') && (path.size() == 3 || IsSeparator(path[3]))) return 0;
    const size_t server = path.find_first_of(L"\\/", 2);
    if (server == std::wstring::npos || server == 2) return 0;
    const size_t share = std::min(path.find_first_of(L"\\/", server + 1), path.size());
    return share == server + 1 ? 0 : share;
}

// A segment's own trim: a single period ends none; the last segment ends in no period or blank.
void TrimSegment(std::wstring& segment, bool last) {
    if (last) {
        while (!segment.empty() && (segment.back() == L'.' || segment.back() == L' ')) segment.pop_back();
    } else if (segment.size() >= 2 && segment.back() == L'.' && segment[segment.size() - 2] != L'.') {
        segment.pop_back();
    }
}

}  // namespace

std::wstring NormalizePath(const std::wstring& path) {
    const size_t rootLength = AbsoluteRootLength(path);
    if (rootLength == 0) return path;
    std::vector<std::wstring> segments;
    for (size_t at = rootLength; at < path.size();) {
        const size_t end = std::min(path.find_first_of(L"\\/", at), path.size());
        std::wstring segment = path.substr(at, end - at);
        if (segment == L"..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != L".") {
            segments.push_back(std::move(segment));
        }
        at = end + 1;
    }
    // A path ending in a separator keeps it, and its last segment keeps its blanks; a last segment
    // trimmed away leaves the separator before it, so folding the result again changes nothing.
    bool separatorLast = path.size() > rootLength && IsSeparator(path.back());
    for (size_t i = 0; i < segments.size(); ++i) TrimSegment(segments[i], i + 1 == segments.size() && !separatorLast);
    if (!segments.empty() && segments.back().empty()) {
        segments.pop_back();
        separatorLast = true;
    }
    std::wstring normal = path.substr(0, rootLength);
    std::replace(normal.begin(), normal.end(), L'/', L'\\');
    for (size_t i = 0; i < segments.size(); ++i) normal += (i == 0 && normal.back() == L'\\' ? L"" : L"\\") + segments[i];
    if (separatorLast && normal.back() != L'\\') normal += L'\\';
    return normal;
}

std::wstring ExtendedPath(const std::wstring& path) {
    std::wstring normal = NormalizePath(path);
    if (AbsoluteRootLength(normal) == 0) return normal;
    // Drive paths take the prefix as they are; "\\server\share" becomes "\\?\UNC\server\share".
    return normal[1] == L':' ? L"\\\\?\\" + normal : L"\\\\?\\UNC" + normal.substr(1);
}

// ---- Reading and writing ----

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    std::string data;
    if (!ReadWholeFile(path, data)) return std::nullopt;
    return data;
}

std::optional<std::string> ReadTextFile(const std::wstring& path) {
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    return TextFileToUtf8(*bytes);
}

bool ReadWholeFile(const std::wstring& path, std::string& out) {
    out.clear();
    UniqueHandle file = OpenForReading(path);
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) return false;
    if (!ReadExactly(file.Get(), out, size_t(size.QuadPart))) {
        out.clear();
        return false;
    }
    return true;
}

std::string ReadFileTail(const std::wstring& path, int64_t maximum) {
    UniqueHandle file = OpenForReading(path);
    if (!file || maximum <= 0) return {};
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) return {};
    const int64_t start = size.QuadPart > maximum ? size.QuadPart - maximum : 0;
    LARGE_INTEGER offset{};
    offset.QuadPart = start;
    if (!::SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN)) return {};
    std::string text;
    if (!ReadExactly(file.Get(), text, size_t(size.QuadPart - start))) return {};
    if (start > 0) {
        // The read began mid-file: drop the partial first line, unless there is no line break.
        size_t lf = text.find('\n');
        if (lf != std::string::npos) text.erase(0, lf + 1);
    }
    return text;
}

bool WriteAll(void* file, std::string_view data, std::string& reason) {
    for (size_t written = 0; written < data.size();) {
        const DWORD chunk = DWORD(std::min<size_t>(data.size() - written, 1u << 30));
        DWORD done = 0;
        if (!::WriteFile(file, data.data() + written, chunk, &done, nullptr)) {
            reason = LastErrorText(::GetLastError());
            return false;
        }
        // Reported done, yet nothing written and no error code to read: the disk is full.
        if (done == 0) {
            reason = LastErrorText(ERROR_DISK_FULL);
            return false;
        }
        written += done;
    }
    return true;
}

bool WriteFileAtomic(const std::wstring& path, std::string_view data, std::string* error) {
    const std::wstring parent = ParentFolder(path);
    // A missing parent shows in CreateFileW's error below.
    if (!parent.empty()) (void)EnsureDirectory(parent);
    TempSibling temp(path + L".zvtmp");
    {
        UniqueHandle file(::CreateFileW(ExtendedPath(temp.Path()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return FailWrite(error, path, ::GetLastError());
        std::string reason;
        if (!WriteAll(file.Get(), data, reason)) {
            if (error) *error = "cannot write " + WideToUtf8(path) + ": " + reason;
            return false;
        }
        // On disk before it replaces the target: otherwise a power cut can leave the rename
        // journaled but not the data, and the target empty.
        if (!::FlushFileBuffers(file.Get())) return FailWrite(error, path, ::GetLastError());
    }  // closed before the move: Windows refuses to move a file that is still open for writing
    if (!MoveFileReplacing(temp.Path(), path, error)) return false;
    temp.Keep();
    return true;
}

bool MoveFileReplacing(const std::wstring& source, const std::wstring& target, std::string* error,
                       const std::function<void()>& onBusy) {
    const ULONGLONG deadline = ::GetTickCount64() + kReplaceRetryMs;
    for (;;) {
        if (::MoveFileExW(ExtendedPath(source).c_str(), ExtendedPath(target).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD code = ::GetLastError();
        // A folder in the way gives "access denied", which would send the user after permissions
        // or another program; it is named for what it is, and never goes away by waiting.
        if (IsDirectory(target)) {
            if (error) *error = "cannot write " + WideToUtf8(target) + ": it is a folder";
            return false;
        }
        if (!IsHeldByAnother(code) || ::GetTickCount64() >= deadline) return FailWrite(error, target, code);
        if (onBusy) onBusy();
        ::Sleep(kReplacePauseMs);
    }
}

bool CopyFileTo(const std::wstring& source, const std::wstring& destination, bool overwrite) {
    const std::wstring parent = ParentFolder(destination);
    if (!parent.empty()) (void)EnsureDirectory(parent);  // a missing parent fails the copy itself
    return ::CopyFileW(ExtendedPath(source).c_str(), ExtendedPath(destination).c_str(), overwrite ? FALSE : TRUE) != FALSE;
}

bool CopyFileAtomic(const std::wstring& source, const std::wstring& destination, std::string* error) {
    std::string bytes;
    if (!ReadWholeFile(source, bytes)) {
        if (error) *error = "cannot read " + WideToUtf8(source);
        return false;
    }
    return WriteFileAtomic(destination, bytes, error);
}

// ---- File facts ----

bool PathExists(const std::wstring& path) {
    return ::GetFileAttributesW(ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

uint64_t FileWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

uint64_t FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(ExtendedPath(path).c_str(), &ignored);
    if (size == 0) return 0;
    std::string block(size, '\0');
    if (!::GetFileVersionInfoW(ExtendedPath(path).c_str(), 0, size, block.data())) return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    return (uint64_t(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

namespace {

uint32_t ReadLe(std::string_view bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
    return value;
}

// `header` is the 6 bytes at the PE offset: "PE\0\0" and the machine field.
int ArchOfPeHeader(std::string_view header) {
    if (header.size() < 6 || header.substr(0, 4) != std::string_view("PE\0\0", 4)) return 0;
    switch (ReadLe(header, 4, 2)) {
        case 0x14C: return 1;
        case 0x8664: return 2;
        case 0xAA64: return 3;
        default: return 0;
    }
}

}  // namespace

int PeArchitecture(const std::wstring& path) {
    UniqueHandle file = OpenForReading(path);
    if (!file) return 0;
    std::string head;
    if (!ReadExactly(file.Get(), head, 0x40) || head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return 0;
    // Read the header where the DOS stub says it is, without loading the whole executable.
    LARGE_INTEGER offset{};
    offset.QuadPart = ReadLe(head, 0x3C, 4);
    std::string header;
    if (!::SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN) || !ReadExactly(file.Get(), header, 6))
        return 0;
    return ArchOfPeHeader(header);
}

// ---- Folders ----

std::wstring ParentFolder(const std::wstring& path) {
    const size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

bool EnsureDirectory(const std::wstring& path) {
    if (path.empty()) return false;
    if (!IsDirectory(path)) {
        const std::wstring parent = ParentFolder(path);
        // Stop at a drive root ("C:") or a UNC share, which CreateDirectoryW cannot make. A parent
        // that cannot be made fails the CreateDirectoryW below.
        if (!parent.empty() && parent.back() != L':' && parent != path) (void)EnsureDirectory(parent);
        ::CreateDirectoryW(ExtendedPath(path).c_str(), nullptr);
    }
    return IsDirectory(path);
}

bool RemoveTree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ExtendedPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    const bool isDir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    ::SetFileAttributesW(ExtendedPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!isDir) {
        ::DeleteFileW(ExtendedPath(path).c_str());
    } else if (isLink) {
        ::RemoveDirectoryW(ExtendedPath(path).c_str());  // the link itself, never what it points to
    } else if (!::RemoveDirectoryW(ExtendedPath(path).c_str())) {
        RemoveContents(ExtendedPath(path));
        ::RemoveDirectoryW(ExtendedPath(path).c_str());
    }
    return !PathExists(path);
}

std::vector<std::string> ListSubdirectories(const std::wstring& folder) {
    std::vector<std::string> names;
    ForEachEntry(folder, [&names](const WIN32_FIND_DATAW& data) {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.push_back(WideToUtf8(data.cFileName));
    });
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return ToLower(a) < ToLower(b); });
    return names;
}

std::vector<std::string> ListFiles(const std::wstring& folder, const std::string& pattern) {
    std::vector<std::string> names;
    const std::wstring widePattern = Utf8ToWide(pattern);
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && ::PathMatchSpecW(data.cFileName, widePattern.c_str()))
            names.push_back(WideToUtf8(data.cFileName));
    });
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDirectoryWritable(const std::wstring& folder) {
    const auto probe = [&](const std::wstring& name) {
        UniqueHandle file(::CreateFileW(ExtendedPath(folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        const DWORD code = file ? ERROR_SUCCESS : ::GetLastError();
        return code;  // closing the file deletes it
    };
    const DWORD code = probe(L".zerva_write_test");
    // Another Zerva testing the same folder at this moment holds the probe without sharing: that
    // says nothing about this folder, so test again under a name of this process's own.
    if (code == ERROR_SHARING_VIOLATION)
        return probe(L".zerva_write_test." + std::to_wstring(::GetCurrentProcessId())) == ERROR_SUCCESS;
    return code == ERROR_SUCCESS;
}

// ---- System ----

std::wstring ExePath() {
    std::wstring buffer(260, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);  // truncated: long path, try a larger buffer
    }
}

std::string ExeDirectory() {
    const std::wstring path = ExePath();
    const std::wstring folder = ParentFolder(path);
    return WideToUtf8(folder.empty() ? path : folder);
}

std::string ComputerName() {
    wchar_t name[16] = {};
    DWORD size = 16;
    if (!::GetComputerNameW(name, &size)) return "localhost";
    return WideToUtf8(std::wstring_view(name, size));
}

namespace {

// Puts `insert` where the message has its first insert: "%1", with or without a format between
// exclamation marks ("%1!s!"); "%10" and above are other inserts.
std::wstring FillFirstInsert(std::wstring text, std::wstring_view insert) {
    for (size_t at = text.find(L"%1"); at != std::wstring::npos; at = text.find(L"%1", at)) {
        size_t end = at + 2;
        if (end < text.size() && text[end] >= L'0' && text[end] <= L'9') {
            at = end;
            continue;
        }
        if (end < text.size() && text[end] == L'!') {
            const size_t close = text.find(L'!', end + 1);
            if (close != std::wstring::npos) end = close + 1;
        }
        text.replace(at, end - at, insert);
        at += insert.size();
    }
    return text;
}

}  // namespace

std::string LastErrorText(uint32_t code, std::wstring_view insert) {
    if (code == 0) code = ::GetLastError();
    wchar_t* buffer = nullptr;
    // Inserts are left to FillFirstInsert: FormatMessageW would read values for them from an
    // argument list that no caller has.
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n && buffer) {
        std::wstring message(buffer, n);
        if (!insert.empty()) message = FillFirstInsert(std::move(message), insert);
        text = Trim(WideToUtf8(message));
    }
    if (buffer) ::LocalFree(buffer);
    if (text.empty()) text = Format("error %lu", static_cast<unsigned long>(code));
    return text;
}

namespace {
std::atomic<bool> g_failRandom{false};
}  // namespace

void FailRandomForTesting(bool fail) { g_failRandom = fail; }

std::string RandomAlnum(size_t length) {
    if (g_failRandom) return {};
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string bytes(length, '\0');
    // In pieces a ULONG can count; any failed piece fails the whole, so no unfilled (predictable)
    // byte is ever handed out.
    for (size_t done = 0; done < length;) {
        const ULONG piece = ULONG(std::min<size_t>(length - done, 1u << 30));
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data() + done), piece,
                                              BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return {};
        done += piece;
    }
    for (auto& c : bytes) c = kAlphabet[uint8_t(c) % 62];
    return bytes;
}

namespace {
void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
void DestroyHash(BCRYPT_HASH_HANDLE hash) { ::BCryptDestroyHash(hash); }
using BcryptAlgorithm = UniqueResource<BCRYPT_ALG_HANDLE, CloseAlgorithm>;
using BcryptHash = UniqueResource<BCRYPT_HASH_HANDLE, DestroyHash>;
}  // namespace

std::optional<std::string> Sha256File(const std::wstring& path) {
    UniqueHandle file = OpenForReading(path);
    if (!file) return std::nullopt;
    BcryptAlgorithm algorithm;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return std::nullopt;
    // Declared after the provider, so it is destroyed first, as BCrypt requires.
    BcryptHash hash;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.Get(), hash.Receive(), nullptr, 0, nullptr, 0, 0)))
        return std::nullopt;
    std::string buffer(1048576, '\0');
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), buffer.data(), DWORD(buffer.size()), &read, nullptr)) return std::nullopt;
        if (read == 0) break;
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(buffer.data()), read, 0)))
            return std::nullopt;
    }
    unsigned char digest[32];
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.Get(), digest, sizeof digest, 0))) return std::nullopt;
    std::string hex;
    for (unsigned char b : digest) hex += Format("%02x", b);
    return hex;
}

// ---- Shell ----

void OpenInExplorer(const std::wstring& folder) {
    (void)EnsureDirectory(folder);  // a folder that cannot be made shows as Explorer's own error
    ::ShellExecuteW(nullptr, L"explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenWithShell(const std::string& target) {
    ::ShellExecuteW(nullptr, L"open", Utf8ToWide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenInEditor(const std::string& editor, const std::wstring& file) {
    const std::wstring program = editor.empty() ? std::wstring(L"notepad.exe") : Utf8ToWide(editor);
    const std::wstring parameter = L"\"" + file + L"\"";
    HINSTANCE result = ::ShellExecuteW(nullptr, L"open", program.c_str(), parameter.c_str(), nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        ::ShellExecuteW(nullptr, L"open", L"notepad.exe", parameter.c_str(), nullptr, SW_SHOWNORMAL);
}
