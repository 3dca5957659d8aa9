// The text records of the seventeen element kinds: each kind's own column order, and the
// irregular short records (missing final commas, extra empty columns, empty texts).
#include "setup/core/macros.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"

#include <gtest/gtest.h>

namespace {

void Fill(WSetupElement& element, const char* id, const char* destDir, const char* destName) {
    element.Id = id;
    element.DestDir = destDir;
    element.DestName = destName;
    element.ExtraText = "e";
    element.RecordFlag = 1;
}

void FillFile(WSetupFile& file) {
    file.Id = "F";
    file.SourceDir = "<S>\\disk1";
    file.SourceName = "a.dll";
    file.DestDir = "<D>\\bin";
    file.DestName = "a.dll";
    file.Size = 2048.75;
    file.Attributes = "010000";
    file.CopyMode = 2;
    file.OptionFlags = "1011";
    file.FileFlags = 0x24;
    file.ChecksumText = "123";
    file.CarriedNumber = 7;
    file.RemoveOnUninstall = 0;
    file.ExtraText = "x";
    file.RecordFlag = 1;
    file.CollectAfterCopy = 1;
    file.CarriedFlag = 2;
}

} // namespace

TEST(FileRecords, FullAndShort) {
    WSetupFile file;
    EXPECT_EQ(file.GetFullRecord(), ",<S>,,<D>,,0,100000,1,1111,0,|||0,1,1,1,,0,0,0,");
    FillFile(file);
    EXPECT_EQ(file.GetFullRecord(),
              "F,<S>\\disk1,a.dll,<D>\\bin,a.dll,2048,010000,2,1011,36,123,7,0,1,x,1,1,1,");
    EXPECT_EQ(file.GetShortRecord(), "F,,,<D>\\bin,a.dll,2048,010000,2,1011,36,123,7,0,1,,,,1,");
    // The size is written as its whole number, also beyond the range of 32 bits.
    file.Size = 1e10;
    EXPECT_EQ(file.GetFullRecord(),
              "F,<S>\\disk1,a.dll,<D>\\bin,a.dll,10000000000,010000,2,1011,36,123,7,0,1,x,1,1,1,");
}

TEST(FileRecords, FontRecordIsTheFileRecordWithTheFontName) {
    WSetupTTFFile font;
    FillFile(font);
    font.FontName = "Tarvo Sans";
    WSetupFile file;
    FillFile(file);
    EXPECT_EQ(font.GetFullRecord().str(), file.GetFullRecord().str() + "Tarvo Sans,");
    EXPECT_TRUE(font.GetShortRecord().empty());
    font.SetFontName("");
    EXPECT_EQ(font.GetFontName(), "");
    EXPECT_EQ(font.GetFullRecord().str(), file.GetFullRecord().str() + ",");
}

TEST(FileRecords, RuntimeFileAndSelfRegisteringModule) {
    WSetupRuntimeFile runtimeFile;
    Fill(runtimeFile, "T", "<D>\\logs", "app.log");
    runtimeFile.RemoveEmptyFolders = 0;
    EXPECT_EQ(runtimeFile.GetFullRecord(), "T,<D>\\logs,app.log,1111,0,e,1,");
    EXPECT_EQ(runtimeFile.GetShortRecord(), "T,<D>\\logs,app.log,1111,0,,,");

    WSetupSelfRegFile module;
    Fill(module, "S", "<SF>", "x.ocx");
    EXPECT_EQ(module.GetFullRecord(), "S,<SF>,x.ocx,1111,1,e,1,");
    EXPECT_EQ(module.GetShortRecord(), "S,<SF>,x.ocx,1111,1,,,");
}

