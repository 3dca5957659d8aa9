// The wizard's window: one dialog (engine.rc) with Back, Next and Cancel over the pages of a
// WizardModel (wizard.h). The dialog manager handles Enter (Next), Esc (Cancel), Tab and the
// mnemonic keys. Cancel on any page asks once, "Cancel the installation of <product>?".
//
// Destination: the edit field and Browse, the new shell's folder browser (SHBrowseForFolderA,
// looked up in shell32 when the button is clicked). Where the old shell runs (NT 3.51) or the
// browser is missing, Browse is disabled and the edit field alone chooses the folder. Next
// refuses, with a message, a folder that is no full path, lies on the medium, names a file or
// cannot be written (the preflight's probe), and the page stays.
//
// Components: the common controls' tree view with check boxes; where no tree view can be made, a
// list whose lines carry "[x]" and which Space or a double click changes. The figures of the
// chosen components and of each drive are updated as the choice changes; Next refuses, with the
// figures, when a drive has too little space.
//
// Group: an edit field and the groups there are, which are the folders of the start menu's
// Programs folder (on every shell: the old one's Program Manager groups are not listed).
//
// The pages say themselves in the progress lines, for the tests: "wizard page <name>",
// "wizard space <drive> needed <bytes> free <bytes>", "wizard chosen <ids>", "wizard refused
// <what>: <why>", "wizard cancelled on <page>".
#pragma once

#include <string>

#include "description.h"
#include "wizard.h"

// Leads the user through the pages: ExitOk when the user clicked Install on the last page (the
// choices are in the model), ExitCancelled when the user cancelled. `shown` is false when no
// window could be made (the run then goes on with the description's choices).
[[nodiscard]] int RunWizard(WizardModel& model, const ProductDescription& description, bool& shown);

// The last page, after the installation: "<product> is installed." and Finish.
void ShowFinishPage(const std::string& productName);
