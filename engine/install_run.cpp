#include "install_run.h"

#include <windows.h>

#include <vector>

#include "cancel.h"
#include "kind_table.h"
#include "output.h"
#include "preflight.h"
#include "registration.h"
#include "product.h"
#include "progress_window.h"
#include "restart.h"
#include "rollback.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/element_kinds.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/file.h"
#include "setup/core/macros.h"
#include "setup/core/medium_file.h"
#include "setup/elements/ttf_file.h"
#include "transaction_log.h"
#include "undo.h"

namespace {

// Whether the element failed because its file on the medium is damaged.
bool FoundDamagedMedium(const WSetupElement* element) {
    return RowOf(*element).copiesAFile && element->Status == MediumDamaged;
}

// Whether the element failed because the user gave up waiting for a diskette of the set.
bool FoundMissingDisk(const WSetupElement* element) {
    return RowOf(*element).copiesAFile && element->Status == MediumNotInserted;
}

// The file on the medium that a copying element took.
std::string MediumFileOf(const WSetupElement* element) {
    const auto* file = static_cast<const WSetupFile*>(element);
    return TheSetupContext().ResolvePath(file->SourceDir.c_str(), file->MediaName.c_str());
}

// Runs one step and says what it means; the engine's own judgement goes beyond the status where
// the status cannot tell a failure.
StepMeaning RunInstallStep(WSetupElement* element, FwStringArray& rebootList, FwPtrArray& collected,
                           StepResult& r) {
    const KindRow& row = RowOf(*element);
    if (row.mayRun && !row.mayRun(*element, r.note)) {
        r.status = CustomDllAbsent;
        return StepMeaning::Failed;
    }
    SetLastError(0);
    r = InstallElement(element, rebootList, collected);
    const DWORD error = GetLastError();
    StepMeaning meaning = MeaningOfStatus(element->Kind, ElementStep::Install, r.status);
    if (meaning != StepMeaning::Failed && row.failedBeyondStatus && row.failedBeyondStatus(r))
        meaning = StepMeaning::Failed;
    if (meaning == StepMeaning::Failed && FoundDamagedMedium(element))
        r.note = "the setup file " + MediumFileOf(element) + " is damaged";
    else if (meaning == StepMeaning::Failed && FoundMissingDisk(element))
        r.note =
            "the setup file " + MediumFileOf(element) + " lies on a diskette that was not inserted";
    else if (meaning == StepMeaning::Failed)
        r.note = WithPlatformError(r.note, error);
    return meaning;
}

// How the loop over the elements ended.
enum class LoopEnd { Done, ElementFailed, MediumDamaged, DiskNotInserted, LogFailed, Cancelled };

struct InstallRun {
    TransactionWriter writer;
    std::string logPath;
    std::string aside;
    std::vector<WSetupElement*> order;
    FwStringArray rebootList;
    FwPtrArray collected;
    int failed = 0;
};

// A step whose intent is ready: its record and the states saved before it.
struct PreparedStep {
    WSetupElement* element = nullptr;
    LoggedStep step;
    bool saved = false; // false: what it would replace could not be kept aside, so it must not run
};

PreparedStep PrepareStep(Product& product, InstallRun& run, int n,
                         RestartListReading& restartList) {
    PreparedStep p;
    p.element = run.order[n - 1];
    p.step.number = n;
    p.step.className = p.element->GetRuntimeClass()->ClassName;
    p.step.component = product.componentOf[p.element];
    p.step.record = p.element->GetFullRecord().c_str();
    p.saved = SaveStateBefore(*p.element, n, run.aside, p.step.saved, &restartList);
    return p;
}

// The most steps whose intents share one flush of the log.
constexpr std::size_t MostStepsPerFlush = 64;

// The steps from `n` on whose intents go to the log with one flush. Every state of a batch is
// saved before any of its steps runs, so a batch holds only steps that their saved states undo
// (files, folders, values, settings) and none that touches what an earlier one of the batch
// touches; a step that runs the product's code or works through the shell, and one whose state
// could not be saved, stands alone. False when the log could not be written.
bool AnnounceBatch(Product& product, InstallRun& run, int n, std::vector<PreparedStep>& batch) {
    batch.clear();
    std::vector<Saved> states;
    RestartListReading restartList;
    const int m = static_cast<int>(run.order.size());
    for (int k = n; k <= m && batch.size() < MostStepsPerFlush; ++k) {
        const bool joins = RowOf(*run.order[k - 1]).undo == UndoPath::SavedStates;
        if (!batch.empty() && !joins)
            break;
        PreparedStep p = PrepareStep(product, run, k, restartList);
        if (!batch.empty() && (!p.saved || SharesState(states, p.step.saved)))
            break; // prepared again as the first of the next batch
        states.insert(states.end(), p.step.saved.begin(), p.step.saved.end());
        batch.push_back(std::move(p));
        if (!joins || !batch.back().saved)
            break;
    }
    for (const PreparedStep& p : batch)
        if (!run.writer.Stage(p.step))
            return false;
    return run.writer.Sync();
}

// The file a file kind's step put in place, for its outcome: the destination as the copy left it,
// or, for a replacement that waits for the restart, the source that will then stand there.
FileStamp StampOfInstalledFile(WSetupElement* element, int status, StepMeaning meaning) {
    if (!RowOf(*element).copiesAFile || meaning != StepMeaning::Done)
        return FileStamp();
    const auto* file = static_cast<const WSetupFile*>(element);
    if (IsScheduledOutcome(status)) {
        const std::string source =
            TheSetupContext().ResolvePath(file->SourceDir.c_str(), file->SourceName.c_str());
        MediumHeader header;
        if (ReadMediumHeader(source, header) == MediumForm::Compressed)
            return FileStamp{true, header.size, header.checksum}; // the original's
        return StampOf(source);
    }
    return StampOf(ElementPath(*element, false));
}

// Runs an announced step and records its outcome; false when the log could not be written.
bool RunStep(InstallRun& run, const PreparedStep& p, StepMeaning& meaning) {
    StepResult r{ElementNotProcessed, "", FontRegistered};
    meaning = StepMeaning::Failed;
    const int before = run.rebootList.GetSize();
    if (p.saved)
        meaning = RunInstallStep(p.element, run.rebootList, run.collected, r);
    else
        r.note = "what the step would replace could not be kept aside; not run";
    if (meaning == StepMeaning::Failed)
        ++run.failed;
    Say(ItemLine("install", p.step.number, static_cast<int>(run.order.size()), p.element,
                 p.step.component, r.status, r.note, p.saved ? &AnsweredByInstall : nullptr));
    for (int i = before; i < run.rebootList.GetSize(); ++i)
        Say(std::string("restart ") + run.rebootList.GetAt(i).c_str());
    return run.writer.Record(p.step.number, r.status, meaning, p.element->GetFullRecord().c_str(),
                             StampOfInstalledFile(p.element, r.status, meaning));
}

LoopEnd InstallElements(Product& product, InstallRun& run, int cancelAfter) {
    // COM stays initialised for the whole installation, as on an engine's interface thread:
    // the kinds' own initialisations then only count, instead of building and tearing down the
    // apartment (under Wine a thread and a window) for every shortcut.
    const ComScope com;
    const int m = static_cast<int>(run.order.size());
    if (g_window)
        g_window->SetTotal(m);
    std::vector<PreparedStep> batch;
    for (int n = 1; n <= m;) {
        if (!AnnounceBatch(product, run, n, batch)) {
            Say("log " + run.logPath + " could not be written");
            return LoopEnd::LogFailed;
        }
        for (const PreparedStep& p : batch) {
            if (g_window)
                g_window->Step(n, StepWords(*p.element, false));
            StepMeaning meaning = StepMeaning::Failed;
            if (!RunStep(run, p, meaning)) {
                Say("log " + run.logPath + " could not be written");
                return LoopEnd::LogFailed;
            }
            if (meaning == StepMeaning::Failed)
                return FoundDamagedMedium(p.element) ? LoopEnd::MediumDamaged
                       : FoundMissingDisk(p.element) ? LoopEnd::DiskNotInserted
                                                     : LoopEnd::ElementFailed;
            if (n == cancelAfter)
                RequestCancel();
            // A click on Cancel while the element ran is taken now: the element finished first.
            if (g_window)
                g_window->Pump();
            if (CancelRequested()) {
                Say("cancelled after " + std::to_string(n) + " of " + std::to_string(m) +
                    ": rolling back");
                return LoopEnd::Cancelled;
            }
            ++n;
        }
    }
    return LoopEnd::Done;
}

// Rolls back what reached the log: the same path as a recovery.
bool RollBackRun(InstallRun& run) {
    run.writer = TransactionWriter();
    TransactionLog log;
    std::string error;
    bool rolledBack = ReadTransactionLog(run.logPath, log, error) && RollBack(run.logPath, log);
    if (!error.empty())
        Say("rollback refused " + error);
    return rolledBack;
}

// Creates the log and its folder; false, with nothing left behind, when it could not.
bool BeginLog(const Product& product, InstallRun& run) {
    const std::string logFolder = ParentOf(run.logPath);
    const std::string createdFolder = FirstMissingFolder(logFolder);
    bool logged = (createdFolder.empty() || CreateDirectoryTree(logFolder)) &&
                  run.writer.Begin(run.logPath, HeaderLines(product)) &&
                  (createdFolder.empty() || run.writer.Note(CreatedLine(createdFolder)));
    if (logged)
        return true;
    Say("log " + run.logPath + " could not be written; nothing was installed");
    run.writer = TransactionWriter();
    // What part of the log was written goes with its folder; a log that stays is refused by the
    // next installation, which names it.
    (void)DeleteFileA(run.logPath.c_str());
    if (!createdFolder.empty())
        RemoveCreatedFolders(logFolder, createdFolder);
    return false;
}

} // namespace

