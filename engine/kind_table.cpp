#include "kind_table.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>

#include "restart.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/text.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/element_kinds.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/self_reg_file.h"
#include "setup/elements/shared_count.h"
#include "setup/elements/shortcut.h"
#include "setup/elements/text_file_kinds.h"
#include "setup/elements/ttf_file.h"
#include "undo.h"

namespace {

// The install steps take no short names: the engine installs under the long ones.
constexpr int LongNames = 0;

StepResult Answer(int status) {
    return {status, "", FontRegistered};
}

// ---- install operations ---------------------------------------------------------------------

template <class K> StepResult InstallStepOf(WSetupElement& e, FwStringArray&, FwPtrArray&) {
    return Answer(static_cast<K&>(e).InstallStep(LongNames));
}

// The kinds whose install step is the plain Install (a registry entry; the kinds whose work is
// removal's, which install nothing).
StepResult InstallPlain(WSetupElement& e, FwStringArray&, FwPtrArray&) {
    return Answer(e.Install());
}

StepResult InstallFile(WSetupElement& e, FwStringArray& rebootList, FwPtrArray& collected) {
    return Answer(static_cast<WSetupFile&>(e).InstallStep(rebootList, collected, 0, 0, LongNames));
}

StepResult InstallFont(WSetupElement& e, FwStringArray& rebootList, FwPtrArray& collected) {
    auto& font = static_cast<WSetupTTFFile&>(e);
    StepResult result = Answer(font.InstallStep(rebootList, collected, 0, 0, LongNames));
    if (MeaningOfStatus(KindTTFFile, ElementStep::Install, result.status) != StepMeaning::Failed) {
        result.fontRegistration = font.RegisterFont(0);
        result.note = "font registration " + std::to_string(result.fontRegistration);
    }
    return result;
}

StepResult InstallSelfReg(WSetupElement& e, FwStringArray&, FwPtrArray&) {
    FwString error;
    StepResult result = Answer(static_cast<WSetupSelfRegFile&>(e).InstallStep(error, LongNames));
    result.note = error.c_str();
    return result;
}

StepResult InstallShortcut(WSetupElement& e, FwStringArray&, FwPtrArray&) {
    FwStringArray groups;
    return Answer(static_cast<WSetupShortcut&>(e).InstallStep(groups));
}

// A kind outside the table: nothing runs.
StepResult RefuseInstall(WSetupElement&, FwStringArray&, FwPtrArray&) {
    StepResult result = Answer(ElementNotProcessed);
    result.note = "not a kind the engine knows";
    return result;
}

// ---- undo operations ------------------------------------------------------------------------

StepResult UndoPlain(WSetupElement& e, FwStringArray&) {
    return Answer(e.Uninstall());
}

StepResult UndoFile(WSetupElement& e, FwStringArray& rebootList) {
    return Answer(static_cast<WSetupFile&>(e).UninstallStep(rebootList));
}

StepResult UndoFont(WSetupElement& e, FwStringArray& rebootList) {
    auto& font = static_cast<WSetupTTFFile&>(e);
    const int unregistered = font.Uninstall();
    StepResult result = Answer(font.UninstallStep(rebootList));
    result.note = "font removal " + std::to_string(unregistered);
    return result;
}

StepResult UndoSelfReg(WSetupElement& e, FwStringArray&) {
    FwString error;
    StepResult result = Answer(static_cast<WSetupSelfRegFile&>(e).UninstallStep(error));
    result.note = error.c_str();
    return result;
}

StepResult UndoShortcut(WSetupElement& e, FwStringArray&) {
    FwStringArray removed;
    return Answer(static_cast<WSetupShortcut&>(e).UninstallStep(removed));
}

StepResult UndoRuntimeFile(WSetupElement& e, FwStringArray& rebootList) {
    return Answer(static_cast<WSetupRuntimeFile&>(e).Remove(rebootList));
}

StepResult UndoRuntimeRegEntry(WSetupElement& e, FwStringArray&) {
    FwStringArray failedKeys;
    return Answer(static_cast<WSetupRuntimeRegEntry&>(e).Remove(failedKeys));
}

StepResult RefuseUndo(WSetupElement&, FwStringArray&) {
    StepResult result = Answer(ElementNotProcessed);
    result.note = "not a kind the engine knows";
    return result;
}

// ---- states saved before the install step ---------------------------------------------------

bool SaveNothing(WSetupElement&, StateSaver&) {
    return true;
}

bool SaveDir(WSetupElement& e, StateSaver& saver) {
    saver.Folder(ElementPath(e, false));
    return true;
}

bool SaveBackup(WSetupElement& e, StateSaver& saver) {
    return saver.File(BackupPathOf(ElementPath(e, false)));
}

// The destination file and its folder: what a deletion, an edit or a copy may change.
bool SaveTargetFile(WSetupElement& e, StateSaver& saver) {
    const std::string target = ElementPath(e, false);
    if (target.empty())
        return true;
    saver.Folder(ParentOf(target));
    return saver.File(target);
}

// A copy also changes the file's count in the shared-DLL table (and creates the table's key
// when it is missing), under the name the copy counts it.
bool SaveCopiedFile(WSetupElement& e, StateSaver& saver) {
    if (!SaveTargetFile(e, saver))
        return false;
    const std::string target = ElementPath(e, false);
    if (!target.empty() && CountsAsShared(static_cast<WSetupFile&>(e).FileFlags))
        saver.RegKeyAndValue("HKEY_LOCAL_MACHINE", SharedDllsKey, target);
    return true;
}

bool SaveRegFile(WSetupElement& e, StateSaver& saver) {
    saver.RegFileTargets(ElementPath(e, false));
    return true;
}

bool SaveRegEntry(WSetupElement& e, StateSaver& saver) {
    auto& entry = static_cast<WSetupRegEntry&>(e);
    const RegEntryPlace place =
        RegEntryPlaceOf(ExpandText(entry.KeyPath.str()), ExpandText(entry.ValueName.str()));
    saver.RegKeyAndValue(entry.RootName.c_str(), place.key, place.name);
    return true;
}

bool RefuseSave(WSetupElement&, StateSaver&) {
    return false;
}

// ---- extra judgement ------------------------------------------------------------------------

// A custom DLL that removal will call must be there, and load, once the files are installed: a
// removal that could not call it would leave the product's own removal work undone. The library's
// step would answer the same for a DLL that could not be loaded and one whose entry ran.
bool CustomDllLoads(WSetupElement& e, std::string& note) {
    if (e.Kind == KindCustomDLL && static_cast<WSetupCustomDLL&>(e).Disabled)
        return true;
    const std::string path = ElementPath(e, false);
    LoadedModule module(LoadLibraryA(path.c_str()));
    if (module)
        return true;
    note =
        "the DLL " + path + " could not be loaded (error " + std::to_string(GetLastError()) + ")";
    return false;
}

bool FontNotRegistered(const StepResult& result) {
    return result.fontRegistration != FontRegistered &&
           result.fontRegistration != FontAwaitsRestart;
}

// The registry value an entry replaced, when there was one: removal puts it back with its type.
const Saved* ReplacedValue(const LoggedStep& step) {
    for (const Saved& s : step.saved)
        if (s.kind == Saved::Kind::RegValue && s.existed)
            return &s;
    return nullptr;
}

bool PutBackReplacedValue(WSetupElement& e, const LoggedStep& step, StepResult& result) {
    if (!e.RemoveOnUninstall)
        return false;
    const Saved* replaced = ReplacedValue(step);
    if (!replaced)
        return false;
    const bool back = PutBack(*replaced);
    result.status = back ? EntryPreviousRestored : EntryRestoreFailed;
    result.note = back ? "the value it replaced is back with its type"
                       : "the value it replaced could not be put back";
    return true;
}

// A restore that found nothing to restore did not do what was asked.
bool RestoreFoundNothing(WSetupElement& e, const StepResult& result) {
    const auto& entry = static_cast<const WSetupRegEntry&>(e);
    return result.status == EntryValueGone && entry.RestoreOnUninstall &&
           !entry.PreviousValue.empty();
}

// ---- the machine's settings ----------------------------------------------------------------

bool EntryUnderMachine(WSetupElement& e) {
    return EqualText(static_cast<WSetupRegEntry&>(e).RootName, "HKEY_LOCAL_MACHINE", false);
}

// A shared file is counted in the shared-DLL table, under HKEY_LOCAL_MACHINE.
bool CountedInMachineTable(WSetupElement& e) {
    return CountsAsShared(static_cast<WSetupFile&>(e).FileFlags);
}

// A module's registration writes its classes, which live under HKEY_LOCAL_MACHINE.
bool Always(WSetupElement&) {
    return true;
}

// ---- the user's words ------------------------------------------------------------------------

std::string TargetName(WSetupElement& e) {
    return FileNameOf(ElementPath(e, false));
}

std::string TargetFolder(WSetupElement& e) {
    return ParentOf(ElementPath(e, false));
}

std::string WordsOfDir(WSetupElement& e, bool removing) {
    return (removing ? "Removing the folder " : "Creating the folder ") + ElementPath(e, false);
}

std::string WordsOfBackup(WSetupElement& e, bool removing) {
    return (removing ? "Keeping the copy of " : "Keeping a copy of ") + TargetName(e);
}

std::string WordsOfDeletion(WSetupElement& e, bool removing) {
    return (removing ? "Leaving " : "Deleting the old file ") + TargetName(e);
}

std::string WordsOfCopy(WSetupElement& e, bool removing) {
    return removing ? "Removing " + TargetName(e) + " from " + TargetFolder(e)
                    : "Copying " + TargetName(e) + " to " + TargetFolder(e);
}

std::string WordsOfFont(WSetupElement& e, bool removing) {
    return (removing ? "Removing the font " : "Installing the font ") + TargetName(e);
}

std::string WordsOfEdit(WSetupElement& e, bool removing) {
    return (removing ? "Putting back " : "Editing ") + TargetName(e);
}

std::string WordsOfProfile(WSetupElement& e, bool removing) {
    const std::string key = static_cast<WSetupProfileString&>(e).Key.c_str();
    return removing ? "Removing " + key + " from " + TargetName(e)
                    : "Writing " + key + " in " + TargetName(e);
}

std::string WordsOfRegFile(WSetupElement& e, bool removing) {
    return removing ? "Removing the settings of " + TargetName(e)
                    : "Adding the settings of " + TargetName(e);
}

std::string WordsOfEntry(WSetupElement& e, bool removing) {
    auto& entry = static_cast<WSetupRegEntry&>(e);
    const RegEntryPlace place =
        RegEntryPlaceOf(ExpandText(entry.KeyPath.str()), ExpandText(entry.ValueName.str()));
    const std::string what = place.name.empty() ? place.key : place.name;
    return (removing ? "Removing the setting " : "Writing the setting ") + what;
}

std::string WordsOfRuntimeEntry(WSetupElement& e, bool removing) {
    const std::string key = static_cast<WSetupRuntimeRegEntry&>(e).KeyPath.c_str();
    return removing ? "Removing the setting " + key
                    : "Noting the setting " + key + " for the removal";
}

std::string WordsOfRuntimeFile(WSetupElement& e, bool removing) {
    return removing ? "Removing " + TargetName(e) : "Noting " + TargetName(e) + " for the removal";
}

std::string WordsOfShortcut(WSetupElement& e, bool removing) {
    const std::string name = static_cast<WSetupShortcut&>(e).LinkName.c_str();
    return (removing ? "Removing the shortcut " : "Creating the shortcut ") + name;
}

std::string WordsOfRegistration(WSetupElement& e, bool removing) {
    return (removing ? "Unregistering " : "Registering ") + TargetName(e);
}

std::string WordsOfProgram(WSetupElement& e, bool) {
    return "Running " + TargetName(e);
}

// The kinds whose work is the removal's: running the product's own code then.
std::string WordsOfRemovalProgram(WSetupElement& e, bool removing) {
    return removing ? "Running " + TargetName(e)
                    : "Preparing " + TargetName(e) + " for the removal";
}

std::string WordsRefused(WSetupElement&, bool) {
    return "An element the engine does not know";
}

// ---- the table ------------------------------------------------------------------------------

constexpr UndoPath BySaved = UndoPath::SavedStates;
constexpr UndoPath ByOwn = UndoPath::OwnOperation;

// Install order: folders first, then what makes room (backups, deletions), files before what uses
// them (fonts, self-registration), the registry, the edits of installed files and shortcuts. The
// kinds that act only at removal or at run time come next (their install step does nothing):
// removal runs the order backwards, so they act there while the product's files are still in
// place, and a rollback that follows the product's own code (last, when everything it may need is
// in place) finds them in the log and takes back what that code wrote, as removal does.
//
// kind, rank, schedules, undo, acts at removal, sweeps folders, copies a file, created file is a
// leftover; install, undo, save; may run, failed beyond status, undo at removal, undo failed
// beyond status, writes the machine's settings; the user's words.
constexpr KindRow Rows[] = {
    {KindBackupFile, 1, false, BySaved, false, false, false, false, InstallStepOf<WSetupBackupFile>,
     UndoPlain, SaveBackup, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfBackup},
    {KindDir, 0, false, BySaved, false, false, false, false, InstallStepOf<WSetupDir>, UndoPlain,
     SaveDir, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfDir},
    {KindTTFFile, 4, true, ByOwn, false, true, true, false, InstallFont, UndoFont, SaveCopiedFile,
     nullptr, FontNotRegistered, nullptr, nullptr, CountedInMachineTable, WordsOfFont},
    {KindProfileString, 8, true, BySaved, false, false, false, true,
     InstallStepOf<WSetupProfileString>, UndoPlain, SaveTargetFile, nullptr, nullptr, nullptr,
     nullptr, nullptr, WordsOfProfile},
    {KindCustFile, 9, true, BySaved, false, false, false, false, InstallStepOf<WSetupCustFile>,
     UndoPlain, SaveTargetFile, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfEdit},
    {KindRegFile, 7, false, BySaved, false, false, false, false, InstallStepOf<WSetupRegFile>,
     UndoPlain, SaveRegFile, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfRegFile},
    {KindShortcut, 10, false, ByOwn, false, true, false, false, InstallShortcut, UndoShortcut,
     SaveNothing, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfShortcut},
    {KindExecutable, 16, false, ByOwn, false, false, false, false, InstallStepOf<WSetupExecutable>,
     UndoPlain, SaveNothing, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfProgram},
    {KindCustomDLL, 15, false, ByOwn, false, false, false, false, InstallStepOf<WSetupCustomDLL>,
     UndoPlain, SaveNothing, CustomDllLoads, nullptr, nullptr, nullptr, nullptr, WordsOfProgram},
    {KindRuntimeFile, 11, false, ByOwn, true, true, false, false, InstallPlain, UndoRuntimeFile,
     SaveNothing, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfRuntimeFile},
    {KindRuntimeRegEntry, 12, false, ByOwn, true, false, false, false, InstallPlain,
     UndoRuntimeRegEntry, SaveNothing, nullptr, nullptr, nullptr, nullptr, nullptr,
     WordsOfRuntimeEntry},
    {KindDeleteFile, 2, true, BySaved, false, false, false, false, InstallStepOf<WSetupDeleteFile>,
     UndoPlain, SaveTargetFile, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfDeletion},
    {KindSelfRegFile, 5, true, ByOwn, false, false, false, false, InstallSelfReg, UndoSelfReg,
     SaveNothing, nullptr, nullptr, nullptr, nullptr, Always, WordsOfRegistration},
    {KindFile, 3, true, BySaved, false, true, true, false, InstallFile, UndoFile, SaveCopiedFile,
     nullptr, nullptr, nullptr, nullptr, CountedInMachineTable, WordsOfCopy},
    {KindUninstallExecutable, 13, false, ByOwn, true, false, false, false, InstallPlain, UndoPlain,
     SaveNothing, nullptr, nullptr, nullptr, nullptr, nullptr, WordsOfRemovalProgram},
    {KindUninstallCustomDLL, 14, false, ByOwn, true, false, false, false, InstallPlain, UndoPlain,
     SaveNothing, CustomDllLoads, nullptr, nullptr, nullptr, nullptr, WordsOfRemovalProgram},
    {KindRegEntry, 6, false, BySaved, false, false, false, false, InstallPlain, UndoPlain,
     SaveRegEntry, nullptr, nullptr, PutBackReplacedValue, RestoreFoundNothing, EntryUnderMachine,
     WordsOfEntry},
};

constexpr KindRow Refusing = {KindNone, -1,      false,         ByOwn,      false,       false,
                              false,    false,   RefuseInstall, RefuseUndo, RefuseSave,  nullptr,
                              nullptr,  nullptr, nullptr,       nullptr,    WordsRefused};

constexpr std::size_t RowCount = sizeof(Rows) / sizeof(Rows[0]);
static_assert(RowCount == WSetupKindCount, "one row for every element kind");

// Each row at its code's place, and each rank once.
constexpr bool RowsInPlace() {
    for (std::size_t i = 0; i < RowCount; ++i) {
        if (Rows[i].kind != static_cast<int>(i))
            return false;
        if (Rows[i].installRank < 0 || Rows[i].installRank >= static_cast<int>(RowCount))
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (Rows[j].installRank == Rows[i].installRank)
                return false;
    }
    return true;
}
static_assert(RowsInPlace(), "the rows are in kind order and the install ranks are distinct");

} // namespace

