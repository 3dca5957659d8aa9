// Whole installations and removals through the reference setup engine: the engine builds its
// components, macro context and records, loads Morvik.dll and calls its entry points, and the
// tests compare the action codes, flags and custom macros it reports, and the HotSync registry.
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "engine_run.h"
#include "hotsync_fixture.h"
#include "plugin/hotsync_probe.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"

using namespace plugintest;

namespace {

const char* const Feature = "QX9_PalmPilot";
const char* const Conduit1 = "PilotConduit1_1";
const char* const Conduit2 = "PilotConduit2_0";

class ScenarioTest : public ::testing::Test {
protected:
    // The product's three components, the feature selected (with Flags16 7), the conduit
    // components not, and a custom definition for each plus an unrelated one.
    static std::string Product(const std::string& phase, bool featureSelected = true) {
        return "phase " + phase + "\n" + ComponentLines(Feature, "<CUSTPALM", 7, featureSelected) +
               ComponentLines(Conduit1, "<CUSTC11", 16, false, 2) +
               ComponentLines(Conduit2, "<CUSTC20", 32, false, 5) + OldMacros();
    }
    static std::string OldMacros() {
        return "macro <CUSTPALM,C:\\Old\\Palm\n"
               "macro <CUSTC11,C:\\Old\\C11\n"
               "macro <CUSTC20,C:\\Old\\C20\n"
               "macro <CUSTOTHER,C:\\Other\n";
    }
    static std::vector<std::string> OldMacroList() {
        return {"<CUSTPALM,C:\\Old\\Palm", "<CUSTC11,C:\\Old\\C11", "<CUSTC20,C:\\Old\\C20",
                "<CUSTOTHER,C:\\Other"};
    }
    static std::vector<std::string> Retargeted(const std::string& folder) {
        return {"<CUSTPALM," + folder, "<CUSTC11," + folder, "<CUSTC20," + folder,
                "<CUSTOTHER,C:\\Other"};
    }
    static void ExpectAllCallsSucceeded(const EngineRun& run, std::size_t calls = 3) {
        EXPECT_EQ(run.ExitCode, 0) << run.Output;
        EXPECT_EQ(run.Calls.size(), calls) << run.Output;
        for (const auto& call : run.Calls)
            EXPECT_EQ(call.second, 1) << call.first;
        EXPECT_FALSE(run.Overrun);
    }
    static void ExpectActions(const EngineRun& run, int feature, int conduit1, int conduit2) {
        EXPECT_EQ(run.Actions.at(Feature), feature) << run.Output;
        EXPECT_EQ(run.Actions.at(Conduit1), conduit1) << run.Output;
        EXPECT_EQ(run.Actions.at(Conduit2), conduit2) << run.Output;
    }
    static void ExpectFlagsUnchanged(const EngineRun& run) {
        EXPECT_EQ(run.Flags.at(Feature), 7);
        EXPECT_EQ(run.Flags.at(Conduit1), 16);
        EXPECT_EQ(run.Flags.at(Conduit2), 32);
    }
    static bool StandardValuesWritten() {
        return HotSyncRegistry::HasValue(PalmManager, "BackupConduit") ||
               HotSyncRegistry::HasValue(PalmManager, "InstallConduit");
    }

    HotSyncRegistry registry;
    HotSyncFolder folder;
};

} // namespace

TEST_F(ScenarioTest, NoHotSync) {
    EngineRun run = RunEngine(Product("install"));
    ExpectAllCallsSucceeded(run);
    ExpectActions(run, 8, 8, 8);
    EXPECT_EQ(run.Flags.at(Feature), 5) << "bit value 2 cleared, the others kept";
    EXPECT_EQ(run.Flags.at(Conduit1), 16);
    EXPECT_EQ(run.Macros, OldMacroList());
    EXPECT_FALSE(HotSyncRegistry::KeyExists(PalmDesktop));
    EXPECT_FALSE(HotSyncRegistry::KeyExists(RoboticsDesktop));
}

