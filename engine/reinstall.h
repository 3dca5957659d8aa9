// An installation over an installed product. When a committed log is at the installation's log
// path, the same version again repairs the installation, a newer one upgrades it, and an older
// one is refused (ExitOlderVersion, nothing changed); the command line's existing= word may
// choose instead (engine_main.cpp).
//
// A repair or upgrade is one transaction with its own log beside the installation's (NextLogOf
// in undo.h). Until that log commits, the installation's log stays as it is, so a rollback (an
// element that fails, the user's cancel, or the next start after the engine was killed) leaves
// the installation whole; a committed one that could not be finished is finished by the next
// start (RecoverIfUnfinished).
//
// Repair: every logged element is checked as mode=check checks it, and the ones that do not
// check out are installed again from their logged records, their files from the current medium.
// The installation's log stays its uninstall log (its saved states are those from before the
// first installation; a file put back is the one its outcome names).
//
// Upgrade: the new version installs as a first installation would. Its log begins with the
// replaced installation's steps for the elements the new version still has (an element is the
// same when its class and id are), and ends, before the commit, with steps that take away the
// elements it no longer has, undone as removal undoes them; committed, it takes the place of the
// installation's log. Removal then runs back through the new steps and the replaced ones and
// leaves the machine as it was before the first installation.
// An upgrade stays in the installed destination <D>: one into another folder is refused.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "description.h"
#include "install_run.h"

// What the command line's existing= word chooses.
enum class ExistingChoice { ByVersion, Repair, Upgrade, Refuse };

// "repair", "upgrade", "refuse" (any case); false for another word.
bool ReadExistingChoice(const std::string& word, ExistingChoice& choice);

// Compares dotted versions part by part, the digits of each numerically (1.10 is newer than
// 1.9, 1.02 equals 1.2; a missing part counts as 0, so 1 equals 1.0), and what follows a part's
// digits as text ignoring case. "" is older than every other version and equals only "".
// Answers a negative number, 0 or a positive number as `a` is older, the same or newer.
int CompareVersions(const std::string& a, const std::string& b);

class Reinstallation {
public:
    enum class Way { First, Repair, Upgrade, Refused };

    // Looks at the installation at `logPath` (after its recovery), with the macro context filled
    // from `description`. Reading the installed log fills the context from its header: the caller
    // fills it again from the description before an upgrade's installation.
    Reinstallation(const ProductDescription& description, const std::string& logPath,
                   ExistingChoice choice);
    ~Reinstallation();
    Reinstallation(const Reinstallation&) = delete;
    Reinstallation& operator=(const Reinstallation&) = delete;

    // First: no committed installation is there, or "refuse" was chosen (Install refuses it).
    Way Chosen() const { return m_way; }
    // The exit code of a refusal (what was refused has been said).
    int RefusalCode() const { return m_refusal; }

    // Runs the repair; the run's exit code.
    [[nodiscard]] int Repair(const InstallSwitches& switches);

    // Where the installation's transaction writes its log: the installation's log path, or, for
    // an upgrade, the upgrade's own log beside it.
    std::string TransactionLogPath() const;
    // What an upgrade adds to the installation's transaction; null for the other ways.
    TransactionAdditions* Additions();

    struct Installed;

private:
    Way m_way = Way::First;
    int m_refusal = 0;
    std::string m_logPath;
    std::string m_version;   // the description's
    std::string m_installed; // the installed log's
    std::string m_medium;    // <S> of this run
    std::string m_product;
    std::unique_ptr<Installed> m_old;
    std::unique_ptr<TransactionAdditions> m_upgrade;
};
