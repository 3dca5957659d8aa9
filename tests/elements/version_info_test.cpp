// Version information of files: the readers over the versioned test DLLs, and the comparison of
// version texts.
#include "setup/elements/version_info.h"

#include <gtest/gtest.h>

#include "material/material.h"

namespace {

std::string Versioned(const char* name) {
    return material::File("versioned", name);
}

} // namespace

TEST(CompareVersionTexts, FieldsCompareAsNumbersAndOnlyTheFirstFourCount) {
    EXPECT_EQ(CompareVersionTexts("5.0.2", "5.0.10"), -1);
    EXPECT_EQ(CompareVersionTexts("5.0.10", "5.0.2"), 1);
    EXPECT_EQ(CompareVersionTexts("1.2.3.4.9", "1.2.3.4.1"), 0);
    EXPECT_EQ(CompareVersionTexts("1.2", "1.2.0.0"), 0) << "missing fields count as 0";
    EXPECT_EQ(CompareVersionTexts("1.0.0.1", "1.0.0"), 1);
}

TEST(CompareVersionTexts, EmptyTexts) {
    EXPECT_EQ(CompareVersionTexts("", ""), 0);
    EXPECT_EQ(CompareVersionTexts("1.0", ""), 1);
    EXPECT_EQ(CompareVersionTexts("", "0"), -1) << "an empty text is lower than any other";
}

TEST(CompareVersionTexts, CommasSeparateFieldsAsDotsDo) {
    EXPECT_EQ(CompareVersionTexts("40, 0, 0, 2", "40, 0, 0, 1"), 1);
    EXPECT_EQ(CompareVersionTexts("40, 0, 0, 1", "40, 0, 0, 2"), -1);
    EXPECT_EQ(CompareVersionTexts("5, 0, 0, 1", "5.0.0.1"), 0);
    EXPECT_EQ(CompareVersionTexts("5.0.0.1 (release)", "5.0.0.1"), 0);
}

TEST(CompareVersionTexts, FieldsBeyond32BitsDoNotWrap) {
    EXPECT_EQ(CompareVersionTexts("4294967296.0", "4294967295.0"), 1);
    EXPECT_EQ(CompareVersionTexts("1.beta", "1.0"), 0) << "a non-numeric field reads as 0";
}

TEST(VersionInfo, FixedVersionOfVersionedModules) {
    EXPECT_EQ(FixedVersion(Versioned("ver_5_0_0_1.dll")), 0x0005000000000001ull);
    EXPECT_EQ(FixedVersion(Versioned("ver_5_0_0_2_large.dll")),
              FixedVersion(Versioned("ver_5_0_0_2.dll")));
    EXPECT_EQ(FixedVersionNumber(Versioned("ver_5_0_0_1.dll")), 5.0 * 4294967296.0 * 65536.0 + 1);
    // 40.0.0.0 and 40.0.0.1 lie beyond a double's exact range: only the integer form tells them
    // apart.
    EXPECT_GT(FixedVersion(Versioned("ver_40_0_0_1.dll")),
              FixedVersion(Versioned("ver_40_0_0_0.dll")));
    EXPECT_EQ(FixedVersionNumber(Versioned("ver_40_0_0_1.dll")),
              FixedVersionNumber(Versioned("ver_40_0_0_0.dll")));
}

TEST(VersionInfo, FileVersionTextOfTheFirstTranslation) {
    EXPECT_EQ(FileVersionText(Versioned("ver_5_0_0_2.dll")), "5.0.0.2");
    EXPECT_EQ(FileVersionText(Versioned("ver_40_0_0_1.dll")), "40, 0, 0, 1");
    EXPECT_EQ(FileVersionText(Versioned("ver_5_0_0_2_text_5_0_0_1.dll")), "5.0.0.1");
}

TEST(VersionInfo, FilesWithoutVersionInformation) {
    for (const std::string& path :
         {Versioned("ver_none.dll"), Versioned("absent.dll"), std::string()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FixedVersion(path), 0u);
        EXPECT_EQ(FixedVersionNumber(path), 0.0);
        EXPECT_EQ(FileVersionText(path), "");
    }
}
