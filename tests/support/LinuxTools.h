#pragma once
// Tests that need a Linux program which tools/setup.sh installs (strace, the
// disc authoring tools, libcdio's readers). On Linux its absence fails the
// test, since every machine that runs the tests has it; a Windows build
// under Wine cannot start a Linux program, and skips the test.

#include <gtest/gtest.h>

#ifdef _WIN32
#define QORLU_NEED_LINUX_TOOL(have, what)                                                                              \
    GTEST_SKIP() << (what) << ": a Linux program, which a Windows build cannot start"
#else
#define QORLU_NEED_LINUX_TOOL(have, what)                                                                              \
    if (!(have)) FAIL() << (what) << " is not installed; tools/setup.sh installs it"
#endif
