// The harness runs every test program under a Windows version chosen by its file name.
#include "support/fixtures.h"

#include <gtest/gtest.h>

TEST(TestEnvironment, PlatformFamilyFollowsProgramName) {
    char buf[MAX_PATH];
    std::string name(buf, GetModuleFileNameA(nullptr, buf, MAX_PATH));
    if (name.find("-win98.exe") != std::string::npos ||
        name.find("-win95.exe") != std::string::npos)
        EXPECT_EQ(testsupport::PlatformId(), 1u);
    else if (name.find("-win2k.exe") != std::string::npos || name.find("-nt") != std::string::npos)
        EXPECT_EQ(testsupport::PlatformId(), 2u);
    else
        GTEST_SKIP() << "program runs without a version setting";
}
