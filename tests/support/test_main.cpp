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
    ::ExitProcess(UINT(result));
}
