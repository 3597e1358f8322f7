// core/handle.h: owners of Windows kernel handles and of the Winsock/COM style resources that
// need one call to release. The only places CloseHandle is called.
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
    // Hands the handle over to a caller that takes ownership (e.g. a struct field another owner closes).
    HANDLE Release() { return std::exchange(m_h, nullptr); }

private:
    HANDLE m_h = nullptr;
};
