// The harness runs every test program under a Windows version chosen by its file name.
#include "support/fixtures.h"

#include <gtest/gtest.h>

TEST(TestEnvironment, PlatformFamilyFollowsProgramName) {
    const std::string version = testsupport::HarnessVersion();
    if (version.empty())
        GTEST_SKIP() << "program runs without a version setting";
    EXPECT_EQ(testsupport::PlatformId(),
              version.compare(0, 3, "win") == 0 && version != "win2k" ? 1u : 2u)
        << version;
}
