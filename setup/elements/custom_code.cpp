#include "setup/elements/custom_code.h"

#include <shellapi.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/process.h"
#include "setup/core/record.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"
#include "setup/elements/crash_guard.h"
#include "setup/elements/element_paths.h"

FW_IMPLEMENT_DYNCREATE(WUninstallCustomDLL, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupCustomDLL, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WUnistallExecutable, WSetupElement)
FW_IMPLEMENT_DYNCREATE(WSetupExecutable, WSetupElement)

namespace {

Seam<MainWindowSource> g_mainWindowSource{nullptr};

// Compared byte for byte from the end: the suffixes begin with ".", which is never the second
// byte of a double-byte character, so a match is always a match of whole characters.
bool EndsWith(const std::string& text, const char* suffix) {
    const std::string tail(suffix);
    return text.size() >= tail.size() &&
           EqualText(text.substr(text.size() - tail.size()), tail, false);
}

bool IsBatchFile(const std::string& program) {
    const std::string name = FileNameOf(program);
    return EndsWith(name, ".bat") || EndsWith(name, ".cmd");
}

// The command interpreter: COMSPEC, else the platform family's own.
std::string CommandInterpreter() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableA("COMSPEC", buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer)
        return std::string(buffer, n);
    if (ThePlatformVersion().PlatformId() == VER_PLATFORM_WIN32_WINDOWS)
        return JoinPath(TheSystemFolders().Windows(), "COMMAND.COM", false);
    return JoinPath(TheSystemFolders().System(), "cmd.exe", false);
}

// The interpreter's arguments that run a batch file with `arguments` (which begin with a
// blank). The NT interpreter takes the whole command in quotes when it begins with a quote;
// the Windows 95/98 one gets the batch file's short path, which holds no blanks.
std::string BatchArguments(const std::string& interpreter, const std::string& batch,
                           const std::string& arguments) {
    if (EqualText(FileNameOf(interpreter), "COMMAND.COM", false)) {
        std::string shortPath = ShortPathOf(batch);
        if (shortPath.empty())
            shortPath = "\"" + batch + "\"";
        return "/c " + shortPath + arguments;
    }
    return "/c \"\"" + batch + "\"" + arguments + "\"";
}

std::string QuotedWhenBlank(const std::string& path) {
    return ContainsText(path, " ", true) ? "\"" + path + "\"" : path;
}

} // namespace

Seam<MainWindowSource>& MainWindowSourceForTesting() {
    return g_mainWindowSource;
}

HWND ApplicationMainWindow() {
    const MainWindowSource source = g_mainWindowSource.Get();
    return source ? source() : nullptr;
}

int CallCustomEntry(HWND window, const std::string& dllPath, const std::string& arguments,
                    bool& crashed) {
    crashed = false;
    LoadedModule dll(LoadLibraryExA(dllPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!dll)
        return 0;
    FARPROC entry = GetProcAddress(dll.Get(), "CCustDLLEntry");
    if (!entry)
        return 0;
    std::vector<char> text(arguments.begin(), arguments.end());
    text.push_back('\0');
    const std::uintptr_t entryArguments[] = {reinterpret_cast<std::uintptr_t>(window),
                                             reinterpret_cast<std::uintptr_t>(text.data())};
    long result = 0;
    CSetupCException crash(0);
    crashed = !CallGuardedEntry(entry, entryArguments, 2, result, crash);
    return static_cast<int>(result);
}

int RunProgram(const std::string& program, const std::string& arguments, int runMode) {
    const std::string blankAndArguments = " " + arguments;
    if (runMode == RunShellOpen) {
        // The shell starts the program with its quoted path, a blank and the parameters, and
        // cuts what does not fit.
        if (program.size() + 3 + arguments.size() > LongestCommandLine)
            return 7;
        const std::string folder = ParentOf(program);
        const HINSTANCE result = ShellExecuteA(nullptr, "OPEN", program.c_str(), arguments.c_str(),
                                               folder.c_str(), SW_SHOW);
        return reinterpret_cast<std::intptr_t>(result) > 32 ? 2 : 7;
    }
    if (runMode == RunWinExec) {
        const std::string commandLine = QuotedWhenBlank(program) + blankAndArguments;
        return WinExec(commandLine.c_str(), SW_SHOW) >= 32 ? 3 : 8;
    }
    std::string file = program;
    std::string startArguments = blankAndArguments;
    if (IsBatchFile(program)) {
        file = CommandInterpreter();
        startArguments = BatchArguments(file, program, blankAndArguments);
    }
    if (runMode == RunNoWait)
        return StartProgram(file, startArguments) ? 1 : 6;
    return StartProgramAndWait(file, startArguments) ? 0 : 5;
}

// ---------------------------------------------------------------------------------------------
// WUninstallCustomDLL

WUninstallCustomDLL::WUninstallCustomDLL() : WSetupElement(KindUninstallCustomDLL) {}

int WUninstallCustomDLL::Install() {
    return Status = 0;
}
int WUninstallCustomDLL::Uninstall() {
    ChangeMark = 0;
    const std::string path = ElementPath(*this, false);
    if (!FileExists(path))
        return Status = 1;
    bool crashed = false;
    CallCustomEntry(ApplicationMainWindow(), path, ExpandText(Arguments), crashed);
    return Status = crashed ? 7 : 0;
}
int WUninstallCustomDLL::Verify() {
    return Status = 0;
}

FwString WUninstallCustomDLL::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WUninstallCustomDLL::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(ExpandText(DestDir.str()))
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Empty(3)
        .Result();
}

