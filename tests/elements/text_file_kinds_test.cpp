// Registry files, customised text files and profile strings, acting on files in a fresh
// temporary folder that "<D>" names.
#include "setup/elements/text_file_kinds.h"
#include "elements/destination_fixture.h"

#include <string>

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

class TextFileKinds : public testsupport::DestinationTest {
protected:
    // The key's value as the platform reads it; "(missing)" when the key is not there.
    static std::string Profile(const std::string& file, const char* section, const char* key) {
        char value[4096];
        GetPrivateProfileStringA(section, key, "(missing)", value, sizeof value, file.c_str());
        return value;
    }
    static void Entry(WSetupProfileString& entry, const char* section, const char* key,
                      const char* value) {
        Target(entry, "<D>", "app.ini");
        entry.Section = section;
        entry.Key = key;
        entry.Value = value;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Profile strings

TEST_F(TextFileKinds, ProfileFileThatDoesNotExistYetIsCreated) {
    WSetupProfileString entry;
    Entry(entry, "Paths", "Home", "<D>\\bin");
    EXPECT_EQ(entry.Verify(), ProfileFileMissing);
    EXPECT_EQ(entry.InstallStep(0), ProfileWritten);
    EXPECT_EQ(entry.Status, ProfileWritten);
    EXPECT_TRUE(entry.PreviousValue.empty());
    const std::string file = Path("app.ini");
    EXPECT_EQ(Profile(file, "Paths", "Home"), m_temp.Path() + "\\bin");
    EXPECT_EQ(entry.Verify(), ProfileHasValue);
    // What was written is on disk, not only in the platform's cache.
    EXPECT_NE(ReadFileBytes(file).find("Home=" + m_temp.Path() + "\\bin"), std::string::npos);
}

// The original value (blanks around it, longer than any fixed buffer, with text that looks like
// a macro) survives two installs and comes back at uninstall as it was.
TEST_F(TextFileKinds, InstallTwiceThenRestoreGivesBackTheOriginal) {
    const std::string original = "<D> keep " + std::string(3000, 'v') + " end";
    const std::string file = Path("app.ini");
    ASSERT_TRUE(WriteFileBytes(file, "[Other]\r\nMode=1\r\n[Main]\r\nMode = " + original +
                                         "  \r\nNext=2\r\n"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));

    WSetupProfileString entry;
    Entry(entry, "Main", "Mode", "<D>");
    ASSERT_EQ(entry.InstallStep(0), ProfileWritten);
    EXPECT_EQ(entry.PreviousValue, original);
    EXPECT_EQ(Attributes(file) & FILE_ATTRIBUTE_READONLY, 0u) << "left plain after the install";
    EXPECT_EQ(Profile(file, "Main", "Mode"), m_temp.Path());

    ASSERT_EQ(entry.InstallStep(0), ProfileWritten);
    EXPECT_EQ(entry.PreviousValue, original) << "its own value is not the one before";

    EXPECT_EQ(entry.Uninstall(), ProfileRestored);
    EXPECT_EQ(entry.Status, ProfileRestored);
    EXPECT_EQ(Profile(file, "Main", "Mode"), original);
    EXPECT_EQ(Profile(file, "Other", "Mode"), "1");
    EXPECT_EQ(Profile(file, "Main", "Next"), "2");
}

TEST_F(TextFileKinds, UninstallEmptiesOrDeletesTheKey) {
    const std::string file = Path("app.ini");
    ASSERT_TRUE(WriteFileBytes(file, "[Main]\r\nOther=1\r\n"));
    WSetupProfileString entry;
    Entry(entry, "Main", "Fresh", "x");
    ASSERT_EQ(entry.InstallStep(0), ProfileWritten);
    EXPECT_TRUE(entry.PreviousValue.empty());
    EXPECT_EQ(entry.Uninstall(), ProfileRestored) << "restored to the empty value before";
    EXPECT_EQ(Profile(file, "Main", "Fresh"), "");
    EXPECT_EQ(entry.Verify(), ProfileKeyEmpty);

    entry.RestoreOnUninstall = 0;
    EXPECT_EQ(entry.Uninstall(), ProfileKeyDeleted);
    EXPECT_EQ(ReadFileBytes(file).find("Fresh"), std::string::npos);
    EXPECT_EQ(Profile(file, "Main", "Other"), "1");

    ASSERT_TRUE(DeleteFileA(file.c_str()));
    EXPECT_EQ(entry.Uninstall(), ProfileKeyDeleted) << "a file that is gone has nothing to undo";
    EXPECT_EQ(Attributes(file), INVALID_FILE_ATTRIBUTES) << "and is not made again";
}

// Entries that would change the structure of the file are not written.
TEST_F(TextFileKinds, EntriesThatWouldBreakTheFileAreRefused) {
    const char* const cases[][3] = {
        {"Main", "Key", "a\r\n[Evil]\r\nz=1"},
        {"Main", "Key", "a\nb"},
        {"Main", "Key=x", "v"},
        {"Main", " [Key", "v"},
        {"Main", ";Key", "v"},
        {"Ma]in", "Key", "v"},
        {"Main\r\n[Evil", "Key", "v"},
        {"Main", " ", "v"},
        {"", "Key", "v"},
    };
    const std::string file = Path("app.ini");
    const std::string before = "[Main]\r\nKey=old\r\n";
    ASSERT_TRUE(WriteFileBytes(file, before));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c[0]) + " / " + c[1] + " / " + c[2]);
        WSetupProfileString entry;
        Entry(entry, c[0], c[1], c[2]);
        EXPECT_EQ(entry.InstallStep(0), ProfileNotWritten);
        EXPECT_EQ(ReadFileBytes(file), before);
    }
    // Nor is a value that only its expansion breaks.
    WSetupProfileString viaMacro;
    Entry(viaMacro, "Main", "Key", "<D>");
    viaMacro.DestDir = m_temp.Path();
    TheSetupContext().MacroD = "C:\\x\r\n[Evil]";
    EXPECT_EQ(viaMacro.InstallStep(0), ProfileNotWritten);
    EXPECT_EQ(ReadFileBytes(file), before);
}

