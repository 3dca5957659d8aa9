#include "reinstall.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

#include "cancel.h"
#include "kind_table.h"
#include "output.h"
#include "product.h"
#include "removal.h"
#include "rollback.h"
#include "setup/core/handles.h"
#include "setup/core/fileutil.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/text.h"
#include "setup/elements/copy_rules.h"
#include "setup/elements/element_kinds.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/custom_code.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "setup/elements/ttf_file.h"
#include "transaction_log.h"
#include "undo.h"

bool ReadExistingChoice(const std::string& word, ExistingChoice& choice) {
    const std::string w = Uppercased(word);
    if (w == "REPAIR")
        choice = ExistingChoice::Repair;
    else if (w == "UPGRADE")
        choice = ExistingChoice::Upgrade;
    else if (w == "REFUSE")
        choice = ExistingChoice::Refuse;
    else
        return false;
    return true;
}

namespace {

// One dotted part: its leading digits as a number (leading zeros dropped), and the rest.
struct VersionPart {
    std::string digits;
    std::string rest;
};

VersionPart PartAt(const std::string& version, std::string::size_type& at) {
    VersionPart part;
    const std::string::size_type dot = version.find('.', at);
    const std::string text = version.substr(at, dot == std::string::npos ? dot : dot - at);
    at = dot == std::string::npos ? version.size() : dot + 1;
    std::string::size_type i = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    part.digits = text.substr(0, i);
    part.rest = Uppercased(text.substr(i));
    const std::string::size_type nonZero = part.digits.find_first_not_of('0');
    part.digits = nonZero == std::string::npos ? "" : part.digits.substr(nonZero);
    return part;
}

} // namespace

int CompareVersions(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
    std::string::size_type i = 0;
    std::string::size_type j = 0;
    while (i < a.size() || j < b.size()) {
        const VersionPart x = i < a.size() ? PartAt(a, i) : VersionPart();
        const VersionPart y = j < b.size() ? PartAt(b, j) : VersionPart();
        // Numbers of any length: the longer one, without leading zeros, is the greater.
        if (x.digits.size() != y.digits.size())
            return x.digits.size() < y.digits.size() ? -1 : 1;
        if (x.digits != y.digits)
            return x.digits < y.digits ? -1 : 1;
        if (x.rest != y.rest)
            return x.rest < y.rest ? -1 : 1;
    }
    return 0;
}

// The installed log and the product rebuilt from it, each step with its element.
struct Reinstallation::Installed {
    TransactionLog log;
    Product product;
    std::vector<WSetupElement*> elements; // by the log's steps
};

namespace {

const char* const ContextD = "context D=";

std::string HeaderValue(const TransactionLog& log, const std::string& prefix) {
    for (const std::string& line : log.header)
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line.substr(prefix.size());
    return "";
}

// Whether the installation left the element as it found it (nothing to check or put back).
bool LeftAlone(WSetupElement* element, const LoggedStep& step) {
    return step.meaning == StepMeaning::Failed ||
           (step.meaning == StepMeaning::NothingToDo && !RowOf(*element).actsAtRemoval);
}

std::string Identity(const std::string& className, WSetupElement* element) {
    return className + " " + element->Id.c_str();
}

// What the upgrade adds to the new version's transaction.
class Upgrade : public TransactionAdditions {
public:
    Upgrade(const Reinstallation::Installed& old, std::string logPath, std::string from,
            std::string to)
        : m_old(old), m_logPath(std::move(logPath)), m_from(std::move(from)), m_to(std::move(to)) {}

    bool AfterHeader(TransactionWriter& writer, const std::vector<WSetupElement*>& order) override {
        std::set<std::string> kept;
        for (WSetupElement* element : order)
            kept.insert(Identity(element->GetRuntimeClass()->ClassName, element));
        Say("upgrade from " + ShownVersion(m_from) + " to " + ShownVersion(m_to));
        std::string lines = "replaces " + m_from + "\r\n";
        for (const std::string& folder : m_old.log.createdFolders)
            lines += CreatedLine(folder);
        int inherited = 0;
        for (std::size_t i = 0; i < m_old.log.steps.size(); ++i) {
            const LoggedStep& step = m_old.log.steps[i];
            if (step.role == StepRole::Removal)
                continue; // taken away by an earlier upgrade
            WSetupElement* element = m_old.elements[i];
            if (!kept.count(Identity(step.className, element))) {
                if (!LeftAlone(element, step))
                    m_dropped.push_back(i);
                continue;
            }
            LoggedStep copy = step;
            copy.role = StepRole::Inherited;
            copy.number = -++inherited;
            lines += IntentLine(copy);
            if (step.hasOutcome)
                lines += OutcomeLine(copy.number, step.status, step.meaning, step.recordAfter,
                                     step.stamp);
        }
        return writer.Note(lines);
    }