FwString WUninstallCustomDLL::GetArguments() const {
    return Arguments;
}
void WUninstallCustomDLL::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}

// ---------------------------------------------------------------------------------------------
// WSetupCustomDLL

WSetupCustomDLL::WSetupCustomDLL() : WSetupElement(KindCustomDLL) {}

int WSetupCustomDLL::Uninstall() {
    return Status = 0;
}
int WSetupCustomDLL::Verify() {
    return Status = FileExists(ElementPath(*this, false)) ? 0 : 1;
}
int WSetupCustomDLL::InstallStep(int shortNames) {
    if (Disabled)
        return Status = 0;
    const std::string path = ElementPath(*this, shortNames != 0);
    if (!FileExists(path))
        return Status = 1;
    bool crashed = false;
    const int result =
        CallCustomEntry(ApplicationMainWindow(), path, ExpandText(Arguments), crashed);
    if (crashed)
        return Status = 7;
    const bool passedOn = result == 0 || (result >= 3 && result <= 6);
    return Status = passedOn ? result : 7;
}

FwString WSetupCustomDLL::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Flag(Disabled)
        .Result();
}

FwString WSetupCustomDLL::GetShortRecord() {
    return FwString();
}

FwString WSetupCustomDLL::GetArguments() const {
    return Arguments;
}
void WSetupCustomDLL::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}

// ---------------------------------------------------------------------------------------------
// WUnistallExecutable

WUnistallExecutable::WUnistallExecutable() : WSetupElement(KindUninstallExecutable) {}

int WUnistallExecutable::Install() {
    return Status = 0;
}
int WUnistallExecutable::Uninstall() {
    ChangeMark = 0;
    const std::string path = ElementPath(*this, false);
    if (!FileExists(path))
        return Status = 4;
    return Status = RunProgram(path, ExpandText(Arguments), RunMode);
}
int WUnistallExecutable::Verify() {
    return Status = 0;
}

FwString WUnistallExecutable::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Number(RunMode)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WUnistallExecutable::GetShortRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Number(RunMode)
        .Empty(2)
        .Result();
}

FwString WUnistallExecutable::GetArguments() const {
    return Arguments;
}
void WUnistallExecutable::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}
int WUnistallExecutable::GetRunMode() const {
    return RunMode;
}
void WUnistallExecutable::SetRunMode(int mode) {
    RunMode = mode;
}

// ---------------------------------------------------------------------------------------------
// WSetupExecutable

WSetupExecutable::WSetupExecutable() : WSetupElement(KindExecutable) {}

int WSetupExecutable::Uninstall() {
    return Status = 0;
}
int WSetupExecutable::Verify() {
    return Status = 0;
}
int WSetupExecutable::InstallStep(int shortNames) {
    const std::string path = ElementPath(*this, shortNames != 0);
    if (!FileExists(path))
        return Status = 4;
    return Status = RunProgram(path, ExpandText(Arguments), RunMode);
}

FwString WSetupExecutable::GetFullRecord() {
    return RecordBuilder()
        .Text(Id)
        .Text(DestDir)
        .Text(DestName)
        .Text(Arguments)
        .Text(OptionFlags)
        .Number(RunMode)
        .Flag(RemoveOnUninstall)
        .Text(ExtraText)
        .Flag(RecordFlag)
        .Result();
}

FwString WSetupExecutable::GetShortRecord() {
    return FwString();
}

FwString WSetupExecutable::GetArguments() const {
    return Arguments;
}
void WSetupExecutable::SetArguments(FwString arguments) {
    Arguments = std::move(arguments);
}
int WSetupExecutable::GetRunMode() const {
    return RunMode;
}
void WSetupExecutable::SetRunMode(int mode) {
    RunMode = mode;
}