TEST_F(ScenarioTest, NoHotSyncWithoutFeatureStillMarksConduits) {
    std::string scenario = "phase Initialize\n" + ComponentLines(Conduit1, "<CUSTC11", 2, false) +
                           ComponentLines(Conduit2, "<CUSTC20", 2, false);
    EngineRun run = RunEngine(scenario);
    ExpectAllCallsSucceeded(run, 1);
    EXPECT_EQ(run.Actions.at(Conduit1), 8);
    EXPECT_EQ(run.Actions.at(Conduit2), 8);
    EXPECT_EQ(run.Flags.at(Conduit1), 2) << "only the feature loses the bit";
}

TEST_F(ScenarioTest, HotSync10) {
    HotSyncRegistry::InstallFirstGeneration(false, folder.Path());

    EngineRun offered = RunEngine(Product("Initialize"));
    ExpectAllCallsSucceeded(offered, 1);
    ExpectActions(offered, 7, 3, 8);
    ExpectFlagsUnchanged(offered);
    EXPECT_EQ(offered.Macros, Retargeted(folder.Path()));
    EXPECT_FALSE(StandardValuesWritten()) << "Initialize only reads";

    EngineRun installed = RunEngine(Product("install"));
    ExpectAllCallsSucceeded(installed);
    ExpectActions(installed, 7, 4, 8);
    EXPECT_EQ(HotSyncRegistry::Text(PalmManager, "BackupConduit"), "bakcn20.dll");
    EXPECT_EQ(HotSyncRegistry::Text(PalmManager, "InstallConduit"), "inscn20.dll");
    EXPECT_EQ(HotSyncRegistry::Text(PalmManager, "Notifier0"), "pdn20.dll");
    EXPECT_EQ(HotSyncProbe().GetHotSyncVersion(), 1.1);
}

TEST_F(ScenarioTest, HotSync10FeatureNotSelected) {
    HotSyncRegistry::InstallFirstGeneration(false, folder.Path());
    EngineRun run = RunEngine(Product("install", false));
    ExpectAllCallsSucceeded(run);
    ExpectActions(run, 7, 3, 8); // PreInstall marks nothing
    EXPECT_FALSE(StandardValuesWritten()) << "PostInstall does nothing";
}

TEST_F(ScenarioTest, HotSync11) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    HotSyncRegistry::SetText(PalmManager, "Notifier0", "own.dll");
    EngineRun run = RunEngine(Product("install"));
    ExpectAllCallsSucceeded(run);
    ExpectActions(run, 7, 4, 8);
    ExpectFlagsUnchanged(run);
    EXPECT_EQ(run.Macros, Retargeted(folder.Path()));
    EXPECT_FALSE(StandardValuesWritten());
    EXPECT_EQ(HotSyncRegistry::Text(PalmManager, "Notifier0"), "own.dll");
}

TEST_F(ScenarioTest, HotSync21ThroughInterface) {
    HotSyncRegistry::InstallSecondGeneration(folder.Path());
    folder.InstallInterface("2 1");
    // A first-generation folder that must not be used.
    HotSyncRegistry::SetText(PalmCore, "Path", "C:\\Palm");

    EngineRun offered = RunEngine(Product("Initialize"));
    ExpectAllCallsSucceeded(offered, 1);
    ExpectActions(offered, 7, 8, 3);
    EXPECT_EQ(offered.Macros, Retargeted(folder.Path()));

    EngineRun installed = RunEngine(Product("install"));
    ExpectAllCallsSucceeded(installed);
    ExpectActions(installed, 7, 8, 4);
    EXPECT_FALSE(StandardValuesWritten());
}

TEST_F(ScenarioTest, HotSyncReported2And10IsOutsideSecondGeneration) {
    HotSyncRegistry::InstallSecondGeneration(folder.Path());
    folder.InstallInterface("2 10");
    EngineRun run = RunEngine(Product("install"));
    ExpectAllCallsSucceeded(run);
    ExpectActions(run, 0, 0, 4); // Initialize changes nothing; PreInstall still marks
    ExpectFlagsUnchanged(run);
    EXPECT_EQ(run.Macros, OldMacroList());
}

TEST_F(ScenarioTest, SecondGenerationWithoutInterfaceModule) {
    HotSyncRegistry::InstallSecondGeneration(folder.Path());
    EngineRun run = RunEngine(Product("install"));
    ExpectAllCallsSucceeded(run);
    ExpectActions(run, 0, 0, 0);
    ExpectFlagsUnchanged(run);
    EXPECT_EQ(run.Macros, OldMacroList());
}