TEST(RegistryRecords, EntryAndRuntimeEntry) {
    WSetupRegEntry entry;
    EXPECT_EQ(entry.GetFullRecord(), ",,,,,,1111,1,0,,0,,0,");
    entry.Id = "R";
    entry.RootName = "HKEY_CURRENT_USER";
    entry.KeyPath = "Software\\Acme";
    entry.ValueName = "Path";
    entry.ValueData = "<D>";
    entry.ValueType = "STRING";
    entry.DeleteSubkeys = 1;
    entry.ExtraText = "e";
    entry.RecordFlag = 1;
    entry.PreviousValue = "old";
    entry.RestoreOnUninstall = 1;
    EXPECT_EQ(entry.GetFullRecord(),
              "R,HKEY_CURRENT_USER,Software\\Acme,Path,<D>,STRING,1111,1,1,e,1,old,1,");
    EXPECT_EQ(entry.GetShortRecord(),
              "R,HKEY_CURRENT_USER,Software\\Acme,Path,<D>,STRING,1111,1,1,,,old,1,");

    WSetupRuntimeRegEntry runtimeEntry;
    runtimeEntry.Id = "RR";
    runtimeEntry.RootName = "HKEY_LOCAL_MACHINE";
    runtimeEntry.KeyPath = "Software\\Acme\\Path";
    runtimeEntry.EntryKind = "VALUE";
    runtimeEntry.ExtraText = "e";
    EXPECT_EQ(runtimeEntry.GetFullRecord(),
              "RR,HKEY_LOCAL_MACHINE,Software\\Acme\\Path,1111,0,VALUE,e,0,");
    // Three empty columns where the full record has two.
    EXPECT_EQ(runtimeEntry.GetShortRecord(),
              "RR,HKEY_LOCAL_MACHINE,Software\\Acme\\Path,1111,0,VALUE,,,,");
}

TEST(CustomCodeRecords, DllsAndExecutables) {
    WUninstallCustomDLL uninstallDll;
    Fill(uninstallDll, "U", "C:\\Prog", "c.dll");
    uninstallDll.SetArguments("-u <D>");
    EXPECT_EQ(uninstallDll.GetArguments(), "-u <D>");
    EXPECT_EQ(uninstallDll.GetFullRecord(), "U,C:\\Prog,c.dll,-u <D>,1111,e,1,");
    EXPECT_EQ(uninstallDll.GetShortRecord(), "U,C:\\Prog,c.dll,-u <D>,1111,,,,");

    // The short record names the folder expanded, with the process-wide macro context.
    SetupContext& context = TheSetupContext();
    const int wasEnabled = context.Enabled;
    const FwString wasD = context.MacroD;
    context.MacroD = "C:\\Acme";
    context.Enabled = 1;
    uninstallDll.DestDir = "<D>\\bin";
    EXPECT_EQ(uninstallDll.GetShortRecord(), "U,C:\\Acme\\bin,c.dll,-u <D>,1111,,,,");
    EXPECT_EQ(uninstallDll.GetFullRecord(), "U,<D>\\bin,c.dll,-u <D>,1111,e,1,");
    context.MacroD = wasD;
    context.Enabled = wasEnabled;

    WSetupCustomDLL dll;
    Fill(dll, "C", "<D>", "c.dll");
    dll.Arguments = "a b";
    dll.RemoveOnUninstall = 0;
    dll.Disabled = 3;
    EXPECT_EQ(dll.GetFullRecord(), "C,<D>,c.dll,a b,1111,0,e,1,1,");
    EXPECT_TRUE(dll.GetShortRecord().empty());

    WUnistallExecutable uninstallProgram;
    Fill(uninstallProgram, "UX", "<D>", "u.exe");
    uninstallProgram.Arguments = "/x";
    uninstallProgram.SetRunMode(3);
    EXPECT_EQ(uninstallProgram.GetFullRecord(), "UX,<D>,u.exe,/x,1111,3,e,1,");
    EXPECT_EQ(uninstallProgram.GetShortRecord(), "UX,<D>,u.exe,/x,1111,3,,,");

    WSetupExecutable program;
    Fill(program, "X", "<D>", "s.exe");
    program.Arguments = "/s";
    program.RecordFlag = 0;
    EXPECT_EQ(program.GetFullRecord(), "X,<D>,s.exe,/s,1111,1,1,e,0,");
    EXPECT_TRUE(program.GetShortRecord().empty());
}