bool IsKnownKind(int kind) {
    return kind >= 0 && kind < static_cast<int>(RowCount);
}

const KindRow& RowOfKind(int kind) {
    return IsKnownKind(kind) ? Rows[kind] : Refusing;
}

const std::vector<int>& InstallOrder() {
    static const std::vector<int> order = [] {
        std::vector<int> kinds(RowCount);
        for (const KindRow& row : Rows)
            kinds[static_cast<std::size_t>(row.installRank)] = row.kind;
        return kinds;
    }();
    return order;
}

StepResult InstallElement(WSetupElement* element, FwStringArray& rebootList,
                          FwPtrArray& collected) {
    return RowOf(*element).install(*element, rebootList, collected);
}

StepResult UndoElement(WSetupElement* element, FwStringArray& rebootList) {
    return RowOf(*element).undoStep(*element, rebootList);
}

int VerifyElement(WSetupElement* element) {
    return element->Verify();
}

bool SaveStateBefore(WSetupElement& element, int step, const std::string& asideFolder,
                     std::vector<Saved>& saved, RestartListReading* restartList) {
    const KindRow& row = RowOf(element);
    StateSaver saver(asideFolder, step, saved);
    // Saved first, so put back last: after the files, whose staging copies it removes.
    if (row.maySchedule)
        saver.RestartList(restartList);
    return row.saveState(element, saver);
}
