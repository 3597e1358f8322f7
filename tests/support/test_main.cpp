// tests/support/test_main.cpp: the entry of every test program. It ends the process as soon as the
// tests have run: detached threads (output readers of children that still run, catalog loaders)
// may still be working, and returning from main would destroy static objects under them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    // Not ExitProcess: under Wine it ends the other threads with a signal, then runs the DLLs'
    // detach and the host's exit handlers, which take the host's loader lock. A thread in the
    // middle of its own end (the output reader of a child stopped just before, loading the host's
    // unwinder under that lock) can be ended there and never let go of it: the exit then waits until
    // the Wine server kills the process (status 137) after every test passed. TerminateProcess on
    // itself runs none of that.
    ::TerminateProcess(::GetCurrentProcess(), UINT(result));
    return result;
}
