#include "plugin/shortcut_finder.h"

#include <windows.h>

#include <vector>

#include "setup/core/handles.h"
#include "setup/core/path.h"

namespace {

// Lower-case copy in the system code page (double-byte characters are left intact).
std::string Lowercased(const std::string& text) {
    if (text.empty())
        return text;
    std::vector<char> buffer(text.begin(), text.end());
    CharLowerBuffA(buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::string(buffer.data(), buffer.size());
}

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

} // namespace

int ShortcutFinder::AddRoot(const std::string& folder, int recurse) {
    if (WhatIsAt(folder) != PathKind::Folder)
        return 0;
    m_roots.push_back(folder);
    m_recurse.push_back(recurse);
    return 1;
}

void ShortcutFinder::ClearFolders() {
    m_folders.clear();
    m_exactIndex.clear();
    m_foldedIndex.clear();
    m_foldedCount = 0;
}

void ShortcutFinder::BuildFolderList() {
    ClearFolders();
    for (std::size_t i = 0; i < m_roots.size(); ++i)
        Walk(m_roots[i], m_recurse[i]);
}

int ShortcutFinder::FolderIndex(const std::string& folder) {
    std::string f = StripTrailingDelimiter(Trimmed(folder), "\\");
    auto exact = m_exactIndex.find(f);
    if (exact == m_exactIndex.end()) {
        int position = static_cast<int>(m_folders.size());
        m_folders.push_back(f);
        m_exactIndex.emplace(std::move(f), position);
        return position;
    }
    // Bring the upper-cased index up to the end of the list; emplace keeps the first position
    // of every upper-cased text.
    for (; m_foldedCount < m_folders.size(); ++m_foldedCount)
        m_foldedIndex.emplace(Uppercased(m_folders[m_foldedCount]),
                              static_cast<int>(m_foldedCount));
    auto folded = m_foldedIndex.find(Uppercased(f));
    return folded != m_foldedIndex.end() ? folded->second : exact->second;
}

void ShortcutFinder::Walk(const std::string& folder, int recurse) {
    if (WhatIsAt(folder) != PathKind::Folder || m_exactIndex.count(folder) != 0)
        return;
    FolderIndex(folder);

    std::string pattern = JoinPath(folder, "*.*", true);
    WIN32_FIND_DATAA entry;
    FindHandle search(FindFirstFileA(pattern.c_str(), &entry));
    if (!search)
        return;
    std::string parent = ParentOf(pattern);
    do {
        if (recurse != 0 && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            !IsDotEntry(entry.cFileName))
            Walk(JoinPath(parent, entry.cFileName, true), 1);
    } while (FindNextFileA(search.Get(), &entry));
}

int ShortcutFinder::FindFile(const std::string& name, FinderResult& result) {
    if (!PathRoot(name).empty())
        return CanOpenForReading(name) ? 1 : 0;

    std::string lowered = Lowercased(name);
    TextList matches;
    for (const std::string& folder : m_folders) {
        std::string candidate = JoinPath(folder, lowered, true);
        WIN32_FIND_DATAA entry;
        FindHandle search(FindFirstFileA(candidate.c_str(), &entry));
        if (search && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            matches.push_back(candidate);
    }

    if (matches.empty()) {
        FirstMatch.clear();
        More = false;
        FurtherMatches.clear();
        return 0;
    }
    FirstMatch = matches.front();
    More = matches.size() > 1;
    FurtherMatches.assign(matches.begin() + 1, matches.end());
    result.FirstMatch = FirstMatch;
    result.More = More;
    result.FurtherMatches = FurtherMatches;
    return 1;
}
