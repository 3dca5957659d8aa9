// Custom DLL calls and executables over the test material: custom_entry.dll records what its
// entry received and answers what the test asks (through the environment), recorder.exe records
// how it was started. Every test works on copies in a temporary folder of its own.
#include "setup/core/handles.h"
#include "setup/elements/custom_code.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "material/material.h"
#include "setup/core/macros.h"
#include "support/fixtures.h"

namespace {

// One environment variable for the scope of a test; the DLL entries read it in-process.
class EnvSetting {
public:
    EnvSetting(const char* name, const char* value) : m_name(name) {
        SetEnvironmentVariableA(name, value);
    }
    ~EnvSetting() { SetEnvironmentVariableA(m_name, nullptr); }

private:
    const char* m_name;
};

// A line "key=value" of a log written by the material; "<none>" when the key is missing.
std::string LogValue(const std::string& log, const std::string& key) {
    const std::string mark = key + "=";
    std::size_t at = log.compare(0, mark.size(), mark) == 0 ? 0 : log.find("\n" + mark);
    if (at == std::string::npos)
        return "<none>";
    if (at != 0)
        ++at;
    const std::size_t start = at + mark.size();
    return log.substr(start, log.find('\n', start) - start);
}

// The content of a file that a started program writes, once it has some (at most 20 s).
// The file's content once a program that was not waited for has written it: not empty, and the
// same in two reads 50 ms apart (a read in the middle of the writing sees part of it).
std::string AwaitFile(const std::string& path) {
    std::string previous;
    for (int i = 0; i < 400; ++i) {
        const std::string content = testsupport::ReadFileBytes(path);
        if (!content.empty() && content == previous)
            return content;
        previous = content;
        Sleep(50);
    }
    return previous;
}

HWND FakeWindow() {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x4711));
}

// Enables the macro context with "<D>" naming a folder with a blank, and clears the main
// window source, for one test.
class CustomCodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetupContext& context = TheSetupContext();
        m_savedD = context.MacroD.str();
        m_savedEnabled = context.Enabled;
        context.Enabled = 1;
        context.MacroD = "C:\\Product Folder";
    }
    void TearDown() override {
        SetupContext& context = TheSetupContext();
        context.MacroD = m_savedD;
        context.Enabled = m_savedEnabled;
    }

    // Copies a file of a material set into the test folder (under `name` when given).
    std::string Copy(const char* set, const std::string& file, const std::string& name = "") {
        const std::string target = m_folder / (name.empty() ? file : name);
        EXPECT_TRUE(material::CopyTo(set, file, target)) << file;
        return target;
    }
    template <class Element> void Name(Element& element, const std::string& file) {
        element.DestDir = m_folder.Path();
        element.DestName = file;
    }
    std::string EntryLog() const {
        return testsupport::ReadFileBytes(m_folder / "custom_entry.dll.log");
    }

    testsupport::TempFolder m_folder;
    std::string m_savedD;
    int m_savedEnabled = 0;
    OverrideForTesting<MainWindowSource> m_noSource{MainWindowSourceForTesting(), nullptr};
};

using testsupport::DirectionFlagSet;

} // namespace

TEST_F(CustomCodeTest, EntryResultsBecomeTheInstallStatus) {
    Copy("custom", "custom_entry.dll");
    WSetupCustomDLL dll;
    Name(dll, "custom_entry.dll");
    const struct {
        const char* result;
        int status;
    } cases[] = {{"0", CustomDllCalled},
                 {"2", CustomDllFailed},
                 {"3", 3},
                 {"5", 5},
                 {"6", 6},
                 {"1", CustomDllFailed},
                 {"-1", CustomDllFailed},
                 {"8", CustomDllFailed}}; // 3-6: the entry's own answer
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        EnvSetting result("TARVO_CUSTOM_RESULT", c.result);
        EXPECT_EQ(dll.InstallStep(0), c.status);
        EXPECT_EQ(dll.Status, c.status);
    }
    EXPECT_EQ(LogValue(EntryLog(), "calls"), "1") << "the DLL is unloaded after each call";
}

TEST_F(CustomCodeTest, UninstallCallsTheEntryWhateverItAnswers) {
    Copy("custom", "custom_entry.dll");
    WUninstallCustomDLL dll;
    Name(dll, "custom_entry.dll");
    dll.Arguments = "bye";
    dll.ChangeMark = 1;
    EnvSetting result("TARVO_CUSTOM_RESULT", "2");
    EXPECT_EQ(dll.Uninstall(), CustomDllCalled);
    EXPECT_EQ(dll.ChangeMark, 0);
    EXPECT_EQ(LogValue(EntryLog(), "arguments"), "bye");
}

