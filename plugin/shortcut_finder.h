// A small folder-walking file search: the plug-in uses it to find every copy of a shortcut file
// below the user's start menu.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "setup/core/text.h"

// The result of a lookup.
class FinderResult {
public:
    std::string FirstMatch;  // full path of the first file found; empty when none
    bool More = false;       // true when more than one file was found
    TextList FurtherMatches; // the second and later files found, in finding order
};

// Walks a set of root folders into a list of folders, then looks file names up in every listed
// folder. The finder's own FinderResult holds the result of its last lookup.
class ShortcutFinder : public FinderResult {
public:
    // Adds a root when it is an existing directory; nonzero `recurse` walks its subfolders too.
    // Returns 1 when the root was added, 0 otherwise.
    int AddRoot(const std::string& folder, int recurse);
    // Empties the folder list and walks every root in the order added.
    void BuildFolderList();
    // Looks `name` up. A drive or network path is answered by whether that file exists (no result
    // is filled); a bare name is looked for in every listed folder. Returns 1 and fills `result`
    // when at least one file was found, else 0 and leaves `result` unchanged.
    int FindFile(const std::string& name, FinderResult& result);
    // Position of the folder (trimmed, one trailing backslash removed) in the folder list,
    // appending it when it is not listed yet. A listed folder answers the position of the first
    // entry that equals it ignoring case.
    int FolderIndex(const std::string& folder);

    const TextList& Roots() const { return m_roots; }
    const std::vector<int>& RecurseFlags() const { return m_recurse; }
    const TextList& Folders() const { return m_folders; }

private:
    void Walk(const std::string& folder, int recurse);
    void ClearFolders();

    TextList m_roots;
    std::vector<int> m_recurse;
    TextList m_folders;
    // Beside the folder list, so that the duplicate tests of a walk cost no scan of the list:
    // every listed text (exact) with its position, and the upper-cased texts with the position
    // of their first entry. The upper-cased index is brought up to date only when asked.
    std::unordered_map<std::string, int> m_exactIndex;
    std::unordered_map<std::string, int> m_foldedIndex;
    std::size_t m_foldedCount = 0;
};