TEST_F(ScenarioTest, RunMode1) {
    HotSyncRegistry::InstallFirstGeneration(false, folder.Path());
    EngineRun run = RunEngine("runmode 1\n" + Product("install"));
    ExpectAllCallsSucceeded(run);
    ExpectActions(run, 0, 4, 4);
    ExpectFlagsUnchanged(run);
    EXPECT_EQ(run.Macros, OldMacroList());
    EXPECT_FALSE(StandardValuesWritten()) << "PostInstall returns at once";

    EngineRun unselected = RunEngine("runmode 1\n" + Product("install", false));
    ExpectAllCallsSucceeded(unselected);
    ExpectActions(unselected, 0, 0, 0);
}

TEST_F(ScenarioTest, CustomMacroLengthLimit) {
    // Definitions of 299 characters fit the engine's 300-byte buffers; 300 do not.
    const std::string key39 = "<CUST" + std::string(34, 'K');
    const std::string key40 = key39 + "L";
    const std::string path259 = "C:\\" + std::string(256, 'p');
    HotSyncRegistry::InstallFirstGeneration(true, path259);
    const std::string scenario = "phase Initialize\n" + ComponentLines(Feature, key39, 0, true) +
                                 ComponentLines(Conduit1, key40, 0, false) + "macro " + key39 +
                                 ",old\nmacro " + key40 + ",old\n";
    EngineRun run = RunEngine(scenario);
    ExpectAllCallsSucceeded(run, 1);
    ASSERT_EQ(run.Macros.size(), 2u);
    EXPECT_EQ(run.Macros[0], key39 + "," + path259);
    EXPECT_EQ(run.Macros[0].size(), 299u);
    EXPECT_EQ(run.Macros[1], key40 + ",old") << "a 300-character definition is refused";
    EXPECT_EQ(run.Actions.at(Conduit1), 3) << "the action is set all the same";

    // A folder of 260 characters does not fit the 260-byte read: the definitions get an empty
    // value.
    HotSyncRegistry::SetText(PalmCore, "Path", path259 + "q");
    EngineRun unread = RunEngine(scenario);
    ExpectAllCallsSucceeded(unread, 1);
    ASSERT_EQ(unread.Macros.size(), 2u);
    EXPECT_EQ(unread.Macros[0], key39 + ",");
    EXPECT_EQ(unread.Macros[1], key40 + ",");
}

TEST_F(ScenarioTest, CustomMacroKeysMatchTrimmedIgnoringCase) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    const std::string scenario = "phase Initialize\n" +
                                 ComponentLines(Feature, "<custpalm", 0, true) +
                                 ComponentLines(Conduit1, "<CUSTC11", 0, false) +
                                 ComponentLines(Conduit2, " <CUSTC20", 0, false) +
                                 "macro   <CustPalm  ,  C:\\Old\n"
                                 "macro <CUSTPALM,C:\\Second\n"
                                 "macro <CUSTPALMX,C:\\X\n"
                                 "macro <CUSTC11\n"
                                 "macro <CUSTC20,C:\\Old\\C20\n";
    EngineRun run = RunEngine(scenario);
    ExpectAllCallsSucceeded(run, 1);
    const std::vector<std::string> expected = {
        "<CustPalm," + folder.Path(), // trimmed key, new value
        "<CUSTPALM,C:\\Second",       // only the first match changes
        "<CUSTPALMX,C:\\X",
        "<CUSTC11," + folder.Path(), // a definition without "," is all key
        "<CUSTC20,C:\\Old\\C20",     // the component's name is not trimmed
    };
    EXPECT_EQ(run.Macros, expected);
}

TEST_F(ScenarioTest, MissingFeatureLeavesConduitsAlone) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    const std::string scenario = "phase install\n" + ComponentLines(Conduit1, "<CUSTC11", 0, true) +
                                 ComponentLines(Conduit2, "<CUSTC20", 0, true) + OldMacros();
    EngineRun run = RunEngine(scenario);
    ExpectAllCallsSucceeded(run);
    EXPECT_EQ(run.Actions.at(Conduit1), 0);
    EXPECT_EQ(run.Actions.at(Conduit2), 0);
    EXPECT_EQ(run.Macros, OldMacroList());
}

