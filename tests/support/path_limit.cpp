#include "tests/support/path_limit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <iterator>

namespace testkit {

namespace {

// What Windows answers a plain path at or past the limit.
bool Refused(const wchar_t* path, size_t limit = MAX_PATH) {
    if (!path || std::wcsncmp(path, L"\\\\?\\", 4) == 0 || std::wcslen(path) < limit) return false;
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return true;
}

// Each limited call: the original from the import table, and a stand-in that checks the paths first.
decltype(&::CreateFileW) g_createFile;
HANDLE WINAPI LimitedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                DWORD flags, HANDLE templateFile) {
    return Refused(path) ? INVALID_HANDLE_VALUE : g_createFile(path, access, share, security, disposition, flags, templateFile);
}
decltype(&::CreateDirectoryW) g_createDirectory;
BOOL WINAPI LimitedCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    return Refused(path, MAX_PATH - 12) ? FALSE : g_createDirectory(path, security);   // room for an 8.3 name
}
decltype(&::RemoveDirectoryW) g_removeDirectory;
BOOL WINAPI LimitedRemoveDirectory(LPCWSTR path) { return Refused(path) ? FALSE : g_removeDirectory(path); }
decltype(&::DeleteFileW) g_deleteFile;
BOOL WINAPI LimitedDeleteFile(LPCWSTR path) { return Refused(path) ? FALSE : g_deleteFile(path); }
decltype(&::MoveFileExW) g_moveFile;
BOOL WINAPI LimitedMoveFile(LPCWSTR from, LPCWSTR to, DWORD flags) {
    return Refused(from) || Refused(to) ? FALSE : g_moveFile(from, to, flags);
}
decltype(&::CopyFileW) g_copyFile;
BOOL WINAPI LimitedCopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    return Refused(from) || Refused(to) ? FALSE : g_copyFile(from, to, failIfExists);
}
decltype(&::GetFileAttributesW) g_attributes;
DWORD WINAPI LimitedAttributes(LPCWSTR path) { return Refused(path) ? INVALID_FILE_ATTRIBUTES : g_attributes(path); }
decltype(&::GetFileAttributesExW) g_attributesEx;
BOOL WINAPI LimitedAttributesEx(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data) {
    return Refused(path) ? FALSE : g_attributesEx(path, level, data);
}
decltype(&::SetFileAttributesW) g_setAttributes;
BOOL WINAPI LimitedSetAttributes(LPCWSTR path, DWORD attributes) {
    return Refused(path) ? FALSE : g_setAttributes(path, attributes);
}
decltype(&::FindFirstFileW) g_findFirst;
HANDLE WINAPI LimitedFindFirst(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    return Refused(pattern) ? INVALID_HANDLE_VALUE : g_findFirst(pattern, data);
}
decltype(&::GetFileVersionInfoSizeW) g_versionSize;
DWORD WINAPI LimitedVersionSize(LPCWSTR path, LPDWORD handle) { return Refused(path) ? 0 : g_versionSize(path, handle); }
decltype(&::GetFileVersionInfoW) g_version;
BOOL WINAPI LimitedVersion(LPCWSTR path, DWORD handle, DWORD size, LPVOID data) {
    return Refused(path) ? FALSE : g_version(path, handle, size, data);
}

struct Hook {
    const char* name;
    void* limited;
    void** original;
};

template <typename F>
Hook MakeHook(const char* name, F limited, F* original) {
    return {name, reinterpret_cast<void*>(limited), reinterpret_cast<void**>(original)};
}

const Hook kHooks[] = {
    MakeHook("CreateFileW", &LimitedCreateFile, &g_createFile),
    MakeHook("CreateDirectoryW", &LimitedCreateDirectory, &g_createDirectory),
    MakeHook("RemoveDirectoryW", &LimitedRemoveDirectory, &g_removeDirectory),
    MakeHook("DeleteFileW", &LimitedDeleteFile, &g_deleteFile),
    MakeHook("MoveFileExW", &LimitedMoveFile, &g_moveFile),
    MakeHook("CopyFileW", &LimitedCopyFile, &g_copyFile),
    MakeHook("GetFileAttributesW", &LimitedAttributes, &g_attributes),
    MakeHook("GetFileAttributesExW", &LimitedAttributesEx, &g_attributesEx),
    MakeHook("SetFileAttributesW", &LimitedSetAttributes, &g_setAttributes),
    MakeHook("FindFirstFileW", &LimitedFindFirst, &g_findFirst),
    MakeHook("GetFileVersionInfoSizeW", &LimitedVersionSize, &g_versionSize),
    MakeHook("GetFileVersionInfoW", &LimitedVersion, &g_version),
};

void WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    ::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    ::VirtualProtect(slot, sizeof(void*), old, &old);
}

// Walks the import table of the test program: `install` points each hooked slot at its stand-in
// and keeps the original; otherwise the original goes back. Returns how many slots it changed.
int Patch(bool install) {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int changed = 0;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name; ++dll) {
        const DWORD lookup = dll->OriginalFirstThunk ? dll->OriginalFirstThunk : dll->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + lookup);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            for (const Hook& hook : kHooks) {
                if (std::strcmp(name, hook.name) != 0) continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                if (install) *hook.original = *slot;
                WriteSlot(slot, install ? hook.limited : *hook.original);
                ++changed;
            }
        }
    }
    return changed;
}

}  // namespace

ShortPathLimit::ShortPathLimit() {
    // Every hooked call is imported by every test program (Zerva's file layer is linked in).
    EXPECT_EQ(Patch(true), int(std::size(kHooks))) << "a file call is missing from the import table";
}

ShortPathLimit::~ShortPathLimit() { (void)Patch(false); }

}  // namespace testkit
