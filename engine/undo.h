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

// The states to save before an element's install step, in the order they are saved (they are
// put back in the reverse order). False when a file the step may replace or delete could not be
// kept aside in `asideFolder` (as "<step>-<n>"): the step must not run then. A step that may
// schedule work for the restart saves the restart list: through `restartList` when it is given.
bool SaveStateBefore(WSetupElement& element, int step, const std::string& asideFolder,
                     std::vector<Saved>& saved, RestartListReading* restartList = nullptr);

// Whether the engine's saved states undo the element's install step alone; the other kinds are
// undone by their own operations (and then by what was saved for them, if anything).
bool UndoneBySavedStates(int kind);

// Whether a saved state is one that removal puts back after the kind's own undo: a folder or key
// the step created (removed when empty), a settings file it created that holds no entries.
bool IsLeftoverOfCreation(const Saved& saved);

// Puts one thing back as it was; false when the machine could not be brought to that state.
bool PutBack(const Saved& saved);

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
bool RemoveFlatFolder(const std::string& folder);

// The folder beside the log where an installation keeps aside what its steps replace; it goes
// when the installation is committed, rolled back or removed.
std::string AsideFolderOf(const std::string& logPath);
