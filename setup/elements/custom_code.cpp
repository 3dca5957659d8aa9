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
            return ShellOpenFailed;
        const std::string folder = ParentOf(program);
        const HINSTANCE result = ShellExecuteA(nullptr, "OPEN", program.c_str(), arguments.c_str(),
                                               folder.c_str(), SW_SHOW);
        return reinterpret_cast<std::intptr_t>(result) > 32 ? ProgramShellOpened : ShellOpenFailed;
    }
    if (runMode == RunWinExec) {
        const std::string commandLine = QuotedWhenBlank(program) + blankAndArguments;
        return WinExec(commandLine.c_str(), SW_SHOW) >= 32 ? ProgramExecuted : ExecuteFailed;
    }
    std::string file = program;
    std::string startArguments = blankAndArguments;
    if (IsBatchFile(program)) {
        file = CommandInterpreter();
        startArguments = BatchArguments(file, program, blankAndArguments);
    }
    if (runMode == RunNoWait)
        return StartProgram(file, startArguments) ? ProgramStarted : StartFailed;
    return StartProgramAndWait(file, startArguments) ? ProgramRanAndEnded : RunAndWaitFailed;
}

namespace {

std::string ExpandedPath(const std::string& text) {
    return ExpandText(text);
}

constexpr ElementField UninstallCustomDLLFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("DestDir", &WSetupElement::DestDir, 2, ShortForm::KeptExpanded),
    TextField("DestName", &WSetupElement::DestName, 3, ShortForm::Kept),
    TextField("Arguments", &WUninstallCustomDLL::Arguments, 4, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 5, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 6, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 7, ShortForm::Blank),
};

constexpr ElementField CustomDLLFields[] = {
    TextField("Id", &WSetupElement::Id, 1),
    TextField("DestDir", &WSetupElement::DestDir, 2),
    TextField("DestName", &WSetupElement::DestName, 3),
    TextField("Arguments", &WSetupCustomDLL::Arguments, 4),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 5),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 6),
    TextField("ExtraText", &WSetupElement::ExtraText, 7),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 8),
    FlagField("Disabled", &WSetupCustomDLL::Disabled, 9),
};

constexpr ElementField UninstallExecutableFields[] = {
    TextField("Id", &WSetupElement::Id, 1, ShortForm::Kept),
    TextField("DestDir", &WSetupElement::DestDir, 2, ShortForm::Kept),
    TextField("DestName", &WSetupElement::DestName, 3, ShortForm::Kept),
    TextField("Arguments", &WUnistallExecutable::Arguments, 4, ShortForm::Kept),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 5, ShortForm::Kept),
    IntegerField("RunMode", &WUnistallExecutable::RunMode, 6, ShortForm::Kept),
    TextField("ExtraText", &WSetupElement::ExtraText, 7, ShortForm::Blank),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 8, ShortForm::Blank),
};

constexpr ElementField ExecutableFields[] = {
    TextField("Id", &WSetupElement::Id, 1),
    TextField("DestDir", &WSetupElement::DestDir, 2),
    TextField("DestName", &WSetupElement::DestName, 3),
    TextField("Arguments", &WSetupExecutable::Arguments, 4),
    TextField("OptionFlags", &WSetupElement::OptionFlags, 5),
    IntegerField("RunMode", &WSetupExecutable::RunMode, 6),
    FlagField("RemoveOnUninstall", &WSetupElement::RemoveOnUninstall, 7),
    TextField("ExtraText", &WSetupElement::ExtraText, 8),
    FlagField("RecordFlag", &WSetupElement::RecordFlag, 9),
};

} // namespace

// The arguments may hold ","; the short record names the DLL's folder expanded and ends with
// one more empty column than the full record has.
const ElementFieldTable WUninstallCustomDLLFields =
    MakeFieldTable(UninstallCustomDLLFields, nullptr, true, 1, false, 4, ExpandedPath);
const ElementFieldTable WSetupCustomDLLFields =
    MakeFieldTable(CustomDLLFields, nullptr, false, 0, false, 4);
const ElementFieldTable WUnistallExecutableFields =
    MakeFieldTable(UninstallExecutableFields, nullptr, true, 0, false, 4);
const ElementFieldTable WSetupExecutableFields =
    MakeFieldTable(ExecutableFields, nullptr, false, 0, false, 4);