TEST(ShortcutRecords, FullAndShortWithTwoFurtherCommas) {
    WSetupShortcut shortcut;
    EXPECT_EQ(shortcut.GetShortRecord(), ",,,<D>,,1111,0,1,,,");
    Fill(shortcut, "L", "<D>", "app.exe");
    shortcut.SetGroup("<P>\\Acme");
    shortcut.SetLinkName("Acme App");
    shortcut.LinkFlag = 5;
    shortcut.SetArguments("/a");
    shortcut.SetWorkDir("<D>");
    shortcut.SetIconDir("<D>\\icons");
    shortcut.SetIconName("app.ico");
    shortcut.IconIndex = 3;
    shortcut.RecordFlag = 0;
    EXPECT_EQ(shortcut.GetGroup(), "<P>\\Acme");
    EXPECT_EQ(shortcut.GetIconName(), "app.ico");
    EXPECT_EQ(shortcut.GetFullRecord(),
              "L,<P>\\Acme,Acme App,<D>,app.exe,1111,1,/a,<D>,<D>\\icons,app.ico,3,1,e,0,");
    EXPECT_EQ(shortcut.GetShortRecord(), "L,<P>\\Acme,Acme App,<D>,app.exe,1111,1,1,,,");
}

TEST(TextFileRecords, RegistryFileCustomisedFileProfileString) {
    WSetupRegFile regFile;
    Fill(regFile, "G", "<D>", "a.reg");
    EXPECT_EQ(regFile.GetFullRecord(), "G,<D>,a.reg,1111,e,1,");
    EXPECT_TRUE(regFile.GetShortRecord().empty());

    WSetupCustFile custom;
    EXPECT_EQ(custom.GetFullRecord(), ",<D>,,Search,Replace,1111,1,,0,");
    EXPECT_TRUE(custom.GetShortRecord().empty());

    WSetupProfileString profile;
    EXPECT_EQ(profile.GetShortRecord(), ",<D>,,Section,Key,,1111,,1,1");
    Fill(profile, "P", "<W>", "win.ini");
    profile.Section = "Acme";
    profile.Key = "Path";
    profile.Value = "<D>";
    profile.PreviousValue = "old";
    profile.RestoreOnUninstall = 0;
    EXPECT_EQ(profile.GetFullRecord(), "P,<W>,win.ini,Acme,Path,<D>,1111,old,1,0,e,1,");
    // No "," after the last column of the short record.
    EXPECT_EQ(profile.GetShortRecord(), "P,<W>,win.ini,Acme,Path,<D>,1111,old,1,0");
}

TEST(FolderRecords, DirDeletionBackup) {
    WSetupDir dir;
    Fill(dir, "D", "<D>", "data");
    dir.PruneParents = 0;
    dir.SecondAttributes = "010000"; // never written
    EXPECT_EQ(dir.GetFullRecord(), "D,<D>,data,1111,100000,1,0,e,1,");
    EXPECT_EQ(dir.GetShortRecord(), "D,<D>,data,1111,100000,1,0");
    dir.PruneParents = 9;
    EXPECT_EQ(dir.GetShortRecord(), "D,<D>,data,1111,100000,1,1");

    WSetupDeleteFile deletion;
    Fill(deletion, "K", "<D>", "old.dll");
    deletion.RecordFlag = 0;
    EXPECT_EQ(deletion.GetFullRecord(), "K,<D>,old.dll,1111,1,e,0,");
    EXPECT_TRUE(deletion.GetShortRecord().empty());

    WSetupBackupFile backup;
    Fill(backup, "B", "<D>", "app.ini");
    EXPECT_EQ(backup.GetFullRecord(), "B,<D>,app.ini,1111,e,1,");
    EXPECT_TRUE(backup.GetShortRecord().empty());
}
