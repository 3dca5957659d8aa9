// What the engine keeps of the machine before a step, and how it puts it back.
//
// A file that another process held open when its state was saved could not be kept aside; the
// step cannot replace it before the restart either, so putting back leaves it in place (a
// replacement the step scheduled for the restart stays scheduled).
//
// Putting back is idempotent: it brings the thing to the state it had before the step, whatever
// happened since the state was saved (the step may have run whole, in part, or not at all), and
// doing it twice changes nothing more. Folders and registry keys a step created are removed only
// when empty: what someone else put in them since stays, with them.
#pragma once

#include <string>
#include <vector>

#include "setup/core/element.h"
#include "transaction_log.h"

class RestartListReading;

// Saves the parts of a step's state, appending them to `saved` in the order they are saved (they
// are put back in the reverse order). The kind's row (kind_table.h) says which parts its step
// needs. A file's copy is kept aside in `asideFolder` as "<step>-<n>".
class StateSaver {
public:
    StateSaver(const std::string& asideFolder, int step, std::vector<Saved>& saved)
        : m_aside(asideFolder), m_step(step), m_saved(saved) {}
    // The folder the step may create, and the shallowest of its levels that does not exist.
    void Folder(const std::string& folder);
    // A file the step may replace or delete, kept aside when it is there; false when it is there
    // but could not be kept aside (a file another process holds is saved as it is: the step can
    // only schedule its replacement).
    [[nodiscard]] bool File(const std::string& path);
    // A registry value, and the levels of its key that do not exist.
    void RegKeyAndValue(const std::string& rootName, const std::string& key,
                        const std::string& name);
    // Every key and value a registry file names.
    void RegFileTargets(const std::string& regFile);
    // What waits for the restart now (through `reading` when given).
    void RestartList(RestartListReading* reading);

private:
    std::string m_aside;
    int m_step;
    int m_files = 0;
    std::vector<Saved>& m_saved;
};

// Whether a saved state is one that removal puts back after the kind's own undo: a folder or key
// the step created (removed when empty), a settings file it created that holds no entries.
bool IsLeftoverOfCreation(const Saved& saved);

// Puts one thing back as it was; false when the machine could not be brought to that state.
[[nodiscard]] bool PutBack(const Saved& saved);

// Whether two steps' saved states name the same file or the same registry value (names compared
// as the platform does, ignoring case): such steps cannot share a flushed batch, because the later
// one's state must be saved after the earlier one ran. Folders and keys a step created may be
// shared: they are put back only when empty.
bool SharesState(const std::vector<Saved>& a, const std::vector<Saved>& b);

// Each of the parts of a saved state, for the tests and for the messages.
std::string DescribeSaved(const Saved& saved);

// The shallowest level of `folder` that does not exist ("" when every level does).
std::string FirstMissingFolder(const std::string& folder);

// Removes the folder levels from `deepest` up to `created` that are empty.
void RemoveCreatedFolders(const std::string& deepest, const std::string& created);

// Deletes the files of the folder (not its subfolders) and the folder; true when it is gone.
[[nodiscard]] bool RemoveFlatFolder(const std::string& folder);

// The folder beside the log where an installation keeps aside what its steps replace; it goes
// when the installation is committed, rolled back or removed.
std::string AsideFolderOf(const std::string& logPath);

// The log of a repair or upgrade of the installation whose log is `logPath`, beside it: the
// installation's own log stays as it is until that one commits.
std::string NextLogOf(const std::string& logPath);
