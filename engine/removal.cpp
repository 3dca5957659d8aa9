#include "removal.h"

#include <windows.h>

#include <vector>

#include "file_io.h"
#include "folder_sweep.h"
#include "kind_table.h"
#include "output.h"
#include "progress_window.h"
#include "product.h"
#include "restart.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/text.h"
#include "setup/elements/element_kinds.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/ttf_file.h"
#include "transaction_log.h"
#include "undo.h"

namespace {

// What removal leaves and why, for the report at its end (each also a "left:" line).
std::vector<std::string> g_left;

void Left(const std::string& what) {
    Say("left: " + what);
    g_left.push_back(what);
}

enum class Answer { Yes, No, NotAsked };

// The question before an interactive removal; NotAsked when no message box could be shown (no
// desktop), and the removal then goes on as its command asks.
Answer AskToRemove(const std::string& product) {
    const std::string question = "Remove " + product + " and all of its components?";
    switch (MessageBoxA(nullptr, question.c_str(), product.c_str(), MB_YESNO | MB_ICONQUESTION)) {
    case IDYES:
        return Answer::Yes;
    case IDNO:
        return Answer::No;
    default:
        return Answer::NotAsked;
    }
}

// What the removal did, in the user's words, at its end.
void ReportRemoval(const std::string& product, const std::vector<std::string>& leftBehind,
                   int failed, int waiting) {
    std::string text = failed ? product +
                                    " could not be removed completely: " + std::to_string(failed) +
                                    (failed == 1 ? " part could" : " parts could") +
                                    " not be taken away (the log keeps them for another try)."
                              : product + " was removed.";
    if (!leftBehind.empty()) {
        text += "\n\nThese were left:";
        for (const std::string& what : leftBehind)
            text += "\n" + what;
    }
    if (waiting)
        text += "\n\n" + std::to_string(waiting) + (waiting == 1 ? " item is" : " items are") +
                " removed when Windows restarts.";
    // The report needs no answer; a box that cannot be shown changes nothing.
    (void)MessageBoxA(nullptr, text.c_str(), product.c_str(),
                      MB_OK | (failed ? MB_ICONWARNING : MB_ICONINFORMATION));
}

// A committed log and the product rebuilt from it: each step with its element, in the log's order.
struct Installed {
    TransactionLog log;
    Product product;
    std::vector<const LoggedStep*> steps;
    std::vector<WSetupElement*> elements;
};

bool ReadCommittedLog(const std::string& logPath, Installed& installed) {
    TransactionLog& log = installed.log;
    Product& product = installed.product;
    std::string error;
    if (!ReadTransactionLog(logPath, log, error)) {
        Say("refused " + error);
        return false;
    }
    if (!log.committed) {
        Say("refused " + logPath + ": the installation did not finish");
        return false;
    }
    if (!ApplyHeader(log.header, product, error)) {
        Say("refused " + logPath + ": " + error);
        return false;
    }
    for (const LoggedStep& step : log.steps) {
        WSetupElement* element = ElementOfStep(step, product, error);
        if (!element) {
            Say("refused " + logPath + ": " + error);
            return false;
        }
        installed.steps.push_back(&step);
        installed.elements.push_back(element);
    }
    return true;
}

// Whether the installation left the element as it found it: a step that failed, or found
// nothing to do (the kinds that act at removal excepted), has nothing to check or undo.
bool LeftAlone(WSetupElement* element, const LoggedStep& step) {
    return step.meaning == StepMeaning::Failed ||
           (step.meaning == StepMeaning::NothingToDo && !RowOf(*element).actsAtRemoval);
}

// After the last product's removal a shared count of 0 goes, and so does the table's key when
// this installation created it and nothing else is in it.
void DropUnusedCount(const std::string& name, const LoggedStep& step) {
    if (!RemoveUnusedSharedCount(name))
        return;
    for (const Saved& saved : step.saved)
        if (saved.kind == Saved::Kind::RegKey && EqualText(saved.path, SharedDllsKey, false) &&
            !PutBack(saved))
            Left("HKEY_LOCAL_MACHINE\\" + saved.path + " (could not be deleted)");
}

// Gives back the shared count the installation took for a file whose removal leaves it in
// place (the copy rule kept the user's file, another product counts it, it is not to be
// removed, or it is no longer the installation's); the name is the one the file kind counts
// under.
void GiveBackSharedCount(const std::string& path, const LoggedStep& step) {
    const std::string name = SharedCountNameOf(path);
    if (!AdjustSharedCount(name, -1))
        Left("the shared count of " + path + " (could not be lowered)");
    DropUnusedCount(name, step);
}

// Whether another product still counts the shared file: the engine then only lowers the count
// and leaves the file in place.
bool CountedByOthers(const std::string& path) {
    unsigned long count = 0;
    return ReadSharedCount(SharedCountNameOf(path), count) && count > 1;
}

// Whether `path` lies in the product's folder <D>.
bool InProductFolder(const std::string& path) {
    std::string folder = TheSetupContext().MacroD.c_str();
    if (folder.empty())
        return false;
    if (folder.back() != '\\')
        folder += '\\';
    return path.size() > folder.size() && EqualText(path.substr(0, folder.size()), folder, false);
}

// Whether a later step of the log changes the file again (an edit of an installed settings
// file): the stamp of the step that copied it is then not the file's last state.
bool ChangedByALaterStep(const std::string& path, const Installed& installed, std::size_t index) {
    for (std::size_t k = index + 1; k < installed.steps.size(); ++k)
        for (const Saved& saved : installed.steps[k]->saved)
            if (saved.kind == Saved::Kind::File && EqualText(saved.path, path, false))
                return true;
    return false;
}

// Whether an earlier step of the log saved the file (the replaced installation's step, in an
// upgrade's log): what was there before the installation is what that step found.
bool SavedByAnEarlierStep(const std::string& path, const Installed& installed, std::size_t index) {
    for (std::size_t k = 0; k < index; ++k)
        for (const Saved& saved : installed.steps[k]->saved)
            if (saved.kind == Saved::Kind::File && EqualText(saved.path, path, false))
                return true;
    return false;
}

// Whether the file at `path` is still the one the step put there, so that removal may delete it.
// Answers the reason to keep it ("" to delete): a file outside the product's folder that was there
// before the installation is the user's (its earlier content was given up at the commit, so the
// product's copy stays; in <D> an earlier file is the product's own, as after an earlier version);
// one whose size or checksum differs from the outcome's was changed since. An outcome without a
// stamp is trusted only in a log written before outcomes carried one.
std::string ReasonToKeep(const std::string& path, const LoggedStep& step, bool stampedLog,
                         bool editedLater, bool savedEarlier) {
    for (const Saved& saved : step.saved)
        if (saved.kind == Saved::Kind::File && saved.existed && !savedEarlier &&
            EqualText(saved.path, path, false) && !InProductFolder(path))
            return "there before the installation";
    if (WhatIsAt(path) != PathKind::File || editedLater)
        return "";
    if (step.stamp.known ? !MatchesStamp(path, step.stamp) : stampedLog)
        return "changed since the installation";
    return "";
}

} // namespace