TEST_F(ScenarioTest, OnlyComponentsAreFound) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    // Map 0 names the feature with an object of another class: the first map that holds the
    // name decides, so the feature counts as missing.
    const std::string shadowed = "phase Initialize\nobject 0 QX9_PalmPilot FwPtrArray\n" +
                                 ComponentLines(Feature, "<CUSTPALM", 7, true, 1) +
                                 ComponentLines(Conduit1, "<CUSTC11", 0, false) + OldMacros();
    EngineRun run = RunEngine(shadowed);
    ExpectAllCallsSucceeded(run, 1);
    EXPECT_EQ(run.Actions.at(Feature), 0);
    EXPECT_EQ(run.Actions.at(Conduit1), 0);

    // The engine's own classes derived from WSetupComponent are components, in any map.
    const std::string derived = "phase install\n"
                                "component QX9_PalmPilot EngineComponent\n"
                                "id Product:QX9_PalmPilot\nqualified <CUSTPALM\n"
                                "states 0 0 5 0\nmap 6\n"
                                "component PilotConduit1_1 EngineComponent\nmap 3\n"
                                "component PilotConduit2_0 EngineComponent\nmap 4\n" +
                                OldMacros();
    EngineRun found = RunEngine(derived);
    ExpectAllCallsSucceeded(found);
    EXPECT_EQ(found.Actions.at(Feature), 7);
    EXPECT_EQ(found.Actions.at(Conduit1), 4);
    EXPECT_EQ(found.Actions.at(Conduit2), 8);
    EXPECT_EQ(found.Macros[0], "<CUSTPALM," + folder.Path());
}

TEST_F(ScenarioTest, EngineReportsEachCallThatChangesItsState) {
    // The engine's checks must be able to fail: a plug-in that writes where it must not is
    // caught at the call that did it, and only there.
    const std::string scenario = "phase install,removal\ntext abc\n" +
                                 ComponentLines(Feature, "<CUSTPALM", 7, true) + "removal\n";
    EngineRun run = RunEngineWith(scenario, TARVO_CLOBBER_DLL);
    EXPECT_EQ(run.ExitCode, 6) << run.Output;
    EXPECT_EQ(run.Calls.size(), 6u) << run.Output;
    const std::vector<std::string> expected = {
        "Initialize InstallRecord.EngineFieldsBeforeRunMode",
        "PreInstall InstallRecord.RunMode",
        "PostInstall InstallRecord.EngineFieldsBeforeRegistry",
        "PostInstall third argument",
        "PreUNInstall ComponentRegistry.EngineFieldsBeforeIndex",
        "PreUNInstall ComponentRegistry.EngineFieldsBeforeRemovalList",
        "PostUNInstall text argument",
    };
    EXPECT_EQ(run.Clobbered, expected) << run.Output;
}

namespace {

std::wstring Wide(const std::string& text) {
    wchar_t buffer[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, MAX_PATH);
    return buffer;
}

// Writes (target not empty) or reads a shell link through the platform's link object.
std::string LinkFile(const std::string& linkFile, const std::string& target = "") {
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.Receive())))
        return "(no link object)";
    ComPtr<IPersistFile> file;
    char path[MAX_PATH] = {};
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive()))) {
        if (!target.empty() && SUCCEEDED(link->SetPath(target.c_str())))
            file->Save(Wide(linkFile).c_str(), TRUE);
        else if (SUCCEEDED(file->Load(Wide(linkFile).c_str(), STGM_READ)))
            link->GetPath(path, MAX_PATH, nullptr, 0);
    }
    return path;
}

} // namespace

