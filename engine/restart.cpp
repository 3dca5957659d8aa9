#include "restart.h"

#include <windows.h>

#include <algorithm>

#include "file_io.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/registry.h"
#include "setup/core/ini_file.h"
#include "setup/core/restart_schedule.h"
#include "setup/core/text.h"

namespace {

Seam<const char*> g_movesKey{"System\\CurrentControlSet\\Control\\Session Manager"};
const char* const MovesValue = "PendingFileRenameOperations";
const char* const RenameSection = "rename";

bool IniFamily() {
    return CurrentRestartPlatform().PlatformId() == VER_PLATFORM_WIN32_WINDOWS;
}

std::string IniPath() {
    return JoinPath(CurrentRestartPlatform().WindowsFolder(), "WININIT.INI", true);
}

// The list in its raw form: the rename section's key lines, or the value's strings (pairs).
struct RawList {
    bool existed = false; // the file, or the value
    std::vector<std::string> items;
};

std::vector<std::string> SplitMultiString(const std::string& bytes) {
    // Pairs of strings; a pair whose source is empty ends the list (a target may be empty).
    std::vector<std::string> items;
    std::string::size_type at = 0;
    while (at < bytes.size()) {
        std::string::size_type end = bytes.find('\0', at);
        if (end == std::string::npos)
            end = bytes.size();
        std::string source = bytes.substr(at, end - at);
        if (source.empty())
            break;
        at = end + 1;
        end = at < bytes.size() ? bytes.find('\0', at) : std::string::npos;
        if (end == std::string::npos)
            end = bytes.size();
        items.push_back(source);
        items.push_back(at < bytes.size() ? bytes.substr(at, end - at) : std::string());
        at = end + 1;
    }
    return items;
}

std::string JoinMultiString(const std::vector<std::string>& items) {
    std::string bytes;
    for (const std::string& item : items)
        bytes += item + '\0';
    return bytes + '\0';
}

bool ReadMoves(RawList& list, std::string& bytes) {
    RegKey key;
    LONG opened = OpenRegKey(HKEY_LOCAL_MACHINE, g_movesKey.Get(), KEY_QUERY_VALUE, key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key.Get(), MovesValue, nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND)
        return true;
    if (result != ERROR_SUCCESS)
        return false;
    bytes.assign(size, '\0');
    if (size && RegQueryValueExA(key.Get(), MovesValue, nullptr, &type,
                                 reinterpret_cast<BYTE*>(&bytes[0]), &size) != ERROR_SUCCESS)
        return false;
    bytes.resize(size);
    list.existed = true;
    list.items = SplitMultiString(bytes);
    return true;
}

bool ReadList(RawList& list) {
    list = RawList();
    if (IniFamily()) {
        const std::string ini = IniPath();
        if (WhatIsAt(ini) == PathKind::Nothing)
            return true;
        list.existed = true;
        return ReadIniSectionLines(ini, RenameSection, list.items, false);
    }
    std::string bytes;
    return ReadMoves(list, bytes);
}

bool WriteMoves(const std::vector<std::string>& items, bool keepValue) {
    RegKey key;
    if (OpenRegKey(HKEY_LOCAL_MACHINE, g_movesKey.Get(), KEY_SET_VALUE, key) != ERROR_SUCCESS)
        return false;
    if (items.empty() && !keepValue) {
        LONG result = RegDeleteValueA(key.Get(), MovesValue);
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    const std::string bytes = JoinMultiString(items);
    return RegSetValueExA(key.Get(), MovesValue, 0, REG_MULTI_SZ,
                          reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool WriteIni(const std::vector<std::string>& lines, bool keepFile) {
    const std::string ini = IniPath();
    if (!RemoveIniSections(ini, TextList{RenameSection}))
        return false;
    if (!lines.empty())
        return AppendIniSection(RenameSection, ini, lines);
    std::string text;
    // A WININIT.INI that only the step made, and that holds nothing now, goes again.
    if (!keepFile && ReadWholeFile(ini, text) && Trimmed(text).empty())
        return DeleteFileA(ini.c_str()) != 0;
    return true;
}

std::string WithoutPrefix(std::string path) {
    if (!path.empty() && path[0] == '!')
        path.erase(0, 1);
    if (path.compare(0, 4, "\\??\\") == 0)
        path.erase(0, 4);
    return path;
}

// The entries of a raw list, in order.
std::vector<PendingRename> Entries(const std::vector<std::string>& items, bool ini) {
    std::vector<PendingRename> entries;
    if (ini) {
        for (const std::string& line : items) {
            const std::string key = Trimmed(TextBefore(line, "="));
            const std::string value = Trimmed(TextAfter(line, "="));
            if (EqualText(key, "NUL", false))
                entries.push_back({value, ""});
            else
                entries.push_back({value, key});
        }
        return entries;
    }
    for (std::size_t i = 0; i + 1 < items.size(); i += 2)
        entries.push_back({WithoutPrefix(items[i]), WithoutPrefix(items[i + 1])});
    return entries;
}

} // namespace

Seam<const char*>& PendingMovesKeyForTesting() {
    return g_movesKey;
}

std::vector<PendingRename> PendingRenames() {
    RawList list;
    ReadList(list);
    return Entries(list.items, IniFamily());
}

Saved SaveRestartList() {
    Saved s;
    s.kind = Saved::Kind::RestartList;
    const bool ini = IniFamily();
    s.type = ini ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
    RawList list;
    ReadList(list);
    s.existed = list.existed;
    // The items, one per line: neither a key line nor a path holds a line break.
    for (const std::string& item : list.items)
        s.bytes += item + "\n";
    return s;
}

const Saved& RestartListReading::Now() {
    if (!m_read)
        m_saved = SaveRestartList();
    m_read = true;
    return m_saved;
}

bool CancelAddedRestartEntries(const Saved& saved) {
    const bool ini = saved.type == VER_PLATFORM_WIN32_WINDOWS;
    if (ini != IniFamily())
        return false;
    RawList now;
    if (!ReadList(now))
        return false;
    std::vector<std::string> before;
    bool torn = false;
    for (const std::string& line : SplitLines(saved.bytes, torn))
        before.push_back(line);

    // What was there before keeps its place; everything else was added since. On the NT family
    // the unit is a pair of strings.
    const std::size_t unit = ini ? 1 : 2;
    std::vector<bool> kept(now.items.size() / unit, false);
    for (std::size_t b = 0; b + unit <= before.size(); b += unit)
        for (std::size_t k = 0; k < kept.size(); ++k) {
            bool same = !kept[k];
            for (std::size_t i = 0; same && i < unit; ++i)
                same = now.items[k * unit + i] == before[b + i];
            if (same) {
                kept[k] = true;
                break;
            }
        }
    if (std::find(kept.begin(), kept.end(), false) == kept.end())
        return true;

    std::vector<std::string> remaining;
    std::vector<std::string> added;
    for (std::size_t k = 0; k < kept.size(); ++k)
        for (std::size_t i = 0; i < unit; ++i)
            (kept[k] ? remaining : added).push_back(now.items[k * unit + i]);
    if (!(ini ? WriteIni(remaining, saved.existed) : WriteMoves(remaining, saved.existed)))
        return false;
    // The staging copies that the moves would have put in place; one that stays is not put back.
    bool all = true;
    for (const PendingRename& entry : Entries(added, ini))
        if (!entry.target.empty() && !entry.source.empty()) {
            (void)SetFileAttributesA(entry.source.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(entry.source.c_str()) &&
                GetFileAttributesA(entry.source.c_str()) != INVALID_FILE_ATTRIBUTES)
                all = false;
        }
    return all;
}

namespace {

// Whether everything in `folder` goes at the restart: each file waits in `pending` for its
// deletion, each subfolder is one of `scheduled`.
bool EmptiesAtRestart(const std::string& folder, const std::vector<PendingRename>& pending,
                      const std::vector<std::string>& scheduled) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(JoinPath(folder, "*", true).c_str(), &data));
    if (!find)
        return true;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = JoinPath(folder, name, true);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::none_of(scheduled.begin(), scheduled.end(), [&](const std::string& level) {
                    return EqualText(level, path, false);
                }))
                return false;
            continue;
        }
        bool deleted = false;
        const std::string shortPath = ShortPathOf(path);
        for (const PendingRename& entry : pending)
            if (entry.target.empty() &&
                (EqualText(entry.source, path, false) ||
                 (!shortPath.empty() && EqualText(ShortPathOf(entry.source), shortPath, false))))
                deleted = true;
        if (!deleted)
            return false;
    } while (FindNextFileA(find.Get(), &data));
    return true;
}

} // namespace