StepMeaning UndoInstalled(WSetupElement* element, const LoggedStep& step, FwStringArray& rebootList,
                          StepResult& r) {
    const KindRow& row = RowOf(*element);
    if (row.undoAtRemoval && row.undoAtRemoval(*element, step, r))
        return MeaningOfStatus(element->Kind, ElementStep::Undo, r.status);
    r = UndoElement(element, rebootList);
    StepMeaning meaning = MeaningOfStatus(element->Kind, ElementStep::Undo, r.status);
    if (meaning != StepMeaning::Failed)
        for (auto saved = step.saved.rbegin(); saved != step.saved.rend(); ++saved)
            if ((saved->kind != Saved::Kind::File || row.createdFileIsLeftover) &&
                IsLeftoverOfCreation(*saved) && !PutBack(*saved))
                Left(DescribeSaved(*saved) + " (could not be removed)");
    if (row.undoFailedBeyondStatus && row.undoFailedBeyondStatus(*element, r))
        meaning = StepMeaning::Failed;
    return meaning;
}

namespace {

void WriteLeftLog(const std::string& logPath, const TransactionLog& log,
                  const std::vector<const LoggedStep*>& left) {
    (void)CreateDirectoryTree(ParentOf(logPath)); // a failure shows in the file's creation
    OutputFile file;
    std::string text = "# uninstall log: what removal could not take back\r\n";
    for (const std::string& line : log.header)
        text += line + "\r\n";
    for (const LoggedStep* step : left)
        text += IntentLine(*step) + OutcomeLine(step->number, step->status, step->meaning,
                                                step->recordAfter, step->stamp);
    text += CommitLine;
    if (file.Create(logPath) && file.Write(text) && file.Flush())
        Say("log " + logPath + " keeps " + std::to_string(left.size()) + " elements");
    else
        Say("log " + logPath + " could not be written back");
}
} // namespace

