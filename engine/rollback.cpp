#include "rollback.h"

#include <windows.h>

#include "kind_table.h"
#include "output.h"
#include "product.h"
#include "setup/core/handles.h"
#include "setup/core/fileutil.h"
#include "setup/core/path.h"
#include "setup/core/text.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/element_kinds.h"
#include "undo.h"

namespace {

// The file a finished file step put in place when it is there but no longer that file (its size
// or checksum differs from the outcome's; in a log whose outcomes carry them, one without counts
// as different); "" otherwise.
std::string ChangedSinceItsStep(WSetupElement* element, const LoggedStep& step, bool stampedLog) {
    if (!RowOf(*element).copiesAFile || !step.hasOutcome || step.meaning != StepMeaning::Done)
        return "";
    const std::string path = ElementPath(*element, false);
    if (WhatIsAt(path) != PathKind::File)
        return "";
    const bool changed = step.stamp.known ? !MatchesStamp(path, step.stamp) : stampedLog;
    return changed ? path : "";
}

} // namespace

bool RollBack(const std::string& logPath, const TransactionLog& log) {
    Product product;
    std::string error;
    if (!ApplyHeader(log.header, product, error)) {
        Say("rollback refused " + logPath + ": " + error);
        return false;
    }
    const ComScope com;
    FwStringArray rebootList;
    int m = 0;
    for (const LoggedStep& step : log.steps)
        m += step.role == StepRole::Inherited ? 0 : 1;
    int n = 0;
    int notPutBack = 0;
    for (auto it = log.steps.rbegin(); it != log.steps.rend(); ++it) {
        const LoggedStep& step = *it;
        // The replaced installation's steps are what the rollback brings back to: they stay.
        if (step.role == StepRole::Inherited)
            continue;
        WSetupElement* element = ElementOfStep(step, product, error);
        if (!element) {
            Say("rollback " + std::to_string(++n) + " of " + std::to_string(m) + ": " + error);
            ++notPutBack;
            continue;
        }
        std::string note;
        int status = 0;
        // A step that may have run is undone by its kind when the engine's saved states do not
        // cover what it did; a failed step is only put back from what was saved.
        // A font whose copy was done but whose registration failed may be registered in part.
        // The kinds that act at removal are undone as removal undoes them: their removal work
        // takes back what the product's own code wrote.
        const KindRow& row = RowOf(*element);
        const bool mayHaveRun =
            !step.hasOutcome || step.meaning == StepMeaning::Done ||
            (row.actsAtRemoval && step.meaning != StepMeaning::Failed) ||
            (row.failedBeyondStatus && MeaningOfStatus(element->Kind, ElementStep::Install,
                                                       step.status) != StepMeaning::Failed);
        // A file a finished step put in place is deleted only while it is still that file.
        // A step that took an element of the replaced installation away is put back from what
        // was saved before it, which is that element as it was installed.
        const bool removal = step.role == StepRole::Removal;
        const std::string kept = removal ? "" : ChangedSinceItsStep(element, step, log.stamped);
        if (!kept.empty())
            Say("left: " + kept + " (changed since the installation)");
        const bool undoneByKind =
            !removal && row.undo == UndoPath::OwnOperation && mayHaveRun && kept.empty();
        if (undoneByKind) {
            StepResult r = UndoElement(element, rebootList);
            status = r.status;
            note = "undone by its kind";
        }
        for (auto saved = step.saved.rbegin(); saved != step.saved.rend(); ++saved) {
            if (!kept.empty() && saved->kind == Saved::Kind::File && !saved->existed &&
                EqualText(saved->path, kept, false))
                continue;
            if (!PutBack(*saved)) {
                ++notPutBack;
                note += (note.empty() ? "" : "; ") + std::string("not put back: ") +
                        DescribeSaved(*saved);
            }
        }
        Say(ItemLine("rollback", ++n, m, element, step.component, status, note,
                     undoneByKind ? &AnsweredByUndo : nullptr));
    }
    if (notPutBack) {
        Say("summary rollback: " + std::to_string(m) + " steps; not put back " +
            std::to_string(notPutBack) + "; the log stays");
        return false;
    }
    // The copies kept aside go first: the log is what a later start rolls back from, so it goes
    // last, and only once nothing of the installation is left.
    const std::string aside = AsideFolderOf(logPath);
    if (!RemoveFlatFolder(aside)) {
        Say("summary rollback: " + std::to_string(m) + " steps; " + aside +
            " could not be deleted; the log stays");
        return false;
    }
    // The log's attributes are the engine's own; a failure shows in the deletion.
    (void)SetFileAttributesA(logPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(logPath.c_str())) {
        Say("summary rollback: " + std::to_string(m) + " steps; the log " + logPath +
            " could not be deleted (error " + std::to_string(GetLastError()) + ")");
        return false;
    }
    for (const std::string& folder : log.createdFolders)
        RemoveCreatedFolders(ParentOf(logPath), folder);
    Say("summary rollback: " + std::to_string(m) + " steps; machine put back as it was");
    return true;
}