TEST_F(CustomCodeTest, DisabledCallsNothing) {
    Copy("custom", "custom_entry.dll");
    WSetupCustomDLL dll;
    Name(dll, "custom_entry.dll");
    dll.Disabled = 1;
    EnvSetting result("TARVO_CUSTOM_RESULT", "2");
    EXPECT_EQ(dll.InstallStep(0), CustomDllCalled);
    EXPECT_EQ(EntryLog(), "");
    dll.DestName = "absent.dll";
    EXPECT_EQ(dll.InstallStep(0), CustomDllCalled) << "disabled before the file is looked for";
}

TEST_F(CustomCodeTest, ArgumentsAreExpandedForTheEntryAndKeptInTheElement) {
    Copy("custom", "custom_entry.dll");
    WSetupCustomDLL dll;
    Name(dll, "custom_entry.dll");
    dll.Arguments = "<D>\\setup.ini";
    EXPECT_EQ(dll.InstallStep(0), CustomDllCalled);
    EXPECT_EQ(LogValue(EntryLog(), "arguments"), "C:\\Product Folder\\setup.ini");
    EXPECT_EQ(dll.Arguments, "<D>\\setup.ini");
}

TEST_F(CustomCodeTest, TheEntryGetsItsOwnCopyOfTheArguments) {
    Copy("custom", "custom_entry.dll");
    WSetupCustomDLL dll;
    Name(dll, "custom_entry.dll");
    dll.Arguments = "plain text";
    {
        EnvSetting scribble("TARVO_CUSTOM_SCRIBBLE", "1");
        EXPECT_EQ(dll.InstallStep(0), CustomDllCalled);
    }
    EXPECT_EQ(dll.Arguments, "plain text");
    EXPECT_EQ(dll.InstallStep(0), CustomDllCalled);
    EXPECT_EQ(LogValue(EntryLog(), "arguments"), "plain text");
}

TEST_F(CustomCodeTest, TheMainWindowReachesTheEntry) {
    Copy("custom", "custom_entry.dll");
    WSetupCustomDLL dll;
    Name(dll, "custom_entry.dll");
    EXPECT_EQ(dll.InstallStep(0), CustomDllCalled);
    EXPECT_EQ(LogValue(EntryLog(), "window"), "0") << "no source: null";
    OverrideForTesting source(MainWindowSourceForTesting(), &FakeWindow);
    EXPECT_EQ(ApplicationMainWindow(), FakeWindow());
    EXPECT_EQ(dll.InstallStep(0), CustomDllCalled);
    EXPECT_EQ(LogValue(EntryLog(), "window"), std::to_string(0x4711));
}

// Each crash three times in a row, then a normal call; the element answers its own codes.
static void CrashThreeTimesThenCall(WSetupCustomDLL& install, WUninstallCustomDLL& uninstall,
                                    std::initializer_list<const char*> kinds) {
    for (const char* kind : kinds) {
        SCOPED_TRACE(kind);
        {
            EnvSetting crash("TARVO_CUSTOM_CRASH", kind);
            EXPECT_EQ(install.InstallStep(0), CustomDllFailed);
            EXPECT_EQ(install.InstallStep(0), CustomDllFailed);
            EXPECT_EQ(uninstall.Uninstall(), CustomDllFailed);
            EXPECT_EQ(DirectionFlagSet(), false) << "the guard hands back a clear flag";
        }
        EXPECT_EQ(install.InstallStep(0), CustomDllCalled);
    }
    EnvSetting result("TARVO_CUSTOM_RESULT", "4");
    EXPECT_EQ(install.InstallStep(0), 4);
    EXPECT_EQ(uninstall.Uninstall(), CustomDllCalled);
}

TEST_F(CustomCodeTest, CrashingEntriesOneAfterAnotherAndTheSetupGoesOn) {
    Copy("custom", "custom_entry.dll");
    WSetupCustomDLL install;
    Name(install, "custom_entry.dll");
    WUninstallCustomDLL uninstall;
    Name(uninstall, "custom_entry.dll");
    // A foreign exception code (raised, not a hardware fault).
    CrashThreeTimesThenCall(install, uninstall, {"foreign"});
}

