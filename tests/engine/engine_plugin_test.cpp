// The engine as the host of the plug-in its description names: the six entry points in their
// order and at their moments, what they see in the records, what the engine does with the
// action codes and the retargeted custom macros, the removal's calls from the kept copy, and
// the runs that a plug-in ends: a missing entry point, a crash in each entry point, a kept copy
// gone at removal. The engine runs with the Windows version of the test program.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "setup/core/handles.h"
#include "plugin/hotsync_fixture.h"
#include "support/fixtures.h"

using testsupport::ReadFileBytes;
using testsupport::RunAndWait;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

constexpr long ExitOk = 0;
constexpr long ExitRefused = 2;
constexpr long ExitPluginFailed = 13;
constexpr long ExitPluginCrashed = 14;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool HasKey(HKEY root, const std::string& path) {
    RegKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS;
}

std::string WindowsFolder() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return windows;
}

// The lines of a text that begin with `prefix`, in order.
std::vector<std::string> LinesWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : " | ") + line;
    return text;
}

// The lines the plug-in recorded from one call on ("call <name>") up to the next call.
std::string CallRecord(const std::string& record, const std::string& entry, int occurrence = 0) {
    std::string::size_type at = std::string::npos;
    for (int i = 0; i <= occurrence; ++i) {
        at = record.find("call " + entry + "\r\n", at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos)
            return "";
    }
    const std::string::size_type next = record.find("call ", at + 1);
    return record.substr(at, next == std::string::npos ? std::string::npos : next - at);
}

class EnginePlugin : public ::testing::Test {
protected:
    std::string Machine() const { return folder / "machine"; }
    std::string Product() const { return Machine() + "\\Product"; }
    std::string Original() const { return Machine() + "\\Original"; }
    std::string Retargeted() const { return Machine() + "\\Retargeted"; }
    std::string Log() const { return Product() + "\\install.log"; }
    std::string Record() const { return folder / "plugin.record"; }
    std::string ProductName() const { return "Plugin host test " + unique; }
    std::string UninstallKey() const {
        return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ProductName();
    }
    std::string KeptCopy() const {
        return WindowsFolder() + "\\" + PluginCopyName(ProductName(), Log());
    }

    // Four components: Main (selected), Skipped (selected; the plug-in gives it 8), Offered (not
    // selected; the plug-in offers it with 3 and selects it with 4), Synced (selected; its files
    // go to <CUSTSYNCD>, which the plug-in points at Retargeted()).
    std::string Description(const std::string& plugin) const {
        std::string text = "[Product]\r\nName = " + ProductName() +
                           "\r\nDestination = " + Product() + "\r\nPlugin = " + plugin +
                           "\r\n\r\n[Macros]\r\n<CUSTSYNC = " + Original() + "\r\n";
        const char* components[][2] = {
            {"Main", "1"}, {"Skipped", "1"}, {"Offered", "0"}, {"Synced", "1"}};
        for (const auto& c : components)
            text += "\r\n[Component " + idPrefix + c[0] + "]\r\nSelected = " + c[1] + "\r\n" +
                    (std::string(c[0]) == "Synced" ? "Macro = <CUSTSYNC\r\n" : "");
        for (const auto& c : components)
            text += std::string("\r\n[WSetupFile ") + c[0] + "File]\r\nComponent = " + idPrefix +
                    c[0] + "\r\nSourceDir = <S>\r\nMediaName = app.txt\r\nDestDir = " +
                    (std::string(c[0]) == "Synced" ? "<CUSTSYNCD>" : "<D>") +
                    "\r\nDestName = " + c[0] + ".txt\r\nAttributes = 010000\r\n";
        return text;
    }

    std::string Engine() const {
        const std::string version = testsupport::HarnessVersion();
        return testsupport::ProgramFolder() + "\\standins\\productengine" +
               (version.empty() ? "" : "-" + version) + ".exe";
    }

    long Run(const std::string& words, std::string& output) const {
        const std::string out = folder / "engine.out";
        DeleteFileA(out.c_str());
        const long code = RunAndWait("\"" + Engine() + "\" " + words + " \"output=" + out + "\"");
        output = ReadFileBytes(out);
        return code;
    }

    long Install(const std::string& plugin, std::string& output) const {
        EXPECT_TRUE(WriteFileBytes(medium / "product.txt", Description(plugin)));
        return Run("mode=install \"description=" + (medium / "product.txt") + "\" \"log=" + Log() +
                       "\"",
                   output);
    }

