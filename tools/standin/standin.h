// tools/standin/standin.h: what the stand-in's steps share: the report channel, the arguments and
// small writers. Server and tool roles in files of their own use these and join the step table.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace standin {

using Args = std::vector<std::wstring>;

// Where "print", "env" and the other reports go; "out" points it at a file.
extern HANDLE g_out;
// Every argument after the program name, for "record".
extern Args g_all;

std::string ToUtf8(const std::wstring& text);
// Bytes straight to the handle: no buffering, no newline translation.
void WriteBytes(HANDLE target, const std::string& bytes);
// One line and CR LF to the report channel.
void Report(const std::string& line);
// Decimal, or hexadecimal with 0x.
unsigned long Number(const std::wstring& text);
// The whole file, readable while its writer still has it open; false when it cannot be opened.
bool ReadText(const std::wstring& path, std::string& text);
// Writes beside the target and moves it in, so a waiting test never reads half a file.
bool WriteWhole(const std::wstring& path, const std::string& bytes);

// Listens on a loopback or wildcard address ("127.0.0.1", "0.0.0.0", "::1") and port (0: any
// free one) until the program ends or CloseListeners; the bound port, or 0 after reporting
// "cannot listen: error <code>".
unsigned ListenTcp(const std::wstring& address, unsigned port);
// Closes every listener. Done before exit too: under Wine a process can be reported ended
// before its sockets are gone, and a waiter must find the ports free by then.
void CloseListeners();

}  // namespace standin