TEST_F(CustomCodeTest, HardwareFaultsOneAfterAnotherAndTheSetupGoesOn) {
    // On qemu's user-mode emulator these reach Wine with trap number -1 and the direction flag
    // as the entry left it: the fault with the flag set ends the emulator itself.
    TARVO_SKIP_ON_EMULATED_CPU("qemu-user hands hardware faults to Wine with trap number -1 and "
                               "the direction flag left set (a fault with the flag set ends "
                               "qemu: uncaught target signal 11)");
    Copy("custom", "custom_entry.dll");
    WSetupCustomDLL install;
    Name(install, "custom_entry.dll");
    WUninstallCustomDLL uninstall;
    Name(uninstall, "custom_entry.dll");
    // An access violation, a division by zero and a fault with the direction flag set.
    CrashThreeTimesThenCall(install, uninstall, {"1", "divide", "std"});
}

TEST_F(CustomCodeTest, ADllThatNeedsACompanionBesideItIsLoaded) {
    const std::string path = Copy("custom", "custom_companion.dll");
    Copy("custom", "custom_companion_dep.dll");
    // The platform's standard search does not look beside the DLL.
    LoadedModule plain(LoadLibraryA(path.c_str()));
    EXPECT_FALSE(plain);
    WSetupCustomDLL dll;
    Name(dll, "custom_companion.dll");
    EXPECT_EQ(dll.InstallStep(0), 5) << "the entry answered the companion's value";
}

TEST_F(CustomCodeTest, AbsentUnloadableAndEntrylessDlls) {
    WSetupCustomDLL install;
    WUninstallCustomDLL uninstall;
    Name(install, "absent.dll");
    Name(uninstall, "absent.dll");
    EXPECT_EQ(install.InstallStep(0), CustomDllAbsent);
    EXPECT_EQ(install.Verify(), CustomDllAbsent);
    EXPECT_EQ(uninstall.Uninstall(), CustomDllAbsent);

    ASSERT_TRUE(testsupport::WriteFileBytes(m_folder / "text.dll", "not a module"));
    Copy("versioned", "ver_none.dll");
    for (const char* file : {"text.dll", "ver_none.dll"}) {
        SCOPED_TRACE(file);
        Name(install, file);
        Name(uninstall, file);
        EXPECT_EQ(install.InstallStep(0), CustomDllCalled);
        EXPECT_EQ(install.Verify(), CustomDllCalled);
        EXPECT_EQ(uninstall.Uninstall(), CustomDllCalled);
    }
    bool crashed = true;
    EXPECT_EQ(CallCustomEntry(nullptr, m_folder / "text.dll", "", crashed), 0);
    EXPECT_FALSE(crashed);
}

// ---------------------------------------------------------------------------------------------
// Executables

namespace {

class ExecutableTest : public CustomCodeTest {
protected:
    // recorder.exe copied to `relative` (folders made); returns its full path.
    std::string Recorder(const std::string& relative) {
        const std::string path = m_folder / relative;
        const std::string parent = path.substr(0, path.find_last_of('\\'));
        CreateDirectoryA(parent.c_str(), nullptr);
        EXPECT_TRUE(material::CopyTo("programs", "recorder.exe", path));
        return path;
    }
    template <class Element> void Place(Element& element, const std::string& path) {
        const std::size_t slash = path.find_last_of('\\');
        element.DestDir = path.substr(0, slash);
        element.DestName = path.substr(slash + 1);
    }
};

} // namespace

TEST_F(ExecutableTest, RunAndWaitRecordsTheCommandLineBeforeReturning) {
    const std::string program = Recorder("recorder.exe");
    WSetupExecutable executable;
    Place(executable, program);
    executable.Arguments = "<D> second";
    EXPECT_EQ(executable.InstallStep(0), ProgramRanAndEnded);
    const std::string log = testsupport::ReadFileBytes(program + ".log");
    EXPECT_EQ(LogValue(log, "commandline"), "  C:\\Product Folder second");
    EXPECT_EQ(LogValue(log, "showflag"), "0");

    DeleteFileA((program + ".log").c_str());
    executable.Arguments = "";
    EXPECT_EQ(executable.InstallStep(0), ProgramRanAndEnded);
    EXPECT_EQ(LogValue(testsupport::ReadFileBytes(program + ".log"), "commandline"), "  ")
        << "empty Arguments: two blanks";

    DeleteFileA((program + ".log").c_str());
    executable.RunMode = 9;
    EXPECT_EQ(executable.InstallStep(0), ProgramRanAndEnded) << "an unlisted mode runs and waits";
    EXPECT_NE(testsupport::ReadFileBytes(program + ".log"), "");
}

TEST_F(ExecutableTest, RunWithoutWaiting) {
    const std::string program = Recorder("recorder.exe");
    WUnistallExecutable executable;
    Place(executable, program);
    executable.RunMode = RunNoWait;
    executable.Arguments = "<D>";
    executable.ChangeMark = 1;
    EXPECT_EQ(executable.Uninstall(), ProgramStarted);
    EXPECT_EQ(executable.ChangeMark, 0);
    EXPECT_EQ(LogValue(AwaitFile(program + ".log"), "commandline"), "  C:\\Product Folder");
}

