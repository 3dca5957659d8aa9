// The platform version record: the version code table, the new-shell flag, and the process-wide
// record of the running program.
#include "setup/core/platform_version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/fixtures.h"

TEST(PlatformVersionTable, CodesAndNewShellForEveryRow) {
    using P = PlatformVersion;
    const struct {
        bool ok;
        DWORD id, major, minor;
        int code;
        bool newShell;
    } rows[] = {{false, 2, 5, 0, P::QueryFailed, false}, {true, 0, 3, 11, P::Win32s, false},
                {true, 1, 4, 0, P::Windows95, true},     {true, 1, 4, 10, P::Windows98, true},
                {true, 1, 4, 90, P::OtherWin9x, true},   {true, 2, 3, 51, P::WindowsNT351, false},
                {true, 2, 3, 50, P::OtherNT, false},     {true, 2, 4, 0, P::WindowsNT4, true},
                {true, 2, 5, 0, P::Windows2000, true},   {true, 2, 5, 1, P::OtherNT, true},
                {true, 3, 4, 0, P::OtherPlatform, false}};
    for (const auto& r : rows) {
        PlatformVersion v(r.ok, r.id, r.major, r.minor);
        SCOPED_TRACE(testing::Message() << r.id << " " << r.major << "." << r.minor);
        EXPECT_EQ(v.VersionCode(), r.code);
        EXPECT_EQ(v.NewShell(), r.newShell);
        EXPECT_EQ(v.PlatformId(), r.ok ? r.id : 0u);
    }
    // The process record follows the version the harness chose by the program's name.
    const std::string version = testsupport::HarnessVersion();
    if (version.empty())
        GTEST_SKIP() << "program runs without a version setting";
    const struct {
        const char* version;
        int code;
        DWORD id;
        bool newShell;
    } expected[] = {{"win95", P::Windows95, 1, true},
                    {"win98", P::Windows98, 1, true},
                    {"nt351", P::WindowsNT351, 2, false},
                    {"nt40", P::WindowsNT4, 2, true},
                    {"win2k", P::Windows2000, 2, true}};
    for (const auto& e : expected) {
        if (version != e.version)
            continue;
        std::printf("running as %s: code %d, platform %lu, new shell %d\n", e.version,
                    ThePlatformVersion().VersionCode(),
                    static_cast<unsigned long>(ThePlatformVersion().PlatformId()),
                    ThePlatformVersion().NewShell() ? 1 : 0);
        EXPECT_EQ(ThePlatformVersion().VersionCode(), e.code);
        EXPECT_EQ(ThePlatformVersion().PlatformId(), e.id);
        EXPECT_EQ(ThePlatformVersion().NewShell(), e.newShell);
    }
}
