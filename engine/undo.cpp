#include "undo.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "file_io.h"
#include "setup/core/text.h"
#include "setup/core/registry.h"
#include "setup/elements/dir_kinds.h"
#include "setup/elements/element_paths.h"
#include "setup/elements/file.h"
#include "setup/elements/registry_entry.h"
#include "restart.h"

namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

// The file as it is, kept aside as `aside` when it exists.
bool SaveFile(const std::string& path, const std::string& aside, std::vector<Saved>& saved) {
    Saved s;
    s.kind = Saved::Kind::File;
    s.path = path;
    s.existed = WhatIsAt(path) == PathKind::File;
    if (s.existed) {
        if (!CreateDirectoryTree(ParentOf(aside)) && WhatIsAt(ParentOf(aside)) != PathKind::Folder)
            return false;
        if (CopyFileA(path.c_str(), aside.c_str(), FALSE)) {
            s.aside = aside;
        } else {
            // A file another process holds cannot be read, nor replaced before the restart:
            // the step can only schedule its replacement, and the file stays as it is now.
            const DWORD error = GetLastError();
            if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION)
                return false;
        }
    }
    saved.push_back(s);
    return true;
}

void SaveFolder(const std::string& folder, std::vector<Saved>& saved) {
    Saved s;
    s.kind = Saved::Kind::Folder;
    s.path = WithoutTrailingSlash(folder);
    s.created = FirstMissingFolder(folder);
    if (!s.created.empty())
        saved.push_back(s);
}

