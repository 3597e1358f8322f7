// tests/support/testkit.h: what every test program shares: scratch folders that clean up
// after themselves, small file helpers, executable headers, waiting on a condition, and the
// paths of the test stand-ins.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace testkit {

// A fresh, uniquely named folder under the temporary folder, removed with its content when the
// object goes away. Safe for tests running in parallel.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& Path() const { return m_path; }
    // Path + "\" + relative (forward slashes in `relative` are turned into backslashes).
    std::wstring operator/(std::wstring_view relative) const;
    std::string Utf8() const;

private:
    std::wstring m_path;
};

// Writes bytes, creating parent folders; fails the current test when it cannot.
void WriteFile(const std::wstring& path, std::string_view bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string ReadFile(const std::wstring& path);

// The smallest file PeArchitecture accepts: "MZ", the PE offset at 0x3C, "PE\0\0", the machine.
std::string PeHeader(uint16_t machine);
inline constexpr uint16_t kX86 = 0x14C;
inline constexpr uint16_t kArm64 = 0xAA64;

// Checks `condition` every few milliseconds until it holds (true) or `timeoutMs` passes (false):
// for states another thread or process reaches that give no event to wait on.
bool WaitFor(const std::function<bool()>& condition, unsigned timeoutMs = 30000);

// The folder of the running test program: the stand-ins are built beside it.
std::wstring BinDir();
// A stand-in program in BinDir, e.g. StandinPath(L"standin.exe").
std::wstring StandinPath(std::wstring_view fileName);
// A loopback port nobody listens on: bound once to learn a free number, then released.
uint16_t UnusedPort();
// The source tree, for tests that read the project's own sources.
std::wstring SourceDir();

}  // namespace testkit