int Install(const ProductDescription& description, const std::string& logPath,
            const InstallSwitches& switches, InstallMoments* moments,
            TransactionAdditions* additions) {
    Product product;
    std::vector<std::string> problems;
    if (!BuildProduct(description, product, problems)) {
        for (const std::string& p : problems)
            Say("refused " + p);
        Say("summary refused: " + std::to_string(problems.size()) +
            (problems.size() == 1 ? " problem" : " problems") + "; nothing was installed");
        return ExitRefused;
    }
    if (GetFileAttributesA(logPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Say("refused " + logPath +
            ": an installation is recorded there; remove it first (its log would be lost)");
        Say("summary refused: 1 problem; nothing was installed");
        return ExitRefused;
    }
    if (moments) {
        int code = moments->BeforeOffer(product);
        if (code == ExitOk)
            code = moments->BeforeTransaction(product);
        if (code != ExitOk)
            return code;
    }
    InstallRun run;
    run.logPath = logPath;
    run.aside = AsideFolderOf(logPath);
    run.order = Ordered(product, true);
    CompleteRegistration(run.order);
    const int checked = CheckBeforeInstall(run.order);
    if (checked != ExitOk) {
        Say("summary refused: nothing was installed");
        return checked;
    }
    if (!BeginLog(product, run))
        return ExitLogFailed;
    LoopEnd end = additions && !additions->AfterHeader(run.writer, run.order)
                      ? LoopEnd::LogFailed
                      : InstallElements(product, run, switches.cancelAfter);
    bool logFailed = false;
    if (end == LoopEnd::Done && additions &&
        !additions->BeforeCommit(run.writer, static_cast<int>(run.order.size()) + 1, logFailed))
        end = logFailed ? LoopEnd::LogFailed : LoopEnd::ElementFailed;
    if (end != LoopEnd::Done) {
        const bool cancelled = end == LoopEnd::Cancelled;
        if (g_window)
            g_window->Say(cancelled ? "Cancelled: putting back what was done so far"
                          : end == LoopEnd::MediumDamaged
                              ? "A file of the installation medium is damaged: putting back "
                                "what was done so far"
                          : end == LoopEnd::DiskNotInserted
                              ? "A diskette of the installation was not inserted: putting back "
                                "what was done so far"
                              : "An element failed: putting back what was done so far");
        const bool rolledBack = RollBackRun(run);
        Summary("install", run.order, 0, run.failed);
        Say(std::string("rollback: ") + (rolledBack ? "machine put back as it was" : "incomplete"));
        if (g_window)
            g_window->Say(rolledBack ? (cancelled ? "Cancelled. Everything the installation had "
                                                    "done has been put back."
                                                  : "The installation failed. Everything it had "
                                                    "done has been put back.")
                                     : "The installation could not put everything back.");
        if (!rolledBack)
            return ExitRollbackIncomplete;
        return end == LoopEnd::LogFailed         ? ExitLogFailed
               : end == LoopEnd::Cancelled       ? ExitCancelled
               : end == LoopEnd::MediumDamaged   ? ExitDamagedMedium
               : end == LoopEnd::DiskNotInserted ? ExitDiskNotInserted
                                                 : ExitRolledBack;
    }
    if (!run.writer.Commit()) {
        Say("log " + logPath + " could not be committed");
        return RollBackRun(run) ? ExitLogFailed : ExitRollbackIncomplete;
    }
    if (additions) {
        run.writer = TransactionWriter(); // the log is closed before it takes its place
        const int code = additions->AfterCommit();
        if (code != ExitOk)
            return code;
    }
    if (!RemoveFlatFolder(run.aside))
        Say("left: " + run.aside + " (could not be deleted)");
    if (!additions)
        Say("log " + logPath);
    Summary("install", run.order, run.rebootList.GetSize(), run.failed);
    if (g_window)
        g_window->Say(description.name + " is installed.");
    if (moments) {
        const int code = moments->AfterCommit(product);
        if (code != ExitOk)
            return code;
    }
    return run.rebootList.GetSize() > 0 ? RestartNeeded(run.rebootList.GetSize()) : ExitOk;
}
