// Removal's folders, swept once. A file element left to itself tries to remove its folder (and
// the empty ones above it) after its own file, which fails, and costs a round trip to the file
// system, for every file but the last of a folder. Removal takes that work over for the files it
// undoes in a row, and tries each of their folders once, when the row ends: before the undo of
// any other kind of element, which so sees the folders as a file-by-file removal would have left
// them. A deletion scheduled for the restart schedules the folders with it, as the element does.
#pragma once

#include <set>
#include <string>

#include "setup/core/element.h"

class FolderSweep {
public:
    // Before the element's undo: true when the sweep takes over its folders (a file element
    // that removes empty folders); the element is then told not to.
    bool Take(WSetupElement* element);
    // After the undo of an element the sweep took over, with the undo's status.
    void After(WSetupElement* element, int status);
    // Removes the noted folders that are empty and the empty ones above them, the deepest
    // first; done before every undo the sweep did not take over, and at the end of removal.
    void Run();

private:
    std::set<std::string> m_folders;
};
