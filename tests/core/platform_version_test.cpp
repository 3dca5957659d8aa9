// The platform version record: the version code table, the new-shell flag, and the process-wide
// record of the running program.
#include "setup/core/platform_version.h"

#include <gtest/gtest.h>

#include <string>

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
    char buf[MAX_PATH];
    const std::string name(buf, GetModuleFileNameA(nullptr, buf, MAX_PATH));
    const bool win98 = name.find("-win98.exe") != std::string::npos;
    if (!win98 && name.find("-win2k.exe") == std::string::npos)
        GTEST_SKIP() << "program runs without a version setting";
    EXPECT_EQ(ThePlatformVersion().VersionCode(), win98 ? P::Windows98 : P::Windows2000);
    EXPECT_EQ(ThePlatformVersion().PlatformId(), win98 ? 1u : 2u);
    EXPECT_TRUE(ThePlatformVersion().NewShell());
}