// "A\\B\\C" -> "A\\B"; "" for a key at the root.
std::string ParentKeyPath(const std::string& key) {
    const std::string::size_type slash = key.rfind('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

// The shallowest level of a key that does not exist, given a level of it that does not.
std::string ShallowestMissingLevel(const std::string& rootName, const std::string& missing) {
    std::string created = missing;
    for (std::string level = ParentKeyPath(missing); !level.empty(); level = ParentKeyPath(level)) {
        RegKey opened;
        if (OpenRegKey(rootName, level, KEY_QUERY_VALUE, opened) == ERROR_SUCCESS)
            break;
        created = level;
    }
    return created;
}

// The value and the levels of its key that do not exist. The deepest key is opened once: when it
// opens, it holds the value to read and no level is missing; only when it does not are the levels
// above it looked at.
void SaveRegKeyAndValue(const std::string& rootName, const std::string& key,
                        const std::string& name, std::vector<Saved>& saved) {
    Saved k;
    k.kind = Saved::Kind::RegKey;
    k.root = rootName;
    k.path = key;
    Saved v;
    v.kind = Saved::Kind::RegValue;
    v.root = rootName;
    v.path = key;
    v.name = name;
    RegKey deepest;
    if (OpenRegKey(rootName, key, KEY_QUERY_VALUE, deepest) == ERROR_SUCCESS) {
        v.existed = ReadRegValue(deepest.Get(), name, v.type, v.bytes);
    } else if (!key.empty()) {
        k.created = ShallowestMissingLevel(rootName, key);
    }
    if (!k.created.empty())
        saved.push_back(k);
    if (!v.existed)
        v.type = 0;
    saved.push_back(v);
}

// A registry value as it was, read on its own.
void SaveRegValue(const std::string& rootName, const std::string& key, const std::string& name,
                  std::vector<Saved>& saved) {
    Saved s;
    s.kind = Saved::Kind::RegValue;
    s.root = rootName;
    s.path = key;
    s.name = name;
    RegKey opened;
    s.existed = OpenRegKey(rootName, key, KEY_QUERY_VALUE, opened) == ERROR_SUCCESS &&
                ReadRegValue(opened.Get(), name, s.type, s.bytes);
    if (!s.existed)
        s.type = 0;
    saved.push_back(s);
}

// The shallowest level of a key that does not exist yet, when one does not.
void SaveRegKey(const std::string& rootName, const std::string& key, std::vector<Saved>& saved) {
    Saved s;
    s.kind = Saved::Kind::RegKey;
    s.root = rootName;
    s.path = key;
    RegKey opened;
    if (!key.empty() && OpenRegKey(rootName, key, KEY_QUERY_VALUE, opened) != ERROR_SUCCESS)
        s.created = ShallowestMissingLevel(rootName, key);
    if (!s.created.empty())
        saved.push_back(s);
}

bool IsEmptyKey(HKEY key) {
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Whether two files hold the same bytes; read with every sharing a holder may have allowed (the
// file may be held open by another process, which stops a copy onto it but not a read).
bool SameContent(const std::string& a, const std::string& b) {
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    KernelHandle first(CreateFileA(a.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    KernelHandle second(CreateFileA(b.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!first || !second ||
        GetFileSize(first.Get(), nullptr) != GetFileSize(second.Get(), nullptr))
        return false;
    std::vector<char> x(1 << 16);
    std::vector<char> y(1 << 16);
    for (;;) {
        DWORD gotX = 0;
        DWORD gotY = 0;
        if (!ReadFile(first.Get(), x.data(), static_cast<DWORD>(x.size()), &gotX, nullptr) ||
            !ReadFile(second.Get(), y.data(), static_cast<DWORD>(y.size()), &gotY, nullptr) ||
            gotX != gotY)
            return false;
        if (gotX == 0)
            return true;
        if (std::memcmp(x.data(), y.data(), gotX) != 0)
            return false;
    }
}

bool PutBackFile(const Saved& s) {
    if (s.existed) {
        if (s.aside.empty())
            return WhatIsAt(s.path) == PathKind::File; // held when it was saved: left in place
        if (WhatIsAt(s.aside) != PathKind::File)
            return false;
        // A replacement that only waited for the restart (and was taken out again) never touched
        // the file: there is nothing to write back, and a file still held could not take it.
        if (WhatIsAt(s.path) == PathKind::File && SameContent(s.aside, s.path))
            return true;
        // Either failure shows in the copy.
        if (WhatIsAt(s.path) == PathKind::File)
            (void)SetFileAttributesA(s.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        else
            (void)CreateDirectoryTree(ParentOf(s.path));
        return CopyFileA(s.aside.c_str(), s.path.c_str(), FALSE) != 0;
    }
    if (WhatIsAt(s.path) != PathKind::File)
        return true;
    (void)SetFileAttributesA(s.path.c_str(), FILE_ATTRIBUTE_NORMAL); // shows in the deletion
    return DeleteFileA(s.path.c_str()) != 0;
}

bool PutBackFolder(const Saved& s) {
    // From the deepest level up to the first one the step created; a level that is not empty
    // holds something that is not ours to remove, and so do the levels above it.
    for (std::string level = s.path;;) {
        if (WhatIsAt(level) == PathKind::Folder && !RemoveDirectoryA(level.c_str()))
            return true;
        if (EqualText(level, s.created, false))
            return true;
        std::string parent = WithoutTrailingSlash(ParentOf(level));
        if (parent == level || parent.size() < s.created.size())
            return true;
        level = parent;
    }
}

bool PutBackRegValue(const Saved& s) {
    HKEY root = nullptr;
    if (!ParseRootKeyName(s.root, root))
        return true;
    if (s.existed) {
        RegKey key;
        if (CreateRegKey(root, s.path, KEY_SET_VALUE, key) != ERROR_SUCCESS)
            return false;
        return RegSetValueExA(key.Get(), s.name.c_str(), 0, s.type,
                              reinterpret_cast<const BYTE*>(s.bytes.data()),
                              static_cast<DWORD>(s.bytes.size())) == ERROR_SUCCESS;
    }
    RegKey key;
    if (OpenRegKey(s.root, s.path, KEY_SET_VALUE | KEY_QUERY_VALUE, key) != ERROR_SUCCESS)
        return true; // no key, no value
    LONG result = RegDeleteValueA(key.Get(), s.name.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool PutBackRegKey(const Saved& s) {
    HKEY root = nullptr;
    if (!ParseRootKeyName(s.root, root))
        return true; // nothing can have been written below a root that does not exist
    // Windows 95 deletes a key with everything below it: a key is deleted only when empty.
    for (std::string level = s.path; level.size() >= s.created.size();) {
        {
            RegKey key;
            if (OpenRegKey(s.root, level, KEY_READ, key) == ERROR_SUCCESS) {
                if (!IsEmptyKey(key.Get()))
                    return true;
                key.Reset();
                if (RegDeleteKeyA(root, level.c_str()) != ERROR_SUCCESS)
                    return false;
            }
        }
        std::string::size_type slash = level.rfind('\\');
        if (slash == std::string::npos)
            break;
        level = level.substr(0, slash);
    }
    return true;
}

// The keys and values a registry file (REGEDIT4, text in the system code page) writes, each
// saved as it is now. Lines that delete ("[-key]", "name"=-) and files in other forms save
// nothing: the merge is then undone only as far as what was saved reaches.
void SaveRegFileTargets(const std::string& regFile, std::vector<Saved>& saved) {
    std::string text;
    if (!ReadWholeFile(regFile, text))
        return;
    bool torn = false;
    std::string rootName;
    std::string key;
    for (const std::string& raw : SplitLines(text, torn)) {
        const std::string line = Trimmed(raw);
        if (line.size() > 2 && line[0] == '[' && line.back() == ']') {
            const std::string path = line.substr(1, line.size() - 2);
            rootName.clear();
            key.clear();
            HKEY root = nullptr;
            if (path[0] == '-' || !ParseRootKeyName(TextBefore(path, "\\"), root))
                continue;
            rootName = TextBefore(path, "\\");
            key = TextAfter(path, "\\");
            if (!key.empty())
                SaveRegKey(rootName, key, saved);
            continue;
        }
        if (rootName.empty() || key.empty())
            continue;
        std::string name;
        std::string::size_type end = 0;
        if (line[0] == '@') {
            end = 1;
        } else if (line[0] == '"') {
            for (end = 1; end < line.size() && line[end] != '"'; ++end) {
                if (line[end] == '\\' && end + 1 < line.size())
                    ++end;
                name += line[end];
            }
            ++end;
        } else {
            continue;
        }
        if (end < line.size() && line[end] == '=' && line.compare(end, 2, "=-") != 0)
            SaveRegValue(rootName, key, name, saved);
    }
}

std::string AsideName(const std::string& folder, int step, int n) {
    return JoinPath(folder, std::to_string(step) + "-" + std::to_string(n), true);
}

} // namespace

std::string FirstMissingFolder(const std::string& folder) {
    std::string missing;
    for (std::string level = WithoutTrailingSlash(folder);
         !level.empty() && WhatIsAt(level) != PathKind::Folder;) {
        missing = level;
        std::string parent = WithoutTrailingSlash(ParentOf(level));
        if (parent == level)
            break;
        level = parent;
    }
    return missing;
}

void RemoveCreatedFolders(const std::string& deepest, const std::string& created) {
    Saved s;
    s.kind = Saved::Kind::Folder;
    s.path = WithoutTrailingSlash(deepest);
    s.created = created;
    PutBackFolder(s);
}

bool IsLeftoverOfCreation(const Saved& saved) {
    switch (saved.kind) {
    case Saved::Kind::Folder:
    case Saved::Kind::RegKey:
        return true;
    case Saved::Kind::File:
        if (saved.existed || WhatIsAt(saved.path) != PathKind::File)
            return false;
        {
            // A settings file the step created, of which only section lines and entries
            // without a value are left (some platforms empty an entry instead of deleting it).
            std::string text;
            if (!ReadWholeFile(saved.path, text))
                return false;
            bool torn = false;
            for (const std::string& line : SplitLines(text, torn)) {
                const std::string trimmed = Trimmed(line);
                if (!trimmed.empty() && trimmed[0] != '[' && trimmed[0] != ';' &&
                    trimmed.back() != '=')
                    return false;
            }
            return true;
        }
    case Saved::Kind::RegValue:
    case Saved::Kind::RestartList:
        return false;
    }
    return false;
}

void StateSaver::Folder(const std::string& folder) {
    SaveFolder(folder, m_saved);
}

bool StateSaver::File(const std::string& path) {
    return SaveFile(path, AsideName(m_aside, m_step, ++m_files), m_saved);
}

void StateSaver::RegKeyAndValue(const std::string& rootName, const std::string& key,
                                const std::string& name) {
    SaveRegKeyAndValue(rootName, key, name, m_saved);
}

void StateSaver::RegFileTargets(const std::string& regFile) {
    SaveRegFileTargets(regFile, m_saved);
}

void StateSaver::RestartList(RestartListReading* reading) {
    m_saved.push_back(reading ? reading->Now() : SaveRestartList());
}

bool PutBack(const Saved& saved) {
    switch (saved.kind) {
    case Saved::Kind::File:
        return PutBackFile(saved);
    case Saved::Kind::Folder:
        return PutBackFolder(saved);
    case Saved::Kind::RegValue:
        return PutBackRegValue(saved);
    case Saved::Kind::RegKey:
        return PutBackRegKey(saved);
    case Saved::Kind::RestartList:
        return CancelAddedRestartEntries(saved);
    }
    return false;
}

namespace {

// Two states meet when they name the same file, or the same registry value: what the later step
// saved would then not be what it replaced. Folders and keys a step created are removed only when
// empty, which holds whatever order steps saved them in.
bool Meet(const Saved& a, const Saved& b) {
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case Saved::Kind::File:
        return EqualText(WithoutTrailingSlash(a.path), WithoutTrailingSlash(b.path), false);
    case Saved::Kind::RegValue:
        return EqualText(a.root, b.root, false) && EqualText(a.path, b.path, false) &&
               EqualText(a.name, b.name, false);
    case Saved::Kind::RestartList:
        // Steps of one batch may all save the list as it was before the batch: a rollback takes
        // back every step after the first one it undoes, so taking out all entries added since
        // that list, the later steps' included, is what the whole rollback does anyway.
        return false;
    case Saved::Kind::Folder:
    case Saved::Kind::RegKey:
        return false;
    }
    return false;
}

} // namespace

bool SharesState(const std::vector<Saved>& a, const std::vector<Saved>& b) {
    for (const Saved& x : a)
        for (const Saved& y : b)
            if (Meet(x, y))
                return true;
    return false;
}

std::string DescribeSaved(const Saved& s) {
    switch (s.kind) {
    case Saved::Kind::File:
        return "file " + s.path + (s.existed ? " (kept aside)" : " (new)");
    case Saved::Kind::Folder:
        return "folder " + s.path + " (new from " + s.created + ")";
    case Saved::Kind::RegValue:
        return "value " + s.root + "\\" + s.path + "\\" + s.name +
               (s.existed ? " (type " + std::to_string(s.type) + ")" : " (new)");
    case Saved::Kind::RegKey:
        return "key " + s.root + "\\" + s.path + " (new from " + s.created + ")";
    case Saved::Kind::RestartList:
        return "what waits for the restart";
    }
    return "";
}

bool RemoveFlatFolder(const std::string& folder) {
    if (WhatIsAt(folder) != PathKind::Folder)
        return true;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(JoinPath(folder, "*", true).c_str(), &data));
    if (find) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                const std::string file = JoinPath(folder, data.cFileName, true);
                // A file that stays keeps the folder, which the answer reports.
                (void)SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                (void)DeleteFileA(file.c_str());
            }
        } while (FindNextFileA(find.Get(), &data));
    }
    find.Reset();
    return RemoveDirectoryA(folder.c_str()) != 0 || WhatIsAt(folder) != PathKind::Folder;
}

std::string AsideFolderOf(const std::string& logPath) {
    return logPath + ".kept";
}

std::string NextLogOf(const std::string& logPath) {
    return logPath + ".next";
}
