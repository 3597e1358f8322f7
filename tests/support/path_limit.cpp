#include "tests/support/path_limit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <iterator>

namespace testkit {

namespace {

// What Windows answers a plain path at or past the limit.
bool Refused(LPCWSTR path, size_t limit) {
    if (!path || std::wcsncmp(path, L"\\\\?\\", 4) == 0 || std::wcslen(path) < limit) return false;
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return true;
}
template <typename T>
bool Refused(T, size_t) { return false; }   // not a path

struct Hook {
    const char* name;
    void* limited;
    void** original;
};

// The stand-in for one imported call (`Id` tells calls of one signature apart): every wide string
// these calls take is a path, and one at or past `Limit` fails the call with `Failure` (0 or -1).
template <int Id, typename F, int Failure, size_t Limit = MAX_PATH>
struct Limited;
template <int Id, typename R, typename... A, int Failure, size_t Limit>
struct Limited<Id, R(WINAPI*)(A...), Failure, Limit> {
    static inline void* original = nullptr;
    static R WINAPI Call(A... args) {
        if ((Refused(args, Limit) || ...)) return R(LONG_PTR(Failure));
        return reinterpret_cast<R(WINAPI*)(A...)>(original)(args...);
    }
    static Hook For(const char* name) { return {name, reinterpret_cast<void*>(&Call), &original}; }
};

const Hook kHooks[] = {
    Limited<0, decltype(&::CreateFileW), -1>::For("CreateFileW"),
    Limited<1, decltype(&::CreateDirectoryW), 0, MAX_PATH - 12>::For("CreateDirectoryW"),   // room for an 8.3 name
    Limited<2, decltype(&::RemoveDirectoryW), 0>::For("RemoveDirectoryW"),
    Limited<3, decltype(&::DeleteFileW), 0>::For("DeleteFileW"),
    Limited<4, decltype(&::MoveFileExW), 0>::For("MoveFileExW"),
    Limited<5, decltype(&::CopyFileW), 0>::For("CopyFileW"),
    Limited<6, decltype(&::GetFileAttributesW), -1>::For("GetFileAttributesW"),
    Limited<7, decltype(&::GetFileAttributesExW), 0>::For("GetFileAttributesExW"),
    Limited<8, decltype(&::SetFileAttributesW), 0>::For("SetFileAttributesW"),
    Limited<9, decltype(&::FindFirstFileW), -1>::For("FindFirstFileW"),
    Limited<10, decltype(&::GetFileVersionInfoSizeW), 0>::For("GetFileVersionInfoSizeW"),
    Limited<11, decltype(&::GetFileVersionInfoW), 0>::For("GetFileVersionInfoW"),
};

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
                DWORD old = 0;
                ::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
                *slot = install ? hook.limited : *hook.original;
                ::VirtualProtect(slot, sizeof(void*), old, &old);
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