namespace {

constexpr StatusMeaning CustomDLLMeaningRows[] = {
    {ElementStep::Install, CustomDllCalled, StepMeaning::Done},
    {ElementStep::Undo, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName CustomDLLStatusNames[] = {
    {ElementStep::Install, CustomDllCalled, "CustomDllCalled"},
    {ElementStep::Install, CustomDllAbsent, "CustomDllAbsent"},
    {ElementStep::Install, CustomDllFirstAnswer, "CustomDllFirstAnswer"},
    {ElementStep::Install, CustomDllLastAnswer, "CustomDllLastAnswer"},
    {ElementStep::Install, CustomDllFailed, "CustomDllFailed"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning UninstallCustomDLLMeaningRows[] = {
    {ElementStep::Install, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Undo, CustomDllCalled, StepMeaning::Done},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName UninstallCustomDLLStatusNames[] = {
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, CustomDllCalled, "CustomDllCalled"},
    {ElementStep::Undo, CustomDllAbsent, "CustomDllAbsent"},
    {ElementStep::Undo, CustomDllFirstAnswer, "CustomDllFirstAnswer"},
    {ElementStep::Undo, CustomDllLastAnswer, "CustomDllLastAnswer"},
    {ElementStep::Undo, CustomDllFailed, "CustomDllFailed"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning ExecutableMeaningRows[] = {
    {ElementStep::Install, ProgramRanAndEnded, StepMeaning::Done},
    {ElementStep::Install, ProgramStarted, StepMeaning::Done},
    {ElementStep::Install, ProgramShellOpened, StepMeaning::Done},
    {ElementStep::Install, ProgramExecuted, StepMeaning::Done},
    {ElementStep::Undo, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName ExecutableStatusNames[] = {
    {ElementStep::Install, ProgramRanAndEnded, "ProgramRanAndEnded"},
    {ElementStep::Install, ProgramStarted, "ProgramStarted"},
    {ElementStep::Install, ProgramShellOpened, "ProgramShellOpened"},
    {ElementStep::Install, ProgramExecuted, "ProgramExecuted"},
    {ElementStep::Install, ProgramAbsent, "ProgramAbsent"},
    {ElementStep::Install, RunAndWaitFailed, "RunAndWaitFailed"},
    {ElementStep::Install, StartFailed, "StartFailed"},
    {ElementStep::Install, ShellOpenFailed, "ShellOpenFailed"},
    {ElementStep::Install, ExecuteFailed, "ExecuteFailed"},
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

constexpr StatusMeaning UninstallExecutableMeaningRows[] = {
    {ElementStep::Install, ElementDone, StepMeaning::NothingToDo},
    {ElementStep::Undo, ProgramRanAndEnded, StepMeaning::Done},
    {ElementStep::Undo, ProgramStarted, StepMeaning::Done},
    {ElementStep::Undo, ProgramShellOpened, StepMeaning::Done},
    {ElementStep::Undo, ProgramExecuted, StepMeaning::Done},
    {ElementStep::Check, ElementDone, StepMeaning::Done},
};

// The name of every code of each operation, for the lines that report it.
constexpr StatusName UninstallExecutableStatusNames[] = {
    {ElementStep::Install, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Install, ElementDone, "ElementDone"},
    {ElementStep::Install, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Undo, ProgramRanAndEnded, "ProgramRanAndEnded"},
    {ElementStep::Undo, ProgramStarted, "ProgramStarted"},
    {ElementStep::Undo, ProgramShellOpened, "ProgramShellOpened"},
    {ElementStep::Undo, ProgramExecuted, "ProgramExecuted"},
    {ElementStep::Undo, ProgramAbsent, "ProgramAbsent"},
    {ElementStep::Undo, RunAndWaitFailed, "RunAndWaitFailed"},
    {ElementStep::Undo, StartFailed, "StartFailed"},
    {ElementStep::Undo, ShellOpenFailed, "ShellOpenFailed"},
    {ElementStep::Undo, ExecuteFailed, "ExecuteFailed"},
    {ElementStep::Undo, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Undo, ElementDone, "ElementDone"},
    {ElementStep::Undo, ElementNothingDone, "ElementNothingDone"},
    {ElementStep::Check, ElementNotProcessed, "ElementNotProcessed"},
    {ElementStep::Check, ElementDone, "ElementDone"},
    {ElementStep::Check, ElementNothingDone, "ElementNothingDone"},
};

} // namespace

const StepMeaningTable WSetupCustomDLLMeanings =
    MakeMeaningTable(CustomDLLMeaningRows, CustomDLLStatusNames);
const StepMeaningTable WUninstallCustomDLLMeanings =
    MakeMeaningTable(UninstallCustomDLLMeaningRows, UninstallCustomDLLStatusNames);
const StepMeaningTable WSetupExecutableMeanings =
    MakeMeaningTable(ExecutableMeaningRows, ExecutableStatusNames);
const StepMeaningTable WUnistallExecutableMeanings =
    MakeMeaningTable(UninstallExecutableMeaningRows, UninstallExecutableStatusNames);

// ---------------------------------------------------------------------------------------------
// WUninstallCustomDLL

WUninstallCustomDLL::WUninstallCustomDLL() : WSetupElement(KindUninstallCustomDLL) {}

int WUninstallCustomDLL::Install() {
    return Status = ElementDone;
}
int WUninstallCustomDLL::Uninstall() {
    ChangeMark = 0;
    const std::string path = ElementPath(*this, false);
    if (!CanOpenForReading(path))
        return Status = CustomDllAbsent;
    bool crashed = false;
    // At uninstall the entry's answer means nothing; whether it returned is the outcome.
    (void)CallCustomEntry(ApplicationMainWindow(), path, ExpandText(Arguments), crashed);
    return Status = crashed ? CustomDllFailed : CustomDllCalled;
}
int WUninstallCustomDLL::Verify() {
    return Status = ElementDone;
}

FwString WUninstallCustomDLL::GetFullRecord() {
    return WriteFullRecord(*this, WUninstallCustomDLLFields);
}

FwString WUninstallCustomDLL::GetShortRecord() {
    return WriteShortRecord(*this, WUninstallCustomDLLFields);
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
    return Status = ElementDone;
}
int WSetupCustomDLL::Verify() {
    return Status =
               CanOpenForReading(ElementPath(*this, false)) ? CustomDllCalled : CustomDllAbsent;
}
int WSetupCustomDLL::InstallStep(int shortNames) {
    if (Disabled)
        return Status = CustomDllCalled;
    const std::string path = ElementPath(*this, shortNames != 0);
    if (!CanOpenForReading(path))
        return Status = CustomDllAbsent;
    bool crashed = false;
    const int result =
        CallCustomEntry(ApplicationMainWindow(), path, ExpandText(Arguments), crashed);
    if (crashed)
        return Status = CustomDllFailed;
    const bool passedOn = result == CustomDllCalled ||
                          (result >= CustomDllFirstAnswer && result <= CustomDllLastAnswer);
    return Status = passedOn ? result : CustomDllFailed;
}

FwString WSetupCustomDLL::GetFullRecord() {
    return WriteFullRecord(*this, WSetupCustomDLLFields);
}

FwString WSetupCustomDLL::GetShortRecord() {
    return WriteShortRecord(*this, WSetupCustomDLLFields);
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
    return Status = ElementDone;
}
int WUnistallExecutable::Uninstall() {
    ChangeMark = 0;
    const std::string path = ElementPath(*this, false);
    if (!CanOpenForReading(path))
        return Status = ProgramAbsent;
    return Status = RunProgram(path, ExpandText(Arguments), RunMode);
}
int WUnistallExecutable::Verify() {
    return Status = ElementDone;
}

FwString WUnistallExecutable::GetFullRecord() {
    return WriteFullRecord(*this, WUnistallExecutableFields);
}

FwString WUnistallExecutable::GetShortRecord() {
    return WriteShortRecord(*this, WUnistallExecutableFields);
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
    return Status = ElementDone;
}
int WSetupExecutable::Verify() {
    return Status = ElementDone;
}
int WSetupExecutable::InstallStep(int shortNames) {
    const std::string path = ElementPath(*this, shortNames != 0);
    if (!CanOpenForReading(path))
        return Status = ProgramAbsent;
    return Status = RunProgram(path, ExpandText(Arguments), RunMode);
}

FwString WSetupExecutable::GetFullRecord() {
    return WriteFullRecord(*this, WSetupExecutableFields);
}

FwString WSetupExecutable::GetShortRecord() {
    return WriteShortRecord(*this, WSetupExecutableFields);
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
