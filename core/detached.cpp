#include "core/detached.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace {
std::atomic<bool> g_failStarts{false};
}

bool StartDetached(std::function<void()> work) {
    if (g_failStarts) return false;
    try {
        std::thread(std::move(work)).detach();
        return true;
    } catch (const std::system_error&) {
        // std::thread reports a refused creation (out of resources) only this way.
        return false;
    }
}

bool StartJoinable(std::thread& thread, std::function<void()> work) {
    if (g_failStarts) return false;
    try {
        thread = std::thread(std::move(work));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void FailThreadStartsForTesting(bool fail) { g_failStarts = fail; }
