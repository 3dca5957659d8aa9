// Removal's folders, swept once. The file and shortcut elements, left to themselves, try to
// remove their folder (and the empty ones above it) after each file or link they delete; that
// fails, at the cost of a call to the file system, for all but the last of a folder. Removal holds
// those tries back (HoldBackFolderRemovals) for the elements it undoes in a row, and tries each
// noted folder once when the row ends: before the undo of any other kind of element, which so
// sees the folders as an element-by-element removal would have left them.
#pragma once

#include <set>
#include <string>

#include "setup/core/element.h"

class FolderSweep {
public:
    ~FolderSweep();
    // Before the element's undo: true when the sweep takes over its folder tries (a kind whose
    // row says it sweeps folders); they are held back until After.
    bool Take(WSetupElement* element);
    // After the undo of an element the sweep took over.
    void After();
    // Tries the noted folders and the empty ones above them, the deepest first; done before
    // every undo the sweep did not take over, and at the end of removal.
    void Run();

private:
    std::set<std::string> m_folders;
};