bool RemoveFoldersAtRestart(const std::string& deepest, const std::string& created,
                            std::vector<std::string>& scheduled) {
    const std::vector<PendingRename> pending = PendingRenames();
    for (std::string level = deepest; level.size() >= created.size() && !level.empty();) {
        if (WhatIsAt(level) == PathKind::Folder) {
            // A level that keeps something at the restart stays, and so do the levels above it.
            if (!EmptiesAtRestart(level, pending, scheduled))
                return false;
            if (DeleteFileAtReboot(level))
                scheduled.push_back(level);
        }
        if (EqualText(level, created, false))
            break;
        const std::string parent = ParentOf(level);
        if (parent == level)
            break;
        level = parent;
    }
    return true;
}

bool WaitsForRestart(const std::string& path, const std::vector<PendingRename>& pending) {
    const std::string shortPath = ShortPathOf(path);
    for (const PendingRename& entry : pending) {
        const std::string& affected = entry.target.empty() ? entry.source : entry.target;
        if (EqualText(affected, path, false) ||
            (!shortPath.empty() && EqualText(ShortPathOf(affected), shortPath, false)))
            return true;
    }
    return false;
}

bool RestartWindowsNow() {
    // Windows 95 and 98 have no privileges (the calls are stubs that fail): they restart as asked.
    KernelHandle token;
    HANDLE opened = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
        token.Reset(opened);
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    return ExitWindowsEx(EWX_REBOOT, 0) != 0;
}