    bool BeforeCommit(TransactionWriter& writer, int next, bool& logFailed) override {
        const ComScope com;
        const std::string aside = AsideFolderOf(NextLogOf(m_logPath));
        const int m = static_cast<int>(m_dropped.size());
        int k = 0;
        FwStringArray rebootList;
        for (std::size_t index : m_dropped) {
            ++k;
            WSetupElement* element = m_old.elements[index];
            const LoggedStep& old = m_old.log.steps[index];
            LoggedStep step;
            step.number = next++;
            step.role = StepRole::Removal;
            step.className = old.className;
            step.component = old.component;
            step.record = element->GetFullRecord().c_str();
            // What the removal changes is what the element's installation changed: saved the
            // same way, it comes back on a rollback.
            if (!SaveStateBefore(*element, step.number, aside, step.saved)) {
                Say(ItemLine("upgrade removes", k, m, element, step.component, 0,
                             "what it would take away could not be kept aside; not run", nullptr));
                return false;
            }
            if (!writer.Announce(step)) {
                logFailed = true;
                return false;
            }
            StepResult r{0, "", FontRegistered};
            SetLastError(0);
            const StepMeaning meaning = UndoInstalled(element, old, rebootList, r);
            if (meaning == StepMeaning::Failed)
                r.note = WithPlatformError(r.note, GetLastError());
            Say(ItemLine("upgrade removes", k, m, element, step.component, r.status, r.note,
                         &AnsweredByUndo));
            if (!writer.Record(step.number, r.status, meaning, element->GetFullRecord().c_str())) {
                logFailed = true;
                return false;
            }
            if (meaning == StepMeaning::Failed)
                return false;
        }
        return true;
    }

    int AfterCommit() override {
        if (!FinishReinstallation(m_logPath))
            return ExitLogFailed;
        Say("log " + m_logPath);
        Say("upgrade from " + ShownVersion(m_from) + " to " + ShownVersion(m_to) + ": " +
            std::to_string(m_dropped.size()) + " elements of the older version taken away");
        return ExitOk;
    }

private:
    static std::string ShownVersion(const std::string& v) { return v.empty() ? "(none)" : v; }

    const Reinstallation::Installed& m_old;
    std::string m_logPath;
    std::string m_from;
    std::string m_to;
    std::vector<std::size_t> m_dropped; // the old log's steps to take away
};

} // namespace