TEST_F(ScenarioTest, PostInstallRefreshesManagerShortcutsForConduit1) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    const std::string manager = folder / "Hsm11.exe";
    ASSERT_TRUE(testsupport::WriteFileBytes(manager, "MZ"));
    // The start menu the plug-in searches: the user's on Windows 95/98, all users' on NT.
    const std::string group = TheSystemFolders().StartMenu(false) + "\\Programs\\HotSync " +
                              std::to_string(GetCurrentProcessId());
    CreateDirectoryA(group.c_str(), nullptr);
    struct RemoveAtEnd {
        std::string Folder;
        ~RemoveAtEnd() { testsupport::RemoveTree(Folder); }
    } removeGroup{group};
    const std::string link = group + "\\HotSync Manager.lnk";
    ComScope com;
    ASSERT_TRUE(com.Succeeded());
    LinkFile(link, "C:\\windows\\notepad.exe");

    auto install = [](bool conduit1Selected) {
        return RunEngine("phase install\n" + ComponentLines(Feature, "<CUSTPALM", 7, true) +
                         ComponentLines(Conduit1, "<CUSTC11", 0, conduit1Selected) +
                         ComponentLines(Conduit2, "<CUSTC20", 0, false) + "text " +
                         std::string(4000, 't') + "\n");
    };
    ExpectAllCallsSucceeded(install(false));
    EXPECT_TRUE(EqualText(LinkFile(link), "C:\\windows\\notepad.exe", false));
    ExpectAllCallsSucceeded(install(true));
    EXPECT_TRUE(EqualText(LinkFile(link), manager, false)) << LinkFile(link);
}

