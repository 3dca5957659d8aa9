#include "folder_sweep.h"

#include "setup/elements/protected_folders.h"

FolderSweep::~FolderSweep() {
    HoldBackFolderRemovals(nullptr);
}

bool FolderSweep::Take(WSetupElement* element) {
    switch (element->Kind) {
    case KindFile:
    case KindTTFFile:
    case KindRuntimeFile:
    case KindShortcut:
        HoldBackFolderRemovals(&m_folders);
        return true;
    default:
        return false;
    }
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
