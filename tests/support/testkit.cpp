#include "tests/support/testkit.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/text.h"

namespace testkit {

namespace {
std::atomic<unsigned> g_scratchCounter{0};
}

ScratchDir::ScratchDir() {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, n);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    // Process id, a per-process counter and random letters: unique across parallel test processes.
    m_path = base + L"\\zerva-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(g_scratchCounter++) + L"-" + Utf8ToWide(RandomAlnum(6));
    if (!EnsureDirectory(m_path)) ADD_FAILURE() << "cannot create scratch folder " << Utf8();
}

ScratchDir::~ScratchDir() { RemoveTree(m_path); }

std::wstring ScratchDir::operator/(std::wstring_view relative) const {
    std::wstring rel(relative);
    for (auto& c : rel)
        if (c == L'/') c = L'\\';
    return m_path + L"\\" + rel;
}

std::string ScratchDir::Utf8() const { return WideToUtf8(m_path); }

void WriteFile(const std::wstring& path, std::string_view bytes) {
    if (!WriteFileAtomic(path, bytes)) ADD_FAILURE() << "cannot write " << WideToUtf8(path);
}

std::string ReadFile(const std::wstring& path) {
    auto data = ReadWholeFile(path);
    return data ? *data : std::string("<missing>");
}

std::string PeHeader(uint16_t machine) {
    std::string bytes(0x46, '\0');
    bytes.replace(0, 2, "MZ");
    bytes[0x3C] = 0x40;
    bytes.replace(0x40, 2, "PE");
    bytes[0x44] = char(machine & 0xFF);
    bytes[0x45] = char(machine >> 8);
    return bytes;
}

bool WaitFor(const std::function<bool()>& condition, unsigned timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(10);
    }
}

std::wstring BinDir() { return Utf8ToWide(ExeDirectory()); }

std::wstring StandinPath(std::wstring_view fileName) { return BinDir() + L"\\" + std::wstring(fileName); }

uint16_t UnusedPort() {
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{AF_INET, 0, {}, {}};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::closesocket(s);
    return ntohs(address.sin_port);
}

std::wstring SourceDir() { return Utf8ToWide(ZERVA_SOURCE_DIR_WIN); }

}  // namespace testkit