// The engine loads the plug-in from its medium, whose "setup\\shfolder.dll" is the folder
// library, and then works in another folder: the start menu is still the library's (CSIDL 11 on
// Windows 95/98, 22 on NT), and the shell's own start menu is left alone.
TEST_F(ScenarioTest, FolderLibraryComesFromTheFolderCurrentAtLoad) {
    HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
    const std::string manager = folder / "Hsm11.exe";
    ASSERT_TRUE(testsupport::WriteFileBytes(manager, "MZ"));

    testsupport::TempFolder medium;
    ASSERT_TRUE(CreateDirectoryA((medium / "setup").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA((StandinFolder() + "\\shfolder\\shfolder.dll").c_str(),
                          (medium / "setup\\shfolder.dll").c_str(), FALSE));
    testsupport::TempFolder elsewhere;
    testsupport::TempFolder answers; // the library answers "<answers>\csidl<n>"
    const std::string asked = answers / "asked.txt";
    struct Environment {
        Environment(const std::string& root, const std::string& log) {
            SetEnvironmentVariableA("TARVO_SHFOLDER_ROOT", root.c_str());
            SetEnvironmentVariableA("TARVO_SHFOLDER_LOG", log.c_str());
        }
        ~Environment() {
            SetEnvironmentVariableA("TARVO_SHFOLDER_ROOT", nullptr);
            SetEnvironmentVariableA("TARVO_SHFOLDER_LOG", nullptr);
        }
    } environment(answers.Path(), asked);

    const int startMenuCsidl = testsupport::PlatformId() == VER_PLATFORM_WIN32_NT ? 22 : 11;
    const std::string libraryGroup =
        answers / ("csidl" + std::to_string(startMenuCsidl) + "\\Programs\\HotSync");
    ASSERT_TRUE(CreateDirectoryTree(libraryGroup));
    const std::string shellGroup = TheSystemFolders().StartMenu(false) +
                                   "\\Programs\\HotSync shell " +
                                   std::to_string(GetCurrentProcessId());
    CreateDirectoryA(shellGroup.c_str(), nullptr);
    struct RemoveAtEnd {
        std::string Folder;
        ~RemoveAtEnd() { testsupport::RemoveTree(Folder); }
    } removeGroup{shellGroup};
    const std::string libraryLink = libraryGroup + "\\HotSync Manager.lnk";
    const std::string shellLink = shellGroup + "\\HotSync Manager.lnk";
    ComScope com;
    ASSERT_TRUE(com.Succeeded());
    LinkFile(libraryLink, "C:\\windows\\notepad.exe");
    LinkFile(shellLink, "C:\\windows\\notepad.exe");

    const EngineRun run = RunEngine("chdir " + elsewhere.Path() + "\nphase install\n" +
                                        ComponentLines(Feature, "<CUSTPALM", 7, true) +
                                        ComponentLines(Conduit1, "<CUSTC11", 0, true) +
                                        ComponentLines(Conduit2, "<CUSTC20", 0, false),
                                    medium.Path());
    ExpectAllCallsSucceeded(run);
    const std::string libraryTarget = LinkFile(libraryLink);
    const std::string shellTarget = LinkFile(shellLink);
    // The identifiers asked for, one a line: " 9 21 11 ... ".
    std::string askedList = " ";
    for (char c : testsupport::ReadFileBytes(asked)) {
        if (c == '\n')
            askedList += ' ';
        else if (c != '\r')
            askedList += c;
    }
    std::printf("start menu CSIDL %d; library's link -> %s; shell's link -> %s; asked:%s\n",
                startMenuCsidl, libraryTarget.c_str(), shellTarget.c_str(), askedList.c_str());
    EXPECT_TRUE(EqualText(libraryTarget, manager, false)) << libraryTarget;
    EXPECT_TRUE(EqualText(shellTarget, "C:\\windows\\notepad.exe", false)) << shellTarget;
    // The stand-in answers only calls without a window, a token or flags.
    EXPECT_NE(askedList.find(" " + std::to_string(startMenuCsidl) + " "), std::string::npos)
        << askedList;
}

namespace {

// A removal of the feature: group 1 holds two feature components (Ids containing
// ":QX9_PalmPilot" in any case), one other component and a null entry, and group 2 a further
// feature component that does not count; `removed` feature components are in the removal list,
// with the other component and a null entry.
std::string Removal(int removed) {
    std::string text = "phase removal\n"
                       "component Feature\nid Product:QX9_PalmPilot\nmap 1\n"
                       "component FeatureConduits\nid product:qx9_palmpilot.conduits\nmap 1\n"
                       "component Other\nid Product:Other\nmap 1\nremoval\n"
                       "component Elsewhere\nid Product:QX9_PalmPilot.extra\nmap 2\n"
                       "nullentry 1 Nothing\nnullremoval\n";
    if (removed >= 1)
        text += "component Feature2\nid Product:QX9_PalmPilot\nremoval\n";
    if (removed >= 2)
        text += "component FeatureConduits2\nid Product:QX9_PALMPILOT.Conduits\nremoval\n";
    return text;
}

} // namespace

class RemovalTest : public ScenarioTest {
protected:
    void SetUp() override {
        HotSyncRegistry::InstallFirstGeneration(true, folder.Path());
        const char* table[] = {"keep.dll", "qxabcn90.dll", "qxdbcn90.dll", "qxdbcn90.dll",
                               "QXTDCN90.DLL"};
        for (int n = 0; n < 5; ++n)
            HotSyncRegistry::AddConduit(PalmDesktop, n, 0x1000 + n, table[n]);
        HotSyncRegistry::AddConduit(PalmDesktop, 6, 1, "qxqncn90.dll"); // behind the gap
    }
    static std::vector<bool> Entries() {
        std::vector<bool> present;
        for (int n = 0; n < 7; ++n)
            present.push_back(
                HotSyncRegistry::KeyExists(HotSyncRegistry::ApplicationKey(PalmDesktop, n)));
        return present;
    }
};

TEST_F(RemovalTest, WholeFeatureRemovesConduitEntries) {
    EngineRun run = RunEngine(Removal(2));
    ExpectAllCallsSucceeded(run);
    const std::vector<bool> expected = {true, false, false, true, true, false, true};
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(run.Actions.at("Feature"), 0);
    EXPECT_FALSE(StandardValuesWritten());
}

TEST_F(RemovalTest, PartOfFeatureLeavesTableAlone) {
    EngineRun run = RunEngine(Removal(1));
    ExpectAllCallsSucceeded(run);
    const std::vector<bool> expected = {true, true, true, true, true, false, true};
    EXPECT_EQ(Entries(), expected);
}

TEST_F(RemovalTest, NoFeatureInGroupLeavesTableAlone) {
    EngineRun run = RunEngine("phase removal\ncomponent Other\nid Product:Other\nmap 1\nremoval\n");
    ExpectAllCallsSucceeded(run);
    const std::vector<bool> expected = {true, true, true, true, true, false, true};
    EXPECT_EQ(Entries(), expected);
}