int AskBeforeRemoval(const std::string& logPath) {
    TransactionLog log;
    std::string error;
    std::string product;
    if (ReadTransactionLog(logPath, log, error))
        for (const std::string& line : log.header)
            if (line.compare(0, 16, "context PRODUCT=") == 0)
                product = line.substr(16);
    if (product.empty())
        product = "the product";
    const Answer answer = AskToRemove(product);
    if (answer == Answer::No) {
        Say("summary remove: the user chose not to remove " + product + "; nothing was changed");
        return ExitCancelled;
    }
    if (answer == Answer::NotAsked)
        Say("removal question: no window could be shown; removing as the command asks");
    return ExitOk;
}

int Check(const std::string& logPath) {
    Installed installed;
    if (!ReadCommittedLog(logPath, installed))
        return ExitRefused;
    const std::vector<PendingRename> pending = PendingRenames();
    const int m = static_cast<int>(installed.elements.size());
    int failed = 0;
    int waiting = 0;
    for (int i = 0; i < m; ++i) {
        WSetupElement* element = installed.elements[i];
        const LoggedStep& step = *installed.steps[i];
        if (step.role != StepRole::Install) {
            Say(ItemLine("check", i + 1, m, element, step.component, step.status,
                         step.role == StepRole::Inherited
                             ? "replaced by the upgrade: its later step is checked"
                             : "taken away by the upgrade: nothing to check",
                         &AnsweredByInstall));
            continue;
        }
        if (LeftAlone(element, step)) {
            Say(ItemLine("check", i + 1, m, element, step.component, step.status,
                         "not installed: nothing to check", &AnsweredByInstall));
            continue;
        }
        int status = VerifyElement(element);
        std::string note;
        // A replacement that waits for the restart is not a failure yet.
        if (RowOf(*element).copiesAFile && WaitsForRestart(ElementPath(*element, false), pending)) {
            ++waiting;
            note = "waits for the restart";
        } else if (MeaningOfStatus(element->Kind, ElementStep::Check, status) ==
                   StepMeaning::Failed) {
            ++failed;
        }
        Say(ItemLine("check", i + 1, m, element, step.component, status, note, &AnsweredByCheck));
    }
    Summary("check", installed.elements, waiting, failed);
    if (failed)
        return ExitElementFailed;
    return waiting ? ExitRestartNeeded : ExitOk;
}

