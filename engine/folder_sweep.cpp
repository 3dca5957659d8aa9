#include "folder_sweep.h"

#include "kind_table.h"
#include "setup/elements/protected_folders.h"

FolderSweep::~FolderSweep() {
    HoldBackFolderRemovals(nullptr);
}

bool FolderSweep::Take(WSetupElement* element) {
    if (!RowOf(*element).sweepsFolders)
        return false;
    HoldBackFolderRemovals(&m_folders);
    return true;
}

void FolderSweep::After() {
    HoldBackFolderRemovals(nullptr);
}

void FolderSweep::Run() {
    HoldBackFolderRemovals(nullptr);
    // In the set's order a folder comes before its subfolders: walking it backwards empties
    // the subfolders first.
    for (auto folder = m_folders.rbegin(); folder != m_folders.rend(); ++folder)
        (void)RemoveEmptyFoldersUpFrom(*folder); // a folder that stays is not emptied by us
    m_folders.clear();
}
