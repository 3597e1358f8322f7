// core/detached.h: starts the threads of the program: the short detached ones (update check and
// download, deletion of the previous executable, public-address lookup, catalog loads, output
// readers) and the joinable ones (the server worker, a run's output reader). Any thread. A thread
// the system cannot create is a returned failure, never an exception in the caller.
#pragma once
#include <functional>
#include <thread>

// Runs `work` on a new detached thread; false when no thread could be created.
[[nodiscard]] bool StartDetached(std::function<void()> work);
// Runs `work` on a new thread held by `thread` (which holds none yet); false when no thread could
// be created, and `thread` then holds none.
[[nodiscard]] bool StartJoinable(std::thread& thread, std::function<void()> work);

// Makes every later StartDetached and StartJoinable fail (true) or work again (false), so tests
// can reach the paths a refused thread takes.
void FailThreadStartsForTesting(bool fail);
