// control/start.h: the start sequences of Apache and the database server: configuration
// regenerated from the templates, build and port checks, the hidden spawn, and the wait until
// the server listens. Server worker only; sets the monitor's baselines and log tails.
#pragma once

// True when the server runs afterwards. Failures are logged and alerted here.
[[nodiscard]] bool DoStartApache();
[[nodiscard]] bool DoStartMySql();
