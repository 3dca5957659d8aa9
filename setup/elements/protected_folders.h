// The folders an uninstall never removes, even when they are empty: a drive root or network
// share, one of the machine's well-known folders (the Windows and system folders, Program Files,
// the start menu and its Programs folder, the desktop, Fonts, Temp, ...) or a folder above one of
// them. Every element that removes folders it emptied goes through these.
#pragma once

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
bool RemoveEmptyFoldersUpFrom(const std::string& folder);