// Under a double-byte code page "]" (0x5d) may be the trail byte of a character, which a
// section name may hold.
TEST_F(TextFileKinds, DoubleByteSectionIsWritten) {
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the double-byte code page 932";
    WSetupProfileString entry;
    Entry(entry, "\x83\x5d", "\x83\x5c", "v");
    EXPECT_EQ(entry.InstallStep(0), ProfileWritten);
    EXPECT_EQ(Profile(Path("app.ini"), "\x83\x5d", "\x83\x5c"), "v");
}

TEST_F(TextFileKinds, ProfileFileInUseIsNotWritten) {
    const std::string file = Path("app.ini");
    ASSERT_TRUE(WriteFileBytes(file, "[Main]\r\nKey=old\r\n"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD readOnly = Attributes(file);
    WSetupProfileString entry;
    Entry(entry, "Main", "Key", "new");
    {
        KernelHandle lock = Lock(file);
        ASSERT_TRUE(lock.IsOpen());
        EXPECT_EQ(entry.InstallStep(0), ProfileNotWritten);
        EXPECT_EQ(entry.Uninstall(), ProfileRestoreFailed) << "in use is not absent";
    }
    EXPECT_EQ(ReadFileBytes(file), "[Main]\r\nKey=old\r\n");
    EXPECT_EQ(Attributes(file), readOnly) << "attributes as they were";
}

// ---------------------------------------------------------------------------------------------
// Customised text files

TEST_F(TextFileKinds, CustomisingReplacesLiterallyAndCaseSensitively) {
    const std::string file = Path("setup.cfg");
    ASSERT_TRUE(WriteFileBytes(file, "root=<D>\r\nSearch search SEARCH\nlast <D>"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    WSetupCustFile custom;
    Target(custom, "<D>", "setup.cfg");
    custom.SearchText = "<D>";
    custom.ReplaceText = "<D>\\bin";
    EXPECT_EQ(custom.InstallStep(0), CustFileReplaced);
    const std::string bin = m_temp.Path() + "\\bin";
    EXPECT_EQ(ReadFileBytes(file), "root=" + bin + "\r\nSearch search SEARCH\nlast " + bin);
    EXPECT_EQ(Attributes(file) & FILE_ATTRIBUTE_READONLY, 0u);

    custom.SearchText = "search";
    custom.ReplaceText = "found";
    EXPECT_EQ(custom.InstallStep(0), CustFileReplaced);
    EXPECT_EQ(ReadFileBytes(file), "root=" + bin + "\r\nSearch found SEARCH\nlast " + bin);
    EXPECT_EQ(custom.Verify(), CustFileReplaced);
    EXPECT_EQ(custom.Status, CustFileReplaced);
}

TEST_F(TextFileKinds, CustomisingAMissingOrBusyFileChangesNothing) {
    WSetupCustFile custom;
    Target(custom, "<D>", "absent.cfg");
    EXPECT_EQ(custom.InstallStep(0), CustFileAbsent);
    EXPECT_EQ(custom.Verify(), CustFileAbsent);

    const std::string file = Path("busy.cfg");
    const std::string text = "a Search b\r\n";
    ASSERT_TRUE(WriteFileBytes(file, text));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD readOnly = Attributes(file);
    Target(custom, "<D>", "busy.cfg");
    {
        KernelHandle lock = Lock(file);
        ASSERT_TRUE(lock.IsOpen());
        EXPECT_EQ(custom.InstallStep(0), CustFileNotReplaced) << "in use is not absent";
        EXPECT_EQ(Attributes(file), readOnly) << "attributes as they were";
    }
    EXPECT_EQ(ReadFileBytes(file), text);
    EXPECT_EQ(custom.Status, CustFileNotReplaced);
}

// ---------------------------------------------------------------------------------------------
// Registry files

TEST_F(TextFileKinds, RegistryFileIsMergedBeforeTheNextElementRuns) {
    testsupport::ScratchKey key;
    const std::string target = "HKEY_CURRENT_USER\\" + key.KeyPath() + "\\Merged";
    ASSERT_TRUE(
        WriteFileBytes(Path("app settings.reg"),
                       "REGEDIT4\r\n\r\n[" + target +
                           "]\r\n\"Name\"=\"merged value\"\r\n\"Count\"=dword:00000007\r\n"));
    WSetupRegFile regFile;
    Target(regFile, "<D>", "app settings.reg");
    EXPECT_EQ(regFile.InstallStep(0), RegFileMerged);
    EXPECT_EQ(regFile.Status, RegFileMerged);

    char name[64] = "";
    DWORD size = sizeof name;
    const std::string subkey = key / "Merged";
    ASSERT_EQ(RegGetValueA(key.Root(), subkey.c_str(), "Name", RRF_RT_REG_SZ, nullptr, name, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "merged value");
    DWORD count = 0;
    size = sizeof count;
    ASSERT_EQ(
        RegGetValueA(key.Root(), subkey.c_str(), "Count", RRF_RT_REG_DWORD, nullptr, &count, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(count, 7u);

    Target(regFile, "<D>", "absent.reg");
    EXPECT_EQ(regFile.InstallStep(0), RegFileAbsent);
    EXPECT_EQ(regFile.Verify(), RegFileAbsent);
}
