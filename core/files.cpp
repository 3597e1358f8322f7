#include "core/files.h"

#include <windows.h>
#include <bcrypt.h>   // BCryptOpenAlgorithmProvider, BCryptHashData, BCryptGenRandom
#include <shellapi.h> // ShellExecuteW
#include <shlwapi.h>  // PathMatchSpecW

#include <algorithm>
#include <cstring>

#include "core/handle.h"
#include "core/text.h"

// ---- Section index ----
// Reading and writing: ReadWholeFile, ReadFileTail, WriteFileAtomic, CopyFileTo
// File facts: PathExists, IsDirectory, FileSize, FileWriteTime, FileVersion, PeArchitecture
// Folders: EnsureDirectory, RemoveTree, ListSubdirectories, ListFiles, IsDirectoryWritable
// System: ExePath, ExeDirectory, ComputerName, LastErrorText, RandomAlnum, Sha256File
// Shell: OpenInExplorer, OpenWithShell, OpenInEditor

namespace {

UniqueHandle OpenForReading(const std::wstring& path) {
    return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ,
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

std::wstring ParentOf(const std::wstring& path) {
    size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

bool IsDotOrDotDot(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// Removes a folder's content; links and junctions are removed as entries, never entered.
void RemoveContents(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDotOrDotDot(data.cFileName)) continue;
        const std::wstring child = folder + L"\\" + data.cFileName;
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isDir && !isLink) {
            RemoveContents(child);
            ::RemoveDirectoryW(child.c_str());
        } else if (isDir) {
            // A directory junction or symbolic link: RemoveDirectoryW drops the link only.
            ::RemoveDirectoryW(child.c_str());
        } else {
            ::DeleteFileW(child.c_str());
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

}  // namespace

// ---- Reading and writing ----

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    std::string data;
    if (!ReadWholeFile(path, data)) return std::nullopt;
    return data;
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

bool WriteFileAtomic(const std::wstring& path, std::string_view data) {
    const std::wstring parent = ParentOf(path);
    if (!parent.empty()) EnsureDirectory(parent);
    const std::wstring temp = path + L".zvtmp";
    {
        UniqueHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        bool ok = true;
        for (size_t written = 0; ok && written < data.size();) {
            const DWORD chunk = DWORD(std::min<size_t>(data.size() - written, 1u << 30));
            DWORD done = 0;
            ok = ::WriteFile(file.Get(), data.data() + written, chunk, &done, nullptr) && done != 0;
            written += done;
        }
        // On disk before it replaces the target: otherwise a power cut can leave the rename
        // journaled but not the data, and the target empty.
        if (!ok || !::FlushFileBuffers(file.Get())) {
            file.Reset();
            ::DeleteFileW(temp.c_str());  // never leave a half-written sibling behind
            return false;
        }
    }  // closed before the move: Windows refuses to move a file that is still open for writing
    if (!::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool CopyFileTo(const std::wstring& source, const std::wstring& destination, bool overwrite) {
    const std::wstring parent = ParentOf(destination);
    if (!parent.empty()) EnsureDirectory(parent);
    return ::CopyFileW(source.c_str(), destination.c_str(), overwrite ? FALSE : TRUE) != FALSE;
}

// ---- File facts ----

bool PathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

uint64_t FileWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

uint64_t FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return 0;
    std::string block(size, '\0');
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return 0;
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

bool EnsureDirectory(const std::wstring& path) {
    if (path.empty()) return false;
    if (!IsDirectory(path)) {
        const std::wstring parent = ParentOf(path);
        // Stop at a drive root ("C:") or a UNC share, which CreateDirectoryW cannot make.
        if (!parent.empty() && parent.back() != L':' && parent != path) EnsureDirectory(parent);
        ::CreateDirectoryW(path.c_str(), nullptr);
    }
    return IsDirectory(path);
}

bool RemoveTree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    const bool isDir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!isDir) {
        ::DeleteFileW(path.c_str());
    } else if (isLink) {
        ::RemoveDirectoryW(path.c_str());  // the link itself, never what it points to
    } else if (!::RemoveDirectoryW(path.c_str())) {
        RemoveContents(path);
        ::RemoveDirectoryW(path.c_str());
    }
    return !PathExists(path);
}

std::vector<std::string> ListSubdirectories(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDotOrDotDot(data.cFileName))
            names.push_back(WideToUtf8(data.cFileName));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return ToLower(a) < ToLower(b); });
    return names;
}

std::vector<std::string> ListFiles(const std::wstring& folder, const std::string& pattern) {
    std::vector<std::string> names;
    const std::wstring widePattern = Utf8ToWide(pattern);
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (::PathMatchSpecW(data.cFileName, widePattern.c_str())) names.push_back(WideToUtf8(data.cFileName));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDirectoryWritable(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\.zerva_write_test";
    UniqueHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return bool(file);  // closing it deletes it
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
    size_t at = path.find_last_of(L"\\/");
    return WideToUtf8(at == std::wstring::npos ? path : path.substr(0, at));
}

std::string ComputerName() {
    wchar_t name[16] = {};
    DWORD size = 16;
    if (!::GetComputerNameW(name, &size)) return "localhost";
    return WideToUtf8(std::wstring_view(name, size));
}

std::string LastErrorText(uint32_t code) {
    if (code == 0) code = ::GetLastError();
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n && buffer) text = Trim(WideToUtf8(std::wstring_view(buffer, n)));
    if (buffer) ::LocalFree(buffer);
    if (text.empty()) text = Format("error %lu", static_cast<unsigned long>(code));
    return text;
}

std::string RandomAlnum(size_t length) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string bytes(length, '\0');
    if (length == 0) return bytes;
    ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()), ULONG(length),
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    for (auto& c : bytes) c = kAlphabet[uint8_t(c) % 62];
    return bytes;
}

std::optional<std::string> Sha256File(const std::wstring& path) {
    UniqueHandle file = OpenForReading(path);
    if (!file) return std::nullopt;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return std::nullopt;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::optional<std::string> result;
    if (::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
        std::string buffer(1048576, '\0');
        bool ok = true;
        for (;;) {
            DWORD read = 0;
            if (!::ReadFile(file.Get(), buffer.data(), DWORD(buffer.size()), &read, nullptr)) {
                ok = false;
                break;
            }
            if (read == 0) break;
            if (::BCryptHashData(hash, reinterpret_cast<PUCHAR>(buffer.data()), read, 0) != 0) {
                ok = false;
                break;
            }
        }
        unsigned char digest[32];
        if (ok && ::BCryptFinishHash(hash, digest, sizeof digest, 0) == 0) {
            std::string hex;
            for (unsigned char b : digest) hex += Format("%02x", b);
            result = hex;
        }
        ::BCryptDestroyHash(hash);
    }
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return result;
}

// ---- Shell ----

void OpenInExplorer(const std::wstring& folder) {
    EnsureDirectory(folder);
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
