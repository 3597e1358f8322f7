// core/detached.h: starts the short detached threads of the program (update check and download,
// deletion of the previous executable, public-address lookup, catalog loads). Any thread. A
// thread the system cannot create is a returned failure, never an exception in the caller.
#pragma once
#include <functional>

// Runs `work` on a new detached thread; false when no thread could be created.
[[nodiscard]] bool StartDetached(std::function<void()> work);

// Makes every later StartDetached fail (true) or work again (false), so tests can reach the
// paths a refused thread takes.
void FailThreadStartsForTesting(bool fail);
