// The folders an uninstall never removes, even when they are empty: a drive root or network
// share, one of the machine's well-known folders (the Windows and system folders, Program Files,
// the start menu and its Programs folder, the desktop, Fonts, Temp, ...) or a folder above one of
// them. Every element that removes folders it emptied goes through these.
#pragma once

#include <set>
#include <string>

// The path without trailing blanks and backslashes.
std::string WithoutTrailingBackslash(const std::string& path);

// An empty path, "\", a drive ("C:", "C:\") or a network share ("\\server\share").
bool IsEmptyOrRoot(const std::string& path);

// A root, a well-known folder or a folder above one (compared ignoring case, also in short form).
// The well-known folders are gathered from the process-wide system folders on first use.
bool IsProtectedFolder(const std::string& path);

// Removes `folder` when it is empty and then each parent that is left empty, stopping at the first
// folder that is not empty or is protected. Answers whether `folder` itself was removed.
// While removals are held back (below), it only notes `folder` and answers false.
[[nodiscard]] bool RemoveEmptyFoldersUpFrom(const std::string& folder);

// Holds the elements' folder removals back: while `notes` is set, RemoveEmptyFoldersUpFrom adds
// its folder to it instead of trying it, and the caller tries the noted folders itself later
// (with nothing held back). For a caller that undoes many elements of the same folders: each
// try of a folder that is not empty yet costs a call to the file system. Scheduling folders for
// the restart is not held back. Not for more than one thread at a time.
void HoldBackFolderRemovals(std::set<std::string>* notes);
