// tests/support/testkit.h: what every test program shares: scratch folders that clean up
// after themselves, small file helpers, and the paths of the test stand-ins.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/handle.h"

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

// The folder of the running test program: the stand-ins are built beside it.
std::wstring BinDir();
// A stand-in program in BinDir, e.g. StandinPath(L"standin.exe").
std::wstring StandinPath(std::wstring_view fileName);
// The source tree, for tests that read the project's own sources.
std::wstring SourceDir();
// The .cpp and .h files under SourceDir() + "\\" + folder, sub-folders included; empty when
// the folder does not exist.
std::vector<std::wstring> SourceFiles(std::wstring_view folder);

// A loopback port that no other test takes while the lease lives. The numbers (20000-29999) lie
// below the ephemeral ranges of Windows and Linux, so no port-0 bind of a parallel test can land
// on one, and each number is claimed through a named object every test process sees. Use it where
// a test frees a port and then looks at it again: a port-0 number can be reused by anyone at once.
class PortLease {
public:
    PortLease();
    // 0 when no number of the range was free (the constructor then fails the test).
    uint16_t Port() const { return m_port; }

private:
    UniqueHandle m_claim;
    uint16_t m_port = 0;
};

}  // namespace testkit
