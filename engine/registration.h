// The product in the system's list of installed programs: the key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<product name> with
// `DisplayName` (the product's name) and `UninstallString` (a copy of the engine kept in the
// installation's folder, with its removal arguments: mode=remove log=<the uninstall log>). The
// control panel's list of programs reads it on Windows 95, 98, NT 4.0 and 2000.
//
// NT 3.51 has no such list; the entry is written there all the same: the key is an ordinary
// registry key that nothing reads, it costs nothing, it goes at removal like every other step,
// and the command it holds is the one to run to remove the product there too.
//
// The registration is three elements of the installation's own component, added to the
// description before it is checked: the engine's copy (a WSetupFile) and the two values (each a
// WSetupRegEntry). They go through the transaction like every other step (rolled back with the
// rest) and removal takes them back by their outcome. When removal runs from the copy itself,
// the copy cannot be deleted while it runs: its deletion, and that of the folders the
// installation made, wait for the restart (the library's restart scheduling).
#pragma once

#include <string>

#include "description.h"

// The component that holds the registration's elements.
const char* const RegistrationComponent = "EngineRegistration";

// Adds the registration to the description: the engine at `enginePath` is copied into the
// installation's folder and named with `logPath`. Nothing is added for a product without a name.
void AddRegistration(ProductDescription& description, const std::string& enginePath,
                     const std::string& logPath);

// The key of the product's entry under HKEY_LOCAL_MACHINE.
std::string UninstallKeyOf(const std::string& productName);