TEST_F(ExecutableTest, ShellOpenStartsInTheProgramsFolderShown) {
    const std::string program = Recorder("Shell Dir\\recorder.exe");
    WSetupExecutable executable;
    Place(executable, program);
    executable.RunMode = RunShellOpen;
    executable.Arguments = "<D>";
    EXPECT_EQ(executable.InstallStep(0), ProgramShellOpened);
    const std::string log = AwaitFile(program + ".log");
    const std::string commandLine = LogValue(log, "commandline");
    EXPECT_NE(commandLine.find("recorder.exe"), std::string::npos) << commandLine;
    EXPECT_EQ(commandLine.substr(commandLine.size() - 18), " C:\\Product Folder") << commandLine;
    EXPECT_EQ(LogValue(log, "folder"), m_folder / "Shell Dir");
    EXPECT_EQ(LogValue(log, "showflag"), "1");
    EXPECT_EQ(LogValue(log, "show"), "5");
}

TEST_F(ExecutableTest, ShellOpenRefusesParametersLongerThanACommandLine) {
    const std::string program = Recorder("recorder.exe");
    WSetupExecutable executable;
    Place(executable, program);
    executable.RunMode = RunShellOpen;
    executable.Arguments = std::string(LongestCommandLine, 'a');
    EXPECT_EQ(executable.InstallStep(0), ShellOpenFailed);
    Sleep(500);
    EXPECT_EQ(GetFileAttributesA((program + ".log").c_str()), INVALID_FILE_ATTRIBUTES)
        << "nothing was started with its parameters cut";
}

TEST_F(ExecutableTest, SimpleExecutionQuotesAPathWithBlanks) {
    // Unquoted, "<folder>\Prog Dir\app.exe x" would start <folder>\Prog.exe.
    const std::string decoy = Recorder("Prog.exe");
    const std::string program = Recorder("Prog Dir\\app.exe");
    WUnistallExecutable executable;
    Place(executable, program);
    executable.RunMode = RunWinExec;
    executable.Arguments = "<D>";
    EXPECT_EQ(executable.Uninstall(), ProgramExecuted);
    const std::string log = AwaitFile(program + ".log");
    EXPECT_EQ(LogValue(log, "commandline"), "\"" + program + "\" C:\\Product Folder");
    EXPECT_EQ(LogValue(log, "show"), "5");
    EXPECT_EQ(GetFileAttributesA((decoy + ".log").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ExecutableTest, BatchFilesRunThroughTheCommandInterpreter) {
    const std::string folder = m_folder / "Batch Dir";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string batch = folder + "\\run it.bat";
    const std::string output = folder + "\\out.txt";
    ASSERT_TRUE(testsupport::WriteFileBytes(batch, "@echo %*> \"" + output + "\"\r\n"));
    WSetupExecutable executable;
    Place(executable, batch);
    executable.Arguments = "alpha <D>";
    EXPECT_EQ(executable.InstallStep(0), ProgramRanAndEnded);
    EXPECT_EQ(testsupport::ReadFileBytes(output), "alpha C:\\Product Folder\r\n");

    DeleteFileA(output.c_str());
    executable.RunMode = RunNoWait;
    executable.Arguments = "beta";
    EXPECT_EQ(executable.InstallStep(0), ProgramStarted);
    EXPECT_EQ(AwaitFile(output), "beta\r\n");
}

TEST_F(ExecutableTest, FailureCodesOfEveryMode) {
    WSetupExecutable install;
    WUnistallExecutable uninstall;
    Place(install, m_folder / "absent.exe");
    Place(uninstall, m_folder / "absent.exe");
    EXPECT_EQ(install.InstallStep(0), ProgramAbsent);
    EXPECT_EQ(uninstall.Uninstall(), ProgramAbsent);

    // A file that exists but is no program.
    const std::string broken = m_folder / "broken.exe";
    ASSERT_TRUE(testsupport::WriteFileBytes(broken, "not a program"));
    Place(install, broken);
    const struct {
        int mode;
        int status;
    } cases[] = {{RunAndWait, RunAndWaitFailed},
                 {RunNoWait, StartFailed},
                 {RunShellOpen, ShellOpenFailed},
                 {RunWinExec, ExecuteFailed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        install.RunMode = c.mode;
        EXPECT_EQ(install.InstallStep(0), c.status);
    }
}