Reinstallation::Reinstallation(const ProductDescription& description, const std::string& logPath,
                               ExistingChoice choice)
    : m_logPath(logPath), m_version(description.version), m_product(description.name) {
    if (choice == ExistingChoice::Refuse ||
        GetFileAttributesA(logPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    m_medium = TheSetupContext().MacroS.c_str();
    const std::string destination = TheSetupContext().MacroD.c_str();
    auto old = std::make_unique<Installed>();
    std::string error;
    // A log that cannot be read, or did not commit, is left to the installation's refusal.
    if (!ReadTransactionLog(logPath, old->log, error) || !old->log.committed ||
        !ApplyHeader(old->log.header, old->product, error))
        return;
    for (const LoggedStep& step : old->log.steps) {
        WSetupElement* element = ElementOfStep(step, old->product, error);
        if (!element)
            return;
        old->elements.push_back(element);
    }
    m_installed = HeaderValue(old->log, "version ");
    const int order = CompareVersions(m_version, m_installed);
    Way way = order == 0 ? Way::Repair : order > 0 ? Way::Upgrade : Way::Refused;
    if (choice == ExistingChoice::Repair)
        way = Way::Repair;
    else if (choice == ExistingChoice::Upgrade)
        way = Way::Upgrade;
    m_old = std::move(old);
    if (way == Way::Refused) {
        Say("refused " + m_product + " " + m_installed +
            " is installed; this setup holds the older version " + m_version +
            "; remove the newer one first");
        Say("summary refused: 1 problem; nothing was changed");
        m_way = Way::Refused;
        m_refusal = ExitOlderVersion;
        return;
    }
    const std::string installedIn = HeaderValue(m_old->log, ContextD);
    if (way == Way::Upgrade && !EqualText(installedIn, destination, false)) {
        Say("refused the destination " + destination + ": " + m_product + " " + m_installed +
            " is installed in " + installedIn + "; its upgrade goes there");
        Say("summary refused: 1 problem; nothing was changed");
        m_way = Way::Refused;
        m_refusal = ExitRefused;
        return;
    }
    m_way = way;
    if (way == Way::Upgrade)
        m_upgrade = std::make_unique<Upgrade>(*m_old, logPath, m_installed, m_version);
}

Reinstallation::~Reinstallation() = default;

std::string Reinstallation::TransactionLogPath() const {
    return m_way == Way::Upgrade ? NextLogOf(m_logPath) : m_logPath;
}

TransactionAdditions* Reinstallation::Additions() {
    return m_upgrade.get();
}

namespace {

// The repair's transaction: each broken element installed again, with what it replaces saved.
struct RepairRun {
    TransactionWriter writer;
    std::string logPath;
    FwStringArray rebootList;
    FwPtrArray collected;
    std::vector<WSetupElement*> repaired;
};

// The file a repaired file step put in place, for its outcome (as an installation records it).
FileStamp StampOfRepairedFile(WSetupElement* element, int status, StepMeaning meaning) {
    if (!RowOf(*element).copiesAFile || meaning != StepMeaning::Done)
        return FileStamp();
    if (IsScheduledOutcome(status)) {
        const auto* file = static_cast<const WSetupFile*>(element);
        return StampOf(
            TheSetupContext().ResolvePath(file->SourceDir.c_str(), file->SourceName.c_str()));
    }
    return StampOf(ElementPath(*element, false));
}

// Installs one broken element again; false when it failed or the log could not be written.
bool RepairStep(RepairRun& run, WSetupElement* element, const std::string& component, int k, int m,
                bool& logFailed) {
    LoggedStep step;
    step.number = k;
    step.className = element->GetRuntimeClass()->ClassName;
    step.component = component;
    step.record = element->GetFullRecord().c_str();
    // The log keeps the name the copy gave the file; on the medium it has that name.
    if (RowOf(*element).copiesAFile) {
        auto* file = static_cast<WSetupFile*>(element);
        if (file->MediaName.empty())
            file->MediaName = file->SourceName;
    }
    const bool saved = SaveStateBefore(*element, k, AsideFolderOf(run.logPath), step.saved);
    if (!run.writer.Announce(step)) {
        logFailed = true;
        return false;
    }
    StepResult r{ElementNotProcessed, "", FontRegistered};
    StepMeaning meaning = StepMeaning::Failed;
    const KindRow& row = RowOf(*element);
    if (!saved)
        r.note = "what the step would replace could not be kept aside; not run";
    else if (row.mayRun && !row.mayRun(*element, r.note))
        r.status = CustomDllAbsent;
    else {
        SetLastError(0);
        r = InstallElement(element, run.rebootList, run.collected);
        const DWORD error = GetLastError();
        meaning = MeaningOfStatus(element->Kind, ElementStep::Install, r.status);
        if (meaning != StepMeaning::Failed && row.failedBeyondStatus && row.failedBeyondStatus(r))
            meaning = StepMeaning::Failed;
        if (meaning == StepMeaning::Failed)
            r.note = WithPlatformError(r.note, error);
    }
    Say(ItemLine("repair", k, m, element, component, r.status, r.note,
                 saved ? &AnsweredByInstall : nullptr));
    if (!run.writer.Record(k, r.status, meaning, element->GetFullRecord().c_str(),
                           StampOfRepairedFile(element, r.status, meaning))) {
        logFailed = true;
        return false;
    }
    if (meaning == StepMeaning::Failed)
        return false;
    run.repaired.push_back(element);
    return true;
}

// Whether a later step of the log changes the file again (an edit of an installed settings
// file): the stamp of the step that copied it is then not the file's last state.
bool EditedByALaterStep(const std::string& path, const TransactionLog& log, std::size_t index) {
    for (std::size_t k = index + 1; k < log.steps.size(); ++k)
        for (const Saved& saved : log.steps[k].saved)
            if (saved.kind == Saved::Kind::File && EqualText(saved.path, path, false))
                return true;
    return false;
}

// A registry entry's value as its installation wrote it: gone, or of another type or content
// ("" when it is as written, or is of a binary form, which the kind's check alone judges).
std::string ChangedEntry(WSetupRegEntry& entry) {
    const std::string type = Uppercased(entry.ValueType.c_str());
    const std::string data = ExpandText(entry.ValueData.str());
    const RegEntryPlace place =
        RegEntryPlaceOf(ExpandText(entry.KeyPath.str()), ExpandText(entry.ValueName.str()));
    if ((type != "STRING" && type != "DWORD" && !type.empty()) ||
        (place.name.empty() && data.empty()))
        return "";
    RegKey key;
    DWORD now = 0;
    std::string bytes;
    if (OpenRegKey(entry.RootName.c_str(), place.key, KEY_QUERY_VALUE, key) != ERROR_SUCCESS ||
        !ReadRegValue(key.Get(), place.name, now, bytes))
        return "its value is gone";
    if (type == "DWORD") {
        DWORD number = 0;
        if (now == REG_DWORD && bytes.size() == sizeof number)
            std::memcpy(&number, bytes.data(), sizeof number);
        const bool same = now == REG_DWORD && bytes.size() == sizeof number &&
                          number == static_cast<DWORD>(std::strtoul(data.c_str(), nullptr, 0));
        return same ? "" : "its value was changed";
    }
    const bool same = (now == REG_SZ || now == REG_EXPAND_SZ) &&
                      std::string(bytes.c_str(), std::strlen(bytes.c_str())) == data;
    return same ? "" : "its value was changed";
}

// What changed since the installation in an element that the kind's check passes: a file that is
// no longer the one the step put there, a registry value that is no longer the one it wrote.
std::string ChangedSinceInstalled(WSetupElement* element, const Reinstallation::Installed& old,
                                  std::size_t index) {
    const LoggedStep& step = old.log.steps[index];
    if (RowOf(*element).copiesAFile) {
        const std::string path = ElementPath(*element, false);
        if (step.stamp.known && WhatIsAt(path) == PathKind::File &&
            !EditedByALaterStep(path, old.log, index) && !MatchesStamp(path, step.stamp))
            return "the file was changed";
        return "";
    }
    if (element->Kind == KindRegEntry)
        return ChangedEntry(*static_cast<WSetupRegEntry*>(element));
    return "";
}

// Rolls the repair back from its log; the run's exit code.
int RollBackRepair(RepairRun& run, bool logFailed, bool cancelled) {
    run.writer = TransactionWriter();
    TransactionLog log;
    std::string error;
    const bool back = ReadTransactionLog(run.logPath, log, error) && RollBack(run.logPath, log);
    if (!error.empty())
        Say("rollback refused " + error);
    Say(std::string("rollback: ") + (back ? "machine put back as it was" : "incomplete"));
    if (!back)
        return ExitRollbackIncomplete;
    return logFailed ? ExitLogFailed : cancelled ? ExitCancelled : ExitRolledBack;
}

} // namespace

int Reinstallation::Repair(const InstallSwitches& switches) {
    // The logged records name their files on the medium of the first installation: they come
    // from this run's medium now.
    TheSetupContext().MacroS = m_medium.c_str();
    Say("repair " + m_product + (m_installed.empty() ? "" : " " + m_installed) +
        ": checking what is installed");
    const int m = static_cast<int>(m_old->elements.size());
    std::vector<std::size_t> broken;
    {
        const ComScope com;
        for (int i = 0; i < m; ++i) {
            WSetupElement* element = m_old->elements[i];
            const LoggedStep& step = m_old->log.steps[i];
            if (step.role != StepRole::Install || LeftAlone(element, step) ||
                RowOf(*element).actsAtRemoval)
                continue;
            const int status = VerifyElement(element);
            std::string changed;
            if (MeaningOfStatus(element->Kind, ElementStep::Check, status) != StepMeaning::Failed) {
                changed = ChangedSinceInstalled(element, *m_old, static_cast<std::size_t>(i));
                if (changed.empty())
                    continue;
            }
            broken.push_back(static_cast<std::size_t>(i));
            Say(ItemLine("check", i + 1, m, element, step.component, status,
                         changed.empty() ? "to be put back" : changed + "; to be put back",
                         &AnsweredByCheck));
        }
    }
    if (broken.empty()) {
        Say("repair: 0 elements put back; everything checks out");
        return ExitOk;
    }
    RepairRun run;
    run.logPath = NextLogOf(m_logPath);
    std::vector<std::string> header = m_old->log.header;
    header.push_back("repairs " + m_installed);
    if (!run.writer.Begin(run.logPath, header)) {
        Say("log " + run.logPath + " could not be written; nothing was repaired");
        run.writer = TransactionWriter();
        (void)DeleteFileA(run.logPath.c_str()); // a part written goes; nothing reads it
        return ExitLogFailed;
    }
    const ComScope com;
    const int k = static_cast<int>(broken.size());
    bool logFailed = false;
    for (int n = 1; n <= k; ++n) {
        const std::size_t i = broken[n - 1];
        if (!RepairStep(run, m_old->elements[i], m_old->log.steps[i].component, n, k, logFailed))
            return RollBackRepair(run, logFailed, false);
        if (n == switches.cancelAfter)
            RequestCancel();
        if (CancelRequested()) {
            Say("cancelled after " + std::to_string(n) + " of " + std::to_string(k) +
                ": rolling back");
            return RollBackRepair(run, false, true);
        }
    }
    if (!run.writer.Commit()) {
        Say("log " + run.logPath + " could not be committed");
        return RollBackRepair(run, true, false);
    }
    run.writer = TransactionWriter();
    if (!FinishReinstallation(m_logPath))
        return ExitLogFailed;
    Say("log " + m_logPath);
    Say("repair: " + std::to_string(k) + " elements put back");
    Summary("repair", run.repaired, run.rebootList.GetSize(), 0);
    return run.rebootList.GetSize() > 0 ? RestartNeeded(run.rebootList.GetSize()) : ExitOk;
}