int Remove(const std::string& logPath) {
    Installed installed;
    if (!ReadCommittedLog(logPath, installed))
        return ExitRefused;
    const std::string product = TheSetupContext().MacroProduct.c_str();
    // The log is the engine's own file in the product's folder: it goes first, so that the
    // folder can be removed; what cannot be undone is written back to it afterwards.
    // A log that cannot be deleted refuses the removal before anything changed: removal would
    // otherwise leave the product registered with a log of files that are gone.
    (void)SetFileAttributesA(logPath.c_str(), FILE_ATTRIBUTE_NORMAL); // shows in the deletion
    if (!DeleteFileA(logPath.c_str())) {
        Say("refused " + logPath + ": it could not be deleted (error " +
            std::to_string(GetLastError()) + "); nothing was removed");
        return ExitRefused;
    }
    // Left from an installation that could not clear it at its commit; nothing reads it.
    if (!RemoveFlatFolder(AsideFolderOf(logPath)))
        Left(AsideFolderOf(logPath) + " (could not be deleted)");
    FwStringArray rebootList;
    std::vector<const LoggedStep*> left;
    FolderSweep folders;
    const int m = static_cast<int>(installed.elements.size());
    // Removal runs to its end once begun: the window shows it, with no Cancel.
    ProgressWindow window;
    if (g_interactive && window.Open(product, m, true, true))
        window.NoCancel();
    int n = 0;
    for (int i = m - 1; i >= 0; --i) {
        WSetupElement* element = installed.elements[i];
        const LoggedStep& step = *installed.steps[i];
        ++n;
        window.Step(n, StepWords(*element, true));
        if (step.role == StepRole::Removal) {
            Say(ItemLine("undo", n, m, element, step.component, step.status,
                         "nothing to undo: the upgrade took it away", &AnsweredByUndo));
            continue;
        }
        if (LeftAlone(element, step)) {
            // A shared file the copy rule kept was counted all the same: the count goes back.
            const bool counted = RowOf(*element).copiesAFile &&
                                 TookSharedCount(*static_cast<WSetupFile*>(element), step.status);
            if (counted)
                GiveBackSharedCount(ElementPath(*element, false), step);
            Say(ItemLine("undo", n, m, element, step.component, step.status,
                         counted ? "nothing to undo: the installation did not change it; its "
                                   "shared count is given back"
                                 : "nothing to undo: the installation did not change it",
                         &AnsweredByInstall));
            continue;
        }
        const int before = rebootList.GetSize();
        const bool copy = RowOf(*element).copiesAFile;
        const std::string path = copy ? ElementPath(*element, false) : "";
        const bool counted =
            copy && TookSharedCount(*static_cast<WSetupFile*>(element), step.status);
        if (copy && step.role == StepRole::Inherited && WhatIsAt(path) != PathKind::File) {
            // The upgrade's own step for the file took it away already: what is left of this one
            // is what it created (the folders) and the count it took.
            if (counted)
                GiveBackSharedCount(path, step);
            for (auto saved = step.saved.rbegin(); saved != step.saved.rend(); ++saved)
                if (saved->kind != Saved::Kind::File && IsLeftoverOfCreation(*saved) &&
                    !PutBack(*saved))
                    Left(DescribeSaved(*saved) + " (could not be removed)");
            Say(ItemLine("undo", n, m, element, step.component, 0,
                         "replaced by the upgrade: its file went with the later step", nullptr));
            continue;
        }
        if (copy) {
            const std::string reason =
                ReasonToKeep(path, step, installed.log.stamped,
                             ChangedByALaterStep(path, installed, static_cast<std::size_t>(i)),
                             SavedByAnEarlierStep(path, installed, static_cast<std::size_t>(i)));
            const bool others = reason.empty() && counted && CountedByOthers(path);
            if (!reason.empty() || others) {
                if (counted)
                    GiveBackSharedCount(path, step);
                if (!reason.empty())
                    Left(path + " (" + reason + ")");
                else
                    g_left.push_back(path + " (another product still uses it)");
                Say(ItemLine("undo", n, m, element, step.component, 0,
                             others ? "kept: another product counts it"
                                    : "kept: not the installation's to delete",
                             nullptr));
                continue;
            }
        }
        const bool swept = folders.Take(element);
        if (!swept)
            folders.Run();
        StepResult r{0, "", FontRegistered};
        SetLastError(0);
        if (UndoInstalled(element, step, rebootList, r) == StepMeaning::Failed) {
            r.note = WithPlatformError(r.note, GetLastError());
            left.insert(left.begin(), &step);
        } else if (counted && r.status == FileNotToBeRemoved)
            GiveBackSharedCount(path, step); // the kind keeps the file and its count
        else if (counted)
            DropUnusedCount(SharedCountNameOf(path), step);
        if (swept)
            folders.After();
        Say(ItemLine("undo", n, m, element, step.component, r.status, r.note, &AnsweredByUndo));
        for (int k = before; k < rebootList.GetSize(); ++k)
            Say(std::string("restart ") + rebootList.GetAt(k).c_str());
    }
    folders.Run();
    if (!left.empty())
        WriteLeftLog(logPath, installed.log, left);
    else
        for (const std::string& folder : installed.log.createdFolders) {
            RemoveCreatedFolders(ParentOf(logPath), folder);
            // A file in it waits for the restart (one that was in use): the folders go after
            // that file.
            if (rebootList.GetSize() > 0) {
                std::vector<std::string> scheduled;
                const bool whole = RemoveFoldersAtRestart(ParentOf(logPath), folder, scheduled);
                for (const std::string& level : scheduled) {
                    rebootList.Add(FwString(level.c_str()));
                    Say("restart " + level);
                }
                if (!whole)
                    Left(ParentOf(logPath) + " (it holds what is not the installation's)");
            }
        }
    const std::string destination = TheSetupContext().MacroD.c_str();
    bool folderNamed = false;
    for (const std::string& what : g_left)
        folderNamed = folderNamed || EqualText(TextBefore(what, " ("), destination, false);
    if (!destination.empty() && !folderNamed && rebootList.GetSize() == 0 &&
        GetFileAttributesA(destination.c_str()) != INVALID_FILE_ATTRIBUTES)
        Left(destination + " (it holds what is not the installation's)");
    Summary("remove", installed.elements, rebootList.GetSize(), static_cast<int>(left.size()));
    window.Say(left.empty() ? product + " is removed." : product + " could not be removed whole.");
    if (g_interactive)
        ReportRemoval(product, g_left, static_cast<int>(left.size()), rebootList.GetSize());
    if (!left.empty())
        return ExitElementFailed;
    return rebootList.GetSize() > 0 ? RestartNeeded(rebootList.GetSize()) : ExitOk;
}
