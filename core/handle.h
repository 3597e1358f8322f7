// core/handle.h: UniqueHandle, the owner of one Windows kernel handle; the only place
// CloseHandle is called. Any thread; an owner is moved, never copied.
#pragma once
#include <windows.h>
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
    // CreateFile signals failure with INVALID_HANDLE_VALUE, most APIs with null; keep one "empty".
    void Reset(HANDLE h = nullptr) {
        if (m_h) ::CloseHandle(m_h);
        m_h = (h == INVALID_HANDLE_VALUE) ? nullptr : h;
    }

private:
    HANDLE m_h = nullptr;
};
