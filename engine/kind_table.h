// What the engine does with each element kind: one row per kind code, in one table. The library's
// catalogue (setup/elements/element_kinds.h) gives a kind's fields and the meaning of its status
// codes; a row gives what the transaction needs beyond that: where the kind comes in the install
// order, how its step is undone, what is saved before it, what removal does with it, and the
// operations that install and undo it.
//
// The table has exactly one row for each of the WSetupKindCount codes (checked when it is
// compiled); any other code gets the refusing row, whose steps fail and whose state cannot be
// saved, so a kind the engine does not know is never run and never left without its undo.
#pragma once

#include <string>
#include <vector>

#include "setup/core/element.h"
#include "setup/core/framework.h"
#include "transaction_log.h"

class RestartListReading;
class StateSaver;

// What one operation on an element answered.
struct StepResult {
    int status;
    std::string note;     // error text of the step, paths it scheduled for the restart
    int fontRegistration; // a font's registration after its copy (a code of RegisterFont)
};

// How a kind's install step is undone.
enum class UndoPath {
    SavedStates,  // the engine puts back what it saved before the step; the kind does nothing
    OwnOperation, // the kind's own undo runs first, then what was saved for it (if anything)
};

struct KindRow {
    int kind;
    // Position in the install order (0 first); removal runs the order backwards.
    int installRank;
    // Its install step may schedule a replacement or deletion for the restart: the restart list
    // is saved before it.
    bool maySchedule;
    UndoPath undo;
    // Its install step does nothing; its undo is the work, at removal and at rollback, even when
    // the step found nothing to do (what the product makes when it runs, what it asks to run when
    // it is removed).
    bool actsAtRemoval;
    // Its undo deletes files or links and tries their folders: removal's folder sweep takes
    // those tries over.
    bool sweepsFolders;
    // It copies a file from the medium to its destination: the medium is checked for the file,
    // the outcome carries the installed file's stamp, removal deletes the file only while it is
    // still that one and gives back its shared count, and a copy waiting for the restart is no
    // failure at the check.
    bool copiesAFile;
    // Removal puts back a settings file the step created once only section lines are left in it.
    bool createdFileIsLeftover;

    StepResult (*install)(WSetupElement& element, FwStringArray& rebootList, FwPtrArray& collected);
    StepResult (*undoStep)(WSetupElement& element, FwStringArray& rebootList);
    // The states to save before the install step; false when a file could not be kept aside.
    bool (*saveState)(WSetupElement& element, StateSaver& saver);

    // Extra judgement, null where the status alone tells. Whether the step may run at all (false
    // with a note: a custom DLL that will be called must load).
    bool (*mayRun)(WSetupElement& element, std::string& note);
    // Whether a step whose status is no failure failed all the same (a font copied but not
    // registered); such a step may have done part of its work.
    bool (*failedBeyondStatus)(const StepResult& result);
    // Removal's undo in place of the kind's own: true when it took the step back (its answer in
    // `result`), false to let the kind's undo run.
    bool (*undoAtRemoval)(WSetupElement& element, const LoggedStep& step, StepResult& result);
    // Whether an undo whose status is no failure did not do what was asked.
    bool (*undoFailedBeyondStatus)(WSetupElement& element, const StepResult& result);
    // Whether the install step writes the machine's own settings (under HKEY_LOCAL_MACHINE), which
    // the NT family lets only an administrator change; null: it never does.
    bool (*writesMachineSettings)(WSetupElement& element);
    // What the step does, in the user's words, for the progress window: "Copying notes.exe to
    // C:\Program Files\Tarvo Notes" (`removing`: what its removal does).
    std::string (*words)(WSetupElement& element, bool removing);
};

// The row of a kind code; the refusing row for a code outside the table.
const KindRow& RowOfKind(int kind);
inline const KindRow& RowOf(const WSetupElement& element) {
    return RowOfKind(element.Kind);
}
// Whether the engine has a row for the kind code.
bool IsKnownKind(int kind);

// What the element's step does, in the user's words (its row's words).
inline std::string StepWords(WSetupElement& element, bool removing) {
    return RowOf(element).words(element, removing);
}

// The kind codes in install order (removal runs it backwards).
const std::vector<int>& InstallOrder();

// Installing: the kind's install operations.
StepResult InstallElement(WSetupElement* element, FwStringArray& rebootList, FwPtrArray& collected);
// Undoing: the kind's uninstall operations.
StepResult UndoElement(WSetupElement* element, FwStringArray& rebootList);
// Checking: Verify().
int VerifyElement(WSetupElement* element);

// The states to save before an element's install step, in the order they are saved (they are
// put back in the reverse order). False when a file the step may replace or delete could not be
// kept aside in `asideFolder` (as "<step>-<n>"), or the kind is not known: the step must not run
// then. A step that may schedule work for the restart saves the restart list: through
// `restartList` when it is given.
[[nodiscard]] bool SaveStateBefore(WSetupElement& element, int step, const std::string& asideFolder,
                                   std::vector<Saved>& saved,
                                   RestartListReading* restartList = nullptr);