bool FinishReinstallation(const std::string& logPath) {
    const std::string next = NextLogOf(logPath);
    TransactionLog log;
    std::string error;
    if (!ReadTransactionLog(next, log, error) || !log.committed) {
        Say("refused " + (error.empty() ? next + ": not committed" : error));
        return false;
    }
    bool replaces = false;
    for (const std::string& line : log.header)
        replaces = replaces || TextBefore(line, " ") == "replaces";
    if (replaces) {
        (void)SetFileAttributesA(logPath.c_str(), FILE_ATTRIBUTE_NORMAL); // shows in the copy
        if (!CopyFileA(next.c_str(), logPath.c_str(), FALSE)) {
            Say("log " + logPath + " could not be replaced by " + next + " (error " +
                std::to_string(GetLastError()) + "); the next start tries again");
            return false;
        }
        // Left by the replaced installation, if it could not clear it; nothing reads it now.
        if (!RemoveFlatFolder(AsideFolderOf(logPath)))
            Say("left: " + AsideFolderOf(logPath) + " (could not be deleted)");
    }
    if (!RemoveFlatFolder(AsideFolderOf(next)))
        Say("left: " + AsideFolderOf(next) + " (could not be deleted)");
    (void)SetFileAttributesA(next.c_str(), FILE_ATTRIBUTE_NORMAL); // shows in the deletion
    if (!DeleteFileA(next.c_str())) {
        Say("left: " + next + " (could not be deleted, error " + std::to_string(GetLastError()) +
            ")");
        return !replaces;
    }
    return true;
}

namespace {

// A repair or upgrade at `logPath` that did not finish is rolled back (the installation it works
// on is still whole at the log's path); one that committed is finished.
int RecoverReinstallation(const std::string& logPath) {
    const std::string next = NextLogOf(logPath);
    if (GetFileAttributesA(next.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ExitOk;
    TransactionLog log;
    std::string error;
    if (!ReadTransactionLog(next, log, error)) {
        Say("refused " + error);
        return ExitRefused;
    }
    if (log.committed) {
        Say("recover " + next + ": a committed repair or upgrade, finished now");
        return FinishReinstallation(logPath) ? ExitOk : ExitLogFailed;
    }
    Say("recover " + next + ": a repair or upgrade that did not finish" +
        (log.torn ? " (its last line was cut short)" : ""));
    return RollBack(next, log) ? ExitOk : ExitRollbackIncomplete;
}

} // namespace

int RecoverIfUnfinished(const std::string& logPath) {
    const int reinstallation = RecoverReinstallation(logPath);
    if (reinstallation != ExitOk)
        return reinstallation;
    if (GetFileAttributesA(logPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ExitOk;
    TransactionLog log;
    std::string error;
    if (!ReadTransactionLog(logPath, log, error)) {
        Say("refused " + error);
        return ExitRefused;
    }
    if (log.committed)
        return ExitOk;
    Say("recover " + logPath + ": an installation that did not finish" +
        (log.torn ? " (its last line was cut short)" : ""));
    return RollBack(logPath, log) ? ExitOk : ExitRollbackIncomplete;
}
