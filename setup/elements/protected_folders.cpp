#include "setup/elements/protected_folders.h"

#include <windows.h>

#include <string>
#include <vector>

#include "setup/core/path.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"

namespace {

// The machine's well-known folders, as given and in short form, gathered on first use.
struct WellKnownFolders {
    std::vector<std::string> upper;      // upper-cased, without a trailing backslash
    std::vector<std::string> upperShort; // the same folders' short forms, where there are any
};

const WellKnownFolders& TheWellKnownFolders() {
    static const WellKnownFolders folders = [] {
        WellKnownFolders f;
        const SystemFolders& s = TheSystemFolders();
        const std::string all[] = {s.Bde(),           s.Dao(),
                                   s.Odbc(),          s.Personal(),
                                   s.Desktop(),       s.Programs(),
                                   s.SendTo(),        s.Templates(),
                                   s.StartMenu(),     s.Startup(),
                                   s.Temp(),          s.Fonts(),
                                   s.Windows(),       s.ProgramFiles(),
                                   s.System(),        s.Module(),
                                   s.Maker(),         s.Pictures(),
                                   s.CommonStartup(), SystemFolders::GetWindowsFolderNow()};
        for (const std::string& folder : all) {
            const std::string p = WithoutTrailingBackslash(folder);
            if (p.empty())
                continue;
            f.upper.push_back(Uppercased(p));
            const std::string shortForm = WithoutTrailingBackslash(ShortPathOf(p));
            if (!shortForm.empty())
                f.upperShort.push_back(Uppercased(shortForm));
        }
        return f;
    }();
    return folders;
}

// Whether `folder` (upper-cased, no trailing backslash) is one of the folders or lies above
// one of them.
bool IsAtOrAbove(const std::string& folder, const std::vector<std::string>& folders) {
    for (const std::string& known : folders) {
        if (known.size() < folder.size() || known.compare(0, folder.size(), folder) != 0)
            continue;
        if (known.size() == folder.size() || known[folder.size()] == '\\')
            return true;
    }
    return false;
}

std::set<std::string>* g_heldBack = nullptr;

} // namespace

std::string WithoutTrailingBackslash(const std::string& path) {
    std::string p = Trimmed(path);
    for (std::string shorter; (shorter = StripTrailingDelimiter(p, "\\")) != p;)
        p = shorter;
    return p;
}

bool IsEmptyOrRoot(const std::string& path) {
    const std::string p = WithoutTrailingBackslash(path);
    if (p.empty())
        return true;
    if (p.size() == 2 && p[1] == ':')
        return true;
    if (p.size() < 2 || p[0] != '\\' || p[1] != '\\')
        return false;
    const std::size_t serverEnd = FindText(p, "\\", true, 2);
    return serverEnd == TextNotFound || FindText(p, "\\", true, serverEnd + 1) == TextNotFound;
}

// A folder that an uninstall never removes: a root, a well-known folder of the machine (Windows,
// System, Program Files, the start menu, the desktop, Temp, ...) or a folder above one of them.
// A path written with short names is also compared in its short form.
bool IsProtectedFolder(const std::string& path) {
    if (IsEmptyOrRoot(path))
        return true;
    const WellKnownFolders& known = TheWellKnownFolders();
    const std::string folder = Uppercased(WithoutTrailingBackslash(path));
    if (IsAtOrAbove(folder, known.upper) || IsAtOrAbove(folder, known.upperShort))
        return true;
    if (folder.find('~') == std::string::npos)
        return false;
    const std::string shortForm = Uppercased(WithoutTrailingBackslash(ShortPathOf(path)));
    return !shortForm.empty() &&
           (IsAtOrAbove(shortForm, known.upper) || IsAtOrAbove(shortForm, known.upperShort));
}

void HoldBackFolderRemovals(std::set<std::string>* notes) {
    g_heldBack = notes;
}

bool RemoveEmptyFoldersUpFrom(const std::string& folder) {
    if (g_heldBack) {
        g_heldBack->insert(folder);
        return false;
    }
    std::string current = WithoutTrailingBackslash(folder);
    bool removedFirst = false;
    for (bool first = true;; first = false) {
        if (current.empty() || IsProtectedFolder(current) || !RemoveDirectoryA(current.c_str()))
            return removedFirst;
        if (first)
            removedFirst = true;
        current = ParentOf(current);
    }
}
