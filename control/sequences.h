// control/sequences.h: the stop sequences of Apache and the database server and what the start
// sequences (control/start.h) share: the port check, the port-served rule, the runtime-library
// copy and the polling wait. Server worker only (the stops also on Server::Shutdown's caller
// once the worker has ended); no state beyond the monitor's baselines they clear.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/server_status.h"
#include "core/probes.h"

struct DbInstall;

// ---- Stop sequences ----
// Named event, then (database) the admin tool, then termination. A server that survives all of
// it is logged as an error and alerted.
void DoStopApache();
void DoStopMySql();

// ---- Helpers ----
// True when the server may take the port; otherwise logs, alerts with `action`, returns false.
[[nodiscard]] bool CheckPortFree(int32_t port, const std::string& serverName, AlertAction action);
// Copies root\bin\vcruntime\<arch name>\*.dll into `dest` where missing or older there.
void CopyVcRuntime(const std::wstring& dest, int32_t arch);
// InitDataDir with the stored root password; when it initialized the folder (and may have made
// that password), phpMyAdmin's configuration follows, a failure there logged. False with the
// reason when the folder could not be initialized.
[[nodiscard]] bool InitDataFolder(const DbInstall& build, std::string& error);
// Polls every 250 ms until `predicate` holds or `timeoutMs` has passed (then one last call).
[[nodiscard]] bool WaitUntil(int32_t timeoutMs, const std::function<bool()>& predicate);

// Whether the listeners of `ports` belong to the starting server: each port's listener is one of
// the server's processes (`serverPids`, asked only when the table names an owner), or, where the
// listener table names no owner (Wine's never does), the port was among `freeBefore`, the ports
// free just before the spawn, and is listened on now.
[[nodiscard]] bool PortsServed(const std::vector<int32_t>& ports, const std::vector<int32_t>& freeBefore,
                               const std::function<std::vector<uint32_t>()>& serverPids);
// The ports among `ports` that are free now.
std::vector<int32_t> FreePorts(const std::vector<int32_t>& ports);

// Test seam: how the stop sequences end a process by force (KillPid when null).
void SetForcedEndForTest(bool (*kill)(uint32_t pid));
// Test seam: how long the stops wait for a server to end on its own, per request (0: the normal
// 10 s for Apache, 20 s for the database). The wait after a forced end stays as it is.
void SetStopWaitForTest(int32_t waitMs);

// ---- Pure pieces, exposed for their tests ----
// The rule of PortsServed for one port.
bool PortServed(std::optional<uint32_t> ownerPid, const std::vector<uint32_t>& serverPids, bool freeBefore,
                bool listeningNow);
// "name (PID n)", or the translated "another program"; the system process gets the HTTP service note.
std::string PortOwnerText(std::optional<uint32_t> ownerPid, const std::string& ownerName);
// The parent processes among `processes`: those whose parent is not one of them.
std::vector<uint32_t> ParentProcesses(const std::vector<ProcessInfo>& processes);
