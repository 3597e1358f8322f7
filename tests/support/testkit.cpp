#include "tests/support/testkit.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/probes.h"
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

// Best effort: a file still held by a child that outlived its test stays in the temporary folder.
ScratchDir::~ScratchDir() { (void)RemoveTree(m_path); }

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

std::wstring BinDir() { return Utf8ToWide(ExeDirectory()); }

std::wstring StandinPath(std::wstring_view fileName) { return BinDir() + L"\\" + std::wstring(fileName); }

std::wstring SourceDir() { return Utf8ToWide(ZERVA_SOURCE_DIR_WIN); }

namespace {
void CollectSources(const std::wstring& folder, std::vector<std::wstring>& out) {
    for (const char* pattern : {"*.cpp", "*.h"})
        for (const auto& name : ListFiles(folder, pattern)) out.push_back(folder + L"\\" + Utf8ToWide(name));
    for (const auto& sub : ListSubdirectories(folder)) CollectSources(folder + L"\\" + Utf8ToWide(sub), out);
}
}  // namespace

std::vector<std::wstring> SourceFiles(std::wstring_view folder) {
    std::vector<std::wstring> files;
    CollectSources(SourceDir() + L"\\" + std::wstring(folder), files);
    return files;
}

PortLease::PortLease() {
    constexpr unsigned kFirst = 20000, kCount = 10000;
    // Start where this process's id points, so parallel test programs rarely probe the same numbers.
    const unsigned start = (::GetCurrentProcessId() / 4 * 61) % kCount;
    for (unsigned i = 0; i < kCount; ++i) {
        const auto port = uint16_t(kFirst + (start + i) % kCount);
        UniqueHandle claim(::CreateMutexW(nullptr, FALSE, (L"zerva-test-port-" + std::to_wstring(port)).c_str()));
        if (!claim || ::GetLastError() == ERROR_ALREADY_EXISTS || !IsPortFree(port)) continue;
        m_claim = std::move(claim);
        m_port = port;
        return;
    }
    ADD_FAILURE() << "no free test port in " << kFirst << "-" << kFirst + kCount - 1;
}

}  // namespace testkit
