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

// Whether a shared file is to be uninstalled is the engine's decision: while another product
// still counts it, the engine only lowers the count and leaves the file in place. Answers true
// when it did so.
bool KeptForOthers(WSetupElement* element) {
    if (element->Kind != KindFile && element->Kind != KindTTFFile)
        return false;
    auto* file = static_cast<WSetupFile*>(element);
    if (!(file->FileFlags & SharedFileFlags) || !file->RemoveOnUninstall)
        return false;
    SetupContext& context = TheSetupContext();
    std::string path =
        context.ResolvePath(context.ExpandVariables(file->DestDir.c_str()), file->DestName.c_str());
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SharedDllsKey, 0, KEY_ALL_ACCESS, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD count = 0;
    if (!ReadRegDword(key.Get(), path, count) || count <= 1)
        return false;
    return WriteRegDword(key.Get(), path, count - 1);
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
    CreateDirectoryTree(ParentOf(logPath));
    OutputFile file;
    std::string text = "# uninstall log: what removal could not take back\r\n";
    for (const std::string& line : log.header)
        text += line + "\r\n";
    for (const LoggedStep* step : left)
        text += IntentLine(*step) +
                OutcomeLine(step->number, step->status, step->meaning, step->recordAfter);
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
            Say(ItemLine("undo", n, m, element, step.component, step.status,
                         "nothing to undo: the installation did not change it"));
            continue;
        }
        const int before = rebootList.GetSize();
        if (KeptForOthers(element)) {
            Say(ItemLine("undo", n, m, element, step.component, 0,
                         "kept: another product counts it"));
            continue;
        }
        const bool swept = folders.Take(element);
        if (!swept)
            folders.Run();
        StepResult r{0, "", FontRegistered};
        if (UndoInstalled(element, step, rebootList, r) == StepMeaning::Failed)
            left.insert(left.begin(), &step);
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
                RemoveFoldersAtRestart(ParentOf(logPath), folder, scheduled);
                for (const std::string& level : scheduled) {
                    rebootList.Add(FwString(level.c_str()));
                    Say("restart " + level);
                }
            }
        }
    Summary("remove", installed.elements, rebootList.GetSize(), static_cast<int>(left.size()));
    if (!left.empty())
        return ExitElementFailed;
    return rebootList.GetSize() > 0 ? RestartNeeded(rebootList.GetSize()) : ExitOk;
}
