#include "removal.h"

#include <windows.h>

#include <vector>

#include "file_io.h"
#include "folder_sweep.h"
#include "kinds.h"
#include "output.h"
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
           (step.meaning == StepMeaning::NothingToDo && !ActsAtRemoval(element->Kind));
}

bool IsFileKind(int kind) {
    return kind == KindFile || kind == KindTTFFile;
}

// After the last product's removal a shared count of 0 goes, and so does the table's key when
// this installation created it and nothing else is in it.
void DropUnusedCount(const std::string& name, const LoggedStep& step) {
    if (!RemoveUnusedSharedCount(name))
        return;
    for (const Saved& saved : step.saved)
        if (saved.kind == Saved::Kind::RegKey && EqualText(saved.path, SharedDllsKey, false) &&
            !PutBack(saved))
            Say("left: HKEY_LOCAL_MACHINE\\" + saved.path + " (could not be deleted)");
}

// Gives back the shared count the installation took for a file whose removal leaves it in
// place (the copy rule kept the user's file, another product counts it, it is not to be
// removed, or it is no longer the installation's); the name is the one the file kind counts
// under.
void GiveBackSharedCount(const std::string& path, const LoggedStep& step) {
    const std::string name = SharedCountNameOf(path);
    if (!AdjustSharedCount(name, -1))
        Say("left: the shared count of " + path + " (could not be lowered)");
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

// Whether the file at `path` is still the one the step put there, so that removal may delete it.
// Answers the reason to keep it ("" to delete): a file outside the product's folder that was there
// before the installation is the user's (its earlier content was given up at the commit, so the
// product's copy stays; in <D> an earlier file is the product's own, as after an earlier version);
// one whose size or checksum differs from the outcome's was changed since. An outcome without a
// stamp is trusted only in a log written before outcomes carried one.
std::string ReasonToKeep(const std::string& path, const LoggedStep& step, bool stampedLog,
                         bool editedLater) {
    for (const Saved& saved : step.saved)
        if (saved.kind == Saved::Kind::File && saved.existed &&
            EqualText(saved.path, path, false) && !InProductFolder(path))
            return "there before the installation";
    if (WhatIsAt(path) != PathKind::File || editedLater)
        return "";
    if (step.stamp.known ? !MatchesStamp(path, step.stamp) : stampedLog)
        return "changed since the installation";
    return "";
}

// The registry value the entry replaced, when there was one: removal puts it back with its type.
const Saved* ReplacedValue(const LoggedStep& step) {
    for (const Saved& s : step.saved)
        if (s.kind == Saved::Kind::RegValue && s.existed)
            return &s;
    return nullptr;
}

// Undoes one installed element; what the step means.
StepMeaning UndoInstalled(WSetupElement* element, const LoggedStep& step, FwStringArray& rebootList,
                          StepResult& r) {
    if (element->Kind == KindRegEntry && element->RemoveOnUninstall) {
        if (const Saved* replaced = ReplacedValue(step)) {
            const bool back = PutBack(*replaced);
            r.status = back ? EntryPreviousRestored : EntryRestoreFailed;
            r.note = back ? "the value it replaced is back with its type"
                          : "the value it replaced could not be put back";
            return back ? StepMeaning::Done : StepMeaning::Failed;
        }
    }
    r = UndoElement(element, rebootList);
    StepMeaning meaning = MeaningOfStatus(element->Kind, ElementStep::Undo, r.status);
    if (meaning != StepMeaning::Failed)
        for (auto saved = step.saved.rbegin(); saved != step.saved.rend(); ++saved)
            if ((saved->kind != Saved::Kind::File || element->Kind == KindProfileString) &&
                IsLeftoverOfCreation(*saved))
                PutBack(*saved);
    // A restore that found nothing to restore did not do what was asked.
    if (element->Kind == KindRegEntry && r.status == EntryValueGone &&
        static_cast<WSetupRegEntry*>(element)->RestoreOnUninstall &&
        !static_cast<WSetupRegEntry*>(element)->PreviousValue.empty())
        meaning = StepMeaning::Failed;
    return meaning;
}

void WriteLeftLog(const std::string& logPath, const TransactionLog& log,
                  const std::vector<const LoggedStep*>& left) {
    (void)CreateDirectoryTree(ParentOf(logPath)); // else the Create below fails
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
        if (LeftAlone(element, step)) {
            Say(ItemLine("check", i + 1, m, element, step.component, step.status,
                         "not installed: nothing to check"));
            continue;
        }
        int status = VerifyElement(element);
        std::string note;
        // A replacement that waits for the restart is not a failure yet.
        if ((element->Kind == KindFile || element->Kind == KindTTFFile) &&
            WaitsForRestart(ElementPath(*element, false), pending)) {
            ++waiting;
            note = "waits for the restart";
        } else if (MeaningOfStatus(element->Kind, ElementStep::Check, status) ==
                   StepMeaning::Failed) {
            ++failed;
        }
        Say(ItemLine("check", i + 1, m, element, step.component, status, note));
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
    // The log is the engine's own file in the product's folder: it goes first, so that the
    // folder can be removed; what cannot be undone is written back to it afterwards.
    DeleteFileA(logPath.c_str());
    RemoveFlatFolder(AsideFolderOf(logPath));
    FwStringArray rebootList;
    std::vector<const LoggedStep*> left;
    FolderSweep folders;
    const int m = static_cast<int>(installed.elements.size());
    int n = 0;
    for (int i = m - 1; i >= 0; --i) {
        WSetupElement* element = installed.elements[i];
        const LoggedStep& step = *installed.steps[i];
        ++n;
        if (LeftAlone(element, step)) {
            // A shared file the copy rule kept was counted all the same: the count goes back.
            const bool counted = IsFileKind(element->Kind) &&
                                 TookSharedCount(*static_cast<WSetupFile*>(element), step.status);
            if (counted)
                GiveBackSharedCount(ElementPath(*element, false), step);
            Say(ItemLine("undo", n, m, element, step.component, step.status,
                         counted ? "nothing to undo: the installation did not change it; its "
                                   "shared count is given back"
                                 : "nothing to undo: the installation did not change it"));
            continue;
        }
        const int before = rebootList.GetSize();
        const std::string path = IsFileKind(element->Kind) ? ElementPath(*element, false) : "";
        const bool counted = IsFileKind(element->Kind) &&
                             TookSharedCount(*static_cast<WSetupFile*>(element), step.status);
        if (IsFileKind(element->Kind)) {
            const std::string reason =
                ReasonToKeep(path, step, installed.log.stamped,
                             ChangedByALaterStep(path, installed, static_cast<std::size_t>(i)));
            const bool others = reason.empty() && counted && CountedByOthers(path);
            if (!reason.empty() || others) {
                if (counted)
                    GiveBackSharedCount(path, step);
                if (!reason.empty())
                    Say("left: " + path + " (" + reason + ")");
                Say(ItemLine("undo", n, m, element, step.component, 0,
                             others ? "kept: another product counts it"
                                    : "kept: not the installation's to delete"));
                continue;
            }
        }
        const bool swept = folders.Take(element);
        if (!swept)
            folders.Run();
        StepResult r{0, "", FontRegistered};
        if (UndoInstalled(element, step, rebootList, r) == StepMeaning::Failed)
            left.insert(left.begin(), &step);
        else if (counted && r.status == FileNotToBeRemoved)
            GiveBackSharedCount(path, step); // the kind keeps the file and its count
        else if (counted)
            DropUnusedCount(SharedCountNameOf(path), step);
        if (swept)
            folders.After();
        Say(ItemLine("undo", n, m, element, step.component, r.status, r.note));
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
                    Say("left: " + ParentOf(logPath) +
                        " (it holds what is not the installation's)");
            }
        }
    Summary("remove", installed.elements, rebootList.GetSize(), static_cast<int>(left.size()));
    if (!left.empty())
        return ExitElementFailed;
    return rebootList.GetSize() > 0 ? RestartNeeded(rebootList.GetSize()) : ExitOk;
}
