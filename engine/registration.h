// The product in the system's list of installed programs: the key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<product name> with
// `DisplayName` (the product's name) and `UninstallString` (a copy of the engine kept for the
// removal, with its removal arguments: mode=remove log=<the uninstall log>), `InstallLocation`
// (<D>), and from the description `DisplayVersion` (Version), `Publisher` and `DisplayIcon` when
// it gives them. Where the list shows sizes (Windows 2000 and later) it also carries
// `EstimatedSize`, the chosen files' size in KB (rounded up), filled in by CompleteRegistration
// once the choice is made. The control panel's list of programs reads it on Windows 95, 98,
// NT 4.0 and 2000.
//
// The copy is kept in the Windows folder, under a short name of the product's own
// (EngineCopyName), not in the product's folder: the removal runs from it, and a running program
// can only be deleted at the restart, when the Windows 95/98 family deletes files but never
// folders. Kept there, the product's folder goes with the removal itself on every family, and
// only the copy waits for the restart.
//
// NT 3.51 has no such list; the entry is written there all the same: the key is an ordinary
// registry key that nothing reads, it costs nothing, it goes at removal like every other step,
// and the command it holds is the one to run to remove the product there too.
//
// The registration is three elements of the installation's own component, added to the
// description before it is checked: the engine's copy (a WSetupFile) and the two values (each a
// WSetupRegEntry). They go through the transaction like every other step (rolled back with the
// rest) and removal takes them back by their outcome. When removal runs from the copy itself,
// the copy cannot be deleted while it runs: its deletion waits for the restart (the library's
// restart scheduling).
#pragma once

#include <string>

#include <vector>

#include "description.h"
#include "setup/core/element.h"

// The component that holds the registration's elements.
const char* const RegistrationComponent = "EngineRegistration";

// Adds the registration to the description: the engine at `enginePath` is copied into the
// Windows folder as EngineCopyName and named with `logPath`. Nothing is added for a product
// without a name.
void AddRegistration(ProductDescription& description, const std::string& enginePath,
                     const std::string& logPath);

// Fills in what the registration can know only from the chosen components: the size of the files
// that `order` installs, in the EstimatedSize value (when the registration carries one).
void CompleteRegistration(const std::vector<WSetupElement*>& order);

// The file name of an installation's copy of the engine: "rv", six hexadecimal digits of a hash
// of the product's name and its log's path (ignoring case), and the extension of `engineName`; a
// short name, which every family's restart scheduling takes as it is. The same product installed
// again in the same place has the same copy; installed in another place, a copy of its own, which
// the removal of the other installation leaves. A later `generation` hashes that number too: an
// installation whose first name still waits for its deletion at the restart (a removal ran from
// that copy) takes the next one, so that the restart never deletes a live copy.
std::string EngineCopyName(const std::string& productName, const std::string& logPath,
                           const std::string& engineName, int generation = 0);

// The removal command the entry holds: the copy and the log, each quoted only when it holds a
// blank, so that the line runs the same through CreateProcess and through "cmd /c" (which drops
// the first and the last quote of a line that begins with one).
std::string RemovalCommand(const std::string& copyPath, const std::string& logPath);

// The key of the product's entry under HKEY_LOCAL_MACHINE.
std::string UninstallKeyOf(const std::string& productName);