    long Remove(std::string& output) const {
        return Run("mode=remove \"log=" + Log() + "\"", output);
    }

    // Nothing of the installation on the machine.
    std::string Untouched() const {
        std::string left;
        for (const std::string& path : {Product(), Original(), Retargeted(), KeptCopy()})
            if (Exists(path))
                left += " " + path;
        if (HasKey(HKEY_LOCAL_MACHINE, UninstallKey()))
            left += " the uninstall entry";
        return left;
    }

    void Crash(const char* entry) const { SetEnvironmentVariableA("TARVO_PLUGIN_CRASH", entry); }

    void SetUp() override {
        unique = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
        ASSERT_TRUE(WriteFileBytes(medium / "app.txt", "the product's file"));
        ASSERT_TRUE(CreateDirectoryA(Machine().c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((medium / "plug").c_str(), nullptr));
        for (const char* name : {"recording_plugin.dll", "recording_plugin_partial.dll"})
            ASSERT_TRUE(CopyFileA((testsupport::ProgramFolder() + "\\standins\\" + name).c_str(),
                                  (medium / "plug" + "\\" + name).c_str(), FALSE))
                << name;
        SetEnvironmentVariableA("TARVO_PLUGIN_RECORD", Record().c_str());
        SetEnvironmentVariableA("TARVO_PLUGIN_FOLDER", Retargeted().c_str());
        SetEnvironmentVariableA("TARVO_PLUGIN_CRASH", nullptr);
    }

    void TearDown() override {
        SetEnvironmentVariableA("TARVO_PLUGIN_CRASH", nullptr);
        std::string output;
        if (Exists(Log()))
            (void)Remove(output);
        SetFileAttributesA(KeptCopy().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(KeptCopy().c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
    }

    TempFolder medium;
    TempFolder folder;
    std::string unique;
    std::string idPrefix; // written before each component's Id
};

TEST_F(EnginePlugin, SixCallsInOrderActionCodesAndRetargetedFoldersFromInstallToRemoval) {
    std::string output;
    ASSERT_EQ(Install("plug\\recording_plugin.dll", output), ExitOk) << output;
    std::string record = ReadFileBytes(Record());
    std::printf("install, the engine said:\n  %s\nthe plug-in recorded:\n%s\n",
                Joined(LinesWith(output, "plugin")).c_str(), record.c_str());
    EXPECT_EQ(Joined(LinesWith(record, "call ")),
              "call Initialize | call PreInstall | call PostInstall | call UNInitialize");
    EXPECT_EQ(Joined(LinesWith(record, "runmode ")), "runmode 0 | runmode 0 | runmode 0");

    // Initialize sees the description's choice and the description's folder.
    const std::string initialize = CallRecord(record, "Initialize");
    for (const char* line : {"component Main action=0 modeindex=2 selected=1",
                             "component Skipped action=0 modeindex=2 selected=1",
                             "component Offered action=0 modeindex=2 selected=0",
                             "component Synced action=0 modeindex=2 selected=1"})
        EXPECT_NE(initialize.find(line), std::string::npos) << line << "\n" << initialize;
    EXPECT_NE(initialize.find("macro 0 <CUSTSYNC," + Original()), std::string::npos) << initialize;
    // PreInstall: 8 has taken Skipped out, 3 left Offered to its Selected, the macro moved.
    const std::string preInstall = CallRecord(record, "PreInstall");
    EXPECT_NE(preInstall.find("component Skipped action=8 modeindex=2 selected=0"),
              std::string::npos)
        << preInstall;
    EXPECT_NE(preInstall.find("component Offered action=3 modeindex=2 selected=0"),
              std::string::npos)
        << preInstall;
    EXPECT_NE(preInstall.find("macro 0 <CUSTSYNC," + Retargeted()), std::string::npos)
        << preInstall;
    // PostInstall: 4 has installed Offered; map 1 holds what was installed.
    const std::string postInstall = CallRecord(record, "PostInstall");
    EXPECT_NE(postInstall.find("component Offered action=4 modeindex=2 selected=1"),
              std::string::npos)
        << postInstall;
    const std::vector<std::string> group = LinesWith(postInstall, "group1");
    ASSERT_EQ(group.size(), 1u);
    for (const char* id : {" Main", " Offered", " Synced"})
        EXPECT_NE(group[0].find(id), std::string::npos) << group[0];
    EXPECT_EQ(group[0].find("Skipped"), std::string::npos) << group[0];

    struct Row {
        std::string path;
        bool expected;
    } rows[] = {{Product() + "\\Main.txt", true},     {Product() + "\\Skipped.txt", false},
                {Product() + "\\Offered.txt", true},  {Retargeted() + "\\Synced.txt", true},
                {Original() + "\\Synced.txt", false}, {KeptCopy(), true}};
    std::printf("%-70s %-8s %s\n", "file", "expected", "there");
    for (const Row& row : rows) {
        std::printf("%-70s %-8d %d\n", row.path.c_str(), row.expected, Exists(row.path));
        EXPECT_EQ(Exists(row.path), row.expected) << row.path;
    }
    const std::string log = ReadFileBytes(Log());
    EXPECT_EQ(Joined(LinesWith(log, "macro ")), "macro <CUSTSYNC," + Retargeted());
    EXPECT_EQ(Joined(LinesWith(log, "plugin ")), "plugin " + KeptCopy());

    // The check rebuilds the elements from the log alone and finds them where the plug-in put
    // them; it calls no entry point.
    ASSERT_TRUE(DeleteFileA(Record().c_str()));
    EXPECT_EQ(Run("mode=check \"log=" + Log() + "\"", output), ExitOk) << output;
    EXPECT_EQ(ReadFileBytes(Record()), "");

    // Removal calls the kept copy: PreUNInstall with what goes, then PostUNInstall and
    // UNInitialize; the retargeted folder's file goes with the rest.
    ASSERT_EQ(Remove(output), ExitOk) << output;
    record = ReadFileBytes(Record());
    std::printf("removal, the plug-in recorded:\n%s\n", record.c_str());
    EXPECT_EQ(Joined(LinesWith(record, "call ")),
              "call PreUNInstall | call PostUNInstall | call UNInitialize");
    const std::vector<std::string> removal = LinesWith(record, "removal");
    ASSERT_EQ(removal.size(), 1u);
    EXPECT_EQ(removal[0], "removal Main Offered Synced");
    EXPECT_NE(CallRecord(record, "PreUNInstall")
                  .find("component Offered action=0 modeindex=2 selected=1"),
              std::string::npos)
        << record;
    EXPECT_EQ(Untouched(), "") << output;
}

// The plug-in finds a component by the part of its Id after the last ":" or "."; its Id, as the
// plug-in reads it, stays whole. Two components of one such name are refused before anything.
TEST_F(EnginePlugin, APluginFindsAComponentByTheLastPartOfItsId) {
    idPrefix = "Host:Sync.";
    std::string output;
    ASSERT_EQ(Install("plug\\recording_plugin.dll", output), ExitOk) << output;
    const std::string preInstall = CallRecord(ReadFileBytes(Record()), "PreInstall");
    // The plug-in looked the components up by their names; the map lists them by their Ids.
    EXPECT_NE(preInstall.find("component Skipped action=8"), std::string::npos) << preInstall;
    EXPECT_NE(preInstall.find("component Offered action=3"), std::string::npos) << preInstall;
    EXPECT_NE(preInstall.find("group1 Host:Sync.Main Host:Sync.Synced"), std::string::npos)
        << preInstall;
    for (const auto& row : {std::make_pair(Product() + "\\Skipped.txt", false),
                            std::make_pair(Product() + "\\Offered.txt", true),
                            std::make_pair(Retargeted() + "\\Synced.txt", true)}) {
        std::printf("%-70s expected %d there %d\n", row.first.c_str(), row.second,
                    Exists(row.first));
        EXPECT_EQ(Exists(row.first), row.second) << row.first;
    }
    ASSERT_EQ(Remove(output), ExitOk) << output;
    EXPECT_EQ(Untouched(), "") << output;

    idPrefix = "";
    std::string text = Description("plug\\recording_plugin.dll") +
                       "\r\n[Component Other:Synced]\r\nSelected = 1\r\n";
    ASSERT_TRUE(WriteFileBytes(medium / "product.txt", text));
    ASSERT_TRUE(DeleteFileA(Record().c_str()));
    EXPECT_EQ(
        Run("mode=install \"description=" + (medium / "product.txt") + "\" \"log=" + Log() + "\"",
            output),
        ExitRefused)
        << output;
    EXPECT_NE(output.find("the plug-in would find two components by the name \"Synced\""),
              std::string::npos)
        << output;
    EXPECT_EQ(Untouched(), "") << output;
    EXPECT_EQ(ReadFileBytes(Record()), ""); // no entry point was called
}

TEST_F(EnginePlugin, APluginThatCannotServeEndsTheInstallationBeforeAnythingChanged) {
    struct Row {
        const char* plugin;
        long code;
        const char* said;
    } rows[] = {
        {"plug\\recording_plugin_partial.dll", ExitPluginFailed, "has no entry point UNInitialize"},
        {"plug\\absent.dll", ExitRefused, "is missing"},
    };
    std::printf("%-36s %-5s %s\n", "plug-in", "exit", "line");
    for (const Row& row : rows) {
        std::string output;
        const long code = Install(row.plugin, output);
        const std::vector<std::string> said = LinesWith(output, "plugin ");
        const std::vector<std::string> refused = LinesWith(output, "refused ");
        std::printf("%-36s %-5ld %s\n", row.plugin, code,
                    Joined(said.empty() ? refused : said).c_str());
        EXPECT_EQ(code, row.code) << output;
        EXPECT_NE(output.find(row.said), std::string::npos) << output;
        EXPECT_EQ(ReadFileBytes(Record()), "") << "no entry point may be called";
        EXPECT_EQ(Untouched(), "") << output;
    }
}

TEST_F(EnginePlugin, ACrashInsideAnEntryPointEndsTheRunWithWhatItLeftSaid) {
    if (testsupport::NotRunnableOnEmulatedCpu("a crash inside the plug-in under qemu-user"))
        GTEST_SKIP();
    struct Row {
        const char* entry;
        const char* said;
        bool installed; // the committed installation stays
    } rows[] = {
        {"Initialize", "nothing was installed", false},
        {"PreInstall", "nothing was installed", false},
        {"PostInstall", "the installation is complete and stays", true},
        {"UNInitialize", "the installation is complete and stays", true},
    };
    std::printf("%-14s %-5s %-10s %s\n", "crash in", "exit", "installed", "line");
    for (const Row& row : rows) {
        DeleteFileA(Record().c_str());
        Crash(row.entry);
        std::string output;
        const long code = Install("plug\\recording_plugin.dll", output);
        Crash("");
        const std::vector<std::string> crashed =
            LinesWith(output, "plugin " + std::string(row.entry) + " crashed");
        std::printf("%-14s %-5ld %-10d %s\n", row.entry, code, Exists(Log()),
                    Joined(crashed).c_str());
        EXPECT_EQ(code, ExitPluginCrashed) << output;
        ASSERT_EQ(crashed.size(), 1u) << output;
        EXPECT_NE(crashed[0].find(row.said), std::string::npos) << crashed[0];
        const std::vector<std::string> calls = LinesWith(ReadFileBytes(Record()), "call ");
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), "call " + std::string(row.entry)) << "a call after the crash";
        if (row.installed) {
            EXPECT_TRUE(Exists(Product() + "\\Main.txt"));
            EXPECT_TRUE(Exists(Retargeted() + "\\Synced.txt"));
            ASSERT_EQ(Remove(output), ExitOk) << output;
        }
        EXPECT_EQ(Untouched(), "") << output;
    }

    // At removal: a crash in PreUNInstall removes nothing; the next removal removes it all.
    std::string output;
    ASSERT_EQ(Install("plug\\recording_plugin.dll", output), ExitOk) << output;
    Crash("PreUNInstall");
    const long code = Remove(output);
    Crash("");
    std::printf("crash in PreUNInstall: exit %ld, %s\n", code,
                Joined(LinesWith(output, "plugin ")).c_str());
    EXPECT_EQ(code, ExitPluginCrashed) << output;
    EXPECT_NE(output.find("plugin PreUNInstall crashed"), std::string::npos) << output;
    EXPECT_TRUE(Exists(Product() + "\\Main.txt"));
    EXPECT_TRUE(Exists(Log()));
    ASSERT_EQ(Remove(output), ExitOk) << output;
    EXPECT_EQ(Untouched(), "") << output;
}

TEST_F(EnginePlugin, ARemovalWhoseKeptPluginIsGoneRemovesNothing) {
    std::string output;
    ASSERT_EQ(Install("plug\\recording_plugin.dll", output), ExitOk) << output;
    const std::string aside = folder / "kept.dll";
    ASSERT_TRUE(MoveFileA(KeptCopy().c_str(), aside.c_str()));
    const long code = Remove(output);
    std::printf("kept copy gone: exit %ld, %s\n", code,
                Joined(LinesWith(output, "plugin ")).c_str());
    EXPECT_EQ(code, ExitPluginFailed) << output;
    EXPECT_NE(output.find("is missing: nothing was removed"), std::string::npos) << output;
    EXPECT_TRUE(Exists(Product() + "\\Main.txt"));
    EXPECT_TRUE(Exists(Log()));
    ASSERT_TRUE(MoveFileA(aside.c_str(), KeptCopy().c_str()));
    ASSERT_EQ(Remove(output), ExitOk) << output;
    EXPECT_EQ(Untouched(), "") << output;
}

// The real plug-in from the tree, with a HotSync stand-in in the registry: only the conduit
// component that fits the HotSync found is installed, and the feature's files go to the HotSync
// folder the plug-in points the custom macros at; without HotSync none of the feature is.
TEST_F(EnginePlugin, TheTreesPluginInstallsOnlyTheFittingConduit) {
    ASSERT_TRUE(CopyFileA(testsupport::WindowsPathOf(TARVO_MORVIK_DLL).c_str(),
                          (medium / "Morvik.dll").c_str(), FALSE));
    struct Row {
        const char* hotsync; // "1.1", "2.x" or "none"
        bool feature, conduit11, conduit20;
    } rows[] = {{"1.1", true, true, false}, {"none", false, false, false}};
    std::printf("%-6s %-40s %s\n", "hotsync", "file", "there");
    for (const Row& row : rows) {
        plugintest::HotSyncRegistry hotsync;
        TempFolder hotsyncFolder;
        if (std::string(row.hotsync) == "1.1")
            plugintest::HotSyncRegistry::InstallFirstGeneration(true, hotsyncFolder.Path());
        std::string text = "[Product]\r\nName = " + ProductName() +
                           "\r\nDestination = " + Product() +
                           "\r\nPlugin = Morvik.dll\r\n\r\n[Macros]\r\n";
        const char* components[][4] = {{"Main", "1", "", "<D>"},
                                       {"QX9_PalmPilot", "1", "<CUSTPALM", "<CUSTPALMD>"},
                                       {"PilotConduit1_1", "0", "<CUSTC11", "<CUSTC11D>"},
                                       {"PilotConduit2_0", "0", "<CUSTC20", "<CUSTC20D>"}};
        for (const auto& c : components)
            if (*c[2])
                text += std::string(c[2]) + " = " + Original() + "\r\n";
        for (const auto& c : components)
            text += std::string("\r\n[Component ") + c[0] + "]\r\nSelected = " + c[1] + "\r\n" +
                    (*c[2] ? std::string("Macro = ") + c[2] + "\r\n" : "");
        for (const auto& c : components)
            text += std::string("\r\n[WSetupFile ") + c[0] + "File]\r\nComponent = " + c[0] +
                    "\r\nSourceDir = <S>\r\nMediaName = app.txt\r\nDestDir = " + c[3] +
                    "\r\nDestName = " + c[0] + ".txt\r\nAttributes = 010000\r\n";
        ASSERT_TRUE(WriteFileBytes(medium / "product.txt", text));
        std::string output;
        ASSERT_EQ(Run("mode=install \"description=" + (medium / "product.txt") +
                          "\" \"log=" + Log() + "\"",
                      output),
                  ExitOk)
            << output;
        const std::string where = row.feature ? hotsyncFolder.Path() : Original();
        const struct {
            std::string path;
            bool expected;
        } files[] = {{Product() + "\\Main.txt", true},
                     {where + "\\QX9_PalmPilot.txt", row.feature},
                     {where + "\\PilotConduit1_1.txt", row.conduit11},
                     {where + "\\PilotConduit2_0.txt", row.conduit20},
                     {Original() + "\\PilotConduit2_0.txt", false}};
        for (const auto& file : files) {
            std::printf("%-6s %-40s %d\n", row.hotsync,
                        file.path.substr(file.path.rfind('\\') + 1).c_str(), Exists(file.path));
            EXPECT_EQ(Exists(file.path), file.expected) << file.path << "\n" << output;
        }
        std::printf("%s\n", Joined(LinesWith(output, "plugin choice")).c_str());
        ASSERT_EQ(Remove(output), ExitOk) << output;
        EXPECT_EQ(Untouched(), "") << output;
        EXPECT_FALSE(Exists(hotsyncFolder.Path() + "\\PilotConduit1_1.txt"));
    }
}

} // namespace
