// core/handle.h: UniqueHandle, the owner of one Windows kernel handle, and UniqueResource, the
// same shape for handles with a release call of their own (find handles, environment blocks,
// BCrypt handles); the only places those calls are made. Any thread; moved, never copied.
#pragma once
#include <windows.h>
#include <type_traits>
#include <utility>

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) { Reset(h); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(std::exchange(other.m_h, nullptr));
        return *this;
    }
    ~UniqueHandle() { Reset(); }
    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    // Gives the handle up unclosed, to an owner of another shape that takes it over.
    HANDLE Release() { return std::exchange(m_h, nullptr); }
    // CreateFile signals failure with INVALID_HANDLE_VALUE, most APIs with null; keep one "empty".
    void Reset(HANDLE h = nullptr) {
        if (m_h) ::CloseHandle(m_h);
        m_h = (h == INVALID_HANDLE_VALUE) ? nullptr : h;
    }

private:
    HANDLE m_h = nullptr;
};

// Owns a value released by `Release`. A HANDLE of INVALID_HANDLE_VALUE (FindFirstFileW's failure)
// counts as empty, like null.
template <typename T, void (*Release)(T)>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) { Reset(value); }
    UniqueResource(UniqueResource&& other) noexcept : m_value(std::exchange(other.m_value, T{})) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        Reset(std::exchange(other.m_value, T{}));
        return *this;
    }
    ~UniqueResource() { Reset(); }
    T Get() const { return m_value; }
    explicit operator bool() const { return m_value != T{}; }
    // For APIs that hand the value out through a pointer; releases the current one first.
    T* Receive() {
        Reset();
        return &m_value;
    }
    void Reset(T value = T{}) {
        if (m_value != T{}) Release(m_value);
        if constexpr (std::is_same_v<T, HANDLE>)
            if (value == INVALID_HANDLE_VALUE) value = T{};
        m_value = value;
    }

private:
    T m_value{};
};

namespace handle_release {
inline void FindClose(HANDLE find) { ::FindClose(find); }
inline void FreeEnvironmentBlock(wchar_t* block) { ::FreeEnvironmentStringsW(block); }
}  // namespace handle_release

// A FindFirstFileW search.
using FindHandle = UniqueResource<HANDLE, handle_release::FindClose>;
// The block of GetEnvironmentStringsW.
using EnvironmentStrings = UniqueResource<wchar_t*, handle_release::FreeEnvironmentBlock>;
